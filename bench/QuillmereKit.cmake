qm_add_bench(QuillmereKit SOURCES QuillmereKitBench.cpp DEPENDS QuillmereKit)
