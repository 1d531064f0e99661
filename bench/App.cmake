# The App library's Qt targets are imported in its own folder only.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Qml Quick)
qm_add_bench(flash_sampler SOURCES FlashSamplerBench.cpp GuiBenchMain.cpp DEPENDS App)
