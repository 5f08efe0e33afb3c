// A whole program on the recording platform and the headless backend, with
// simulated devices, driven by a virtual clock.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/start.h"
#include "platform/fake_platform.h"
#include "toolkit/headless_host.h"
#include "ui/startf.h"
#include "ui/updatef.h"

// An interface that answers "0iv" at 115200 baud with its identification and
// `version` followed by `delimiter`.
inline FakeDevice InterfaceDevice(std::string version, std::string delimiter = " /") {
  return [version, delimiter](std::uint32_t baud, const std::string& written) -> std::string {
    if (baud != 115200) return "";
    if (written == "&\r") return "OK\r";
    if (written == "0iv\r") return "KORVA TARVEX 88B Ver " + version + delimiter + "2010\r";
    return "";
  };
}

// An X-ray unit that answers "VERSION?" at 9600 baud.
inline FakeDevice XrayDevice(std::string version, std::string delimiter = "/") {
  return [version, delimiter](std::uint32_t baud, const std::string& written) -> std::string {
    if (baud != 9600) return "";
    if (written == "MODE=REMOTE\r") return "REMOTE\r";
    if (written == "VERSION?\r") return "KORVA x-ray-unit 52-K Ver " + version + delimiter + "A\r";
    return "";
  };
}

// A device that answers every command with `reply`, at any speed.
inline FakeDevice ConstantDevice(std::string reply) {
  return [reply](std::uint32_t, const std::string&) { return reply; };
}

class ProgramTest : public ::testing::Test {
 protected:
  ProgramTest() {
    for (const char* name : {"COM1", "COM2", "COM3", "COM4"}) system.Ports[name].Present = true;
  }

  // Sets start.ins beside the program at D:\.
  void SetStartIns(const std::string& content) { system.Files["D:\\start.ins"] = content; }
  void SetLanguageSetting(const std::string& value) {
    system.Files["orbilex.ini"] = "[Einstellungen]\nSprache=" + value + "\n";
  }
  void Attach(const std::string& port, FakeDevice device) {
    system.Ports[port].Device = std::move(device);
  }

  // Creates the program (not yet shown).
  void Create() { program = std::make_unique<StartProgram>(system, host); }
  // Creates the program if needed, shows it and runs it up to virtual `time`.
  void RunUntil(std::uint64_t time) {
    if (!program) Create();
    host.RunUntil(*Form1, time);
  }

  // Input to a window at virtual `time`.
  void MoveAt(std::uint64_t time, TWindow& window, int x, int y) {
    host.At(time, [&window, x, y] { window.MouseMove(x, y); });
  }
  void ClickAt(std::uint64_t time, TWindow& window, int x, int y) {
    host.At(time, [&window, x, y] {
      window.MouseDown(x, y, 1);
      window.MouseUp(x, y);
    });
  }
  void ClickControlAt(std::uint64_t time, TWindow& window, const TControl& control) {
    ClickAt(time, window, control.Bounds.Left + 2, control.Bounds.Top + 2);
  }

  std::vector<std::string> Launches() const {
    std::vector<std::string> found;
    for (const FakeCall& call : system.CallsStartingWith("WinExec ")) found.push_back(call.What);
    return found;
  }

  VirtualClock clock;
  HeadlessHost host{clock};
  FakePlatform system{clock};
  std::unique_ptr<StartProgram> program;
};
