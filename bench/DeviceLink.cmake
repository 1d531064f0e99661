qm_add_bench(DeviceLink SOURCES DeviceLinkBench.cpp DEPENDS DeviceLink TestSupport)
