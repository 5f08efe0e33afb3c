# The core's unit tests (tests/core_*.cpp) as a Windows program,
# core_tests.exe, which the Linux build's tests/wine_core_test.sh runs under
# Wine. GoogleTest is built from the sources that Debian's libgtest-dev
# ships, and linked statically like everything else here; the product
# (start.exe) does not link it.
set(START_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's sources (libgtest-dev)")
if(NOT EXISTS ${START_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "START_CORE_TESTS needs GoogleTest's sources in ${START_GOOGLETEST_SOURCE} (apt-get install libgtest-dev)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${START_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The compiler's "-win32" thread variant has no std::mutex, of which
# GoogleTest makes its Notification: a customization header gives another.
target_include_directories(gtest BEFORE PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/tests/gtest_mingw)

file(GLOB CORE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/core_*.cpp)
add_executable(core_tests ${CORE_TEST_SOURCES})
target_link_libraries(core_tests PRIVATE starttestkit devsimmodel gtest_main)
target_compile_definitions(core_tests PRIVATE START_TEST_ASSETS="${CMAKE_CURRENT_SOURCE_DIR}/assets")

# The Windows platform's serial ports (tests/win32_*.cpp), as
# win32_tests.exe, which tests/wine_core_test.sh runs under Wine too.
file(GLOB WIN32_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/tests/win32_*.cpp)
add_executable(win32_tests ${WIN32_TEST_SOURCES} platform/win32_platform.cpp
  platform/win32_ports.cpp)
target_compile_definitions(win32_tests PRIVATE NOMINMAX WIN32_LEAN_AND_MEAN)
target_link_libraries(win32_tests PRIVATE starttrace starttext gtest_main)

if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
  # Linked with the core's link-time-optimised objects, so optimised the same
  # way throughout: the i686 linker takes an inline function that both
  # optimised and plain objects define for two, and in one partition for the
  # same reason as the program.
  set_property(TARGET core_tests win32_tests starttestkit devsimmodel gtest gtest_main
               PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
  target_link_options(core_tests PRIVATE -flto-partition=one)
  target_link_options(win32_tests PRIVATE -flto-partition=one)
endif()
