// The devices that devsim plays, without the terminal: what a Tarvex
// interface or an X-ray unit does with the bytes it receives, at the line
// speed they arrive at, in its good and bad modes. Bytes in, replies out;
// tools/devsim.cpp serves a device on a pseudo-terminal.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace devsim {

enum class DeviceKind { kInterface, kXray };

// How the device behaves (`devsim --help` tells each mode's effect).
enum class DeviceMode { kNormal, kSilent, kSlow, kNoisy, kFlood250, kZero, kHangup, kEndless };

struct DeviceConfig {
  DeviceKind kind = DeviceKind::kInterface;
  std::string version;    // firmware version
  std::string ident;      // identification text
  std::string delimiter;  // end of the version field
  std::string rest = "2010-05-01";
  std::optional<std::string> reply;  // the whole identification reply instead
  bool baudCheck = false;            // ignore commands at a speed not the device's
  DeviceMode mode = DeviceMode::kNormal;
  long modeArg = 0;  // kSlow: the delay in milliseconds; kHangup: the command that hangs up
};

// The configuration of a device of `kind` with that kind's defaults.
DeviceConfig DefaultConfig(DeviceKind kind);

// What the device does with one command.
struct Response {
  bool ignored = false;  // dropped by the speed check
  bool hangUp = false;   // the terminal is closed instead of answering
  std::optional<std::string> reply = std::nullopt;
  long delayMs = 0;     // how late the reply goes out
  bool stream = false;  // after the reply, kStreamChunk goes out for as long as it is taken
  bool operator==(const Response&) const = default;
};

// What an endless device sends over and over after its identification.
inline constexpr std::string_view kStreamChunk =
    "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF012345678\r\n";

class Device {
 public:
  explicit Device(DeviceConfig config);

  // Takes one received byte; returns the command it completes: the bytes up
  // to and with a CR, or 256 bytes without one.
  std::optional<std::string> Receive(char byte);
  // Forgets a command received in part (its terminal was closed).
  void DropPartial() { line_.clear(); }

  // Handles the command `line` (as Receive gave it), which arrived at line
  // speed `baud` (-1 when unknown).
  Response Handle(const std::string& line, long baud);

 private:
  std::optional<std::string> Answer(const std::string& command) const;
  bool IsQuery(const std::string& command) const;
  long ExpectedBaud() const;
  std::string Identification() const;

  DeviceConfig config_;
  std::string line_;
  long commands_ = 0;
};

// Writes bytes as text: CR, LF, TAB and "\" as \r \n \t \\, other bytes
// outside printable ASCII as \xHH.
std::string Escape(std::string_view bytes);
// Reverses Escape, and takes \0 for a zero byte; an unknown or cut-off
// escape stands for itself.
std::string Unescape(std::string_view text);

}  // namespace devsim
