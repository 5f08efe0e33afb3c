// The POSIX platform's serial ports: "COM1".."COM4" as terminal devices.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/posix_internal.h"
#include "platform/posix_platform.h"

namespace {

using Clock = std::chrono::steady_clock;
using posixplatform::SameIgnoringCase;

constexpr auto kWriteBound = std::chrono::milliseconds(50);

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
  // A pseudo-terminal keeps the exclusive flag while its other side stays
  // open; clear it so the device can be opened again. Closing drops the lock.
  ioctl(Fd(port), TIOCNXCL);
  // A serial line's close waits (up to 30 s by default) for queued output
  // to go out; output that flow control holds back is dropped instead.
  tcflush(Fd(port), TCOFLUSH);
  close(Fd(port));
}
