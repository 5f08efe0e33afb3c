// Resampling of the start window's bitmaps for a scaled window. Portable: no
// operating-system headers.
#pragma once

#include "toolkit/bmp.h"
#include "toolkit/forms.h"

enum class TFilter {
  // Each pixel takes the source pixel under its centre: hard edges, but
  // rows and columns doubled unevenly at scales that are not whole.
  Nearest,
  // Each pixel is the average of the source pixels it covers, weighted by
  // the area covered: a whole enlargement repeats every pixel exactly, and
  // other scales blend only along the edges a pixel straddles.
  Area,
};

// The filter each bitmap is resampled with. Chosen by looking at the
// bitmaps at 150 % with both filters (docs/resampling-150.png): the area
// filter keeps the logo's letter stems, the flags' stripes and the arrow's
// slopes even, where the nearest pixel doubles every other row and column;
// the side strip, a smooth gradient, looks the same with either.
TFilter FilterFor(TBitmap bitmap);

// The top-left `sourceWidth` by `sourceHeight` pixels of `image` resampled
// to `width` by `height` with `filter`; same channel count. Empty when
// `image` is or a size is not positive.
RgbImage Resample(const RgbImage& image, int sourceWidth, int sourceHeight, int width, int height,
                  TFilter filter);
