// The C++ library's error reports, ended at once in the Windows program.
//
// The program catches no exception: one that the library throws (a failed
// allocation, a length beyond max_size(), an empty std::function called)
// would end it anyway. The library's helpers that throw them
// (std::__throw_*) construct exception objects with messages, and so link
// the exception classes, two std::string implementations, a printf for the
// formatted messages, and the demangler of the default terminate handler:
// in the 32-bit executable about 160 KB of 410 KB, for messages that a
// windowed program cannot show. Defined here, they take the place of the
// library's own, whose objects the linker then leaves out. (The unwinder
// and the personality routine stay: the library's thread-safe
// initialisation of local statics refers to them.)
//
// Every helper that the library defines in functexcept.o and functional.o
// is replaced: one left out would quietly bring its object, and with it the
// exception classes, back (tests/win32_size_test.sh reads the link map for
// that). The helpers for ios_base::failure, system_error and future_error
// are not: their objects define more than the helper, and the program uses
// none of them.
#include <bits/functexcept.h>
#include <cstdlib>

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
void __throw_bad_function_call() {
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
