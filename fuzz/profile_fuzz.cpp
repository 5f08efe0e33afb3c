// Profile reading on arbitrary content: never crashes, never gives more than
// 2047 characters, and keeps the rules that can be stated without parsing:
// a value is a piece of one line of the content, names match without regard
// to case, and the first matching key counts.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::string Recased(std::string_view name, bool upper) {
  std::string out(name);
  for (char& c : out) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

void CheckLookup(const std::string& content, const std::string& section, const std::string& key) {
  const std::optional<std::string> value = FindProfileValue(content, section, key);
  Check(FindProfileValue(content, Recased(section, true), Recased(key, false)) == value);
  if (!value) return;
  Check(value->size() <= kProfileValueMax);
  Check(value->find_first_of("\r\n") == std::string::npos);
  Check(content.find(*value) != std::string::npos);
  // Lines after the first match change nothing.
  Check(FindProfileValue(content + "\n[" + section + "]\n" + key + "=other\n", section, key) ==
        value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string section = input.ConsumeRandomLengthString(40);
  const std::string key = input.ConsumeRandomLengthString(40);
  const std::string content = input.ConsumeRemainingBytesAsString();

  static const std::pair<const char*, const char*> kFixed[] = {{"CDStart", "CDVersion"},
                                                               {"CDStart", "VXVersion"},
                                                               {"CDStart", "RTGVersion"},
                                                               {"CDStart", "AcrobatEng"},
                                                               {"Einstellungen", "Sprache"}};
  for (const auto& [fixedSection, fixedKey] : kFixed) {
    CheckLookup(content, fixedSection, fixedKey);
    // A key put first, in its own section, is the one found.
    const std::string first =
        std::string("[") + fixedSection + "]\n" + fixedKey + " = \"  first  \"\n" + content;
    Check(FindProfileValue(first, fixedSection, fixedKey) == "  first  ");
  }
  CheckLookup(content, section, key);
  return 0;
}
