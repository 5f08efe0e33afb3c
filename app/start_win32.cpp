// The entry of the Windows program: the Win32 platform and window backend
// under the portable program. Command-line arguments are ignored.
#include <windows.h>

#include "app/start.h"
#include "platform/win32_platform.h"
#include "toolkit/win32_host.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Win32Host host;
  Win32Platform platform([&host] { return host.MainWindow(); });
  StartProgram program(platform, host);
  return program.Run();
}
