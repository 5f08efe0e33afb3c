// The bank of the four serial ports COM1..COM4 (handles in PortHandles).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "app/global.h"

struct ReplyFormat;

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
// What each port received in one stage, by port index: nothing where the
// port was closed, skipped or had received no byte.
using PortReplies = std::array<std::optional<std::string>, kPortCount>;

// Reads what every open port has received (only ports whose mark is None
// when `unmarkedOnly`), each as ReadAvailable does, and clears the queues of
// every port that had received something.
PortReplies ReadReplies(bool unmarkedOnly);

// The text port `index` has received so far, at most 200 bytes and cut at
// the first zero byte; nothing when no byte was waiting. Never waits. Only
// for open ports.
std::optional<std::string> ReadAvailable(int index);

// Traces a stage's evaluation: each reply's DescribeReply, whether its port
// got `mark`, and whether the stage found a device out of date.
void TraceEvaluation(const PortReplies& replies, const ReplyFormat& format, PortMark mark,
                     double minimum, bool outdated);
