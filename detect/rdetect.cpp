#include "detect/rdetect.h"

#include "app/global.h"
#include "app/system.h"
#include "detect/portbank.h"
#include "detect/replies.h"
#include "ui/startf.h"
#include "ui/updatef.h"

void OpenRTGPorts() {
  OpenPorts(9600);
}

void StartRTGDetection() {
  OpenRTGPorts();
  SendRemoteMode();
  Form1->RTGWaitTimer.SetEnabled(true);
}

void SendRemoteMode() {
  SendToUnmarked("MODE=REMOTE\r", 12);
  System().Sleep(20);
  SendToUnmarked("MODE=REMOTE\r", 12);
}

void SendVersionQuery() {
  SendToUnmarked("VERSION?\r", 9);
  System().Sleep(20);
}

void ReadRTGReplies() {
  if (EvaluateReplies(ReadReplies(true), kXrayReply, PortMark::XrayUnit, RequiredRTGVersion,
                      PortMarks) &&
      RTGUpdateForm != nullptr) {
    RTGUpdateForm->ShowModal();
  }
}
