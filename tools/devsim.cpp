// devsim: plays a Tarvex interface or an X-ray unit on a pseudo-terminal, so
// that the start menu's device detection can be tried without hardware.
// Run `devsim --help` for the options. This file is the terminal's side: the
// options, the pseudo-terminal, the log and the timing of replies; what the
// device answers is in devsim_model.h.
#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <optional>
#include <string>

#include "tools/devsim_model.h"

namespace {

using devsim::DefaultConfig;
using devsim::Device;
using devsim::DeviceConfig;
using devsim::DeviceKind;
using devsim::DeviceMode;
using devsim::Escape;
using devsim::kStreamChunk;
using devsim::Response;
using devsim::Unescape;

constexpr const char* kUsage =
    R"(usage: devsim --kind interface|xray [options]

Plays a Tarvex interface or an X-ray unit on a new pseudo-terminal, prints
the terminal's path on stdout, and serves until SIGTERM, SIGINT or SIGHUP.
Commands end with CR. The interface answers "&" with "OK" and "0iv" with its
identification; the X-ray unit answers "MODE=REMOTE" with "REMOTE" and
"VERSION?" with its identification. Replies end with CR; other commands get
no answer. The identification reply is
  <ident> Ver <version><delimiter><rest> CR

options:
  --kind interface|xray  the device to play (required)
  --version TEXT         firmware version (default 2.0 interface, 1.1 X-ray)
  --ident TEXT           identification text (default "KORVA TARVEX 88B" or
                         "KORVA x-ray-unit 52-K")
  --delimiter TEXT       end of the version field (default " /" interface,
                         "/" X-ray; may be empty)
  --rest TEXT            text after the delimiter (default "2010-05-01")
  --reply TEXT           the whole identification reply instead, with the
                         escapes \r \n \t \0 \\ \xHH (no CR is added)
  --pty-link PATH        also make PATH a symbolic link to the terminal
                         (replaced if it is one already; removed on exit)
  --log FILE             append one line per event (below)
  --baud-check           ignore commands unless the terminal's speed is
                         115200 (interface) or 9600 (X-ray) when they arrive
  --mode MODE            normal (default)
                         silent     never answers
                         slow:MS    answers MS milliseconds late
                         noisy      puts junk bytes before every reply
                         flood250   pads the identification reply to 250 bytes
                         zero       puts a zero byte before the identification
                         hangup:N   closes the terminal when the Nth command
                                    arrives, without answering it (its path
                                    goes away; the link stays until exit)
                         endless    after the identification keeps sending
                                    bytes as fast as they are taken
  --help                 this text

log lines, tab-separated, the time in milliseconds of CLOCK_MONOTONIC:
  <time> TAB open                   the terminal was opened
  <time> TAB close                  the terminal was closed
  <time> TAB <command> TAB <baud>   a command, escaped (CR as \r), and the
                                    terminal's speed when it arrived; a fourth
                                    field "ignored" when --baud-check drops it
  <time> TAB hangup                 hangup mode closed the terminal
)";

struct Options {
  DeviceConfig device;
  std::string link;
  std::string logPath;
};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "devsim: %s\n", message.c_str());
  std::exit(1);
}

// Owns a file descriptor.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Reset(); }
  int get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) {
      close(fd_);
    }
    fd_ = -1;
  }

 private:
  int fd_;
};

// Removes a symbolic link when it goes out of scope.
class LinkGuard {
 public:
  LinkGuard() = default;
  LinkGuard(const LinkGuard&) = delete;
  LinkGuard& operator=(const LinkGuard&) = delete;
  ~LinkGuard() {
    if (!path_.empty()) {
      unlink(path_.c_str());
    }
  }
  // Points `path` at `target`, replacing an existing symbolic link in one
  // step; refuses to replace anything else.
  void Make(const std::string& path, const std::string& target) {
    struct stat st = {};
    if (lstat(path.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) {
      Fail(path + " exists and is not a symbolic link");
    }
    const std::string temp = path + ".devsim" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
      unlink(temp.c_str());
      Fail("cannot make link " + path + ": " + std::strerror(errno));
    }
    path_ = path;
  }

 private:
  std::string path_;
};

double NowMs() {
  timespec ts = {};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

// Appends lines to the log file, each in one write so readers never see half
// a line.
class Log {
 public:
  explicit Log(const std::string& path)
      : fd_(path.empty() ? -1
                         : open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644)) {
    if (!path.empty() && fd_.get() < 0) {
      Fail("cannot open log " + path + ": " + std::strerror(errno));
    }
  }
  void Line(const std::string& text) {
    if (fd_.get() < 0) {
      return;
    }
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.3f\t", NowMs());
    const std::string line = stamp + text + "\n";
    [[maybe_unused]] const ssize_t written = write(fd_.get(), line.data(), line.size());
  }

 private:
  Fd fd_;
};

long ParseNumber(const std::string& text, const char* what) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || v < 0) {
    Fail(std::string("bad number for ") + what + ": " + text);
  }
  return v;
}

void ParseMode(const std::string& text, DeviceConfig& device) {
  static const struct {
    const char* name;
    DeviceMode mode;
  } kPlain[] = {{"normal", DeviceMode::kNormal}, {"silent", DeviceMode::kSilent},
                {"noisy", DeviceMode::kNoisy},   {"flood250", DeviceMode::kFlood250},
                {"zero", DeviceMode::kZero},     {"endless", DeviceMode::kEndless}};
  for (const auto& m : kPlain) {
    if (text == m.name) {
      device.mode = m.mode;
      return;
    }
  }
  if (text.starts_with("slow:")) {
    device.mode = DeviceMode::kSlow;
    device.modeArg = ParseNumber(text.substr(5), "slow");
  } else if (text.starts_with("hangup:")) {
    device.mode = DeviceMode::kHangup;
    device.modeArg = ParseNumber(text.substr(7), "hangup");
  } else {
    Fail("unknown mode " + text + " (see --help)");
  }
}

Options ParseArgs(int argc, char** argv) {
  Options opt;
  DeviceKind kind = DeviceKind::kInterface;
  bool haveKind = false;
  std::optional<std::string> version, ident, delimiter;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::optional<std::string> inlineValue;
    if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      inlineValue = arg.substr(eq + 1);
      arg.resize(eq);
    }
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (arg == "--baud-check") {
      opt.device.baudCheck = true;
      continue;
    }
    std::string value;
    if (inlineValue) {
      value = *inlineValue;
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      Fail(arg + " needs a value (see --help)");
    }
    if (arg == "--kind") {
      if (value == "interface") {
        kind = DeviceKind::kInterface;
      } else if (value == "xray") {
        kind = DeviceKind::kXray;
      } else {
        Fail("--kind is interface or xray");
      }
      haveKind = true;
    } else if (arg == "--version") {
      version = value;
    } else if (arg == "--ident") {
      ident = value;
    } else if (arg == "--delimiter") {
      delimiter = value;
    } else if (arg == "--rest") {
      opt.device.rest = value;
    } else if (arg == "--reply") {
      opt.device.reply = Unescape(value);
    } else if (arg == "--pty-link") {
      opt.link = value;
    } else if (arg == "--log") {
      opt.logPath = value;
    } else if (arg == "--mode") {
      ParseMode(value, opt.device);
    } else {
      Fail("unknown option " + arg + " (see --help)");
    }
  }
  if (!haveKind) {
    Fail("--kind is required (see --help)");
  }
  const DeviceConfig defaults = DefaultConfig(kind);
  opt.device.kind = kind;
  opt.device.version = version.value_or(defaults.version);
  opt.device.ident = ident.value_or(defaults.ident);
  opt.device.delimiter = delimiter.value_or(defaults.delimiter);
  return opt;
}

long BaudOf(speed_t speed) {
  static const struct {
    speed_t code;
    long baud;
  } kRates[] = {{B0, 0},          {B50, 50},         {B75, 75},         {B110, 110},
                {B134, 134},      {B150, 150},       {B200, 200},       {B300, 300},
                {B600, 600},      {B1200, 1200},     {B1800, 1800},     {B2400, 2400},
                {B4800, 4800},    {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
                {B57600, 57600},  {B115200, 115200}, {B230400, 230400}, {B460800, 460800},
                {B921600, 921600}};
  for (const auto& r : kRates) {
    if (r.code == speed) {
      return r.baud;
    }
  }
  return -1;
}

// The pseudo-terminal's master side and the device's conversation on it.
class Simulator {
 public:
  Simulator(const DeviceConfig& device, Log& log)
      : log_(log),
        device_(device),
        master_(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)),
        notify_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (master_.get() < 0 || grantpt(master_.get()) != 0 || unlockpt(master_.get()) != 0) {
      Fail(std::string("cannot create a pseudo-terminal: ") + std::strerror(errno));
    }
    slave_ = ptsname(master_.get());
    // Terminal settings made on the master apply to the slave: start raw,
    // so nothing is echoed or translated before a client sets its own.
    termios t = {};
    if (tcgetattr(master_.get(), &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(master_.get(), TCSANOW, &t);
    }
    // Opens and closes of the slave are seen through inotify; without it they
    // are found by polling for the hang-up.
    if (notify_.get() >= 0 &&
        inotify_add_watch(notify_.get(), slave_.c_str(), IN_OPEN | IN_CLOSE) < 0) {
      notify_.Reset();
    }
  }

  const std::string& SlavePath() const { return slave_; }

  // Serves until `stopFd` (a signalfd of the stop signals) becomes readable.
  // Waiting on it rather than on a handler's flag lets a stop through even
  // while the terminal is ready all the time (a stream nobody stops reading).
  void Run(int stopFd) {
    for (;;) {
      pollfd fds[3] = {};
      fds[0] = {stopFd, POLLIN, 0};
      nfds_t n = 1;
      const nfds_t notifySlot = n;
      if (notify_.get() >= 0) {
        fds[n++] = {notify_.get(), POLLIN, 0};
      }
      const nfds_t masterSlot = n;
      if (master_.get() >= 0 && !hungUp_) {
        fds[n++] = {master_.get(), static_cast<short>(POLLIN | (outbox_.empty() ? 0 : POLLOUT)), 0};
      }
      const int ready = poll(fds, n, NextTimeoutMs());
      if (ready < 0 && errno != EINTR) {
        std::fprintf(stderr, "devsim: poll: %s\n", std::strerror(errno));
        return;
      }
      if (fds[0].revents & POLLIN) {
        return;
      }
      if (notifySlot < n && fds[notifySlot].revents & POLLIN) {
        ReadNotifications();
      }
      if (master_.get() < 0) {
        continue;
      }
      if (hungUp_) {
        CheckReopened();
      } else if (masterSlot < n && (fds[masterSlot].revents & (POLLIN | POLLHUP | POLLERR))) {
        ReadMaster();
      }
      ReleaseDueReplies();
      Flush();
      if (hangupPending_) {
        master_.Reset();
        log_.Line("hangup");
      }
    }
  }

 private:
  struct Pending {
    double due;
    std::string bytes;
  };

  // How long poll may wait, in milliseconds: until the next late reply is
  // due, and briefly while the slave is closed (to notice a reopen without
  // inotify); -1 means no limit.
  int NextTimeoutMs() const {
    double waitMs = -1;
    if (!pending_.empty()) {
      waitMs = std::max(0.0, std::ceil(pending_.front().due - NowMs()));
    }
    if (master_.get() >= 0 && hungUp_ && notify_.get() < 0) {
      waitMs = waitMs < 0 ? 5 : std::min(waitMs, 5.0);
    }
    return static_cast<int>(waitMs);
  }

  void ReadNotifications() {
    alignas(inotify_event) char buf[4096];
    ssize_t got;
    while ((got = read(notify_.get(), buf, sizeof buf)) > 0) {
      for (ssize_t off = 0; off < got;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
        if (ev->mask & IN_OPEN) {
          log_.Line("open");
          hungUp_ = false;
        }
        if (ev->mask & IN_CLOSE) {
          log_.Line("close");
        }
        off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
      }
    }
  }

  // While no slave is open the master reports a hang-up on every poll.
  void CheckReopened() {
    pollfd p = {master_.get(), POLLIN, 0};
    if (poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP)) {
      hungUp_ = false;
    }
  }

  void ReadMaster() {
    char buf[512];
    const ssize_t got = read(master_.get(), buf, sizeof buf);
    if (got > 0) {
      for (ssize_t i = 0; i < got; ++i) {
        if (const std::optional<std::string> line = device_.Receive(buf[i])) {
          HandleCommand(*line);
        }
      }
    } else if (got < 0 && errno != EAGAIN && errno != EINTR) {
      // EIO: the last slave descriptor was closed; a half command is lost.
      hungUp_ = true;
      device_.DropPartial();
    }
  }

  // Logs the command `line` and queues the device's reply to it.
  void HandleCommand(const std::string& line) {
    termios t = {};
    const long baud = tcgetattr(master_.get(), &t) == 0 ? BaudOf(cfgetospeed(&t)) : -1;
    const Response response = device_.Handle(line, baud);
    log_.Line(Escape(line) + "\t" + std::to_string(baud) + (response.ignored ? "\tignored" : ""));
    if (response.hangUp) {
      hangupPending_ = true;
      return;
    }
    if (!response.reply) {
      return;
    }
    pending_.push_back({NowMs() + static_cast<double>(response.delayMs), *response.reply});
    if (response.stream) {
      streaming_ = true;
    }
  }

  void ReleaseDueReplies() {
    const double now = NowMs();
    while (!pending_.empty() && pending_.front().due <= now) {
      outbox_ += pending_.front().bytes;
      pending_.pop_front();
    }
  }

  // Writes what the terminal takes now; the rest waits for POLLOUT. A
  // stream after the identification is refilled for as long as the terminal
  // takes bytes and a slave is open.
  void Flush() {
    for (;;) {
      if (outbox_.empty() && streaming_ && !hungUp_ && pending_.empty()) {
        outbox_ = kStreamChunk;
      }
      if (outbox_.empty()) {
        return;
      }
      const ssize_t put = write(master_.get(), outbox_.data(), outbox_.size());
      if (put > 0) {
        outbox_.erase(0, static_cast<std::size_t>(put));
      } else if (put < 0 && errno == EINTR) {
        continue;
      } else {
        if (put < 0 && errno != EAGAIN) {
          outbox_.clear();
        }
        return;
      }
    }
  }

  Log& log_;
  Device device_;
  Fd master_;
  Fd notify_;
  std::string slave_;
  std::string outbox_;
  std::deque<Pending> pending_;
  bool hungUp_ = false;
  bool hangupPending_ = false;
  bool streaming_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  const Options opt = ParseArgs(argc, argv);
  std::signal(SIGPIPE, SIG_IGN);
  // The stop signals are blocked and read from a descriptor, so the serving
  // loop sees them like any other event and unwinds (removing the link).
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
    sigaddset(&stopSignals, sig);
  }
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  const Fd stopFd(signalfd(-1, &stopSignals, SFD_CLOEXEC));
  if (stopFd.get() < 0) {
    Fail(std::string("signalfd: ") + std::strerror(errno));
  }

  Log log(opt.logPath);
  Simulator sim(opt.device, log);
  LinkGuard link;
  if (!opt.link.empty()) {
    link.Make(opt.link, sim.SlavePath());
  }
  std::printf("%s\n", sim.SlavePath().c_str());
  std::fflush(stdout);
  sim.Run(stopFd.get());
  return 0;
}
