#include "core_fixture.h"

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

}  // namespace
