// The window backend for Linux/X11, on FLTK: draws the window models and
// feeds them the mouse, the keys, timer ticks and modal loops.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "toolkit/atk_access.h"
#include "toolkit/forms.h"
#include "toolkit/host.h"

class ModelWindow;

class FltkHost : public Host {
 public:
  // Nothing of fonts is done before the start window is mapped: fontconfig's
  // configuration and caches, the longest part of setting up the fonts, are
  // read when the window is first drawn (SetFonts), as a program with one
  // label does. Read on a thread while the window is made, they held its
  // map back on a machine with two cores by as much as they took.
  FltkHost();
  ~FltkHost() override;

  void Run(TWindow& mainWindow) override;
  void Quit() override { quit_ = true; }
  void RunModal(TWindow& window) override;
  void TimerChanged(TTimer& timer) override;
  void Invalidate(TWindow& window) override;
  void CursorChanged(TCursor cursor) override;
  // The application title is the main window's title, which the task bar
  // and window lists show (the borderless window has no caption to show it).
  void TitleChanged(const std::string& title) override;
  int TextWidth(const TFont& font, std::string_view text) override;
  // Fonts are set up once the start window is on the screen: loading
  // fontconfig's configuration would hold it back by several milliseconds.
  bool TextMeasurable() override { return fontsSet_; }
  // The desktop's font resolution, the resource Xft.dpi that desktops set
  // for scaling; 96 without it.
  int LogicalDpi() override;
  // Told to screen readers (toolkit/atk_access.h).
  void FocusMoved(TWindow& window) override { access_.FocusMoved(window); }

  // Takes in every text that `window` shows now, with the room it has there
  // (a label's box, an auto-sized label's way to the window's edge, a
  // button's face). Each font is then drawn at the largest pixel size, up to
  // its own, at which all the texts taken in for it fit their room: a face
  // that fontconfig stands in for a missing one and that is wider than it
  // is drawn smaller. Faces with the layout's metrics keep their size.
  void FitTexts(const TWindow& window);
  // Where the fonts' trace events go: for each font, when it is first drawn,
  // the face and size it got and the text that fills its room most.
  void SetTrace(std::function<void(std::string_view)> trace) { trace_ = std::move(trace); }

 private:
  friend class ModelWindow;

  // A text taken in by FitTexts, and its room in layout pixels.
  struct Text {
    TFont Font;
    std::string Caption;  // code page 1252
    int Width;
    int Height;
    bool Wrap;
    bool Button;
  };
  // How much of its room a text fills: its extent and its room in screen
  // pixels, and the larger of the two shares (above 1 when it does not fit).
  struct Fill {
    const Text* Most = nullptr;
    int Width = 0, Height = 0, RoomWidth = 0, RoomHeight = 0;
    double Share = 0;
  };
  // A font's size for one enlargement, and whether it has been traced.
  struct Fitted {
    int Size;
    bool Traced;
  };

  // Sets the fonts up (SetUpFltkFonts), once. Called when a window is
  // first drawn, or a text measured.
  void SetFonts();
  // The start window's zoom (WindowZoom) at the desktop's dpi on the first
  // screen; 1 for the prompts, which scale themselves.
  TZoom Zoom(const TWindow& window);
  ModelWindow& NativeWindow(TWindow& window);
  // Sets `font` for windows zoomed by `zoom` at its fitted size, in the
  // face that draws that size (SetFltkFont); the first time it is set for
  // drawing, traces it.
  void UseFont(const TFont& font, TZoom zoom, bool drawing = false);
  // The font's fitted size: the largest, from its own down to three
  // quarters of it, at which the texts taken in for it fit.
  Fitted& Fit(const TFont& font, TZoom zoom);
  // The text taken in for `font` that fills its room most, zoomed by
  // `zoom`, in the font as set.
  Fill Fullest(const TFont& font, TZoom zoom) const;
  // Traces `font`, set at `size` pixels for windows zoomed by `zoom`.
  void TraceFont(const TFont& font, TZoom zoom, int size) const;
  void ApplyCursor(ModelWindow& window);

  // A timer's FLTK timeout and when its interval is over.
  struct Armed {
    TTimer* Timer;
    std::chrono::steady_clock::time_point Due;
  };
  static void OnTimer(void* armed);

  bool fontsSet_ = false;
  std::vector<Text> texts_;
  // By font name, bold, height and zoom.
  std::map<std::tuple<std::string, bool, int, int, int>, Fitted> fitted_;
  std::function<void(std::string_view)> trace_;
  std::map<TTimer*, std::unique_ptr<Armed>> armed_;
  bool quit_ = false;
  std::string title_;
  TCursor cursor_{};
  TWindow* main_ = nullptr;
  std::map<TWindow*, std::unique_ptr<ModelWindow>> windows_;
  AtkAccess access_;
};
