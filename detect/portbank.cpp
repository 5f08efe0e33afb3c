#include "detect/portbank.h"

#include <array>
#include <cstring>

#include "app/system.h"
#include "app/trace.h"
#include "detect/replies.h"

namespace {

constexpr const char* kPortNames[kPortCount] = {"COM1", "COM2", "COM3", "COM4"};
constexpr unsigned kPurgeEverything = kPurgeTxAbort | kPurgeRxAbort | kPurgeTxClear | kPurgeRxClear;

}  // namespace

void OpenPorts(std::uint32_t baud) {
  PortHandles.fill(kInvalidPort);
  for (int i = 0; i < kPortCount; ++i) PortHandles[i] = System().CreateFileA(kPortNames[i]);
  for (PortHandle handle : PortHandles) {
    if (handle == kInvalidPort) continue;
    System().SetupComm(handle, 1024, 1024);
    CommState state;
    System().GetCommState(handle, state);
    state.BaudRate = baud;
    state.ByteSize = 8;
    state.Parity = kNoParity;
    state.StopBits = kOneStopBit;
    System().SetCommState(handle, state);
    System().PurgeComm(handle, kPurgeEverything);
  }
}

void SendToAll(const char* bytes, std::size_t count) {
  for (PortHandle handle : PortHandles) {
    if (handle != kInvalidPort) System().WriteFile(handle, bytes, count);
  }
}

void SendToUnmarked(const char* bytes, std::size_t count) {
  for (int i = 0; i < kPortCount; ++i) {
    if (PortHandles[i] != kInvalidPort && PortMarks[i] == PortMark::None) {
      System().WriteFile(PortHandles[i], bytes, count);
    }
  }
}

void PurgeAll() {
  for (PortHandle handle : PortHandles) {
    if (handle != kInvalidPort) System().PurgeComm(handle, kPurgeEverything);
  }
}

std::optional<std::string> ReadAvailable(int index) {
  std::array<char, kReadMax + 1> buffer{};
  const PortHandle handle = PortHandles[index];
  const std::size_t waiting = std::min(System().ClearCommError(handle), kReadMax);
  if (waiting == 0) return std::nullopt;
  System().ReadFile(handle, buffer.data(), waiting);
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

PortReplies ReadReplies(bool unmarkedOnly) {
  PortReplies replies;
  for (int i = 0; i < kPortCount; ++i) {
    if (PortHandles[i] == kInvalidPort) continue;
    if (unmarkedOnly && PortMarks[i] != PortMark::None) continue;
    replies[i] = ReadAvailable(i);
    if (replies[i]) System().PurgeComm(PortHandles[i], kPurgeTxClear | kPurgeRxClear);
  }
  return replies;
}

void TraceEvaluation(const PortReplies& replies, const ReplyFormat& format, PortMark mark,
                     double minimum, bool outdated) {
  if (!Tracing()) return;
  for (int i = 0; i < kPortCount; ++i) {
    if (!replies[i]) continue;
    Trace({"reply ", kPortNames[i], ": ", DescribeReply(*replies[i], format, minimum),
           PortMarks[i] == mark ? ", port marked" : ""});
  }
  Trace(
      {format.Device, " stage: ", outdated ? "a device is out of date" : "no device out of date"});
}
