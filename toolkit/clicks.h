// Double clicks as the desktop sets them, for backends whose toolkit counts
// clicks its own way.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// Counts button presses into clicks: a press within `Time` milliseconds and
// `Distance` pixels (either way) of the one before is the second press of a
// double click, unless that one was; a third press starts a new click.
class TClickCounter {
 public:
  unsigned Time = 400;
  int Distance = 4;

  // The click count, 1 or 2, of a press at `time` (milliseconds, the
  // counter may wrap) and screen position x, y.
  int Press(std::uint32_t time, int x, int y);

 private:
  bool firstPress_ = false;  // the last press may begin a double click
  std::uint32_t time_ = 0;
  int x_ = 0;
  int y_ = 0;
};

// The integer setting `name` in `data`, the _XSETTINGS_SETTINGS property of
// an X settings manager; nothing when it is absent, not an integer, or the
// data is malformed.
std::optional<std::int32_t> XSettingsInteger(std::string_view data, std::string_view name);
