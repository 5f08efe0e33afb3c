// Process-wide serial state and the minimum firmware versions.
#pragma once

#include <array>
#include <cstdint>

#include "platform/platform.h"

enum class PortMark : std::uint8_t { None = 0, Interface = 1, XrayUnit = 2 };

inline constexpr int kPortCount = 4;

// Open serial ports by port index 0..3 ("COM1".."COM4"); kInvalidPort where
// a port is closed or could not be opened.
extern std::array<PortHandle, kPortCount> PortHandles;
// What answered on each port; never reset within a run.
extern std::array<PortMark, kPortCount> PortMarks;
// Minimum firmware versions from start.ins.
extern double RequiredVXVersion;
extern double RequiredRTGVersion;

// Closes every open port and marks all four closed. Closing twice is harmless.
void ClosePorts();

// Puts the serial state back to how it is at program start (tests run many
// programs in one process).
void ResetGlobals();
