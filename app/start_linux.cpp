// The entry of the Linux program.
// The windows come before the X11 headers, which define None as a macro.
#include "app/global.h"
#include "app/start.h"
#include "platform/posix_platform.h"
#include "platform/tracing_platform.h"
#include "toolkit/fltk_host.h"
#include "toolkit/forms.h"
#include "ui/startf.h"
#include "ui/updatef.h"

#include <FL/Fl.H>
#include <FL/x.H>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace {

constexpr const char* kUsage =
    "usage: start [--help | --version | --ports]\n"
    "The start menu of the orbilex CD: installs or updates orbilex, opens its\n"
    "manual, runs the firmware updaters, and offers an update when a device on\n"
    "COM1..COM4 runs out-of-date firmware. Other arguments are ignored.\n"
    "\n"
    "Reads start.ins beside the program, orbilex.ini from $XDG_CONFIG_HOME\n"
    "(default ~/.config) or /etc, and the language from LC_ALL, LC_MESSAGES or\n"
    "LANG. The ports COM1..COM4 are the first four serial ports present, the\n"
    "built-in ones (/dev/ttyS*) first, then USB adapters (/dev/ttyUSB*,\n"
    "/dev/ttyACM*); ORBILEX_COM1..ORBILEX_COM4 name another device for theirs.\n"
    "\n"
    "START_TRACE=1 writes a trace of what the program does (settings read,\n"
    "ports, bytes sent and received, decisions, programs started) to standard\n"
    "error; START_TRACE=FILE appends it to FILE. Failures that the windows do\n"
    "not show are told on standard error, starting with \"start: \".\n"
    "\n"
    "  --ports    list the devices of COM1..COM4 and whether each can be opened\n"
    "  --version  print the version\n"
    "  --help     print this text\n";

// Opens descriptors 0 to 2 on /dev/null where the caller left them closed,
// so that no serial port takes their numbers: text meant for standard
// output or error (the X library's messages, say) must never reach a device.
void OpenStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is taken, which is `fd`.
    if (open("/dev/null", O_RDWR) < 0) return;
  }
}

// X protocol errors never end the program: a request about a window that
// the window manager has just minimised or unmapped fails, and the program
// goes on without it.
int OnXError(Display*, XErrorEvent*) {
  return 0;
}

// Without its X server the program cannot go on: the ports open (a prompt
// keeps them open) are put back and released, one line, and a non-zero
// status. Xlib ends the program when this returns.
int OnXConnectionLost(Display*) {
  ClosePorts();
  std::fputs("start: the connection to the X server was lost\n", stderr);
  std::_Exit(1);
}

// The signal that asked the program to end, or 0; the handler also writes a
// byte to the pipe, which wakes the main loop.
volatile std::sig_atomic_t endSignal = 0;
int endPipe[2] = {-1, -1};
// How long the program may take to end normally after such a signal: then
// SIGALRM ends it.
constexpr unsigned kEndBound = 5;

void OnEndSignal(int number) {
  const int saved = errno;
  endSignal = number;
  const char byte = 0;
  if (write(endPipe[1], &byte, 1) < 0) errno = saved;
  alarm(kEndBound);
  errno = saved;
}

// The main loop's side of the pipe: the program ends as when its window
// closes, and the ports are put back and released on the way.
void OnEndRequested(int fd, void*) {
  char byte = 0;
  while (read(fd, &byte, 1) > 0) {
  }
  if (Application != nullptr) Application->Terminate();
}

// SIGTERM, SIGHUP and SIGINT end the program the normal way; a second one
// ends it at once.
void HandleEndSignals() {
  if (pipe2(endPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  Fl::add_fd(endPipe[0], FL_READ, OnEndRequested);
  struct sigaction action = {};
  action.sa_handler = OnEndSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  for (const int number : {SIGTERM, SIGHUP, SIGINT}) sigaction(number, &action, nullptr);
}

// Prints the device of each port and whether it can be opened, one line a
// port: "COM1: /dev/ttyS0: can be opened", "COM2: none".
void ListPorts() {
  PosixPlatform platform;
  for (std::size_t i = 0; i < platform.Ports().size(); ++i) {
    const PosixPort& port = platform.Ports()[i];
    const std::string variable = "ORBILEX_COM" + std::to_string(i + 1);
    std::string line = "COM" + std::to_string(i + 1) + ": ";
    if (port.Device.empty()) {
      line += port.Configured ? "none (" + variable + " is empty)" : "none";
    } else {
      line += port.Device + (port.Configured ? " (" + variable + "): " : ": ") +
              PortCheckText(port.Device, platform.CheckPort(static_cast<int>(i)));
    }
    std::puts(line.c_str());
  }
}

// The program; the ports are closed when this returns.
int Main(int argc, char** argv) {
  OpenStandardDescriptors();
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("start " START_VERSION);
      return 0;
    }
    if (std::strcmp(argv[i], "--ports") == 0) {
      ListPorts();
      return 0;
    }
  }
  // Opened first, so that a relative file name is taken from where the
  // program was started, and the times count from the start.
  const std::unique_ptr<TraceWriter> trace = OpenPosixTrace(std::getenv("START_TRACE"));
  FltkHost host;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr, "start: cannot open the display %s\n",
                 name != nullptr && *name != '\0' ? name : "(DISPLAY is not set)");
    return 1;
  }
  fl_open_display(display);
  // After FLTK's own, which end the program on any error.
  XSetErrorHandler(OnXError);
  XSetIOErrorHandler(OnXConnectionLost);

  HandleEndSignals();

  PosixPlatformWithPortNotices platform;
  std::optional<TracingPlatform> traced;
  if (trace) {
    traced.emplace(platform, *trace);
    host.SetTrace([&traced](std::string_view event) { traced->Trace(event); });
  }
  StartProgram program(traced ? static_cast<Platform&>(*traced) : platform, host);
  // Every text of the three windows in both languages, for the backend to
  // fit its fonts to; the start window sets its language again as it shows.
  for (const bool english : {false, true}) {
    Form1->English = english;
    Form1->ApplyLanguage();
    for (const TWindow* window :
         std::initializer_list<const TWindow*>{Form1, VXUpdateForm, RTGUpdateForm}) {
      host.FitTexts(*window);
    }
  }
  return program.Run();
}

}  // namespace

int main(int argc, char** argv) {
  const int status = Main(argc, argv);
  // Ended by a signal: as the signal would have ended it.
  if (endSignal != 0) {
    signal(endSignal, SIG_DFL);
    raise(endSignal);
  }
  return status;
}
