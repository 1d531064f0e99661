qm_add_bench(QuillmereKit SOURCES QuillmereKitBench.cpp DEPENDS QuillmereKit)
qm_add_bench(session SOURCES SessionBench.cpp BenchClip.cpp DEPENDS QuillmereKit TestSupport)
target_compile_definitions(bench_session PRIVATE QM_BENCH_CLIP="${CMAKE_BINARY_DIR}/bench-clip-1080p60.h264")
# The soak runs for minutes to hours, so it is no benchmark that scripts/bench runs: bench/soak.
add_executable(soak Soak.cpp BenchClip.cpp)
target_link_libraries(soak PRIVATE QuillmereKit TestSupport BenchSupport)
target_compile_definitions(soak PRIVATE QM_BENCH_CLIP="${CMAKE_BINARY_DIR}/bench-clip-1080p60.h264")
