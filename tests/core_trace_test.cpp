// The trace of a run on the recording platform: the events of both detection
// stages in order, with an out-of-date interface and X-ray unit and both
// prompts answered; and that tracing changes nothing the program does.
#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "core_fixture.h"
#include "platform/trace_text.h"
#include "platform/tracing_platform.h"

namespace {

// Trace lines kept in memory, stamped with the virtual time.
class RecordedTrace : public TraceWriter {
 public:
  explicit RecordedTrace(VirtualClock& clock) : clock_(clock) {}
  std::uint64_t Milliseconds() override { return clock_.Now(); }
  void WriteLine(std::string_view line) override { Lines.emplace_back(line); }
  std::vector<std::string> Lines;

 private:
  VirtualClock& clock_;
};

class TraceTest : public ProgramTest {
 protected:
  // German by the locale, no orbilex.ini; an out-of-date interface on COM2
  // and X-ray unit on COM3, COM4 held by another program. The interface
  // prompt is ignored, the X-ray prompt answered with the update.
  void RunScenario(Platform& platform) {
    system.Lcid = 0x0407;
    system.Ports["COM4"].Busy = true;
    system.PortChoiceEvents = {"serial ports found: COM2 fake, COM3 fake, COM4 fake"};
    SetStartIns("[CDStart]\nVXVersion=2.0\nRTGVersion=1.1\n");
    Attach("COM2", InterfaceDevice("1.5"));
    Attach("COM3", XrayDevice("1.02"));
    program = std::make_unique<StartProgram>(platform, host);
    host.At(450, [] { VXUpdateForm->Button2Click(); });
    host.At(1300, [] { RTGUpdateForm->Button1Click(); });
    RunUntil(2000);
  }
};

TEST_F(TraceTest, TellsWhatDetectionDidInOrder) {
  RecordedTrace trace(clock);
  TracingPlatform traced(system, trace);
  RunScenario(traced);
  // Each line contains its text, after the line of the text before it.
  const std::vector<std::string> expected = {
      "     0 ms  trace begins",
      "     0 ms  profile orbilex.ini [Einstellungen] Sprache = \"XXX\" (default)",
      "     0 ms  language German: no setting, locale 0x0407 is German",
      "     0 ms  own path D:\\start.exe",
      "     0 ms  profile D:\\start.ins [CDStart] CDVersion = \"2.0\" (default)",
      "     0 ms  profile D:\\start.ins [CDStart] VXVersion = \"2.0\"",
      "     0 ms  minimum interface version \"2.0\" = 2",
      "     0 ms  minimum x-ray unit version \"1.1\" = 1.1",
      "     0 ms  interface stage begins",
      "     0 ms  serial ports found: COM2 fake, COM3 fake, COM4 fake",
      "     0 ms  port COM2 (fake COM2) open: ok",
      "     0 ms  port COM4 (fake COM4) open: failed: busy",
      "     0 ms  port COM2 line 115200 8N1",
      "     0 ms  port COM2 write \"&\\r\" (2 bytes): 2 written",
      "   200 ms  port COM2 purge 0xF",
      "   200 ms  port COM2 write \"0iv\\r\" (4 bytes): 4 written",
      "   400 ms  port COM2 waiting 31",
      "   400 ms  port COM2 read \"KORVA TARVEX 88B Ver 1.5 /2010\\r\" (31 bytes)",
      "   400 ms  reply COM2: interface, version \"1.5\" = 1.5, minimum 2: out of date, port "
      "marked",
      "   400 ms  interface stage: a device is out of date",
      "   400 ms  prompt VXUpdateForm shown",
      "   450 ms  prompt VXUpdateForm answered ignore",
      "   450 ms  port COM2 close",
      "   450 ms  x-ray unit stage begins",
      "   450 ms  port COM3 line 9600 8N1",
      "   450 ms  port COM3 write \"MODE=REMOTE\\r\" (12 bytes): 12 written",
      "   970 ms  port COM3 write \"VERSION?\\r\" (9 bytes): 9 written",
      "Ver 1.02/A\\r\" (",
      "  1190 ms  reply COM3: x-ray unit, version \"1.02\" = 1.02, minimum 1.1: out of date, "
      "port marked",
      "  1190 ms  x-ray unit stage: a device is out of date",
      "  1190 ms  prompt RTGUpdateForm shown",
      "  1300 ms  prompt RTGUpdateForm answered update",
      "  1300 ms  port COM3 close",
      "  1300 ms  directory D:\\Update\\Rtg",
      "  1300 ms  launch D:\\Update\\Rtg\\rtgupd.exe in D:\\Update\\Rtg: started",
  };
  std::size_t next = 0;
  for (const std::string& line : trace.Lines) {
    if (next < expected.size() && line.find(expected[next]) != std::string::npos) ++next;
  }
  ASSERT_LT(0u, trace.Lines.size());
  EXPECT_EQ(next, expected.size()) << "missing or out of order: " << expected[next];
  // COM2 answered the interface stage: the X-ray stage leaves it alone. The
  // choice of the ports is told once, before the first opening.
  for (const std::string& line : trace.Lines)
    EXPECT_EQ(line.find("reply COM2: no"), std::string::npos);
  EXPECT_EQ(std::count_if(trace.Lines.begin(), trace.Lines.end(),
                          [](const std::string& line) {
                            return line.find("serial ports found") != std::string::npos;
                          }),
            1);
}

TEST_F(TraceTest, ChangesNothingTheProgramDoes) {
  RunScenario(system);
  const std::vector<FakeCall> untraced = system.Calls;
  ASSERT_GE(system.IndexOf("WinExec D:\\Update\\Rtg\\rtgupd.exe"), 0);

  VirtualClock tracedClock;
  HeadlessHost tracedHost(tracedClock);
  FakePlatform tracedSystem(tracedClock);
  tracedSystem.Files = system.Files;
  tracedSystem.Lcid = system.Lcid;
  tracedSystem.Ports = system.Ports;
  for (auto& [name, port] : tracedSystem.Ports) port.Received.clear();
  RecordedTrace trace(tracedClock);
  TracingPlatform traced(tracedSystem, trace);
  program.reset();
  {
    StartProgram tracedProgram(traced, tracedHost);
    tracedHost.At(450, [] { VXUpdateForm->Button2Click(); });
    tracedHost.At(1300, [] { RTGUpdateForm->Button1Click(); });
    tracedHost.RunUntil(*Form1, 2000);
  }
  ASSERT_EQ(tracedSystem.Calls.size(), untraced.size());
  for (std::size_t i = 0; i < untraced.size(); ++i) {
    EXPECT_EQ(tracedSystem.Calls[i].Time, untraced[i].Time) << untraced[i].What;
    EXPECT_EQ(tracedSystem.Calls[i].What, untraced[i].What);
  }
}

TEST(TraceText, ShowsBytesAndNumbersPlainly) {
  EXPECT_EQ(TraceLine(412, "port COM2 close"), "   412 ms  port COM2 close");
  EXPECT_EQ(TraceLine(1234567, "x"), "1234567 ms  x");
  EXPECT_EQ(TraceQuoted(std::string("a\"\\\r\n\t\0\x1f\x7f\x80\xff~", 12)),
            "\"a\\\"\\\\\\r\\n\\t\\x00\\x1F\\x7F\\x80\\xFF~\"");
  EXPECT_EQ(TraceLine(0, "D:\\Update\x01\x7f\xfc"), "     0 ms  D:\\Update\\x01\\x7F\xfc");
  EXPECT_EQ(TraceHex(0x407, 4), "0x0407");
  EXPECT_EQ(TraceHex(0x10407, 4), "0x10407");
  const std::pair<double, const char*> numbers[] = {
      {1.5, "1.5"},
      {2, "2"},
      {1.02, "1.02"},
      {123, "123"},
      {-0.25, "-0.25"},
      {0, "0"},
      {0.1, "0.1"},
      {1e-5, "0.00001"},
      {2e-7, "2e-7"},
      {1.5e20, "1.5e+20"},
      {99999999999999.9, "99999999999999.9"},
      {1.0 / 3, "0.333333333333333"},
      {9.999999999999999, "10"},
      {HUGE_VAL, "inf"},
      {-HUGE_VAL, "-inf"},
  };
  for (const auto& [value, text] : numbers) EXPECT_EQ(TraceNumber(value), text) << text;
}

}  // namespace
