// The modal prompt that reports out-of-date firmware and offers the update.
// TVXUpdateForm (the Tarvex interface) and TRTGUpdateForm (the X-ray unit)
// share this layout.
#pragma once

#include "toolkit/forms.h"

struct PromptTexts;

class TUpdateForm : public TWindow {
 public:
  // Lays the prompt out for 96 dpi, scaled by `dpi` / 96, with the initial
  // texts; `label3Width` is the question's width at 96 dpi.
  TUpdateForm(std::string name, const PromptTexts& initial, int label3Width, int dpi);

  TControl& Label1;
  TControl& Label2;
  TControl& Label3;
  TControl& Button1;
  TControl& Button2;

  // Sets the caption, the texts and the top of Label3 (laid out for 96 dpi,
  // scaled like every other position).
  void SetTexts(const PromptTexts& texts);

  virtual void Button1Click() = 0;
  void Button2Click();

 protected:
  // Traces the answer as the prompt closes: "update" (Button1), "ignore"
  // (Button2) or "closed" (its close box, Alt+F4).
  void FormClose() override;
  // The answer given, for FormClose.
  const char* answer_ = "closed";

 private:
  int dpi_;
};

class TVXUpdateForm : public TUpdateForm {
 public:
  explicit TVXUpdateForm(int dpi);
  // Closes the prompt and starts the Tarvex updater (the program ends).
  void Button1Click() override;
};

class TRTGUpdateForm : public TUpdateForm {
 public:
  explicit TRTGUpdateForm(int dpi);
  // Closes the prompt and starts the X-ray unit updater (the program ends).
  void Button1Click() override;
};

extern TVXUpdateForm* VXUpdateForm;
extern TRTGUpdateForm* RTGUpdateForm;
