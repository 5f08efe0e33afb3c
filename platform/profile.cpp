#include "platform/profile.h"

#include <algorithm>
#include <utility>

#include "platform/cp1252.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// The section name asked for loses only its spaces, not tabs.
std::string_view TrimSpaces(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
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

std::string ProfileDefault(std::string_view def) {
  while (!def.empty() && def.back() == ' ') def.remove_suffix(1);
  return std::string(def);
}

std::vector<ProfileKey> ListProfileKeys(std::string_view content, std::string_view section) {
  std::vector<ProfileKey> keys;
  std::string decoded;
  if (content.substr(0, 2) == "\xFF\xFE") {
    decoded = Utf16LeToCp1252(content.substr(2));
    content = decoded;
  } else if (content.substr(0, 2) == "\xFE\xFF") {
    std::string swapped(content.substr(2));
    for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
    decoded = Utf16LeToCp1252(swapped);
    content = decoded;
  }
  bool inSection = false;
  std::size_t lineNumber = 0;
  while (!content.empty()) {
    const std::size_t end = content.find_first_of("\r\n");
    std::string_view line = Trim(content.substr(0, end));
    // CR LF counts as one line end.
    const bool crlf = end != std::string_view::npos && content[end] == '\r' &&
                      end + 1 < content.size() && content[end + 1] == '\n';
    content.remove_prefix(end == std::string_view::npos ? content.size() : end + 1);
    ++lineNumber;
    if (crlf) content.remove_prefix(1);
    // A comment: a ";" in front of anything else on the line.
    if (line.empty() || line.front() == ';') continue;

    // A section's name ends at the line's first "]", or at the line's end
    // when it has none. Only the first section of a name is searched.
    if (line.front() == '[') {
      if (inSection) break;
      const std::size_t close = line.find(']');
      const std::string_view name =
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
      inSection = SameName(Trim(name), TrimSpaces(section));
      continue;
    }
    if (!inSection) continue;
    // A key without "=" has no value.
    const std::size_t equals = line.find('=');
    ProfileKey key{std::string(Trim(line.substr(0, equals))), std::nullopt, lineNumber};
    if (equals != std::string_view::npos) {
      // A NUL byte ends the value (seen with the Windows routine under Wine).
      std::string_view value = line.substr(equals + 1);
      value = Trim(value.substr(0, value.find('\0')));
      if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
          value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
      }
      key.Value = std::string(value.substr(0, kProfileValueMax));
    }
    keys.push_back(std::move(key));
  }
  return keys;
}

std::optional<std::string> FindProfileValue(std::string_view content, std::string_view section,
                                            std::string_view key) {
  for (ProfileKey& found : ListProfileKeys(content, section)) {
    if (SameName(found.Name, Trim(key))) return std::move(found.Value);
  }
  return std::nullopt;
}
