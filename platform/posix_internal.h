// What the files of the POSIX platform share (posix_platform.cpp,
// posix_process.cpp, posix_serial.cpp); nothing outside them includes it.
#pragma once

#include <unistd.h>

#include <string>
#include <string_view>

namespace posixplatform {

// An owned file descriptor, closed when it goes.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() {
    if (fd_ >= 0) close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

// Whether `a` and `b` are equal without regard to ASCII case.
bool SameIgnoringCase(std::string_view a, std::string_view b);

// Whether there is a directory entry at `path` (a dangling link counts).
bool Exists(const std::string& path);

// Whether `path` is, or links to, a regular file.
bool IsRegularFile(const std::string& path);

// Writes "start: " + `text` as one line on standard error; errno is kept.
void Notice(std::string_view text);

}  // namespace posixplatform
