#include <string>

#include "app/global.h"
#include "core_fixture.h"
#include "detect/replies.h"

namespace {

using DetectionTest = ProgramTest;

// The virtual times at which `port` received `command`.
std::vector<std::uint64_t> TimesOf(const FakePort& port, const std::string& command) {
  std::vector<std::uint64_t> times;
  for (const auto& [time, bytes] : port.Received) {
    if (bytes == command) times.push_back(time);
  }
  return times;
}

using Times = std::vector<std::uint64_t>;

TEST_F(DetectionTest, FollowsTheTimetable) {
  SetStartIns("[CDStart]\nVXVersion=1.5\nRTGVersion=1.0\n");
  Attach("COM2", InterfaceDevice("1.5"));
  Attach("COM3", XrayDevice("1.0"));
  RunUntil(3000);

  const FakePort& com1 = system.Ports["COM1"];
  const FakePort& com2 = system.Ports["COM2"];
  const FakePort& com3 = system.Ports["COM3"];
  EXPECT_EQ(TimesOf(com1, "&\r"), Times{0});
  EXPECT_EQ(TimesOf(com1, "0iv\r"), Times{200});
  EXPECT_EQ(TimesOf(com1, "MODE=REMOTE\r"), (Times{400, 420}));
  EXPECT_EQ(TimesOf(com1, "VERSION?\r"), Times{920});
  // The interface's port is left alone by the X-ray stage.
  EXPECT_EQ(TimesOf(com2, "0iv\r"), Times{200});
  EXPECT_TRUE(TimesOf(com2, "MODE=REMOTE\r").empty());
  EXPECT_TRUE(TimesOf(com2, "VERSION?\r").empty());
  EXPECT_EQ(TimesOf(com3, "VERSION?\r"), Times{920});

  EXPECT_EQ(PortMarks[0], PortMark::None);
  EXPECT_EQ(PortMarks[1], PortMark::Interface);
  EXPECT_EQ(PortMarks[2], PortMark::XrayUnit);
  EXPECT_EQ(Form1->DetectStep, 3);
  EXPECT_EQ(system.OpenPortCount(), 0);
  EXPECT_FALSE(host.AnyTimerArmed());
  EXPECT_TRUE(host.Modals.empty());
  EXPECT_EQ(host.Armed["PollTimer"], (Times{200, 400, 1140}));
  EXPECT_EQ(host.Armed["RTGWaitTimer"], Times{920});

  // Ports: opened at 115200 at the start, closed and opened at 9600 at 400,
  // closed for good at the X-ray read.
  const auto settings = system.CallsStartingWith("SetCommState COM1");
  ASSERT_EQ(settings.size(), 2u);
  EXPECT_EQ(settings[0].What, "SetCommState COM1 115200 8 0 0");
  EXPECT_EQ(settings[1].What, "SetCommState COM1 9600 8 0 0");
  EXPECT_EQ(settings[1].Time, 400u);
  const auto closes = system.CallsStartingWith("CloseHandle COM1");
  ASSERT_EQ(closes.size(), 2u);
  EXPECT_EQ(closes[0].Time, 400u);
  EXPECT_EQ(closes[1].Time, 1140u);
  EXPECT_EQ(system.CallsStartingWith("SetupComm COM1 1024 1024").size(), 2u);
}

TEST_F(DetectionTest, TheQueryIsSentAfterPurgingTheWakeReplies) {
  Attach("COM1", InterfaceDevice("1.0"));
  RunUntil(300);
  const int purge = system.IndexOf("PurgeComm COM1 15");
  const int query = system.IndexOf("WriteFile COM1 0iv");
  ASSERT_GE(query, 0);
  // The purge at open and the one before the query.
  EXPECT_LT(purge, query);
  EXPECT_EQ(system.CallsStartingWith("PurgeComm COM1 15").size(), 2u);
  EXPECT_EQ(system.Calls[static_cast<std::size_t>(query) - 4].What.rfind("PurgeComm COM1 15", 0),
            0u);
}

TEST_F(DetectionTest, WithoutPortsEveryStepStillRunsSilently) {
  system.Ports.clear();
  RunUntil(3000);
  EXPECT_TRUE(system.CallsStartingWith("WriteFile").empty());
  EXPECT_EQ(host.Armed["PollTimer"], (Times{200, 400, 1140}));
  EXPECT_EQ(Form1->DetectStep, 3);
  EXPECT_TRUE(host.Modals.empty());
}

TEST_F(DetectionTest, BusyPortsAreSkipped) {
  system.Ports["COM2"].Busy = true;
  Attach("COM2", InterfaceDevice("0.1"));
  SetStartIns("[CDStart]\nVXVersion=2.0\n");
  RunUntil(3000);
  EXPECT_TRUE(system.Ports["COM2"].Received.empty());
  EXPECT_TRUE(host.Modals.empty());
}

struct PromptCase {
  const char* name;
  const char* ins;
  const char* com1;  // interface version, or nullptr
  const char* com2;  // second interface version, or nullptr
  const char* com3;  // X-ray version, or nullptr
  std::vector<std::string> prompts;
};

TEST_F(DetectionTest, OutOfDateDevicesBringUpOnePromptPerStage) {
  const PromptCase cases[] = {
      {"interface below", "VXVersion=2.0", "1.5", nullptr, nullptr, {"VXUpdateForm"}},
      {"interface equal", "VXVersion=1.5", "1.5", nullptr, nullptr, {}},
      {"interface above", "VXVersion=1.5", "1.51", nullptr, nullptr, {}},
      {"two interfaces", "VXVersion=2.0", "1.5", "1.0", nullptr, {"VXUpdateForm"}},
      {"x-ray below", "RTGVersion=1.1", nullptr, nullptr, "1.02", {"RTGUpdateForm"}},
      {"x-ray equal", "RTGVersion=1.02", nullptr, nullptr, "1.02", {}},
      {"both",
       "VXVersion=2.0\nRTGVersion=1.1",
       "1.5",
       nullptr,
       "1.02",
       {"VXUpdateForm", "RTGUpdateForm"}},
  };
  for (const PromptCase& c : cases) {
    VirtualClock caseClock;
    HeadlessHost caseHost(caseClock);
    FakePlatform caseSystem(caseClock);
    for (const char* name : {"COM1", "COM2", "COM3", "COM4"}) caseSystem.Ports[name].Present = true;
    caseSystem.Files["D:\\start.ins"] = std::string("[CDStart]\n") + c.ins + "\n";
    if (c.com1) caseSystem.Ports["COM1"].Device = InterfaceDevice(c.com1);
    if (c.com2) caseSystem.Ports["COM2"].Device = InterfaceDevice(c.com2);
    if (c.com3) caseSystem.Ports["COM3"].Device = XrayDevice(c.com3);
    StartProgram caseProgram(caseSystem, caseHost);
    // Each prompt is dismissed 100 ms after it comes up.
    caseHost.At(500, [] { VXUpdateForm->Button2Click(); });
    caseHost.At(2000, [] {
      if (RTGUpdateForm->Showing()) RTGUpdateForm->Button2Click();
    });
    caseHost.RunUntil(*Form1, 5000);
    std::vector<std::string> shown;
    for (const auto& modal : caseHost.Modals) shown.push_back(modal.Window);
    EXPECT_EQ(shown, c.prompts) << c.name;
    EXPECT_EQ(Form1->DetectStep, 3) << c.name;
    EXPECT_EQ(caseSystem.OpenPortCount(), 0) << c.name;
  }
}

TEST_F(DetectionTest, TheInterfacePromptComesAtTheInterfaceRead) {
  SetStartIns("[CDStart]\nVXVersion=2.0\n");
  Attach("COM1", InterfaceDevice("1.5"));
  host.At(450, [] { VXUpdateForm->Button2Click(); });
  RunUntil(3000);
  ASSERT_EQ(host.Modals.size(), 1u);
  EXPECT_EQ(host.Modals[0].Shown, 400u);
  EXPECT_EQ(host.Modals[0].Closed, 450u);
  // The sequence resumes where it was: the X-ray stage starts on dismissal.
  EXPECT_EQ(TimesOf(system.Ports["COM2"], "MODE=REMOTE\r"), (Times{450, 470}));
  EXPECT_EQ(TimesOf(system.Ports["COM2"], "VERSION?\r"), Times{970});
}

TEST_F(DetectionTest, TheXrayPromptFollowsAbout740msAfterIgnore) {
  SetStartIns("[CDStart]\nVXVersion=2.0\nRTGVersion=1.1\n");
  Attach("COM1", InterfaceDevice("1.5"));
  Attach("COM4", XrayDevice("1.02"));
  host.At(1000, [] { VXUpdateForm->Button2Click(); });
  host.At(3000, [] { RTGUpdateForm->Button2Click(); });
  RunUntil(5000);
  ASSERT_EQ(host.Modals.size(), 2u);
  EXPECT_EQ(host.Modals[1].Window, "RTGUpdateForm");
  EXPECT_EQ(host.Modals[1].Shown - host.Modals[0].Closed, 740u);
}

TEST_F(DetectionTest, RepliesAreEvaluatedByteForByte) {
  struct Case {
    const char* name;
    std::string reply;
    std::uint64_t delay;
    PortMark mark;
  };
  const Case cases[] = {
      {"identification in other case", "korva tarvex 88b Ver 1.0 /\r", 0, PortMark::None},
      {"zero byte before identification", std::string("\0KORVA TARVEX 88B Ver 1.0 /\r", 28), 0,
       PortMark::None},
      {"identification after 200 bytes", std::string(200, 'x') + "KORVA TARVEX 88B Ver 1.0 /", 0,
       PortMark::None},
      {"identification within 200 of 250 bytes",
       "KORVA TARVEX 88B Ver 1.0 /" + std::string(224, 'y'), 0, PortMark::Interface},
      {"reply after the read", "KORVA TARVEX 88B Ver 1.0 /\r", 250, PortMark::None},
  };
  for (const Case& c : cases) {
    VirtualClock caseClock;
    HeadlessHost caseHost(caseClock);
    FakePlatform caseSystem(caseClock);
    caseSystem.Ports["COM1"].Present = true;
    caseSystem.Ports["COM1"].Device = [&c](std::uint32_t baud, const std::string& written) {
      return baud == 115200 && written == "0iv\r" ? c.reply : std::string();
    };
    caseSystem.Ports["COM1"].ReplyDelay = c.delay;
    StartProgram caseProgram(caseSystem, caseHost);
    caseHost.RunUntil(*Form1, 400);
    EXPECT_EQ(PortMarks[0], c.mark) << c.name;
    const bool received = c.delay == 0;
    EXPECT_EQ(caseSystem.CallsStartingWith("ReadFile COM1").size(), received ? 1u : 0u) << c.name;
    // A port that had received something is purged after its read.
    EXPECT_EQ(caseSystem.CallsStartingWith("PurgeComm COM1 12").size(), received ? 1u : 0u)
        << c.name;
    if (c.reply.size() > 200 && received) {
      EXPECT_EQ(caseSystem.CallsStartingWith("ReadFile COM1 200").size(), 1u) << c.name;
    }
  }
}

TEST_F(DetectionTest, RemoteModeAnswersAreSearchedAtTheXrayRead) {
  SetStartIns("[CDStart]\nRTGVersion=1.1\n");
  // A unit that identifies itself in its answer to "MODE=REMOTE" only.
  Attach("COM1", [](std::uint32_t baud, const std::string& written) {
    return baud == 9600 && written == "MODE=REMOTE\r"
               ? std::string("KORVA x-ray-unit 52-K Ver 1.0/")
               : std::string();
  });
  host.At(1500, [] { RTGUpdateForm->Button2Click(); });
  RunUntil(3000);
  EXPECT_EQ(PortMarks[0], PortMark::XrayUnit);
  ASSERT_EQ(host.Modals.size(), 1u);
  EXPECT_EQ(host.Modals[0].Shown, 1140u);
}

TEST(VersionField, IsCutBetweenVerAndTheDelimiter) {
  struct Case {
    const char* reply;
    const char* delimiter;
    const char* field;
  };
  const Case cases[] = {
      {"KORVA TARVEX 88B Ver 1.5 /2010", " /", "1.5"},
      {"KORVA x-ray-unit 52-K Ver 2.10 /A", "/", "2.10 "},
      {"KORVA x-ray-unit 52-K Ver 2.1/A", "/", "2.1"},
      {"KORVA TARVEX 88B Ver 1.5", " /", ""},                 // no delimiter
      {"KORVA TARVEX 88B 1.7 /", " /", "VA TARVEX 88B 1.7"},  // no "Ver "
      {"a /KORVA TARVEX 88B Ver 1.5 /", " /", ""},            // delimiter before "Ver "
      {"Ver  /", " /", ""},
      {"Ver 3", "/", ""},
      {"Ver 1 /Ver 2 /", " /", "1"},
  };
  for (const Case& c : cases) EXPECT_EQ(VersionField(c.reply, c.delimiter), c.field) << c.reply;

  EXPECT_EQ(ReplyVersion("KORVA x-ray-unit 52-K Ver 2.10 /A", kXrayReply), 210.0);
  EXPECT_EQ(ReplyVersion("KORVA TARVEX 88B Ver 1.5", kInterfaceReply), 0.0);
  EXPECT_EQ(ReplyVersion("KORVA TARVEX 88 Ver 1.5 /", kInterfaceReply), std::nullopt);
  EXPECT_EQ(ReplyVersion("KORVA TARVEX 88B Ver 1.5 / KORVA TARVEX 88B Ver 0.1 /", kInterfaceReply),
            1.5);
}

}  // namespace
