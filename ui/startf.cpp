#include "ui/startf.h"

#include <algorithm>

#include "app/cdlayout.h"
#include "app/global.h"
#include "app/system.h"
#include "app/textversion.h"
#include "app/trace.h"
#include "detect/cdetect.h"
#include "detect/rdetect.h"
#include "platform/platform.h"
#include "platform/trace_text.h"
#include "ui/texts.h"
#include "ui/updatef.h"

TForm1* Form1 = nullptr;

namespace {

const TFont kMenuFont{"Arial", 12, true};

// Copies `text` into a zero-terminated buffer of N characters; refuses (and
// leaves the buffer alone) when it does not fit.
template <std::size_t N>
bool CopyToBuffer(std::array<char, N>& buffer, const std::string& text) {
  if (text.size() >= N) return false;
  std::copy(text.begin(), text.end(), buffer.begin());
  buffer[text.size()] = '\0';
  return true;
}

// The German language in Germany, Switzerland, Austria, Luxembourg or
// Liechtenstein.
bool IsGermanLocale(std::uint32_t lcid) {
  switch (lcid & 0xFFFF) {
    case 0x0407:
    case 0x0807:
    case 0x0C07:
    case 0x1007:
    case 0x1407:
      return true;
    default:
      return false;
  }
}

void TraceLanguage(bool english, std::initializer_list<std::string_view> reason) {
  Trace({"language ", english ? "English: " : "German: ", TraceJoin(reason)});
}

}  // namespace

TForm1::TForm1()
    : TWindow("Form1", Frame::None, 459, 280),
      Leiste(Add("Leiste", TControlKind::Image, {0, 0, 70, 280})),
      Shape1(Add("Shape1", TControlKind::Shape, {0, 0, 459, 280})),
      Logo(Add("Logo", TControlKind::Image, {84, 12, 136, 34})),
      Menu1(Add("Menu1", TControlKind::Label, {100, 64, 229, 15})),
      FahneEng(Add("FahneEng", TControlKind::Image, {77, 262, 26, 13})),
      SpracheLabel(Add("SpracheLabel", TControlKind::Label, {108, 262, 52, 13})),
      Menu2(Add("Menu2", TControlKind::Label, {100, 80, 229, 15})),
      Menu5(Add("Menu5", TControlKind::Label, {100, 184, 229, 15})),
      Menu3(Add("Menu3", TControlKind::Label, {100, 108, 229, 15})),
      Menu4(Add("Menu4", TControlKind::Label, {100, 124, 229, 15})),
      Menu6(Add("Menu6", TControlKind::Label, {100, 216, 229, 15})),
      VersionLabel(Add("VersionLabel", TControlKind::Label, {348, 262, 103, 13})),
      Pfeil(Add("Pfeil", TControlKind::Image, {85, 70, 8, 13})),
      Fahneger(Add("Fahneger", TControlKind::Image, {77, 262, 26, 13})),
      Menu7(Add("Menu7", TControlKind::Label, {100, 140, 229, 15})),
      Menu8(Add("Menu8", TControlKind::Label, {100, 156, 229, 15})),
      PollTimer("PollTimer", 200, [this] { PollTimerTimer(); }),
      RTGWaitTimer("RTGWaitTimer", 500, [this] { RTGWaitTimerTimer(); }),
      ViewerTimer("ViewerTimer", 100, [this] { ViewerTimerTimer(); }) {
  Caption = "orbilex";

  Leiste.Picture = TBitmap::Leiste;
  Leiste.Stretch = true;
  Logo.Picture = TBitmap::Logo;
  FahneEng.Picture = TBitmap::FahneEng;
  Fahneger.Picture = TBitmap::Fahneger;
  Pfeil.Picture = TBitmap::Pfeil;
  Shape1.OnMouseMove = [this](TControl&) { FormMouseMove(); };

  const MenuTexts& initial = TextsFor(false).Menu;
  const std::pair<TControl*, const std::string*> entries[] = {
      {&Menu1, &initial.Menu1}, {&Menu2, &initial.Menu2}, {&Menu3, &initial.Menu3},
      {&Menu4, &initial.Menu4}, {&Menu5, &initial.Menu5}, {&Menu6, &initial.Menu6},
      {&Menu7, &initial.Menu7}, {&Menu8, &initial.Menu8}};
  for (const auto& [entry, text] : entries) {
    entry->Font = kMenuFont;
    entry->Caption = *text;
    entry->AccessRole = TAccessRole::Link;
    entry->OnMouseMove = [this](TControl& sender) { SetPfeil(sender); };
  }
  Menu1.OnClick = [this](TControl&) { Menu1Click(); };
  Menu2.OnClick = [this](TControl&) { Menu2Click(); };
  Menu3.OnClick = [this](TControl&) { Menu3Click(); };
  Menu4.OnClick = [this](TControl&) { Menu4Click(); };
  Menu5.OnClick = [this](TControl&) { Menu5Click(); };
  Menu6.OnClick = [this](TControl&) { Menu6Click(); };
  Menu7.OnClick = [this](TControl&) { Menu7Click(); };
  Menu8.OnClick = [this](TControl&) { Menu8Click(); };

  SpracheLabel.Caption = initial.SpracheLabel;
  SpracheLabel.AccessRole = TAccessRole::PushButton;
  for (TControl* language : {&FahneEng, &SpracheLabel, &Fahneger}) {
    language->OnMouseMove = [this](TControl& sender) { Languagemove(sender); };
    language->OnClick = [this](TControl& sender) { LanguageClick(sender); };
  }

  VersionLabel.Caption = "CD Version X.X";
  VersionLabel.Alignment = TAlignment::Right;
}

// ------------------------------------------------------------ lifetime

void TForm1::FormCreate() {
  PortMarks.fill(PortMark::None);
}

void TForm1::FormShow() {
  Platform& system = System();
  SetVisible(Pfeil, false);

  English = true;
  const std::string language =
      system.GetPrivateProfileStringA("Einstellungen", "Sprache", "XXX", "orbilex.ini");
  if (language == "XXX") {
    const std::uint32_t lcid = system.GetSystemDefaultLCID();
    English = !IsGermanLocale(lcid);
    if (Tracing()) {
      TraceLanguage(English, {"no setting, locale ", TraceHex(lcid, 4),
                              English ? " is not German" : " is German"});
    }
  } else {
    English = language != "Deutsch";
    if (Tracing()) {
      TraceLanguage(English,
                    {"setting ", TraceQuoted(language), English ? ", not \"Deutsch\"" : ""});
    }
  }
  ApplyLanguage();

  const std::string path = system.GetModuleFileNameA();
  CDRoot = path.substr(0, path.rfind('\\') + 1);

  const std::string ins = CDRoot + kStartIns;
  const auto read = [&](const InsKey& key) {
    if (CDRoot.empty()) return std::string(key.Default);
    return system.GetPrivateProfileStringA(kCDStart, key.Name, key.Default, ins);
  };
  SetCaption(VersionLabel, "CD Version " + read(kCDVersionKey));
  Application->SetTitle("orbilex CD V" + read(kCDVersionKey));
  AcrobatGerPath = read(kAcrobatGerKey);
  AcrobatEngPath = read(kAcrobatEngKey);
  const std::string vxVersion = read(kVXVersionKey);
  const std::string rtgVersion = read(kRTGVersionKey);
  RequiredVXVersion = TextToVersion(vxVersion);
  RequiredRTGVersion = TextToVersion(rtgVersion);
  if (Tracing()) {
    if (CDRoot.empty()) Trace("CD unknown: start.ins not read, its defaults hold");
    Trace({"minimum interface version ", TraceQuoted(vxVersion), " = ",
           TraceNumber(RequiredVXVersion)});
    Trace({"minimum x-ray unit version ", TraceQuoted(rtgVersion), " = ",
           TraceNumber(RequiredRTGVersion)});
  }

  DetectStep = 0;
  StartVXDetection();
}

void TForm1::FormClose() {
  ClosePorts();
}

// ------------------------------------------------------ pointer feedback

void TForm1::FormMouseMove() {
  if (Pfeil.Visible) SetVisible(Pfeil, false);
  Application->SetCursor(TCursor::Default);
}

void TForm1::SetPfeil(TControl& sender) {
  if (SpracheLabel.FocusMark) {
    SpracheLabel.FocusMark = false;
    Invalidate();
  }
  SetTop(Pfeil, sender.Bounds.Top + 1);
  SetVisible(Pfeil, true);
  Application->SetCursor(TCursor::Hand);
}

void TForm1::Languagemove(TControl&) {
  Application->SetCursor(TCursor::Hand);
}

// ------------------------------------------------------------------ keys

std::array<TControl*, 8> TForm1::EntryOrder() const {
  return {&Menu1, &Menu2, &Menu3, &Menu4, &Menu7, &Menu8, &Menu5, &Menu6};
}

int TForm1::Selection() const {
  if (SpracheLabel.FocusMark) return 8;
  if (!Pfeil.Visible) return -1;
  const std::array<TControl*, 8> entries = EntryOrder();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i]->Bounds.Top + 1 == Pfeil.Bounds.Top) return static_cast<int>(i);
  }
  return -1;
}

void TForm1::Select(int index) {
  const bool language = index == 8;
  if (SpracheLabel.FocusMark != language) {
    SpracheLabel.FocusMark = language;
    Invalidate();
  }
  if (language) {
    SetVisible(Pfeil, false);
  } else {
    SetTop(Pfeil, EntryOrder()[static_cast<std::size_t>(index)]->Bounds.Top + 1);
    SetVisible(Pfeil, true);
  }
  FocusMoved();
}

const TControl* TForm1::AccessibleFocus() const {
  const int current = Selection();
  if (current == 8) return &SpracheLabel;
  return current < 0 ? nullptr : EntryOrder()[static_cast<std::size_t>(current)];
}

bool TForm1::FormKeyDown(TKey key) {
  const int current = Selection();
  switch (key) {
    case TKey::Up:
      Select(current < 0 ? 7 : std::max(current - 1, 0));
      return true;
    case TKey::Down:
      if (current < 8) Select(std::min(current + 1, 7));
      return true;
    case TKey::Home:
      Select(0);
      return true;
    case TKey::End:
      Select(7);
      return true;
    case TKey::Tab:
      Select((current + 1) % 9);
      return true;
    case TKey::ShiftTab:
      Select(current < 0 ? 8 : (current + 8) % 9);
      return true;
    case TKey::Enter:
    case TKey::Space:
      if (current < 0) return true;
      if (current == 8) {
        LanguageClick(SpracheLabel);
      } else {
        Click(*EntryOrder()[static_cast<std::size_t>(current)]);
      }
      return true;
    case TKey::Escape:
      return true;
    case TKey::AltF4:
      return false;
  }
  return false;
}

// -------------------------------------------------------------- language

void TForm1::LanguageClick(TControl&) {
  English = !English;
  if (Tracing()) TraceLanguage(English, {"switched by the user"});
  ApplyLanguage();
}

void TForm1::ApplyLanguage() {
  const LanguageTexts& texts = TextsFor(English);
  SetCaption(Menu1, texts.Menu.Menu1);
  SetCaption(Menu2, texts.Menu.Menu2);
  SetCaption(Menu3, texts.Menu.Menu3);
  SetCaption(Menu4, texts.Menu.Menu4);
  SetCaption(Menu7, texts.Menu.Menu7);
  SetCaption(Menu8, texts.Menu.Menu8);
  SetCaption(Menu5, texts.Menu.Menu5);
  SetCaption(Menu6, texts.Menu.Menu6);
  SetCaption(SpracheLabel, texts.Menu.SpracheLabel);
  SetVisible(FahneEng, !English);
  SetVisible(Fahneger, English);
  if (VXUpdateForm != nullptr) VXUpdateForm->SetTexts(texts.VXPrompt);
  if (RTGUpdateForm != nullptr) RTGUpdateForm->SetTexts(texts.RTGPrompt);
}

// ---------------------------------------------------------- menu actions

void TForm1::Launch(const std::string& relativePath) {
  if (CDRoot.empty() || !CopyToBuffer(CommandBuffer, CDRoot + relativePath)) {
    if (Tracing()) {
      Trace({"launch ", relativePath, ": not started, ",
             CDRoot.empty() ? "the CD is unknown" : "the path is too long"});
    }
    return;
  }
  System().WinExec(CommandBuffer.data(), kShowDefault);
}

void TForm1::RunAndClose(const CDProgram& program) {
  // The ports are released first, so that an updater can open its device.
  ClosePorts();
  if (!CDRoot.empty()) System().SetCurrentDirectoryA(CDRoot + program.Directory);
  Launch(program.Path);
  Close();
}

void TForm1::Menu1Click() {
  RunAndClose(kSetupProgram);
}

void TForm1::Menu2Click() {
  if (CDRoot.empty()) {
    if (Tracing()) Trace("manual: not opened, the CD is unknown");
    return;
  }
  // A path that does not fit its buffer cannot be opened: the reader's
  // installer is offered instead, as for any other failure to open.
  std::array<char, kDirectoryMax + 1> directory{};
  const bool fits = CopyToBuffer(directory, CDRoot) &&
                    CopyToBuffer(CommandBuffer, CDRoot + (English ? kManualEng : kManualGer));
  const std::intptr_t result =
      fits ? System().ShellExecuteA(CommandBuffer.data(), directory.data(), kShowMaximized) : 0;
  if (result <= 32) {
    if (Tracing()) {
      Trace(fits ? "manual: not opened, the reader's installer follows"
                 : "manual: the path is too long, the reader's installer follows");
    }
    Menu5Click();
    return;
  }
  // A viewer may report its failure later (the Windows shell has decided by
  // now): the installer then follows, in the language of this click.
  pendingManuals_.emplace_back(result, English);
  CheckManuals();
}

void TForm1::CheckManuals() {
  std::erase_if(pendingManuals_, [this](const std::pair<std::intptr_t, bool>& opening) {
    const std::optional<bool> opened = System().DocumentOutcome(opening.first);
    if (opened && !*opened) {
      if (Tracing()) Trace("manual: the viewer failed, the reader's installer follows");
      LaunchReader(opening.second);
    }
    return opened.has_value();
  });
  ViewerTimer.SetEnabled(!pendingManuals_.empty());
}

void TForm1::ViewerTimerTimer() {
  CheckManuals();
}

void TForm1::Menu3Click() {
  RunAndClose(kTarvexUpdater);
}

void TForm1::Menu4Click() {
  RunAndClose(kDisplayUpdater);
}

void TForm1::Menu5Click() {
  LaunchReader(English);
}

void TForm1::LaunchReader(bool english) {
  Launch(english ? AcrobatEngPath : AcrobatGerPath);
}

void TForm1::Menu6Click() {
  Close();
}

void TForm1::Menu7Click() {
  RunAndClose(kXrayUpdater);
}

void TForm1::Menu8Click() {
  RunAndClose(kFranckHertzUpdater);
}

// ------------------------------------------------------------- detection

void TForm1::PollTimerTimer() {
  PollTimer.SetEnabled(false);
  if (DetectStep == 2) {
    ReadRTGReplies();
    if (Application->Terminated()) return;
    ClosePorts();
    DetectStep = 3;
  }
  if (DetectStep == 1) {
    ReadVXReplies();
    if (Application->Terminated()) return;
    ClosePorts();
    StartRTGDetection();
    DetectStep = 2;
  }
  if (DetectStep == 0) {
    SendVXQuery();
    DetectStep = 1;
  }
}

void TForm1::RTGWaitTimerTimer() {
  RTGWaitTimer.SetEnabled(false);
  SendVersionQuery();
  PollTimer.SetEnabled(true);
}
