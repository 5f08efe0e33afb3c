// The serial ports of the Windows platform: which port each of COM1..COM4
// is, opening a port without holding the window's thread, and leaving each
// port as it was found.
//
// The ports are chosen once, at the first use, by ChooseSerialSlots
// (platform/serial_slots.h) from the COM names that QueryDosDeviceA lists
// with their devices (no port is opened for it) and from the variables
// ORBILEX_COM1..ORBILEX_COM4. QueryDosDeviceA is used rather than the
// registry's list of serial ports (HARDWARE\DEVICEMAP\SERIALCOMM), which
// names the same ports but would make the program import advapi32.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/serial_slots.h"

class Win32Ports {
 public:
  // Opens port `name` as the system names it for opening ("COM7",
  // "\\.\COM12"), exclusively, for reading and writing; gives the handle or
  // INVALID_HANDLE_VALUE with the last error set. Runs on a thread of its
  // own.
  using Opener = HANDLE (*)(const std::string& name);
  static HANDLE OpenFile(const std::string& name);

  // An opening that has not ended after `bound` ms is given up.
  explicit Win32Ports(Opener opener = OpenFile, DWORD bound = 100);
  Win32Ports(const Win32Ports&) = delete;
  Win32Ports& operator=(const Win32Ports&) = delete;

  // Opens the port of "COM1".."COM4" (without regard to case) and sets its
  // time-outs: reads return at once, a write gives up after 50 ms plus 2 ms
  // a byte. The opening runs on a thread of its own and is waited for at
  // most the bound; one that takes longer is given up, and its port takes
  // no part for the rest of the run (the thread closes the port when the
  // opening ends at last). On failure gives kInvalidPort and sets `reason`
  // to why, or leaves it empty where the system's last error says why.
  PortHandle Open(const std::string& portName, std::string& reason);
  // Drops unsent output, puts back the line settings (DCB) and time-outs
  // that the port had when it was opened, and closes it.
  void Close(PortHandle port);
  // The name that Open opens for "COM1".."COM4" where it is another one
  // ("\\.\COM12"); empty where it is the same or there is no port.
  std::string OpenName(const std::string& portName);
  // How the ports were chosen, for the trace (ChooseSerialSlots' events).
  const std::vector<std::string>& Choice() { return Slots().Events; }

 private:
  // What a port had when it was opened.
  struct Found {
    HANDLE Handle;
    std::optional<DCB> State;
    std::optional<COMMTIMEOUTS> Timeouts;
  };
  const SerialSlots& Slots();
  // Index 0..3 of "COM1".."COM4", or -1.
  static int Index(const std::string& portName);
  // Runs the opener on a thread of its own; nothing when it did not end in
  // the bound.
  std::optional<HANDLE> OpenWithinBound(const std::string& name);

  Opener opener_;
  DWORD bound_;
  std::optional<SerialSlots> slots_;
  std::array<bool, 4> givenUp_{};
  std::vector<Found> open_;
};
