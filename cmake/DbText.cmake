# Helpers shared by every folder: one static library per folder, one test executable per folder.

# dbtext_library(NAME SOURCES ... DEPENDS ...): a static library of one src/ folder.
function(dbtext_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS})
endfunction()

# dbtext_add_test(NAME SOURCES ... DEPENDS ...): one GoogleTest executable, registered with CTest.
# The test main (tests/support) gives each run a temporary HOME and XDG_RUNTIME_DIR; the
# offscreen platform is set here as well so that the executable also runs alone.
function(dbtext_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE dbtext_testsupport ${ARG_DEPENDS})
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DBTEXT_SAMPLE_DB=${PROJECT_BINARY_DIR}/samples/sample.txdb;DBTEXT_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        TIMEOUT 600)
endfunction()

# dbtext_add_server_run(NAME EXE FILTER): the tests of EXE that FILTER selects, run again with the
# fixture databases they make put on a private PostgreSQL server (tests/support/PgCluster) and
# opened through data links.
function(dbtext_add_server_run name exe filter)
    add_test(NAME ${name} COMMAND ${exe} --gtest_filter=${filter})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DBTEXT_SAMPLE_DB=${PROJECT_BINARY_DIR}/samples/sample.txdb;DBTEXT_SOURCE_DIR=${PROJECT_SOURCE_DIR};DBTEXT_TEST_BACKEND=postgres"
        TIMEOUT 600)
endfunction()

# dbtext_add_desktop_run(NAME EXE FILTER): the tests of EXE that FILTER selects, run again on a
# desktop of their own (Xvfb and the openbox window manager, tests/support/desktop-run.sh), where
# windows have real frames; under the offscreen platform these tests skip.
function(dbtext_add_desktop_run name exe filter)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/desktop-run.sh $<TARGET_FILE:${exe}> --gtest_filter=${filter})
    set_tests_properties(${name} PROPERTIES
        ENVIRONMENT "DBTEXT_SAMPLE_DB=${PROJECT_BINARY_DIR}/samples/sample.txdb;DBTEXT_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
        TIMEOUT 600)
endfunction()
