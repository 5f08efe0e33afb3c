#include "detect/replies.h"

#include "app/textversion.h"
#include "platform/trace_text.h"

namespace {

// Position of the first `needle` in `text` counted from 1, or 0 if absent.
std::size_t PositionOf(std::string_view text, std::string_view needle) {
  const std::size_t found = text.find(needle);
  return found == std::string_view::npos ? 0 : found + 1;
}

}  // namespace

std::string_view VersionField(std::string_view reply, std::string_view endDelimiter) {
  const std::size_t start = PositionOf(reply, "Ver ") + 4;  // counted from 1
  const std::size_t end = PositionOf(reply, endDelimiter);
  if (end <= start || start > reply.size()) return {};
  return reply.substr(start - 1, end - start);
}

std::optional<double> ReplyVersion(std::string_view reply, const ReplyFormat& format) {
  if (reply.find(format.Identification) == std::string_view::npos) return std::nullopt;
  return TextToVersion(VersionField(reply, format.EndDelimiter));
}

std::string DescribeReply(std::string_view reply, const ReplyFormat& format, double minimum) {
  if (reply.find(format.Identification) == std::string_view::npos) {
    return TraceJoin({"no ", format.Device, " identification"});
  }
  const std::string_view field = VersionField(reply, format.EndDelimiter);
  const double version = TextToVersion(field);
  return TraceJoin({format.Device, ", version ", TraceQuoted(field), " = ", TraceNumber(version),
                    ", minimum ", TraceNumber(minimum), ": ",
                    version < minimum ? "out of date" : "up to date"});
}

bool EvaluateReplies(const PortReplies& replies, const ReplyFormat& format, PortMark mark,
                     double minimum, std::array<PortMark, kPortCount>& marks) {
  bool outdated = false;
  for (int i = 0; i < kPortCount; ++i) {
    if (!replies[i]) continue;
    if (const std::optional<double> version = ReplyVersion(*replies[i], format)) {
      marks[i] = mark;
      if (*version < minimum) outdated = true;
    }
  }
  return outdated;
}
