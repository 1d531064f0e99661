qm_add_fuzzer(adb_header SOURCES AdbHeaderFuzz.cpp DEPENDS DeviceLink)
qm_add_fuzzer(adb_banner SOURCES AdbBannerFuzz.cpp DEPENDS DeviceLink)
qm_add_fuzzer(getprop SOURCES GetpropFuzz.cpp DEPENDS DeviceLink)
