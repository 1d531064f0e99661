# The App library's Qt targets are imported in its own folder only.
find_package(Qt6 6.4 REQUIRED COMPONENTS Concurrent Core DBus Gui Network Qml Quick Svg Test Widgets)
qm_add_bench(flash_sampler SOURCES FlashSamplerBench.cpp GuiBenchMain.cpp DEPENDS App)
qm_add_bench(editor_views
    SOURCES EditorViewsBench.cpp ${PROJECT_SOURCE_DIR}/App/Tests/Support/ImportVantorel.cpp
    DEPENDS App Appplugin TestSupport Qt6::Test)
qm_add_bench(input_capture SOURCES InputCaptureBench.cpp AllocationCount.cpp
             DEPENDS App TestSupport)
# The input tests' fake session and model.
target_include_directories(bench_input_capture PRIVATE ${PROJECT_SOURCE_DIR}/App/Tests/InputTests)
