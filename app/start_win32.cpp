// The entry of the Windows program: the Win32 platform and window backend
// under the portable program. Command-line arguments are ignored.
#include <windows.h>

#include <array>
#include <memory>
#include <optional>

#include "app/start.h"
#include "platform/tracing_platform.h"
#include "platform/win32_platform.h"
#include "toolkit/win32_host.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // START_TRACE (README.md) is read and its file opened first, so that a
  // relative name is taken from where the program was started.
  std::array<char, MAX_PATH> setting{};
  const DWORD length = GetEnvironmentVariableA("START_TRACE", setting.data(), setting.size());
  const std::unique_ptr<TraceWriter> trace =
      OpenWin32Trace(length > 0 && length < setting.size() ? setting.data() : nullptr);
  Win32Host host;
  Win32Platform platform([&host] { return host.MainWindow(); });
  std::optional<TracingPlatform> traced;
  if (trace) traced.emplace(platform, *trace);
  StartProgram program(traced ? static_cast<Platform&>(*traced) : platform, host);
  return program.Run();
}
