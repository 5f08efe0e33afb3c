// startbench: measures the start menu from outside, on an X server given by
// DISPLAY, and prints the results as Markdown tables. Run
// `startbench --help` for the options; bench/run.sh sets up the display, the
// sample CDs and the Wine prefix and calls it.
//
// One repetition of one target:
//   1. the target's baseline, if given (a bare window of the same toolkit),
//      is started, and ended 1.5 s after its window named "baseline" is
//      mapped;
//   2. devsim plays an X-ray unit with current firmware behind the link that
//      the program opens as COM1 (no prompt ever interrupts the timetable);
//   3. the program is started; "start-up" is the time from just before exec
//      to the MapNotify of its window named "orbilex CD..." on the root (and
//      likewise for the baseline);
//   4. the simulator's log gives the arrival time of every command; each is
//      compared with the timetable counted from the window's map (T), and
//      each gap between timed commands with its interval;
//   5. once detection has finished (T + 1.5 s), the CPU time of all threads
//      of the process is sampled, and again after the idle period;
//   6. the peak resident memory (VmHWM) is read and the program is ended;
//   7. devsim plays a Tarvex interface with out-of-date firmware instead,
//      the program is started once more, and the map of its update prompt
//      is compared with its place in the timetable, the interface's read
//      at T + 400.
// Start-up takes more samples than the rest: after the full repetitions,
// further ones end the program once detection has finished (steps 1 to 3).
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    R"(usage: startbench --devsim PATH --link PATH --work DIR [options]

Measures the start menu on the X server named by DISPLAY (with no window
manager running) and prints Markdown tables of median and maximum values.

options:
  --devsim PATH        the device simulator
  --link PATH          the path the program opens as COM1 (the simulator's
                       --pty-link)
  --work DIR           a directory for the simulator's logs
  --native DIR         measure DIR/start, started in DIR
  --wine DIR           measure DIR/start.exe under Wine, started in DIR
  --native-baseline PATH, --wine-baseline PATH
                       a program (for Wine a Windows program) whose window,
                       named "baseline", is the floor of the target's
                       start-up; started in the target's DIR before each
                       start-up of the program
  --wine-loader PATH   the Wine loader (default /usr/lib/wine/wine64)
  --reps N             measured repetitions per target (default 5); one
                       more run before them warms caches and is not counted
  --startups N         start-up samples per target, at least --reps
                       (default 15): the repetitions' and, for the rest,
                       runs ended once detection has finished
  --idle SECONDS       the idle period after detection (default 10)
  --size LABEL=PATH    a file whose size to report (repeatable)
  --help               this text
)";

// The commands of one detection run, in order, with their place in the
// timetable counted from the window being shown.
struct Timed {
  const char* command;
  int occurrence;  // 1 = the first time the command arrives
  double offsetMs;
  const char* label;
};
constexpr std::array<Timed, 5> kTimetable{{
    {"&", 1, 0, "\"&\" at T"},
    {"0iv", 1, 200, "\"0iv\" at T + 200"},
    {"MODE=REMOTE", 1, 400, "\"MODE=REMOTE\" at T + 400"},
    {"MODE=REMOTE", 2, 420, "\"MODE=REMOTE\" at T + 420"},
    {"VERSION?", 1, 920, "\"VERSION?\" at T + 920"},
}};
constexpr double kDetectionDoneMs = 1500;  // the last read is at about T + 1140
// The update prompt for an out-of-date interface comes at the interface's
// read; the program names it in English under the C locale.
constexpr double kPromptOffsetMs = 400;
constexpr const char* kPromptTitle = "Out-of-date Tarvex version detected";
// How long a program whose start-up alone is measured runs on once its window
// is mapped. Ending it at once would leave Wine tidying up while the next
// program starts, which made that start-up half as long again or more.
constexpr double kSettleMs = kDetectionDoneMs;

struct Options {
  std::string devsim, link, work, nativeDir, wineDir, nativeBaseline, wineBaseline;
  std::string wineLoader = "/usr/lib/wine/wine64";
  int reps = 5;
  int startups = 15;
  double idleSeconds = 10;
  std::vector<std::pair<std::string, std::string>> sizes;
};

struct Sample {
  double startupMs = 0;
  std::array<double, kTimetable.size()> fromMapMs{};
  double shortestGapMs = 0;  // min over the gaps after "0iv" of gap - interval
  double promptFromMapMs = 0;
  double peakRssMb = 0;
  double idleCpuMs = 0;
};

[[noreturn]] void Fail(const std::string& message) {
  std::fprintf(stderr, "startbench: %s\n", message.c_str());
  std::exit(1);
}

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

void SleepMs(double ms) {
  if (ms <= 0) return;
  timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>(std::fmod(ms, 1000.0) * 1e6)};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(kUsage, stdout);
      std::exit(0);
    }
    if (i + 1 >= argc) Fail("missing value for " + arg + " (see --help)");
    const std::string value = argv[++i];
    if (arg == "--devsim") {
      o.devsim = value;
    } else if (arg == "--link") {
      o.link = value;
    } else if (arg == "--work") {
      o.work = value;
    } else if (arg == "--native") {
      o.nativeDir = value;
    } else if (arg == "--wine") {
      o.wineDir = value;
    } else if (arg == "--native-baseline") {
      o.nativeBaseline = value;
    } else if (arg == "--wine-baseline") {
      o.wineBaseline = value;
    } else if (arg == "--wine-loader") {
      o.wineLoader = value;
    } else if (arg == "--reps") {
      o.reps = std::atoi(value.c_str());
      if (o.reps < 1) Fail("--reps needs a number of at least 1");
    } else if (arg == "--startups") {
      o.startups = std::atoi(value.c_str());
      if (o.startups < 1) Fail("--startups needs a number of at least 1");
    } else if (arg == "--idle") {
      o.idleSeconds = std::atof(value.c_str());
      if (!(o.idleSeconds > 0)) Fail("--idle needs a positive number of seconds");
    } else if (arg == "--size") {
      const auto eq = value.find('=');
      if (eq == std::string::npos) Fail("--size needs LABEL=PATH");
      o.sizes.emplace_back(value.substr(0, eq), value.substr(eq + 1));
    } else {
      Fail("unknown option " + arg + " (see --help)");
    }
  }
  if (o.devsim.empty() || o.link.empty() || o.work.empty()) {
    Fail("--devsim, --link and --work are required (see --help)");
  }
  o.startups = std::max(o.startups, o.reps);
  return o;
}

// A child process in a process group of its own.
class Child {
 public:
  Child(const std::string& dir, const std::vector<std::string>& argv, bool quiet) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_ = fork();
    if (pid_ < 0) Fail(std::string("fork: ") + std::strerror(errno));
    if (pid_ == 0) {
      setpgid(0, 0);
      if (quiet) {
        if (FILE* null = std::fopen("/dev/null", "w")) {
          dup2(fileno(null), STDOUT_FILENO);
          dup2(fileno(null), STDERR_FILENO);
        }
      }
      if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
      execv(args[0], args.data());
      _exit(127);
    }
    setpgid(pid_, pid_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { Stop(); }

  pid_t Pid() const { return pid_; }
  bool Running() const { return pid_ > 0 && waitpid(pid_, nullptr, WNOHANG) == 0; }

  void Stop() {
    if (pid_ <= 0) return;
    kill(-pid_, SIGTERM);
    for (int i = 0; i < 300 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i) SleepMs(10);
    if (kill(pid_, 0) == 0) {
      kill(-pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// Nanoseconds that all threads of `pid` have run, from the scheduler.
double CpuMs(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (dir == nullptr) Fail("cannot read " + tasks);
  double ns = 0;
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream stat(tasks + "/" + entry->d_name + "/schedstat");
    double runNs = 0;
    if (stat >> runNs) ns += runNs;
  }
  closedir(dir);
  return ns / 1e6;
}

double PeakRssMb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  Fail("no VmHWM for process " + std::to_string(pid));
}

// Watches the root window for a window being mapped.
class MapWatch {
 public:
  MapWatch() : display_(XOpenDisplay(nullptr)) {
    if (display_ == nullptr) Fail("cannot open the display (is DISPLAY set?)");
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    netWmName_ = XInternAtom(display_, "_NET_WM_NAME", False);
    XSync(display_, False);
  }
  MapWatch(const MapWatch&) = delete;
  MapWatch& operator=(const MapWatch&) = delete;
  ~MapWatch() { XCloseDisplay(display_); }

  // Drops what happened so far.
  void Drain() {
    XSync(display_, False);
    XEvent event;
    while (XPending(display_) > 0) XNextEvent(display_, &event);
  }

  // The time at which a window whose name starts with `prefix` was mapped,
  // or nothing after `timeoutMs`.
  std::optional<double> WaitFor(const std::string& prefix, double timeoutMs) {
    const double deadline = NowMs() + timeoutMs;
    while (true) {
      while (XPending(display_) > 0) {
        XEvent event;
        XNextEvent(display_, &event);
        if (event.type != MapNotify) continue;
        const double at = NowMs();
        if (Name(event.xmap.window).rfind(prefix, 0) == 0) return at;
      }
      const double left = deadline - NowMs();
      if (left <= 0) return std::nullopt;
      pollfd fd{ConnectionNumber(display_), POLLIN, 0};
      poll(&fd, 1, static_cast<int>(std::ceil(left)));
    }
  }

 private:
  std::string Name(Window window) {
    for (const Atom property : {netWmName_, static_cast<Atom>(XA_WM_NAME)}) {
      Atom type = None;
      int format = 0;
      unsigned long count = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display_, window, property, 0, 256, False, AnyPropertyType, &type,
                             &format, &count, &after, &data) == Success &&
          data != nullptr) {
        std::string name(reinterpret_cast<char*>(data), format == 8 ? count : 0);
        XFree(data);
        if (!name.empty()) return name;
      }
    }
    return {};
  }

  Display* display_;
  Atom netWmName_;
};

// Arrival times of the simulator's commands, without their CR: (command,
// time) in order.
std::vector<std::pair<std::string, double>> ReadLog(const std::string& path) {
  std::vector<std::pair<std::string, double>> commands;
  std::ifstream log(path);
  std::string line;
  while (std::getline(log, line)) {
    std::istringstream fields(line);
    std::string time, what, baud;
    if (std::getline(fields, time, '\t') && std::getline(fields, what, '\t') &&
        std::getline(fields, baud, '\t')) {
      // The simulator writes the command's CR as the escape \r.
      if (what.size() >= 2 && what.ends_with("\\r")) what.resize(what.size() - 2);
      commands.emplace_back(what, std::atof(time.c_str()));
    }
  }
  return commands;
}

std::optional<double> Arrival(const std::vector<std::pair<std::string, double>>& commands,
                              const Timed& timed) {
  int seen = 0;
  for (const auto& [command, at] : commands) {
    if (command == timed.command && ++seen == timed.occurrence) return at;
  }
  return std::nullopt;
}

// Starts `argv` in `dir` as `program` and waits for its window named
// `title...`; returns the start-up, from just before exec to the map, and
// sets `mappedAt` to the time of the map.
double Launch(MapWatch& watch, std::optional<Child>& program, const std::string& dir,
              const std::vector<std::string>& argv, const std::string& name,
              const std::string& title, double& mappedAt) {
  watch.Drain();
  const double started = NowMs();
  program.emplace(dir, argv, true);
  const std::optional<double> mapped = watch.WaitFor(title, 60000);
  if (!mapped) Fail(name + ": no window named \"" + title + "...\" was mapped within 60 s");
  mappedAt = *mapped;
  return *mapped - started;
}

// The start-up of a baseline, which is ended a while after its window is
// mapped.
double BaselineStartup(MapWatch& watch, const std::string& dir,
                       const std::vector<std::string>& argv, const std::string& name) {
  std::optional<Child> program;
  double mapped = 0;
  const double startup = Launch(watch, program, dir, argv, name + " baseline", "baseline", mapped);
  SleepMs(mapped + kSettleMs - NowMs());
  return startup;
}

// Starts devsim as device `kind` with firmware `version` behind the link;
// `logPath`, if given, gets its log.
void StartDevice(std::optional<Child>& device, const Options& o, const std::string& kind,
                 const std::string& version, const std::string& logPath) {
  std::vector<std::string> argv{o.devsim, "--kind",       kind,         "--version",
                                version,  "--baud-check", "--pty-link", o.link};
  if (!logPath.empty()) argv.insert(argv.end(), {"--log", logPath});
  device.emplace("", argv, true);
  for (int i = 0; i < 500 && !Exists(o.link); ++i) SleepMs(10);
  if (!Exists(o.link)) Fail("the device simulator did not make " + o.link);
}

// When the update prompt for an out-of-date interface is mapped, from the
// start window's map, minus its place in the timetable. The program is
// ended as long after its map as in a start-up-only run.
double PromptFromMap(const Options& o, MapWatch& watch, const std::string& dir,
                     const std::vector<std::string>& argv, const std::string& name) {
  std::optional<Child> device;
  StartDevice(device, o, "interface", "0.5", "");
  std::optional<Child> program;
  double mapped = 0;
  Launch(watch, program, dir, argv, name, "orbilex CD", mapped);
  const std::optional<double> prompt = watch.WaitFor(kPromptTitle, 10000);
  if (!prompt) Fail(name + ": no prompt for an out-of-date interface within 10 s");
  SleepMs(mapped + kSettleMs - NowMs());
  return *prompt - mapped - kPromptOffsetMs;
}

// One run of the program against the simulator; with `full` false only its
// start-up is measured and it is ended once detection has finished.
Sample RunOnce(const Options& o, MapWatch& watch, const std::string& dir,
               const std::vector<std::string>& argv, const std::string& name, bool full) {
  const std::string logPath = o.work + "/" + name + "-devsim.log";
  std::remove(logPath.c_str());
  std::optional<Child> device;
  StartDevice(device, o, "xray", "9.9", logPath);

  Sample s;
  std::optional<Child> launched;
  double mapped = 0;
  s.startupMs = Launch(watch, launched, dir, argv, name, "orbilex CD", mapped);
  Child& program = *launched;
  SleepMs(mapped + kDetectionDoneMs - NowMs());
  if (!full) return s;
  if (!program.Running()) Fail(name + ": the program ended during detection");
  const double cpuBefore = CpuMs(program.Pid());
  SleepMs(o.idleSeconds * 1000);
  s.idleCpuMs = CpuMs(program.Pid()) - cpuBefore;
  s.peakRssMb = PeakRssMb(program.Pid());
  program.Stop();
  device->Stop();

  const auto commands = ReadLog(logPath);
  std::array<double, kTimetable.size()> at{};
  for (size_t i = 0; i < kTimetable.size(); ++i) {
    const std::optional<double> arrival = Arrival(commands, kTimetable[i]);
    if (!arrival) {
      Fail(name + ": the device never received " + kTimetable[i].label + " (log " + logPath + ")");
    }
    at[i] = *arrival;
    s.fromMapMs[i] = at[i] - mapped - kTimetable[i].offsetMs;
  }
  // The gaps that timers and pauses make: "0iv" to the first "MODE=REMOTE"
  // (200 ms), between both (20 ms), the second to "VERSION?" (500 ms). The
  // gap from "&" is left out: the simulator stamps "&" only once it has
  // taken in the port's opening, which can make it late by a millisecond
  // or two.
  s.shortestGapMs = HUGE_VAL;
  for (size_t i = 2; i < kTimetable.size(); ++i) {
    const double interval = kTimetable[i].offsetMs - kTimetable[i - 1].offsetMs;
    s.shortestGapMs = std::min(s.shortestGapMs, at[i] - at[i - 1] - interval);
  }
  s.promptFromMapMs = PromptFromMap(o, watch, dir, argv, name);
  return s;
}

struct Stats {
  double median, max, min;
};

Stats Summarize(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.back(), values.front()};
}

// The samples of one target: the full runs, and the start-ups of the
// program and of its baseline.
struct Target {
  std::string name;
  std::vector<Sample> samples;
  std::vector<double> startups, baselineStartups;
};

std::string Cell(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

using Values = std::function<std::vector<double>(const Target&)>;

// One figure of each full run.
Values Each(double (*pick)(const Sample&)) {
  return [pick](const Target& t) {
    std::vector<double> values;
    for (const Sample& s : t.samples) values.push_back(pick(s));
    return values;
  };
}

// A row of the median (or the minimum) and the maximum of each target's
// values; "-" for a target without any.
void PrintRow(const std::vector<Target>& targets, const std::string& what, const std::string& goal,
              int decimals, const Values& values, bool minimum = false) {
  std::string row = "| " + what;
  for (const Target& t : targets) {
    const std::vector<double> v = values(t);
    if (v.empty()) {
      row += " | - | -";
      continue;
    }
    const Stats st = Summarize(v);
    row += " | " + Cell(minimum ? st.min : st.median, decimals) + " | " + Cell(st.max, decimals);
  }
  std::printf("%s | %s |\n", row.c_str(), goal.c_str());
}

template <size_t I>
double FromMap(const Sample& s) {
  return s.fromMapMs[I];
}

void PrintTables(const Options& o, const std::vector<Target>& targets) {
  std::printf(
      "Repetitions: %d per target (after one unmeasured warm-up run), %d for the start-up, each "
      "after a start-up of the baseline; idle period %.0f s.\n\n",
      o.reps, o.startups, o.idleSeconds);
  std::string header = "| measure";
  std::string rule = "|---";
  for (const Target& t : targets) {
    header += " | " + t.name + " median | " + t.name + " max";
    rule += "|---:|---:";
  }
  std::printf("%s | target |\n%s|---|\n", header.c_str(), rule.c_str());
  PrintRow(targets, "start-up: process start to window mapped (ms)", "native median <= 50", 1,
           [](const Target& t) { return t.startups; });
  PrintRow(targets, "start-up of the baseline, a bare window with a bold label (ms)", "the floor",
           1, [](const Target& t) { return t.baselineStartups; });
  std::string ratio = "| start-up against the baseline (ratio of the medians)";
  for (const Target& t : targets) {
    std::string cell = "-";
    if (!t.baselineStartups.empty()) {
      cell = Cell(Summarize(t.startups).median / Summarize(t.baselineStartups).median, 2);
    }
    ratio += " | " + cell + " | ";
  }
  std::printf("%s | <= 1.25 |\n", ratio.c_str());
  constexpr std::array<double (*)(const Sample&), kTimetable.size()> pickers{
      FromMap<0>, FromMap<1>, FromMap<2>, FromMap<3>, FromMap<4>};
  for (size_t i = 0; i < kTimetable.size(); ++i) {
    PrintRow(targets, std::string("lateness of ") + kTimetable[i].label + " (ms)",
             i == 0 ? "written just before the map" : "median <= 5 native, <= 20 Wine", 1,
             Each(pickers[i]));
  }
  PrintRow(targets, "shortest gap between timed commands minus its interval (ms; min and max)",
           ">= 0: never early", 1, Each([](const Sample& s) { return s.shortestGapMs; }), true);
  PrintRow(targets, "lateness of the interface's update prompt, mapped at T + 400 (ms)",
           "the read's, and making the window", 1,
           Each([](const Sample& s) { return s.promptFromMapMs; }));
  PrintRow(targets, "peak resident memory (MB)", "native <= 12", 1,
           Each([](const Sample& s) { return s.peakRssMb; }));
  PrintRow(targets, "CPU time in the idle period after detection (ms)", "about 0", 2,
           Each([](const Sample& s) { return s.idleCpuMs; }));

  if (!o.sizes.empty()) {
    std::printf("\n| file | bytes | target |\n|---|---:|---|\n");
    for (const auto& [label, path] : o.sizes) {
      struct stat st {};
      if (stat(path.c_str(), &st) != 0) Fail("cannot read the size of " + path);
      std::printf("| %s | %lld | %s |\n", label.c_str(), static_cast<long long>(st.st_size),
                  label.find("i686") != std::string::npos ? "<= 250 KB (256000)" : "");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const Options o = Parse(argc, argv);
  signal(SIGPIPE, SIG_IGN);
  MapWatch watch;
  std::vector<Target> targets;
  struct Plan {
    std::string name, dir;
    std::vector<std::string> argv, baseline;
  };
  std::vector<Plan> plans;
  if (!o.nativeDir.empty()) {
    plans.push_back({"native", o.nativeDir, {o.nativeDir + "/start"}, {}});
    if (!o.nativeBaseline.empty()) plans.back().baseline = {o.nativeBaseline};
  }
  if (!o.wineDir.empty()) {
    plans.push_back({"Wine", o.wineDir, {o.wineLoader, "start.exe"}, {}});
    if (!o.wineBaseline.empty()) plans.back().baseline = {o.wineLoader, o.wineBaseline};
  }
  if (plans.empty()) Fail("nothing to measure: give --native, --wine or both");

  for (const Plan& plan : plans) {
    Target target{plan.name, {}, {}, {}};
    for (int rep = 0; rep <= o.startups; ++rep) {
      const bool full = rep <= o.reps;
      const char* kind = rep == 0 ? " (warm-up)" : full ? "" : " (start-up only)";
      std::string startups;
      if (!plan.baseline.empty()) {
        const double startup = BaselineStartup(watch, plan.dir, plan.baseline, plan.name);
        if (rep > 0) target.baselineStartups.push_back(startup);
        startups = "baseline " + Cell(startup, 1) + " ms, ";
      }
      const Sample s = RunOnce(o, watch, plan.dir, plan.argv, plan.name, full);
      std::fprintf(stderr, "startbench: %s run %d of %d%s: %sprogram %.1f ms\n", plan.name.c_str(),
                   rep, o.startups, kind, startups.c_str(), s.startupMs);
      if (rep == 0) continue;
      target.startups.push_back(s.startupMs);
      if (full) target.samples.push_back(s);
    }
    targets.push_back(std::move(target));
  }
  PrintTables(o, targets);
  return 0;
}
