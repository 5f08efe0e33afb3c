#include "toolkit/win32_fonts.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

namespace {

HFONT Create(const std::wstring& face, const TFont& font) {
  // Every text is code page 1252, so every font is asked for with the
  // Western character set; a negative height asks for the character height.
  return CreateFontW(-font.Height, 0, 0, 0, font.Bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                     ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_DONTCARE, face.c_str());
}

// The face name, in UTF-16 (the names are ASCII).
std::wstring Wide(const std::string& name) {
  return std::wstring(name.begin(), name.end());
}

// The width of the alphabet in the font selected into `dc`, and the
// font's character height.
std::pair<int, int> Measure(HDC dc) {
  static const wchar_t kAlphabet[] = L"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
  SIZE size{};
  GetTextExtentPoint32W(dc, kAlphabet, static_cast<int>(std::size(kAlphabet)) - 1, &size);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  return {size.cx, metrics.tmHeight - metrics.tmInternalLeading};
}

}  // namespace

HFONT CreateDrawingFont(const TFont& font) {
  HFONT result = Create(Wide(font.Name), font);
  HDC screen = GetDC(nullptr);
  const HGDIOBJ previous = SelectObject(screen, result);
  const auto [width, height] = Measure(screen);
  // A scalable face always has the character height asked for.
  if (height != font.Height && height > 0) {
    for (const wchar_t* face : {L"Microsoft Sans Serif", L"Tahoma"}) {
      HFONT scalable = Create(face, font);
      SelectObject(screen, scalable);
      wchar_t got[LF_FACESIZE] = {};
      GetTextFaceW(screen, LF_FACESIZE, got);
      // A face wider than the named one would be at this height is drawn
      // smaller, down to three quarters, so that the texts keep their room.
      const int wanted = MulDiv(width, font.Height, height);
      const int drawn = Measure(screen).first;
      SelectObject(screen, previous);
      if (lstrcmpiW(got, face) != 0) {
        DeleteObject(scalable);
        continue;
      }
      DeleteObject(result);
      result = scalable;
      if (drawn > wanted) {
        TFont smaller = font;
        smaller.Height = std::max(font.Height * 3 / 4, MulDiv(font.Height, wanted, drawn));
        DeleteObject(result);
        result = Create(face, smaller);
      }
      break;
    }
  }
  SelectObject(screen, previous);
  ReleaseDC(nullptr, screen);
  return result;
}
