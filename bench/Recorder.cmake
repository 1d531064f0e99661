qm_add_bench(recorder SOURCES RecorderBench.cpp BenchClip.cpp DEPENDS Recorder TestSupport)
target_compile_definitions(bench_recorder PRIVATE QM_BENCH_CLIP="${CMAKE_BINARY_DIR}/bench-clip-1080p60-20M.h264")
