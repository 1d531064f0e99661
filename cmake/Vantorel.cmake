# Helpers shared by every module, so that each module's CMakeLists stays a list of files.

# qm_add_module(NAME SOURCES... [DEPENDS targets...])
# One static library per module; sources and headers live flat in the module folder, and
# includes are written as "Module/Header.h" from QuillmereKit/Sources.
function(qm_add_module name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/QuillmereKit/Sources)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# qm_add_test(NAME SOURCES... [DEPENDS targets...])
# qm_add_test(NAME [KEYBOARD] SOURCES... [DEPENDS targets...])
# A GoogleTest executable registered with ctest; tests find out they are hosted through
# QM_HOSTED_BY_TESTS, and discovery runs at test time so a broken binary fails a test, not the build.
# KEYBOARD: the tests activate windows on the one test display, and an activation in one process
# takes the keyboard from another's window, or they copy to its one clipboard, which a copy in
# another process takes over, so they run one at a time.
# ALONE: the tests drive the whole app at a person's pace (a triple click, a window going full
# screen under its window manager), which other tests loading the machine stretch: they run
# with no other test beside them.
# The time-outs catch a hang, not a slow step: a journey of a sanitizer build takes a minute and
# a half on a busy machine, a test's step is bounded by its own waits.
function(qm_add_test name)
    if(NOT QM_BUILD_TESTS)
        return()
    endif()
    cmake_parse_arguments(ARG "KEYBOARD;ALONE" "" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPENDS} GTest::gmock GTest::gtest_main)
    set(lock "")
    set(timeout 300)
    if(ARG_KEYBOARD)
        set(lock RESOURCE_LOCK keyboard)
    endif()
    if(ARG_ALONE)
        list(APPEND lock RUN_SERIAL TRUE)
        set(timeout 900)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        # One variable per property: test discovery splits a list value at its semicolons.
        PROPERTIES ENVIRONMENT "QM_HOSTED_BY_TESTS=1"
                   ENVIRONMENT_MODIFICATION "QM_FIXTURES_DIR=set:${PROJECT_SOURCE_DIR}/QuillmereKit/Tests/Fixtures"
                   TIMEOUT ${timeout}
                   ${lock})
endfunction()

# qm_precompile_headers(TARGET [QT] [TESTS])
# The system's and the libraries' headers that a target's files include, directly or through
# the project's headers, parsed once for the target rather than once per file: parsing them is
# a third to a half of a file's compile time. Only headers that never change between builds, so
# that an edit never rebuilds a whole target. QT adds Qt's, TESTS the test framework's.
function(qm_precompile_headers target)
    if(NOT QM_PRECOMPILE_HEADERS)
        return()
    endif()
    cmake_parse_arguments(ARG "QT;TESTS" "" "" ${ARGN})
    set(headers
        <algorithm> <array> <chrono> <filesystem> <functional> <memory> <mutex> <optional>
        <string> <string_view> <thread> <utility> <variant> <vector>
        <fmt/format.h> <spdlog/spdlog.h> <nlohmann/json.hpp>)
    if(ARG_QT)
        list(APPEND headers
            <QObject> <QPointer> <QString> <QStringList> <QUrl> <QVariant>
            <QtQml/qqmlregistration.h> <QQuickItem> <QQuickWindow>)
    endif()
    if(ARG_TESTS)
        list(APPEND headers <gmock/gmock.h> <gtest/gtest.h>)
    endif()
    target_precompile_headers(${target} PRIVATE ${headers})
endfunction()

# qm_share_precompiled_headers(OWNER TARGETS...)
# Targets compiled with the owner's flags use its precompiled header instead of making their
# own. A flag that differs fails the build (the header is refused as invalid), never silently.
function(qm_share_precompiled_headers owner)
    if(NOT QM_PRECOMPILE_HEADERS OR NOT TARGET ${owner})
        return()
    endif()
    foreach(target IN LISTS ARGN)
        target_precompile_headers(${target} REUSE_FROM ${owner})
    endforeach()
endfunction()

# qm_compile_files_apart(TARGETS...)
# Targets whose files define file-local names that another of their files defines too: each file
# is compiled on its own even in a unity build (CMAKE_UNITY_BUILD, which CI's sanitizer builds
# use).
function(qm_compile_files_apart)
    foreach(target IN LISTS ARGN)
        if(TARGET ${target})
            set_target_properties(${target} PROPERTIES UNITY_BUILD OFF)
        endif()
    endforeach()
endfunction()
