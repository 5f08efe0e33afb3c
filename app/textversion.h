// Conversion of version texts such as "1.5" to numbers.
#pragma once

#include <string_view>

// Turns a text into a double; never reports an error. Leading spaces are
// skipped; then an optional sign, digits with at most one ".", and an
// optional exponent ("E"/"e", optional sign, at least one digit) must make up
// the rest. The decimal separator is always ".". Empty, all-blank or a lone
// sign give 0. Any other ill-formed text gives the whole number formed by the
// mantissa digits read before the first character that does not fit (sign,
// point and exponent disregarded): "1.23 " gives 123. A value beyond the
// range of a double gives plus or minus infinity.
double TextToVersion(std::string_view text);

// TextToVersion's value of `text`, and whether the text is a well-formed
// number (an empty, all-blank or lone-sign text is not).
struct VersionReading {
  double Value = 0;
  bool WellFormed = false;
};
VersionReading ReadVersion(std::string_view text);
