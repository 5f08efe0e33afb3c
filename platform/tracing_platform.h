// The trace of a run: a platform that forwards every call to another one and
// writes a line for each that shows what the program did (profile values
// read, ports opened, bytes written and read, programs started, documents
// opened), and the core's own events (Trace). The program's entries put it
// in front of the system's platform only when START_TRACE is set; without it
// nothing of this runs.
//
// Each line is TraceLine's text (platform/trace_text.h); README.md lists the
// events.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

// Where the lines go, and the clock that stamps them.
class TraceWriter {
 public:
  virtual ~TraceWriter() = default;
  // Milliseconds since the program started.
  virtual std::uint64_t Milliseconds() = 0;
  // Writes one line; the writer adds the line end.
  virtual void WriteLine(std::string_view line) = 0;
};

class TracingPlatform : public Platform {
 public:
  // Writes the first line, "trace begins".
  TracingPlatform(Platform& inner, TraceWriter& writer);

  std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                       const std::string& def, const std::string& file) override;
  std::optional<std::string> ProfileSource(const std::string& section, const std::string& key,
                                           const std::string& file) override;
  std::uint32_t GetSystemDefaultLCID() override;
  std::string GetModuleFileNameA() override;
  void SetCurrentDirectoryA(const std::string& dir) override;
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
  std::string PortDeviceName(const std::string& portName) override;
  std::vector<std::string> PortChoice() override;
  std::string LastErrorText() override;

  bool Tracing() const override { return true; }
  void Trace(std::string_view event) override;

 private:
  // Traces the parts joined.
  void Event(std::initializer_list<std::string_view> parts);
  // The name of an open port ("COM2"), "?" for another handle.
  std::string_view Port(PortHandle port) const;

  Platform& inner_;
  TraceWriter& writer_;
  std::string directory_;  // as last set; empty while it is the start-up one
  std::vector<std::pair<PortHandle, std::string>> ports_;  // open ports and their names
  bool portChoiceTraced_ = false;
};
