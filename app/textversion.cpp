#include "app/textversion.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// The value of the mantissa digits `digits` (integer and fraction digits run
// together) read as one whole number, correctly rounded as the same digits
// would be when well-formed; beyond the range of a double it is infinite.
double WholeNumber(std::string_view digits) {
  if (digits.empty()) return 0;
  double value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  (void)end;
  return error == std::errc::result_out_of_range ? HUGE_VAL : value;
}

// The value of a well-formed number given as its parts; beyond the range of
// a double it is plus or minus infinity, below it zero.
double WellFormedValue(bool negative, std::string_view intDigits, std::string_view fracDigits,
                       bool expNegative, std::string_view expDigits) {
  // An exponent too long to matter is cut to one that still over- or
  // underflows for any mantissa the buffer can hold.
  long long exponent = 0;
  for (char d : expDigits) {
    exponent = exponent * 10 + (d - '0');
    if (exponent > 100000000) break;
  }
  if (expNegative) exponent = -exponent;

  std::string text = std::string(intDigits.empty() ? "0" : intDigits) + "." +
                     std::string(fracDigits) + "e" + std::to_string(exponent);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) {
    // Overflow or underflow: find the decimal magnitude of the first
    // significant digit.
    const std::size_t firstInt = intDigits.find_first_not_of('0');
    long long magnitude = 0;
    if (firstInt != std::string_view::npos) {
      magnitude = static_cast<long long>(intDigits.size() - firstInt);
    } else {
      const std::size_t firstFrac = fracDigits.find_first_not_of('0');
      magnitude = -static_cast<long long>(firstFrac == std::string_view::npos ? 0 : firstFrac);
    }
    value = magnitude + exponent > 0 ? HUGE_VAL : 0.0;
  }
  (void)end;
  if (value == 0) return 0;
  return negative ? -value : value;
}

}  // namespace

double TextToVersion(std::string_view text) {
  return ReadVersion(text).Value;
}

VersionReading ReadVersion(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) return {};

  bool negative = false;
  if (text[i] == '+' || text[i] == '-') {
    negative = text[i] == '-';
    ++i;
  }

  std::string digits;  // every mantissa digit, in order
  std::size_t intCount = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (IsDigit(text[i])) {
      digits += text[i];
      if (!point) ++intCount;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  const std::string_view intDigits = std::string_view(digits).substr(0, intCount);
  const std::string_view fracDigits = std::string_view(digits).substr(intCount);

  if (i == text.size()) {
    if (digits.empty() && !point) return {};  // a lone sign
    return {WellFormedValue(negative, intDigits, fracDigits, false, ""), true};
  }

  if (text[i] == 'E' || text[i] == 'e') {
    std::size_t j = i + 1;
    bool expNegative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
      expNegative = text[j] == '-';
      ++j;
    }
    const std::size_t expStart = j;
    while (j < text.size() && IsDigit(text[j])) ++j;
    if (j > expStart && j == text.size()) {
      return {WellFormedValue(negative, intDigits, fracDigits, expNegative,
                              text.substr(expStart, j - expStart)),
              true};
    }
  }
  return {WholeNumber(digits), false};
}
