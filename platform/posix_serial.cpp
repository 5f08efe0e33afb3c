// The POSIX platform's serial ports: "COM1".."COM4" as terminal devices.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <limits.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/posix_internal.h"
#include "platform/posix_platform.h"

namespace {

using Clock = std::chrono::steady_clock;
using posixplatform::Exists;
using posixplatform::SameIgnoringCase;
using posixplatform::UniqueFd;

constexpr auto kWriteBound = std::chrono::milliseconds(50);
constexpr auto kCloseBound = std::chrono::milliseconds(50);

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

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether `name` is `prefix` followed by a number.
bool IsNumbered(const std::string& name, std::string_view prefix) {
  return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
         std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                     IsDigit);
}

// Orders names with their digit runs compared as numbers: ttyS2 < ttyS10.
bool NaturalLess(const std::string& a, const std::string& b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      while (i < a.size() && a[i] == '0') ++i;
      while (j < b.size() && b[j] == '0') ++j;
      std::size_t endA = i;
      std::size_t endB = j;
      while (endA < a.size() && IsDigit(a[endA])) ++endA;
      while (endB < b.size() && IsDigit(b[endB])) ++endB;
      if (endA - i != endB - j) return endA - i < endB - j;
      const int order = a.compare(i, endA - i, b, j, endB - j);
      if (order != 0) return order < 0;
      i = endA;
      j = endB;
    } else {
      if (a[i] != b[j]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j || (a.size() - i == b.size() - j && a < b);
}

// The names in directory `dir`, but for "." and "..".
std::vector<std::string> ListDirectory(const std::string& dir) {
  std::vector<std::string> names;
  std::unique_ptr<DIR, int (*)(DIR*)> entries(opendir(dir.c_str()), closedir);
  if (!entries) return names;
  while (const dirent* entry = readdir(entries.get())) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  return names;
}

// The first bytes of the file at `path` (at most 64), or nothing.
std::optional<std::string> ReadHead(const std::string& path) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return std::nullopt;
  char buffer[64];
  ssize_t got = 0;
  do {
    got = read(fd.get(), buffer, sizeof buffer);
  } while (got < 0 && errno == EINTR);
  if (got < 0) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(got));
}

// The path that `path` resolves to, or "" when it cannot be resolved.
std::string Resolved(const std::string& path) {
  std::unique_ptr<char, void (*)(void*)> resolved(realpath(path.c_str(), nullptr), std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

std::string BaseName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

// Whether the tty class entry `entry` is a UART that is there: bound to a
// driver, and not an empty slot of the serial core (UART type 0).
bool IsUart(const std::string& entry) {
  if (!Exists(entry + "/device/driver")) return false;
  const std::optional<std::string> type = ReadHead(entry + "/type");
  return !type || std::strtol(type->c_str(), nullptr, 10) != 0;
}

// The serial ports below `root`, as device paths in port order (see
// PosixPlatform::Ports), found without opening any.
std::vector<std::string> FindSerialPorts(const std::string& root) {
  const std::string classDir = root + "sys/class/tty/";
  const std::string devDir = root + "dev/";
  std::vector<std::string> uarts;
  std::vector<std::string> adapters;
  for (const std::string& name : ListDirectory(classDir)) {
    if (!Exists(devDir + name)) continue;
    if (IsNumbered(name, "ttyS")) {
      if (IsUart(classDir + name)) uarts.push_back(name);
    } else if (IsNumbered(name, "ttyUSB") || IsNumbered(name, "ttyACM")) {
      adapters.push_back(name);
    }
  }
  // The socket of each adapter: the lowest of the by-path links to it.
  std::map<std::string, std::string> sockets;
  const std::string byPath = devDir + "serial/by-path/";
  for (const std::string& link : ListDirectory(byPath)) {
    char target[PATH_MAX];
    const ssize_t length = readlink((byPath + link).c_str(), target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) continue;
    std::string& socket = sockets[BaseName(std::string(target, static_cast<std::size_t>(length)))];
    if (socket.empty() || NaturalLess(link, socket)) socket = link;
  }
  std::sort(uarts.begin(), uarts.end(), NaturalLess);
  std::sort(adapters.begin(), adapters.end(),
            [&sockets](const std::string& a, const std::string& b) {
              const auto socketA = sockets.find(a);
              const auto socketB = sockets.find(b);
              const bool hasA = socketA != sockets.end();
              const bool hasB = socketB != sockets.end();
              if (hasA != hasB) return hasA;
              return hasA ? NaturalLess(socketA->second, socketB->second) : NaturalLess(a, b);
            });
  std::vector<std::string> ports;
  for (const std::vector<std::string>* group : {&uarts, &adapters}) {
    for (const std::string& name : *group) ports.push_back(devDir + name);
  }
  return ports;
}

// The process that the UUCP lock file `path` names while that process
// exists. The id is kept as text ("%10d\n" by convention) or, in old lock
// files, as a binary int; other content is taken as no lock.
std::optional<pid_t> LockHolder(const std::string& path) {
  const std::optional<std::string> content = ReadHead(path);
  if (!content || content->empty()) return std::nullopt;
  long pid = 0;
  const bool text = std::all_of(content->begin(), content->end(),
                                [](char c) { return IsDigit(c) || c == ' ' || c == '\n'; });
  if (text) {
    pid = std::strtol(content->c_str(), nullptr, 10);
  } else if (content->size() == sizeof(int)) {
    int binary = 0;
    std::memcpy(&binary, content->data(), sizeof binary);
    pid = binary;
  }
  if (pid <= 0 || pid > std::numeric_limits<pid_t>::max()) return std::nullopt;
  if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) return std::nullopt;
  return static_cast<pid_t>(pid);
}

// The name of the group that owns `path`, or its number.
std::string OwningGroup(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return {};
  std::vector<char> buffer(4096);
  group entry;
  group* found = nullptr;
  if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr) {
    return found->gr_name;
  }
  return std::to_string(info.st_gid);
}

}  // namespace

const std::array<PosixPort, 4>& PosixPlatform::Ports() {
  if (ports_) return *ports_;
  std::array<PosixPort, 4> ports;
  std::vector<std::string> named;  // resolved
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const std::string variable = "ORBILEX_COM" + std::to_string(i + 1);
    if (const char* device = std::getenv(variable.c_str())) {
      ports[i] = {device, true};
      named.push_back(Resolved(device));
    }
  }
  // With every port named there is nothing to look for.
  const std::vector<std::string> found =
      named.size() == ports.size() ? std::vector<std::string>() : FindSerialPorts(root_);
  std::string list;
  for (const std::string& device : found) list += (list.empty() ? "" : ", ") + device;
  if (named.size() != ports.size()) {
    portChoice_.push_back("serial ports found: " + (list.empty() ? std::string("none") : list));
  }
  auto next = found.begin();
  for (PosixPort& port : ports) {
    if (port.Configured) continue;
    while (next != found.end() &&
           std::find(named.begin(), named.end(), Resolved(*next)) != named.end()) {
      ++next;
    }
    if (next == found.end()) break;
    port.Device = *next++;
  }
  for (; next != found.end(); ++next) {
    if (std::find(named.begin(), named.end(), Resolved(*next)) == named.end()) {
      portChoice_.push_back("serial port " + *next + " left out: COM1 to COM4 are taken");
    }
  }
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const std::string name = "COM" + std::to_string(i + 1);
    portChoice_.push_back("port " + name + " is " +
                          (ports[i].Device.empty() ? std::string("none") : ports[i].Device) +
                          (ports[i].Configured ? " (ORBILEX_" + name + ")" : ""));
  }
  ports_ = ports;
  return *ports_;
}

std::vector<std::string> PosixPlatform::PortChoice() {
  Ports();
  return portChoice_;
}

std::string PortCheckText(const std::string& device, const PortCheck& check) {
  switch (check.State) {
    case PortState::NoDevice:
      return "no serial port";
    case PortState::Free:
      return "can be opened";
    case PortState::Absent:
      return "absent";
    case PortState::NotTerminal:
      return "not a serial port";
    case PortState::Exclusive:
      return "held by another program (exclusive mode)";
    case PortState::Locked:
      return "held by another program (lock)";
    case PortState::LockFile:
      return "held by another program (lock file " + check.Detail + " of process " +
             std::to_string(check.Holder) + ")";
    case PortState::Closing:
      return "still closing (output held back by flow control)";
    case PortState::Denied:
      if (check.Detail.empty()) return "permission denied";
      return "permission denied: the user must be in the group \"" + check.Detail +
             "\" that owns " + device + " (sudo usermod -aG " + check.Detail +
             " $USER, then log in again)";
    case PortState::Failed:
      break;
  }
  return "cannot be opened: " + check.Detail;
}

PortCheck PosixPlatform::OpenDevice(const std::string& device, int& fd) {
  fd = -1;
  if (device.empty()) return {PortState::NoDevice, {}};
  if (const auto closing = closing_.find(device); closing != closing_.end()) {
    const std::lock_guard lock(closing->second->Lock);
    if (!closing->second->Done) return {PortState::Closing, {}};
  }
  closing_.erase(device);
  struct stat info;
  if (stat(device.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    return {PortState::Absent, {}};
  }
  const std::string resolved = Resolved(device);
  const std::string lockFile =
      root_ + "var/lock/LCK.." + BaseName(resolved.empty() ? device : resolved);
  if (const std::optional<pid_t> holder = LockHolder(lockFile)) {
    return {PortState::LockFile, lockFile, *holder};
  }
  fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    switch (error) {
      case ENOENT:
      case ENOTDIR:
      case ENXIO:
      case ENODEV:
        return {PortState::Absent, {}};
      case EISDIR:
        return {PortState::NotTerminal, {}};
      case EACCES:
      case EPERM:
        return {PortState::Denied, OwningGroup(device)};
      case EBUSY:
        return {PortState::Exclusive, {}};
      default:
        return {PortState::Failed, std::strerror(error)};
    }
  }
  const auto refuse = [&fd](PortState state) {
    close(fd);
    fd = -1;
    return PortCheck{state, {}, 0};
  };
  if (!isatty(fd)) return refuse(PortState::NotTerminal);
  // Root opens a port in exclusive mode all the same: ask for the mode.
  int exclusive = 0;
  if (ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
    return refuse(PortState::Exclusive);
  }
  // The lock comes first: setting the exclusive flag on a port that another
  // program already holds would shut that program out after we fail.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(PortState::Locked);
  OpenPort port;
  port.Device = device;
  termios settings = {};
  if (tcgetattr(fd, &settings) == 0) port.Settings = settings;
  port.Exclusive = ioctl(fd, TIOCEXCL) == 0;
  openPorts_[fd] = port;
  return {PortState::Free, {}};
}

PortCheck PosixPlatform::CheckPort(int index) {
  if (index < 0 || index >= static_cast<int>(Ports().size())) return {};
  int fd = -1;
  const PortCheck check = OpenDevice(Ports()[static_cast<std::size_t>(index)].Device, fd);
  if (fd >= 0) CloseHandle(fd);
  return check;
}

PortHandle PosixPlatform::CreateFileA(const std::string& portName) {
  for (std::size_t i = 0; i < Ports().size(); ++i) {
    if (!SameIgnoringCase(portName, "COM" + std::to_string(i + 1))) continue;
    int fd = -1;
    lastPortCheck_ = OpenDevice(Ports()[i].Device, fd);
    if (fd >= 0) return fd;
    lastError_ = PortCheckText(Ports()[i].Device, lastPortCheck_);
    return kInvalidPort;
  }
  lastPortCheck_ = {};
  lastError_ = PortCheckText({}, lastPortCheck_);
  return kInvalidPort;
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
  // signal characters, no software flow control (XON and XOFF are data).
  // Hardware flow control (CRTSCTS) stays as it is.
  settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                        IXON | IXOFF | IXANY);
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
  const int fd = Fd(port);
  // A serial line's close waits (up to 30 s by default) for queued output
  // to go out; output that flow control holds back is dropped instead.
  tcflush(fd, TCOFLUSH);
  const auto claimed = openPorts_.find(fd);
  std::string device;
  if (claimed != openPorts_.end()) {
    device = claimed->second.Device;
    if (claimed->second.Settings) tcsetattr(fd, TCSANOW, &*claimed->second.Settings);
    // A pseudo-terminal keeps the exclusive flag while its other side stays
    // open; clear it so the device can be opened again.
    if (claimed->second.Exclusive) ioctl(fd, TIOCNXCL);
    openPorts_.erase(claimed);
  }
  // Closing drops the lock. Bytes already in the UART are not dropped by the
  // flush: with CTS held low they keep close() waiting.
  const auto closing = std::make_shared<Closing>();
  std::thread([fd, closing, closeFd = deviceClose_] {
    closeFd(fd);
    const std::lock_guard lock(closing->Lock);
    closing->Done = true;
    closing->Ended.notify_all();
  }).detach();
  std::unique_lock lock(closing->Lock);
  if (!closing->Ended.wait_for(lock, kCloseBound, [&closing] { return closing->Done; }) &&
      !device.empty()) {
    closing_[device] = closing;
  }
}
