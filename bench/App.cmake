# The App library's Qt targets are imported in its own folder only.
find_package(Qt6 6.4 REQUIRED COMPONENTS Concurrent Core DBus Gui Network Qml Quick QuickControls2 Svg Test
             Widgets)
qm_add_bench(flash_sampler SOURCES FlashSamplerBench.cpp GuiBenchMain.cpp DEPENDS App)
qm_add_bench(editor_views KEYBOARD
    SOURCES EditorViewsBench.cpp ${PROJECT_SOURCE_DIR}/App/Tests/Support/ImportVantorel.cpp
    DEPENDS App Appplugin TestSupport Qt6::Test)
qm_add_bench(input_capture SOURCES InputCaptureBench.cpp AllocationCount.cpp
             DEPENDS App TestSupport)
# The input tests' fake session and model, and the app tests' helpers they use.
target_include_directories(bench_input_capture PRIVATE ${PROJECT_SOURCE_DIR}/App/Tests/InputTests
                                                       ${PROJECT_SOURCE_DIR}/App/Tests/Support)
qm_add_bench(app_start SOURCES AppStartBench.cpp)
target_compile_definitions(bench_app_start PRIVATE VANTOREL_EXECUTABLE="$<TARGET_FILE:vantorel>")
find_package(PkgConfig REQUIRED)
pkg_check_modules(xcb_bench REQUIRED IMPORTED_TARGET xcb xcb-xtest)
target_link_libraries(bench_app_start PRIVATE PkgConfig::xcb_bench)
add_dependencies(bench_app_start vantorel)
if(TEST bench_app_start)
    # On a display of its own with a window manager, where no other test's window takes the keys.
    set_tests_properties(bench_app_start PROPERTIES ENVIRONMENT_MODIFICATION DISPLAY=unset:)
endif()
qm_add_bench(app_frames KEYBOARD
    SOURCES AppFramesBench.cpp ${PROJECT_SOURCE_DIR}/App/Tests/Support/ImportVantorel.cpp
    DEPENDS App Appplugin)
target_include_directories(bench_app_frames PRIVATE ${PROJECT_SOURCE_DIR}/App/Tests/Support)
# The bundle is found beside the program, as the app finds it beside its own.
file(CREATE_LINK ${PROJECT_BINARY_DIR}/App/share ${CMAKE_CURRENT_BINARY_DIR}/share SYMBOLIC)
