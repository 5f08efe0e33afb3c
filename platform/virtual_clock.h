// A clock that moves only when told: milliseconds since the start of a test.
#pragma once

#include <cstdint>

class VirtualClock {
 public:
  std::uint64_t Now() const { return now_; }
  void Advance(std::uint64_t ms) { now_ += ms; }
  void AdvanceTo(std::uint64_t time) {
    if (time > now_) now_ = time;
  }

 private:
  std::uint64_t now_ = 0;
};
