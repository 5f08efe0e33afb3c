# The Windows program: the core, the Win32 platform and the GDI backend.
# Built with the toolchain files cmake/mingw-i686.cmake (the product) and
# cmake/mingw-x86_64.cmake (runs under Wine for tests).
enable_language(RC)

# Everything linked statically, so the program imports only system DLLs.
# No time stamp of the link in the header, so that a build made again gives
# the same file.
add_link_options(-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp)
if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
  add_link_options(-s -Wl,--gc-sections)
endif()

# The version numbers for the resource script.
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/start_version.h CONTENT [[
#define START_VERSION_MAJOR @PROJECT_VERSION_MAJOR@
#define START_VERSION_MINOR @PROJECT_VERSION_MINOR@
#define START_VERSION_PATCH @PROJECT_VERSION_PATCH@
#define START_VERSION_STRING "@PROJECT_VERSION@"
]])

add_executable(start WIN32
  app/nothrow_win32.cpp
  app/start_win32.cpp
  platform/win32_platform.cpp
  platform/win32_ports.cpp
  toolkit/win32_access.cpp
  toolkit/win32_host.cpp
  toolkit/win32_fonts.cpp
  toolkit/resample.cpp
  assets/start.rc)
target_compile_definitions(start PRIVATE UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN)
target_include_directories(start PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/assets
  ${CMAKE_CURRENT_BINARY_DIR}/generated)
target_link_libraries(start PRIVATE startcore starttrace user32 gdi32)
# The link map tells what the stripped program holds (read by
# tests/win32_size_test.sh).
target_link_options(start PRIVATE -Wl,-Map,${CMAKE_CURRENT_BINARY_DIR}/start.map)
# The program and its libraries optimised as one (link-time optimisation):
# about 10 KB less in the 32-bit program, together with --gc-sections.
if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
  set_property(TARGET start startcore starttoolkit starttrace starttext
               PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
  # In one partition: the i686 compiler's partitioned link-time step fails
  # with an internal error on the window models.
  target_link_options(start PRIVATE -flto-partition=one)
endif()
# Built without exceptions: the program throws and catches none, and ends at
# once where the library would throw (app/nothrow_win32.cpp). This leaves out
# the cleanup code and exception tables of its functions: about 8 KB in the
# 32-bit program.
foreach(target start startcore starttoolkit starttrace starttext)
  target_compile_options(${target} PRIVATE -fno-exceptions)
endforeach()
# The resource script names its files relative to assets/.
set_property(SOURCE assets/start.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/start.manifest
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/start.ico
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/leiste.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/logo.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/fahne_eng.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/fahne_ger.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/pfeil.bmp)
include(cmake/WindowsTools.cmake)
if(START_CORE_TESTS)
  include(cmake/WindowsTests.cmake)
endif()
