#include "app/start.h"

#include "app/global.h"
#include "app/system.h"
#include "toolkit/forms.h"
#include "toolkit/host.h"
#include "ui/startf.h"
#include "ui/updatef.h"

StartProgram::StartProgram(Platform& platform, Host& host)
    : host_(host), application_(std::make_unique<TApplication>(host)) {
  SetSystem(&platform);
  ResetGlobals();
  Application->SetTitle("orbilex CD");
  Form1 = new TForm1();
  Application->SetMainForm(Form1);
  Form1->FormCreate();
  // The prompts must exist before the start window is shown: its show
  // handler sets their texts.
  VXUpdateForm = new TVXUpdateForm(host.LogicalDpi());
  RTGUpdateForm = new TRTGUpdateForm(host.LogicalDpi());
}

StartProgram::~StartProgram() {
  ClosePorts();
  delete RTGUpdateForm;
  RTGUpdateForm = nullptr;
  delete VXUpdateForm;
  VXUpdateForm = nullptr;
  Application->SetMainForm(nullptr);
  delete Form1;
  Form1 = nullptr;
  SetSystem(nullptr);
}

int StartProgram::Run() {
  host_.Run(*Form1);
  return 0;
}
