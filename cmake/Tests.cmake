# Tests of the Linux build. Test sources are picked up by their prefix:
#   tests/core_*.cpp   headless tests of the core (fake platform, virtual clock)
#                      and of the device simulator's model
#   tests/posix_*.cpp  tests of the POSIX platform against real files,
#                      processes and pseudo-terminals
#   tests/*_test.sh    tests that drive the real programs
# The first two carry the label "unit", the scripts the label "program".
find_package(GTest REQUIRED)
include(GoogleTest)

file(GLOB CORE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/core_*.cpp)
add_executable(core_tests ${CORE_TEST_SOURCES})
target_link_libraries(core_tests PRIVATE starttestkit devsimmodel GTest::gtest_main)
target_compile_definitions(core_tests PRIVATE START_TEST_ASSETS="${CMAKE_CURRENT_SOURCE_DIR}/assets")
gtest_discover_tests(core_tests DISCOVERY_TIMEOUT 30 PROPERTIES LABELS unit)

file(GLOB POSIX_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/posix_*.cpp)
if(POSIX_TEST_SOURCES)
  add_executable(posix_tests ${POSIX_TEST_SOURCES})
  target_link_libraries(posix_tests PRIVATE posixplatform starttestkit GTest::gtest_main util)
  target_compile_definitions(posix_tests PRIVATE
    START_TEST_STUB="$<TARGET_FILE:stubprogram>"
    START_TEST_DEVSIM="$<TARGET_FILE:devsim>"
    START_TEST_PROGRAM="$<TARGET_FILE:start>")
  add_dependencies(posix_tests stubprogram devsim start)
  gtest_discover_tests(posix_tests DISCOVERY_TIMEOUT 30 PROPERTIES LABELS unit)
endif()

file(GLOB SCRIPT_TESTS CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/*_test.sh)
foreach(script ${SCRIPT_TESTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME ${name} COMMAND bash ${script})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "START_BIN=$<TARGET_FILE:start>;DEVSIM=$<TARGET_FILE:devsim>;STUB=$<TARGET_FILE:stubprogram>;SOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR};BUILD_DIR=${CMAKE_BINARY_DIR}"
    SKIP_RETURN_CODE 77
    LABELS program
    RUN_SERIAL TRUE
    TIMEOUT 300)
endforeach()
# The CD check starts the Windows build under Wine once for each case.
set_tests_properties(cdcheck_test PROPERTIES TIMEOUT 900)
# It builds the shipped programs once more.
set_tests_properties(reproducible_test PROPERTIES TIMEOUT 1800)

# The window test and the user scenarios once more with the program that the
# CD carries (the preset linux-compat: Debian 11's FLTK and C library), which
# is the one users run.
set(CD_PROGRAM ${CMAKE_CURRENT_SOURCE_DIR}/build/linux-compat/start)
foreach(name xvfb_window linux_scenarios)
  add_test(NAME ${name}_cd_test COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/${name}_test.sh)
  set_tests_properties(${name}_cd_test PROPERTIES
    ENVIRONMENT "START_BIN=${CD_PROGRAM};DEVSIM=$<TARGET_FILE:devsim>;STUB=$<TARGET_FILE:stubprogram>;SOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR};BUILD_DIR=${CMAKE_BINARY_DIR}/cd-program"
    SKIP_RETURN_CODE 77
    LABELS program
    RUN_SERIAL TRUE
    TIMEOUT 300)
endforeach()
