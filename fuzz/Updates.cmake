# The App library brings Qt targets, which are seen only where Qt was found.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Network Qml Quick)
qm_add_fuzzer(appcast SOURCES AppcastFuzz.cpp DEPENDS App)
