// What a screen reader is told about a window: its readable and operable
// parts in reading order, taken from the window model. The platform adapters
// (toolkit/win32_access.cpp) hand these out as they are.
#pragma once

#include <string>
#include <vector>

#include "toolkit/forms.h"

struct TAccessible {
  TControl* Control = nullptr;
  TAccessRole Role = TAccessRole::None;
  std::string Name;  // code page 1252, the text as shown
  TRect Bounds;      // client coordinates in layout pixels
  bool Focusable = false;
  bool Focused = false;
};

// The visible controls of `window` that have a role, from top to bottom and
// left to right.
std::vector<TAccessible> AccessibleParts(const TWindow& window);

// The position of `control` in AccessibleParts(window), or -1.
int AccessibleIndex(const TWindow& window, const TControl* control);

// The name of the default action of a part with `role` ("press" for a push
// button, "jump" for a link), or nullptr where it has none.
const char* AccessibleActionName(TAccessRole role);
