// The POSIX platform starting real programs: the stub program in a CD tree
// whose names differ in case from the program's paths, a stand-in for wine,
// stand-ins for xdg-open, and the reaping of ended programs.
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/posix_platform.h"
#include "tests/posix_fixture.h"

namespace {

using posixtest::CopyProgram;
using posixtest::ReadText;
using posixtest::ScopedCurrentDirectory;
using posixtest::ScopedEnv;
using posixtest::TempDir;
using posixtest::WaitFor;
using posixtest::WriteScript;
using posixtest::WriteText;

// The lines of the stub program's log, each split at its tabs.
std::vector<std::vector<std::string>> StubLog(const std::string& path) {
  std::vector<std::vector<std::string>> lines;
  std::istringstream in(ReadText(path));
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    lines.push_back(fields);
  }
  return lines;
}

// The children of this process, with whether each has ended and waits to
// be reaped.
std::vector<std::pair<pid_t, bool>> ChildStates() {
  std::vector<std::pair<pid_t, bool>> children;
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  while (const dirent* entry = proc ? readdir(proc.get()) : nullptr) {
    const std::string name = entry->d_name;
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string stat = ReadText("/proc/" + name + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    // After the command in parentheses: state, parent's process id.
    std::istringstream fields(stat.substr(close + 1));
    std::string state;
    pid_t parent = 0;
    fields >> state >> parent;
    if (parent == getpid()) children.emplace_back(std::stoi(name), state == "Z");
  }
  return children;
}

// Children of this process are counted only if they were started during
// the test: other tests in the same process may leave theirs.
class PosixProcessTest : public ::testing::Test {
 protected:
  // Waits for every child started during the test, so none outlives it.
  ~PosixProcessTest() override {
    for (const auto& [pid, ended] : ChildStates()) {
      if (!Earlier(pid)) waitpid(pid, nullptr, 0);
    }
  }

  // Children started during the test that have ended and wait to be reaped.
  int UnreapedChildren() const {
    int count = 0;
    for (const auto& [pid, ended] : ChildStates()) count += ended && !Earlier(pid) ? 1 : 0;
    return count;
  }

  TempDir root_;
  std::string log_ = root_.Path("stub.log");
  ScopedEnv logEnv_{"START_STUB_LOG", log_};
  ScopedCurrentDirectory restoreDirectory_;

 private:
  bool Earlier(pid_t pid) const {
    return std::find(earlier_.begin(), earlier_.end(), pid) != earlier_.end();
  }

  std::vector<pid_t> earlier_ = [] {
    std::vector<pid_t> pids;
    for (const auto& [pid, ended] : ChildStates()) pids.push_back(pid);
    return pids;
  }();
};

struct LaunchCase {
  const char* OnDisk;     // the program below the root, as the CD shows it
  const char* Directory;  // as the program names it, below the root
  const char* Program;    // as the program names it, below the root
};

TEST_F(PosixProcessTest, ProgramStartsWithoutArgumentsInTheCurrentDirectory) {
  const LaunchCase cases[] = {
      {"My CD/UPDATE/TARVEX/VXUPDATE.EXE", "My CD\\Update\\Tarvex",
       "My CD\\Update\\Tarvex\\VXupdate.exe"},
      {"My CD/setup.exe", "My CD", "My CD\\setup.exe"},
      {"cd rom/Update/FHV/FHVUPD.EXE", "CD ROM\\Update\\fhv", "CD ROM\\Update\\fhv\\fhvupd.exe"},
  };
  PosixPlatform platform;
  std::size_t started = 0;
  for (const LaunchCase& c : cases) {
    SCOPED_TRACE(c.Program);
    const std::string program = root_.Path(c.OnDisk);
    CopyProgram(START_TEST_STUB, program);
    platform.SetCurrentDirectoryA(root_.Windows(c.Directory));
    platform.WinExec(root_.Windows(c.Program), kShowDefault);
    ++started;
    ASSERT_TRUE(WaitFor([&] { return StubLog(log_).size() == started; }));
    const std::vector<std::string> line = StubLog(log_).back();
    ASSERT_EQ(line.size(), 3u);
    EXPECT_EQ(line[0], program);
    EXPECT_EQ(line[1], std::filesystem::path(program).parent_path().string());
    EXPECT_EQ(line[2], "0");
  }
}

TEST_F(PosixProcessTest, WindowsExecutableIsHandedToWine) {
  WriteText(root_.Path("CD/SETUP.EXE"), std::string("MZ\x90\0\x03", 5));
  CopyProgram(START_TEST_STUB, root_.Path("bin/wine"));
  ScopedEnv path("PATH", root_.Path("bin") + ":/usr/bin:/bin");
  PosixPlatform platform;
  platform.SetCurrentDirectoryA(root_.Windows("cd"));
  platform.WinExec(root_.Windows("cd\\setup.exe"), kShowDefault);
  ASSERT_TRUE(WaitFor([&] { return StubLog(log_).size() == 1; }));
  const std::vector<std::string> line = StubLog(log_).back();
  ASSERT_EQ(line.size(), 3u);
  EXPECT_EQ(line[0], root_.Path("bin/wine"));
  EXPECT_EQ(line[1], root_.Path("CD"));
  EXPECT_EQ(line[2], "1");
}

TEST_F(PosixProcessTest, StartedProgramsAreReapedWhenTheyEnd) {
  CopyProgram(START_TEST_STUB, root_.Path("CD/SETUP"));
  PosixPlatform platform;
  for (int i = 0; i < 3; ++i) platform.WinExec(root_.Windows("cd\\setup"), kShowDefault);
  platform.WinExec(root_.Windows("cd\\missing"), kShowDefault);
  // No further call is needed: each is reaped as it ends.
  ASSERT_TRUE(WaitFor([&] { return StubLog(log_).size() == 3u; }));
  EXPECT_TRUE(WaitFor([this] { return UnreapedChildren() == 0 && ChildStates().empty(); }));
}

struct OpenCase {
  const char* Name;
  const char* Opener;  // body of the xdg-open stand-in; nullptr: none on PATH
  bool DocumentExists;
  bool Begun;   // expected: result above 32
  bool Opened;  // expected outcome of a begun opening
};

// The opener runs without the call waiting for it; its outcome comes later.
TEST_F(PosixProcessTest, DocumentOpensThroughXdgOpen) {
  const OpenCase cases[] = {
      {"viewer opens it", "exit 0\n", true, true, true},
      {"viewer fails", "exit 3\n", true, true, false},
      {"viewer fails late", "sleep 0.3\nexit 3\n", true, true, false},
      {"no xdg-open", nullptr, true, false, false},
      {"document missing", "exit 0\n", false, false, false},
      {"missing document and no xdg-open", nullptr, false, false, false},
  };
  for (const OpenCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir dir;
    const std::string record = dir.Path("opener.log");
    if (c.Opener) {
      WriteScript(dir.Path("bin/xdg-open"),
                  "{ pwd; echo \"$#\"; echo \"$1\"; } >'" + record + "'\n" + c.Opener);
    } else {
      std::filesystem::create_directories(dir.Path("bin"));
    }
    if (c.DocumentExists) WriteText(dir.Path("My CD/MANUALE.PDF"), "%PDF-1.4\n");
    ScopedEnv path("PATH", dir.Path("bin"));
    PosixPlatform platform;
    const std::intptr_t result = platform.ShellExecuteA(dir.Windows("my cd\\ManualE.pdf"),
                                                        dir.Windows("my cd"), kShowMaximized);
    ASSERT_EQ(result > 32, c.Begun) << result;
    if (!c.Begun) {
      EXPECT_FALSE(std::filesystem::exists(record));
      continue;
    }
    std::optional<bool> outcome;
    ASSERT_TRUE(WaitFor([&] { return (outcome = platform.DocumentOutcome(result)).has_value(); }));
    EXPECT_EQ(*outcome, c.Opened);
    EXPECT_EQ(ReadText(record), dir.Path("My CD") + "\n1\n" + dir.Path("My CD/MANUALE.PDF") + "\n");
  }
}

TEST_F(PosixProcessTest, ViewerStillRunningAtTheBoundCountsAsOpened) {
  const std::string pidFile = root_.Path("viewer.pid");
  WriteScript(root_.Path("bin/xdg-open"),
              "echo $$ >'" + pidFile + "'\nexec /bin/sleep 30 </dev/null >/dev/null 2>&1\n");
  WriteText(root_.Path("ManualD.pdf"), "%PDF-1.4\n");
  ScopedEnv path("PATH", root_.Path("bin"));
  PosixPlatform platform(std::chrono::milliseconds(300));
  const std::intptr_t result =
      platform.ShellExecuteA(root_.Windows("ManualD.pdf"), root_.Windows(""), kShowMaximized);
  ASSERT_GT(result, 32);
  ASSERT_TRUE(WaitFor([&] { return !ReadText(pidFile).empty(); }));
  const pid_t viewer = std::stoi(ReadText(pidFile));
  // The call came back while the viewer runs; it has no outcome yet.
  EXPECT_EQ(kill(viewer, 0), 0);
  EXPECT_EQ(platform.DocumentOutcome(result), std::nullopt);
  std::optional<bool> outcome;
  ASSERT_TRUE(WaitFor([&] { return (outcome = platform.DocumentOutcome(result)).has_value(); }));
  EXPECT_TRUE(*outcome);
  kill(viewer, SIGTERM);
}

}  // namespace
