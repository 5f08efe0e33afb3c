#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "app/textversion.h"

namespace {

struct Case {
  const char* text;
  double expected;
};

TEST(TextToVersion, WellFormedTextsGiveTheirValue) {
  const Case cases[] = {
      {"1.0", 1.0},   {"2.05", 2.05}, {".5", 0.5},      {"5.", 5.0},    {".", 0.0},
      {"5.E2", 500},  {"E2", 0.0},    {"e-3", 0.0},     {"  1.5", 1.5}, {"+1.5", 1.5},
      {"-1.5", -1.5}, {"1e3", 1000},  {"2.5E-1", 0.25}, {"007", 7},     {"1.02", 1.02},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(TextToVersion(c.text), c.expected) << c.text;
    EXPECT_TRUE(ReadVersion(c.text).WellFormed) << c.text;
  }
}

TEST(TextToVersion, EmptyBlankOrLoneSignGivesZero) {
  for (const char* text : {"", " ", "     ", "+", "-", "  -"}) {
    EXPECT_EQ(TextToVersion(text), 0.0) << '"' << text << '"';
    EXPECT_FALSE(ReadVersion(text).WellFormed) << '"' << text << '"';
  }
}

TEST(TextToVersion, IllFormedTextsGiveTheirMantissaDigitsRunTogether) {
  const Case cases[] = {
      {"1.23 ", 123}, {"-1.25a", 125}, {"2a", 2},   {"2,05", 2},        {"2.10 ", 210},
      {"1.2.3", 12},  {"1e", 1},       {"1e+", 1},  {"1.5e2x", 15},     {"\t1.5", 0},
      {"v1.5", 0},    {"- 1", 0},      {"1 .5", 1}, {"12.34.56", 1234},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(TextToVersion(c.text), c.expected) << c.text;
    EXPECT_FALSE(ReadVersion(c.text).WellFormed) << c.text;
  }
}

// Long digit runs of an ill-formed text give the correctly rounded value,
// the same as the digits well-formed: a version equal to the minimum is not
// below it.
TEST(TextToVersion, LongIllFormedDigitRunsRoundCorrectly) {
  for (const std::string digits :
       {"12345678901234567890", "99999999999999999999999", "123456789012345678901234567890123"}) {
    EXPECT_EQ(TextToVersion(digits + "x"), TextToVersion(digits)) << digits;
  }
}

// Values near or exactly halfway between two doubles round to the nearest,
// ties to the even one, however many digits decide it.
TEST(TextToVersion, RoundsToTheNearestDoubleTiesToEven) {
  const std::string aboveHalfway = "9007199254740993." + std::string(800, '0') + "1";
  const Case cases[] = {
      // exactly halfway: the even neighbour
      {"1.00000000000000011102230246251565404236316680908203125", 1.0},
      {"1.00000000000000033306690738754696212708950042724609375", 1 + 0x1p-51},
      {"9007199254740993", 0x1p53},
      {aboveHalfway.c_str(), 0x1p53 + 2},
      {"0.1", 0.1},
      {"1.7976931348623157e308", DBL_MAX},
      {"2.2250738585072012e-308", DBL_MIN},
      {"2.2250738585072011e-308", 0.0},  // rounds below the smallest normal double
  };
  for (const Case& c : cases) EXPECT_EQ(TextToVersion(c.text), c.expected) << c.text;
  EXPECT_EQ(TextToVersion("1.7976931348623159e308"), HUGE_VAL);
}

TEST(TextToVersion, ValuesBeyondTheRangeOfADoubleAreInfiniteOrZero) {
  EXPECT_EQ(TextToVersion("1e400"), HUGE_VAL);
  EXPECT_EQ(TextToVersion("-1e400"), -HUGE_VAL);
  EXPECT_EQ(TextToVersion("1e99999999999999999999999"), HUGE_VAL);
  EXPECT_EQ(TextToVersion("0.001e-400"), 0.0);
  EXPECT_EQ(TextToVersion("0e999999"), 0.0);
  EXPECT_DOUBLE_EQ(TextToVersion("1000e-310"), 1e-307);
  EXPECT_EQ(TextToVersion(std::string(400, '9') + "x"), HUGE_VAL);
}

}  // namespace
