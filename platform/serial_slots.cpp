#include "platform/serial_slots.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr std::string_view kDevicePrefix = "\\\\.\\";
constexpr std::string_view kBluetooth = "\\Device\\BthModem";

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool StartsIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(),
                    [](char a, char b) { return Upper(a) == Upper(b); });
}

// The number of "COMn" (n from 1, no leading zero, at most six digits), or 0.
unsigned ComNumber(std::string_view name) {
  if (!StartsIgnoringCase(name, "COM")) return 0;
  const std::string_view digits = name.substr(3);
  if (digits.empty() || digits.size() > 6 || digits[0] == '0') return 0;
  unsigned number = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + static_cast<unsigned>(c - '0');
  }
  return number;
}

std::string ComName(unsigned number) {
  return "COM" + std::to_string(number);
}

// A variable's value as a port name: "\\.\COM12" and "com12" are "COM12".
std::string PortName(std::string_view value) {
  std::string_view name = value;
  if (StartsIgnoringCase(name, kDevicePrefix)) name = name.substr(kDevicePrefix.size());
  const unsigned number = ComNumber(name);
  return number != 0 ? ComName(number) : std::string(value);
}

}  // namespace

SerialSlots ChooseSerialSlots(const std::vector<ListedPort>& listed,
                              const std::array<std::optional<std::string>, 4>& named) {
  struct Candidate {
    unsigned Number;
    const ListedPort* Port;
  };
  std::vector<Candidate> found;
  for (const ListedPort& port : listed) {
    const unsigned number = ComNumber(port.Name);
    const bool known = std::any_of(found.begin(), found.end(),
                                   [number](const Candidate& c) { return c.Number == number; });
    if (number != 0 && !known) found.push_back({number, &port});
  }
  std::sort(found.begin(), found.end(),
            [](const Candidate& a, const Candidate& b) { return a.Number < b.Number; });

  SerialSlots slots;
  std::string list;
  for (const Candidate& port : found) {
    list += (list.empty() ? "" : ", ") + ComName(port.Number) + " " + port.Port->Device;
  }
  slots.Events.push_back("serial ports found: " + (list.empty() ? std::string("none") : list));

  std::array<bool, 4> isNamed{};
  std::vector<std::string> namedPorts;
  for (std::size_t i = 0; i < named.size(); ++i) {
    if (!named[i]) continue;
    isNamed[i] = true;
    slots.Ports[i] = PortName(*named[i]);
    namedPorts.push_back(slots.Ports[i]);
  }
  // The ports that may still be chosen, and why the others may not.
  std::vector<unsigned> free;
  std::vector<std::pair<unsigned, std::string>> leftOut;
  for (const Candidate& port : found) {
    const std::string name = ComName(port.Number);
    if (std::find(namedPorts.begin(), namedPorts.end(), name) != namedPorts.end()) continue;
    if (StartsIgnoringCase(port.Port->Device, kBluetooth)) {
      leftOut.emplace_back(port.Number, "a Bluetooth link, whose opening can take half a minute");
    } else {
      free.push_back(port.Number);
    }
  }
  for (std::size_t i = 0; i < slots.Ports.size(); ++i) {
    const auto own = std::find(free.begin(), free.end(), i + 1);
    if (isNamed[i] || own == free.end()) continue;
    slots.Ports[i] = ComName(*own);
    free.erase(own);
  }
  auto next = free.begin();
  for (std::size_t i = 0; i < slots.Ports.size(); ++i) {
    if (isNamed[i] || !slots.Ports[i].empty() || next == free.end()) continue;
    slots.Ports[i] = ComName(*next++);
  }
  for (; next != free.end(); ++next) leftOut.emplace_back(*next, "COM1 to COM4 are taken");
  std::sort(leftOut.begin(), leftOut.end());

  for (const auto& [number, reason] : leftOut) {
    slots.Events.push_back("serial port " + ComName(number) + " left out: " + reason);
  }
  for (std::size_t i = 0; i < slots.Ports.size(); ++i) {
    const std::string slot = ComName(static_cast<unsigned>(i + 1));
    slots.Events.push_back("port " + slot + " is " +
                           (slots.Ports[i].empty() ? std::string("none") : slots.Ports[i]) +
                           (isNamed[i] ? " (ORBILEX_" + slot + ")" : ""));
  }
  return slots;
}

std::string SerialOpenName(const std::string& name) {
  return ComNumber(name) > 9 ? std::string(kDevicePrefix) + name : name;
}
