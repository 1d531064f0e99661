# The parser is pure C++: built in, without the application's Qt.
qm_add_fuzzer(raw_motion SOURCES RawMotionFuzz.cpp
              ${PROJECT_SOURCE_DIR}/App/Sources/Input/RawMotionEvent.cpp)
target_include_directories(fuzz_raw_motion PRIVATE ${PROJECT_SOURCE_DIR}/App/Sources)
# The icon provider and the symbol it falls back to, without the rest of the application.
find_package(Qt6 6.4 REQUIRED COMPONENTS Concurrent Gui Quick Svg)
set(qm_library ${PROJECT_SOURCE_DIR}/App/Sources/Library)
qm_add_fuzzer(library_icon SOURCES LibraryIconFuzz.cpp ${qm_library}/LibraryIconProvider.cpp
              DEPENDS ServerProtocol Qt6::Concurrent Qt6::Gui Qt6::Quick Qt6::Svg)
target_include_directories(fuzz_library_icon PRIVATE ${PROJECT_SOURCE_DIR}/App/Sources)
qt_add_resources(fuzz_library_icon library_symbol PREFIX /qt/qml/Vantorel/Sources/Library
                 BASE ${qm_library} FILES ${qm_library}/app.dashed.svg)
