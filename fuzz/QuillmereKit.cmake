# Built from the parsers' own files: the library's sessions and views are no fuzzer's business,
# and the fuzz build compiles none of them.
find_package(Qt6 6.4 REQUIRED COMPONENTS Core)
set(qm_kit ${PROJECT_SOURCE_DIR}/QuillmereKit/Sources/QuillmereKit)
qm_add_fuzzer(capture_file SOURCES CaptureFileFuzz.cpp ${qm_kit}/Demo/DemoClock.cpp
              ${qm_kit}/Demo/DemoSource.cpp ${qm_kit}/Demo/DemoStreamFormat.cpp DEPENDS TestSupport)
qm_add_fuzzer(game_library_index SOURCES GameLibraryIndexFuzz.cpp
              ${qm_kit}/Gaming/GameLibraryIndex.cpp DEPENDS InputRouter)
qm_add_fuzzer(guide_content SOURCES GuideContentFuzz.cpp ${qm_kit}/Help/GuideContent.cpp
              DEPENDS InputRouter Qt6::Core)
qm_add_fuzzer(server_log_lines SOURCES ServerLogLinesFuzz.cpp
              ${qm_kit}/Session/ServerLogLines.cpp DEPENDS QuillmereCore)
qm_add_fuzzer(ext_consumers SOURCES ExtConsumersFuzz.cpp ${qm_kit}/Gaming/GameLibraryCache.cpp
              ${qm_kit}/Gaming/GameLibraryIndex.cpp ${qm_kit}/Gaming/LibraryModel.cpp
              ${qm_kit}/HUD/HUDFormatter.cpp DEPENDS InputRouter Telemetry Qt6::Core)
