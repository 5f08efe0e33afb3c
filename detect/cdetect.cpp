#include "detect/cdetect.h"

#include "app/global.h"
#include "detect/portbank.h"
#include "detect/replies.h"
#include "ui/startf.h"
#include "ui/updatef.h"

void OpenVXPorts() {
  OpenPorts(115200);
}

void StartVXDetection() {
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
  if (EvaluateReplies(ReadReplies(false), kInterfaceReply, PortMark::Interface, RequiredVXVersion,
                      PortMarks) &&
      VXUpdateForm != nullptr) {
    VXUpdateForm->ShowModal();
  }
}
