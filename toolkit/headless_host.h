// A window backend without a screen, driven by a virtual clock, for tests.
// Timers fire and scheduled input happens in virtual-time order; a modal
// loop runs the same queue until its window closes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/virtual_clock.h"
#include "toolkit/host.h"

class HeadlessHost : public Host {
 public:
  explicit HeadlessHost(VirtualClock& clock) : clock_(clock) {}

  // Schedules `action` (typically input to a window) at virtual time `time`.
  void At(std::uint64_t time, std::function<void()> action);
  // Shows `mainWindow` (once) and runs timers and scheduled actions in time
  // order up to and including `time`, or until the application ends.
  void RunUntil(TWindow& mainWindow, std::uint64_t time);

  // What was seen.
  struct ModalRecord {
    std::string Window;
    std::uint64_t Shown;
    std::uint64_t Closed;
  };
  std::vector<ModalRecord> Modals;
  bool QuitCalled() const { return quit_; }
  std::string Title;
  TCursor Cursor{};
  int Dpi = 96;
  // Times at which a timer was armed to fire, by timer name.
  std::map<std::string, std::vector<std::uint64_t>> Armed;
  bool AnyTimerArmed() const { return !timers_.empty(); }
  // Each focus move: the window's name and the text of its accessible focus
  // ("" for none), as "Form1: Beenden".
  std::vector<std::string> FocusMoves;

  void Run(TWindow& mainWindow) override;
  void Quit() override { quit_ = true; }
  void RunModal(TWindow& window) override;
  void TimerChanged(TTimer& timer) override;
  void Invalidate(TWindow&) override {}
  void CursorChanged(TCursor cursor) override { Cursor = cursor; }
  void TitleChanged(const std::string& title) override { Title = title; }
  // A fixed-pitch approximation: 6 pixels per character.
  int TextWidth(const TFont& font, std::string_view text) override;
  bool TextMeasurable() override { return Measurable; }
  bool Measurable = true;
  int LogicalDpi() override { return Dpi; }
  void FocusMoved(TWindow& window) override;

 private:
  // Runs the earliest due event at or before `limit`; false when none.
  bool Step(std::uint64_t limit);

  VirtualClock& clock_;
  bool quit_ = false;
  bool shown_ = false;
  std::uint64_t sequence_ = 0;
  std::map<TTimer*, std::uint64_t> timers_;  // due time
  std::multimap<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> actions_;
};
