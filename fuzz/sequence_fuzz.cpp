// The whole detection sequence against devices on COM1..COM4 that answer
// with bytes taken from the fuzz input, at both speeds and after delays taken
// from it too. Whatever they answer, the program reaches the end of the
// sequence with every port closed and no timer armed, reads at most 200 bytes
// at a time, and marks only ports that were asked the matching question.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/global.h"
#include "app/start.h"
#include "detect/replies.h"
#include "platform/fake_platform.h"
#include "toolkit/headless_host.h"
#include "ui/startf.h"
#include "ui/updatef.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

constexpr const char* kPortNames[kPortCount] = {"COM1", "COM2", "COM3", "COM4"};

// One reply, shaped by the input: raw bytes, an identification with a fuzzed
// version field, or a fuzzed piece repeated to a flood of 4 KB (more than the
// driver queue; the tests try 64 KB, which would slow the fuzzer down).
std::string NextReply(FuzzedDataProvider& input) {
  switch (input.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
      return input.ConsumeRandomLengthString(400);
    case 1:
      return input.ConsumeRandomLengthString(60) + std::string(kInterfaceReply.Identification) +
             " Ver " + input.ConsumeRandomLengthString(20) + " /" +
             input.ConsumeRandomLengthString(20);
    case 2:
      return input.ConsumeRandomLengthString(60) + std::string(kXrayReply.Identification) +
             " Ver " + input.ConsumeRandomLengthString(20) + "/" +
             input.ConsumeRandomLengthString(20);
    default: {
      const std::string piece = input.ConsumeRandomLengthString(40);
      std::string flood;
      if (piece.empty()) return flood;
      while (flood.size() < 4096) flood += piece;
      return flood;
    }
  }
}

bool WasSent(const FakePort& port, const std::string& command) {
  for (const auto& [time, bytes] : port.Received) {
    if (bytes == command) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  VirtualClock clock;
  HeadlessHost host(clock);
  FakePlatform system(clock);
  system.Files["D:\\start.ins"] = "[CDStart]\nVXVersion=" + input.ConsumeRandomLengthString(16) +
                                  "\nRTGVersion=" + input.ConsumeRandomLengthString(16) + "\n";
  for (const char* name : kPortNames) {
    FakePort& port = system.Ports[name];
    port.Present = input.ConsumeBool();
    port.Busy = input.ConsumeBool() && input.ConsumeBool();
    port.ReplyDelay = input.ConsumeIntegralInRange<std::uint64_t>(0, 1200);
    // Each answer, at either speed, takes the next reply from the input.
    port.Device = [&input](std::uint32_t, const std::string&) { return NextReply(input); };
  }

  StartProgram program(system, host);
  for (std::uint64_t t = 50; t <= 5000; t += 50) {
    host.At(t, [] {
      if (VXUpdateForm->Showing()) VXUpdateForm->Button2Click();
      if (RTGUpdateForm->Showing()) RTGUpdateForm->Button2Click();
    });
  }
  host.RunUntil(*Form1, 5000);

  Check(Form1->DetectStep == 3);
  Check(system.OpenPortCount() == 0);
  Check(!host.AnyTimerArmed());
  Check(host.Modals.size() <= 2);
  for (const FakeCall& call : system.CallsStartingWith("ReadFile ")) {
    Check(std::stoul(call.What.substr(call.What.rfind(' ') + 1)) <= 200);
  }
  for (int i = 0; i < kPortCount; ++i) {
    const FakePort& port = system.Ports[kPortNames[i]];
    switch (PortMarks[i]) {
      case PortMark::Interface:
        Check(WasSent(port, "0iv\r"));
        Check(!WasSent(port, "MODE=REMOTE\r") && !WasSent(port, "VERSION?\r"));
        break;
      case PortMark::XrayUnit:
        Check(WasSent(port, "MODE=REMOTE\r"));
        break;
      case PortMark::None:
        break;
    }
  }
  return 0;
}
