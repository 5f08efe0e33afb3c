// cdcheck: checks a CD root for the start menu, for the people who lay out
// the CD. It reads start.ins as the menu does, and reports what the menu
// will use, what it will fail to find, and what breaks its limits. Its
// output is UTF-8: names and start.ins text that are valid UTF-8 are shown
// as they are, any other byte as the code-page-1252 letter the menu reads.
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
#include "platform/folder_link.h"
#include "platform/profile.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: cdcheck [--json] [CD-ROOT]\n"
    "Checks a CD root for the start menu: the values of start.ins it will use, the\n"
    "programs and documents its entries start or open, version texts, unknown or\n"
    "repeated keys, path and name lengths, and autorun.inf. CD-ROOT defaults to\n"
    "the current directory. Notes say what the menu does with an unusual but\n"
    "working start.ins. Exit status: 0 clean (notes at most), 1 problems found,\n"
    "2 usage error or no such directory.\n"
    "  --json  one JSON object on standard output instead of the report\n";

// The longest name a Joliet file system keeps, in UTF-16 units.
constexpr std::size_t kJolietNameMax = 64;
// The CD root as a drive's root, as Windows names it.
constexpr std::string_view kDriveRoot = "D:\\";

// The texts of the report are UTF-8, made with Shown() from what the menu
// reads (code page 1252) and from names on the disk.
struct Value {
  std::string Key;
  std::string Text;  // code page 1252, as read
  bool Default = false;
};

struct FileCheck {
  FileCheck(std::string use, std::string path) : Use(std::move(use)), Path(std::move(path)) {}
  std::string Use;   // what the menu does with it
  std::string Path;  // relative, "\"-separated, code page 1252
  enum class State { Found, OtherCase, Missing } Result = State::Missing;
  std::string Actual;  // as found on the medium, "\"-separated, UTF-8
  fs::path At;         // where it was found
};

struct Finding {
  std::string Kind;
  std::string Text;
};

struct Report {
  std::string Root;
  std::vector<Value> Values;
  std::vector<FileCheck> Files;
  std::vector<Finding> Problems;
  std::vector<Finding> Notes;  // what the menu does with an unusual file; no problem
  void Add(std::string kind, std::string text) {
    Problems.push_back({std::move(kind), std::move(text)});
  }
  void Note(std::string kind, std::string text) {
    Notes.push_back({std::move(kind), std::move(text)});
  }
};

std::string Shown(std::string_view bytes) {
  return ShownAsUtf8(bytes);
}

// A name or path on the disk as bytes: UTF-8 from Windows, the name's own
// bytes from Linux.
std::string DiskName(const fs::path& path) {
  try {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
  } catch (const std::exception&) {
    return path.string();
  }
}

std::string ShownPath(const fs::path& path) {
  return Shown(DiskName(path));
}

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
// program's Linux build find it). The path is code page 1252, as the menu
// hands it to Windows; a name on the disk is read as Shown() reads it.
void Locate(const fs::path& root, FileCheck& file) {
  fs::path at = root;
  bool exact = true;
  std::string actual;
  for (const std::string& part : SplitPath(file.Path)) {
    const std::string wanted = Cp1252ToUtf8(part);
    std::optional<fs::path> match;
    bool matchExact = false;
    std::error_code error;
    for (fs::directory_iterator it(at, error), end; !error && it != end; it.increment(error)) {
      const fs::path name = it->path().filename();
      const std::string disk = DiskName(name);
      if (Shown(disk) == wanted) {
        match = name;
        matchExact = true;
        break;
      }
      if (!match && SameFileName(disk, part)) match = name;
    }
    if (!match) {
      file.Result = FileCheck::State::Missing;
      return;
    }
    exact = exact && matchExact;
    at /= *match;
    actual += (actual.empty() ? "" : "\\") + ShownPath(*match);
  }
  std::error_code error;
  if (!fs::is_regular_file(at, error)) {
    file.Result = FileCheck::State::Missing;
    return;
  }
  file.Result = exact ? FileCheck::State::Found : FileCheck::State::OtherCase;
  file.Actual = actual;
  file.At = at;
}

// The folder as the program would name its own: absolute, "\"-separated,
// with a trailing "\"; UTF-8.
std::string FolderRoot(const fs::path& root) {
  std::string text = ShownPath(root);
  std::replace(text.begin(), text.end(), '/', '\\');
  if (text.empty() || text.back() != '\\') text += '\\';
  return text;
}

void CheckLengths(Report& report, const fs::path& root) {
  const std::string folder = FolderRoot(root);
  // Lengths in the menu's characters, code page 1252.
  const std::size_t folderLength = Utf8ToCp1252(folder).size();
  for (const FileCheck& file : report.Files) {
    for (const auto& [base, baseLength] :
         {std::pair<std::string_view, std::size_t>{kDriveRoot, kDriveRoot.size()},
          std::pair<std::string_view, std::size_t>{folder, folderLength}}) {
      const std::size_t length = baseLength + file.Path.size();
      if (length > kCommandMax) {
        report.Add("path-too-long", std::string(base) + Shown(file.Path) + " has " +
                                        std::to_string(length) + " characters, more than " +
                                        std::to_string(kCommandMax) + ": the menu will not " +
                                        file.Use);
      }
    }
  }
  if (folderLength > kDirectoryMax) {
    report.Add("path-too-long", "the folder " + folder + " has " + std::to_string(folderLength) +
                                    " characters, more than " + std::to_string(kDirectoryMax) +
                                    ": run from there, the menu cannot open the manual");
  }
}

// The UTF-16 units of UTF-8 text, as Joliet counts a name.
std::size_t Utf16Units(std::string_view utf8) {
  std::size_t units = 0;
  for (const char c : utf8) {
    const auto u = static_cast<unsigned char>(c);
    if ((u & 0xC0) != 0x80) ++units;
    if (u >= 0xF0) ++units;
  }
  return units;
}

// Walks the folder `dir` (`shown` is its path from the root, UTF-8, empty
// for the root): names longer than Joliet keeps, and folders that cannot be
// read. Links to folders (symbolic links, junctions) are not followed, nor
// a folder that is one the walk is already in (a link the system does not
// tell as one).
void WalkFolder(Report& report, const fs::path& dir, const std::string& shown,
                std::vector<fs::path>& walking) {
  std::error_code error;
  for (const fs::path& outer : walking) {
    if (fs::equivalent(outer, dir, error)) return;
  }
  walking.push_back(dir);
  fs::directory_iterator it(dir, error);
  for (const fs::directory_iterator end; !error && it != end; it.increment(error)) {
    const fs::path path = it->path();
    const std::string name = ShownPath(path.filename());
    const std::string relative = shown.empty() ? name : shown + "\\" + name;
    const std::size_t units = Utf16Units(name);
    if (units > kJolietNameMax) {
      report.Add("name-too-long", relative + ": " + std::to_string(units) +
                                      " characters, more than Joliet's " +
                                      std::to_string(kJolietNameMax));
    }
    std::error_code kind;
    if (!IsFolderLink(path) && fs::is_directory(path, kind)) {
      WalkFolder(report, path, relative, walking);
    }
  }
  if (error) {
    report.Add("unreadable", (shown.empty() ? "the CD root" : "the folder " + shown) +
                                 " cannot be read (" + error.message() +
                                 "): nothing in it was checked, and the menu may not find it");
  }
  walking.pop_back();
}

void CheckNames(Report& report, const fs::path& root) {
  std::vector<fs::path> walking;
  WalkFolder(report, root, "", walking);
}

// Reads start.ins whole, as the menu does at any size, or explains in `why`
// why it cannot be used.
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
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  if (!in) {
    why = "start.ins cannot be read: every value takes its default";
    return std::nullopt;
  }
  return content.str();
}

// The line, counted from 1, that holds byte `at` of `text`; CR LF ends one.
std::size_t LineOf(std::string_view text, std::size_t at) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < at; ++i) {
    if (text[i] == '\n' || (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'))) {
      ++line;
    }
  }
  return line;
}

// What the menu makes of the whole file: its encoding marks, zero bytes and
// size.
void CheckInsBytes(Report& report, std::string_view text, bool allDefaults) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    report.Add(
        "start.ins",
        std::string("start.ins begins with a UTF-8 byte-order mark, which the menu reads as "
                    "part of the first line") +
            (allDefaults ? ": it finds no [CDStart] and every value takes its default" : "") +
            ". Save start.ins without the mark, in code page 1252 (Windows-1252; "
            "\"ANSI\" in Notepad's Save as)");
  } else if (text.substr(0, 2) == "\xFF\xFE" || text.substr(0, 2) == "\xFE\xFF") {
    report.Note("start.ins",
                "start.ins is UTF-16 text with its byte-order mark: the menu reads "
                "it; letters outside code page 1252 read as \"?\"");
  } else if (const std::size_t zero = text.find('\0'); zero != std::string_view::npos) {
    report.Add("start.ins", "line " + std::to_string(LineOf(text, zero)) +
                                " of start.ins holds a zero byte: the menu ends the line's value "
                                "there");
  }
  if (text.size() > kProfileFileMax) {
    report.Note("start.ins", "start.ins has " + std::to_string(text.size()) +
                                 " bytes: the menu reads them all, its Linux program only the "
                                 "first " +
                                 std::to_string(kProfileFileMax));
  }
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
  const bool allDefaults = std::all_of(report.Values.begin(), report.Values.end(),
                                       [](const Value& v) { return v.Default; });
  if (content) CheckInsBytes(report, text, allDefaults);
  if (content && allDefaults && text.substr(0, 3) != "\xEF\xBB\xBF") {
    report.Add("start.ins",
               "start.ins sets none of the keys of [CDStart]: all take their defaults");
  }
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const bool known = std::any_of(kInsKeys.begin(), kInsKeys.end(), [&](const InsKey& k) {
      return SameFolded(k.Name, keys[i].Name);
    });
    if (!known) {
      report.Add("unknown-key", "line " + std::to_string(keys[i].Line) + ": unknown key \"" +
                                    Shown(keys[i].Name) + "\" in [CDStart]");
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (SameFolded(keys[j].Name, keys[i].Name)) {
        report.Add("repeated-key", "line " + std::to_string(keys[i].Line) + ": \"" +
                                       Shown(keys[i].Name) + "\" is given again; line " +
                                       std::to_string(keys[j].Line) + " counts");
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
      report.Add("version", value.Key + " \"" + Shown(value.Text) +
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
      std::string text = Shown(file.Path) + " is missing: the menu cannot " + file.Use;
      // Text saved as UTF-8 reads as other letters in code page 1252.
      if (Shown(file.Path) != Cp1252ToUtf8(file.Path)) {
        text += " (start.ins holds the path in UTF-8; the menu reads it in code page 1252, as " +
                Cp1252ToUtf8(file.Path) + ": save start.ins as \"ANSI\")";
      }
      report.Add("missing", text);
    } else if (file.Result == FileCheck::State::OtherCase) {
      report.Add("letter-case", Shown(file.Path) + " is found only as " + file.Actual);
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
  std::ifstream in(autorun.At, std::ios::binary);
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
    report.Add("autorun", open ? "autorun.inf opens \"" + Shown(*open) + "\", not start.exe"
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

void PrintFindings(const char* name, const std::vector<Finding>& findings) {
  std::cout << ",\"" << name << "\":[";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    std::cout << (i ? "," : "") << "{\"kind\":" << Json(findings[i].Kind)
              << ",\"text\":" << Json(findings[i].Text) << "}";
  }
  std::cout << "]";
}

void PrintJson(const Report& report) {
  std::cout << "{\"root\":" << Json(report.Root) << ",\"values\":[";
  for (std::size_t i = 0; i < report.Values.size(); ++i) {
    const Value& v = report.Values[i];
    std::cout << (i ? "," : "") << "{\"key\":" << Json(v.Key)
              << ",\"value\":" << Json(Shown(v.Text))
              << ",\"default\":" << (v.Default ? "true" : "false") << "}";
  }
  std::cout << "],\"files\":[";
  for (std::size_t i = 0; i < report.Files.size(); ++i) {
    const FileCheck& f = report.Files[i];
    std::cout << (i ? "," : "") << "{\"path\":" << Json(Shown(f.Path))
              << ",\"state\":" << Json(StateName(f.Result));
    if (f.Result == FileCheck::State::OtherCase) std::cout << ",\"actual\":" << Json(f.Actual);
    std::cout << "}";
  }
  std::cout << "]";
  PrintFindings("problems", report.Problems);
  PrintFindings("notes", report.Notes);
  std::cout << "}\n";
}

void PrintText(const Report& report) {
  std::cout << "CD root: " << report.Root << "\n\nstart.ins, [CDStart]:\n";
  for (const Value& v : report.Values) {
    std::cout << "  " << v.Key << std::string(12 - v.Key.size(), ' ') << "= " << Shown(v.Text)
              << (v.Default ? "   (default)" : "") << "\n";
  }
  std::cout << "\nprograms and documents:\n";
  for (const FileCheck& f : report.Files) {
    std::cout << "  " << StateName(f.Result)
              << std::string(12 - std::strlen(StateName(f.Result)), ' ') << Shown(f.Path) << "\n";
  }
  if (!report.Notes.empty()) {
    std::cout << "\nnote" << (report.Notes.size() == 1 ? "" : "s") << ":\n";
    for (const Finding& n : report.Notes) std::cout << "  " << n.Text << "\n";
  }
  if (report.Problems.empty()) {
    std::cout << "\nno problems found\n";
    return;
  }
  std::cout << "\n"
            << report.Problems.size() << " problem" << (report.Problems.size() == 1 ? "" : "s")
            << ":\n";
  for (const Finding& p : report.Problems) std::cout << "  " << p.Text << "\n";
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
  report.Root = ShownPath(root);
  CheckIns(report, root);
  CheckFiles(report, root);
  CheckLengths(report, root);
  CheckNames(report, root);
  CheckAutorun(report, root);
  json ? PrintJson(report) : PrintText(report);
  return report.Problems.empty() ? 0 : 1;
}
