// stubprogram: stands in for a program that the start menu starts.
//
// When START_STUB_LOG names a file, appends one line to it:
//   <argv[0]> TAB <current directory> TAB <number of further arguments>
// and, when START_STUB_HOLD_PORT names a serial device, a fourth field
//   TAB port-open-ok | port-open-failed
// telling whether the device could be opened exclusively at that moment (as
// a firmware updater would open it). Then exits 0.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

// Opens `path` the way a serial program claims a port: non-blocking, not as
// the controlling terminal, locked against programs that use advisory locks
// (flock) and exclusive for further opens (TIOCEXCL). Releases it again
// before returning. The open fails while another program holds the port
// exclusively (unless the caller may override that, as root may); the lock
// fails while another program holds the lock.
bool CanOpenExclusively(const char* path) {
  const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return false;
  }
  bool ok = flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (ok) {
    ok = ioctl(fd, TIOCEXCL) == 0;
    // The exclusive flag outlives this descriptor while the other side of a
    // pseudo-terminal stays open; clear it so the next program can open it.
    ioctl(fd, TIOCNXCL);
  }
  close(fd);
  return ok;
}

std::string CurrentDirectory() {
  std::string dir(4096, '\0');
  if (getcwd(dir.data(), dir.size()) == nullptr) {
    return "?";
  }
  dir.resize(dir.find('\0'));
  return dir;
}

}  // namespace

int main(int argc, char** argv) {
  const char* logPath = std::getenv("START_STUB_LOG");
  if (logPath == nullptr || *logPath == '\0') {
    return 0;
  }
  std::string line = std::string(argc > 0 ? argv[0] : "") + '\t' + CurrentDirectory() + '\t' +
                     std::to_string(argc > 0 ? argc - 1 : 0);
  const char* port = std::getenv("START_STUB_HOLD_PORT");
  if (port != nullptr && *port != '\0') {
    line += CanOpenExclusively(port) ? "\tport-open-ok" : "\tport-open-failed";
  }
  line += '\n';
  // One write in append mode, so lines of programs started together never mix.
  const int fd = open(logPath, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd >= 0) {
    ssize_t written;
    do {
      written = write(fd, line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    close(fd);
  }
  return 0;
}
