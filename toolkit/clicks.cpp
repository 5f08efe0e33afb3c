#include "toolkit/clicks.h"

#include <cstdlib>

int TClickCounter::Press(std::uint32_t time, int x, int y) {
  const bool second = firstPress_ && time - time_ <= Time && std::abs(x - x_) <= Distance &&
                      std::abs(y - y_) <= Distance;
  firstPress_ = !second;
  time_ = time;
  x_ = x;
  y_ = y;
  return second ? 2 : 1;
}

namespace {

// Reads the property's fields in the byte order it names.
class SettingsReader {
 public:
  SettingsReader(std::string_view data, bool bigEndian) : data_(data), bigEndian_(bigEndian) {}

  bool Skip(std::size_t n) {
    if (n > data_.size()) return false;
    data_.remove_prefix(n);
    return true;
  }
  // Skips n bytes and the padding to a multiple of four after them.
  bool SkipPadded(std::size_t n) { return Skip(n + (4 - n % 4) % 4); }
  std::optional<std::uint32_t> Card(std::size_t bytes) {
    if (bytes > data_.size()) return std::nullopt;
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
      const auto byte = static_cast<unsigned char>(data_[bigEndian_ ? i : bytes - 1 - i]);
      value = value << 8 | byte;
    }
    data_.remove_prefix(bytes);
    return value;
  }
  std::string_view Peek(std::size_t n) const { return data_.substr(0, n); }

 private:
  std::string_view data_;
  bool bigEndian_;
};

}  // namespace

std::optional<std::int32_t> XSettingsInteger(std::string_view data, std::string_view name) {
  if (data.empty()) return std::nullopt;
  SettingsReader reader(data, data[0] == 1);
  if (!reader.Skip(8)) return std::nullopt;  // byte order, unused, serial
  const std::optional<std::uint32_t> count = reader.Card(4);
  if (!count) return std::nullopt;
  for (std::uint32_t i = 0; i < *count; ++i) {
    const std::optional<std::uint32_t> type = reader.Card(1);
    if (!type || !reader.Skip(1)) return std::nullopt;
    const std::optional<std::uint32_t> lengthField = reader.Card(2);
    if (!lengthField) return std::nullopt;
    const std::uint32_t length = *lengthField;
    const bool named = reader.Peek(length) == name && length == name.size();
    if (!reader.SkipPadded(length) || !reader.Skip(4)) return std::nullopt;  // name, serial
    if (*type == 0) {
      const std::optional<std::uint32_t> value = reader.Card(4);
      if (!value) return std::nullopt;
      if (named) return static_cast<std::int32_t>(*value);
    } else if (named) {
      return std::nullopt;
    } else if (*type == 1) {
      const std::optional<std::uint32_t> size = reader.Card(4);
      if (!size || !reader.SkipPadded(*size)) return std::nullopt;
    } else if (*type != 2 || !reader.Skip(8)) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}
