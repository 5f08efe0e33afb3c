#include "app/global.h"

#include "app/system.h"

std::array<PortHandle, kPortCount> PortHandles = {kInvalidPort, kInvalidPort, kInvalidPort,
                                                  kInvalidPort};
std::array<PortMark, kPortCount> PortMarks = {PortMark::None, PortMark::None, PortMark::None,
                                              PortMark::None};
double RequiredVXVersion = 0;
double RequiredRTGVersion = 0;

void ClosePorts() {
  for (PortHandle& handle : PortHandles) {
    if (handle != kInvalidPort) System().CloseHandle(handle);
    handle = kInvalidPort;
  }
}

void ResetGlobals() {
  PortHandles.fill(kInvalidPort);
  PortMarks.fill(PortMark::None);
  RequiredVXVersion = 0;
  RequiredRTGVersion = 0;
}
