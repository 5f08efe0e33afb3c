#include <gtest/gtest.h>

#include <string>

#include "platform/cp1252.h"

namespace {

// Bytes from a disk or a file shown as UTF-8: valid UTF-8 stays, any other
// byte is its code-page-1252 letter.
TEST(ShownAsUtf8, KeepsValidUtf8AndReadsOtherBytesAsCp1252) {
  const struct {
    const char* Name;
    std::string Bytes;
    std::string Shown;
  } cases[] = {
      {"ascii", "Acrobat\\x.exe", "Acrobat\\x.exe"},
      {"utf-8", "L\xC3\xB6sung \xE2\x82\xAC \xF0\x9F\x98\x80",
       "L\xC3\xB6sung \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"code page 1252", "L\xF6sung \x80", "L\xC3\xB6sung \xE2\x82\xAC"},
      {"both in one", "\xC3\xA4-\xE4", "\xC3\xA4-\xC3\xA4"},
      {"overlong form", "\xC0\x80", "\xC3\x80\xE2\x82\xAC"},
      {"surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
      {"cut short", "x\xC3", "x\xC3\x83"},
  };
  for (const auto& c : cases) EXPECT_EQ(ShownAsUtf8(c.Bytes), c.Shown) << c.Name;
}

TEST(SameFileName, IgnoresLetterCaseOfCp1252Letters) {
  const struct {
    const char* Disk;
    const char* Name;  // code page 1252
    bool Same;
  } cases[] = {
      {"L\xC3\xB6sung.exe", "L\xF6sung.exe", true},  // UTF-8 on the disk
      {"L\xC3\x96SUNG.EXE", "l\xF6sung.exe", true},  // other case
      {"L\xF6sung.exe", "L\xD6SUNG.exe", true},      // code page 1252 on the disk
      {"\xC5\xA0koda", "\x9Akoda", true},            // S with caron
      {"\xC5\xB8", "\xFF", true},                    // Y with diaeresis
      {"\xD0\x96.exe", "?.exe", false},              // no code-page-1252 form
      {"L\xC3\xB6sung.exe", "Losung.exe", false},
  };
  for (const auto& c : cases) EXPECT_EQ(SameFileName(c.Disk, c.Name), c.Same) << c.Disk;
}

}  // namespace
