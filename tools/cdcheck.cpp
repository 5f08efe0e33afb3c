// cdcheck: checks a CD root for the start menu, for the people who lay out
// the CD. It reads start.ins as the menu does, and reports what the menu
// will use, what it will fail to find, and what breaks its limits.
// Usage: cdcheck [--json] [CD-ROOT]   (exit 0 clean, 1 problems, 2 usage)
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/cdlayout.h"
#include "app/textversion.h"
#include "platform/cp1252.h"
#include "platform/profile.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: cdcheck [--json] [CD-ROOT]\n"
    "Checks a CD root for the start menu: the values of start.ins it will use, the\n"
    "programs and documents its entries start or open, version texts, unknown or\n"
    "repeated keys, path and name lengths, and autorun.inf. CD-ROOT defaults to\n"
    "the current directory. Exit status: 0 clean, 1 problems found, 2 usage error\n"
    "or no such directory.\n"
    "  --json  one JSON object on standard output instead of the report\n";

// The longest name a Joliet file system keeps, in UTF-16 units.
constexpr std::size_t kJolietNameMax = 64;
// The CD root as a drive's root, as Windows names it.
constexpr std::string_view kDriveRoot = "D:\\";

struct Value {
  std::string Key;
  std::string Text;  // code page 1252, as read
  bool Default = false;
};

struct FileCheck {
  FileCheck(std::string use, std::string path) : Use(std::move(use)), Path(std::move(path)) {}
  std::string Use;   // what the menu does with it
  std::string Path;  // relative, "\"-separated
  enum class State { Found, OtherCase, Missing } Result = State::Missing;
  std::string Actual;  // as found on the medium, "\"-separated
};

struct Problem {
  std::string Kind;
  std::string Text;
};

struct Report {
  std::string Root;
  std::vector<Value> Values;
  std::vector<FileCheck> Files;
  std::vector<Problem> Problems;
  void Add(std::string kind, std::string text) {
    Problems.push_back({std::move(kind), std::move(text)});
  }
};

char Fold(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameFolded(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Fold(x) == Fold(y); });
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find_first_of("\\/", start), path.size());
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Finds the relative path `path` under `root`, each part by exact name
// first, else without regard to letter case (as a CD file system and the
// program's Linux build find it).
void Locate(const fs::path& root, FileCheck& file) {
  fs::path at = root;
  bool exact = true;
  std::string actual;
  for (const std::string& part : SplitPath(file.Path)) {
    std::optional<std::string> match;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(at, error)) {
      const std::string name = entry.path().filename().string();
      if (name == part) {
        match = name;
        break;
      }
      if (!match && SameFolded(name, part)) match = name;
    }
    if (!match) {
      file.Result = FileCheck::State::Missing;
      return;
    }
    exact = exact && *match == part;
    at /= *match;
    actual += (actual.empty() ? "" : "\\") + *match;
  }
  std::error_code error;
  if (!fs::is_regular_file(at, error)) {
    file.Result = FileCheck::State::Missing;
    return;
  }
  file.Result = exact ? FileCheck::State::Found : FileCheck::State::OtherCase;
  file.Actual = actual;
}

// The folder as the program would name its own: absolute, "\"-separated,
// with a trailing "\".
std::string FolderRoot(const fs::path& root) {
  std::string text = root.string();
  std::replace(text.begin(), text.end(), '/', '\\');
  if (text.empty() || text.back() != '\\') text += '\\';
  return text;
}

void CheckLengths(Report& report, const fs::path& root) {
  const std::string folder = FolderRoot(root);
  for (const FileCheck& file : report.Files) {
    for (const std::string_view base : {kDriveRoot, std::string_view(folder)}) {
      const std::size_t length = base.size() + file.Path.size();
      if (length > kCommandMax) {
        report.Add("path-too-long", std::string(base) + file.Path + " has " +
                                        std::to_string(length) + " characters, more than " +
                                        std::to_string(kCommandMax) + ": the menu will not " +
                                        file.Use);
      }
    }
  }
  if (folder.size() > kDirectoryMax) {
    report.Add("path-too-long", "the folder " + folder + " has " + std::to_string(folder.size()) +
                                    " characters, more than " + std::to_string(kDirectoryMax) +
                                    ": run from there, the menu cannot open the manual");
  }
}

void CheckNames(Report& report, const fs::path& root) {
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::size_t units = 0;
    try {
      units = it->path().filename().u16string().size();
    } catch (const std::exception&) {
      units = it->path().filename().string().size();
    }
    if (units > kJolietNameMax) {
      report.Add("name-too-long", fs::relative(it->path(), root, error).string() + ": " +
                                      std::to_string(units) + " characters, more than Joliet's " +
                                      std::to_string(kJolietNameMax));
    }
  }
}

// Reads start.ins, or explains in `why` why it cannot be used.
std::optional<std::string> ReadIns(const fs::path& path, std::string& why) {
  std::error_code error;
  if (!fs::exists(path, error)) {
    why = "start.ins is missing: every value takes its default";
    return std::nullopt;
  }
  if (!fs::is_regular_file(path, error)) {
    why = "start.ins is not a file: every value takes its default";
    return std::nullopt;
  }
  const std::uintmax_t size = fs::file_size(path, error);
  if (error || size > kProfileFileMax) {
    why = "start.ins has " + std::to_string(size) + " bytes, more than the " +
          std::to_string(kProfileFileMax) + " that are read";
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in) {
    why = "start.ins cannot be read: every value takes its default";
    return std::nullopt;
  }
  std::string text = content.str();
  if (text.find('\0') != std::string::npos && text.substr(0, 2) != "\xFF\xFE") {
    why = "start.ins is not a text file in code page 1252 (it holds zero bytes)";
    return std::nullopt;
  }
  return text;
}

void CheckIns(Report& report, const fs::path& root) {
  std::string why;
  const std::optional<std::string> content = ReadIns(root / kStartIns, why);
  if (!content) report.Add("start.ins", why);
  const std::string text = content.value_or("");
  const std::vector<ProfileKey> keys = ListProfileKeys(text, kCDStart);
  for (const InsKey& key : kInsKeys) {
    const std::optional<std::string> found = FindProfileValue(text, kCDStart, key.Name);
    report.Values.push_back({key.Name, found.value_or(key.Default), !found});
  }
  if (content && std::all_of(report.Values.begin(), report.Values.end(),
                             [](const Value& v) { return v.Default; })) {
    report.Add("start.ins",
               "start.ins sets none of the keys of [CDStart]: all take their defaults");
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const bool known = std::any_of(kInsKeys.begin(), kInsKeys.end(), [&](const InsKey& k) {
      return SameFolded(k.Name, keys[i].Name);
    });
    if (!known) {
      report.Add("unknown-key", "line " + std::to_string(keys[i].Line) + ": unknown key \"" +
                                    keys[i].Name + "\" in [CDStart]");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFolded(keys[j].Name, keys[i].Name)) {
        report.Add("repeated-key", "line " + std::to_string(keys[i].Line) + ": \"" + keys[i].Name +
                                       "\" is given again; line " + std::to_string(keys[j].Line) +
                                       " counts");
        break;
      }
    }
  }
  for (const Value& value : report.Values) {
    if (value.Key != kVXVersionKey.Name && value.Key != kRTGVersionKey.Name) continue;
    const VersionReading reading = ReadVersion(value.Text);
    if (!reading.WellFormed) {
      std::ostringstream number;
      number << reading.Value;
      report.Add("version", value.Key + " \"" + value.Text +
                                "\" is not a well-formed number: the menu reads it as " +
                                number.str());
    }
  }
}

void CheckFiles(Report& report, const fs::path& root) {
  const auto value = [&](const InsKey& key) {
    for (const Value& v : report.Values) {
      if (v.Key == key.Name) return v.Text;
    }
    return std::string(key.Default);
  };
  report.Files = {
      {"start the setup program", kSetupProgram.Path},
      {"open the German manual", kManualGer},
      {"open the English manual", kManualEng},
      {"start the Tarvex interface's updater", kTarvexUpdater.Path},
      {"start the large display's updater", kDisplayUpdater.Path},
      {"start the X-ray unit's updater", kXrayUpdater.Path},
      {"start the Franck-Hertz control unit's updater", kFranckHertzUpdater.Path},
      {"start the German PDF-reader installer", value(kAcrobatGerKey)},
      {"start the English PDF-reader installer", value(kAcrobatEngKey)},
  };
  for (FileCheck& file : report.Files) {
    Locate(root, file);
    if (file.Result == FileCheck::State::Missing) {
      report.Add("missing", file.Path + " is missing: the menu cannot " + file.Use);
    } else if (file.Result == FileCheck::State::OtherCase) {
      report.Add("letter-case", file.Path + " is found only as " + file.Actual);
    }
  }
}

void CheckAutorun(Report& report, const fs::path& root) {
  FileCheck autorun{"", "autorun.inf"};
  Locate(root, autorun);
  if (autorun.Result == FileCheck::State::Missing) {
    report.Add("autorun", "autorun.inf is missing: Windows offers no start from the CD");
    return;
  }
  std::ifstream in(root / autorun.Actual, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  const std::optional<std::string> open = FindProfileValue(content.str(), "autorun", "open");
  std::string program = open.value_or("");
  if (!program.empty() && program.front() == '"') {
    program = program.substr(1, program.find('"', 1) - 1);
  } else {
    program = program.substr(0, program.find(' '));
  }
  const std::vector<std::string> parts = SplitPath(program);
  if (parts.size() != 1 || !SameFolded(parts[0], "start.exe")) {
    report.Add("autorun", open ? "autorun.inf opens \"" + *open + "\", not start.exe"
                               : "autorun.inf has no open= line in [autorun]");
    return;
  }
  FileCheck menu{"", "start.exe"};
  Locate(root, menu);
  if (menu.Result == FileCheck::State::Missing) {
    report.Add("autorun", "autorun.inf opens start.exe, which is missing");
  }
}

std::string Json(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

const char* StateName(FileCheck::State state) {
  switch (state) {
    case FileCheck::State::Found:
      return "found";
    case FileCheck::State::OtherCase:
      return "other-case";
    case FileCheck::State::Missing:
      break;
  }
  return "missing";
}

void PrintJson(const Report& report) {
  std::cout << "{\"root\":" << Json(report.Root) << ",\"values\":[";
  for (std::size_t i = 0; i < report.Values.size(); ++i) {
    const Value& v = report.Values[i];
    std::cout << (i ? "," : "") << "{\"key\":" << Json(v.Key)
              << ",\"value\":" << Json(Cp1252ToUtf8(v.Text))
              << ",\"default\":" << (v.Default ? "true" : "false") << "}";
  }
  std::cout << "],\"files\":[";
  for (std::size_t i = 0; i < report.Files.size(); ++i) {
    const FileCheck& f = report.Files[i];
    std::cout << (i ? "," : "") << "{\"path\":" << Json(Cp1252ToUtf8(f.Path))
              << ",\"state\":" << Json(StateName(f.Result));
    if (f.Result == FileCheck::State::OtherCase) std::cout << ",\"actual\":" << Json(f.Actual);
    std::cout << "}";
  }
  std::cout << "],\"problems\":[";
  for (std::size_t i = 0; i < report.Problems.size(); ++i) {
    std::cout << (i ? "," : "") << "{\"kind\":" << Json(report.Problems[i].Kind)
              << ",\"text\":" << Json(Cp1252ToUtf8(report.Problems[i].Text)) << "}";
  }
  std::cout << "]}\n";
}

void PrintText(const Report& report) {
  std::cout << "CD root: " << report.Root << "\n\nstart.ins, [CDStart]:\n";
  for (const Value& v : report.Values) {
    std::cout << "  " << v.Key << std::string(12 - v.Key.size(), ' ') << "= " << v.Text
              << (v.Default ? "   (default)" : "") << "\n";
  }
  std::cout << "\nprograms and documents:\n";
  for (const FileCheck& f : report.Files) {
    std::cout << "  " << StateName(f.Result)
              << std::string(12 - std::strlen(StateName(f.Result)), ' ') << f.Path << "\n";
  }
  if (report.Problems.empty()) {
    std::cout << "\nno problems found\n";
    return;
  }
  std::cout << "\n"
            << report.Problems.size() << " problem" << (report.Problems.size() == 1 ? "" : "s")
            << ":\n";
  for (const Problem& p : report.Problems) std::cout << "  " << p.Text << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false;
  std::optional<std::string> rootArg;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg.size() > 1 && arg.front() == '-') {
      std::cerr << "cdcheck: unknown option " << arg << "\n" << kUsage;
      return 2;
    } else if (rootArg) {
      std::cerr << "cdcheck: give one CD root\n" << kUsage;
      return 2;
    } else {
      rootArg = std::string(arg);
    }
  }
  std::error_code error;
  const fs::path given = rootArg.value_or(".");
  if (!fs::is_directory(given, error)) {
    std::cerr << "cdcheck: " << given.string() << " is not a directory\n";
    return 2;
  }
  const fs::path root = fs::absolute(given, error).lexically_normal();

  Report report;
  report.Root = root.string();
  CheckIns(report, root);
  CheckFiles(report, root);
  CheckLengths(report, root);
  CheckNames(report, root);
  CheckAutorun(report, root);
  json ? PrintJson(report) : PrintText(report);
  return report.Problems.empty() ? 0 : 1;
}
