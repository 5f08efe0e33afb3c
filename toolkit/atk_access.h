// Screen readers on Linux: the windows' accessible parts (toolkit/access.h)
// exported to AT-SPI through ATK and its D-Bus bridge. ATK, the bridge and
// GLib are loaded at run time and declared here by hand, so the program is
// built without their headers and starts where they are missing; then, or
// without a session bus, nothing is exported. GLib's main context runs from
// FLTK's loop, woken by its file descriptors.
#pragma once

#include <map>
#include <memory>

class TWindow;

class AtkAccess {
 public:
  AtkAccess();
  ~AtkAccess();
  AtkAccess(const AtkAccess&) = delete;
  AtkAccess& operator=(const AtkAccess&) = delete;

  // Loads the libraries and starts the bridge for an application named
  // `name`; false when that cannot be done.
  bool Start(const char* name);
  // `window` was shown or hidden: a frame for a borderless window, a dialog
  // for one with a frame.
  void Shown(TWindow& window, bool shown);
  // Texts or parts of `window` may have changed.
  void Changed(TWindow& window);
  // The window's accessible focus moved.
  void FocusMoved(TWindow& window);

  struct Node;

 private:
  std::map<TWindow*, std::unique_ptr<Node>> windows_;
  std::unique_ptr<Node> application_;
};
