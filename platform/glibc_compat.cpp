// What the host's C++ runtime takes from C libraries newer than glibc 2.31,
// for the Linux program that is built against glibc 2.31
// (cmake/sysroot-bullseye.cmake) and runs on it. Linked into that program
// only; tests/glibc_compat_test.sh checks that nothing newer is left.
#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>

// Both stay inside the program: the libraries it loads keep their own.
extern "C" {

// glibc 2.32: whether the process has only one thread, by which the C++
// runtime skips the atomic operations on reference counts. Zero means "there
// may be more": the atomic operations always run, which is always right.
__attribute__((visibility("hidden"))) char __libc_single_threaded = 0;

// glibc 2.36: random numbers, for std::random_device, which comes along
// with the runtime's strings though the program never uses it. They come
// from the kernel, as glibc's own do; without them there is nothing safe to
// return.
__attribute__((visibility("hidden"))) std::uint32_t arc4random() {
  std::uint32_t value;
  while (getrandom(&value, sizeof value, 0) != sizeof value) {
    if (errno != EINTR) std::abort();
  }
  return value;
}
}
