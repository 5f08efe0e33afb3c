#include "detect/rdetect.h"

#include "app/global.h"
#include "app/system.h"
#include "app/trace.h"
#include "detect/portbank.h"
#include "detect/replies.h"
#include "ui/startf.h"
#include "ui/updatef.h"

void OpenRTGPorts() {
  OpenPorts(9600);
}

void StartRTGDetection() {
  if (Tracing()) Trace("x-ray unit stage begins");
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
  const PortReplies replies = ReadReplies(true);
  const bool outdated =
      EvaluateReplies(replies, kXrayReply, PortMark::XrayUnit, RequiredRTGVersion, PortMarks);
  TraceEvaluation(replies, kXrayReply, PortMark::XrayUnit, RequiredRTGVersion, outdated);
  if (outdated && RTGUpdateForm != nullptr) {
    if (Tracing()) Trace("prompt RTGUpdateForm shown");
    RTGUpdateForm->ShowModal();
  }
}
