#include <gtest/gtest.h>

#include <string>

#include "platform/profile.h"

namespace {

struct Case {
  const char* name;
  const char* content;
  const char* section;
  const char* key;
  const char* expected;  // nullptr: not found
};

TEST(FindProfileValue, FollowsTheProfileRules) {
  const Case cases[] = {
      {"plain", "[CDStart]\nCDVersion=3.1\n", "CDStart", "CDVersion", "3.1"},
      {"names without case", "[cdstart]\ncdversion=3.1\n", "CDStart", "CDVersion", "3.1"},
      {"value keeps case", "[A]\nk=Deutsch\n", "a", "K", "Deutsch"},
      {"blanks dropped", "[A]\n  k  =   2.0  \t\n", "A", "k", "2.0"},
      {"quotes dropped", "[A]\nk=\" spaced \"\n", "A", "k", " spaced "},
      {"single quotes dropped", "[A]\nk='x'\n", "A", "k", "x"},
      {"unlike quotes kept", "[A]\nk=\"x'\n", "A", "k", "\"x'"},
      {"lone quote kept", "[A]\nk=\"x\n", "A", "k", "\"x"},
      {"empty value", "[A]\nk=\n", "A", "k", ""},
      {"first key counts", "[A]\nk=1\nk=2\n", "A", "k", "1"},
      {"other section", "[B]\nk=1\n[A]\nj=2\n", "A", "k", nullptr},
      {"missing section", "k=1\n", "A", "k", nullptr},
      {"crlf lines", "[A]\r\nk=v\r\n", "A", "k", "v"},
      {"cr lines", "[A]\rk=v\r", "A", "k", "v"},
      {"form feed is blank", "[A]\n\fk=v\n", "A", "k", "v"},
      {"utf-8 mark spoils the first line", "\xEF\xBB\xBF[A]\nk=v\n", "A", "k", nullptr},
      {"utf-8 mark before another line", "\xEF\xBB\xBF\n[A]\nk=v\n", "A", "k", "v"},
      {"no newline at end", "[A]\nk=v", "A", "k", "v"},
      {"section spaced", "  [ A ]  \nk=v\n", "A", "k", "v"},
      {"section name to the first bracket", "[A] ; see [x]\nk=v\n", "A", "k", "v"},
      {"section line without its end", "[A]\n[B \nk=v\n", "B", "k", "v"},
      {"section line without its end ends the one before", "[A]\n[B\nk=v\n", "A", "k", nullptr},
      {"section asked for loses spaces", "[A]\nk=v\n", "  A ", "k", "v"},
      {"section asked for keeps tabs", "[A]\nk=v\n", "\tA", "k", nullptr},
      {"comment line", "[A]\n;k=1\nk=2\n", "A", "k", "2"},
      {"indented comment is no key", "[A]\n \t;k=1\n", "A", ";k", nullptr},
      {"semicolon inside a key", "[A]\nk;x=1\n", "A", "k;x", "1"},
      {"value beginning with a semicolon", "[A]\nk=;v\n", "A", "k", ";v"},
      {"section beginning with a semicolon", "[;A]\nk=v\n", ";A", "k", "v"},
      {"equals in value", "[A]\nk=a=b\n", "A", "k", "a=b"},
      {"key without equals", "[A]\nk\nk=v\n", "A", "k", nullptr},
      {"backslash path", "[A]\nk=Acrobat\\Ar405deu.exe\n", "A", "k", "Acrobat\\Ar405deu.exe"},
      {"high bytes",
       "[A]\nk=Gr\xF6\xDF"
       "e\n",
       "A", "k",
       "Gr\xF6\xDF"
       "e"},
      {"only the first same-named section", "[A]\nj=1\n[B]\n[a]\nk=2\n", "A", "k", nullptr},
  };
  for (const Case& c : cases) {
    const auto value = FindProfileValue(c.content, c.section, c.key);
    if (c.expected == nullptr) {
      EXPECT_FALSE(value.has_value()) << c.name;
    } else {
      ASSERT_TRUE(value.has_value()) << c.name;
      EXPECT_EQ(*value, c.expected) << c.name;
    }
  }
}

// Files whose bytes a C string cannot hold: UTF-16 with its byte-order mark
// in either byte order (characters outside code page 1252 read as "?"), and
// a NUL inside a value.
TEST(FindProfileValue, ReadsUtf16AndEndsValuesAtNul) {
  for (const bool little : {true, false}) {
    std::string utf16 = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t c : std::u16string(u"[A]\r\nk=Gr\u00F6\u00DFe \u0416\u20AC\r\n")) {
      const char low = static_cast<char>(c & 0xFF);
      const char high = static_cast<char>(c >> 8);
      utf16 += little ? std::string{low, high} : std::string{high, low};
    }
    EXPECT_EQ(FindProfileValue(utf16, "A", "k"),
              "Gr\xF6\xDF"
              "e ?\x80")
        << little;
  }
  EXPECT_EQ(FindProfileValue(std::string("[A]\nk=Deutsch\0 more\n", 21), "A", "k"), "Deutsch");
}

TEST(ListProfileKeys, SkipsCommentLines) {
  const auto keys = ListProfileKeys("[A]\n; VXVersion=2.0\n  ;x\nk=2\n", "A");
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(keys[0].Name, "k");
  EXPECT_EQ(keys[0].Line, 4u);
}

TEST(ProfileDefault, DropsTrailingBlanks) {
  EXPECT_EQ(ProfileDefault("  1.0  "), "  1.0");
  EXPECT_EQ(ProfileDefault(""), "");
}

TEST(FindProfileValue, CutsValuesAt2047Characters) {
  const std::string content = "[A]\nk=" + std::string(5000, 'x') + "\n";
  EXPECT_EQ(FindProfileValue(content, "A", "k")->size(), 2047u);
}

TEST(FindProfileValue, SurvivesBinaryGarbage) {
  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage += static_cast<char>((i * 7919) % 256);
  EXPECT_FALSE(FindProfileValue(garbage, "CDStart", "VXVersion").has_value());
}

}  // namespace
