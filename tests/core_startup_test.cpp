#include <cmath>
#include <string>

#include "app/global.h"
#include "core_fixture.h"

namespace {

using StartupTest = ProgramTest;

TEST_F(StartupTest, LanguageComesFromTheSettingElseFromTheLocale) {
  struct Case {
    const char* setting;  // nullptr: no orbilex.ini
    std::uint32_t lcid;
    bool english;
  };
  const Case cases[] = {
      {nullptr, 0x0407, false},   {nullptr, 0x0807, false},
      {nullptr, 0x0C07, false},   {nullptr, 0x1007, false},
      {nullptr, 0x1407, false},   {nullptr, 0x10407, false},
      {nullptr, 0x0409, true},    {nullptr, 0x0C0A, true},
      {nullptr, 0x0007, true},    {nullptr, 0x0807 + 0x10000, false},
      {"Deutsch", 0x0409, false}, {"deutsch", 0x0407, true},
      {"German", 0x0407, true},   {"English", 0x0407, true},
      {"", 0x0407, true},         {"XXX", 0x0407, false},
      {"XXX", 0x0409, true},      {"\"Deutsch\"", 0x0409, false},
  };
  for (const Case& c : cases) {
    VirtualClock caseClock;
    HeadlessHost caseHost(caseClock);
    FakePlatform caseSystem(caseClock);
    if (c.setting != nullptr) {
      caseSystem.Files["orbilex.ini"] = std::string("[Einstellungen]\nSprache=") + c.setting + "\n";
    }
    caseSystem.Lcid = c.lcid;
    StartProgram caseProgram(caseSystem, caseHost);
    caseHost.RunUntil(*Form1, 0);
    EXPECT_EQ(Form1->English, c.english)
        << (c.setting ? c.setting : "(none)") << " " << std::hex << c.lcid;
    EXPECT_EQ(Form1->Menu6.Caption, c.english ? "Exit" : "Beenden");
  }
}

TEST_F(StartupTest, WithoutStartInsTheDefaultsHold) {
  RunUntil(0);
  EXPECT_EQ(Form1->VersionLabel.Caption, "CD Version 2.0");
  EXPECT_EQ(host.Title, "orbilex CD V2.0");
  EXPECT_EQ(Application->Title(), "orbilex CD V2.0");
  EXPECT_EQ(RequiredVXVersion, 1.0);
  EXPECT_EQ(RequiredRTGVersion, 1.0);
  EXPECT_EQ(Form1->AcrobatGerPath, "Acrobat\\Ar405deu.exe");
  EXPECT_EQ(Form1->AcrobatEngPath, "Acrobat\\Ar405eng.exe");
  EXPECT_EQ(Form1->CDRoot, "D:\\");
}

TEST_F(StartupTest, StartInsBesideTheProgramIsRead) {
  system.ModulePath = "E:\\My CD\\start.exe";
  system.Files["E:\\My CD\\start.ins"] =
      "[CDStart]\nCDVersion=3.1\nVXVersion=2,05\nRTGVersion=1e400\nAcrobatEng=Reader\\en.exe\n";
  RunUntil(0);
  EXPECT_EQ(Form1->CDRoot, "E:\\My CD\\");
  EXPECT_EQ(Form1->VersionLabel.Caption, "CD Version 3.1");
  EXPECT_EQ(Application->Title(), "orbilex CD V3.1");
  EXPECT_EQ(RequiredVXVersion, 2.0);
  EXPECT_EQ(RequiredRTGVersion, HUGE_VAL);
  EXPECT_EQ(Form1->AcrobatEngPath, "Reader\\en.exe");
  // The overflowing minimum does not stop anything: detection starts.
  EXPECT_GE(system.IndexOf("CreateFileA COM1"), 0);
}

// A program path that could not be read (empty) or names no directory leaves
// the CD unknown: start.ins is not read, the settings still are, and the
// entries start and open nothing; those that close the window still do.
TEST_F(StartupTest, WithoutItsOwnPathTheProgramTouchesNoCD) {
  for (const char* modulePath : {"", "start.exe"}) {
    VirtualClock caseClock;
    HeadlessHost caseHost(caseClock);
    FakePlatform caseSystem(caseClock);
    caseSystem.ModulePath = modulePath;
    caseSystem.Files["\\start.ins"] = "[CDStart]\nCDVersion=9.9\n";
    caseSystem.Files["start.ins"] = "[CDStart]\nCDVersion=9.9\n";
    caseSystem.Files["orbilex.ini"] = "[Einstellungen]\nSprache=Deutsch\n";
    StartProgram caseProgram(caseSystem, caseHost);
    caseHost.RunUntil(*Form1, 0);
    EXPECT_EQ(Form1->CDRoot, "") << modulePath;
    EXPECT_FALSE(Form1->English) << modulePath;
    EXPECT_EQ(Form1->VersionLabel.Caption, "CD Version 2.0") << modulePath;
    EXPECT_EQ(caseSystem.IndexOf("GetPrivateProfileStringA start.ins"), -1) << modulePath;
    EXPECT_EQ(caseSystem.IndexOf("GetPrivateProfileStringA \\start.ins"), -1) << modulePath;
    Form1->Menu2Click();
    Form1->Menu5Click();
    Form1->Menu3Click();
    EXPECT_TRUE(caseSystem.CallsStartingWith("WinExec").empty()) << modulePath;
    EXPECT_TRUE(caseSystem.CallsStartingWith("ShellExecuteA").empty()) << modulePath;
    EXPECT_TRUE(caseSystem.CallsStartingWith("SetCurrentDirectoryA").empty()) << modulePath;
    EXPECT_TRUE(caseHost.QuitCalled()) << modulePath;
  }
}

TEST_F(StartupTest, WindowsAreCreatedInOrderAndShownOnce) {
  Create();
  EXPECT_EQ(Application->Title(), "orbilex CD");
  EXPECT_EQ(Application->MainForm(), Form1);
  ASSERT_NE(VXUpdateForm, nullptr);
  ASSERT_NE(RTGUpdateForm, nullptr);
  EXPECT_FALSE(VXUpdateForm->Showing());
  EXPECT_FALSE(RTGUpdateForm->Showing());
  // Before the show handler: the arrow shows at its design place, both flags
  // are visible, the entries carry their initial texts.
  EXPECT_TRUE(Form1->Pfeil.Visible);
  EXPECT_TRUE(Form1->FahneEng.Visible && Form1->Fahneger.Visible);
  EXPECT_EQ(Form1->VersionLabel.Caption, "CD Version X.X");
  EXPECT_EQ(Form1->Menu4.Caption,
            "Update Gro\xDF"
            "anzeige");
  EXPECT_EQ(VXUpdateForm->Caption, "VXUpdateForm");
  EXPECT_EQ(RTGUpdateForm->Button2.Caption, "Fortfahren");
  EXPECT_TRUE(system.Calls.empty());

  RunUntil(0);
  EXPECT_FALSE(Form1->Pfeil.Visible);
  EXPECT_EQ(system.CallsStartingWith("GetPrivateProfileStringA orbilex.ini").size(), 1u);
}

TEST_F(StartupTest, TheWindowIsLaidOutAsDesigned) {
  Create();
  EXPECT_EQ(Form1->ClientWidth, 459);
  EXPECT_EQ(Form1->ClientHeight, 280);
  EXPECT_EQ(Form1->FrameKind, TWindow::Frame::None);
  const char* stacking[] = {"Leiste", "Shape1",   "Logo",  "Menu1", "FahneEng", "SpracheLabel",
                            "Menu2",  "Menu5",    "Menu3", "Menu4", "Menu6",    "VersionLabel",
                            "Pfeil",  "Fahneger", "Menu7", "Menu8"};
  ASSERT_EQ(Form1->Controls().size(), std::size(stacking));
  for (std::size_t i = 0; i < std::size(stacking); ++i) {
    EXPECT_EQ(Form1->Controls()[i]->Name, stacking[i]);
  }
  EXPECT_EQ(Form1->Menu8.Bounds.Top, 156);
  EXPECT_EQ(Form1->Menu8.Font.Name, "Arial");
  EXPECT_TRUE(Form1->Menu8.Font.Bold);
  EXPECT_EQ(Form1->VersionLabel.Alignment, TAlignment::Right);
  EXPECT_EQ(Form1->PollTimer.Interval, 200u);
  EXPECT_EQ(Form1->RTGWaitTimer.Interval, 500u);
  EXPECT_FALSE(Form1->PollTimer.Enabled());
}

}  // namespace
