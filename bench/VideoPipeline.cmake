qm_add_bench(decode_path SOURCES DecodePathBench.cpp BenchClip.cpp DEPENDS VideoPipeline TestSupport)
target_compile_definitions(bench_decode_path PRIVATE QM_BENCH_CLIP="${CMAKE_BINARY_DIR}/bench-clip-1080p60.h264")
qm_add_bench(render_path SOURCES RenderPathBench.cpp GuiBenchMain.cpp DEPENDS QuillmereKit TestSupport)
