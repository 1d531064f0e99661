qm_add_fuzzer(annexb SOURCES AnnexBFuzz.cpp DEPENDS VideoPipeline Recorder)
