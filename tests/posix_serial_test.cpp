// The POSIX platform's serial ports on real pseudo-terminals: COM1 is the
// slave side, the test plays the device on the master side. The ports are
// looked for in a made-up tree of dev/ and sys/, never among the machine's.
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix_platform.h"
#include "tests/posix_fixture.h"

namespace {

using namespace std::chrono_literals;
using posixtest::ScopedEnv;
using posixtest::TempDir;
using posixtest::WaitFor;
using posixtest::WriteText;

// Every byte that a terminal might treat specially, but for XON and XOFF,
// which have a test of their own.
const std::string kAwkwardBytes("A\0\r\n\r\x03\x04\x08\x15\x16\x17\x1a\x1b\x1c\x7f\x80\xff z", 20);

constexpr auto kViewerWait = 10s;

// A new pseudo-terminal's master side; `slave` is set to its slave's path.
int OpenPseudoTerminal(std::string& slave) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  slave = master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master)
                                                                       : "/nonexistent/pty";
  return master;
}

// A pseudo-terminal whose slave is COM1 while the fixture lives, with no
// other port: the platform looks for ports below an empty directory.
class PosixSerialTest : public ::testing::Test {
 protected:
  PosixSerialTest()
      : master_(OpenPseudoTerminal(slave_)),
        com1_("ORBILEX_COM1", slave_),
        com2_("ORBILEX_COM2", std::nullopt),
        com3_("ORBILEX_COM3", std::nullopt),
        com4_("ORBILEX_COM4", std::nullopt),
        platform_(kViewerWait, "/proc/self/exe", root_.Path()) {
    std::filesystem::create_directories(root_.Path("var/lock"));
  }
  ~PosixSerialTest() override {
    if (master_ >= 0) close(master_);
  }

  // The slave's settings (the master side reads and sets the slave's).
  termios SlaveSettings() {
    termios settings = {};
    EXPECT_EQ(tcgetattr(master_, &settings), 0);
    return settings;
  }

  // Opens COM1 and makes it 8N1 at `baud`, as the program does.
  PortHandle OpenCom1(std::uint32_t baud = 115200) {
    const PortHandle port = platform_.CreateFileA("COM1");
    if (port == kInvalidPort) return port;
    CommState state;
    platform_.GetCommState(port, state);
    state.BaudRate = baud;
    state.ByteSize = 8;
    state.Parity = kNoParity;
    state.StopBits = kOneStopBit;
    platform_.SetCommState(port, state);
    return port;
  }

  // Reads from the master what arrives within a bounded time, until `count`
  // bytes have come.
  std::string ReadMaster(std::size_t count) {
    std::string got;
    WaitFor([&] {
      pollfd ready = {master_, POLLIN, 0};
      char buffer[256];
      while (poll(&ready, 1, 0) > 0) {
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, static_cast<std::size_t>(n));
      }
      return got.size() >= count;
    });
    return got;
  }

  void WriteMaster(const std::string& bytes) {
    ASSERT_EQ(write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  std::string slave_;
  int master_;
  ScopedEnv com1_, com2_, com3_, com4_;
  TempDir root_;
  PosixPlatform platform_;
};

struct LineCase {
  std::uint32_t Baud;
  std::uint8_t ByteSize;
  std::uint8_t Parity;
  std::uint8_t StopBits;
};

TEST_F(PosixSerialTest, LineSettingsAreSetAndReportedBack) {
  // A pseudo-terminal keeps 8 data bits without parity whatever is asked,
  // so only speed and stop bits vary here.
  const LineCase cases[] = {
      {300, 8, kNoParity, 2},   {115200, 8, kNoParity, kOneStopBit},
      {1200, 8, kNoParity, 2},  {9600, 8, kNoParity, kOneStopBit},
      {57600, 8, kNoParity, 2},
  };

  const PortHandle port = platform_.CreateFileA("COM1");
  ASSERT_NE(port, kInvalidPort);
  for (const LineCase& c : cases) {
    SCOPED_TRACE(c.Baud);
    CommState wanted;
    wanted.BaudRate = c.Baud;
    wanted.ByteSize = c.ByteSize;
    wanted.Parity = c.Parity;
    wanted.StopBits = c.StopBits;
    platform_.SetCommState(port, wanted);
    CommState got;
    ASSERT_TRUE(platform_.GetCommState(port, got));
    EXPECT_EQ(got.BaudRate, c.Baud);
    EXPECT_EQ(got.ByteSize, c.ByteSize);
    EXPECT_EQ(got.Parity, c.Parity);
    EXPECT_EQ(got.StopBits, c.StopBits);
  }
  platform_.CloseHandle(port);
}

TEST_F(PosixSerialTest, SoftwareFlowControlGoesHardwareFlowControlStays) {
  for (const tcflag_t hardware : {tcflag_t{0}, tcflag_t{CRTSCTS}}) {
    termios before = SlaveSettings();
    before.c_iflag |= IXON | IXOFF | IXANY;
    before.c_cflag = (before.c_cflag & ~CRTSCTS) | hardware;
    ASSERT_EQ(tcsetattr(master_, TCSANOW, &before), 0);

    const PortHandle port = OpenCom1(9600);
    ASSERT_NE(port, kInvalidPort);
    const termios after = SlaveSettings();
    EXPECT_EQ(after.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(after.c_cflag & CRTSCTS, hardware);
    platform_.CloseHandle(port);
  }
}

// A device that sends XOFF and has XON and XOFF in its reply: the reply
// arrives whole and the port's output is not stopped, although the port
// had software flow control on when it was opened.
TEST_F(PosixSerialTest, XonAndXoffAreData) {
  termios before = SlaveSettings();
  before.c_iflag |= IXON | IXOFF | IXANY;
  ASSERT_EQ(tcsetattr(master_, TCSANOW, &before), 0);
  const PortHandle port = OpenCom1();
  ASSERT_NE(port, kInvalidPort);

  const std::string reply = "\x13KORVA \x11TARVEX\x13 Ver 2.0 /\r";
  WriteMaster(reply);
  ASSERT_TRUE(WaitFor([&] { return platform_.ClearCommError(port) >= reply.size(); }))
      << platform_.ClearCommError(port);
  std::string received(reply.size(), '\0');
  ASSERT_EQ(platform_.ReadFile(port, received.data(), received.size()), reply.size());
  EXPECT_EQ(received, reply);

  EXPECT_EQ(platform_.WriteFile(port, "0iv\r", 4), 4u);
  EXPECT_EQ(ReadMaster(4), "0iv\r");
  platform_.CloseHandle(port);
}

TEST_F(PosixSerialTest, ClosingPutsBackTheSettingsFound) {
  termios found = SlaveSettings();
  cfsetispeed(&found, B38400);
  cfsetospeed(&found, B38400);
  found.c_lflag |= ICANON | ECHO | ISIG;
  found.c_iflag |= ICRNL | IXON;
  found.c_oflag |= OPOST;
  ASSERT_EQ(tcsetattr(master_, TCSANOW, &found), 0);
  found = SlaveSettings();

  const PortHandle port = OpenCom1(115200);
  ASSERT_NE(port, kInvalidPort);
  const termios open = SlaveSettings();
  ASSERT_EQ(cfgetospeed(&open), B115200);
  platform_.CloseHandle(port);

  termios after = SlaveSettings();
  EXPECT_EQ(cfgetispeed(&after), B38400);
  EXPECT_EQ(cfgetospeed(&after), B38400);
  EXPECT_EQ(after.c_iflag, found.c_iflag);
  EXPECT_EQ(after.c_oflag, found.c_oflag);
  EXPECT_EQ(after.c_cflag, found.c_cflag);
  EXPECT_EQ(after.c_lflag, found.c_lflag);
  EXPECT_EQ(after.c_cc[VMIN], found.c_cc[VMIN]);
  EXPECT_EQ(after.c_cc[VTIME], found.c_cc[VTIME]);
}

// A close that waits (a line that flow control holds, up to the port's
// closing wait) holds neither CloseHandle nor a reopening of the port: the
// settings are back and the port is free for others at once, and while the
// close goes on, CreateFileA says so and fails at once.
TEST_F(PosixSerialTest, ACloseThatWaitsHoldsNobody) {
  const termios found = SlaveSettings();
  std::promise<void> release;
  const std::shared_future<void> released = release.get_future().share();
  std::atomic<int> stage{0};  // 1: the close is waiting, 2: CloseHandle returned
  std::atomic<bool> returnedFirst{false};
  platform_.SetDeviceClose([&stage, &returnedFirst, released](int fd) {
    stage = 1;
    // A bound of its own, so that a CloseHandle that waits fails the test.
    released.wait_for(20s);
    returnedFirst = stage == 2;
    close(fd);
  });
  const PortHandle port = OpenCom1(115200);
  ASSERT_NE(port, kInvalidPort);
  platform_.CloseHandle(port);
  stage = 2;
  const termios after = SlaveSettings();
  EXPECT_EQ(cfgetospeed(&after), cfgetospeed(&found));
  const int other = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  EXPECT_GE(other, 0) << "the exclusive mode stayed";
  if (other >= 0) close(other);
  EXPECT_EQ(platform_.CreateFileA("COM1"), kInvalidPort);
  EXPECT_EQ(platform_.LastErrorText(), "still closing (output held back by flow control)");
  release.set_value();
  PortHandle again = kInvalidPort;
  EXPECT_TRUE(WaitFor([&] { return (again = platform_.CreateFileA("COM1")) != kInvalidPort; }));
  EXPECT_TRUE(returnedFirst);
  platform_.SetDeviceClose([](int fd) { close(fd); });
  if (again != kInvalidPort) platform_.CloseHandle(again);
}

TEST_F(PosixSerialTest, BytesPassUnchangedBothWays) {
  const PortHandle port = OpenCom1();
  ASSERT_NE(port, kInvalidPort);

  EXPECT_EQ(platform_.WriteFile(port, kAwkwardBytes.data(), kAwkwardBytes.size()),
            kAwkwardBytes.size());
  EXPECT_EQ(ReadMaster(kAwkwardBytes.size()), kAwkwardBytes);

  WriteMaster(kAwkwardBytes);
  ASSERT_TRUE(WaitFor([&] { return platform_.ClearCommError(port) == kAwkwardBytes.size(); }))
      << platform_.ClearCommError(port);
  std::string received(kAwkwardBytes.size() + 10, '\0');
  ASSERT_EQ(platform_.ReadFile(port, received.data(), received.size()), kAwkwardBytes.size());
  received.resize(kAwkwardBytes.size());
  EXPECT_EQ(received, kAwkwardBytes);
  // Nothing is left, and reading nothing does not wait.
  EXPECT_EQ(platform_.ClearCommError(port), 0u);
  EXPECT_EQ(platform_.ReadFile(port, received.data(), received.size()), 0u);
  platform_.CloseHandle(port);
}

TEST_F(PosixSerialTest, ReadTakesAtMostTheCountAsked) {
  const PortHandle port = OpenCom1(9600);
  ASSERT_NE(port, kInvalidPort);
  WriteMaster("0123456789");
  ASSERT_TRUE(WaitFor([&] { return platform_.ClearCommError(port) == 10; }));
  char buffer[4] = {};
  ASSERT_EQ(platform_.ReadFile(port, buffer, sizeof buffer), sizeof buffer);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "0123");
  EXPECT_EQ(platform_.ClearCommError(port), 6u);
  platform_.CloseHandle(port);
}

TEST_F(PosixSerialTest, PurgeDiscardsReceivedBytes) {
  const PortHandle port = OpenCom1();
  ASSERT_NE(port, kInvalidPort);
  WriteMaster("v2.05 reply\r");
  ASSERT_TRUE(WaitFor([&] { return platform_.ClearCommError(port) == 12; }));
  platform_.PurgeComm(port, kPurgeRxClear | kPurgeTxClear);
  EXPECT_EQ(platform_.ClearCommError(port), 0u);
  char buffer[16];
  EXPECT_EQ(platform_.ReadFile(port, buffer, sizeof buffer), 0u);
  platform_.CloseHandle(port);
}

// Output that flow control holds back on a real line would make the close
// wait; the port drops its unsent output first. In packet mode the master
// hears of that drop.
TEST_F(PosixSerialTest, ClosingDropsUnsentOutput) {
  const int packet = 1;
  ASSERT_EQ(ioctl(master_, TIOCPKT, &packet), 0);
  const PortHandle port = OpenCom1();
  ASSERT_NE(port, kInvalidPort);
  ASSERT_EQ(platform_.WriteFile(port, "0iv\r", 4), 4u);
  platform_.CloseHandle(port);
  bool dropped = false;
  pollfd ready = {master_, POLLIN, 0};
  char buffer[64];
  for (ssize_t got = 1; !dropped && got > 0 && poll(&ready, 1, 1000) > 0;) {
    got = read(master_, buffer, sizeof buffer);
    dropped = got > 0 && (buffer[0] & TIOCPKT_FLUSHWRITE) != 0;
  }
  EXPECT_TRUE(dropped);
}

TEST_F(PosixSerialTest, PortIsExclusiveWhileOpen) {
  const PortHandle first = platform_.CreateFileA("COM1");
  ASSERT_NE(first, kInvalidPort);
  // Another platform instance stands for another program.
  PosixPlatform other(kViewerWait, "/proc/self/exe", root_.Path());
  EXPECT_EQ(other.CreateFileA("COM1"), kInvalidPort);
  EXPECT_EQ(platform_.CreateFileA("com1"), kInvalidPort);
  platform_.CloseHandle(first);
  const PortHandle again = other.CreateFileA("COM1");
  EXPECT_NE(again, kInvalidPort);
  other.CloseHandle(again);
}

// Another program's claim on the port, in either of the two ways, keeps
// the port from this one, also for root (as these tests run here), and is
// left in place.
TEST_F(PosixSerialTest, APortAnotherProgramHoldsIsLeftAlone) {
  for (const bool exclusiveMode : {true, false}) {
    SCOPED_TRACE(exclusiveMode ? "exclusive mode" : "flock");
    const int holder = open(slave_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(exclusiveMode ? ioctl(holder, TIOCEXCL) : flock(holder, LOCK_EX | LOCK_NB), 0);

    EXPECT_EQ(platform_.CreateFileA("COM1"), kInvalidPort);
    EXPECT_EQ(platform_.CheckPort(0).State,
              exclusiveMode ? PortState::Exclusive : PortState::Locked);
    int exclusive = 0;
    ASSERT_EQ(ioctl(holder, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive != 0, exclusiveMode);
    ioctl(holder, TIOCNXCL);
    close(holder);
  }
  // A check of a free port leaves it free.
  EXPECT_EQ(platform_.CheckPort(0).State, PortState::Free);
  const PortHandle port = platform_.CreateFileA("COM1");
  EXPECT_NE(port, kInvalidPort);
  platform_.CloseHandle(port);
}

// UUCP lock files in var/lock below the stand-in root, named after the
// device the variable's link leads to.
TEST_F(PosixSerialTest, ALockFileHoldsThePortWhileItsProcessExists) {
  const pid_t ended = fork();
  if (ended == 0) _exit(0);
  ASSERT_GT(ended, 0);
  ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
  const auto text = [](pid_t pid) {
    char line[16];
    std::snprintf(line, sizeof line, "%10d\n", static_cast<int>(pid));
    return std::string(line);
  };
  const auto binary = [](pid_t pid) {
    const int value = pid;
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
  };
  struct Case {
    const char* Name;
    std::string Content;
    bool Holds;
  };
  const Case cases[] = {
      {"text, this process", text(getpid()), true},
      {"binary, this process", binary(getpid()), true},
      {"text, an ended process", text(ended), false},
      {"binary, an ended process", binary(ended), false},
      {"not a process id", "locked\n", false},
      {"empty", "", false},
  };
  const std::string link = root_.Path("dev/serial/by-id/usb-adapter");
  std::filesystem::create_directories(root_.Path("dev/serial/by-id"));
  std::filesystem::create_symlink(slave_, link);
  ScopedEnv com1("ORBILEX_COM1", link);
  const std::string lockFile =
      root_.Path("var/lock/LCK..") + std::filesystem::path(slave_).filename().string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteText(lockFile, c.Content);
    const PortHandle port = platform_.CreateFileA("COM1");
    EXPECT_EQ(port == kInvalidPort, c.Holds);
    if (port != kInvalidPort) platform_.CloseHandle(port);
    const PortCheck check = platform_.CheckPort(0);
    EXPECT_EQ(check.State, c.Holds ? PortState::LockFile : PortState::Free);
    EXPECT_EQ(check.Holder, c.Holds ? getpid() : 0);
  }
}

TEST_F(PosixSerialTest, WithoutPermissionTheCheckNamesTheDevicesGroup) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to become another user";
  struct stat info;
  ASSERT_EQ(stat(slave_.c_str(), &info), 0);
  const group* owner = getgrgid(info.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::string expected = owner->gr_name;
  ASSERT_EQ(platform_.Ports()[0].Device, slave_);
  const pid_t child = fork();
  if (child == 0) {
    const bool asNobody = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0;
    const PortCheck check = platform_.CheckPort(0);
    _exit(asNobody && check.State == PortState::Denied && check.Detail == expected ? 0 : 1);
  }
  ASSERT_GT(child, 0);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

struct AbsentCase {
  const char* Name;
  const char* Com2;  // ORBILEX_COM2 below the temporary directory, or "" itself
  PortState State;
};

TEST_F(PosixSerialTest, PortsThatAreNotThereFailAtOnce) {
  const AbsentCase cases[] = {
      {"configured path missing", "missing/ttyUSB0", PortState::Absent},
      {"configured path empty", "", PortState::NoDevice},
      {"configured path a plain file", "plain", PortState::NotTerminal},
      {"configured path a directory", "dir", PortState::NotTerminal},
  };
  TempDir dir;
  WriteText(dir.Path("plain"), "not a terminal");
  std::filesystem::create_directories(dir.Path("dir"));
  for (const AbsentCase& c : cases) {
    SCOPED_TRACE(c.Name);
    ScopedEnv com2("ORBILEX_COM2", *c.Com2 ? dir.Path(c.Com2) : "");
    PosixPlatform platform(kViewerWait, "/proc/self/exe", root_.Path());
    EXPECT_EQ(platform.CreateFileA("COM2"), kInvalidPort);
    EXPECT_EQ(platform.CheckPort(1).State, c.State);
  }
  for (const char* name : {"COM5", "LPT1", "", "COM12", "COM3"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(platform_.CreateFileA(name), kInvalidPort);
  }
}

TEST_F(PosixSerialTest, WriteToAPeerThatDoesNotReadReturns) {
  const PortHandle port = OpenCom1();
  ASSERT_NE(port, kInvalidPort);
  const std::vector<char> flood(4 << 20, 'x');
  auto writing = std::async(std::launch::async,
                            [&] { return platform_.WriteFile(port, flood.data(), flood.size()); });
  if (writing.wait_for(10s) != std::future_status::ready) {
    // Let the write fail so that the thread can end, then report.
    close(master_);
    master_ = -1;
    writing.wait();
    FAIL() << "the write did not come back";
  }
  const std::size_t written = writing.get();
  EXPECT_GT(written, 0u);
  EXPECT_LT(written, flood.size());
  platform_.CloseHandle(port);
}

// A terminal as sysfs and udev show it below a stand-in root.
struct FakeTty {
  const char* Name;
  const char* Type;    // the UART type file's content; nullptr: none
  bool Driver;         // its device is bound to a driver
  bool Node;           // it has a node in dev/
  const char* Socket;  // its link in dev/serial/by-path; nullptr: none
};

void AddTty(const TempDir& root, const FakeTty& tty) {
  namespace fs = std::filesystem;
  const std::string name = tty.Name;
  const std::string device = root.Path("sys/devices/" + name);
  fs::create_directories(device + "/tty/" + name);
  fs::create_directories(root.Path("sys/class/tty"));
  fs::create_directory_symlink("../../devices/" + name + "/tty/" + name,
                               root.Path("sys/class/tty/" + name));
  fs::create_directory_symlink("../..", device + "/tty/" + name + "/device");
  if (tty.Type != nullptr) WriteText(device + "/tty/" + name + "/type", tty.Type);
  if (tty.Driver) fs::create_symlink("../../bus/platform/drivers/serial", device + "/driver");
  if (tty.Node) WriteText(root.Path("dev/" + name), "");
  if (tty.Socket != nullptr) {
    fs::create_directories(root.Path("dev/serial/by-path"));
    fs::create_symlink("../../" + name, root.Path("dev/serial/by-path/") + tty.Socket);
  }
}

struct DiscoveryCase {
  const char* Name;
  std::vector<FakeTty> Ttys;
  std::array<const char*, 4> Variables;  // below the root; nullptr: unset
  std::array<const char*, 4> Expected;   // below the root; "": no device
};

TEST(PosixSerialPorts, AreTheUartsThereThenTheAdaptersBySocket) {
  constexpr const char* kUsb1 = "pci-0000:00:14.0-usb-0:1:1.0-port0";
  constexpr const char* kUsb2 = "pci-0000:00:14.0-usb-0:2:1.0-port0";
  constexpr const char* kUsb10 = "pci-0000:00:14.0-usb-0:10:1.0";
  const std::array<const char*, 4> unset = {nullptr, nullptr, nullptr, nullptr};
  const DiscoveryCase cases[] = {
      {"no serial ports",
       {{"tty0", nullptr, false, true, nullptr}, {"console", nullptr, false, true, nullptr}},
       unset,
       {"", "", "", ""}},
      {"UARTs that are there, by number",
       {{"ttyS0", "4", true, true, nullptr},
        {"ttyS1", "0", true, true, nullptr},   // an empty slot
        {"ttyS2", "4", false, true, nullptr},  // bound to no driver
        {"ttyS3", "4", true, false, nullptr},  // no node
        {"ttyS10", "4", true, true, nullptr},
        {"ttyS4", "4", true, true, nullptr},
        {"ttyS5", nullptr, true, true, nullptr}},
       unset,
       {"dev/ttyS0", "dev/ttyS4", "dev/ttyS5", "dev/ttyS10"}},
      {"UARTs, then adapters by socket, then the others by name",
       {{"ttyUSB0", nullptr, true, true, kUsb10},
        {"ttyACM0", nullptr, true, true, nullptr},
        {"ttyUSB1", nullptr, true, true, kUsb2},
        {"ttyS0", "4", true, true, nullptr}},
       unset,
       {"dev/ttyS0", "dev/ttyUSB1", "dev/ttyUSB0", "dev/ttyACM0"}},
      {"the first four",
       {{"ttyUSB10", nullptr, true, true, nullptr},
        {"ttyUSB2", nullptr, true, true, nullptr},
        {"ttyACM1", nullptr, true, true, nullptr},
        {"ttyUSB3", nullptr, true, true, nullptr},
        {"ttyUSB0", nullptr, true, true, nullptr}},
       unset,
       {"dev/ttyACM1", "dev/ttyUSB0", "dev/ttyUSB2", "dev/ttyUSB3"}},
      {"variables win; the others fill up, but for the devices they name",
       {{"ttyS0", "4", true, true, nullptr},
        {"ttyUSB0", nullptr, true, true, kUsb1},
        {"ttyUSB1", nullptr, true, true, nullptr}},
       {"dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", nullptr, "dev/missing", nullptr},
       {"dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0", "dev/ttyS0", "dev/missing",
        "dev/ttyUSB1"}},
      {"all four set to missing devices",
       {{"ttyS0", "4", true, true, nullptr}, {"ttyUSB0", nullptr, true, true, nullptr}},
       {"dev/a", "dev/b", "dev/c", "dev/d"},
       {"dev/a", "dev/b", "dev/c", "dev/d"}},
  };
  for (const DiscoveryCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir root;
    for (const FakeTty& tty : c.Ttys) AddTty(root, tty);
    std::vector<std::unique_ptr<ScopedEnv>> variables;
    for (std::size_t i = 0; i < 4; ++i) {
      variables.push_back(std::make_unique<ScopedEnv>(
          "ORBILEX_COM" + std::to_string(i + 1),
          c.Variables[i] != nullptr ? std::optional(root.Path(c.Variables[i])) : std::nullopt));
    }
    PosixPlatform platform(kViewerWait, "/proc/self/exe", root.Path());
    for (std::size_t i = 0; i < 4; ++i) {
      EXPECT_EQ(platform.Ports()[i].Device, *c.Expected[i] ? root.Path(c.Expected[i]) : "")
          << "COM" << i + 1;
      EXPECT_EQ(platform.Ports()[i].Configured, c.Variables[i] != nullptr) << "COM" << i + 1;
    }
  }
}

// What the trace tells of the choice: the ports found, those left out,
// and each port's device.
TEST(PosixSerialPorts, TellTheTraceWhatWasFoundAndChosen) {
  TempDir root;
  for (const char* name : {"ttyUSB0", "ttyUSB1", "ttyUSB2", "ttyUSB3", "ttyUSB4"}) {
    AddTty(root, {name, nullptr, true, true, nullptr});
  }
  ScopedEnv com1("ORBILEX_COM1", std::nullopt);
  ScopedEnv com2("ORBILEX_COM2", root.Path("dev/ttyUSB3"));
  ScopedEnv com3("ORBILEX_COM3", std::nullopt);
  ScopedEnv com4("ORBILEX_COM4", std::nullopt);
  PosixPlatform platform(kViewerWait, "/proc/self/exe", root.Path());
  const std::string dev = root.Path("dev/");
  const std::vector<std::string> expected = {
      "serial ports found: " + dev + "ttyUSB0, " + dev + "ttyUSB1, " + dev + "ttyUSB2, " + dev +
          "ttyUSB3, " + dev + "ttyUSB4",
      "serial port " + dev + "ttyUSB4 left out: COM1 to COM4 are taken",
      "port COM1 is " + dev + "ttyUSB0",
      "port COM2 is " + dev + "ttyUSB3 (ORBILEX_COM2)",
      "port COM3 is " + dev + "ttyUSB1",
      "port COM4 is " + dev + "ttyUSB2",
  };
  EXPECT_EQ(platform.PortChoice(), expected);
}

// start --ports, with every port named by its variable (so none of the
// machine's own is looked at).
TEST_F(PosixSerialTest, StartListsThePortsAndWhetherTheyCanBeOpened) {
  std::string heldSlave;
  const int heldMaster = OpenPseudoTerminal(heldSlave);
  const int holder = open(heldSlave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(ioctl(holder, TIOCEXCL), 0);
  ScopedEnv com2("ORBILEX_COM2", root_.Path("missing"));
  ScopedEnv com3("ORBILEX_COM3", heldSlave);
  ScopedEnv com4("ORBILEX_COM4", "");

  std::string output;
  FILE* start = popen(START_TEST_PROGRAM " --ports", "r");
  ASSERT_NE(start, nullptr);
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, start) != nullptr) output += buffer;
  EXPECT_EQ(pclose(start), 0);
  EXPECT_EQ(output, "COM1: " + slave_ + " (ORBILEX_COM1): can be opened\n" + "COM2: " +
                        root_.Path("missing") + " (ORBILEX_COM2): absent\n" + "COM3: " + heldSlave +
                        " (ORBILEX_COM3): held by another program (exclusive mode)\n" +
                        "COM4: none (ORBILEX_COM4 is empty)\n");
  // The port that could be opened was closed again, and left as it was.
  int exclusive = 1;
  ASSERT_EQ(ioctl(master_, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(holder);
  close(heldMaster);
}

}  // namespace
