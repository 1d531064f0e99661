qm_add_fuzzer(adb_header SOURCES AdbHeaderFuzz.cpp DEPENDS DeviceLink)
qm_add_fuzzer(adb_banner SOURCES AdbBannerFuzz.cpp DEPENDS DeviceLink)
qm_add_fuzzer(getprop SOURCES GetpropFuzz.cpp DEPENDS DeviceLink)
qm_add_fuzzer(sync_reply SOURCES SyncReplyFuzz.cpp DEPENDS DeviceLink)
