// The POSIX platform's processes and documents: the current directory,
// starting programs (Windows ones through wine), opening documents with
// xdg-open, and reaping what was started.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <thread>

#include "platform/posix_internal.h"
#include "platform/posix_platform.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using posixplatform::Exists;
using posixplatform::IsRegularFile;
using posixplatform::Notice;
using posixplatform::UniqueFd;

constexpr std::intptr_t kFileNotFound = 2;
constexpr std::intptr_t kNoAssociation = 31;
constexpr int kRunning = -1;

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
// environment, optionally in `directory`; returns its process id, or
// nothing with errno set to the reason.
std::optional<pid_t> Spawn(const std::vector<std::string>& argv, const std::string& directory) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  SpawnActions actions;
  int error = 0;
  if (!directory.empty() &&
      (error = posix_spawn_file_actions_addchdir_np(actions.get(), directory.c_str())) != 0) {
    errno = error;
    return std::nullopt;
  }
  pid_t pid = -1;
  if ((error = posix_spawn(&pid, args[0], actions.get(), nullptr, args.data(), environ)) != 0) {
    errno = error;
    return std::nullopt;
  }
  return pid;
}

// Waits on a thread of its own for the child `pid` to end, so that it never
// lingers as a zombie, and stores its exit status in `status` (128 and more
// for a signal) when one is given.
void ReapWhenEnded(pid_t pid, std::shared_ptr<std::atomic<int>> status) {
  std::thread([pid, status = std::move(status)] {
    int raw = 0;
    while (waitpid(pid, &raw, 0) < 0 && errno == EINTR) {
    }
    if (status) status->store(WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw));
  }).detach();
}

bool StartsWithMz(const std::string& path) {
  const UniqueFd fd(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  char magic[2] = {};
  return fd.get() >= 0 && read(fd.get(), magic, sizeof magic) == 2 && magic[0] == 'M' &&
         magic[1] == 'Z';
}

}  // namespace

PosixPlatform::PosixPlatform(std::chrono::milliseconds viewerWait, std::string ownPathLink,
                             std::string root)
    : viewerWait_(viewerWait), ownPathLink_(std::move(ownPathLink)), root_(std::move(root)) {
  if (root_.empty() || root_.back() != '/') root_ += '/';
}

void PosixPlatform::SetCurrentDirectoryA(const std::string& dir) {
  [[maybe_unused]] const int ignored = chdir(ToPosixPath(dir).c_str());
}

LaunchResult PosixPlatform::WinExec(const std::string& commandLine, int /*show*/) {
  const std::string program = ToPosixPath(commandLine);
  if (!Exists(program)) {
    lastError_ = "there is no such file";
    Notice("cannot start " + program + ": " + lastError_);
    return LaunchResult::NotFound;
  }
  std::vector<std::string> argv = {program};
  const bool windows = StartsWithMz(program);
  const std::optional<std::string> wine = windows ? FindOnPath("wine") : std::nullopt;
  if (wine) argv = {*wine, program};
  if (const std::optional<pid_t> pid = Spawn(argv, "")) {
    ReapWhenEnded(*pid, nullptr);
    return LaunchResult::Started;
  }
  lastError_ = windows && !wine
                   ? "it is a Windows program, and wine is not installed (Debian package wine)"
                   : std::strerror(errno);
  Notice("cannot start " + program + ": " + lastError_);
  return LaunchResult::Failed;
}

std::intptr_t PosixPlatform::ShellExecuteA(const std::string& file, const std::string& directory,
                                           int /*show*/) {
  const std::string document = ToPosixPath(file);
  if (!Exists(document)) {
    Notice("cannot open " + document + ": there is no such file");
    return kFileNotFound;
  }
  const std::optional<std::string> opener = FindOnPath("xdg-open");
  if (!opener) {
    Notice("cannot open " + document + ": xdg-open is not installed (Debian package xdg-utils)");
    return kNoAssociation;
  }
  const std::optional<pid_t> pid =
      Spawn({*opener, document}, directory.empty() ? "" : ToPosixPath(directory));
  if (!pid) {
    Notice("cannot open " + document + ": " + std::strerror(errno));
    return kNoAssociation;
  }
  // xdg-open returns once the viewer is started with most desktops, but with
  // some it runs the viewer itself: the window never waits for it.
  auto status = std::make_shared<std::atomic<int>>(kRunning);
  ReapWhenEnded(*pid, status);
  const std::intptr_t opening = nextOpening_++;
  openings_[opening] = {std::move(status), Clock::now()};
  return opening;
}

std::optional<bool> PosixPlatform::DocumentOutcome(std::intptr_t result) {
  const auto opening = openings_.find(result);
  if (opening == openings_.end()) return true;
  const int status = opening->second.ExitStatus->load();
  if (status == kRunning && Clock::now() - opening->second.Started < viewerWait_) {
    return std::nullopt;
  }
  openings_.erase(opening);
  return status == kRunning || status == 0;
}
