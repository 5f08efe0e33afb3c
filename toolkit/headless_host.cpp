#include "toolkit/headless_host.h"

#include <limits>
#include <stdexcept>

#include "toolkit/forms.h"

void HeadlessHost::At(std::uint64_t time, std::function<void()> action) {
  actions_.emplace(std::make_pair(time, sequence_++), std::move(action));
}

void HeadlessHost::TimerChanged(TTimer& timer) {
  if (timer.Enabled()) {
    const std::uint64_t due = clock_.Now() + timer.Interval;
    timers_[&timer] = due;
    Armed[timer.Name].push_back(due);
  } else {
    timers_.erase(&timer);
  }
}

void HeadlessHost::FocusMoved(TWindow& window) {
  const TControl* focus = window.AccessibleFocus();
  FocusMoves.push_back(window.Name + ": " + (focus != nullptr ? focus->Caption : ""));
}

int HeadlessHost::TextWidth(const TFont&, std::string_view text) {
  return 6 * static_cast<int>(text.size());
}

bool HeadlessHost::Step(std::uint64_t limit) {
  if (quit_) return false;
  auto timer = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (timer == timers_.end() || it->second < timer->second) timer = it;
  }
  const bool haveTimer = timer != timers_.end();
  const bool haveAction = !actions_.empty();
  if (!haveTimer && !haveAction) return false;

  const bool takeTimer =
      haveTimer && (!haveAction || timer->second < actions_.begin()->first.first);
  const std::uint64_t due = takeTimer ? timer->second : actions_.begin()->first.first;
  if (due > limit) return false;
  clock_.AdvanceTo(due);
  if (takeTimer) {
    TTimer* fired = timer->first;
    timers_.erase(timer);
    fired->Fire();
  } else {
    std::function<void()> action = std::move(actions_.begin()->second);
    actions_.erase(actions_.begin());
    action();
  }
  return true;
}

void HeadlessHost::RunUntil(TWindow& mainWindow, std::uint64_t time) {
  if (!shown_) {
    shown_ = true;
    mainWindow.Show();
  }
  while (Step(time)) {
  }
  if (!quit_) clock_.AdvanceTo(time);
}

void HeadlessHost::Run(TWindow& mainWindow) {
  if (!shown_) {
    shown_ = true;
    mainWindow.Show();
  }
  while (Step(std::numeric_limits<std::uint64_t>::max())) {
  }
}

void HeadlessHost::RunModal(TWindow& window) {
  const std::size_t index = Modals.size();
  Modals.push_back({window.Name, clock_.Now(), 0});
  while (!window.ModalDone() && !quit_) {
    if (!Step(std::numeric_limits<std::uint64_t>::max())) {
      throw std::logic_error("modal window " + window.Name +
                             " is open and nothing is left to happen");
    }
  }
  Modals[index].Closed = clock_.Now();
}
