// The entry of the Windows program: the Win32 platform and window backend
// under the portable program. Command-line arguments are ignored.
#include <windows.h>

#include <bits/functexcept.h>
#include <cstdlib>
#include <exception>

#include "app/start.h"
#include "platform/win32_platform.h"
#include "toolkit/win32_host.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Win32Host host;
  Win32Platform platform([&host] { return host.MainWindow(); });
  StartProgram program(platform, host);
  return program.Run();
}

// ------------------------------------------------- size of the executable
//
// The program catches no exception, so every error the C++ library reports
// ends it. These replace the library's reporting functions, which would
// link its exception classes, a second std::string implementation and the
// symbol demangler (about 160 KB of the 32-bit executable) only to build
// messages that a windowed program cannot show. The linker takes them
// instead of the library's own, which it then leaves out.

namespace __gnu_cxx {
void __verbose_terminate_handler() {
  std::abort();
}
}  // namespace __gnu_cxx

namespace std {
void __throw_bad_exception() {
  std::abort();
}
void __throw_bad_alloc() {
  std::abort();
}
void __throw_bad_array_new_length() {
  std::abort();
}
void __throw_bad_cast() {
  std::abort();
}
void __throw_bad_typeid() {
  std::abort();
}
void __throw_logic_error(const char*) {
  std::abort();
}
void __throw_domain_error(const char*) {
  std::abort();
}
void __throw_invalid_argument(const char*) {
  std::abort();
}
void __throw_length_error(const char*) {
  std::abort();
}
void __throw_out_of_range(const char*) {
  std::abort();
}
void __throw_out_of_range_fmt(const char*, ...) {
  std::abort();
}
void __throw_runtime_error(const char*) {
  std::abort();
}
void __throw_range_error(const char*) {
  std::abort();
}
void __throw_overflow_error(const char*) {
  std::abort();
}
void __throw_underflow_error(const char*) {
  std::abort();
}
}  // namespace std
