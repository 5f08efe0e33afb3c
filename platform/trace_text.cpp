#include "platform/trace_text.h"

#include <algorithm>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendHexByte(std::string& out, unsigned char byte) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0xF];
}

// The digits of `value`, rounded to `digits` significant ones, as an
// integer and the power of ten of its first digit. `value` is finite and
// above 0.
std::pair<std::uint64_t, int> SignificantDigits(double value, int digits) {
  int exponent = 0;
  double scaled = value;
  while (scaled >= 10) {
    scaled /= 10;
    ++exponent;
  }
  while (scaled < 1) {
    scaled *= 10;
    --exponent;
  }
  // One multiplication or division by an exact power of ten (up to 1e22)
  // rounds once; beyond that the scaled value has to do.
  const int shift = digits - 1 - exponent;
  double whole = scaled;
  if (shift >= -22 && shift <= 22) {
    double power = 1;
    for (int i = 0; i < (shift < 0 ? -shift : shift); ++i) power *= 10;
    whole = shift >= 0 ? value * power : value / power;
  } else {
    for (int i = 1; i < digits; ++i) whole *= 10;
  }
  auto rounded = static_cast<std::uint64_t>(whole + 0.5);
  std::uint64_t limit = 1;
  for (int i = 0; i < digits; ++i) limit *= 10;
  if (rounded >= limit) {
    rounded /= 10;
    ++exponent;
  }
  return {rounded, exponent};
}

}  // namespace

std::string TraceLine(std::uint64_t ms, std::string_view event) {
  std::string line = TraceDecimal(ms);
  if (line.size() < 6) line.insert(0, 6 - line.size(), ' ');
  line += " ms  ";
  for (const char c : event) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      AppendHexByte(line, byte);
    } else {
      line += c;
    }
  }
  return line;
}

std::string TraceJoin(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (const std::string_view part : parts) out += part;
  return out;
}

std::string TraceQuoted(std::string_view bytes) {
  std::string out = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte >= 0x7F) {
      AppendHexByte(out, byte);
    } else {
      out += c;
    }
  }
  out += '"';
  return out;
}

std::string TraceDecimal(std::uint64_t value) {
  std::string out;
  do {
    out += static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  std::reverse(out.begin(), out.end());
  return out;
}

std::string TraceHex(std::uint64_t value, int digits) {
  std::string out;
  while (value != 0 || static_cast<int>(out.size()) < digits) {
    out += kHexDigits[value & 0xF];
    value >>= 4;
  }
  std::reverse(out.begin(), out.end());
  return "0x" + out;
}

std::string TraceNumber(double value) {
  if (value != value) return "nan";
  std::string sign = value < 0 ? "-" : "";
  if (value < 0) value = -value;
  if (value > 1.7976931348623157e308) return sign + "inf";
  if (value == 0) return "0";
  constexpr int kDigits = 15;
  const auto [rounded, exponent] = SignificantDigits(value, kDigits);
  std::string digits = TraceDecimal(rounded);
  const bool plain = exponent >= -5 && exponent < kDigits;
  // The position of the decimal point in `digits`.
  const int point = plain ? exponent + 1 : 1;
  if (point <= 0) digits.insert(0, static_cast<std::size_t>(1 - point), '0');
  const std::size_t at = static_cast<std::size_t>(point <= 0 ? 1 : point);
  std::string whole = digits.substr(0, at);
  std::string fraction = digits.substr(at);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string out = sign + whole + (fraction.empty() ? "" : "." + fraction);
  if (!plain) {
    out += exponent < 0 ? "e-" : "e+";
    out += TraceDecimal(static_cast<std::uint64_t>(exponent < 0 ? -exponent : exponent));
  }
  return out;
}
