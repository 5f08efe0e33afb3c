// The start window: the borderless menu with its eight entries, the language
// switch, the version label, the hover arrow, and the two detection timers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "app/cdlayout.h"
#include "toolkit/forms.h"

class TForm1 : public TWindow {
 public:
  TForm1();

  // Controls, declared (and so created) from the bottom of the stacking
  // order to the top.
  TControl& Leiste;
  TControl& Shape1;
  TControl& Logo;
  TControl& Menu1;
  TControl& FahneEng;
  TControl& SpracheLabel;
  TControl& Menu2;
  TControl& Menu5;
  TControl& Menu3;
  TControl& Menu4;
  TControl& Menu6;
  TControl& VersionLabel;
  TControl& Pfeil;
  TControl& Fahneger;
  TControl& Menu7;
  TControl& Menu8;

  TTimer PollTimer;
  TTimer RTGWaitTimer;
  // Asks, while a manual's opening has yet to report, how it went.
  TTimer ViewerTimer;

  bool English = true;
  std::string AcrobatGerPath;
  std::string AcrobatEngPath;
  // The command line or document path of the last action, zero-terminated.
  std::array<char, kCommandMax + 1> CommandBuffer{};
  std::uint8_t DetectStep = 0;
  // The program's directory, ending in "\"; empty when the program's own path
  // could not be read in full. Then nothing is read from the CD, and no entry
  // starts or opens anything.
  std::string CDRoot;

  void FormCreate();
  void FormShow() override;
  void FormClose() override;
  void FormMouseMove() override;
  // Up, Down, Home and End move the selection through the entries, Tab and
  // Shift+Tab through the entries and the language switch; Enter and Space
  // act on it, once a press.
  bool FormKeyDown(TKey key) override;
  // The selected entry or the language switch.
  const TControl* AccessibleFocus() const override;

  void SetPfeil(TControl& sender);
  void Languagemove(TControl& sender);
  void LanguageClick(TControl& sender);
  // Sets every text of the three windows, and the flags, for `English`.
  void ApplyLanguage();

  void Menu1Click();
  void Menu2Click();
  void Menu3Click();
  void Menu4Click();
  void Menu5Click();
  void Menu6Click();
  void Menu7Click();
  void Menu8Click();

  void PollTimerTimer();
  void RTGWaitTimerTimer();
  void ViewerTimerTimer();

 private:
  // The entries in screen order, from the top.
  std::array<TControl*, 8> EntryOrder() const;
  // The selection: 0 to 7 an entry (where the arrow stands), 8 the language
  // switch, -1 none.
  int Selection() const;
  void Select(int index);
  // Enters CDRoot + `dir`, starts CDRoot + `program` and closes the window.
  void RunAndClose(const CDProgram& program);
  // Starts the PDF reader's installer of the given language.
  void LaunchReader(bool english);
  // Settles the openings of the manual whose outcome is known now: one that
  // failed starts the reader's installer of the language it was asked in.
  void CheckManuals();
  // Openings of the manual begun, by ShellExecuteA's result, with the
  // language in force at the click.
  std::vector<std::pair<std::intptr_t, bool>> pendingManuals_;
  // Starts CDRoot + `relativePath` through CommandBuffer.
  void Launch(const std::string& relativePath);
};

extern TForm1* Form1;
