// A recording stand-in for the operating system, for tests. Every call is
// logged with the virtual time it was made at; files, the locale, the
// program's path, the shell and the devices on the serial ports are set up
// by the test. Sleep moves the virtual clock.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/virtual_clock.h"

struct FakeCall {
  std::uint64_t Time;
  std::string What;  // e.g. "WinExec D:\setup.exe 10", "WriteFile COM1 0iv\r"
};

// A device on a fake port: given the line speed and the bytes just written,
// returns the bytes it answers with (they arrive `ReplyDelay` ms later).
using FakeDevice = std::function<std::string(std::uint32_t baud, const std::string& written)>;

struct FakePort {
  bool Present = false;  // the port exists
  bool Busy = false;     // another program holds it
  FakeDevice Device;     // nothing answers when empty
  std::uint64_t ReplyDelay = 0;
  // What the device received, with the virtual time of each write.
  std::vector<std::pair<std::uint64_t, std::string>> Received;
};

class FakePlatform : public Platform {
 public:
  explicit FakePlatform(VirtualClock& clock) : clock_(clock) {}

  // Set-up. Files are keyed by the path as the program passes it, compared
  // without regard to case; "orbilex.ini" is the bare-named settings file.
  std::map<std::string, std::string> Files;
  std::uint32_t Lcid = 0x0409;
  std::string ModulePath = "D:\\start.exe";
  bool ViewerInstalled = true;
  // When set, the viewer fails this many ms after ShellExecuteA has begun
  // an opening; until then DocumentOutcome has no answer.
  std::optional<std::uint64_t> ViewerFailsAfter;
  std::map<std::string, FakePort> Ports;      // "COM1".."COM4"
  std::vector<std::string> PortChoiceEvents;  // what PortChoice tells

  // What happened.
  std::vector<FakeCall> Calls;
  std::string CurrentDirectory = "C:\\";
  // The calls whose text starts with `prefix`.
  std::vector<FakeCall> CallsStartingWith(const std::string& prefix) const;
  // Index in Calls of the first call starting with `prefix`, or -1.
  int IndexOf(const std::string& prefix) const;
  // Number of ports open now.
  int OpenPortCount() const;

  std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                       const std::string& def, const std::string& file) override;
  // The key of Files that holds the value.
  std::optional<std::string> ProfileSource(const std::string& section, const std::string& key,
                                           const std::string& file) override;
  std::uint32_t GetSystemDefaultLCID() override;
  std::string GetModuleFileNameA() override;
  void SetCurrentDirectoryA(const std::string& dir) override;
  // Always starts.
  LaunchResult WinExec(const std::string& commandLine, int show) override;
  std::intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                              int show) override;
  std::optional<bool> DocumentOutcome(std::intptr_t result) override;
  void Sleep(unsigned ms) override;
  PortHandle CreateFileA(const std::string& portName) override;
  void SetupComm(PortHandle port, std::uint32_t inQueue, std::uint32_t outQueue) override;
  bool GetCommState(PortHandle port, CommState& state) override;
  void SetCommState(PortHandle port, const CommState& state) override;
  void PurgeComm(PortHandle port, unsigned flags) override;
  std::size_t ClearCommError(PortHandle port) override;
  std::size_t ReadFile(PortHandle port, void* buffer, std::size_t count) override;
  std::size_t WriteFile(PortHandle port, const void* data, std::size_t count) override;
  void CloseHandle(PortHandle port) override;
  // "fake COM1" for "COM1".
  std::string PortDeviceName(const std::string& portName) override;
  std::vector<std::string> PortChoice() override { return PortChoiceEvents; }
  // Why the last CreateFileA failed: "absent" or "busy".
  std::string LastErrorText() override;

 private:
  struct OpenPort {
    std::string Name;
    CommState State;
    std::string Input;                                           // arrived, unread bytes
    std::vector<std::pair<std::uint64_t, std::string>> Pending;  // arrival time, bytes
  };
  void Log(std::string what);
  OpenPort* Find(PortHandle port);
  void Deliver(OpenPort& port);

  VirtualClock& clock_;
  std::map<std::intptr_t, std::uint64_t> openings_;  // result, time begun
  std::map<PortHandle, OpenPort> open_;
  PortHandle next_ = 100;
  std::string lastError_;
};
