// The thin layer over every operating-system operation the program uses.
//
// The core calls these and nothing else of the system. Each method keeps the
// contract of the Win32 function it is named after, narrowed to what the
// program needs. Text crossing this interface is 8-bit, code page 1252; paths
// use "\" as separator (a POSIX implementation maps them at its boundary).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// An open serial port, or kInvalidPort.
using PortHandle = std::intptr_t;
inline constexpr PortHandle kInvalidPort = -1;

// Show modes for WinExecA and ShellExecuteA.
inline constexpr int kShowMaximized = 3;
inline constexpr int kShowDefault = 10;

// PurgeComm flags.
inline constexpr unsigned kPurgeTxAbort = 0x1;
inline constexpr unsigned kPurgeRxAbort = 0x2;
inline constexpr unsigned kPurgeTxClear = 0x4;
inline constexpr unsigned kPurgeRxClear = 0x8;

// What WinExec made of starting a program.
enum class LaunchResult : std::uint8_t { Started, NotFound, Failed };

// Line settings of a serial port that the program sets; every other setting
// of the port keeps what the system reports.
inline constexpr std::uint8_t kNoParity = 0;
inline constexpr std::uint8_t kOneStopBit = 0;
struct CommState {
  std::uint32_t BaudRate = 0;
  std::uint8_t ByteSize = 0;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Profile files. Reads `key` of `section` from the INI file `file` and
  // returns at most 2047 characters of its value. Section and key match
  // without regard to case; blanks around the value and enclosing quotation
  // marks are dropped; the first matching key counts. A missing file, section
  // or key gives `def`; a present key with an empty value gives "". A `file`
  // without a directory is looked up where the system keeps such settings.
  virtual std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                               const std::string& def, const std::string& file) = 0;
  // Where GetPrivateProfileStringA with the same arguments takes the value
  // from: the file read, as the system names it; nothing when it gives the
  // default.
  virtual std::optional<std::string> ProfileSource(const std::string& section,
                                                   const std::string& key,
                                                   const std::string& file) = 0;

  // The system's default locale identifier (language in the low 16 bits).
  virtual std::uint32_t GetSystemDefaultLCID() = 0;

  // Full path of the running program's own file, "\"-separated; empty when
  // it cannot be read in full (never a shortened or guessed path).
  virtual std::string GetModuleFileNameA() = 0;

  // Makes `dir` the process's current directory; failure has no effect.
  virtual void SetCurrentDirectoryA(const std::string& dir) = 0;

  // Starts the program `commandLine` (a whole path, no arguments) without
  // waiting for it. Tells whether it was started, not found, or could not be
  // started for another reason (LastErrorText says which).
  virtual LaunchResult WinExec(const std::string& commandLine, int show) = 0;

  // Opens the document `file` with its registered viewer, in working
  // directory `directory`. Returns a value above 32 on success, 32 or less
  // on failure (no viewer, file missing, viewer failed).
  virtual std::intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                                      int show) = 0;
  // The outcome of an opening that ShellExecuteA reported as begun (`result`
  // above 32): nothing while the viewer has yet to decide, then true when it
  // opened the document, false when it failed. Asked until it gives one.
  virtual std::optional<bool> DocumentOutcome(std::intptr_t result) = 0;

  // Blocks the calling thread for `ms` milliseconds.
  virtual void Sleep(unsigned ms) = 0;

  // Serial ports. CreateFileA opens "COM1".."COM4" exclusively for reading
  // and writing, or fails with kInvalidPort; it never holds the caller for
  // more than about 100 ms, also for a port that is slow to open. A write
  // never blocks for long, even when flow control holds the line back; a
  // close puts back the settings the port had when it was opened.
  virtual PortHandle CreateFileA(const std::string& portName) = 0;
  virtual void SetupComm(PortHandle port, std::uint32_t inQueue, std::uint32_t outQueue) = 0;
  virtual bool GetCommState(PortHandle port, CommState& state) = 0;
  virtual void SetCommState(PortHandle port, const CommState& state) = 0;
  virtual void PurgeComm(PortHandle port, unsigned flags) = 0;
  // Clears any line error and returns how many received bytes are waiting
  // (0 where the system cannot tell).
  virtual std::size_t ClearCommError(PortHandle port) = 0;
  // Reads at most `count` bytes without waiting; returns how many were read.
  virtual std::size_t ReadFile(PortHandle port, void* buffer, std::size_t count) = 0;
  // Writes `count` bytes; returns how many were written.
  virtual std::size_t WriteFile(PortHandle port, const void* data, std::size_t count) = 0;
  virtual void CloseHandle(PortHandle port) = 0;
  // The device that CreateFileA opens for `portName`, as the system names
  // it; empty where the name is the device.
  virtual std::string PortDeviceName(const std::string& portName) = 0;
  // How the platform chose the device of each of COM1..COM4, as events for
  // the trace (the ports found, those left out and why, each port's
  // device); asked once, before the first port is opened. Empty where there
  // is nothing to tell.
  virtual std::vector<std::string> PortChoice() { return {}; }

  // The system's text for the error of the last call on this thread that
  // failed (CreateFileA, WinExec); empty when it has none.
  virtual std::string LastErrorText() = 0;

  // The trace of a run (platform/tracing_platform.h): whether one is being
  // written, and one event for it. The core builds an event's text only
  // while Tracing() holds. A platform of its own writes none.
  virtual bool Tracing() const { return false; }
  virtual void Trace(std::string_view /*event*/) {}
};
