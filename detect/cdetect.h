// The interface stage of the detection sequence (115200 baud).
#pragma once

void OpenVXPorts();
// Opens the ports at 115200, sends "&" + CR to each and arms PollTimer.
void StartVXDetection();
// Purges the ports, sends "0iv" + CR to each and arms PollTimer.
void SendVXQuery();
// Evaluates the interface replies; shows VXUpdateForm modally when one was
// out of date.
void ReadVXReplies();
