// The window backend on Windows: draws the window models with GDI, feeds
// them the mouse, the keyboard and timer ticks, and runs the message loops.
// This header includes no Windows header.
#pragma once

#include <memory>

#include "toolkit/host.h"

class Win32Host : public Host {
 public:
  // The bitmaps and the icon are resources of the program's own module.
  Win32Host();
  ~Win32Host() override;
  Win32Host(const Win32Host&) = delete;
  Win32Host& operator=(const Win32Host&) = delete;

  // The start window (an HWND) while the main loop runs, else nullptr.
  void* MainWindow() const;

  void Run(TWindow& mainWindow) override;
  void Quit() override;
  void RunModal(TWindow& window) override;
  void TimerChanged(TTimer& timer) override;
  void Invalidate(TWindow& window) override;
  void CursorChanged(TCursor cursor) override;
  void TitleChanged(const std::string& title) override;
  int TextWidth(const TFont& font, std::string_view text) override;
  bool TextMeasurable() override { return true; }
  int LogicalDpi() override;
  // Announced to screen readers (toolkit/win32_access.h).
  void FocusMoved(TWindow& window) override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
