// The platform layer on Windows: each method calls the kernel32 or shell32
// function it is named after. This header includes no Windows header.
#pragma once

#include <functional>
#include <memory>

#include "platform/platform.h"

class TraceWriter;
class Win32Ports;

// The trace's writer for the value of START_TRACE: nothing when it is unset
// or empty, the debugger's output (OutputDebugStringA) for "1", else the file
// it names (relative to the current directory), opened now and appended to,
// with CR LF line ends. A file that cannot be opened gives no trace.
std::unique_ptr<TraceWriter> OpenWin32Trace(const char* setting);

class Win32Platform : public Platform {
 public:
  // `ownerWindow` gives the window (an HWND, or nullptr) that owns whatever
  // the shell shows while opening a document; it is asked at each call,
  // since the start window exists only once the main loop runs.
  explicit Win32Platform(std::function<void*()> ownerWindow);
  ~Win32Platform() override;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                       const std::string& def, const std::string& file) override;
  // `file`, a bare name in the Windows directory; asked by reading the key
  // with two defaults that no value can both equal.
  std::optional<std::string> ProfileSource(const std::string& section, const std::string& key,
                                           const std::string& file) override;
  std::uint32_t GetSystemDefaultLCID() override;
  std::string GetModuleFileNameA() override;
  void SetCurrentDirectoryA(const std::string& dir) override;
  // WinExec's failure codes are error codes too: they become the last
  // error.
  LaunchResult WinExec(const std::string& commandLine, int show) override;
  std::intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                              int show) override;
  // The shell has decided when ShellExecuteA returns: an opening it began
  // has succeeded.
  std::optional<bool> DocumentOutcome(std::intptr_t) override { return true; }
  void Sleep(unsigned ms) override;

  // Serial ports: COM1..COM4 are the ports that Win32Ports chooses
  // (platform/win32_ports.h), opened without holding the calling thread
  // for more than about 100 ms and left as they were found at the close.
  PortHandle CreateFileA(const std::string& portName) override;
  void SetupComm(PortHandle port, std::uint32_t inQueue, std::uint32_t outQueue) override;
  bool GetCommState(PortHandle port, CommState& state) override;
  void SetCommState(PortHandle port, const CommState& state) override;
  void PurgeComm(PortHandle port, unsigned flags) override;
  std::size_t ClearCommError(PortHandle port) override;
  std::size_t ReadFile(PortHandle port, void* buffer, std::size_t count) override;
  std::size_t WriteFile(PortHandle port, const void* data, std::size_t count) override;
  void CloseHandle(PortHandle port) override;
  // The port's name for opening where it is not the one asked for:
  // "\\.\COM12" for "COM2".
  std::string PortDeviceName(const std::string& portName) override;
  // The ports found, those left out and why, and each port's choice.
  std::vector<std::string> PortChoice() override;
  // FormatMessageA's text of GetLastError(), with the number: "Access is
  // denied. (error 5)"; for a port that has none or was given up, why.
  std::string LastErrorText() override;

 private:
  std::function<void*()> ownerWindow_;
  std::unique_ptr<Win32Ports> ports_;
  std::string portError_;  // why the last CreateFileA failed, where the system cannot tell
};
