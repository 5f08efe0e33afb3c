#include <gtest/gtest.h>

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
