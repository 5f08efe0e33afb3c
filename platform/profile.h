// Reading values from INI-format profile text, with the rules of the system's
// profile routine: lines end at CR or LF, section and key names match
// without regard to case, blanks around names and values are dropped, a
// value enclosed in quotation marks (single or double) loses them, only the
// first section of a name is searched, the first matching key counts (a key
// without "=" counts as one without a value), values are cut to 2047
// characters.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kProfileValueMax = 2047;

// The value of `key` in `section` of the profile text `content`, or nothing
// when the section or key is missing.
std::optional<std::string> FindProfileValue(std::string_view content, std::string_view section,
                                            std::string_view key);

// A key line of a section: its name, its value (nothing for a line without
// "="), and its line number counted from 1.
struct ProfileKey {
  std::string Name;
  std::optional<std::string> Value;
  std::size_t Line = 0;
};

// Every key line of the first section named `section` in `content`, in
// order, repeated names included; nothing when the section is missing.
std::vector<ProfileKey> ListProfileKeys(std::string_view content, std::string_view section);
