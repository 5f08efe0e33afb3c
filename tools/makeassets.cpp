// makeassets: writes the start window's bitmaps and the program icon.
//
//   makeassets <dir>
//
// Writes leiste.bmp, logo.bmp, fahne_eng.bmp, fahne_ger.bmp, pfeil.bmp and
// start.ico into <dir>. The output depends on nothing but this file, so the
// generated files are committed and rebuilt only when the pictures change.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A picture of palette indices (palettised) or colours (24-bit), stored top
// row first; the writers turn it bottom-up.
struct Indexed {
  int w = 0, h = 0;
  std::vector<Rgb> palette;
  std::vector<std::uint8_t> px;
  std::uint8_t& at(int x, int y) { return px[static_cast<std::size_t>(y * w + x)]; }
};

struct Truecolor {
  int w = 0, h = 0;
  std::vector<Rgb> px;
  Rgb& at(int x, int y) { return px[static_cast<std::size_t>(y * w + x)]; }
};

Indexed MakeIndexed(int w, int h, std::vector<Rgb> palette) {
  return Indexed{w, h, std::move(palette),
                 std::vector<std::uint8_t>(static_cast<std::size_t>(w * h))};
}

Truecolor MakeTruecolor(int w, int h, Rgb fill) {
  return Truecolor{w, h, std::vector<Rgb>(static_cast<std::size_t>(w * h), fill)};
}

std::uint32_t RowBytes(int w, int bpp) {
  return static_cast<std::uint32_t>((w * bpp + 31) / 32 * 4);
}

// Appends a BITMAPINFOHEADER. `storedHeight` is twice the picture's height
// inside an icon (colour rows followed by the mask rows).
void PutInfoHeader(Bytes& out, int w, int storedHeight, int bpp, std::uint32_t imageBytes,
                   std::uint32_t colorsUsed) {
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(w));
  Put32(out, static_cast<std::uint32_t>(storedHeight));
  Put16(out, 1);
  Put16(out, static_cast<std::uint32_t>(bpp));
  Put32(out, 0);  // BI_RGB
  Put32(out, imageBytes);
  Put32(out, 2835);  // 72 dpi
  Put32(out, 2835);
  Put32(out, colorsUsed);
  Put32(out, 0);
}

void PutPalette(Bytes& out, const std::vector<Rgb>& palette) {
  for (const Rgb& c : palette) {
    out.insert(out.end(), {c.b, c.g, c.r, 0});
  }
}

// Appends the rows of a palettised picture at `bpp` bits per pixel.
void PutIndexedRows(Bytes& out, const Indexed& pic, int bpp) {
  const std::uint32_t rowBytes = RowBytes(pic.w, bpp);
  for (int y = pic.h - 1; y >= 0; --y) {
    Bytes row(rowBytes, 0);
    for (int x = 0; x < pic.w; ++x) {
      const unsigned v = pic.px[static_cast<std::size_t>(y * pic.w + x)];
      const int bit = x * bpp;
      row[static_cast<std::size_t>(bit / 8)] |= static_cast<std::uint8_t>(v << (8 - bpp - bit % 8));
    }
    out.insert(out.end(), row.begin(), row.end());
  }
}

Bytes FileHeader(std::uint32_t fileSize, std::uint32_t pixelOffset) {
  Bytes out{'B', 'M'};
  Put32(out, fileSize);
  Put32(out, 0);
  Put32(out, pixelOffset);
  return out;
}

Bytes EncodeBmp(const Indexed& pic, int bpp) {
  const auto colors = static_cast<std::uint32_t>(pic.palette.size());
  const std::uint32_t imageBytes = RowBytes(pic.w, bpp) * static_cast<std::uint32_t>(pic.h);
  const std::uint32_t offset = 14 + 40 + 4 * colors;
  Bytes out = FileHeader(offset + imageBytes, offset);
  PutInfoHeader(out, pic.w, pic.h, bpp, imageBytes, colors);
  PutPalette(out, pic.palette);
  PutIndexedRows(out, pic, bpp);
  return out;
}

Bytes EncodeBmp(const Truecolor& pic) {
  const std::uint32_t rowBytes = RowBytes(pic.w, 24);
  const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(pic.h);
  Bytes out = FileHeader(14 + 40 + imageBytes, 14 + 40);
  PutInfoHeader(out, pic.w, pic.h, 24, imageBytes, 0);
  for (int y = pic.h - 1; y >= 0; --y) {
    Bytes row(rowBytes, 0);
    for (int x = 0; x < pic.w; ++x) {
      const Rgb& c = pic.px[static_cast<std::size_t>(y * pic.w + x)];
      row[static_cast<std::size_t>(x * 3)] = c.b;
      row[static_cast<std::size_t>(x * 3 + 1)] = c.g;
      row[static_cast<std::size_t>(x * 3 + 2)] = c.r;
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// An icon with one 4-bit image; `transparent[i]` set means pixel i shows
// what lies beneath (AND mask bit 1, colour index 0).
Bytes EncodeIco(const Indexed& pic, const std::vector<bool>& transparent) {
  const std::uint32_t xorBytes = RowBytes(pic.w, 4) * static_cast<std::uint32_t>(pic.h);
  const std::uint32_t andRow = RowBytes(pic.w, 1);
  const std::uint32_t andBytes = andRow * static_cast<std::uint32_t>(pic.h);
  const std::uint32_t imageSize = 40 + 16 * 4 + xorBytes + andBytes;
  Bytes out;
  Put16(out, 0);
  Put16(out, 1);  // icon
  Put16(out, 1);  // one image
  out.insert(out.end(),
             {static_cast<std::uint8_t>(pic.w), static_cast<std::uint8_t>(pic.h), 16, 0});
  Put16(out, 1);  // planes
  Put16(out, 4);  // bits per pixel
  Put32(out, imageSize);
  Put32(out, 6 + 16);
  PutInfoHeader(out, pic.w, pic.h * 2, 4, xorBytes + andBytes, 16);
  PutPalette(out, pic.palette);
  PutIndexedRows(out, pic, 4);
  for (int y = pic.h - 1; y >= 0; --y) {
    Bytes row(andRow, 0);
    for (int x = 0; x < pic.w; ++x) {
      if (transparent[static_cast<std::size_t>(y * pic.w + x)]) {
        row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
    out.insert(out.end(), row.begin(), row.end());
  }
  return out;
}

// Side strip: a vertical gradient from deep to light blue, crossed by faint
// diagonal lines.
Truecolor Leiste() {
  Truecolor pic = MakeTruecolor(70, 280, {});
  for (int y = 0; y < pic.h; ++y) {
    for (int x = 0; x < pic.w; ++x) {
      const int t = y * 255 / (pic.h - 1);
      int r = 10 + t * 60 / 255;
      int g = 40 + t * 100 / 255;
      int b = 120 + t * 110 / 255;
      if ((x + y) % 12 == 0) {
        r += 12;
        g += 14;
        b += 16;
      }
      if (x >= pic.w - 2) {  // a darker seam towards the menu
        r -= 8;
        g -= 20;
        b -= 30;
      }
      pic.at(x, y) = {static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g),
                      static_cast<std::uint8_t>(b)};
    }
  }
  return pic;
}

// A 5 by 7 pixel font for the letters of the product name; '#' is ink.
const char* Glyph(char c) {
  switch (c) {
    case 'o':
      return ".........."
             ".###.#...##...##...#.###.";
    case 'r':
      return ".........."
             "#.##.##..##....#....#....";
    case 'b':
      return "#....#...."
             "####.#...##...##...#####.";
    case 'i':
      return "..#......."
             ".##....#....#....#...###.";
    case 'l':
      return ".##....#.."
             "..#....#....#....#...###.";
    case 'e':
      return ".........."
             ".###.#...#######.....###.";
    case 'x':
      return ".........."
             "#...#.#.#...#...#.#.#...#";
    default:
      return ".........."
             ".........................";
  }
}

// Product logo: "orbilex" in blocky dark blue letters on white, the dot of
// the i in orange, over a thin light-blue bar.
Truecolor Logo() {
  const Rgb white{255, 255, 255}, ink{16, 40, 110}, inkShade{40, 72, 150}, accent{240, 130, 20},
      bar{120, 170, 225};
  Truecolor pic = MakeTruecolor(136, 34, white);
  const std::string word = "orbilex";
  const int scale = 3, pitch = 6 * scale, left = 7, top = 4;
  for (std::size_t i = 0; i < word.size(); ++i) {
    const char* glyph = Glyph(word[i]);
    for (int gy = 0; gy < 7; ++gy) {
      for (int gx = 0; gx < 5; ++gx) {
        if (glyph[gy * 5 + gx] != '#') {
          continue;
        }
        const bool dot = word[i] == 'i' && gy == 0;
        for (int dy = 0; dy < scale; ++dy) {
          for (int dx = 0; dx < scale; ++dx) {
            const int x = left + static_cast<int>(i) * pitch + gx * scale + dx;
            const int y = top + gy * scale + dy;
            pic.at(x, y) = dot ? accent : (dy == 0 ? inkShade : ink);
          }
        }
      }
    }
  }
  for (int x = left; x < left + 7 * pitch - scale; ++x) {
    pic.at(x, top + 7 * scale + 3) = bar;
    pic.at(x, top + 7 * scale + 4) = bar;
  }
  return pic;
}

// True when the centre of pixel (x, y) lies within `halfWidthTenths` tenths of
// a pixel of the diagonal from (0, 0) to (w, h), or of its mirror image when
// `mirrored`.
bool NearDiagonal(int x, int y, int w, int h, bool mirrored, int halfWidthTenths) {
  const long px = mirrored ? 2 * (w - x) - 1 : 2 * x + 1;
  const long d = px * h - (2L * y + 1) * w;  // twice the distance times the diagonal's length
  const long len2 = static_cast<long>(w) * w + static_cast<long>(h) * h;
  return d * d * 100 < 4L * halfWidthTenths * halfWidthTenths * len2;
}

// British-style flag, simplified: blue field, white diagonals with red inner
// lines, and the white-edged red cross.
Indexed FahneEng() {
  enum : std::uint8_t { kBlue, kWhite, kRed };
  Indexed pic = MakeIndexed(26, 13, {{0, 36, 125}, {255, 255, 255}, {207, 20, 43}});
  for (int y = 0; y < pic.h; ++y) {
    for (int x = 0; x < pic.w; ++x) {
      std::uint8_t c = kBlue;
      if (NearDiagonal(x, y, pic.w, pic.h, false, 20) ||
          NearDiagonal(x, y, pic.w, pic.h, true, 20)) {
        c = kWhite;
      }
      if (NearDiagonal(x, y, pic.w, pic.h, false, 8) || NearDiagonal(x, y, pic.w, pic.h, true, 8)) {
        c = kRed;
      }
      if ((x >= 10 && x <= 15) || (y >= 4 && y <= 8)) {
        c = kWhite;
      }
      if ((x >= 11 && x <= 14) || (y >= 5 && y <= 7)) {
        c = kRed;
      }
      pic.at(x, y) = c;
    }
  }
  return pic;
}

// German flag: black, red and gold stripes.
Indexed FahneGer() {
  Indexed pic = MakeIndexed(26, 13, {{0, 0, 0}, {221, 0, 0}, {255, 206, 0}});
  for (int y = 0; y < pic.h; ++y) {
    for (int x = 0; x < pic.w; ++x) {
      pic.at(x, y) = static_cast<std::uint8_t>(y < 4 ? 0 : (y < 9 ? 1 : 2));
    }
  }
  return pic;
}

// Menu arrow: a black triangle pointing right, on white.
Indexed Pfeil() {
  Indexed pic = MakeIndexed(8, 13, {{255, 255, 255}, {0, 0, 0}});
  for (int y = 1; y <= 11; ++y) {
    const int reach = 5 - std::abs(y - 6);
    for (int x = 1; x <= 1 + reach; ++x) {
      pic.at(x, y) = 1;
    }
  }
  return pic;
}

// Program icon: a compact disc with a rainbow sheen, 16 colours, the space
// around it and its centre hole transparent.
Bytes StartIco() {
  enum : std::uint8_t {
    kBlack = 0,
    kNavy = 4,
    kGray = 7,
    kDarkGray = 8,
    kYellow = 11,
    kBlue = 12,
    kMagenta = 13,
    kCyan = 14,
    kWhite = 15
  };
  Indexed pic = MakeIndexed(32, 32,
                            {{0, 0, 0},
                             {128, 0, 0},
                             {0, 128, 0},
                             {128, 128, 0},
                             {0, 0, 128},
                             {128, 0, 128},
                             {0, 128, 128},
                             {192, 192, 192},
                             {128, 128, 128},
                             {255, 0, 0},
                             {0, 255, 0},
                             {255, 255, 0},
                             {0, 0, 255},
                             {255, 0, 255},
                             {0, 255, 255},
                             {255, 255, 255}});
  std::vector<bool> transparent(32 * 32, false);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      const int dx = 2 * x - 31, dy = 2 * y - 31;  // twice the offset from the centre
      const int r2 = dx * dx + dy * dy;
      std::uint8_t c = kBlack;
      if (r2 > 31 * 31 || r2 < 7 * 7) {
        transparent[static_cast<std::size_t>(y * 32 + x)] = true;
      } else if (r2 > 28 * 28 || r2 < 9 * 9) {
        c = kDarkGray;
      } else if (r2 < 14 * 14) {
        c = kNavy;
      } else if (dx > 0 && dy < 0 && dx * 2 > -dy && -dy * 2 > dx) {
        c = r2 < 21 * 21 ? kCyan : (r2 < 25 * 25 ? kMagenta : kYellow);
      } else if (dx < 0 && dy > 0 && -dx * 2 > dy && dy * 2 > -dx) {
        c = r2 < 21 * 21 ? kBlue : kCyan;
      } else {
        c = (dx - dy) % 9 == 0 ? kWhite : kGray;
      }
      pic.at(x, y) = c;
    }
  }
  return EncodeIco(pic, transparent);
}

bool WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "makeassets: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: makeassets <dir>\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  const bool ok = WriteFile(dir + "leiste.bmp", EncodeBmp(Leiste())) &&
                  WriteFile(dir + "logo.bmp", EncodeBmp(Logo())) &&
                  WriteFile(dir + "fahne_eng.bmp", EncodeBmp(FahneEng(), 8)) &&
                  WriteFile(dir + "fahne_ger.bmp", EncodeBmp(FahneGer(), 8)) &&
                  WriteFile(dir + "pfeil.bmp", EncodeBmp(Pfeil(), 4)) &&
                  WriteFile(dir + "start.ico", StartIco());
  return ok ? 0 : 1;
}
