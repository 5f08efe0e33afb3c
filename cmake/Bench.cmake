# The benchmark driver (bench/run.sh runs it): measures the programs from
# outside on an X server.
find_package(X11 REQUIRED)
add_executable(startbench bench/startbench.cpp)
target_link_libraries(startbench PRIVATE X11::X11)
