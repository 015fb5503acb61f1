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

# One GoogleTest executable per test folder; every test is registered with CTest.
# GUI tests run on Qt's offscreen platform so that no display is needed.
function(orn_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_options(${name} PRIVATE ${ORN_WARNINGS})
    target_compile_definitions(${name} PRIVATE
        ORN_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
        ORN_CORPUS_DIR="${PROJECT_SOURCE_DIR}/../shared/corpus")
    orn_qt_moc(${name} "${ARG_LIBS}")
    # GoogleTest's and Qt's headers dominate the compile time of every test file: parse them once per
    # binary. The code under test keeps its own optimisation; the test code itself needs little.
    set(pch <gtest/gtest.h> <string> <vector> <memory> <filesystem>)
    if(ARG_LIBS MATCHES "Qt6::Widgets")
        list(APPEND pch <QtWidgets>)
    endif()
    if(ARG_LIBS MATCHES "Qt6::Test")
        list(APPEND pch <QtTest>)
    endif()
    target_precompile_headers(${name} PRIVATE ${pch})
    target_compile_options(${name} PRIVATE $<$<CONFIG:Release>:-O1>)
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
