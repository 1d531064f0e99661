# The App library brings Qt targets, which are seen only where Qt was found.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Network Qml Quick)
qm_add_bench(update_verify SOURCES UpdateVerifyBench.cpp DEPENDS App)
target_compile_definitions(bench_update_verify PRIVATE QM_BENCH_UPDATE="${CMAKE_BINARY_DIR}/bench-update-256MiB.bin")
