# Writes OUTPUT, a C++ source that holds each file of INPUTS as a byte array
# named after the file (leiste.bmp -> kAsset_leiste), with its size.
#   cmake -DOUTPUT=assets.cpp -DINPUTS="a.bmp;b.bmp" -P embed.cmake
set(source "// Generated from the files in assets/; do not edit.\n#include <cstddef>\n\n")
foreach(input IN LISTS INPUTS)
  get_filename_component(name "${input}" NAME_WE)
  file(READ "${input}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" bytes "${bytes}")
  string(APPEND source "extern const unsigned char kAsset_${name}[] = {\n${bytes}};\n")
  string(APPEND source "extern const std::size_t kAsset_${name}_size = sizeof(kAsset_${name});\n\n")
endforeach()
file(WRITE "${OUTPUT}" "${source}")
