# The parser is pure C++: built in, without the application's Qt.
qm_add_fuzzer(raw_motion SOURCES RawMotionFuzz.cpp
              ${PROJECT_SOURCE_DIR}/App/Sources/Input/RawMotionEvent.cpp)
target_include_directories(fuzz_raw_motion PRIVATE ${PROJECT_SOURCE_DIR}/App/Sources)
