// Recognising a device by its reply and reading its firmware version.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "app/global.h"
#include "detect/portbank.h"

struct ReplyFormat {
  std::string_view Identification;  // searched for anywhere, case-sensitively
  std::string_view EndDelimiter;    // ends the version field that follows "Ver "
  std::string_view Device;          // what answers so, for the trace
};

inline constexpr ReplyFormat kInterfaceReply{"KORVA TARVEX 88B", " /", "interface"};
inline constexpr ReplyFormat kXrayReply{"KORVA x-ray-unit 52-K", "/", "x-ray unit"};

// The version text of a reply: from after the first "Ver " up to the first
// end delimiter, both positions counted as if absent meant position 0.
std::string_view VersionField(std::string_view reply, std::string_view endDelimiter);

// The firmware version of a reply of the given format, or nothing when the
// reply does not carry the identification text.
std::optional<double> ReplyVersion(std::string_view reply, const ReplyFormat& format);

// The trace's account of a reply: "interface, version "1.5" = 1.5, minimum
// 2: out of date" (or "up to date"), or "no interface identification".
std::string DescribeReply(std::string_view reply, const ReplyFormat& format, double minimum);

// Marks in `marks` each port whose reply (in `replies`, by port index)
// carries the identification of `format` with `mark`. True when such a
// reply's version is below `minimum`.
bool EvaluateReplies(const PortReplies& replies, const ReplyFormat& format, PortMark mark,
                     double minimum, std::array<PortMark, kPortCount>& marks);
