# The App library's Qt targets are imported in its own folder only.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Qml Quick Test)
qm_add_bench(flash_sampler SOURCES FlashSamplerBench.cpp GuiBenchMain.cpp DEPENDS App)
qm_add_bench(editor_views
    SOURCES EditorViewsBench.cpp ${PROJECT_SOURCE_DIR}/App/Tests/Support/ImportVantorel.cpp
    DEPENDS App Appplugin TestSupport Qt6::Test)
