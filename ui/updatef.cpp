#include "ui/updatef.h"

#include "app/trace.h"
#include "ui/startf.h"
#include "ui/texts.h"

TVXUpdateForm* VXUpdateForm = nullptr;
TRTGUpdateForm* RTGUpdateForm = nullptr;

namespace {

// A length laid out for 96 dpi, at `dpi`.
int Scale(int value, int dpi) {
  return (value * dpi + 48) / 96;
}

TRect Scale(TRect r, int dpi) {
  return {Scale(r.Left, dpi), Scale(r.Top, dpi), Scale(r.Width, dpi), Scale(r.Height, dpi)};
}

}  // namespace

TUpdateForm::TUpdateForm(std::string name, const PromptTexts& initial, int label3Width, int dpi)
    : TWindow(std::move(name), Frame::Dialog, Scale(377, dpi), Scale(152, dpi)),
      Label1(Add("Label1", TControlKind::Label, Scale({16, 12, 345, 29}, dpi))),
      Label2(Add("Label2", TControlKind::Label, Scale({16, 38, 345, 45}, dpi))),
      Label3(Add("Label3", TControlKind::Label, Scale({16, 78, label3Width, 13}, dpi))),
      Button1(Add("Button1", TControlKind::Button, Scale({52, 120, 125, 25}, dpi))),
      Button2(Add("Button2", TControlKind::Button, Scale({199, 120, 125, 25}, dpi))),
      dpi_(dpi) {
  Font.Height = Scale(11, dpi);
  for (const auto& control : Controls()) control->Font = Font;
  Label1.WordWrap = true;
  Label2.WordWrap = true;
  Label3.AutoSize = true;
  Button1.TabOrder = 0;
  Button2.TabOrder = 1;
  Label1.Caption = initial.Label1;
  Label2.Caption = initial.Label2;
  Label3.Caption = initial.Label3;
  Button1.Caption = initial.Button1;
  Button2.Caption = initial.Button2;
  Button1.OnClick = [this](TControl&) { Button1Click(); };
  Button2.OnClick = [this](TControl&) { Button2Click(); };
}

void TUpdateForm::SetTexts(const PromptTexts& texts) {
  SetWindowCaption(texts.Caption);
  SetCaption(Label1, texts.Label1);
  SetCaption(Label2, texts.Label2);
  SetCaption(Label3, texts.Label3);
  SetCaption(Button1, texts.Button1);
  SetCaption(Button2, texts.Button2);
  SetTop(Label3, Scale(texts.Label3Top, dpi_));
}

void TUpdateForm::Button2Click() {
  answer_ = "ignore";
  Close();
}

void TUpdateForm::FormClose() {
  if (Tracing()) Trace({"prompt ", Name, " answered ", answer_});
  answer_ = "closed";
}

TVXUpdateForm::TVXUpdateForm(int dpi) : TUpdateForm("VXUpdateForm", InitialVXTexts(), 252, dpi) {}

void TVXUpdateForm::Button1Click() {
  answer_ = "update";
  Close();
  Form1->Menu3Click();
}

TRTGUpdateForm::TRTGUpdateForm(int dpi)
    : TUpdateForm("RTGUpdateForm", InitialRTGTexts(), 238, dpi) {}

void TRTGUpdateForm::Button1Click() {
  answer_ = "update";
  Close();
  Form1->Menu7Click();
}
