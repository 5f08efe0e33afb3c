// Recognising a device by its reply and reading its firmware version.
#pragma once

#include <optional>
#include <string_view>

#include "app/global.h"

struct ReplyFormat {
  std::string_view Identification;  // searched for anywhere, case-sensitively
  std::string_view EndDelimiter;    // ends the version field that follows "Ver "
};

inline constexpr ReplyFormat kInterfaceReply{"KORVA TARVEX 88B", " /"};
inline constexpr ReplyFormat kXrayReply{"KORVA x-ray-unit 52-K", "/"};

// The version text of a reply: from after the first "Ver " up to the first
// end delimiter, both positions counted as if absent meant position 0.
std::string_view VersionField(std::string_view reply, std::string_view endDelimiter);

// The firmware version of a reply of the given format, or nothing when the
// reply does not carry the identification text.
std::optional<double> ReplyVersion(std::string_view reply, const ReplyFormat& format);

// Reads the replies of one detection stage from the open ports (only from
// ports whose mark is None when `unmarkedOnly`), marks each port whose reply
// carries the identification with `mark`, and purges every port that had
// received something. True when a reply's version is below `minimum`.
bool EvaluateReplies(const ReplyFormat& format, PortMark mark, double minimum, bool unmarkedOnly);
