#include "platform/profile.h"

#include <algorithm>

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
  } else if (content.substr(0, 3) == "\xEF\xBB\xBF") {
    content.remove_prefix(3);
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
    if (line.empty()) continue;

    // A section's name ends at the line's first "]" (documented for Windows;
    // Wine's conformance tests record it); a "[" line without one is an
    // ordinary line. Only the first section of a name is searched.
    const std::size_t close = line.front() == '[' ? line.find(']') : std::string_view::npos;
    if (close != std::string_view::npos) {
      if (inSection) break;
      inSection = SameName(Trim(line.substr(1, close - 1)), Trim(section));
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
