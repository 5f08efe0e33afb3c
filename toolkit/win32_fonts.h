// The GDI backend's faces: which face draws a font of the window models.
#pragma once

#include <windows.h>

#include "toolkit/forms.h"

// Creates the GDI font that draws `font` (Western character set) at its
// character height: the face it names, or, where that is a bitmap face
// without that height (MS Sans Serif comes as bitmaps of 13, 16 and 20
// pixel lines, and asked for more stays at the nearest), "Microsoft Sans
// Serif", the scalable face with its metrics, else "Tahoma", whichever the
// system really has (by GetTextFace). The caller deletes it.
HFONT CreateDrawingFont(const TFont& font);
