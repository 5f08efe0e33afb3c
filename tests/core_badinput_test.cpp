// The program against bad input: configuration files that are garbage, huge
// or have endless lines, paths longer than every buffer, and devices that
// answer with noise, floods and endless streams.
#include <cmath>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/global.h"
#include "core_fixture.h"

namespace {

using Times = std::vector<std::uint64_t>;

constexpr std::size_t kFlood = 64 * 1024;  // bytes a flooding device sends at once

// `size` bytes of deterministic noise, every byte value included.
std::string Noise(std::size_t size, unsigned variant) {
  std::mt19937 random(variant);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

std::string Repeated(const std::string& piece, std::size_t size) {
  std::string out;
  while (out.size() < size) out += piece;
  return out;
}

// A whole program of its own on the fake platform with COM1..COM4 present;
// any prompt that shows is dismissed with "Ignore" within 50 ms.
struct Program {
  Program() {
    for (const char* name : {"COM1", "COM2", "COM3", "COM4"}) system.Ports[name].Present = true;
  }
  void Until(std::uint64_t time) {
    if (!program) {
      program = std::make_unique<StartProgram>(system, host);
      for (std::uint64_t t = 50; t <= 10000; t += 50) {
        host.At(t, [] {
          if (VXUpdateForm->Showing()) VXUpdateForm->Button2Click();
          if (RTGUpdateForm->Showing()) RTGUpdateForm->Button2Click();
        });
      }
    }
    host.RunUntil(*Form1, time);
  }
  std::vector<std::string> Prompts() const {
    std::vector<std::string> shown;
    for (const auto& modal : host.Modals) shown.push_back(modal.Window);
    return shown;
  }

  VirtualClock clock;
  HeadlessHost host{clock};
  FakePlatform system{clock};
  std::unique_ptr<StartProgram> program;
};

// Every read took what was waiting, at most 200 bytes, and happened only when
// something was waiting. Returns the number of reads.
int ExpectReadsTookAtMost200(const FakePlatform& system, const std::string& context) {
  std::map<std::string, std::size_t> waiting;  // by port, from the last ClearCommError
  int reads = 0;
  for (const FakeCall& call : system.Calls) {
    const bool clear = call.What.rfind("ClearCommError ", 0) == 0;
    const bool read = call.What.rfind("ReadFile ", 0) == 0;
    if (!clear && !read) continue;
    const std::string name = call.What.substr(call.What.find("COM"), 4);
    const std::size_t count = std::stoul(call.What.substr(call.What.rfind(' ') + 1));
    if (clear) waiting[name] = count;
    if (read) {
      ++reads;
      EXPECT_GT(waiting[name], 0u) << context << ": " << call.What;
      EXPECT_EQ(count, std::min<std::size_t>(waiting[name], 200)) << context << ": " << call.What;
    }
  }
  return reads;
}

// Ends of the sequence that hold whatever the input was.
void ExpectSequenceFinished(const Program& run, const std::string& context) {
  EXPECT_EQ(Form1->DetectStep, 3) << context;
  EXPECT_EQ(run.system.OpenPortCount(), 0) << context;
  EXPECT_FALSE(run.host.AnyTimerArmed()) << context;
  EXPECT_FALSE(run.host.QuitCalled()) << context;
}

TEST(BadConfiguration, GarbageHugeFilesAndLongLinesGiveWhatCanBeRead) {
  const std::string noise = Noise(1 << 16, 1);
  const std::string megabytes = Noise(3 << 20, 2);
  const std::string longLine(10000, 'k');
  const std::string longDigits = "1" + std::string(9999, '0');
  struct Case {
    const char* name;
    std::uint32_t lcid;
    std::string ins;
    std::string ini;
    std::string label;  // after "CD Version "
    double vx;
    bool english;
  };
  const Case cases[] = {
      {"binary garbage, German locale", 0x0407, noise, noise, "2.0", 1.0, false},
      {"binary garbage, English locale", 0x0409, Noise(4096, 3), Noise(4096, 4), "2.0", 1.0, true},
      {"zero bytes only", 0x0407, std::string(100000, '\0'), std::string(100000, '\0'), "2.0", 1.0,
       false},
      {"megabytes of garbage, then the keys", 0x0409,
       megabytes + "\n[CDStart]\nCDVersion=3.1\nVXVersion=2.5\n",
       megabytes + "\n[Einstellungen]\nSprache=Deutsch\n", "3.1", 2.5, false},
      {"megabytes in one line hide the keys on it", 0x0409,
       std::string(5 << 20, 'x') + "[CDStart] CDVersion=3.1", std::string(5 << 20, '=') + "\n",
       "2.0", 1.0, true},
      {"10,000-character lines around the keys", 0x0409,
       longLine + "\n[CDStart]\n" + longLine + "\n;" + longLine + "\nVXVersion=2.5\n" + longLine,
       "[Einstellungen]\n" + longLine + "=Deutsch\nSprache=Deutsch\n", "2.0", 2.5, false},
      {"10,000-character section name", 0x0409,
       "[" + std::string(10000, 'C') + "]\nCDVersion=3.1\n[CDStart" + longLine + "]\nVXVersion=9\n",
       "[Einstellungen" + longLine + "\nSprache=Deutsch\n", "2.0", 1.0, true},
      {"10,000-character values are cut", 0x0409,
       "[CDStart]\nCDVersion=" + longLine + "\nVXVersion=" + longDigits + "\n",
       "[Einstellungen]\nSprache=" + longLine + "\n", std::string(2047, 'k'), HUGE_VAL, true},
  };
  for (const Case& c : cases) {
    Program run;
    run.system.Lcid = c.lcid;
    run.system.Files["D:\\start.ins"] = c.ins;
    run.system.Files["orbilex.ini"] = c.ini;
    run.Until(2000);
    EXPECT_EQ(Form1->VersionLabel.Caption, "CD Version " + c.label) << c.name;
    EXPECT_EQ(RequiredVXVersion, c.vx) << c.name;
    EXPECT_EQ(RequiredRTGVersion, 1.0) << c.name;
    EXPECT_EQ(Form1->English, c.english) << c.name;
    EXPECT_EQ(Form1->AcrobatEngPath, "Acrobat\\Ar405eng.exe") << c.name;
    ExpectSequenceFinished(run, c.name);
  }
}

TEST(BadConfiguration, LongestValuesAreShownWholeAndRefusedAsPaths) {
  const std::string version(2047, '7');
  const std::string reader = "Reader\\" + std::string(2040, 'r');
  Program run;
  run.system.ViewerInstalled = false;
  run.system.Files["D:\\start.ins"] = "[CDStart]\nCDVersion=" + version + "\nAcrobatEng=" + reader +
                                      "\nAcrobatGer=" + reader + "\n";
  run.Until(0);
  EXPECT_EQ(Form1->VersionLabel.Caption, "CD Version " + version);
  EXPECT_EQ(run.host.Title, "orbilex CD V" + version);
  EXPECT_EQ(Form1->AcrobatEngPath, reader);

  Form1->Menu5Click();  // the reader installer
  Form1->Menu2Click();  // the manual: no viewer, so the reader installer again
  Form1->LanguageClick(Form1->Fahneger);
  Form1->Menu5Click();
  EXPECT_TRUE(run.system.CallsStartingWith("WinExec").empty());
  EXPECT_EQ(std::string(Form1->CommandBuffer.data()), "D:\\ManualE.pdf");
  run.Until(2000);
  ExpectSequenceFinished(run, "long values");
}

TEST(BadConfiguration, AReaderPathFitsTheCommandBufferUpTo259Characters) {
  struct Case {
    std::size_t length;  // of the configured path; the root "D:\" adds 3
    bool launched;
  };
  for (const Case c : {Case{255, true}, Case{256, true}, Case{257, false}, Case{300, false}}) {
    Program run;
    const std::string reader(c.length, 'r');
    run.system.Files["D:\\start.ins"] = "[CDStart]\nAcrobatEng=" + reader + "\n";
    run.Until(0);
    Form1->Menu5Click();
    const auto launches = run.system.CallsStartingWith("WinExec ");
    ASSERT_EQ(launches.size(), c.launched ? 1u : 0u) << c.length;
    if (c.launched) {
      EXPECT_EQ(launches[0].What.rfind("WinExec D:\\" + reader + " 10", 0), 0u);
    }
  }
}

TEST(BadConfiguration, ARootLongerThanEveryBufferLaunchesNothing) {
  const std::string root = "D:\\" + std::string(600, 'd') + "\\";
  Program run;
  run.system.ModulePath = root + "start.exe";
  run.system.Files[root + "start.ins"] = "[CDStart]\nCDVersion=3.1\n";
  run.system.Files[root + "ManualE.pdf"] = "%PDF";
  run.Until(100);
  EXPECT_EQ(Form1->CDRoot, root);
  EXPECT_EQ(Form1->VersionLabel.Caption, "CD Version 3.1");
  Form1->Menu2Click();
  Form1->Menu5Click();
  EXPECT_FALSE(run.host.QuitCalled());
  Form1->Menu3Click();
  EXPECT_TRUE(run.system.CallsStartingWith("WinExec").empty());
  EXPECT_TRUE(run.system.CallsStartingWith("ShellExecuteA").empty());
  EXPECT_TRUE(run.host.QuitCalled());
  EXPECT_EQ(run.system.OpenPortCount(), 0);
}

TEST(BadDevices, RandomRepliesAreReadInPiecesOfAtMost200Bytes) {
  for (unsigned variant = 1; variant <= 20; ++variant) {
    const std::string context = "noise variant " + std::to_string(variant);
    Program run;
    auto random = std::make_shared<std::mt19937>(variant);
    for (auto& [name, port] : run.system.Ports) {
      port.ReplyDelay = (*random)() % 1200;
      // Answers every write, at either speed, with up to 3000 random bytes.
      port.Device = [random](std::uint32_t, const std::string&) {
        const std::size_t size = (*random)() % 3000;
        return Noise(size, (*random)());
      };
    }
    run.Until(1140);
    ExpectSequenceFinished(run, context);
    EXPECT_EQ(run.host.Armed["PollTimer"], (Times{200, 400, 1140})) << context;
    EXPECT_GT(ExpectReadsTookAtMost200(run.system, context), 0) << context;
    for (PortMark mark : PortMarks) EXPECT_EQ(mark, PortMark::None) << context;
    EXPECT_TRUE(run.host.Modals.empty()) << context;
  }
}

TEST(BadDevices, FloodsAndEndlessStreamsAreCutAndTheSequenceKeepsTime) {
  const std::string interfaceText = "KORVA TARVEX 88B Ver 0.5 /\r";
  const std::string xrayText = "KORVA x-ray-unit 52-K Ver 0.5/\r";
  // A device that answers every write, at either speed, with 64 KB.
  auto endless = [](std::string piece) -> FakeDevice {
    const std::string flood = Repeated(piece, kFlood);
    return [flood](std::uint32_t, const std::string&) { return flood; };
  };
  // A device that answers only "0iv" at 115200, with 64 KB at once.
  auto queried = [](std::string head) -> FakeDevice {
    const std::string flood = head + std::string(kFlood - head.size(), '#');
    return [flood](std::uint32_t baud, const std::string& written) {
      return baud == 115200 && written == "0iv\r" ? flood : std::string();
    };
  };
  struct Case {
    const char* name;
    FakeDevice device;
    std::uint64_t delay;
    PortMark mark;
    std::vector<std::string> prompts;
  };
  const Case cases[] = {
      {"64 KB led by the identification",
       queried("KORVA TARVEX 88B Ver 1.0 /"),
       0,
       PortMark::Interface,
       {}},
      {"64 KB with the identification after 200 bytes",
       queried(std::string(200, '#') + "KORVA TARVEX 88B Ver 1.0 /"),
       0,
       PortMark::None,
       {}},
      {"endless interface, at once",
       endless(interfaceText),
       0,
       PortMark::Interface,
       {"VXUpdateForm"}},
      {"endless interface, the wake answer read",
       endless(interfaceText),
       400,
       PortMark::Interface,
       {"VXUpdateForm"}},
      {"endless interface, too late", endless(interfaceText), 401, PortMark::None, {}},
      {"endless x-ray, at once", endless(xrayText), 0, PortMark::XrayUnit, {"RTGUpdateForm"}},
      {"endless x-ray, the remote answer read",
       endless(xrayText),
       740,
       PortMark::XrayUnit,
       {"RTGUpdateForm"}},
      {"endless x-ray, too late", endless(xrayText), 741, PortMark::None, {}},
      {"endless zero bytes", endless(std::string(1, '\0')), 0, PortMark::None, {}},
  };
  for (const Case& c : cases) {
    Program run;
    run.system.Ports["COM2"].Device = c.device;
    run.system.Ports["COM2"].ReplyDelay = c.delay;
    run.Until(10000);
    ExpectSequenceFinished(run, c.name);
    EXPECT_EQ(PortMarks[1], c.mark) << c.name;
    EXPECT_EQ(run.Prompts(), c.prompts) << c.name;
    ExpectReadsTookAtMost200(run.system, c.name);
    // Without a prompt the timetable holds; the only pauses are the two of
    // the X-ray stage.
    if (c.prompts.empty()) {
      EXPECT_EQ(run.host.Armed["PollTimer"], (Times{200, 400, 1140})) << c.name;
    }
    EXPECT_EQ(run.system.CallsStartingWith("Sleep 20").size(), 2u) << c.name;
    EXPECT_EQ(run.system.CallsStartingWith("Sleep").size(), 2u) << c.name;
    // An interface is left alone by the X-ray stage.
    if (c.mark == PortMark::Interface) {
      for (const auto& [time, bytes] : run.system.Ports["COM2"].Received) {
        EXPECT_LE(time, 200u) << c.name << ": " << bytes;
      }
    }
  }
}

}  // namespace
