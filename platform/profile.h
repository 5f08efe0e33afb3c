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

inline constexpr std::size_t kProfileValueMax = 2047;

// The value of `key` in `section` of the profile text `content`, or nothing
// when the section or key is missing.
std::optional<std::string> FindProfileValue(std::string_view content, std::string_view section,
                                            std::string_view key);
