// winstub: stands in, under Wine, for a Windows program that the start menu
// starts (an installer, an updater or a PDF viewer).
//
// When START_STUB_LOG names a file, appends one line to it:
//   <argv[0]> TAB <current directory> TAB <number of further arguments>
// then, when START_STUB_PORT names a serial port (such as COM2), a field
//   TAB port-open-ok | port-open-failed
// telling whether the port could be opened without sharing at that moment
// (as a firmware updater would open it), and last the further arguments,
// each after a TAB. Then exits 0.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

bool CanOpenPort(const std::string& name) {
  const std::string device = "\\\\.\\" + name;
  HANDLE port = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    return false;
  }
  CloseHandle(port);
  return true;
}

std::string CurrentDirectory() {
  char dir[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof dir, dir);
  return length > 0 && length < sizeof dir ? std::string(dir, length) : std::string("?");
}

}  // namespace

int main(int argc, char** argv) {
  const char* logPath = std::getenv("START_STUB_LOG");
  if (logPath == nullptr || *logPath == '\0') {
    return 0;
  }
  std::string line = std::string(argc > 0 ? argv[0] : "") + '\t' + CurrentDirectory() + '\t' +
                     std::to_string(argc > 0 ? argc - 1 : 0);
  const char* port = std::getenv("START_STUB_PORT");
  if (port != nullptr && *port != '\0') {
    line += CanOpenPort(port) ? "\tport-open-ok" : "\tport-open-failed";
  }
  for (int i = 1; i < argc; ++i) {
    line += '\t';
    line += argv[i];
  }
  line += '\n';
  // One write in append mode, so lines of programs started together never mix.
  HANDLE log = CreateFileA(logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (log == INVALID_HANDLE_VALUE) {
    return 1;
  }
  DWORD written = 0;
  WriteFile(log, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(log);
  return 0;
}
