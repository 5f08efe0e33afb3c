#include "platform/posix_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/profile.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kProfileReadMax = 1 << 20;
constexpr std::size_t kProfileBufferMin = 4096;
constexpr auto kWriteBound = std::chrono::milliseconds(50);
constexpr auto kViewerPoll = std::chrono::milliseconds(10);
constexpr std::intptr_t kFileNotFound = 2;
constexpr std::intptr_t kNoAssociation = 31;
constexpr std::intptr_t kOpened = 42;

// An owned file descriptor, closed when it goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// File actions for posix_spawn, destroyed when they go.
class SpawnActions {
 public:
  SpawnActions() { posix_spawn_file_actions_init(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

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

// The entry of directory `dir` that `name` stands for, or nothing.
std::optional<std::string> FindEntry(const std::string& dir, const std::string& name) {
  const std::string exact = dir.empty() ? name : (dir.back() == '/' ? dir : dir + '/') + name;
  if (Exists(exact)) return name;
  std::unique_ptr<DIR, int (*)(DIR*)> entries(opendir(dir.empty() ? "." : dir.c_str()), closedir);
  if (!entries) return std::nullopt;
  std::optional<std::string> found;
  while (const dirent* entry = readdir(entries.get())) {
    const std::string_view candidate = entry->d_name;
    if (SameIgnoringCase(candidate, name) && (!found || candidate < *found)) {
      found = std::string(candidate);
    }
  }
  return found;
}

// The executable file `name` in a directory of PATH, or nothing. Empty
// PATH entries (the current directory) are not searched.
std::optional<std::string> FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path != nullptr ? path : "";
  while (!dirs.empty()) {
    const std::size_t colon = dirs.find(':');
    const std::string_view dir = dirs.substr(0, colon);
    dirs.remove_prefix(colon == std::string_view::npos ? dirs.size() : colon + 1);
    if (dir.empty()) continue;
    const std::string candidate = std::string(dir) + '/' + name;
    if (IsRegularFile(candidate) && access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return std::nullopt;
}

// Starts `argv` (argv[0] is the program's path) with this process's
// environment, optionally in `directory`; returns its process id or nothing.
std::optional<pid_t> Spawn(const std::vector<std::string>& argv, const std::string& directory) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  SpawnActions actions;
  if (!directory.empty() &&
      posix_spawn_file_actions_addchdir_np(actions.get(), directory.c_str()) != 0) {
    return std::nullopt;
  }
  pid_t pid = -1;
  if (posix_spawn(&pid, args[0], actions.get(), nullptr, args.data(), environ) != 0) {
    return std::nullopt;
  }
  return pid;
}

bool StartsWithMz(const std::string& path) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  char magic[2] = {};
  return fd.get() >= 0 && read(fd.get(), magic, sizeof magic) == 2 && magic[0] == 'M' &&
         magic[1] == 'Z';
}

// Up to kProfileReadMax bytes of the regular file `path`, or nothing.
std::optional<std::string> ReadSmallFile(const std::string& path) {
  // Non-blocking, so that a FIFO in place of the file cannot stall the open.
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat info;
  if (fd.get() < 0 || fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  // The buffer starts at the file's size and a byte more, to meet its end in
  // the first read, and grows only for a file that grows meanwhile or does
  // not tell its size: start-up reads the small profiles several times.
  const auto size = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
  std::string content(std::min(std::max(size + 1, kProfileBufferMin), kProfileReadMax), '\0');
  std::size_t used = 0;
  while (true) {
    if (used == content.size()) {
      if (used == kProfileReadMax) break;
      content.resize(std::min(used * 2, kProfileReadMax));
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

struct Speed {
  speed_t Code;
  std::uint32_t Baud;
};
constexpr std::array<Speed, 21> kSpeeds = {{
    {B50, 50},         {B75, 75},         {B110, 110},       {B134, 134},       {B150, 150},
    {B200, 200},       {B300, 300},       {B600, 600},       {B1200, 1200},     {B1800, 1800},
    {B2400, 2400},     {B4800, 4800},     {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
    {B57600, 57600},   {B115200, 115200}, {B230400, 230400}, {B460800, 460800}, {B500000, 500000},
    {B921600, 921600},
}};

int Fd(PortHandle port) {
  return static_cast<int>(port);
}

// The device that port `name` stands for, or nothing for other names.
std::optional<std::string> PortDevice(const std::string& name) {
  for (char index = '1'; index <= '4'; ++index) {
    if (!SameIgnoringCase(name, std::string("COM") + index)) continue;
    const char* configured = std::getenv((std::string("ORBILEX_COM") + index).c_str());
    if (configured != nullptr) return std::string(configured);
    return std::string("/dev/ttyS") + static_cast<char>(index - 1);
  }
  return std::nullopt;
}

}  // namespace

std::string MapToPosixPath(const std::string& path) {
  std::string slashed = path;
  std::replace(slashed.begin(), slashed.end(), '\\', '/');
  std::string mapped = (!slashed.empty() && slashed.front() == '/') ? "/" : "";
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

PosixPlatform::PosixPlatform(std::chrono::milliseconds viewerWait) : viewerWait_(viewerWait) {}

PosixPlatform::~PosixPlatform() {
  ReapChildren();
}

void PosixPlatform::ReapChildren() {
  std::erase_if(children_, [](pid_t pid) {
    int status = 0;
    // Gone too when something else in the process has reaped it (ECHILD).
    return waitpid(pid, &status, WNOHANG) != 0;
  });
}

std::string PosixPlatform::GetPrivateProfileStringA(const std::string& section,
                                                    const std::string& key, const std::string& def,
                                                    const std::string& file) {
  const bool bare = file.find_first_of("\\/") == std::string::npos;
  const std::optional<std::string> path = bare ? FindSettingsFile(file) : MapToPosixPath(file);
  if (!path) return def;
  const std::optional<std::string> content = ReadSmallFile(*path);
  if (!content) return def;
  return FindProfileValue(*content, section, key).value_or(def);
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
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  path.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

void PosixPlatform::SetCurrentDirectoryA(const std::string& dir) {
  [[maybe_unused]] const int ignored = chdir(MapToPosixPath(dir).c_str());
}

void PosixPlatform::WinExec(const std::string& commandLine, int /*show*/) {
  ReapChildren();
  const std::string program = MapToPosixPath(commandLine);
  std::vector<std::string> argv = {program};
  if (StartsWithMz(program)) {
    if (const std::optional<std::string> wine = FindOnPath("wine")) argv = {*wine, program};
  }
  if (const std::optional<pid_t> pid = Spawn(argv, "")) children_.push_back(*pid);
}

std::intptr_t PosixPlatform::ShellExecuteA(const std::string& file, const std::string& directory,
                                           int /*show*/) {
  ReapChildren();
  const std::string document = MapToPosixPath(file);
  if (!Exists(document)) return kFileNotFound;
  const std::optional<std::string> opener = FindOnPath("xdg-open");
  if (!opener) return kNoAssociation;
  const std::optional<pid_t> pid =
      Spawn({*opener, document}, directory.empty() ? "" : MapToPosixPath(directory));
  if (!pid) return kNoAssociation;
  // xdg-open returns once the viewer is started with most desktops, but with
  // some it runs the viewer itself; the window must not freeze meanwhile.
  const auto deadline = Clock::now() + viewerWait_;
  while (Clock::now() < deadline) {
    int status = 0;
    const pid_t done = waitpid(*pid, &status, WNOHANG);
    if (done == *pid) {
      return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? kOpened : kNoAssociation;
    }
    if (done < 0) return kOpened;
    Sleep(static_cast<unsigned>(kViewerPoll.count()));
  }
  children_.push_back(*pid);
  return kOpened;
}

void PosixPlatform::Sleep(unsigned ms) {
  timespec remaining = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

PortHandle PosixPlatform::CreateFileA(const std::string& portName) {
  const std::optional<std::string> device = PortDevice(portName);
  if (!device) return kInvalidPort;
  const int fd = open(device->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return kInvalidPort;
  // The lock comes first: setting the exclusive flag on a port that another
  // program already holds would shut that program out after we fail.
  if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return kInvalidPort;
  }
  ioctl(fd, TIOCEXCL);
  return fd;
}

void PosixPlatform::SetupComm(PortHandle /*port*/, std::uint32_t /*inQueue*/,
                              std::uint32_t /*outQueue*/) {}

bool PosixPlatform::GetCommState(PortHandle port, CommState& state) {
  termios settings = {};
  if (tcgetattr(Fd(port), &settings) != 0) return false;
  const speed_t code = cfgetospeed(&settings);
  const auto speed = std::find_if(kSpeeds.begin(), kSpeeds.end(),
                                  [code](const Speed& s) { return s.Code == code; });
  state.BaudRate = speed != kSpeeds.end() ? speed->Baud : 0;
  switch (settings.c_cflag & CSIZE) {
    case CS5:
      state.ByteSize = 5;
      break;
    case CS6:
      state.ByteSize = 6;
      break;
    case CS7:
      state.ByteSize = 7;
      break;
    default:
      state.ByteSize = 8;
      break;
  }
  state.Parity = (settings.c_cflag & PARENB) == 0   ? kNoParity
                 : (settings.c_cflag & PARODD) != 0 ? 1
                                                    : 2;
  state.StopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : kOneStopBit;
  return true;
}

void PosixPlatform::SetCommState(PortHandle port, const CommState& state) {
  termios settings = {};
  if (tcgetattr(Fd(port), &settings) != 0) return;
  // Raw bytes both ways: no break or parity marking, no CR/NL translation,
  // no stripping, no output processing, no echo, no line editing, no
  // signal characters. Flow control (IXON, IXOFF, CRTSCTS) stays as it is.
  settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC);
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB);
  settings.c_cflag |= CLOCAL | CREAD;
  switch (state.ByteSize) {
    case 5:
      settings.c_cflag |= CS5;
      break;
    case 6:
      settings.c_cflag |= CS6;
      break;
    case 7:
      settings.c_cflag |= CS7;
      break;
    default:
      settings.c_cflag |= CS8;
      break;
  }
  if (state.Parity == 1) settings.c_cflag |= PARENB | PARODD;
  if (state.Parity == 2) settings.c_cflag |= PARENB;
  if (state.StopBits != kOneStopBit) settings.c_cflag |= CSTOPB;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
  const auto speed = std::find_if(kSpeeds.begin(), kSpeeds.end(),
                                  [&state](const Speed& s) { return s.Baud == state.BaudRate; });
  if (speed != kSpeeds.end()) {
    cfsetispeed(&settings, speed->Code);
    cfsetospeed(&settings, speed->Code);
  }
  tcsetattr(Fd(port), TCSANOW, &settings);
}

void PosixPlatform::PurgeComm(PortHandle port, unsigned flags) {
  const bool rx = (flags & kPurgeRxClear) != 0;
  const bool tx = (flags & kPurgeTxClear) != 0;
  if (rx || tx) tcflush(Fd(port), rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH);
}

std::size_t PosixPlatform::ClearCommError(PortHandle port) {
  int waiting = 0;
  if (ioctl(Fd(port), FIONREAD, &waiting) != 0 || waiting < 0) return 0;
  return static_cast<std::size_t>(waiting);
}

std::size_t PosixPlatform::ReadFile(PortHandle port, void* buffer, std::size_t count) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < count) {
    const ssize_t got = read(Fd(port), bytes + done, count - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

std::size_t PosixPlatform::WriteFile(PortHandle port, const void* data, std::size_t count) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  const auto deadline = Clock::now() + kWriteBound;
  std::size_t done = 0;
  while (done < count) {
    const ssize_t put = write(Fd(port), bytes + done, count - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && errno == EINTR) continue;
    if (put < 0 && errno != EAGAIN) break;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd ready = {Fd(port), POLLOUT, 0};
    if (poll(&ready, 1, static_cast<int>(left)) < 0 && errno != EINTR) break;
  }
  return done;
}

void PosixPlatform::CloseHandle(PortHandle port) {
  // A pseudo-terminal keeps the exclusive flag while its other side stays
  // open; clear it so the device can be opened again. Closing drops the lock.
  ioctl(Fd(port), TIOCNXCL);
  // A serial line's close waits (up to 30 s by default) for queued output
  // to go out; output that flow control holds back is dropped instead.
  tcflush(Fd(port), TCOFLUSH);
  close(Fd(port));
}
