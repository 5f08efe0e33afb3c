// The window backend for Linux/X11, on FLTK: draws the window models and
// feeds them the mouse, the keys, timer ticks and modal loops.
#pragma once

#include <chrono>
#include <future>
#include <map>
#include <memory>
#include <string>

#include "toolkit/host.h"

class ModelWindow;

class FltkHost : public Host {
 public:
  // Starts making the bitmap face "MS Sans Serif" that fonts-wine ships
  // usable, on a thread of its own: fontconfig reads its configuration and
  // caches then, the longest part of the start-up, while the display opens
  // and the start window is built and mapped. No text is measured or drawn
  // before it is done.
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

 private:
  friend class ModelWindow;

  // Waits for the thread that adds "MS Sans Serif", once, then names the
  // fonts: "MS Sans Serif" (Liberation Sans stands in without it), "Arial"
  // and bold "Arial" as fontconfig gives them. Called when a window is
  // first drawn, or a text measured.
  void SetFonts();
  // The start window's enlargement (WindowEnlargement) at the desktop's
  // dpi on the first screen; 1 for the prompts, which scale themselves.
  int Enlargement(const TWindow& window);
  ModelWindow& NativeWindow(TWindow& window);
  void ApplyCursor(ModelWindow& window);

  // A timer's FLTK timeout and when its interval is over.
  struct Armed {
    TTimer* Timer;
    std::chrono::steady_clock::time_point Due;
  };
  static void OnTimer(void* armed);

  std::future<bool> sansSerifAdded_;
  bool fontsSet_ = false;
  std::map<TTimer*, std::unique_ptr<Armed>> armed_;
  bool quit_ = false;
  std::string title_;
  TCursor cursor_{};
  TWindow* main_ = nullptr;
  std::map<TWindow*, std::unique_ptr<ModelWindow>> windows_;
};
