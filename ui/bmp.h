// Decoding of uncompressed Windows bitmap files to RGB pixels. Portable: no
// operating-system headers.
#pragma once

#include <cstddef>
#include <vector>

struct RgbImage {
  int Width = 0;
  int Height = 0;
  std::vector<unsigned char> Pixels;  // 3 bytes a pixel, rows top to bottom
  bool Empty() const { return Pixels.empty(); }
};

// Decodes a bitmap file of 1, 4, 8, 24 or 32 bits a pixel, bottom-up or
// top-down, without compression. Gives an empty image for anything else or
// for a malformed file; never reads outside `data`.
RgbImage DecodeBmp(const unsigned char* data, std::size_t size);
