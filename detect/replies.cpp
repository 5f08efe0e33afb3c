#include "detect/replies.h"

#include "app/textversion.h"
#include "detect/portbank.h"
#include "ui/forms.h"

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

bool EvaluateReplies(const ReplyFormat& format, PortMark mark, double minimum, bool unmarkedOnly) {
  bool outdated = false;
  for (int i = 0; i < kPortCount; ++i) {
    if (PortHandles[i] == kInvalidPort) continue;
    if (unmarkedOnly && PortMarks[i] != PortMark::None) continue;
    const std::optional<std::string> text = ReadAvailable(i);
    if (!text) continue;
    if (const std::optional<double> version = ReplyVersion(*text, format)) {
      PortMarks[i] = mark;
      if (*version < minimum) outdated = true;
    }
    Application->System().PurgeComm(PortHandles[i], kPurgeTxClear | kPurgeRxClear);
  }
  return outdated;
}
