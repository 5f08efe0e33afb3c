// Reading values from INI-format profile text, with the rules of the
// Windows profile routine: lines end at CR or LF, section and key names
// match without regard to case, blanks around names and values are dropped,
// a value enclosed in quotation marks (single or double) loses them, a
// section name ends at its first "]", only the first section of a name is
// searched, the first matching key counts (a key without "=" counts as one
// without a value), a value ends at a NUL byte and is cut to 2047
// characters. A file that begins with the UTF-16LE byte-order mark is read
// as UTF-16 (characters without a code-page-1252 form become "?"), one with
// the UTF-8 mark as code page 1252 after the mark.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kProfileValueMax = 2047;
// The longest profile file read; no configuration file comes near it.
inline constexpr std::size_t kProfileFileMax = std::size_t{64} << 20;

// What the profile routine gives for a missing key with default `def`: the
// default without its trailing blanks.
std::string ProfileDefault(std::string_view def);

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
