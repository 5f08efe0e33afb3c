#include "toolkit/access.h"

std::vector<TAccessible> AccessibleParts(const TWindow& window) {
  // The controls in reading order, each put after those above it or left
  // of it on its row.
  std::vector<TControl*> order;
  for (const auto& control : window.Controls()) {
    if (!control->Visible || control->AccessRole == TAccessRole::None) continue;
    const TRect& b = control->Bounds;
    auto at = order.begin();
    while (at != order.end() && ((*at)->Bounds.Top < b.Top ||
                                 ((*at)->Bounds.Top == b.Top && (*at)->Bounds.Left <= b.Left))) {
      ++at;
    }
    order.insert(at, control.get());
  }
  std::vector<TAccessible> parts;
  parts.reserve(order.size());
  for (TControl* control : order) {
    parts.push_back({control, control->AccessRole, control->Caption, control->Bounds,
                     control->AccessRole != TAccessRole::StaticText,
                     control == window.AccessibleFocus()});
  }
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
