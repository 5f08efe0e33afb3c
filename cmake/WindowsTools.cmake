# Test tool of the Windows builds: winstub.exe stands in, under Wine, for the
# programs that the start menu starts, and records how it was started.
add_executable(winstub tools/winstub.cpp)

# The check for CD authors, as a console program for Windows.
add_executable(cdcheck tools/cdcheck.cpp)
target_link_libraries(cdcheck PRIVATE startcore starttext)
