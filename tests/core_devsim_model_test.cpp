// The device simulator's model: what each device answers, without a
// terminal. Replies through a real pseudo-terminal: posix_devsim_test.cpp.
#include "tools/devsim_model.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace devsim {

void PrintTo(const Response& r, std::ostream* os) {
  *os << "{ignored " << r.ignored << ", hangUp " << r.hangUp << ", reply "
      << (r.reply ? ::testing::PrintToString(*r.reply) : "none") << ", delay " << r.delayMs
      << ", stream " << r.stream << "}";
}

namespace {

// The responses to the commands that `bytes`, arriving at `baud`, complete.
std::vector<Response> Converse(Device& device, const std::string& bytes, long baud) {
  std::vector<Response> responses;
  for (const char byte : bytes) {
    if (const std::optional<std::string> line = device.Receive(byte)) {
      responses.push_back(device.Handle(*line, baud));
    }
  }
  return responses;
}

Response Reply(const std::string& bytes) {
  return {.reply = bytes};
}

const std::string kInterfaceId = "KORVA TARVEX 88B Ver 2.0 /2010-05-01\r";
const std::string kXrayId = "KORVA x-ray-unit 52-K Ver 1.1/2010-05-01\r";
const std::string kNoise = "\xfe\x1b~#?";

// A device of `kind` with its defaults, in `mode`.
DeviceConfig Dev(DeviceKind kind, DeviceMode mode = DeviceMode::kNormal, long modeArg = 0) {
  DeviceConfig config = DefaultConfig(kind);
  config.mode = mode;
  config.modeArg = modeArg;
  return config;
}

// A device of `kind` that checks the line speed.
DeviceConfig Checked(DeviceKind kind) {
  DeviceConfig config = DefaultConfig(kind);
  config.baudCheck = true;
  return config;
}

struct Case {
  const char* Name;
  DeviceConfig Config;
  std::string Bytes;
  long Baud;
  std::vector<Response> Expected;
};

TEST(DevsimModel, DevicesAnswerInTheirModes) {
  using enum DeviceKind;
  using enum DeviceMode;
  const Response none, ok = Reply("OK\r"), remote = Reply("REMOTE\r"), id = Reply(kInterfaceId);
  const Response hangUp{.hangUp = true}, ignored{.ignored = true};
  const Response stream{.reply = kInterfaceId, .stream = true};
  const std::string zeroId = std::string("*\0", 2) + kInterfaceId;
  const std::string floodId = kInterfaceId + std::string(212, '.') + "\r";  // 250 bytes
  const Case cases[] = {
      {"interface", Dev(kInterface), "&\r0iv\r", 9600, {ok, id}},
      {"X-ray unit", Dev(kXray), "MODE=REMOTE\rVERSION?\r", 300, {remote, Reply(kXrayId)}},
      {"other commands", Dev(kXray), "&\rversion?\rVERSION? \r\r", 9600, {none, none, none, none}},
      {"256 bytes", Dev(kInterface), std::string(256, '&') + "&\r0iv", 115200, {none, ok}},
      {"zero", Dev(kInterface, kZero), "&\r0iv\r", 115200, {ok, Reply(zeroId)}},
      {"flood250", Dev(kInterface, kFlood250), "&\r0iv\r", 115200, {ok, Reply(floodId)}},
      {"noisy", Dev(kXray, kNoisy), "MODE=REMOTE\r", 9600, {Reply(kNoise + "REMOTE\r")}},
      {"silent", Dev(kInterface, kSilent), "&\r0iv\r", 115200, {none, none}},
      {"slow", Dev(kInterface, kSlow, 250), "&\r", 115200, {{.reply = "OK\r", .delayMs = 250}}},
      {"hangup", Dev(kInterface, kHangup, 2), "&\r0iv\r&\r", 115200, {ok, hangUp, hangUp}},
      {"endless", Dev(kInterface, kEndless), "&\r0iv\r", 9600, {ok, stream}},
      {"interface, speed checked", Checked(kInterface), "&\r", 115200, {ok}},
      {"interface at 9600", Checked(kInterface), "&\r", 9600, {ignored}},
      {"X-ray unit, speed checked", Checked(kXray), "MODE=REMOTE\r", 9600, {remote}},
      {"X-ray unit at 115200", Checked(kXray), "MODE=REMOTE\r", 115200, {ignored}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Device device(c.Config);
    EXPECT_EQ(Converse(device, c.Bytes, c.Baud), c.Expected);
  }
}

TEST(DevsimModel, OptionsShapeTheIdentification) {
  DeviceConfig xray = DefaultConfig(DeviceKind::kXray);
  xray.version = "2.10";
  xray.delimiter = " /";
  Device xrayDevice(xray);
  EXPECT_EQ(Converse(xrayDevice, "VERSION?\r", 9600),
            std::vector{Reply("KORVA x-ray-unit 52-K Ver 2.10 /2010-05-01\r")});

  DeviceConfig other = DefaultConfig(DeviceKind::kInterface);
  other.ident = "OTHER";
  other.delimiter = "";
  other.rest = "x";
  Device otherDevice(other);
  EXPECT_EQ(Converse(otherDevice, "0iv\r", 115200), std::vector{Reply("OTHER Ver 2.0x\r")});

  // A whole reply replaces the identification, and only it.
  other.reply = std::string("AB\0C", 4);
  Device wholeReply(other);
  EXPECT_EQ(Converse(wholeReply, "&\r0iv\r", 115200),
            (std::vector{Reply("OK\r"), Reply(std::string("AB\0C", 4))}));
}

TEST(DevsimModel, EscapesReadBackAsTheBytes) {
  std::string every;
  for (int c = 0; c < 256; ++c) every += static_cast<char>(c);
  EXPECT_EQ(Unescape(Escape(every)), every);
  EXPECT_EQ(Escape("&\r\n\t\\\x01\xff"), "&\\r\\n\\t\\\\\\x01\\xff");
  // \0 is read as well; unknown and cut-off escapes stand for themselves.
  EXPECT_EQ(Unescape("A\\x42\\0C\\q\\x4"), std::string("AB\0C\\q\\x4", 9));
  EXPECT_EQ(Unescape("\\"), "\\");
}

}  // namespace
}  // namespace devsim
