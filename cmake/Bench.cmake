# The benchmark driver (bench/run.sh runs it): measures the programs from
# outside on an X server.
find_package(X11 REQUIRED)
add_executable(startbench bench/startbench.cpp)
target_link_libraries(startbench PRIVATE X11::X11)

# The floor of the Linux program's start-up: a bare FLTK window with one bold
# label, built and linked as the program is (FLTK statically).
add_executable(baseline_fltk bench/baseline_fltk.cpp)
target_compile_options(baseline_fltk PRIVATE ${FLTK_CXXFLAGS})
target_link_libraries(baseline_fltk PRIVATE ${FLTK_LDFLAGS})
if(NOT START_SANITIZE)
  target_link_options(baseline_fltk PRIVATE -static-libstdc++ -static-libgcc)
endif()
