// The POSIX platform against real files, the real environment and the real
// clock: path mapping, profile files, the locale, the program's own path and
// sleeping.
#include "platform/posix_platform.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/posix_fixture.h"

namespace {

using posixtest::ScopedCurrentDirectory;
using posixtest::ScopedEnv;
using posixtest::TempDir;
using posixtest::WriteText;

// Names on disk, as a CD file system might show them.
const std::vector<std::string> kTree = {
    "My CD/UPDATE/TARVEX/VXUPDATE.EXE",
    "My CD/ManualD.pdf",
    "both/File",
    "both/FILE",
    "Data/readme.txt",
    "Acrobat/L\xC3\xB6sung.exe",  // UTF-8
    "raw/L\xF6sung.exe",          // code page 1252
};

struct MappingCase {
  const char* Named;   // as the program names it, below the root
  const char* OnDisk;  // what it must map to, below the root
};

TEST(PosixPathTest, ComponentsAreFoundWithoutRegardToCase) {
  const MappingCase cases[] = {
      {"My CD\\Update\\Tarvex\\VXupdate.exe", "My CD/UPDATE/TARVEX/VXUPDATE.EXE"},
      {"MY CD\\update\\tarvex", "My CD/UPDATE/TARVEX"},
      {"my cd\\UPDATE\\", "My CD/UPDATE/"},
      {"My CD\\manuald.PDF", "My CD/ManualD.pdf"},
      {"My CD/Update\\Tarvex", "My CD/UPDATE/TARVEX"},
      {"Data\\\\readme.TXT", "Data/readme.txt"},
      // An exact entry wins; among others the lowest in byte order.
      {"both\\File", "both/File"},
      {"both\\FILE", "both/FILE"},
      {"both\\file", "both/FILE"},
      // Below a missing component, the rest stays as written.
      {"my cd\\Missing\\Update\\x.exe", "My CD/Missing/Update/x.exe"},
      {"Nothing\\data\\README.TXT", "Nothing/data/README.TXT"},
      // Code-page-1252 letters name UTF-8 names, and the disk's own bytes.
      {"Acrobat\\L\xF6sung.exe", "Acrobat/L\xC3\xB6sung.exe"},
      {"acrobat\\L\xD6SUNG.EXE", "Acrobat/L\xC3\xB6sung.exe"},
      {"raw\\L\xD6SUNG.exe", "raw/L\xF6sung.exe"},
      {"Acrobat\\L\xC3\xB6sung.exe", "Acrobat/L\xC3\xB6sung.exe"},
  };
  TempDir root;
  for (const std::string& file : kTree) WriteText(root.Path(file), "x");
  for (const MappingCase& c : cases) {
    EXPECT_EQ(MapToPosixPath(root.Windows(c.Named)), root.Path(c.OnDisk)) << c.Named;
  }
}

TEST(PosixPathTest, RelativePathsAreFoundFromTheCurrentDirectory) {
  TempDir root;
  for (const std::string& file : kTree) WriteText(root.Path(file), "x");
  ScopedCurrentDirectory restore;
  std::filesystem::current_path(root.Path());
  EXPECT_EQ(MapToPosixPath("my cd\\update\\Tarvex\\vxupdate.exe"),
            "My CD/UPDATE/TARVEX/VXUPDATE.EXE");
  EXPECT_EQ(MapToPosixPath("data\\nothing.txt"), "Data/nothing.txt");
}

struct ProfileCase {
  const char* Name;
  std::map<std::string, std::string> Files;  // below the root
  const char* ConfigHome;                    // XDG_CONFIG_HOME below the root; nullptr: unset
  const char* Home;                          // HOME below the root
  const char* File;  // as the program names it; with a "\" it is below the root
  const char* Section;
  const char* Key;
  const char* Expected;
};

TEST(PosixProfileTest, ValuesComeFromTheFileOnDiskOrTheDefault) {
  // A name that no machine keeps in /etc.
  const char* bare = "posix-platform-test-settings.ini";
  const ProfileCase cases[] = {
      {"bare name in the configuration directory",
       {{"xdg/posix-platform-test-settings.ini", "[Einstellungen]\nSprache=Deutsch\n"}},
       "xdg",
       "home",
       bare,
       "Einstellungen",
       "Sprache",
       "Deutsch"},
      {"bare name found without regard to case",
       {{"xdg/POSIX-PLATFORM-TEST-SETTINGS.INI", "[einstellungen]\nSPRACHE = Deutsch\n"}},
       "xdg",
       "home",
       bare,
       "Einstellungen",
       "Sprache",
       "Deutsch"},
      {"bare name under HOME when XDG_CONFIG_HOME is unset",
       {{"home/.config/posix-platform-test-settings.ini", "[Einstellungen]\nSprache=English\n"}},
       nullptr,
       "home",
       bare,
       "Einstellungen",
       "Sprache",
       "English"},
      {"XDG_CONFIG_HOME replaces HOME's directory",
       {{"home/.config/posix-platform-test-settings.ini", "[Einstellungen]\nSprache=English\n"}},
       "xdg",
       "home",
       bare,
       "Einstellungen",
       "Sprache",
       "default"},
      {"bare name missing everywhere",
       {},
       "xdg",
       "home",
       bare,
       "Einstellungen",
       "Sprache",
       "default"},
      {"CD path named in other case",
       {{"My CD/START.INS", "[CDStart]\nCDVersion=3.1\n"}},
       "xdg",
       "home",
       "my cd\\Start.ins",
       "CDStart",
       "CDVersion",
       "3.1"},
      {"missing file", {}, "xdg", "home", "My CD\\start.ins", "CDStart", "CDVersion", "default"},
      // As Windows reads it: the mark belongs to the first line.
      {"start.ins with a UTF-8 byte-order mark",
       {{"cd/start.ins", "\xEF\xBB\xBF[CDStart]\r\nCDVersion=3.1\r\n"}},
       "xdg",
       "home",
       "cd\\start.ins",
       "CDStart",
       "CDVersion",
       "default"},
      {"missing key",
       {{"cd/start.ins", "[CDStart]\nVXVersion=2.05\n"}},
       "xdg",
       "home",
       "cd\\start.ins",
       "CDStart",
       "CDVersion",
       "default"},
      {"empty value",
       {{"cd/start.ins", "[CDStart]\nCDVersion=\n"}},
       "xdg",
       "home",
       "cd\\start.ins",
       "CDStart",
       "CDVersion",
       ""},
      {"a directory in place of the file",
       {{"cd/start.ins/inner", "[CDStart]\nCDVersion=3.1\n"}},
       "xdg",
       "home",
       "cd\\start.ins",
       "CDStart",
       "CDVersion",
       "default"},
  };
  for (const ProfileCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TempDir root;
    for (const auto& [file, content] : c.Files) WriteText(root.Path(file), content);
    std::filesystem::create_directories(root.Path("xdg"));
    std::filesystem::create_directories(root.Path("home"));
    ScopedEnv config("XDG_CONFIG_HOME",
                     c.ConfigHome ? std::optional(root.Path(c.ConfigHome)) : std::nullopt);
    ScopedEnv home("HOME", root.Path(c.Home));
    const std::string file = std::string(c.File).find('\\') == std::string::npos
                                 ? std::string(c.File)
                                 : root.Windows(c.File);
    PosixPlatform platform;
    EXPECT_EQ(platform.GetPrivateProfileStringA(c.Section, c.Key, "default", file), c.Expected);
  }
}

struct LocaleCase {
  const char* All;  // LC_ALL; nullptr: unset
  const char* Messages;
  const char* Lang;
  std::uint32_t Expected;
};

TEST(PosixLocaleTest, GermanRegionsGiveTheirIdentifierOthersEnglish) {
  const LocaleCase cases[] = {
      {nullptr, nullptr, "de_DE.UTF-8", 0x0407},
      {nullptr, nullptr, "de_DE", 0x0407},
      {nullptr, nullptr, "de_DE@euro", 0x0407},
      {nullptr, nullptr, "de_CH.UTF-8", 0x0807},
      {nullptr, nullptr, "de_AT.UTF-8", 0x0C07},
      {nullptr, nullptr, "de_LU.UTF-8", 0x1007},
      {nullptr, nullptr, "de_LI.UTF-8", 0x1407},
      {nullptr, nullptr, "de_BE.UTF-8", 0x0007},
      {nullptr, nullptr, "de_IT", 0x0007},
      {nullptr, nullptr, "de", 0x0007},
      {nullptr, nullptr, "de.UTF-8", 0x0007},
      {nullptr, nullptr, "deu_DE", 0x0409},
      {nullptr, nullptr, "fr_CH.UTF-8", 0x0409},
      {nullptr, nullptr, "en_US.UTF-8", 0x0409},
      {nullptr, nullptr, "C", 0x0409},
      {nullptr, nullptr, "POSIX", 0x0409},
      {nullptr, nullptr, nullptr, 0x0409},
      {"", "", "", 0x0409},
      // LC_ALL before LC_MESSAGES before LANG; empty ones do not count.
      {"en_GB.UTF-8", "de_DE.UTF-8", "de_DE.UTF-8", 0x0409},
      {"de_AT.UTF-8", "en_US.UTF-8", "en_US.UTF-8", 0x0C07},
      {nullptr, "de_CH.UTF-8", "en_US.UTF-8", 0x0807},
      {nullptr, "en_US.UTF-8", "de_DE.UTF-8", 0x0409},
      {"", "", "de_DE.UTF-8", 0x0407},
      {"", "de_LU", "en_US", 0x1007},
  };
  PosixPlatform platform;
  for (const LocaleCase& c : cases) {
    auto value = [](const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; };
    ScopedEnv all("LC_ALL", value(c.All));
    ScopedEnv messages("LC_MESSAGES", value(c.Messages));
    ScopedEnv lang("LANG", value(c.Lang));
    EXPECT_EQ(platform.GetSystemDefaultLCID(), c.Expected)
        << (c.All ? c.All : "-") << " " << (c.Messages ? c.Messages : "-") << " "
        << (c.Lang ? c.Lang : "-");
  }
}

TEST(PosixModuleTest, OwnPathNamesThisProgramWithBackslashes) {
  PosixPlatform platform;
  const std::string own = platform.GetModuleFileNameA();
  ASSERT_FALSE(own.empty());
  EXPECT_EQ(own.find('/'), std::string::npos);
  EXPECT_EQ(own.front(), '\\');
  struct stat named = {};
  struct stat running = {};
  ASSERT_EQ(stat(MapToPosixPath(own).c_str(), &named), 0) << own;
  ASSERT_EQ(stat("/proc/self/exe", &running), 0);
  EXPECT_EQ(named.st_ino, running.st_ino);
  EXPECT_EQ(named.st_dev, running.st_dev);
}

// The program's folder is used as it is on disk, a "\" in its name
// included: only what lies below it is mapped. Without a readable own path
// there is none.
TEST(PosixModuleTest, TheProgramsFolderIsTakenAsItIs) {
  ScopedCurrentDirectory restore;
  TempDir dir;
  for (const char* cd : {"cd\\x", "cd/x"}) {
    std::filesystem::create_directories(dir.Path(cd) + "/Update/Tarvex");
    WriteText(dir.Path(cd) + "/start.ins", std::string("[CDStart]\nCDVersion=") + cd + "\n");
  }
  ASSERT_EQ(symlink(dir.Path("cd\\x/start").c_str(), dir.Path("exe").c_str()), 0);
  PosixPlatform platform(std::chrono::seconds(3), dir.Path("exe"));
  const std::string own = platform.GetModuleFileNameA();
  const std::string root = own.substr(0, own.rfind('\\') + 1);
  EXPECT_EQ(platform.GetPrivateProfileStringA("CDStart", "CDVersion", "", root + "start.ins"),
            "cd\\x");
  platform.SetCurrentDirectoryA(root + "update\\tarvex");
  EXPECT_EQ(std::filesystem::current_path(), dir.Path("cd\\x/Update/Tarvex"));

  PosixPlatform nowhere(std::chrono::seconds(3), dir.Path("absent"));
  EXPECT_EQ(nowhere.GetModuleFileNameA(), "");
}

volatile sig_atomic_t alarms = 0;

TEST(PosixSleepTest, SleepsOnAfterAnInterruptingSignal) {
  struct sigaction count = {};
  count.sa_handler = [](int) { alarms = alarms + 1; };
  sigemptyset(&count.sa_mask);
  count.sa_flags = 0;  // no SA_RESTART: the signal interrupts nanosleep
  struct sigaction old = {};
  ASSERT_EQ(sigaction(SIGALRM, &count, &old), 0);
  alarms = 0;
  itimerval timer = {};
  timer.it_value.tv_usec = 10000;
  ASSERT_EQ(setitimer(ITIMER_REAL, &timer, nullptr), 0);

  PosixPlatform platform;
  const auto start = std::chrono::steady_clock::now();
  platform.Sleep(120);
  const auto slept = std::chrono::steady_clock::now() - start;

  timer = {};
  setitimer(ITIMER_REAL, &timer, nullptr);
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_EQ(alarms, 1);
  EXPECT_GE(slept, std::chrono::milliseconds(120));
}

}  // namespace
