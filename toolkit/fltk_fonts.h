// The FLTK backend's faces: which face draws a font of the window models at
// a given pixel size, and what fontconfig calls it.
#pragma once

#include <FL/Enumerations.H>

#include <string>

#include "toolkit/forms.h"

// Names the FLTK fonts, once: "MS Sans Serif" from fonts-wine (Liberation
// Sans stands in without it), "Arial" and bold "Arial" as fontconfig gives
// them, and the scalable face for sizes that a bitmap face lacks. Reads
// fontconfig's configuration and caches first, unless done before.
void SetUpFltkFonts();

// The FLTK font that draws `font` at `size` pixels: the face it names, or,
// where that is a bitmap face without that size (MS Sans Serif has lines of
// 13, 16 and 20 pixels only, and stays at the nearest of them), the first
// scalable sans-serif face installed: Liberation Sans, then DejaVu Sans.
// Leaves that font set at `size` (fl_font).
Fl_Font SetFltkFont(const TFont& font, int size);

// "Liberation Sans Regular": the family and style of the face that
// fontconfig gives for the FLTK font `font` at `size` pixels.
std::string FltkFace(Fl_Font font, int size);
