# Helpers every folder uses, so that warnings and test registration stay uniform.

# moc runs only for targets that use Qt; running it everywhere costs build time for nothing.
function(orn_qt_moc name libs)
    if(libs MATCHES "Qt6::")
        set_target_properties(${name} PROPERTIES AUTOMOC ON)
    endif()
endfunction()

function(orn_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_LIBS})
    target_compile_options(${name} PRIVATE ${ORN_WARNINGS})
    orn_qt_moc(${name} "${ARG_LIBS}")
endfunction()

# Every test file is compiled the same way: warnings, where the sources and the corpus lie, and
# little optimisation (the code under test keeps its own). QtTest names each target's own folders
# in two macros; no test uses them (GoogleTest finds the data), and with them the shared
# precompiled header would not fit any second target.
function(orn_test_compile_options name)
    target_compile_options(${name} PRIVATE ${ORN_WARNINGS} $<$<CONFIG:Release>:-O1>
                           -UQT_TESTCASE_BUILDDIR -UQT_TESTCASE_SOURCEDIR)
    target_compile_definitions(${name} PRIVATE
        ORN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        ORN_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
endfunction()

# GoogleTest's and Qt's headers dominate the compile time of every test file: they are parsed once
# for all test binaries of a kind, in a precompiled header that an otherwise empty target makes.
function(orn_test_pch_holder holder gui)
    if(TARGET ${holder})
        return()
    endif()
    set(anchor ${PROJECT_BINARY_DIR}/generated/${holder}.cpp)
    if(NOT EXISTS ${anchor})
        file(WRITE ${anchor} "// Compiled only for the precompiled header of the test binaries.\n")
    endif()
    add_library(${holder} OBJECT ${anchor})
    target_link_libraries(${holder} PRIVATE GTest::gtest GTest::gmock)
    orn_test_compile_options(${holder})
    set(pch <gtest/gtest.h> <gmock/gmock.h> <string> <vector> <memory> <filesystem> <functional>)
    if(gui)
        target_link_libraries(${holder} PRIVATE Qt6::Widgets Qt6::Test)
        list(APPEND pch <QtWidgets> <QtTest>)
    endif()
    target_precompile_headers(${holder} PRIVATE ${pch})
endfunction()

# One GoogleTest executable per test folder; every test is registered with CTest.
# GUI tests run on Qt's offscreen platform so that no display is needed.
function(orn_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    orn_test_compile_options(${name})
    orn_qt_moc(${name} "${ARG_LIBS}")
    if(ARG_LIBS MATCHES "Qt6::|_qt")
        orn_test_pch_holder(orn_test_pch_gui TRUE)
        target_precompile_headers(${name} REUSE_FROM orn_test_pch_gui)
    else()
        orn_test_pch_holder(orn_test_pch FALSE)
        target_precompile_headers(${name} REUSE_FROM orn_test_pch)
    endif()
    gtest_discover_tests(${name}
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        DISCOVERY_TIMEOUT 60)
endfunction()

function(orn_benchmark name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} benchmark::benchmark benchmark::benchmark_main)
    target_compile_options(${name} PRIVATE ${ORN_WARNINGS})
endfunction()
