// What the portable window models need of a window backend.
//
// A backend (Win32 GDI, FLTK, headless) draws the models, feeds them raw
// input and timer ticks, and runs the modal loops. It never decides what an
// event means: the models do.
#pragma once

#include <string>
#include <string_view>

#include "toolkit/forms.h"

class Host {
 public:
  virtual ~Host() = default;

  // Runs the main loop with `mainWindow` shown (its Show() is called when the
  // loop begins) until Quit() is called.
  virtual void Run(TWindow& mainWindow) = 0;
  // Ends the main loop at its next turn; no timer fires after this.
  virtual void Quit() = 0;
  // Shows `window` modally and runs a nested loop until window.ModalDone().
  virtual void RunModal(TWindow& window) = 0;

  // A timer was enabled, disabled or given a new interval. An enabled timer
  // fires one interval after it was enabled, then once per interval.
  virtual void TimerChanged(TTimer& timer) = 0;

  // Something of `window` changed and must be redrawn.
  virtual void Invalidate(TWindow& window) = 0;
  // The application-wide cursor changed; it applies to every window.
  virtual void CursorChanged(TCursor cursor) = 0;
  // The application title (the task-bar text) changed.
  virtual void TitleChanged(const std::string& title) = 0;

  // Width in pixels of one line of code-page-1252 `text` in `font`.
  virtual int TextWidth(const TFont& font, std::string_view text) = 0;
  // Whether TextWidth answers at once. Where fonts are loaded only once the
  // first window is on the screen, a text set before is measured when its
  // window is shown.
  virtual bool TextMeasurable() = 0;
  // Logical dots per inch of the screen (96 at normal size).
  virtual int LogicalDpi() = 0;

  // The keyboard focus of `window` (TWindow::AccessibleFocus) moved, so
  // that a screen reader speaks what it moved to.
  virtual void FocusMoved(TWindow& /*window*/) {}
};

// How a borderless window of `width` by `height` layout pixels is shown at
// `dpi` on a screen of `screenWidth` by `screenHeight`: unscaled below 120
// dpi; from 120 to 191 dpi scaled by dpi / 96; from 192 dpi on enlarged
// floor(dpi / 96) times, each layout pixel a square block. Never larger
// than fits the screen: a scale that does not fit gives way to the largest
// whole one that does, at least 1.
TZoom WindowZoom(int dpi, int width, int height, int screenWidth, int screenHeight);
