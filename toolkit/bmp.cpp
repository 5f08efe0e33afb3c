#include "toolkit/bmp.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

std::uint32_t U32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t U16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

RgbImage DecodeBmp(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kFileHeader = 14;
  if (size < kFileHeader + 40 || data[0] != 'B' || data[1] != 'M') return {};
  const std::uint32_t pixelOffset = U32(data + 10);
  const unsigned char* info = data + kFileHeader;
  const std::uint32_t infoSize = U32(info);
  const auto width = static_cast<std::int32_t>(U32(info + 4));
  const auto rawHeight = static_cast<std::int32_t>(U32(info + 8));
  const std::uint16_t bits = U16(info + 14);
  const std::uint32_t compression = U32(info + 16);
  std::uint32_t colours = U32(info + 32);
  if (infoSize < 40 || width <= 0 || rawHeight == 0 || width > 16384 ||
      std::abs(rawHeight) > 16384 || compression != 0) {
    return {};
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return {};
  const bool bottomUp = rawHeight > 0;
  const int height = std::abs(rawHeight);

  const unsigned char* palette = info + infoSize;
  if (bits <= 8) {
    if (colours == 0 || colours > (1u << bits)) colours = 1u << bits;
    if (kFileHeader + infoSize + colours * 4 > size) return {};
  }
  const std::size_t stride = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;
  if (pixelOffset > size || stride * static_cast<std::size_t>(height) > size - pixelOffset) {
    return {};
  }

  RgbImage image;
  image.Width = width;
  image.Height = height;
  image.Pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    const unsigned char* row =
        data + pixelOffset + stride * static_cast<std::size_t>(bottomUp ? height - 1 - y : y);
    unsigned char* out = &image.Pixels[static_cast<std::size_t>(y) * width * 3];
    for (int x = 0; x < width; ++x, out += 3) {
      if (bits >= 24) {
        const unsigned char* px = row + static_cast<std::size_t>(x) * (bits / 8);
        out[0] = px[2];
        out[1] = px[1];
        out[2] = px[0];
        continue;
      }
      const std::size_t bit = static_cast<std::size_t>(x) * bits;
      const unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
      unsigned index = (row[bit / 8] >> shift) & ((1u << bits) - 1);
      if (index >= colours) index = 0;
      const unsigned char* entry = palette + index * 4;
      out[0] = entry[2];
      out[1] = entry[1];
      out[2] = entry[0];
    }
  }
  return image;
}

RgbImage DecodeIco(const unsigned char* data, std::size_t size) {
  constexpr std::size_t kDirectory = 6, kEntry = 16, kInfo = 40;
  if (size < kDirectory + kEntry || U16(data) != 0 || U16(data + 2) != 1 || U16(data + 4) == 0) {
    return {};
  }
  const std::uint32_t length = U32(data + kDirectory + 8);
  const std::uint32_t offset = U32(data + kDirectory + 12);
  if (offset > size || length > size - offset || length < kInfo) return {};
  const unsigned char* dib = data + offset;
  const std::uint32_t infoSize = U32(dib);
  const auto storedHeight = static_cast<std::int32_t>(U32(dib + 8));
  const std::uint16_t bits = U16(dib + 14);
  // The stored height counts the colour rows and the mask rows.
  if (infoSize < kInfo || infoSize > length || storedHeight <= 0 || storedHeight % 2 != 0) {
    return {};
  }
  std::uint32_t colours = 0;
  if (bits <= 8 && bits > 0) {
    colours = U32(dib + 32);
    if (colours == 0 || colours > (1u << bits)) colours = 1u << bits;
  }

  // The picture as a bitmap file: a file header before the stored header,
  // whose height is the picture's own.
  const std::uint32_t pixelOffset = 14 + infoSize + colours * 4;
  std::vector<unsigned char> file(14 + static_cast<std::size_t>(length));
  file[0] = 'B';
  file[1] = 'M';
  for (int i = 0; i < 4; ++i) file[10 + i] = static_cast<unsigned char>(pixelOffset >> (8 * i));
  std::copy_n(dib, length, file.begin() + 14);
  const int height = storedHeight / 2;
  for (int i = 0; i < 4; ++i) file[14 + 8 + i] = static_cast<unsigned char>(height >> (8 * i));
  const RgbImage colour = DecodeBmp(file.data(), file.size());
  if (colour.Empty()) return {};

  const std::size_t width = static_cast<std::size_t>(colour.Width);
  const std::size_t colourStride = (width * bits + 31) / 32 * 4;
  const std::size_t maskStride = (width + 31) / 32 * 4;
  const std::size_t maskOffset = pixelOffset + colourStride * static_cast<std::size_t>(height);
  const bool hasMask = maskOffset <= file.size() &&
                       maskStride * static_cast<std::size_t>(height) <= file.size() - maskOffset;

  RgbImage image;
  image.Width = colour.Width;
  image.Height = height;
  image.Channels = 4;
  image.Pixels.resize(width * static_cast<std::size_t>(height) * 4);
  for (int y = 0; y < height; ++y) {
    const unsigned char* mask =
        hasMask ? file.data() + maskOffset + maskStride * static_cast<std::size_t>(height - 1 - y)
                : nullptr;
    for (std::size_t x = 0; x < width; ++x) {
      const std::size_t at = static_cast<std::size_t>(y) * width + x;
      std::copy_n(&colour.Pixels[at * 3], 3, &image.Pixels[at * 4]);
      const bool transparent = mask != nullptr && (mask[x / 8] & (0x80 >> (x % 8))) != 0;
      image.Pixels[at * 4 + 3] = transparent ? 0 : 255;
    }
  }
  return image;
}
