// The choice of the Windows serial ports behind COM1..COM4, by a table of
// PCs: the ports the system lists, the ORBILEX_COMn variables set, and the
// port each of the four gets; and the trace's account of one choice.
#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_slots.h"

namespace {

using Named = std::array<std::optional<std::string>, 4>;
using Ports = std::array<std::string, 4>;

struct Layout {
  const char* Pc;
  std::vector<ListedPort> Listed;
  Named Variables;
  Ports Expected;
};

const ListedPort kCom1{"COM1", "\\Device\\Serial0"};
const ListedPort kCom2{"COM2", "\\Device\\Serial1"};
const ListedPort kBt3{"COM3", "\\Device\\BthModem0"};
const ListedPort kBt4{"COM4", "\\Device\\BthModem1"};
const ListedPort kUsb5{"COM5", "\\Device\\VCP0"};
const ListedPort kUsb7{"COM7", "\\Device\\Silabser0"};
const ListedPort kUsb12{"COM12", "\\Device\\USBSER000"};
const ListedPort kUsb20{"COM20", "\\Device\\VCP1"};

TEST(SerialSlots, ChoosesTheFourPortsOfEachPc) {
  const std::vector<Layout> layouts = {
      {"COM1 to COM4 built in: nothing changes",
       {kCom1, kCom2, {"COM3", "\\Device\\Serial2"}, {"COM4", "\\Device\\Serial3"}, kUsb7},
       {},
       {"COM1", "COM2", "COM3", "COM4"}},
      {"built-in COM1, Bluetooth COM3 and COM4, a USB adapter on COM7",
       {kCom1, kBt3, kBt4, kUsb7},
       {},
       {"COM1", "COM7", "", ""}},
      {"only USB adapters, listed out of order",
       {kUsb20, kUsb5, kUsb12},
       {},
       {"COM5", "COM12", "COM20", ""}},
      {"a port keeps its own number, the free ones take the rest in order",
       {kUsb12, kCom2, kUsb7, kUsb5},
       {},
       {"COM5", "COM2", "COM7", "COM12"}},
      {"more than four ports: the lowest four",
       {kUsb20, kUsb12, kUsb7, kUsb5, {"COM6", "\\Device\\VCP2"}},
       {},
       {"COM5", "COM6", "COM7", "COM12"}},
      {"nothing", {}, {}, {"", "", "", ""}},
      {"names that are no COM port, and one listed twice",
       {{"COM0", "x"}, {"COM05", "x"}, {"COMX", "x"}, {"LPT1", "x"}, {"com7", "d"}, kUsb7},
       {},
       {"COM7", "", "", ""}},
      {"a variable wins; the port it displaces takes a free place",
       {kCom1, kCom2, kUsb12},
       {std::nullopt, "COM12"},
       {"COM1", "COM12", "COM2", ""}},
      {"a variable naming another port's own COMn frees that port's place",
       {kCom1, kCom2, kUsb7},
       {std::nullopt, std::nullopt, "com2"},
       {"COM1", "COM7", "COM2", ""}},
      {"a variable may name a Bluetooth link, or a port that is not listed",
       {kBt3},
       {"\\\\.\\COM3", std::nullopt, std::nullopt, "\\\\.\\CNCA0"},
       {"COM3", "", "", "\\\\.\\CNCA0"}},
      {"an empty variable leaves its port without one; the others take what is listed",
       {kCom1, kUsb5},
       {""},
       {"", "COM1", "COM5", ""}},
  };
  for (const Layout& layout : layouts) {
    EXPECT_EQ(ChooseSerialSlots(layout.Listed, layout.Variables).Ports, layout.Expected)
        << layout.Pc;
  }
}

TEST(SerialSlots, TellsWhatItFoundAndWhy) {
  const SerialSlots slots =
      ChooseSerialSlots({kUsb7, kBt3, kCom1, kUsb20, kUsb5, kUsb12, kBt4}, {std::nullopt, "COM20"});
  const std::vector<std::string> expected = {
      "serial ports found: COM1 \\Device\\Serial0, COM3 \\Device\\BthModem0, COM4 "
      "\\Device\\BthModem1, COM5 \\Device\\VCP0, COM7 \\Device\\Silabser0, COM12 "
      "\\Device\\USBSER000, COM20 \\Device\\VCP1",
      "serial port COM3 left out: a Bluetooth link, whose opening can take half a minute",
      "serial port COM4 left out: a Bluetooth link, whose opening can take half a minute",
      "serial port COM12 left out: COM1 to COM4 are taken",
      "port COM1 is COM1",
      "port COM2 is COM20 (ORBILEX_COM2)",
      "port COM3 is COM5",
      "port COM4 is COM7",
  };
  EXPECT_EQ(slots.Events, expected);
  EXPECT_EQ(
      ChooseSerialSlots({}, {}).Events,
      (std::vector<std::string>{"serial ports found: none", "port COM1 is none",
                                "port COM2 is none", "port COM3 is none", "port COM4 is none"}));
}

TEST(SerialSlots, ReachesPortsAboveCom9ByTheirDeviceName) {
  const std::vector<std::pair<std::string, std::string>> names = {
      {"COM1", "COM1"},
      {"COM9", "COM9"},
      {"COM10", "\\\\.\\COM10"},
      {"COM256", "\\\\.\\COM256"},
      {"\\\\.\\CNCA0", "\\\\.\\CNCA0"},
  };
  for (const auto& [name, opened] : names) EXPECT_EQ(SerialOpenName(name), opened) << name;
}

}  // namespace
