// The device simulator, driven through a real pseudo-terminal the way the
// start menu drives a serial port.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/posix_fixture.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr auto kBound = 5s;  // generous: only a broken simulator takes this long

using posixtest::TempDir;

// A running devsim whose link is `link`; stopped with SIGTERM when it goes.
class Devsim {
 public:
  Devsim(const std::string& link, std::vector<std::string> args) {
    args.insert(args.begin(), {START_TEST_DEVSIM, "--pty-link", link});
    std::vector<char*> argv;
    for (std::string& a : args) {
      argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The slave's path comes once the link exists.
    const auto deadline = Clock::now() + kBound;
    char c = 0;
    while (Clock::now() < deadline && c != '\n') {
      pollfd p = {out[0], POLLIN, 0};
      if (poll(&p, 1, 50) > 0 && read(out[0], &c, 1) == 1 && c != '\n') {
        slave_ += c;
      }
    }
    close(out[0]);
  }
  Devsim(const Devsim&) = delete;
  Devsim& operator=(const Devsim&) = delete;
  ~Devsim() { Stop(); }

  const std::string& slave() const { return slave_; }

  // Sends SIGTERM and returns the exit status.
  int Stop() {
    int status = -1;
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
    return status;
  }

 private:
  pid_t pid_ = -1;
  std::string slave_;
};

// The client side: a raw 8N1 line at a chosen speed.
class Line {
 public:
  explicit Line(const std::string& path)
      : fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  Line(const Line&) = delete;
  Line& operator=(const Line&) = delete;
  ~Line() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  void SetSpeed(speed_t speed) {
    termios t = {};
    ASSERT_EQ(tcgetattr(fd_, &t), 0);
    cfmakeraw(&t);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    ASSERT_EQ(tcsetattr(fd_, TCSANOW, &t), 0);
  }

  void Send(const std::string& bytes) {
    ASSERT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Reads until `count` bytes have come or the bound has passed.
  std::string Receive(std::size_t count) {
    std::string got;
    const auto deadline = Clock::now() + kBound;
    while (got.size() < count && Clock::now() < deadline) {
      pollfd p = {fd_, POLLIN, 0};
      char buf[512];
      if (poll(&p, 1, 50) > 0) {
        const ssize_t n = read(fd_, buf, std::min(sizeof buf, count - got.size()));
        if (n <= 0) {
          break;
        }
        got.append(buf, static_cast<std::size_t>(n));
      }
    }
    return got;
  }

 private:
  int fd_;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Waits until the log holds `text`; returns the whole log.
std::string WaitForLog(const std::string& path, const std::string& text) {
  const auto deadline = Clock::now() + kBound;
  std::string log = ReadFile(path);
  while (log.find(text) == std::string::npos && Clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
    log = ReadFile(path);
  }
  return log;
}

const std::string kInterfaceReply = "KORVA TARVEX 88B Ver 1.5 /2010-05-01\r";

TEST(Devsim, InterfaceAnswersAcrossReopensLogsAndCleansUp) {
  TempDir dir;
  const std::string link = dir / "com2", log = dir / "devsim.log";
  Devsim sim(link, {"--kind", "interface", "--version", "1.5", "--log", log});
  ASSERT_EQ(sim.slave().rfind("/dev/pts/", 0), 0u) << sim.slave();
  ASSERT_EQ(std::filesystem::read_symlink(link), sim.slave());

  // The start menu opens and closes the port between the two commands.
  {
    Line line(link);
    ASSERT_TRUE(line.ok());
    line.SetSpeed(B115200);
    line.Send("&\r");
    EXPECT_EQ(line.Receive(3), "OK\r");
  }
  {
    Line line(link);
    ASSERT_TRUE(line.ok());
    line.SetSpeed(B115200);
    line.Send("0iv\r");
    EXPECT_EQ(line.Receive(kInterfaceReply.size()), kInterfaceReply);
  }

  const std::string text = WaitForLog(log, "0iv");
  const std::regex wake(R"((^|\n)\d+\.\d{3}\t&\\r\t115200\n)");
  const std::regex query(R"((^|\n)\d+\.\d{3}\t0iv\\r\t115200\n)");
  EXPECT_TRUE(std::regex_search(text, wake)) << text;
  EXPECT_TRUE(std::regex_search(text, query)) << text;
  EXPECT_LT(text.find("&\\r"), text.find("0iv"));
  EXPECT_NE(text.find("\topen\n"), std::string::npos) << text;

  const int status = sim.Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  struct stat st = {};
  EXPECT_NE(lstat(link.c_str(), &st), 0) << "link left behind";
}

TEST(Devsim, BaudCheckIgnoresCommandsAtAnotherSpeed) {
  TempDir dir;
  const std::string link = dir / "com1", log = dir / "devsim.log";
  Devsim sim(link, {"--kind", "xray", "--version", "1.02", "--baud-check", "--log", log});
  Line line(link);
  ASSERT_TRUE(line.ok());

  line.SetSpeed(B115200);
  line.Send("VERSION?\r");
  EXPECT_NE(WaitForLog(log, "\tignored").find("VERSION?\\r\t115200\tignored"), std::string::npos);

  // Had the first query been answered, its reply would come first.
  line.SetSpeed(B9600);
  line.Send("MODE=REMOTE\r");
  EXPECT_EQ(line.Receive(7), "REMOTE\r");
  line.Send("VERSION?\r");
  const std::string reply = "KORVA x-ray-unit 52-K Ver 1.02/2010-05-01\r";
  EXPECT_EQ(line.Receive(reply.size()), reply);
}

// What the device makes of its options is tested without a terminal
// (core_devsim_model_test.cpp); here they come from the command line, and the
// replies, zero bytes and an endless stream, through the terminal.
TEST(Devsim, RepliesShapedByOptionsAndModes) {
  struct Case {
    std::vector<std::string> args;
    std::string command;
    std::string expectedStart;
    std::size_t size;
  };
  const Case cases[] = {
      {{"--kind", "interface", "--ident", "OTHER", "--delimiter", "", "--rest", "x", "--mode",
        "endless"},
       "0iv\r",
       "OTHER Ver 2.0x\r",
       5000},
      {{"--kind", "xray", "--reply", "A\\x42\\0C\\r", "--mode", "zero"},
       "VERSION?\r",
       std::string("*\0AB\0C\r", 7),
       7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    TempDir dir;
    Devsim sim(dir / "port", c.args);
    Line line(dir / "port");
    ASSERT_TRUE(line.ok());
    line.SetSpeed(B9600);
    line.Send(c.command);
    const std::string got = line.Receive(c.size);
    EXPECT_EQ(got.size(), c.size);
    EXPECT_EQ(got.substr(0, c.expectedStart.size()), c.expectedStart);
  }
}

TEST(Devsim, HangupClosesTheTerminal) {
  TempDir dir;
  Devsim sim(dir / "port", {"--kind", "interface", "--mode", "hangup:2"});
  Line line(dir / "port");
  ASSERT_TRUE(line.ok());
  line.SetSpeed(B115200);
  line.Send("&\r");
  EXPECT_EQ(line.Receive(3), "OK\r");
  line.Send("0iv\r");
  pollfd p = {line.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, std::chrono::milliseconds(kBound).count()), 1);
  EXPECT_TRUE(p.revents & POLLHUP);
  // The kernel wakes the slave's readers a moment before it removes the
  // terminal's node.
  EXPECT_TRUE(posixtest::WaitFor([&] { return !std::filesystem::exists(sim.slave()); }));
}

// The stub program proves that the start menu let go of a port before an
// updater started; it must see a port that another program holds as taken.
TEST(Devsim, StubTellsWhetherItCouldClaimThePort) {
  TempDir dir;
  const std::string link = dir / "com3", log = dir / "stub.log";
  Devsim sim(link, {"--kind", "xray"});
  const auto runStub = [&] {
    const std::string env[] = {"START_STUB_LOG=" + log, "START_STUB_HOLD_PORT=" + link};
    char* envp[] = {const_cast<char*>(env[0].c_str()), const_cast<char*>(env[1].c_str()), nullptr};
    char* argv[] = {const_cast<char*>(START_TEST_STUB), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, START_TEST_STUB, nullptr, nullptr, argv, envp), 0);
    int status = -1;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  };
  {
    Line holder(link);  // claimed the way the start menu claims a port
    ASSERT_TRUE(holder.ok());
    ASSERT_EQ(flock(holder.fd(), LOCK_EX | LOCK_NB), 0);
    ASSERT_EQ(ioctl(holder.fd(), TIOCEXCL), 0);
    runStub();
    ioctl(holder.fd(), TIOCNXCL);
  }
  runStub();
  runStub();  // the stub released the port again
  const std::string cwd = std::filesystem::current_path().string();
  const std::string head = std::string(START_TEST_STUB) + "\t" + cwd + "\t0\t";
  EXPECT_EQ(ReadFile(log),
            head + "port-open-failed\n" + head + "port-open-ok\n" + head + "port-open-ok\n");
}

}  // namespace
