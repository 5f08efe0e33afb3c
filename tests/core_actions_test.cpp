#include <string>

#include "app/global.h"
#include "core_fixture.h"

namespace {

class ActionsTest : public ProgramTest {
 protected:
  void Start(bool english) {
    system.Lcid = english ? 0x0409 : 0x0407;
    RunUntil(0);
    system.Calls.clear();
  }
};

TEST_F(ActionsTest, InstallAndUpdateEntriesStartFromTheirDirectoryAndClose) {
  struct Case {
    void (TForm1::*click)();
    const char* directory;
    const char* program;
  };
  const Case cases[] = {
      {&TForm1::Menu1Click, "D:\\", "D:\\setup.exe"},
      {&TForm1::Menu3Click, "D:\\Update\\Tarvex", "D:\\Update\\Tarvex\\VXupdate.exe"},
      {&TForm1::Menu4Click, "D:\\Update\\Display", "D:\\Update\\Display\\update.exe"},
      {&TForm1::Menu7Click, "D:\\Update\\Rtg", "D:\\Update\\Rtg\\rtgupd.exe"},
      {&TForm1::Menu8Click, "D:\\Update\\fhv", "D:\\Update\\fhv\\fhvupd.exe"},
  };
  for (const Case& c : cases) {
    VirtualClock caseClock;
    HeadlessHost caseHost(caseClock);
    FakePlatform caseSystem(caseClock);
    caseSystem.Ports["COM1"].Present = true;
    StartProgram caseProgram(caseSystem, caseHost);
    caseHost.RunUntil(*Form1, 100);  // the interface stage has COM1 open
    ASSERT_EQ(caseSystem.OpenPortCount(), 1);
    (Form1->*c.click)();
    const auto launches = caseSystem.CallsStartingWith("WinExec ");
    ASSERT_EQ(launches.size(), 1u) << c.program;
    EXPECT_EQ(launches[0].What,
              std::string("WinExec ") + c.program + " 10 in " + c.directory + " with 0 ports open");
    EXPECT_TRUE(caseHost.QuitCalled()) << c.program;
    EXPECT_EQ(std::string(Form1->CommandBuffer.data()), c.program);
    // Nothing more happens once the program is ending.
    const std::size_t calls = caseSystem.Calls.size();
    caseHost.RunUntil(*Form1, 5000);
    EXPECT_EQ(caseSystem.Calls.size(), calls);
  }
}

TEST_F(ActionsTest, ManualOpensInTheCurrentLanguageAndStaysOpen) {
  system.Files["D:\\ManualD.pdf"] = "%PDF";
  system.Files["D:\\ManualE.pdf"] = "%PDF";
  Start(false);
  Form1->Menu2Click();
  Form1->LanguageClick(Form1->FahneEng);
  Form1->Menu2Click();
  const auto opened = system.CallsStartingWith("ShellExecuteA");
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].What, "ShellExecuteA D:\\ManualD.pdf D:\\ 3 -> 42");
  EXPECT_EQ(opened[1].What, "ShellExecuteA D:\\ManualE.pdf D:\\ 3 -> 43");
  EXPECT_TRUE(Launches().empty());
  EXPECT_FALSE(host.QuitCalled());
}

TEST_F(ActionsTest, ManualFallsBackToTheReaderInstallerOfTheLanguage) {
  system.Files["D:\\ManualE.pdf"] = "%PDF";
  Start(false);
  Form1->Menu2Click();  // the German manual is missing
  system.ViewerInstalled = false;
  Form1->LanguageClick(Form1->FahneEng);
  Form1->Menu2Click();  // no viewer at all
  const auto launches = Launches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].rfind("WinExec D:\\Acrobat\\Ar405deu.exe 10 in C:\\", 0), 0u);
  EXPECT_EQ(launches[1].rfind("WinExec D:\\Acrobat\\Ar405eng.exe 10", 0), 0u);
  EXPECT_TRUE(system.CallsStartingWith("SetCurrentDirectoryA").empty());
  EXPECT_FALSE(host.QuitCalled());
}

// A viewer that reports its failure later brings the reader's installer of
// the language at the click, then; not once the program is ending.
TEST_F(ActionsTest, AViewerThatFailsLateStartsTheInstallerOfTheClicksLanguage) {
  system.Files["D:\\ManualD.pdf"] = "%PDF";
  system.Files["D:\\ManualE.pdf"] = "%PDF";
  system.ViewerFailsAfter = 2000;
  Start(false);
  ClickControlAt(1000, *Form1, Form1->Menu2);
  host.At(1500, [] { Form1->LanguageClick(Form1->FahneEng); });
  RunUntil(2900);
  EXPECT_TRUE(Launches().empty());
  RunUntil(3200);
  const auto launches = Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0].rfind("WinExec D:\\Acrobat\\Ar405deu.exe 10", 0), 0u);
  EXPECT_FALSE(Form1->ViewerTimer.Enabled());

  ClickControlAt(4000, *Form1, Form1->Menu2);
  ClickControlAt(4500, *Form1, Form1->Menu6);
  RunUntil(8000);
  EXPECT_EQ(Launches().size(), 1u);
}

TEST_F(ActionsTest, ReaderEntryUsesTheConfiguredPaths) {
  SetStartIns("[CDStart]\nAcrobatEng=Tools\\Reader EN.exe\nAcrobatGer=Tools\\Reader DE.exe\n");
  Start(true);
  Form1->Menu5Click();
  Form1->LanguageClick(Form1->Fahneger);
  Form1->Menu5Click();
  const auto launches = Launches();
  ASSERT_EQ(launches.size(), 2u);
  EXPECT_EQ(launches[0].rfind("WinExec D:\\Tools\\Reader EN.exe 10", 0), 0u);
  EXPECT_EQ(launches[1].rfind("WinExec D:\\Tools\\Reader DE.exe 10", 0), 0u);
  EXPECT_FALSE(host.QuitCalled());
}

TEST_F(ActionsTest, ExitClosesAndClosesThePorts) {
  RunUntil(100);
  ASSERT_EQ(system.OpenPortCount(), 4);
  ClickControlAt(150, *Form1, Form1->Menu6);
  RunUntil(2000);
  EXPECT_TRUE(host.QuitCalled());
  EXPECT_EQ(system.OpenPortCount(), 0);
  EXPECT_TRUE(Launches().empty());
  EXPECT_TRUE(system.CallsStartingWith("WriteFile COM1 0iv").empty());
}

TEST_F(ActionsTest, ADoubleClickRunsTheActionOnce) {
  Start(true);
  const int x = 150, y = 190;  // Menu5
  Form1->MouseDown(x, y, 1);
  Form1->MouseUp(x, y);
  Form1->MouseDown(x, y, 2);
  Form1->MouseUp(x, y);
  EXPECT_EQ(Launches().size(), 1u);
}

TEST_F(ActionsTest, AClickNeedsPressAndReleaseOnTheSameEntry) {
  Start(true);
  Form1->MouseDown(150, 190, 1);  // Menu5
  Form1->MouseUp(150, 218);       // released over Exit
  EXPECT_TRUE(Launches().empty());
  EXPECT_FALSE(host.QuitCalled());
}

TEST_F(ActionsTest, PathsLongerThanTheirBuffersAreRefusedNotCut) {
  const std::string root = "D:\\" + std::string(232, 'a') + "\\";  // 236 characters
  system.ModulePath = root + "start.exe";
  system.Files[root + "ManualE.pdf"] = "%PDF";
  Start(true);
  Form1->Menu2Click();  // the working directory does not fit 99 characters
  EXPECT_TRUE(system.CallsStartingWith("ShellExecuteA").empty());
  EXPECT_EQ(Launches().size(), 1u);  // the reader installer: 236 + 20 fit
  Form1->Menu3Click();               // 236 + 26 characters do not fit 259
  EXPECT_EQ(Launches().size(), 1u);
  EXPECT_EQ(system.CallsStartingWith("SetCurrentDirectoryA").size(), 1u);
  EXPECT_TRUE(host.QuitCalled());
}

TEST_F(ActionsTest, ABlankInTheRootIsPassedUnquoted) {
  system.ModulePath = "E:\\My CD\\start.exe";
  Start(true);
  Form1->Menu8Click();
  ASSERT_EQ(Launches().size(), 1u);
  EXPECT_EQ(Launches()[0].rfind(
                "WinExec E:\\My CD\\Update\\fhv\\fhvupd.exe 10 in E:\\My CD\\Update\\fhv", 0),
            0u);
}

}  // namespace
