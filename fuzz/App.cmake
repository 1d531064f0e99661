# The parser is pure C++: built in, without the application's Qt.
qm_add_fuzzer(raw_motion SOURCES RawMotionFuzz.cpp
              ${PROJECT_SOURCE_DIR}/App/Sources/Input/RawMotionEvent.cpp)
target_include_directories(fuzz_raw_motion PRIVATE ${PROJECT_SOURCE_DIR}/App/Sources)
qm_add_fuzzer(library_icon SOURCES LibraryIconFuzz.cpp DEPENDS App)
target_include_directories(fuzz_library_icon PRIVATE ${PROJECT_SOURCE_DIR}/App/Sources)
