// The bank of the four serial ports COM1..COM4 (handles in PortHandles).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

inline constexpr std::size_t kReadMax = 200;

// Opens all four ports at `baud`, 8 data bits, no parity, one stop bit, and
// purges them. A port that cannot be opened stays closed. Does not close
// ports that are already open; the caller closes first.
void OpenPorts(std::uint32_t baud);
// Writes `count` bytes to every open port.
void SendToAll(const char* bytes, std::size_t count);
// Writes `count` bytes to every open port whose mark is None.
void SendToUnmarked(const char* bytes, std::size_t count);
// Purges every open port with all four purge flags.
void PurgeAll();
// The text port `index` has received so far, at most 200 bytes and cut at
// the first zero byte; nothing when no byte was waiting. Never waits. Only
// for open ports.
std::optional<std::string> ReadAvailable(int index);
