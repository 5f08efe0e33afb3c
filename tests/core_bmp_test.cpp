#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "toolkit/bmp.h"
#include "toolkit/resample.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put16(Bytes& out, unsigned value) {
  out.push_back(static_cast<unsigned char>(value));
  out.push_back(static_cast<unsigned char>(value >> 8));
}
void Put32(Bytes& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    out.push_back(static_cast<unsigned char>(value >> shift));
}

// A bitmap file: the headers, `palette` (BGRA entries) and `rows` as stored,
// each row already padded. `height` is negative for a top-down bitmap.
Bytes Bitmap(int width, int height, unsigned bits, const Bytes& palette, const Bytes& rows,
             std::uint32_t compression = 0) {
  Bytes out = {'B', 'M'};
  const std::uint32_t offset = 14 + 40 + static_cast<std::uint32_t>(palette.size());
  Put32(out, offset + static_cast<std::uint32_t>(rows.size()));
  Put32(out, 0);
  Put32(out, offset);
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width));
  Put32(out, static_cast<std::uint32_t>(height));
  Put16(out, 1);
  Put16(out, bits);
  Put32(out, compression);
  Put32(out, static_cast<std::uint32_t>(rows.size()));
  Put32(out, 2835);
  Put32(out, 2835);
  Put32(out, static_cast<std::uint32_t>(palette.size() / 4));
  Put32(out, 0);
  out.insert(out.end(), palette.begin(), palette.end());
  out.insert(out.end(), rows.begin(), rows.end());
  return out;
}

RgbImage Decode(const Bytes& file) {
  return DecodeBmp(file.data(), file.size());
}

// "r,g,b" (or "r,g,b,a") of the pixel at x, y.
std::string At(const RgbImage& image, int x, int y) {
  const auto channels = static_cast<std::size_t>(image.Channels);
  const unsigned char* p =
      &image.Pixels[(static_cast<std::size_t>(y) * image.Width + x) * channels];
  std::string text = std::to_string(p[0]);
  for (std::size_t i = 1; i < channels; ++i) text += "," + std::to_string(p[i]);
  return text;
}

// Palette: 0 black, 1 red, 2 green, 3 blue (stored blue, green, red, 0).
const Bytes kPalette = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0};

struct Case {
  const char* name;
  Bytes file;
};

// Every case is the same 3 x 2 picture: top row red, green, blue; bottom row
// black, blue, red. The 3-pixel rows need padding in every depth.
TEST(DecodeBmp, EveryDepthAndRowOrderGivesTheSamePixels) {
  const Case cases[] = {
      {"24-bit bottom-up",
       Bitmap(3, 2, 24, {},
              {0, 0, 0,   255, 0,   0, 0,   0, 255, 0, 0, 0,     // bottom row, 3 bytes of padding
               0, 0, 255, 0,   255, 0, 255, 0, 0,   0, 0, 0})},  // top row
      {"24-bit top-down", Bitmap(3, -2, 24, {}, {0, 0, 255, 0,   255, 0, 255, 0, 0,   0, 0, 0,  //
                                                 0, 0, 0,   255, 0,   0, 0,   0, 255, 0, 0, 0})},
      {"32-bit bottom-up", Bitmap(3, 2, 32, {}, {0, 0, 0,   9, 255, 0,   0, 9, 0,   0, 255, 9,  //
                                                 0, 0, 255, 9, 0,   255, 0, 9, 255, 0, 0,   9})},
      {"8-bit bottom-up", Bitmap(3, 2, 8, kPalette, {0, 3, 1, 0, 1, 2, 3, 0})},
      {"8-bit top-down", Bitmap(3, -2, 8, kPalette, {1, 2, 3, 0, 0, 3, 1, 0})},
      {"4-bit bottom-up", Bitmap(3, 2, 4, kPalette, {0x03, 0x10, 0, 0, 0x12, 0x30, 0, 0})},
      {"4-bit top-down", Bitmap(3, -2, 4, kPalette, {0x12, 0x30, 0, 0, 0x03, 0x10, 0, 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RgbImage image = Decode(c.file);
    ASSERT_EQ(image.Width, 3);
    ASSERT_EQ(image.Height, 2);
    EXPECT_EQ(At(image, 0, 0), "255,0,0");
    EXPECT_EQ(At(image, 1, 0), "0,255,0");
    EXPECT_EQ(At(image, 2, 0), "0,0,255");
    EXPECT_EQ(At(image, 0, 1), "0,0,0");
    EXPECT_EQ(At(image, 1, 1), "0,0,255");
    EXPECT_EQ(At(image, 2, 1), "255,0,0");
  }
}

TEST(DecodeBmp, OneBitPicturesAndShortPalettes) {
  // 1 bit: 10 pixels a row, the first and the last set.
  const RgbImage bits =
      Decode(Bitmap(10, 1, 1, {0, 0, 0, 0, 255, 255, 255, 0}, {0x80, 0x40, 0, 0}));
  ASSERT_EQ(bits.Width, 10);
  for (int x = 0; x < 10; ++x) {
    EXPECT_EQ(At(bits, x, 0), x == 0 || x == 9 ? "255,255,255" : "0,0,0") << x;
  }
  // An index beyond a two-entry palette gives its first entry, never memory
  // beyond it.
  const Bytes two = {0, 0, 0, 0, 255, 255, 255, 0};
  const RgbImage clipped = Decode(Bitmap(2, 1, 8, two, {1, 7, 0, 0}));
  ASSERT_EQ(clipped.Width, 2);
  EXPECT_EQ(At(clipped, 0, 0), "255,255,255");
  EXPECT_EQ(At(clipped, 1, 0), "0,0,0");
}

TEST(DecodeBmp, MalformedOrUnsupportedFilesGiveAnEmptyImage) {
  const Bytes good = Bitmap(3, 2, 8, kPalette, {0, 3, 1, 0, 1, 2, 3, 0});
  ASSERT_FALSE(Decode(good).Empty());

  Bytes badMagic = good;
  badMagic[0] = 'X';
  Bytes noPalette = Bitmap(3, 2, 8, {}, {});
  Bytes farOffset = good;
  farOffset[10] = 0xFF;
  farOffset[11] = 0xFF;
  const Case cases[] = {
      {"empty", {}},
      {"headers cut short", Bytes(good.begin(), good.begin() + 30)},
      {"pixels cut short", Bytes(good.begin(), good.end() - 1)},
      {"not a bitmap", badMagic},
      {"palette beyond the end", noPalette},
      {"pixels beyond the end", farOffset},
      {"run-length compressed", Bitmap(3, 2, 8, kPalette, {0, 3, 1, 0, 1, 2, 3, 0}, 1)},
      {"16 bits a pixel", Bitmap(1, 1, 16, {}, {0, 0, 0, 0})},
      {"zero width", Bitmap(0, 2, 24, {}, {0, 0, 0, 0})},
      {"zero height", Bitmap(2, 0, 24, {}, {0, 0, 0, 0})},
      {"negative width", Bitmap(-2, 1, 24, {}, {0, 0, 0, 0, 0, 0, 0, 0})},
      {"huge", Bitmap(1 << 20, 1 << 20, 24, {}, {0, 0, 0, 0})},
  };
  for (const Case& c : cases) EXPECT_TRUE(Decode(c.file).Empty()) << c.name;
}

// A file of the program's assets/ (START_TEST_ASSETS names the folder, since
// the build records source paths as relative ones).
std::filesystem::path AssetPath(const char* name) {
  return std::filesystem::path(START_TEST_ASSETS) / name;
}

// The program's own bitmaps, as the start window draws them.
RgbImage Asset(const char* name) {
  std::ifstream in(AssetPath(name), std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return Decode(file);
}

TEST(DecodeBmp, TheStartWindowsBitmapsDecodeAtTheirSizes) {
  struct Expected {
    const char* name;
    int width;
    int height;
  };
  for (const Expected& e : {Expected{"leiste.bmp", 70, 280}, Expected{"logo.bmp", 136, 34},
                            Expected{"fahne_eng.bmp", 26, 13}, Expected{"fahne_ger.bmp", 26, 13},
                            Expected{"pfeil.bmp", 8, 13}}) {
    const RgbImage image = Asset(e.name);
    EXPECT_EQ(image.Width, e.width) << e.name;
    EXPECT_EQ(image.Height, e.height) << e.name;
  }
  // The side strip is in blue tones; the arrow is black on white, pointing
  // right: its left column is longer than its right one.
  const RgbImage leiste = Asset("leiste.bmp");
  ASSERT_FALSE(leiste.Empty());
  for (int y : {0, 140, 279}) {
    const unsigned char* p = &leiste.Pixels[(static_cast<std::size_t>(y) * 70 + 30) * 3];
    EXPECT_GT(p[2], p[0]) << "row " << y;
  }
  const RgbImage pfeil = Asset("pfeil.bmp");
  ASSERT_FALSE(pfeil.Empty());
  auto blackInColumn = [&](int x) {
    int count = 0;
    for (int y = 0; y < pfeil.Height; ++y) count += At(pfeil, x, y) == "0,0,0";
    return count;
  };
  EXPECT_GT(blackInColumn(1), blackInColumn(6));
  EXPECT_GT(blackInColumn(6), 0);
  EXPECT_EQ(At(pfeil, 7, 0), "255,255,255");
}

// An icon file with one picture: `bitmap` (as Bitmap() makes it, its height
// counting colour and mask rows) without its file header.
Bytes Icon(const Bytes& bitmap) {
  Bytes out;
  Put16(out, 0);
  Put16(out, 1);
  Put16(out, 1);
  out.insert(out.end(), {3, 2, 4, 0});
  Put16(out, 1);
  Put16(out, 8);
  Put32(out, static_cast<std::uint32_t>(bitmap.size() - 14));
  Put32(out, 22);
  out.insert(out.end(), bitmap.begin() + 14, bitmap.end());
  return out;
}

TEST(DecodeIco, ColoursFromThePictureAndTransparencyFromTheMask) {
  // The 3 x 2 picture of the bitmap cases; the mask (bottom row first) makes
  // the bottom-left and the top-middle pixel transparent.
  const Bytes rows = {0, 3, 1, 0, 1, 2, 3, 0, 0x80, 0, 0, 0, 0x40, 0, 0, 0};
  const Bytes icon = Icon(Bitmap(3, 4, 8, kPalette, rows));
  const RgbImage image = DecodeIco(icon.data(), icon.size());
  ASSERT_EQ(image.Width, 3);
  ASSERT_EQ(image.Height, 2);
  ASSERT_EQ(image.Channels, 4);
  EXPECT_EQ(At(image, 0, 0), "255,0,0,255");
  EXPECT_EQ(At(image, 1, 0), "0,255,0,0");
  EXPECT_EQ(At(image, 2, 0), "0,0,255,255");
  EXPECT_EQ(At(image, 0, 1), "0,0,0,0");
  EXPECT_EQ(At(image, 1, 1), "0,0,255,255");
  EXPECT_EQ(At(image, 2, 1), "255,0,0,255");

  // Without the mask rows every pixel is opaque.
  const Bytes noMask = Icon(Bitmap(3, 4, 8, kPalette, Bytes(rows.begin(), rows.begin() + 8)));
  const RgbImage opaque = DecodeIco(noMask.data(), noMask.size());
  ASSERT_EQ(opaque.Height, 2);
  EXPECT_EQ(At(opaque, 1, 0), "0,255,0,255");

  Bytes cursor = icon;
  cursor[2] = 2;
  Bytes farOffset = icon;
  farOffset[18] = 0xFF;
  Bytes oddHeight = icon;
  oddHeight[22 + 8] = 3;
  const Case cases[] = {
      {"empty", {}},
      {"directory only", Bytes(icon.begin(), icon.begin() + 6)},
      {"cut short", Bytes(icon.begin(), icon.begin() + 40)},
      {"a cursor file", cursor},
      {"picture beyond the end", farOffset},
      {"odd stored height", oddHeight},
      {"compressed picture", Icon(Bitmap(3, 4, 8, kPalette, rows, 1))},
  };
  for (const Case& c : cases)
    EXPECT_TRUE(DecodeIco(c.file.data(), c.file.size()).Empty()) << c.name;
}

TEST(DecodeIco, TheProgramIconIsADiscWithAHole) {
  std::ifstream in(AssetPath("start.ico"), std::ios::binary);
  const Bytes file{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const RgbImage icon = DecodeIco(file.data(), file.size());
  ASSERT_EQ(icon.Width, 32);
  ASSERT_EQ(icon.Height, 32);
  auto alpha = [&](int x, int y) {
    return icon.Pixels[(static_cast<std::size_t>(y) * 32 + x) * 4 + 3];
  };
  EXPECT_EQ(alpha(0, 0), 0) << "corner";
  EXPECT_EQ(alpha(16, 16), 0) << "centre hole";
  EXPECT_EQ(alpha(16, 4), 255) << "disc";
  EXPECT_EQ(alpha(4, 16), 255) << "disc";
}

}  // namespace

// Resampling for a scaled start window: a whole enlargement repeats every
// pixel with either filter; at 150 % the area filter blends only the pixel
// that straddles an edge, the nearest pixel doubles every other one; only
// the top-left part asked for is used.
TEST(Resample, AreaAndNearestPixel) {
  RgbImage row{2, 1, 3, {0, 0, 0, 255, 255, 255}};
  const struct {
    TFilter Filter;
    int Width;
    std::vector<std::string> Pixels;
  } cases[] = {
      {TFilter::Area, 3, {"0,0,0", "128,128,128", "255,255,255"}},
      {TFilter::Nearest, 3, {"0,0,0", "255,255,255", "255,255,255"}},
      {TFilter::Area, 4, {"0,0,0", "0,0,0", "255,255,255", "255,255,255"}},
      {TFilter::Nearest, 4, {"0,0,0", "0,0,0", "255,255,255", "255,255,255"}},
      {TFilter::Area, 1, {"128,128,128"}},
  };
  for (const auto& c : cases) {
    const RgbImage scaled = Resample(row, 2, 1, c.Width, 2, c.Filter);
    ASSERT_EQ(scaled.Width, c.Width);
    for (int x = 0; x < c.Width; ++x) {
      EXPECT_EQ(At(scaled, x, 0), c.Pixels[static_cast<std::size_t>(x)]) << x << " of " << c.Width;
      EXPECT_EQ(At(scaled, x, 1), At(scaled, x, 0));
    }
  }
  EXPECT_EQ(At(Resample(row, 1, 1, 3, 3, TFilter::Area), 2, 2), "0,0,0");
  EXPECT_TRUE(Resample(row, 2, 1, 0, 3, TFilter::Area).Empty());
  EXPECT_TRUE(Resample(RgbImage{}, 2, 1, 3, 3, TFilter::Area).Empty());
}
