#include "app/textversion.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A number with any number of decimal digits in exact arithmetic: just
// enough of it to compare a decimal value with a binary one.
class BigNumber {
 public:
  explicit BigNumber(std::uint64_t value) {
    for (; value != 0; value >>= 32) words_.push_back(static_cast<std::uint32_t>(value));
  }
  static BigNumber FromDigits(std::string_view digits) {
    BigNumber number(0);
    for (char d : digits) {
      number.MultiplyAdd(10, static_cast<std::uint32_t>(d - '0'));
    }
    return number;
  }
  void MultiplyPowerOfTen(long long exponent) {
    for (; exponent >= 9; exponent -= 9) MultiplyAdd(1000000000, 0);
    for (; exponent > 0; --exponent) MultiplyAdd(10, 0);
  }
  void ShiftLeft(long long bits) {
    if (bits <= 0 || words_.empty()) return;
    words_.insert(words_.begin(), static_cast<std::size_t>(bits / 32), 0);
    const int shift = static_cast<int>(bits % 32);
    if (shift == 0) return;
    std::uint32_t carry = 0;
    for (std::uint32_t& word : words_) {
      const std::uint32_t next = word >> (32 - shift);
      word = word << shift | carry;
      carry = next;
    }
    if (carry != 0) words_.push_back(carry);
  }
  friend int Compare(const BigNumber& a, const BigNumber& b) {
    if (a.words_.size() != b.words_.size()) return a.words_.size() < b.words_.size() ? -1 : 1;
    for (std::size_t i = a.words_.size(); i-- > 0;) {
      if (a.words_[i] != b.words_[i]) return a.words_[i] < b.words_[i] ? -1 : 1;
    }
    return 0;
  }

 private:
  void MultiplyAdd(std::uint32_t factor, std::uint32_t addend) {
    std::uint64_t carry = addend;
    for (std::uint32_t& word : words_) {
      carry += static_cast<std::uint64_t>(word) * factor;
      word = static_cast<std::uint32_t>(carry);
      carry >>= 32;
    }
    if (carry != 0) words_.push_back(static_cast<std::uint32_t>(carry));
  }

  std::vector<std::uint32_t> words_;  // least significant first
};

// A finite value >= 0 (or the infinity just past the largest double) as
// Mantissa * 2^Exponent.
struct Binary {
  std::uint64_t Mantissa;
  int Exponent;
};

Binary Decompose(double value) {
  if (std::isinf(value)) return {std::uint64_t{1} << 53, 1024 - 53};
  int exponent = 0;
  const double fraction = std::frexp(value, &exponent);
  return {static_cast<std::uint64_t>(std::ldexp(fraction, 53)), exponent - 53};
}

// Compares digits * 10^exponent with the point halfway between the
// neighbouring doubles `below` and `above`.
int CompareWithHalfway(const BigNumber& digits, long long exponent, double below, double above) {
  const Binary low = Decompose(below);
  const Binary high = Decompose(above);
  const int common = std::min(low.Exponent, high.Exponent);
  const BigNumber sum((low.Mantissa << (low.Exponent - common)) +
                      (high.Mantissa << (high.Exponent - common)));
  const long long halfExponent = common - 1;  // halfway = sum * 2^halfExponent
  BigNumber left = digits;
  left.MultiplyPowerOfTen(exponent);
  left.ShiftLeft(-halfExponent);
  BigNumber right = sum;
  right.MultiplyPowerOfTen(-exponent);
  right.ShiftLeft(halfExponent);
  return Compare(left, right);
}

bool IsOdd(double value) {
  return (std::bit_cast<std::uint64_t>(value) & 1) != 0;
}

// 10^exponent for 0 <= exponent <= 22, where it is exact.
double SmallPowerOfTen(long long exponent) {
  double power = 1;
  for (; exponent > 0; --exponent) power *= 10;
  return power;
}

// The value of the decimal digits `digits` times 10^exponent, correctly
// rounded to a double (ties to even). Beyond the range of a double it is
// infinite; below the smallest normal double it is 0.
double DecimalValue(std::string_view digits, long long exponent) {
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string_view::npos) return 0;
  digits.remove_prefix(first);
  const std::size_t last = digits.find_last_not_of('0');
  exponent += static_cast<long long>(digits.size() - 1 - last);
  digits = digits.substr(0, last + 1);

  // The value lies in [10^(magnitude - 1), 10^magnitude).
  const long long magnitude = static_cast<long long>(digits.size()) + exponent;
  if (magnitude > 309) return HUGE_VAL;
  if (magnitude <= -308) return 0;

  // Digits beyond the 800th can only tip a value that lies exactly halfway
  // between two doubles; one non-zero digit in their place does the same.
  std::string kept;
  if (digits.size() > 800) {
    kept = std::string(digits.substr(0, 800)) + "1";
    exponent += static_cast<long long>(digits.size()) - 801;
    digits = kept;
  }

  // A first guess from up to 19 leading digits, a few units in the last
  // place off at most; then exact comparisons move it to the nearest double.
  const std::size_t leading = std::min<std::size_t>(digits.size(), 19);
  std::uint64_t lead = 0;
  for (char d : digits.substr(0, leading)) lead = lead * 10 + static_cast<std::uint64_t>(d - '0');
  double value = static_cast<double>(lead);
  const long long scale = exponent + static_cast<long long>(digits.size() - leading);
  for (long long left = scale; left > 0; left -= 22) value *= SmallPowerOfTen(std::min(left, 22LL));
  for (long long left = -scale; left > 0; left -= 22)
    value /= SmallPowerOfTen(std::min(left, 22LL));
  if (std::isinf(value)) value = DBL_MAX;

  const BigNumber exact = BigNumber::FromDigits(digits);
  for (;;) {
    const double above = std::nextafter(value, HUGE_VAL);
    const int up = CompareWithHalfway(exact, exponent, value, above);
    if (up > 0 || (up == 0 && IsOdd(value))) {
      if (std::isinf(above)) return HUGE_VAL;
      value = above;
      continue;
    }
    if (value > 0) {
      const double below = std::nextafter(value, 0.0);
      const int down = CompareWithHalfway(exact, exponent, below, value);
      if (down < 0 || (down == 0 && IsOdd(value))) {
        value = below;
        continue;
      }
    }
    return value < DBL_MIN ? 0 : value;
  }
}

// The value of a well-formed number, given as its mantissa digits (integer
// and fraction run together), the number of fraction digits among them and
// its exponent; beyond the range of a double it is plus or minus infinity,
// below it zero.
double WellFormedValue(bool negative, std::string_view digits, std::size_t fracCount,
                       bool expNegative, std::string_view expDigits) {
  // An exponent too long to matter is cut to one that still over- or
  // underflows for any mantissa a text can hold.
  long long exponent = 0;
  for (char d : expDigits) {
    exponent = exponent * 10 + (d - '0');
    if (exponent > 1000000000000000) break;
  }
  if (expNegative) exponent = -exponent;
  const double value = DecimalValue(digits, exponent - static_cast<long long>(fracCount));
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
  const std::size_t fracCount = digits.size() - intCount;

  if (i == text.size()) {
    if (digits.empty() && !point) return {};  // a lone sign
    return {WellFormedValue(negative, digits, fracCount, false, ""), true};
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
      return {WellFormedValue(negative, digits, fracCount, expNegative,
                              text.substr(expStart, j - expStart)),
              true};
    }
  }
  return {DecimalValue(digits, 0), false};
}
