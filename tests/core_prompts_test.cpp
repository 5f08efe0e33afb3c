#include <string>
#include <utility>

#include "app/global.h"
#include "core_fixture.h"
#include "ui/texts.h"

namespace {

class PromptTest : public ProgramTest {
 protected:
  // An out-of-date interface on COM2 and an out-of-date X-ray unit on COM3.
  void OutOfDateDevices() {
    SetStartIns("[CDStart]\nVXVersion=2.0\nRTGVersion=1.1\n");
    Attach("COM2", InterfaceDevice("1.5"));
    Attach("COM3", XrayDevice("1.02"));
  }
};

TEST_F(PromptTest, TextsFollowTheLanguageByteForByte) {
  system.Lcid = 0x0407;
  RunUntil(0);
  ASSERT_FALSE(Form1->English);
  EXPECT_EQ(VXUpdateForm->Caption, "Veraltete Tarvex Version gefunden");
  EXPECT_EQ(
      VXUpdateForm->Label1.Caption,
      "Es wurde ein angeschlossenes Tarvex Interface erkannt, dass eine veraltete Version der "
      "Firmware verwendet. ");
  EXPECT_EQ(VXUpdateForm->Label3.Caption,
            "M\xF6"
            "chten Sie das Tarvex Interface jetzt aktualisieren?");
  EXPECT_EQ(VXUpdateForm->Button1.Caption, "Update durchf\xFChren");
  EXPECT_EQ(VXUpdateForm->Button2.Caption, "Ignorieren");
  EXPECT_EQ(RTGUpdateForm->Caption, "Veraltete Firmware des R\xF6ntgenger\xE4tes gefunden");
  EXPECT_EQ(RTGUpdateForm->Label1.Caption,
            "Es wurde ein angeschlossenes R\xF6ntgenger\xE4t erkannt, das \xFC"
            "ber eine veraltete "
            "Version der Firmware verf\xFCgt.");
  EXPECT_EQ(Form1->Menu8.Caption, "Update Betriebsger\xE4t Franck-Hertz");
  EXPECT_EQ(Form1->SpracheLabel.Caption, "English");
  EXPECT_TRUE(Form1->FahneEng.Visible);
  EXPECT_FALSE(Form1->Fahneger.Visible);
  EXPECT_EQ(VXUpdateForm->Label3.Bounds.Top, 90);
  EXPECT_EQ(RTGUpdateForm->Label3.Bounds.Top, 90);

  Form1->LanguageClick(Form1->SpracheLabel);
  EXPECT_EQ(VXUpdateForm->Caption, "Out-of-date Tarvex version detected");
  EXPECT_EQ(VXUpdateForm->Button1.Caption, "Update Tarvex now");
  EXPECT_EQ(RTGUpdateForm->Button1.Caption, "Update device now");
  EXPECT_EQ(RTGUpdateForm->Label1.Caption,
            "A connected x-ray device has been detected, which uses an out-of-date version of the "
            "device's firmware.");
  EXPECT_EQ(Form1->Menu4.Caption, "Update KORVA Display");
  EXPECT_EQ(Form1->Menu3.Caption, "Update Tarvex");
  EXPECT_EQ(Form1->SpracheLabel.Caption, "Deutsch");
  EXPECT_FALSE(Form1->FahneEng.Visible);
  EXPECT_TRUE(Form1->Fahneger.Visible);
  EXPECT_EQ(VXUpdateForm->Label3.Bounds.Top, 78);
  // The question sizes itself to its text.
  EXPECT_EQ(VXUpdateForm->Label3.Bounds.Width,
            host.TextWidth(VXUpdateForm->Font, VXUpdateForm->Label3.Caption));
  // The language switch leaves the version label and the title alone.
  EXPECT_EQ(Form1->VersionLabel.Caption, "CD Version 2.0");
  EXPECT_EQ(Application->Title(), "orbilex CD V2.0");
}

TEST_F(PromptTest, TwoSwitchesRestoreEveryText) {
  RunUntil(0);
  auto snapshot = [] {
    std::vector<std::string> texts;
    for (const TWindow* window : {static_cast<TWindow*>(Form1), static_cast<TWindow*>(VXUpdateForm),
                                  static_cast<TWindow*>(RTGUpdateForm)}) {
      texts.push_back(window->Caption);
      for (const auto& c : window->Controls()) {
        texts.push_back(c->Name + "|" + c->Caption + "|" + std::to_string(c->Visible) + "|" +
                        std::to_string(c->Bounds.Top));
      }
    }
    return texts;
  };
  const auto before = snapshot();
  Form1->LanguageClick(Form1->Fahneger);
  EXPECT_NE(snapshot(), before);
  Form1->LanguageClick(Form1->FahneEng);
  EXPECT_EQ(snapshot(), before);
}

TEST_F(PromptTest, AClickOnTheFlagSwitchesOnceEvenWhenDoubled) {
  RunUntil(0);
  ASSERT_TRUE(Form1->English);
  Form1->MouseDown(80, 265, 1);
  Form1->MouseUp(80, 265);
  Form1->MouseDown(80, 265, 2);
  Form1->MouseUp(80, 265);
  EXPECT_FALSE(Form1->English);
  EXPECT_EQ(Form1->Menu1.Caption, "orbilex installieren/updaten");
}

TEST_F(PromptTest, KeysMoveFocusAndPressButtons) {
  OutOfDateDevices();
  host.At(410, [this] {
    EXPECT_EQ(VXUpdateForm->Focused(), &VXUpdateForm->Button1);
    VXUpdateForm->KeyDown(TKey::Tab);
    EXPECT_EQ(VXUpdateForm->Focused(), &VXUpdateForm->Button2);
    VXUpdateForm->KeyDown(TKey::Tab);
    EXPECT_EQ(VXUpdateForm->Focused(), &VXUpdateForm->Button1);
    VXUpdateForm->KeyDown(TKey::ShiftTab);
    EXPECT_EQ(VXUpdateForm->Focused(), &VXUpdateForm->Button2);
    VXUpdateForm->KeyDown(TKey::Escape);
    EXPECT_TRUE(VXUpdateForm->Showing());
    // The start window ignores the mouse while the prompt is up.
    Form1->MouseMove(150, 110);
    EXPECT_FALSE(Form1->Pfeil.Visible);
    EXPECT_EQ(Application->Cursor(), TCursor::Default);
    Form1->MouseDown(150, 218, 1);
    Form1->MouseUp(150, 218);
    EXPECT_FALSE(host.QuitCalled());
  });
  host.At(420, [] { VXUpdateForm->KeyDown(TKey::Enter); });  // presses "Ignore"
  host.At(1500, [] {
    EXPECT_EQ(RTGUpdateForm->Focused(), &RTGUpdateForm->Button1);
    RTGUpdateForm->KeyDown(TKey::AltF4);
  });
  RunUntil(3000);
  ASSERT_EQ(host.Modals.size(), 2u);
  EXPECT_EQ(host.Modals[0].Closed, 420u);
  EXPECT_EQ(host.Modals[1].Closed, 1500u);
  EXPECT_FALSE(host.QuitCalled());
  EXPECT_EQ(Form1->DetectStep, 3);
}

// A key held down when a prompt comes (its repeats) does nothing there until
// released; a repeat of a key pressed in the prompt moves the focus but never
// presses a button.
TEST_F(PromptTest, APromptTakesOnlyKeysPressedWhileItIsShown) {
  OutOfDateDevices();
  host.At(300, [] { Form1->KeyDown(TKey::Enter); });
  host.At(410, [] {
    for (const TKey key : {TKey::Enter, TKey::Space, TKey::Tab}) VXUpdateForm->KeyDown(key, true);
    EXPECT_EQ(VXUpdateForm->Focused(), &VXUpdateForm->Button1);
    VXUpdateForm->KeyDown(TKey::Tab);
    VXUpdateForm->KeyDown(TKey::Tab, true);
    VXUpdateForm->KeyDown(TKey::Tab, true);
    EXPECT_EQ(VXUpdateForm->Focused(), &VXUpdateForm->Button2);
    VXUpdateForm->KeyUp(TKey::Enter);
    VXUpdateForm->KeyDown(TKey::Space);  // presses "Ignore"
  });
  host.At(1200, [] {
    // Space, pressed in the other prompt, is still held.
    RTGUpdateForm->KeyDown(TKey::Space, true);
    EXPECT_TRUE(RTGUpdateForm->Showing());
    RTGUpdateForm->KeyUp(TKey::Space);
    RTGUpdateForm->KeyDown(TKey::Space);  // presses "Update"
  });
  RunUntil(3000);
  ASSERT_EQ(host.Modals.size(), 2u);
  EXPECT_EQ(host.Modals[0].Closed, 410u);
  EXPECT_EQ(host.Modals[1].Closed, 1200u);
  EXPECT_EQ(Launches().size(), 1u);
}

TEST_F(PromptTest, TheCursorIsTheDefaultWhileAPromptIsUp) {
  OutOfDateDevices();
  Create();
  MoveAt(300, *Form1, 150, 110);  // the hand over Menu3
  host.At(410, [] { EXPECT_EQ(Application->Cursor(), TCursor::Default); });
  host.At(420, [] { VXUpdateForm->CloseRequest(); });  // the close box
  host.At(430, [] { EXPECT_EQ(Application->Cursor(), TCursor::Hand); });
  host.At(1200, [] { RTGUpdateForm->Button2Click(); });
  RunUntil(3000);
  EXPECT_EQ(host.Modals.size(), 2u);
}

// A backend that loads its fonts only once the start window is on the
// screen cannot measure when the start-up sets the texts: the question is
// sized when its prompt is shown.
TEST_F(PromptTest, TheQuestionIsSizedWhenShownWhereTextsCannotBeMeasuredBefore) {
  OutOfDateDevices();
  host.Measurable = false;
  RunUntil(0);
  const TControl& question = VXUpdateForm->Label3;
  const int measured = host.TextWidth(question.Font, question.Caption);
  EXPECT_NE(question.Bounds.Width, measured);
  host.Measurable = true;
  host.At(410, [&] { EXPECT_EQ(question.Bounds.Width, measured); });
  host.At(420, [] { VXUpdateForm->CloseRequest(); });
  RunUntil(420);
  EXPECT_EQ(host.Modals.size(), 1u);
}

TEST_F(PromptTest, UpdatingTheInterfaceReleasesThePortsAndEnds) {
  OutOfDateDevices();
  host.At(500, [] {
    VXUpdateForm->MouseDown(60, 125, 1);
    VXUpdateForm->MouseUp(60, 125);
  });
  RunUntil(5000);
  const auto launches = Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0],
            "WinExec D:\\Update\\Tarvex\\VXupdate.exe 10 in D:\\Update\\Tarvex with 0 ports open");
  EXPECT_TRUE(host.QuitCalled());
  EXPECT_EQ(system.OpenPortCount(), 0);
  // Nothing is sent, opened or armed once the program is ending.
  const int launch = system.IndexOf("WinExec");
  for (std::size_t i = static_cast<std::size_t>(launch); i < system.Calls.size(); ++i) {
    EXPECT_EQ(system.Calls[i].What.find("CreateFileA"), std::string::npos) << system.Calls[i].What;
    EXPECT_EQ(system.Calls[i].What.find("WriteFile"), std::string::npos) << system.Calls[i].What;
  }
  EXPECT_TRUE(host.Armed["RTGWaitTimer"].empty());
  EXPECT_EQ(host.Modals.size(), 1u);
}

TEST_F(PromptTest, UpdatingTheXrayUnitStartsItsUpdater) {
  OutOfDateDevices();
  host.At(500, [] { VXUpdateForm->Button2Click(); });
  host.At(1300, [] { RTGUpdateForm->KeyDown(TKey::Space); });
  RunUntil(5000);
  const auto launches = Launches();
  ASSERT_EQ(launches.size(), 1u);
  EXPECT_EQ(launches[0],
            "WinExec D:\\Update\\Rtg\\rtgupd.exe 10 in D:\\Update\\Rtg with 0 ports open");
  EXPECT_TRUE(host.QuitCalled());
}

TEST_F(PromptTest, PromptsAreScaledWhole) {
  host.Dpi = 144;
  RunUntil(0);
  EXPECT_EQ(VXUpdateForm->ClientWidth, 566);
  EXPECT_EQ(VXUpdateForm->ClientHeight, 228);
  EXPECT_EQ(VXUpdateForm->Button2.Bounds.Left, 299);
  EXPECT_EQ(VXUpdateForm->Font.Height, 17);
  EXPECT_EQ(Form1->ClientWidth, 459);
  EXPECT_EQ(Form1->Menu1.Bounds.Top, 64);
}

// The question's top, which the language sets, follows the scaling as every
// other position does, so it never moves up into the text above it.
TEST(PromptScaling, TheQuestionTopIsScaledInEveryLanguage) {
  VirtualClock clock;
  HeadlessHost host(clock);
  TApplication application(host);
  for (const int dpi : {96, 120, 144, 192}) {
    TVXUpdateForm vx(dpi);
    TRTGUpdateForm rtg(dpi);
    for (const bool english : {false, true}) {
      const LanguageTexts& texts = TextsFor(english);
      vx.SetTexts(texts.VXPrompt);
      rtg.SetTexts(texts.RTGPrompt);
      for (const auto& [form, top] : {std::pair<TUpdateForm*, int>{&vx, texts.VXPrompt.Label3Top},
                                      {&rtg, texts.RTGPrompt.Label3Top}}) {
        SCOPED_TRACE(form->Name + " at " + std::to_string(dpi) + " dpi, english " +
                     std::to_string(english));
        EXPECT_EQ(form->Label3.Bounds.Top, (top * dpi + 48) / 96);
        EXPECT_EQ(form->Label2.Bounds.Top, (38 * dpi + 48) / 96);
      }
    }
  }
}

// The start window is scaled by dpi / 96 from 120 dpi, enlarged by whole
// numbers from 192 dpi, only as far as it fits the screen; the mouse finds
// the layout pixel whose scaled box holds it.
TEST(StartWindowScaling, ScalesThatFitTheScreen) {
  const struct {
    int Dpi, ScreenWidth, ScreenHeight, Num, Den;
  } cases[] = {{96, 1024, 768, 1, 1},   {119, 1024, 768, 1, 1}, {120, 1024, 768, 5, 4},
               {144, 1920, 1080, 3, 2}, {168, 1024, 768, 7, 4}, {191, 1920, 1080, 191, 96},
               {144, 600, 400, 1, 1},   {192, 1024, 768, 2, 1}, {288, 1920, 1080, 3, 1},
               {288, 1024, 768, 2, 1},  {384, 1920, 840, 3, 1}, {192, 800, 600, 1, 1},
               {72, 1024, 768, 1, 1}};
  for (const auto& c : cases) {
    const TZoom zoom = WindowZoom(c.Dpi, 459, 280, c.ScreenWidth, c.ScreenHeight);
    EXPECT_EQ(std::pair(zoom.Num, zoom.Den), std::pair(c.Num, c.Den))
        << c.Dpi << " dpi on " << c.ScreenWidth << "x" << c.ScreenHeight;
  }
  const TZoom half{3, 2}, double_{2, 1};
  EXPECT_EQ(half.Scaled(459), 689);
  EXPECT_EQ(half.Scaled(TRect{1, 1, 1, 1}).Width, 1);  // 1.5 to 3: 2 to 3
  EXPECT_EQ(half.Scaled(TRect{2, 2, 1, 1}).Width, 2);  // 3 to 4.5: 3 to 5
  // Every screen pixel maps back to the layout pixel whose box holds it.
  for (const TZoom zoom : {half, double_, TZoom{5, 4}, TZoom{7, 4}, TZoom{}}) {
    for (int layout = -3; layout < 40; ++layout) {
      for (int pixel = zoom.Scaled(layout); pixel < zoom.Scaled(layout + 1); ++pixel) {
        EXPECT_EQ(zoom.Layout(pixel), layout) << zoom.Num << "/" << zoom.Den << " at " << pixel;
      }
    }
  }
  EXPECT_EQ(double_.Layout(459), 229);
  EXPECT_EQ(double_.Layout(-1), -1);
}

TEST_F(PromptTest, PromptsAreLaidOutAsDesigned) {
  Create();
  for (TUpdateForm* form :
       {static_cast<TUpdateForm*>(VXUpdateForm), static_cast<TUpdateForm*>(RTGUpdateForm)}) {
    EXPECT_EQ(form->FrameKind, TWindow::Frame::Dialog);
    EXPECT_EQ(form->ClientWidth, 377);
    EXPECT_EQ(form->ClientHeight, 152);
    EXPECT_EQ(form->Controls()[0]->Name, "Label1");
    EXPECT_EQ(form->Controls()[2]->Name, "Label3");
    EXPECT_TRUE(form->Label1.WordWrap && form->Label2.WordWrap);
    EXPECT_EQ(form->Button2.Bounds.Left, 199);
    EXPECT_EQ(form->Label1.Caption.back(), ' ');
  }
  EXPECT_EQ(VXUpdateForm->Label3.Bounds.Width, 252);
  EXPECT_EQ(RTGUpdateForm->Label3.Bounds.Width, 238);
}

}  // namespace
