qm_add_fuzzer(annexb SOURCES AnnexBFuzz.cpp DEPENDS VideoPipeline Recorder)
qm_add_fuzzer(sps_size SOURCES SpsSizeFuzz.cpp DEPENDS VideoPipeline)
