# The Linux program: the core, the POSIX platform and the FLTK backend. The
# bitmaps and the icon are compiled in, so the program is one file.
find_program(FLTK_CONFIG fltk-config REQUIRED)
execute_process(COMMAND ${FLTK_CONFIG} --cxxflags OUTPUT_VARIABLE FLTK_CXXFLAGS
                OUTPUT_STRIP_TRAILING_WHITESPACE)
# FLTK is linked statically (its X11 libraries stay shared), so the program
# on the CD needs nothing that a Linux desktop lacks.
execute_process(COMMAND ${FLTK_CONFIG} --ldstaticflags OUTPUT_VARIABLE FLTK_LDFLAGS
                OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(FLTK_CXXFLAGS UNIX_COMMAND "${FLTK_CXXFLAGS}")
separate_arguments(FLTK_LDFLAGS UNIX_COMMAND "${FLTK_LDFLAGS}")
if(CMAKE_SYSROOT)
  # The root's fltk-config names the root's files as they lie in the root.
  list(TRANSFORM FLTK_CXXFLAGS REPLACE "^-I/" "-I${CMAKE_SYSROOT}/")
  list(TRANSFORM FLTK_LDFLAGS REPLACE "^/" "${CMAKE_SYSROOT}/")
endif()
find_package(PkgConfig REQUIRED)
pkg_check_modules(FONTCONFIG REQUIRED IMPORTED_TARGET fontconfig)

set(START_ASSETS
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/leiste.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/logo.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/fahne_eng.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/fahne_ger.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/pfeil.bmp
  ${CMAKE_CURRENT_SOURCE_DIR}/assets/start.ico)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/assets.cpp
  COMMAND ${CMAKE_COMMAND} -DOUTPUT=${CMAKE_CURRENT_BINARY_DIR}/assets.cpp
          "-DINPUTS=${START_ASSETS}" -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed.cmake
  DEPENDS ${START_ASSETS} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/embed.cmake
  COMMENT "Embedding the bitmaps"
  VERBATIM)

add_executable(start app/start_linux.cpp toolkit/fltk_host.cpp toolkit/fltk_fonts.cpp
  toolkit/atk_access.cpp ${CMAKE_CURRENT_BINARY_DIR}/assets.cpp)
target_compile_options(start PRIVATE ${FLTK_CXXFLAGS})
target_compile_definitions(start PRIVATE START_VERSION="${PROJECT_VERSION}")
target_link_libraries(start PRIVATE startcore posixplatform startbmp PkgConfig::FONTCONFIG ${FLTK_LDFLAGS})
if(CMAKE_SYSROOT)
  # Built against an older C library (cmake/sysroot-bullseye.cmake): the
  # host's C++ runtime is linked in, with stand-ins for what it takes from
  # newer C libraries (platform/glibc_compat.cpp). libgcc stays the shared
  # libgcc_s.so.1, which every glibc system has (glibc itself loads it):
  # GCC 12's static unwinder finds frames with _dl_find_object (glibc 2.35).
  target_sources(start PRIVATE platform/glibc_compat.cpp)
  target_link_options(start PRIVATE -static-libstdc++)
elseif(NOT START_SANITIZE)
  # Nor a C++ runtime of a particular version.
  target_link_options(start PRIVATE -static-libstdc++ -static-libgcc)
endif()
