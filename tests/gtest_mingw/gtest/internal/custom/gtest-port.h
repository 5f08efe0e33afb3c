// GoogleTest's customization header, put before its own for the Windows
// build of the core's tests (cmake/WindowsTests.cmake). The compiler's
// "-win32" thread variant has no std::mutex and std::condition_variable,
// which GoogleTest's Notification is made of; this one waits on an atomic
// flag instead. GoogleTest uses it only to start its own threads, which the
// core's tests never do.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

class Notification {
 public:
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace testing::internal
