#include "detect/cdetect.h"

#include "app/global.h"
#include "app/trace.h"
#include "detect/portbank.h"
#include "detect/replies.h"
#include "ui/startf.h"
#include "ui/updatef.h"

void OpenVXPorts() {
  OpenPorts(115200);
}

void StartVXDetection() {
  if (Tracing()) Trace("interface stage begins");
  OpenVXPorts();
  SendToAll("&\r", 2);
  Form1->PollTimer.SetEnabled(true);
}

void SendVXQuery() {
  PurgeAll();
  SendToAll("0iv\r", 4);
  Form1->PollTimer.SetEnabled(true);
}

void ReadVXReplies() {
  const PortReplies replies = ReadReplies(false);
  const bool outdated =
      EvaluateReplies(replies, kInterfaceReply, PortMark::Interface, RequiredVXVersion, PortMarks);
  TraceEvaluation(replies, kInterfaceReply, PortMark::Interface, RequiredVXVersion, outdated);
  if (outdated && VXUpdateForm != nullptr) {
    if (Tracing()) Trace("prompt VXUpdateForm shown");
    VXUpdateForm->ShowModal();
  }
}
