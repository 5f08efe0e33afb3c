// The Windows platform's serial ports, as a Windows program that
// tests/wine_core_test.sh runs under Wine: an opening that does not end in
// the bound is given up without being waited for (the delay is the test's
// own opener, since a Wine port opens at once), and a port's settings are
// put back at the close (on the port that START_TEST_PORT names, a
// pseudo-terminal behind a COM name).
#include <windows.h>
// After windows.h.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "platform/win32_platform.h"
#include "platform/win32_ports.h"

namespace {

HANDLE gRelease = nullptr;
std::atomic<int> gOpenings{0};
std::atomic<bool> gOpeningEnded{false};
std::atomic<HANDLE> gLate{nullptr};

// An opening that ends only when the test lets it go, or after 10 s.
HANDLE BlockingOpen(const std::string&) {
  ++gOpenings;
  WaitForSingleObject(gRelease, 10000);
  gLate = CreateEventA(nullptr, TRUE, FALSE, nullptr);  // stands for the port
  gOpeningEnded = true;
  return gLate;
}

bool Closed(HANDLE handle) {
  DWORD flags = 0;
  return !GetHandleInformation(handle, &flags);
}

TEST(Win32Ports, GivesUpAnOpeningThatDoesNotEndInTheBound) {
  gRelease = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetEnvironmentVariableA("ORBILEX_COM1", "COM7");
  Win32Ports ports(BlockingOpen, 100);
  std::string reason;
  EXPECT_EQ(ports.Open("COM1", reason), kInvalidPort);
  // Back while the opening still waits.
  EXPECT_FALSE(gOpeningEnded);
  EXPECT_EQ(reason, "not opened within 100 ms; left out of the detection");
  // The next stage does not try it again.
  EXPECT_EQ(ports.Open("com1", reason), kInvalidPort);
  EXPECT_EQ(reason, "left out: its opening took longer than 100 ms");
  // Let go, the opening's thread closes the port it got at last.
  SetEvent(gRelease);
  for (int i = 0; i < 1000 && !(gOpeningEnded && Closed(gLate)); ++i) Sleep(10);
  EXPECT_TRUE(gOpeningEnded);
  EXPECT_TRUE(Closed(gLate));
  EXPECT_EQ(gOpenings, 1);
  SetEnvironmentVariableA("ORBILEX_COM1", nullptr);
  CloseHandle(gRelease);
}

HANDLE OpenRaw(const char* name) {
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(Win32Ports, PutsBackThePortsSettingsAtTheClose) {
  const char* port = std::getenv("START_TEST_PORT");
  if (port == nullptr || *port == '\0') GTEST_SKIP() << "no START_TEST_PORT";
  // As another program left the port: 1200 baud, two stop bits (a
  // pseudo-terminal keeps 8 data bits without parity, whatever is set).
  HANDLE handle = OpenRaw(port);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DCB found{};
  found.DCBlength = sizeof found;
  ASSERT_TRUE(GetCommState(handle, &found));
  found.BaudRate = 1200;
  found.StopBits = TWOSTOPBITS;
  ASSERT_TRUE(SetCommState(handle, &found));
  CloseHandle(handle);

  SetEnvironmentVariableA("ORBILEX_COM3", port);
  {
    Win32Platform platform(nullptr);
    const PortHandle opened = platform.CreateFileA("COM3");
    ASSERT_NE(opened, kInvalidPort);
    const CommState probe{115200, 8, kNoParity, kOneStopBit};
    platform.SetCommState(opened, probe);
    CommState set;
    ASSERT_TRUE(platform.GetCommState(opened, set));
    EXPECT_EQ(set.BaudRate, 115200u);
    EXPECT_EQ(set.StopBits, kOneStopBit);
    platform.CloseHandle(opened);
  }
  SetEnvironmentVariableA("ORBILEX_COM3", nullptr);

  handle = OpenRaw(port);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DCB left{};
  left.DCBlength = sizeof left;
  ASSERT_TRUE(GetCommState(handle, &left));
  CloseHandle(handle);
  EXPECT_EQ(left.BaudRate, 1200u);
  EXPECT_EQ(left.StopBits, TWOSTOPBITS);
}

}  // namespace
