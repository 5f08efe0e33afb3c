#include "toolkit/access.h"

#include <algorithm>

std::vector<TAccessible> AccessibleParts(const TWindow& window) {
  std::vector<TAccessible> parts;
  const TControl* focus = window.AccessibleFocus();
  for (const auto& control : window.Controls()) {
    if (!control->Visible || control->AccessRole == TAccessRole::None) continue;
    const bool focusable = control->AccessRole != TAccessRole::StaticText;
    parts.push_back({control.get(), control->AccessRole, control->Caption, control->Bounds,
                     focusable, control.get() == focus});
  }
  std::stable_sort(parts.begin(), parts.end(), [](const TAccessible& a, const TAccessible& b) {
    return a.Bounds.Top != b.Bounds.Top ? a.Bounds.Top < b.Bounds.Top
                                        : a.Bounds.Left < b.Bounds.Left;
  });
  return parts;
}

int AccessibleIndex(const TWindow& window, const TControl* control) {
  const std::vector<TAccessible> parts = AccessibleParts(window);
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (parts[i].Control == control) return static_cast<int>(i);
  }
  return -1;
}

const char* AccessibleActionName(TAccessRole role) {
  switch (role) {
    case TAccessRole::Link:
      return "jump";
    case TAccessRole::PushButton:
      return "press";
    case TAccessRole::None:
    case TAccessRole::StaticText:
      break;
  }
  return nullptr;
}
