// Reply evaluation on arbitrary replies: never crashes, the version field is
// a piece of the reply that holds no end delimiter, and a version is found
// exactly when the identification is there.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/textversion.h"
#include "detect/replies.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckFormat(std::string_view reply, const ReplyFormat& format) {
  const std::string_view field = VersionField(reply, format.EndDelimiter);
  if (!field.empty()) {
    Check(field.data() >= reply.data() &&
          field.data() + field.size() <= reply.data() + reply.size());
    Check(field.find(format.EndDelimiter) == std::string_view::npos);
  }
  const std::optional<double> version = ReplyVersion(reply, format);
  Check(version.has_value() == (reply.find(format.Identification) != std::string_view::npos));
  if (version) {
    Check(!std::isnan(*version));
    Check(*version == TextToVersion(field));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  CheckFormat(reply, kInterfaceReply);
  CheckFormat(reply, kXrayReply);
  return 0;
}
