// Reading values from INI-format profile text, as the Windows profile
// routine reads it: lines end at CR or LF, section and key names match
// without regard to case, blanks around names and values are dropped, a
// value enclosed in quotation marks (single or double) loses them, a section
// name ends at its first "]" or, without one, at the end of its line, only
// the first section of a name is searched, a line whose first non-blank
// character is ";" is a comment, the first matching key counts (a key
// without "=" counts as one without a value), a value ends at a NUL byte and
// is cut to 2047 characters, and only spaces are dropped around the section
// name asked for. A file that begins with a UTF-16 byte-order mark (either
// byte order) is read as UTF-16 (characters without a code-page-1252 form
// become "?"); any other file is code page 1252, a UTF-8 byte-order mark
// included: it is part of the first line, which is then no section line.
// Wine's own reader differs on the comment, the open section line, the
// UTF-8 mark and the trimming of the name asked for; these rules are those
// found on Windows by the tests that Wine marks todo_wine in its conformance
// test dlls/kernel32/tests/profile.c and by the tests of the public project
// WelliSolutions/IniFileFormatReverseEngineering, run against Windows 10
// (Semicolon_Tests, SquareBracket_Tests, WhiteSpace_Tests, UTF8_Tests).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kProfileValueMax = 2047;
// The longest profile file the Linux program reads, a bound on its memory;
// no configuration file comes near it (Windows reads any size).
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
