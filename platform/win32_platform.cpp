#include "platform/win32_platform.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <utility>

#include "platform/trace_text.h"
#include "platform/tracing_platform.h"
#include "platform/win32_ports.h"

namespace {

HANDLE ToHandle(PortHandle port) {
  return reinterpret_cast<HANDLE>(port);
}

// Byte counts cross the interface as size_t and the system as DWORD.
DWORD ToDword(std::size_t count) {
  return static_cast<DWORD>(std::min<std::size_t>(count, MAXDWORD));
}

// Trace lines to a file or the debugger, stamped from the writer's
// creation.
class Win32TraceWriter : public TraceWriter {
 public:
  explicit Win32TraceWriter(HANDLE file) : file_(file) {}
  Win32TraceWriter(const Win32TraceWriter&) = delete;
  Win32TraceWriter& operator=(const Win32TraceWriter&) = delete;
  ~Win32TraceWriter() override {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
  }
  std::uint64_t Milliseconds() override { return ::GetTickCount() - start_; }
  void WriteLine(std::string_view line) override {
    const DWORD error = ::GetLastError();
    std::string text(line);
    text += "\r\n";
    if (file_ == INVALID_HANDLE_VALUE) {
      ::OutputDebugStringA(text.c_str());
    } else {
      DWORD written = 0;
      ::WriteFile(file_, text.data(), ToDword(text.size()), &written, nullptr);
    }
    ::SetLastError(error);
  }

 private:
  HANDLE file_;
  DWORD start_ = ::GetTickCount();
};

}  // namespace

std::unique_ptr<TraceWriter> OpenWin32Trace(const char* setting) {
  if (setting == nullptr || *setting == '\0') return nullptr;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (std::string_view(setting) != "1") {
    file = ::CreateFileA(setting, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
  }
  return std::make_unique<Win32TraceWriter>(file);
}

static_assert(kInvalidPort == -1, "kInvalidPort must have all bits set like INVALID_HANDLE_VALUE");

Win32Platform::Win32Platform(std::function<void*()> ownerWindow)
    : ownerWindow_(std::move(ownerWindow)), ports_(std::make_unique<Win32Ports>()) {}

Win32Platform::~Win32Platform() = default;

std::string Win32Platform::GetPrivateProfileStringA(const std::string& section,
                                                    const std::string& key, const std::string& def,
                                                    const std::string& file) {
  std::array<char, 2048> buffer{};
  const DWORD length = ::GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(),
                                                  buffer.data(), buffer.size(), file.c_str());
  return std::string(buffer.data(), std::min<std::size_t>(length, buffer.size() - 1));
}

std::optional<std::string> Win32Platform::ProfileSource(const std::string& section,
                                                        const std::string& key,
                                                        const std::string& file) {
  for (const char* mark : {"\x01", "\x02"}) {
    if (GetPrivateProfileStringA(section, key, mark, file) == mark) continue;
    if (file.find_first_of("\\/") != std::string::npos) return file;
    std::array<char, MAX_PATH> windows{};
    const UINT length = ::GetWindowsDirectoryA(windows.data(), windows.size());
    if (length == 0 || length >= windows.size()) return file;
    return std::string(windows.data(), length) + "\\" + file;
  }
  return std::nullopt;
}

std::uint32_t Win32Platform::GetSystemDefaultLCID() {
  return ::GetSystemDefaultLCID();
}

std::string Win32Platform::GetModuleFileNameA() {
  std::array<char, MAX_PATH> buffer{};
  const DWORD length = ::GetModuleFileNameA(nullptr, buffer.data(), buffer.size());
  // A path that filled the buffer was cut short: its directory would be
  // another one, so the path counts as unknown.
  if (length == 0 || length >= buffer.size()) return {};
  return std::string(buffer.data(), length);
}

void Win32Platform::SetCurrentDirectoryA(const std::string& dir) {
  ::SetCurrentDirectoryA(dir.c_str());
}

LaunchResult Win32Platform::WinExec(const std::string& commandLine, int show) {
  portError_.clear();
  const UINT result = ::WinExec(commandLine.c_str(), static_cast<UINT>(show));
  if (result > 31) return LaunchResult::Started;
  ::SetLastError(result == 0 ? ERROR_NOT_ENOUGH_MEMORY : result);
  return result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND ? LaunchResult::NotFound
                                                                          : LaunchResult::Failed;
}

std::intptr_t Win32Platform::ShellExecuteA(const std::string& file, const std::string& directory,
                                           int show) {
  // shell32 is loaded here, when a document is first opened, and not with
  // the program: loading it and the libraries it brings along (shlwapi,
  // shcore) would delay the start window, by some 10 ms under Wine. It is
  // a known system library, so its name cannot lead to another file.
  static const auto shellExecute = [] {
    HMODULE shell32 = LoadLibraryW(L"shell32.dll");
    FARPROC found = shell32 == nullptr ? nullptr : GetProcAddress(shell32, "ShellExecuteA");
    // Through the generic function type, which converts to any other.
    return reinterpret_cast<decltype(&::ShellExecuteA)>(reinterpret_cast<void (*)()>(found));
  }();
  if (shellExecute == nullptr) return SE_ERR_DLLNOTFOUND;
  HWND owner = ownerWindow_ ? static_cast<HWND>(ownerWindow_()) : nullptr;
  HINSTANCE result = shellExecute(owner, nullptr, file.c_str(), nullptr,
                                  directory.empty() ? nullptr : directory.c_str(), show);
  return reinterpret_cast<std::intptr_t>(result);
}

void Win32Platform::Sleep(unsigned ms) {
  ::Sleep(ms);
}

PortHandle Win32Platform::CreateFileA(const std::string& portName) {
  return ports_->Open(portName, portError_);
}

void Win32Platform::SetupComm(PortHandle port, std::uint32_t inQueue, std::uint32_t outQueue) {
  ::SetupComm(ToHandle(port), inQueue, outQueue);
}

bool Win32Platform::GetCommState(PortHandle port, CommState& state) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!::GetCommState(ToHandle(port), &dcb)) return false;
  state.BaudRate = dcb.BaudRate;
  state.ByteSize = dcb.ByteSize;
  state.Parity = dcb.Parity;
  state.StopBits = dcb.StopBits;
  return true;
}

void Win32Platform::SetCommState(PortHandle port, const CommState& state) {
  // Every field but the four line settings keeps what the system reports.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ::GetCommState(ToHandle(port), &dcb);
  dcb.BaudRate = state.BaudRate;
  dcb.ByteSize = state.ByteSize;
  dcb.Parity = state.Parity;
  dcb.StopBits = state.StopBits;
  ::SetCommState(ToHandle(port), &dcb);
}

void Win32Platform::PurgeComm(PortHandle port, unsigned flags) {
  ::PurgeComm(ToHandle(port), flags);
}

std::size_t Win32Platform::ClearCommError(PortHandle port) {
  DWORD errors = 0;
  COMSTAT status{};
  if (!::ClearCommError(ToHandle(port), &errors, &status)) return 0;
  return status.cbInQue;
}

std::size_t Win32Platform::ReadFile(PortHandle port, void* buffer, std::size_t count) {
  DWORD read = 0;
  ::ReadFile(ToHandle(port), buffer, ToDword(count), &read, nullptr);
  return read;
}

std::size_t Win32Platform::WriteFile(PortHandle port, const void* data, std::size_t count) {
  DWORD written = 0;
  ::WriteFile(ToHandle(port), data, ToDword(count), &written, nullptr);
  return written;
}

void Win32Platform::CloseHandle(PortHandle port) {
  ports_->Close(port);
}

std::string Win32Platform::PortDeviceName(const std::string& portName) {
  return ports_->OpenName(portName);
}

std::vector<std::string> Win32Platform::PortChoice() {
  return ports_->Choice();
}

std::string Win32Platform::LastErrorText() {
  if (!portError_.empty()) return portError_;
  const DWORD error = ::GetLastError();
  if (error == 0) return {};
  std::array<char, 512> buffer{};
  DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, buffer.data(), buffer.size(), nullptr);
  while (length > 0 &&
         (buffer[length - 1] == '\r' || buffer[length - 1] == '\n' || buffer[length - 1] == ' ')) {
    --length;
  }
  std::string text(buffer.data(), length);
  return (text.empty() ? "" : text + " ") + "(error " + TraceDecimal(error) + ")";
}
