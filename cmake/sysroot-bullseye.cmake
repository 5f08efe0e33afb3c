# The Linux program for the CD, built to run on glibc 2.31 and later
# (Debian 11, Ubuntu 20.04): the host's GCC and C++ library headers, the C
# library, X11, Xft, fontconfig and FLTK of the Debian 11 root that
# scripts/make-sysroot.sh makes in build/sysroot-bullseye.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CXX_COMPILER g++)
get_filename_component(CMAKE_SYSROOT ${CMAKE_CURRENT_LIST_DIR}/../build/sysroot-bullseye ABSOLUTE)
if(NOT EXISTS ${CMAKE_SYSROOT}/.sysroot-complete)
  message(FATAL_ERROR "${CMAKE_SYSROOT} is missing or incomplete: run scripts/make-sysroot.sh")
endif()
# The root may be a link to one elsewhere, and the compiler records some of
# its headers by their real path: that path is recorded as the root's place
# in the source tree, as the source tree's own mapping records the root.
file(REAL_PATH ${CMAKE_SYSROOT} START_SYSROOT_REAL)
set(CMAKE_CXX_FLAGS_INIT "-ffile-prefix-map=${START_SYSROOT_REAL}=./build/sysroot-bullseye")

# The driver would look for the start files and the C library beside GCC
# (the host's) before the root: -B puts the root's library folders first.
set(CMAKE_EXE_LINKER_FLAGS_INIT
  "-B${CMAKE_SYSROOT}/usr/lib/x86_64-linux-gnu/ -B${CMAKE_SYSROOT}/lib/x86_64-linux-gnu/")

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(FLTK_CONFIG ${CMAKE_SYSROOT}/usr/bin/fltk-config)
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_SYSROOT}/usr/lib/x86_64-linux-gnu/pkgconfig:${CMAKE_SYSROOT}/usr/share/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${CMAKE_SYSROOT})
