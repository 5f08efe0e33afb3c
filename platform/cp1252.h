// Conversions between code page 1252 (how the program holds text) and UTF-8.
#pragma once

#include <string>
#include <string_view>

std::string Cp1252ToUtf8(std::string_view text);
// Characters without a code-page-1252 form become "?".
std::string Utf8ToCp1252(std::string_view text);
// The same for UTF-16 text in little-endian byte order (surrogate pairs and
// a last odd byte become "?" as well).
std::string Utf16LeToCp1252(std::string_view bytes);

// Bytes from a disk or a file as UTF-8 text: each valid UTF-8 sequence as it
// is, any other byte read as code page 1252 (as the program reads it).
std::string ShownAsUtf8(std::string_view bytes);

// The capital of a code-page-1252 letter (a-z, the accented letters, and
// the letters of 0x9A, 0x9C, 0x9E and 0xFF); any other byte as it is.
char Cp1252Upper(char c);

// Whether a file name from a disk (`diskName`, read as ShownAsUtf8 reads it)
// names the code-page-1252 name `name` without regard to letter case, as
// Windows finds a file by a name of its ANSI code page.
bool SameFileName(std::string_view diskName, std::string_view name);
