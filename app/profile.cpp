#include "app/profile.h"

#include <algorithm>

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char Fold(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Fold(x) == Fold(y); });
}

}  // namespace

std::optional<std::string> FindProfileValue(std::string_view content, std::string_view section,
                                            std::string_view key) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  bool inSection = false;
  while (!content.empty()) {
    const std::size_t end = content.find('\n');
    std::string_view line = Trim(content.substr(0, end));
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);

    if (!line.empty() && line.front() == '[') {
      const std::size_t close = line.find(']');
      const std::string_view name = Trim(
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
      inSection = SameName(name, Trim(section));
      continue;
    }
    if (!inSection) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || !SameName(Trim(line.substr(0, equals)), Trim(key))) {
      continue;
    }
    std::string_view value = Trim(line.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kProfileValueMax));
  }
  return std::nullopt;
}
