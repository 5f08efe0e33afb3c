# Test tool of the Windows builds: winstub.exe stands in, under Wine, for the
# programs that the start menu starts, and records how it was started.
add_executable(winstub tools/winstub.cpp)

# The check for CD authors, as a console program for Windows.
add_executable(cdcheck tools/cdcheck.cpp platform/folder_link_win32.cpp)
target_link_libraries(cdcheck PRIVATE startcore starttext)
if(CMAKE_BUILD_TYPE STREQUAL "MinSizeRel")
  # Linked with the core's link-time-optimised objects, so optimised the same way.
  set_property(TARGET cdcheck PROPERTY INTERPROCEDURAL_OPTIMIZATION ON)
endif()

# The floor of the program's start-up for bench/run.sh: a bare Win32 window
# with one line of bold text.
add_executable(baseline_win32 WIN32 bench/baseline_win32.cpp)
target_compile_definitions(baseline_win32 PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)

# Asks the start menu from another process what a screen reader gets
# (tests/wine_access_test.sh).
add_executable(msaa_probe tools/msaa_probe.cpp)
target_compile_definitions(msaa_probe PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
target_link_libraries(msaa_probe PRIVATE oleacc ole32 oleaut32)
