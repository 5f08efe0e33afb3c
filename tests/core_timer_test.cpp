#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "toolkit/forms.h"
#include "toolkit/headless_host.h"

namespace {

// A timer fires once per interval while it stays enabled, and a handler
// that disables it ends the series.
TEST(TimerTest, FiresOncePerIntervalWhileEnabled) {
  VirtualClock clock;
  HeadlessHost host(clock);
  TApplication application(host);
  TWindow window("Window", TWindow::Frame::None, 10, 10);
  std::vector<std::uint64_t> fired;
  TTimer timer("Timer", 200, nullptr);
  timer.OnTimer = [&] {
    fired.push_back(clock.Now());
    if (fired.size() == 3) timer.SetEnabled(false);
  };
  timer.SetEnabled(true);
  host.RunUntil(window, 2000);
  EXPECT_EQ(fired, (std::vector<std::uint64_t>{200, 400, 600}));
  EXPECT_FALSE(host.AnyTimerArmed());
}

}  // namespace
