// Screen readers on Windows (Active Accessibility): the client area of a
// window answers WM_GETOBJECT with an IAccessible whose children are the
// accessible parts of the window's model (toolkit/access.h), and moves of the
// keyboard focus are announced as focus events. oleacc, ole32 and oleaut32
// are loaded when the first WM_GETOBJECT arrives: a run that no reader asks
// loads none of them, and the program imports none of them.
#pragma once

#include <windows.h>

class TWindow;
struct TZoom;
class WindowAccessible;

// The accessible object of one native window, made when first asked for.
class Win32Access {
 public:
  Win32Access() = default;
  // Readers that still hold the object get errors from then on.
  ~Win32Access();
  Win32Access(const Win32Access&) = delete;
  Win32Access& operator=(const Win32Access&) = delete;

  // Answers WM_GETOBJECT for `window`, which shows `model` zoomed by `zoom`;
  // 0 when it asks for something other than the client area or the
  // libraries are missing (then DefWindowProc answers).
  LRESULT Answer(HWND window, TWindow& model, const TZoom& zoom, WPARAM wParam, LPARAM lParam);

 private:
  WindowAccessible* object_ = nullptr;
};

// Sends the focus event for model.AccessibleFocus() (or for the client area
// when nothing is focused) while `window` is visible.
void AnnounceFocus(HWND window, const TWindow& model);
