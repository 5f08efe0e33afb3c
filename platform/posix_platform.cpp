// The POSIX platform's files, profiles, locale, own path, sleep, errors and
// trace file; its processes are in posix_process.cpp, its serial ports in
// posix_serial.cpp.
#include "platform/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/cp1252.h"
#include "platform/posix_internal.h"
#include "platform/profile.h"
#include "platform/tracing_platform.h"

namespace {

using posixplatform::Exists;
using posixplatform::IsRegularFile;
using posixplatform::SameIgnoringCase;
using posixplatform::UniqueFd;

constexpr std::size_t kProfileBufferMin = 4096;

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The entry of directory `dir` that `name` stands for, or nothing. The
// name's bytes are code page 1252 (a path from start.ins) or the disk's own
// (the program's folder, the home folder): the entry is the one of the same
// bytes, else the one of the name in UTF-8, else one that differs only in
// letter case, its name read as UTF-8 where valid and as code page 1252
// elsewhere, as Windows finds a file by a name of its ANSI code page.
std::optional<std::string> FindEntry(const std::string& dir, const std::string& name) {
  const std::string prefix = dir.empty() ? "" : (dir.back() == '/' ? dir : dir + '/');
  if (Exists(prefix + name)) return name;
  const std::string utf8 = Cp1252ToUtf8(name);
  if (utf8 != name && Exists(prefix + utf8)) return utf8;
  std::unique_ptr<DIR, int (*)(DIR*)> entries(opendir(dir.empty() ? "." : dir.c_str()), closedir);
  if (!entries) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = readdir(entries.get())) {
    const std::string_view candidate = entry->d_name;
    const bool same = SameIgnoringCase(candidate, name) || SameFileName(candidate, name);
    if (same && (!found || candidate < *found)) {
      found = std::string(candidate);
    }
  }
  return found;
}

// Up to kProfileFileMax bytes of the regular file `path`, or nothing.
std::optional<std::string> ReadSmallFile(const std::string& path) {
  // Non-blocking, so that a FIFO in place of the file cannot stall the open.
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info;
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  // The buffer starts at the file's size and a byte more, to meet its end in
  // the first read, and grows only for a file that grows meanwhile or does
  // not tell its size: start-up reads the small profiles several times.
  const auto size = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
  std::string content(std::min(std::max(size + 1, kProfileBufferMin), kProfileFileMax), '\0');
  std::size_t used = 0;
  while (true) {
    if (used == content.size()) {
      if (used == kProfileFileMax) break;
      content.resize(std::min(used * 2, kProfileFileMax));
    }
    const ssize_t got = read(fd.get(), content.data() + used, content.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    used += static_cast<std::size_t>(got);
  }
  content.resize(used);
  return content;
}

// The profile file that a bare `name` stands for, or nothing.
std::optional<std::string> FindSettingsFile(const std::string& name) {
  std::vector<std::string> dirs;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (config != nullptr && *config == '/') {
    dirs.emplace_back(config);
  } else if (home != nullptr && *home != '\0') {
    dirs.push_back(std::string(home) + "/.config");
  }
  dirs.emplace_back("/etc");
  for (const std::string& dir : dirs) {
    const std::string path = MapToPosixPath(dir + '/' + name);
    if (IsRegularFile(path)) return path;
  }
  return std::nullopt;
}

// Locale identifiers of German by region; German elsewhere is the bare
// language.
struct GermanRegion {
  std::string_view Region;
  std::uint32_t Lcid;
};
constexpr std::array<GermanRegion, 5> kGermanRegions = {{
    {"DE", 0x0407},
    {"CH", 0x0807},
    {"AT", 0x0C07},
    {"LU", 0x1007},
    {"LI", 0x1407},
}};
constexpr std::uint32_t kGerman = 0x0007;
constexpr std::uint32_t kUsEnglish = 0x0409;

// Writes all of `bytes` to `fd`, as far as it goes.
void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = write(fd, bytes.data(), bytes.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
}

// Trace lines to a descriptor, stamped from the writer's creation.
class PosixTraceWriter : public TraceWriter {
 public:
  PosixTraceWriter(int fd, bool owned) : fd_(fd), owned_(owned) {}
  PosixTraceWriter(const PosixTraceWriter&) = delete;
  PosixTraceWriter& operator=(const PosixTraceWriter&) = delete;
  ~PosixTraceWriter() override {
    if (owned_) close(fd_);
  }
  std::uint64_t Milliseconds() override {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
  }
  void WriteLine(std::string_view line) override {
    const int saved = errno;
    WriteAll(fd_, std::string(line) + '\n');
    errno = saved;
  }

 private:
  int fd_;
  bool owned_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace

namespace posixplatform {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldCase(x) == FoldCase(y);
         });
}

bool Exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void Notice(std::string_view text) {
  const int saved = errno;
  WriteAll(STDERR_FILENO, "start: " + std::string(text) + '\n');
  errno = saved;
}

}  // namespace posixplatform

std::unique_ptr<TraceWriter> OpenPosixTrace(const char* setting) {
  if (setting == nullptr || *setting == '\0') return nullptr;
  if (std::string_view(setting) == "1") {
    return std::make_unique<PosixTraceWriter>(STDERR_FILENO, false);
  }
  // Without blocking (a FIFO with no reader would hold the start for ever)
  // and never through a symbolic link: the trace may be named in a folder
  // that others can write to.
  const int fd =
      open(setting, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW,
           0600);
  const auto refuse = [setting](const char* why) {
    posixplatform::Notice(std::string("cannot write the trace to ") + setting + ": " + why);
    return nullptr;
  };
  if (fd < 0) {
    const int error = errno;
    if (error == ELOOP) return refuse("it is a symbolic link");
    if (error == ENXIO) return refuse("it is not a regular file");
    return refuse(std::strerror(error));
  }
  struct stat info = {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return refuse("it is not a regular file");
  }
  return std::make_unique<PosixTraceWriter>(fd, true);
}

std::string MapToPosixPath(const std::string& path, const std::string& base) {
  std::string slashed = path;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  std::string mapped = !base.empty()                                  ? base
                       : (!slashed.empty() && slashed.front() == '/') ? "/"
                                                                      : "";
  bool found = true;  // `mapped` names an existing entry so far
  std::string_view rest = slashed;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    std::string name(rest.substr(0, slash));
    rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    if (name.empty()) continue;
    if (found) {
      const std::optional<std::string> entry = FindEntry(mapped, name);
      found = entry.has_value();
      if (found) name = *entry;
    }
    if (!mapped.empty() && mapped.back() != '/') mapped += '/';
    mapped += name;
  }
  if (!slashed.empty() && slashed.back() == '/' && mapped.back() != '/') mapped += '/';
  return mapped;
}

std::optional<std::string> PosixPlatform::ProfilePath(const std::string& file) const {
  const bool bare = file.find_first_of("\\/") == std::string::npos;
  return bare ? FindSettingsFile(file) : ToPosixPath(file);
}

std::string PosixPlatform::GetPrivateProfileStringA(const std::string& section,
                                                    const std::string& key, const std::string& def,
                                                    const std::string& file) {
  const std::optional<std::string> path = ProfilePath(file);
  if (!path) return ProfileDefault(def);
  const std::optional<std::string> content = ReadSmallFile(*path);
  if (!content) return ProfileDefault(def);
  return FindProfileValue(*content, section, key).value_or(ProfileDefault(def));
}

std::optional<std::string> PosixPlatform::ProfileSource(const std::string& section,
                                                        const std::string& key,
                                                        const std::string& file) {
  const std::optional<std::string> path = ProfilePath(file);
  const std::optional<std::string> content = path ? ReadSmallFile(*path) : std::nullopt;
  if (!content || !FindProfileValue(*content, section, key)) return std::nullopt;
  return path;
}

std::uint32_t PosixPlatform::GetSystemDefaultLCID() {
  std::string_view locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      locale = value;
      break;
    }
  }
  // language[_REGION][.codeset][@modifier]
  locale = locale.substr(0, locale.find_first_of(".@"));
  const std::size_t underscore = locale.find('_');
  if (locale.substr(0, underscore) != "de") return kUsEnglish;
  const std::string_view region =
      underscore == std::string_view::npos ? "" : locale.substr(underscore + 1);
  for (const GermanRegion& german : kGermanRegions) {
    if (german.Region == region) return german.Lcid;
  }
  return kGerman;
}

std::string PosixPlatform::GetModuleFileNameA() {
  std::string path(PATH_MAX, '\0');
  const ssize_t length = readlink(ownPathLink_.c_str(), path.data(), path.size());
  // A path that filled the buffer may have been cut short.
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size() || path.front() != '/') {
    return {};
  }
  path.resize(static_cast<std::size_t>(length));
  ownDirectory_ = path.substr(0, path.rfind('/') + 1);
  std::replace(path.begin(), path.end(), '/', '\\');
  ownDirectoryNamed_ = path.substr(0, ownDirectory_.size());
  return path;
}

std::string PosixPlatform::ToPosixPath(const std::string& path) const {
  if (ownDirectoryNamed_.empty() ||
      path.compare(0, ownDirectoryNamed_.size(), ownDirectoryNamed_) != 0) {
    return MapToPosixPath(path);
  }
  return MapToPosixPath(path.substr(ownDirectoryNamed_.size()), ownDirectory_);
}

void PosixPlatform::Sleep(unsigned ms) {
  timespec remaining = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

std::string PosixPlatform::PortDeviceName(const std::string& portName) {
  for (std::size_t i = 0; i < Ports().size(); ++i) {
    if (SameIgnoringCase(portName, "COM" + std::to_string(i + 1))) return Ports()[i].Device;
  }
  return {};
}

std::string PosixPlatform::LastErrorText() {
  return lastError_;
}

void PosixPlatform::NoticeRefusedPort(const std::string& portName) {
  if (lastPortCheck_.State != PortState::Denied) return;
  std::string name = portName;
  std::transform(name.begin(), name.end(), name.begin(), [](char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  });
  if (!refusedPorts_.insert(name).second) return;
  // The group that owns the device, typically dialout.
  const std::string group = lastPortCheck_.Detail.empty() ? "dialout" : lastPortCheck_.Detail;
  posixplatform::Notice("cannot open " + name + " (" + PortDeviceName(portName) +
                        "): permission denied; to use it, add yourself to the group " + group +
                        " (sudo usermod -aG " + group + " $USER) and log in again");
}

PortHandle PosixPlatformWithPortNotices::CreateFileA(const std::string& portName) {
  const PortHandle port = PosixPlatform::CreateFileA(portName);
  if (port == kInvalidPort) NoticeRefusedPort(portName);
  return port;
}
