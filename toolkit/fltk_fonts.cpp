#include "toolkit/fltk_fonts.h"

#include <FL/Fl.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <X11/Xft/Xft.h>
#include <fontconfig/fontconfig.h>

namespace {

constexpr Fl_Font kSansSerif = FL_FREE_FONT;      // "MS Sans Serif"
constexpr Fl_Font kArial = FL_FREE_FONT + 1;      // "Arial"
constexpr Fl_Font kArialBold = FL_FREE_FONT + 2;  // "Arial", bold
constexpr Fl_Font kScalable = FL_FREE_FONT + 3;   // the scalable stand-in

// Whether the face given for "MS Sans Serif" is one of bitmaps.
bool sansSerifBitmaps = false;

// Fontconfig leaves bitmap faces out unless the program adds them itself.
bool AddSansSerif() {
  return FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(
                                             "/usr/share/wine/fonts/ms_sans_serif.ttf")) != FcFalse;
}

// The face that fontconfig gives for FLTK font `font` at `size` pixels,
// matched as FLTK matches it; nullptr when none. The caller destroys it.
FcPattern* Match(Fl_Font font, int size) {
  const char* name = Fl::get_font(font);
  FcPattern* pattern =
      FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, name + 1, FC_WEIGHT, FcTypeInteger,
                     name[0] == 'B' ? FC_WEIGHT_BOLD : FC_WEIGHT_MEDIUM, FC_PIXEL_SIZE,
                     FcTypeDouble, static_cast<double>(size), nullptr);
  FcResult result = FcResultNoMatch;
  FcPattern* match = XftFontMatch(fl_display, fl_screen, pattern, &result);
  FcPatternDestroy(pattern);
  return match;
}

// Whether fontconfig has the scalable face of FLTK name `name` (a blank,
// then the family) itself, not a stand-in; leaves it named for kScalable.
// FLTK keeps the name's pointer.
bool Installed(const char* name) {
  Fl::set_font(kScalable, name);
  FcPattern* match = Match(kScalable, 12);
  FcChar8* found = nullptr;
  FcBool scalable = FcFalse;
  const bool installed =
      match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &found) == FcResultMatch &&
      std::string(reinterpret_cast<const char*>(found)) == name + 1 &&
      FcPatternGetBool(match, FC_SCALABLE, 0, &scalable) == FcResultMatch && scalable != FcFalse;
  if (match != nullptr) FcPatternDestroy(match);
  return installed;
}

}  // namespace

void SetUpFltkFonts() {
  Fl::set_font(kSansSerif, AddSansSerif() ? " MS Sans Serif" : " Liberation Sans");
  Fl::set_font(kArial, " Arial");
  Fl::set_font(kArialBold, "BArial");
  if (!Installed(" Liberation Sans") && !Installed(" DejaVu Sans")) {
    Fl::set_font(kScalable, " sans-serif");
  }
  FcPattern* match = Match(kSansSerif, 11);
  FcBool scalable = FcTrue;
  sansSerifBitmaps = match != nullptr &&
                     FcPatternGetBool(match, FC_SCALABLE, 0, &scalable) == FcResultMatch &&
                     scalable == FcFalse;
  if (match != nullptr) FcPatternDestroy(match);
}

Fl_Font SetFltkFont(const TFont& font, int size) {
  if (font.Name == "Arial") {
    fl_font(font.Bold ? kArialBold : kArial, size);
    return font.Bold ? kArialBold : kArial;
  }
  fl_font(kSansSerif, size);
  // A sans-serif line is about 1.15 times the size asked for; a bitmap
  // face that gives a line shorter than 9/8 of it has no strike for the
  // size and draws a smaller one.
  if (!sansSerifBitmaps || fl_height() * 8 >= size * 9) return kSansSerif;
  fl_font(kScalable, size);
  return kScalable;
}

std::string FltkFace(Fl_Font font, int size) {
  FcPattern* match = Match(font, size);
  std::string face = "?";
  FcChar8* family = nullptr;
  FcChar8* style = nullptr;
  if (match != nullptr && FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
      FcPatternGetString(match, FC_STYLE, 0, &style) == FcResultMatch) {
    face = reinterpret_cast<const char*>(family) + std::string(" ") +
           reinterpret_cast<const char*>(style);
  }
  if (match != nullptr) FcPatternDestroy(match);
  return face;
}
