// What the start menu reads and starts on its CD, shared by the start window
// and the CD check (cdcheck): start.ins with its keys and their defaults,
// the programs and documents of the entries, and the limits of the buffers
// that their paths pass through. Paths are relative to the CD root and
// "\"-separated, code page 1252.
#pragma once

#include <array>
#include <cstddef>

inline constexpr const char* kStartIns = "start.ins";
inline constexpr const char* kCDStart = "CDStart";

struct InsKey {
  const char* Name;
  const char* Default;
};
inline constexpr InsKey kCDVersionKey{"CDVersion", "2.0"};
inline constexpr InsKey kAcrobatGerKey{"AcrobatGer", "Acrobat\\Ar405deu.exe"};
inline constexpr InsKey kAcrobatEngKey{"AcrobatEng", "Acrobat\\Ar405eng.exe"};
inline constexpr InsKey kVXVersionKey{"VXVersion", "1.0"};
inline constexpr InsKey kRTGVersionKey{"RTGVersion", "1.0"};
inline constexpr std::array<InsKey, 5> kInsKeys{kCDVersionKey, kAcrobatGerKey, kAcrobatEngKey,
                                                kVXVersionKey, kRTGVersionKey};

// A program an entry starts, after making `Directory` the current directory
// (none for an empty one).
struct CDProgram {
  const char* Directory;
  const char* Path;
};
inline constexpr CDProgram kSetupProgram{"", "setup.exe"};
inline constexpr CDProgram kTarvexUpdater{"Update\\Tarvex", "Update\\Tarvex\\VXupdate.exe"};
inline constexpr CDProgram kDisplayUpdater{"Update\\Display", "Update\\Display\\update.exe"};
inline constexpr CDProgram kXrayUpdater{"Update\\Rtg", "Update\\Rtg\\rtgupd.exe"};
inline constexpr CDProgram kFranckHertzUpdater{"Update\\fhv", "Update\\fhv\\fhvupd.exe"};
inline constexpr std::array<CDProgram, 5> kCDPrograms{
    kSetupProgram, kTarvexUpdater, kDisplayUpdater, kXrayUpdater, kFranckHertzUpdater};

inline constexpr const char* kManualGer = "ManualD.pdf";
inline constexpr const char* kManualEng = "ManualE.pdf";

// The longest command line or document path (CD root included), and the
// longest working directory handed over with the manual.
inline constexpr std::size_t kCommandMax = 259;
inline constexpr std::size_t kDirectoryMax = 99;
