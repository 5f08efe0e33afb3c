// The entry of the Linux program.
#include <FL/Fl.H>
#include <FL/x.H>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>

#include "app/start.h"
#include "platform/posix_platform.h"
#include "platform/tracing_platform.h"
#include "toolkit/fltk_host.h"

namespace {

constexpr const char* kUsage =
    "usage: start [--help | --version]\n"
    "The start menu of the orbilex CD: installs or updates orbilex, opens its\n"
    "manual, runs the firmware updaters, and offers an update when a device on\n"
    "COM1..COM4 runs out-of-date firmware. Other arguments are ignored.\n"
    "\n"
    "Reads start.ins beside the program, orbilex.ini from $XDG_CONFIG_HOME\n"
    "(default ~/.config) or /etc, and the language from LC_ALL, LC_MESSAGES or\n"
    "LANG. The ports COM1..COM4 are /dev/ttyS0..3, or the devices named by\n"
    "ORBILEX_COM1..ORBILEX_COM4.\n"
    "\n"
    "START_TRACE=1 writes a trace of what the program does (settings read,\n"
    "ports, bytes sent and received, decisions, programs started) to standard\n"
    "error; START_TRACE=FILE appends it to FILE. Failures that the windows do\n"
    "not show are told on standard error, starting with \"start: \".\n";

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

}  // namespace

int main(int argc, char** argv) {
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
  }
  // Opened first, so that a relative file name is taken from where the
  // program was started, and the times count from the start.
  const std::unique_ptr<TraceWriter> trace = OpenPosixTrace(std::getenv("START_TRACE"));
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    const char* name = std::getenv("DISPLAY");
    std::fprintf(stderr, "start: cannot open the display %s\n",
                 name != nullptr && *name != '\0' ? name : "(DISPLAY is not set)");
    return 1;
  }
  fl_open_display(display);
  FltkHost::RegisterFonts();

  PosixPlatformWithPortNotices platform;
  std::optional<TracingPlatform> traced;
  if (trace) traced.emplace(platform, *trace);
  FltkHost host;
  StartProgram program(traced ? static_cast<Platform&>(*traced) : platform, host);
  return program.Run();
}
