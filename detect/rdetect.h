// The X-ray stage of the detection sequence (9600 baud), on the ports where
// no interface answered.
#pragma once

void OpenRTGPorts();
// Opens the ports at 9600, sends "MODE=REMOTE" + CR twice and arms
// RTGWaitTimer.
void StartRTGDetection();
void SendRemoteMode();
void SendVersionQuery();
// Evaluates the X-ray replies; shows RTGUpdateForm modally when one was out
// of date.
void ReadRTGReplies();
