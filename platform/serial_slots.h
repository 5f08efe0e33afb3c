// Which serial port each of COM1..COM4 is on Windows. Windows gives a USB
// adapter the lowest free COM number, often COM5 to COM20, and a Bluetooth
// link often holds COM3 or COM4, so the four ports are chosen among the
// ports present: plain code over the names and devices that the system
// lists, so that the rule is tested apart from any system.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

// A port as the system lists it: its name ("COM12") and the device the name
// leads to ("\Device\Serial0", "\Device\BthModem0").
struct ListedPort {
  std::string Name;
  std::string Device;
};

// The port of each of COM1..COM4 ("COM7", or a name given by a variable;
// empty for none), and the trace's account of the choice.
struct SerialSlots {
  std::array<std::string, 4> Ports;
  std::vector<std::string> Events;
};

// Chooses the ports. `named` holds the value of ORBILEX_COM1..ORBILEX_COM4
// where a variable is set (even empty): that port is the one named, with
// "\\.\" dropped from "\\.\COMn" (an empty value: no port). The other ports
// take the COMn ports listed, by their numbers: a port keeps its own COMn
// where that is listed and not named by a variable; the ports left free
// take the other listed ports in ascending number. Left out are Bluetooth
// links (device "\Device\BthModem..."), whose opening can take half a minute,
// and the ports beyond the fourth. Names other than COM followed by a number
// from 1 on are no serial ports and are passed over; names compare without
// regard to case.
//
// Events, in this order: "serial ports found: COM1 \Device\Serial0, COM7
// \Device\VCP0" (or "serial ports found: none"); "serial port COM3 left
// out: ..." for each port left out and why; "port COM1 is COM1", "port
// COM2 is COM12 (ORBILEX_COM2)", "port COM4 is none" for the four.
SerialSlots ChooseSerialSlots(const std::vector<ListedPort>& listed,
                              const std::array<std::optional<std::string>, 4>& named);

// The name that opens port `name`: COM numbers above 9 are reached only as
// "\\.\COM12"; names with a leading "\\" and the others stay as they are.
std::string SerialOpenName(const std::string& name);
