// The trace file of the POSIX platform, and the failures it tells on
// standard error: a missing program or document, a Windows program without
// wine, no xdg-open, a serial port that the permissions keep closed (once
// per port).
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix_platform.h"
#include "platform/tracing_platform.h"
#include "tests/posix_fixture.h"

namespace {

using posixtest::CopyProgram;
using posixtest::ReadText;
using posixtest::ScopedCurrentDirectory;
using posixtest::ScopedEnv;
using posixtest::TempDir;
using posixtest::WaitFor;
using posixtest::WriteText;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Standard error goes to a file while the guard lives.
class CapturedStderr {
 public:
  explicit CapturedStderr(std::string path) : path_(std::move(path)), saved_(dup(STDERR_FILENO)) {
    const int file = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    dup2(file, STDERR_FILENO);
    close(file);
  }
  CapturedStderr(const CapturedStderr&) = delete;
  CapturedStderr& operator=(const CapturedStderr&) = delete;
  ~CapturedStderr() {
    dup2(saved_, STDERR_FILENO);
    close(saved_);
  }
  std::vector<std::string> Lines() const { return ::Lines(ReadText(path_)); }

 private:
  std::string path_;
  int saved_;
};

// A pseudo-terminal: the device behind a port, played from the master side.
struct Pty {
  Pty()
      : Master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)),
        Slave(Master >= 0 && grantpt(Master) == 0 && unlockpt(Master) == 0 ? ptsname(Master)
                                                                           : "/nonexistent") {}
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  ~Pty() {
    if (Master >= 0) close(Master);
  }
  int Master;
  std::string Slave;
};

// A relative file name is taken from the directory the trace was opened in,
// even after the program has changed it, and the file is appended to.
TEST(PosixTraceTest, FileHoldsThePortEventsAppended) {
  TempDir dir;
  Pty device;
  ScopedEnv com1("ORBILEX_COM1", device.Slave);
  ScopedEnv com2("ORBILEX_COM2", dir.Path("absent"));
  ScopedEnv com3("ORBILEX_COM3", dir.Path("absent"));
  ScopedEnv com4("ORBILEX_COM4", "");
  WriteText(dir.Path("trace.log"), "an earlier run\n");
  ScopedCurrentDirectory restore;
  ASSERT_EQ(chdir(dir.Path().c_str()), 0);
  std::unique_ptr<TraceWriter> writer = OpenPosixTrace("trace.log");
  ASSERT_NE(writer, nullptr);
  ASSERT_EQ(chdir("/"), 0);
  {
    PosixPlatform platform;
    TracingPlatform traced(platform, *writer);
    const PortHandle port = traced.CreateFileA("COM1");
    ASSERT_NE(port, kInvalidPort);
    traced.SetCommState(port, {9600, 8, kNoParity, kOneStopBit});
    traced.WriteFile(port, "0iv\r", 4);
    ASSERT_EQ(write(device.Master, "Ver 1.5\r\n\xff", 10), 10);
    ASSERT_TRUE(WaitFor([&] { return platform.ClearCommError(port) == 10; }));
    char buffer[16];
    traced.ReadFile(port, buffer, sizeof buffer);
    traced.CloseHandle(port);
    EXPECT_EQ(traced.CreateFileA("COM2"), kInvalidPort);
  }
  writer.reset();

  const std::vector<std::string> lines = Lines(ReadText(dir.Path("trace.log")));
  const std::vector<std::string> expected = {
      "an earlier run",
      "trace begins",
      "port COM1 is " + device.Slave + " (ORBILEX_COM1)",
      "port COM2 is " + dir.Path("absent") + " (ORBILEX_COM2)",
      "port COM3 is " + dir.Path("absent") + " (ORBILEX_COM3)",
      "port COM4 is none (ORBILEX_COM4)",
      "port COM1 (" + device.Slave + ") open: ok",
      "port COM1 line 9600 8N1",
      "port COM1 write \"0iv\\r\" (4 bytes): 4 written",
      "port COM1 read \"Ver 1.5\\r\\n\\xFF\" (10 bytes)",
      "port COM1 close",
      "port COM2 (" + dir.Path("absent") + ") open: failed: absent",
  };
  ASSERT_EQ(lines.size(), expected.size()) << ReadText(dir.Path("trace.log"));
  EXPECT_EQ(lines[0], expected[0]);
  const std::regex stamp(" *[0-9]+ ms  .*");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], stamp)) << lines[i];
    EXPECT_EQ(lines[i].substr(lines[i].find(" ms  ") + 5), expected[i]);
  }
}

TEST(PosixTraceTest, FailuresAreToldOnStandardErrorInOneLine) {
  TempDir dir;
  WriteText(dir.Path("CD/SETUP.EXE"), std::string("MZ\x90\0\x03", 5));
  chmod(dir.Path("CD/SETUP.EXE").c_str(), 0755);
  CopyProgram(START_TEST_STUB, dir.Path("CD/TOOL"));
  std::filesystem::create_directories(dir.Path("bin"));
  ScopedEnv path("PATH", dir.Path("bin"));
  ScopedEnv stubLog("START_STUB_LOG", dir.Path("stub.log"));
  struct Case {
    const char* name;
    std::function<void(PosixPlatform&)> act;
    std::string told;  // empty: nothing
  };
  const Case cases[] = {
      {"Windows program without wine",
       [&](PosixPlatform& p) {
         EXPECT_EQ(p.WinExec(dir.Windows("cd\\setup.exe"), kShowDefault), LaunchResult::Failed);
       },
       "start: cannot start " + dir.Path("CD/SETUP.EXE") +
           ": it is a Windows program, and wine is not installed (Debian package wine)"},
      {"missing program",
       [&](PosixPlatform& p) {
         EXPECT_EQ(p.WinExec(dir.Windows("cd\\missing.exe"), kShowDefault), LaunchResult::NotFound);
       },
       "start: cannot start " + dir.Path("CD/missing.exe") + ": there is no such file"},
      {"missing document",
       [&](PosixPlatform& p) {
         p.ShellExecuteA(dir.Windows("cd\\ManualE.pdf"), "", kShowMaximized);
       },
       "start: cannot open " + dir.Path("CD/ManualE.pdf") + ": there is no such file"},
      {"no xdg-open",
       [&](PosixPlatform& p) { p.ShellExecuteA(dir.Windows("cd\\tool"), "", kShowMaximized); },
       "start: cannot open " + dir.Path("CD/TOOL") +
           ": xdg-open is not installed (Debian package xdg-utils)"},
      {"program started",
       [&](PosixPlatform& p) {
         EXPECT_EQ(p.WinExec(dir.Windows("cd\\tool"), kShowDefault), LaunchResult::Started);
         ASSERT_TRUE(WaitFor([&] { return !ReadText(dir.Path("stub.log")).empty(); }));
       },
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> told;
    {
      CapturedStderr captured(dir.Path("stderr.txt"));
      PosixPlatform platform;
      c.act(platform);
      told = captured.Lines();
    }
    EXPECT_EQ(told, c.told.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.told});
  }
}

// START_TRACE=1: the trace goes to standard error.
TEST(PosixTraceTest, TraceOfOneGoesToStandardError) {
  TempDir dir;
  CapturedStderr captured(dir.Path("stderr.txt"));
  const std::unique_ptr<TraceWriter> writer = OpenPosixTrace("1");
  ASSERT_NE(writer, nullptr);
  writer->WriteLine("   412 ms  port COM2 close");
  EXPECT_EQ(captured.Lines(), std::vector<std::string>{"   412 ms  port COM2 close"});
  EXPECT_EQ(OpenPosixTrace(""), nullptr);
  EXPECT_EQ(OpenPosixTrace(nullptr), nullptr);
}

// Only a regular file takes the trace: a FIFO (which would block the open
// without a reader), a device and a symbolic link (whose target stays as it
// was) are each told in one line. A new file is the user's own (0600).
TEST(PosixTraceTest, OnlyARegularFileTakesTheTrace) {
  TempDir dir;
  WriteText(dir.Path("target"), "kept\n");
  ASSERT_EQ(symlink(dir.Path("target").c_str(), dir.Path("link").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.Path("fifo").c_str(), 0600), 0);
  struct Case {
    std::string file;
    std::string why;  // empty: taken
  };
  const Case cases[] = {
      {dir.Path("fifo"), "it is not a regular file"},
      {"/dev/null", "it is not a regular file"},
      {dir.Path("link"), "it is a symbolic link"},
      {dir.Path(), "Is a directory"},
      {dir.Path("new.log"), ""},
  };
  const mode_t savedMask = umask(0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    // In a child, which a blocking open would keep until the alarm ends it.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(20);
      const int file = open(dir.Path("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(file, STDERR_FILENO);
      const std::unique_ptr<TraceWriter> writer = OpenPosixTrace(c.file.c_str());
      if (writer) writer->WriteLine("line");
      _exit(writer ? 0 : 3);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), c.why.empty() ? 0 : 3);
    const std::vector<std::string> told = Lines(ReadText(dir.Path("stderr.txt")));
    EXPECT_EQ(told, c.why.empty() ? std::vector<std::string>{}
                                  : std::vector<std::string>{"start: cannot write the trace to " +
                                                             c.file + ": " + c.why});
  }
  umask(savedMask);
  EXPECT_EQ(ReadText(dir.Path("target")), "kept\n");
  struct stat info = {};
  ASSERT_EQ(stat(dir.Path("new.log").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// In a child that may not open the terminal (root gives up its rights
// first): one line for COM1, however often it is tried, and none for a port
// that is absent.
TEST(PosixTraceTest, PortRefusedByPermissionsIsToldOnce) {
  TempDir dir;
  Pty device;
  ScopedEnv com1("ORBILEX_COM1", device.Slave);
  ScopedEnv com2("ORBILEX_COM2", dir.Path("absent"));
  ASSERT_EQ(chmod(device.Slave.c_str(), geteuid() == 0 ? 0600 : 0), 0);
  chmod(dir.Path().c_str(), 0777);
  const std::string told = dir.Path("stderr.txt");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const int file = open(told.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    dup2(file, STDERR_FILENO);
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(65534, 65534, 65534) != 0 ||
                           setresuid(65534, 65534, 65534) != 0)) {
      _exit(2);
    }
    PosixPlatformWithPortNotices platform;
    const bool refused = platform.CreateFileA("COM1") == kInvalidPort &&
                         platform.CreateFileA("com1") == kInvalidPort &&
                         platform.CreateFileA("COM2") == kInvalidPort;
    _exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  // The group named is the one that owns the device.
  struct stat info = {};
  ASSERT_EQ(stat(device.Slave.c_str(), &info), 0);
  const group* owner = getgrgid(info.st_gid);
  ASSERT_NE(owner, nullptr);
  const std::string name = owner->gr_name;
  EXPECT_EQ(
      Lines(ReadText(told)),
      std::vector<std::string>{"start: cannot open COM1 (" + device.Slave +
                               "): permission denied; to use it, add yourself to the group " +
                               name + " (sudo usermod -aG " + name + " $USER) and log in again"});
}

}  // namespace
