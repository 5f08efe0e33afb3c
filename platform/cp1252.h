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
