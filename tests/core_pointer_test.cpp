#include "core_fixture.h"

#include <sstream>

namespace {

class PointerTest : public ProgramTest {
 protected:
  void SetUp() override { RunUntil(0); }
  void Move(int x, int y) { Form1->MouseMove(x, y); }
  int ArrowTop() const { return Form1->Pfeil.Bounds.Top; }
  bool ArrowShown() const { return Form1->Pfeil.Visible; }
};

TEST_F(PointerTest, TheArrowFollowsTheEntries) {
  EXPECT_FALSE(ArrowShown());
  Move(150, 110);  // Menu3
  EXPECT_TRUE(ArrowShown());
  EXPECT_EQ(ArrowTop(), 109);
  EXPECT_EQ(Application->Cursor(), TCursor::Hand);

  Move(150, 123);  // the row of the frame shape between Menu3 and Menu4
  EXPECT_FALSE(ArrowShown());
  EXPECT_EQ(Application->Cursor(), TCursor::Default);

  Move(150, 124);  // Menu4
  EXPECT_TRUE(ArrowShown());
  EXPECT_EQ(ArrowTop(), 125);

  Move(328, 216);  // Menu6, last pixel column
  EXPECT_EQ(ArrowTop(), 217);
  Move(329, 216);  // just right of it
  EXPECT_FALSE(ArrowShown());
}

TEST_F(PointerTest, MovesOntoControlsWithoutHandlersChangeNothing) {
  for (const auto& [x, y] : {std::pair{100, 20}, {400, 265}, {88, 145}}) {
    Move(150, 145);  // Menu7
    ASSERT_TRUE(ArrowShown());
    Move(x, y);  // logo, version label, the arrow itself
    EXPECT_TRUE(ArrowShown()) << x << "," << y;
    EXPECT_EQ(ArrowTop(), 141);
    EXPECT_EQ(Application->Cursor(), TCursor::Hand);
  }
}

TEST_F(PointerTest, LanguageControlsShowTheHandOnly) {
  Move(300, 40);                                                 // background
  for (const auto& [x, y] : {std::pair{80, 265}, {120, 265}}) {  // flag, label
    Move(x, y);
    EXPECT_EQ(Application->Cursor(), TCursor::Hand);
    EXPECT_FALSE(ArrowShown());
  }
  Move(150, 65);   // Menu1
  Move(110, 265);  // language label
  EXPECT_TRUE(ArrowShown());
  EXPECT_EQ(ArrowTop(), 65);
}

TEST_F(PointerTest, TheSideStripAndEmptySpaceResetEverything) {
  Move(150, 190);  // Menu5
  Move(30, 100);   // side strip, under the frame shape
  EXPECT_FALSE(ArrowShown());
  EXPECT_EQ(Application->Cursor(), TCursor::Default);
  Move(0, 0);  // the frame's corner
  EXPECT_EQ(Application->Cursor(), TCursor::Default);
}

TEST_F(PointerTest, MovesWithTheButtonHeldGoWhereItWasPressed) {
  // Pressed on Menu2 and dragged across the background and out of the
  // window: the arrow stays at Menu2; released outside, nothing is clicked.
  Move(150, 82);
  Form1->MouseDown(150, 82, 1);
  Move(300, 40);
  Move(600, 82);
  EXPECT_TRUE(ArrowShown());
  EXPECT_EQ(ArrowTop(), 81);
  EXPECT_EQ(Application->Cursor(), TCursor::Hand);
  Form1->MouseUp(600, 82);
  EXPECT_TRUE(system.CallsStartingWith("ShellExecute").empty());
  // Free again: a move over the background hides the arrow.
  Move(300, 40);
  EXPECT_FALSE(ArrowShown());

  // Pressed on the background and dragged over Menu3: nothing shows.
  Form1->MouseDown(300, 40, 1);
  Move(150, 110);
  EXPECT_FALSE(ArrowShown());
  EXPECT_EQ(Application->Cursor(), TCursor::Default);
  Form1->MouseUp(150, 110);
  Move(150, 110);
  EXPECT_TRUE(ArrowShown());
}

TEST_F(PointerTest, HitTestingFindsTheTopmostVisibleControl) {
  EXPECT_EQ(Form1->ControlAt(80, 265)->Name, Form1->English ? "Fahneger" : "FahneEng");
  Form1->LanguageClick(Form1->SpracheLabel);
  EXPECT_EQ(Form1->ControlAt(80, 265)->Name, Form1->English ? "Fahneger" : "FahneEng");
  EXPECT_EQ(Form1->ControlAt(10, 10)->Name, "Shape1");
  EXPECT_EQ(Form1->ControlAt(459, 10), nullptr);
}

// The selection as the window shows it: the entry beside the arrow, the
// language switch with its focus mark, or nothing.
std::string Selected() {
  if (Form1->SpracheLabel.FocusMark) return "language";
  if (!Form1->Pfeil.Visible) return "";
  for (const auto& control : Form1->Controls()) {
    if (control->Name.starts_with("Menu") && control->Bounds.Top + 1 == Form1->Pfeil.Bounds.Top) {
      return control->Name;
    }
  }
  return "?";
}

TEST_F(PointerTest, KeysMoveTheArrowAndActOncePerPress) {
  system.Files["D:\\ManualD.pdf"] = "%PDF";
  system.Files["D:\\ManualE.pdf"] = "%PDF";
  // Keys, "Enter*" a repeat, "^Enter" a release; "m<y>" the mouse over the
  // entry at row y, "bg" over the background.
  const struct {
    const char* input;
    const char* selected;
    std::size_t manuals;  // Menu2's action
    std::size_t readers;  // Menu5's action
    bool switched;        // the language switch's action
  } cases[] = {
      {"Down", "Menu1", 0, 0, false},
      {"Up", "Menu6", 0, 0, false},
      {"Down Down Down Down Down Down", "Menu8", 0, 0, false},
      {"End Up Up", "Menu8", 0, 0, false},
      {"Home Up", "Menu1", 0, 0, false},
      {"End Down", "Menu6", 0, 0, false},
      {"Tab", "Menu1", 0, 0, false},
      {"ShiftTab", "language", 0, 0, false},
      {"End Tab", "language", 0, 0, false},
      {"End Tab Tab", "Menu1", 0, 0, false},
      {"Home ShiftTab ShiftTab", "Menu6", 0, 0, false},
      {"End Tab Up", "Menu6", 0, 0, false},
      {"End Tab Down Escape", "language", 0, 0, false},
      {"m110 Down", "Menu4", 0, 0, false},
      {"m110 bg Down", "Menu1", 0, 0, false},
      {"ShiftTab m65", "Menu1", 0, 0, false},
      {"Enter Space", "", 0, 0, false},
      {"Down Down Enter", "Menu2", 1, 0, false},
      {"Down Down Enter Enter* Enter*", "Menu2", 1, 0, false},
      {"Down Down Space Enter", "Menu2", 2, 0, false},
      {"m190 Enter", "Menu5", 0, 1, false},
      {"ShiftTab Space Space*", "language", 0, 0, true},
      // Held since before the window had the keyboard: nothing until released.
      {"^Down Down* Down*", "", 0, 0, false},
      {"^Enter m190 Enter* Enter*", "Menu5", 0, 0, false},
      {"^Down Down* ^Down Down Down*", "Menu2", 0, 0, false},
  };
  for (const auto& c : cases) {
    Move(150, 65);  // clears the selection: the arrow at Menu1, then gone
    Move(300, 40);
    const std::size_t manuals = system.CallsStartingWith("ShellExecuteA").size();
    const std::size_t readers = Launches().size();
    const bool english = Form1->English;
    std::istringstream input(c.input);
    for (std::string token; input >> token;) {
      const std::pair<const char*, TKey> keys[] = {
          {"Up", TKey::Up},       {"Down", TKey::Down},   {"Home", TKey::Home},
          {"End", TKey::End},     {"Tab", TKey::Tab},     {"ShiftTab", TKey::ShiftTab},
          {"Enter", TKey::Enter}, {"Space", TKey::Space}, {"Escape", TKey::Escape}};
      if (token == "bg") Move(300, 40);
      if (token[0] == 'm') Move(150, std::stoi(token.substr(1)));
      const bool repeat = token.ends_with('*');
      if (repeat) token.pop_back();
      const bool release = token.starts_with('^');
      if (release) token.erase(0, 1);
      for (const auto& [name, key] : keys) {
        if (token == name && release) Form1->KeyUp(key);
        if (token == name && !release) Form1->KeyDown(key, repeat);
      }
    }
    EXPECT_EQ(Selected(), c.selected) << c.input;
    EXPECT_EQ(Form1->Pfeil.Visible, c.selected[0] == 'M') << c.input;
    EXPECT_EQ(system.CallsStartingWith("ShellExecuteA").size() - manuals, c.manuals) << c.input;
    EXPECT_EQ(Launches().size() - readers, c.readers) << c.input;
    EXPECT_EQ(Form1->English != english, c.switched) << c.input;
  }
  EXPECT_FALSE(host.QuitCalled());
  Form1->KeyDown(TKey::End, false);
  Form1->KeyDown(TKey::Enter, false);  // Exit
  EXPECT_TRUE(host.QuitCalled());
}

}  // namespace
