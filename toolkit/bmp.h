// Decoding of uncompressed Windows bitmap and icon files to RGB(A) pixels.
// Portable: no operating-system headers.
#pragma once

#include <cstddef>
#include <vector>

struct RgbImage {
  int Width = 0;
  int Height = 0;
  int Channels = 3;                   // 3 (RGB) or 4 (RGBA)
  std::vector<unsigned char> Pixels;  // Channels bytes a pixel, rows top to bottom
  bool Empty() const { return Pixels.empty(); }
};

// Decodes a bitmap file of 1, 4, 8, 24 or 32 bits a pixel, bottom-up or
// top-down, without compression. Gives an empty image for anything else or
// for a malformed file; never reads outside `data`.
RgbImage DecodeBmp(const unsigned char* data, std::size_t size);

// Decodes the first picture of an icon file (any depth DecodeBmp takes,
// without compression) to RGBA: alpha 0 where the picture's mask makes the
// pixel transparent, 255 elsewhere. Gives an empty image for anything else
// or for a malformed file; never reads outside `data`.
RgbImage DecodeIco(const unsigned char* data, std::size_t size);
