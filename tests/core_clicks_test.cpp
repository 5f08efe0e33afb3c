#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "toolkit/clicks.h"

namespace {

TEST(ClickCounterTest, SecondPressWithinTimeAndDistanceIsADoubleClick) {
  // Each row: a sequence of presses (time, x, y) and the counts they get,
  // with the time limit 400 ms and the distance 4 pixels.
  const struct {
    const char* what;
    std::vector<std::tuple<std::uint32_t, int, int>> presses;
    std::vector<int> counts;
  } cases[] = {
      {"two quick", {{1000, 10, 10}, {1400, 14, 6}}, {1, 2}},
      {"too slow", {{1000, 10, 10}, {1401, 10, 10}}, {1, 1}},
      {"too far", {{1000, 10, 10}, {1100, 15, 10}}, {1, 1}},
      {"four quick", {{0, 5, 5}, {100, 5, 5}, {200, 5, 5}, {300, 5, 5}}, {1, 2, 1, 2}},
      {"slow then quick", {{0, 5, 5}, {850, 5, 5}, {1000, 5, 5}}, {1, 1, 2}},
      {"clock wraps", {{0xFFFFFF00u, 5, 5}, {0x40, 5, 5}}, {1, 2}},
  };
  for (const auto& c : cases) {
    TClickCounter counter;
    std::vector<int> counts;
    for (const auto& [time, x, y] : c.presses) counts.push_back(counter.Press(time, x, y));
    EXPECT_EQ(counts, c.counts) << c.what;
  }
}

// `value` as a CARD of `bytes` bytes in the given byte order.
std::string Card(bool bigEndian, std::uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) {
    out += static_cast<char>(value >> (8 * (bigEndian ? bytes - 1 - i : i)) & 0xFF);
  }
  return out;
}

TEST(XSettingsTest, FindsTheIntegerAmongOtherSettings) {
  for (const bool big : {false, true}) {
    const auto card = [big](std::uint32_t value, int bytes) { return Card(big, value, bytes); };
    // A string (name padded to 8, value to 4), a colour, then the integer.
    const std::string string = std::string("\1\0", 2) + card(7, 2) + "Net/Th1" + '\0' + card(0, 4) +
                               card(5, 4) + "Adw12" + std::string(3, '\0');
    const std::string colour =
        std::string("\2\0", 2) + card(4, 2) + "Col1" + card(0, 4) + std::string(8, '\x7F');
    const std::string integer = std::string("\0\0", 2) + card(19, 2) + "Net/DoubleClickTime" +
                                '\0' + card(0, 4) + card(900, 4);
    // Byte order, unused, serial, the number of settings, the settings.
    const std::string data = std::string(1, big ? '\1' : '\0') + std::string(3, '\0') + card(7, 4) +
                             card(3, 4) + string + colour + integer;
    EXPECT_EQ(XSettingsInteger(data, "Net/DoubleClickTime"), 900) << big;
    EXPECT_EQ(XSettingsInteger(data, "Net/DoubleClick"), std::nullopt) << big;
    EXPECT_EQ(XSettingsInteger(data, "Net/Th1"), std::nullopt) << big;  // not an integer
    // Cut anywhere, it gives nothing rather than reading beyond the end.
    for (std::size_t size = 0; size < data.size(); ++size) {
      EXPECT_EQ(XSettingsInteger(data.substr(0, size), "Net/DoubleClickTime"), std::nullopt)
          << big << " " << size;
    }
  }
}

}  // namespace
