// What a screen reader is told of the start window and the prompts
// (toolkit/access.h): the parts, their roles and names in both languages,
// focus moves, and default actions.
#include <sstream>
#include <string>
#include <vector>

#include "core_fixture.h"
#include "toolkit/access.h"

namespace {

class AccessTest : public ProgramTest {};

// "<role>: <name>" of each part, and "*" after the focused one.
std::vector<std::string> Parts(const TWindow& window) {
  std::vector<std::string> lines;
  for (const TAccessible& part : AccessibleParts(window)) {
    const char* roles[] = {"none", "link", "push button", "static text"};
    lines.push_back(std::string(roles[static_cast<int>(part.Role)]) + ": " + part.Name +
                    (part.Focused ? " *" : ""));
  }
  return lines;
}

TEST_F(AccessTest, TheStartWindowIsReadInItsLanguageAndFollowsTheSwitch) {
  SetStartIns("[CDStart]\nCDVersion=2.1\n");
  system.Lcid = 0x0407;
  RunUntil(0);
  EXPECT_EQ(Parts(*Form1), (std::vector<std::string>{
                               "link: orbilex installieren/updaten",
                               "link: orbilex Handbuch anzeigen",
                               "link: Update Tarvex",
                               "link: Update Gro\xDF"
                               "anzeige",
                               "link: Update R\xF6ntgenger\xE4t",
                               "link: Update Betriebsger\xE4t Franck-Hertz",
                               "link: Acrobat Reader installieren",
                               "link: Beenden",
                               "push button: English",
                               "static text: CD Version 2.1",
                           }));
  EXPECT_EQ(AccessibleActionName(TAccessRole::Link), std::string("jump"));
  EXPECT_EQ(AccessibleActionName(TAccessRole::PushButton), std::string("press"));
  EXPECT_EQ(AccessibleActionName(TAccessRole::StaticText), nullptr);

  // The switch's default action; the names follow at once.
  Form1->AccessibleAction(*AccessibleParts(*Form1)[8].Control);
  EXPECT_TRUE(Form1->English);
  Form1->KeyDown(TKey::End);
  EXPECT_EQ(Parts(*Form1), (std::vector<std::string>{
                               "link: Install or update orbilex",
                               "link: View the orbilex manual",
                               "link: Update Tarvex",
                               "link: Update KORVA Display",
                               "link: Update X-ray device",
                               "link: Update Control Unit Franck-Hertz",
                               "link: Install the Acrobat Reader",
                               "link: Exit *",
                               "push button: Deutsch",
                               "static text: CD Version 2.1",
                           }));
  // The entry's default action is its click: "Exit" ends the program.
  Form1->AccessibleAction(*AccessibleParts(*Form1)[7].Control);
  EXPECT_TRUE(host.QuitCalled());
}

TEST_F(AccessTest, EveryKeyboardMoveOfTheSelectionIsAFocusMove) {
  system.Lcid = 0x0409;
  RunUntil(0);
  // Keys, or "m<y>": the mouse over the entry at row y; "bg": over the
  // background. The focus moves seen, the entries by their texts.
  const struct {
    const char* input;
    std::vector<std::string> moves;
  } cases[] = {
      {"Down Down", {"Install or update orbilex", "View the orbilex manual"}},
      {"End Up Home", {"Exit", "Install the Acrobat Reader", "Install or update orbilex"}},
      {"ShiftTab Tab", {"Deutsch", "Install or update orbilex"}},
      {"Escape", {}},
      {"m110 bg", {}},
      {"m110 Down", {"Update KORVA Display"}},
  };
  for (const auto& c : cases) {
    Form1->MouseMove(300, 40);
    host.FocusMoves.clear();
    std::istringstream input(c.input);
    for (std::string token; input >> token;) {
      const std::pair<const char*, TKey> keys[] = {
          {"Up", TKey::Up},        {"Down", TKey::Down},         {"Home", TKey::Home},
          {"End", TKey::End},      {"ShiftTab", TKey::ShiftTab}, {"Tab", TKey::Tab},
          {"Escape", TKey::Escape}};
      if (token == "bg") Form1->MouseMove(300, 40);
      if (token[0] == 'm') Form1->MouseMove(150, std::stoi(token.substr(1)));
      for (const auto& [name, key] : keys) {
        if (token == name) Form1->KeyDown(key);
      }
    }
    std::vector<std::string> expected;
    for (const std::string& move : c.moves) expected.push_back("Form1: " + move);
    EXPECT_EQ(host.FocusMoves, expected) << c.input;
  }
}

TEST_F(AccessTest, APromptIsReadWithItsButtonsAndOnlyItActsWhileUp) {
  SetStartIns("[CDStart]\nVXVersion=2.0\n");
  Attach("COM2", InterfaceDevice("1.5"));
  system.Lcid = 0x0407;
  host.At(410, [this] {
    EXPECT_EQ(Parts(*VXUpdateForm),
              (std::vector<std::string>{
                  "static text: Es wurde ein angeschlossenes Tarvex Interface erkannt, dass eine "
                  "veraltete Version der Firmware verwendet. ",
                  "static text: Es wird dringend empfohlen, die Firmware durch ein Update zu "
                  "aktualisieren. Ohne ein Update kann kein fehlerfreier Betrieb des Interfaces "
                  "gew\xE4hrleistet werden.",
                  "static text: M\xF6"
                  "chten Sie das Tarvex Interface jetzt aktualisieren?",
                  "push button: Update durchf\xFChren *",
                  "push button: Ignorieren",
              }));
    VXUpdateForm->KeyDown(TKey::Tab);
    // The start window's parts cannot be acted on while the prompt is up.
    Form1->AccessibleAction(Form1->Menu6);
    EXPECT_FALSE(host.QuitCalled());
    VXUpdateForm->AccessibleAction(VXUpdateForm->Button2);
  });
  RunUntil(1000);
  EXPECT_EQ(host.FocusMoves, (std::vector<std::string>{"VXUpdateForm: Update durchf\xFChren",
                                                       "VXUpdateForm: Ignorieren"}));
  ASSERT_EQ(host.Modals.size(), 1u);
  EXPECT_EQ(host.Modals[0].Closed, 410u);
}

}  // namespace
