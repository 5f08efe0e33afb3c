// Version conversion on arbitrary bytes: never crashes, never gives NaN, and
// agrees with the C library's strtod on every text that strtod reads whole.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/textversion.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsWhole(double value) {
  return std::isinf(value) || value == std::floor(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const double value = TextToVersion(text);
  Check(!std::isnan(value));

  // Leading blanks are skipped.
  Check(TextToVersion(" " + text) == value);

  // Without a minus sign nothing can be negative; without a point or an
  // exponent nothing can have a fraction.
  if (text.find('-') == std::string::npos) Check(value >= 0);
  if (text.find_first_of(".eE") == std::string::npos) Check(IsWhole(value));

  // A short run of digits is its integer value.
  if (!text.empty() && text.size() <= 15 &&
      text.find_first_not_of("0123456789") == std::string::npos) {
    Check(value == static_cast<double>(std::stoull(text)));
  }

  // Only these characters can make up a well-formed number. Any other byte
  // makes the text ill-formed: the result is the mantissa digits as a whole
  // number.
  if (text.find_first_not_of(" +-.0123456789eE") != std::string::npos) {
    Check(value >= 0 && IsWhole(value));
    return 0;
  }
  // strtod reads the same grammar (in the "C" locale). Where it reads the
  // whole text, the values agree, except for results too small for a normal
  // double, which the conversion gives as 0.
  char* end = nullptr;
  const double expected = std::strtod(text.c_str(), &end);
  if (end == text.c_str() + text.size() && !text.empty()) {
    if (std::fpclassify(expected) != FP_SUBNORMAL) Check(value == expected);
  } else {
    Check(value >= 0 && IsWhole(value));
  }
  return 0;
}
