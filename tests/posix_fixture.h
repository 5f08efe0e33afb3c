// Helpers for the tests of the POSIX platform: private directories, files,
// environment variables and the current directory, each restored when its
// guard goes, and a bounded wait.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>

namespace posixtest {

// A private directory, removed with its contents.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "posix-platform-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  // The POSIX path of `relative` inside the directory.
  std::string Path(const std::string& relative = "") const {
    return relative.empty() ? path_.string() : (path_ / relative).string();
  }
  std::string operator/(const std::string& relative) const { return Path(relative); }
  // The same path as the program names it: "\"-separated, with `relative`
  // taken as written (it may use "\" already).
  std::string Windows(const std::string& relative = "") const {
    std::string path = Path() + '/' + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
  }

 private:
  std::filesystem::path path_;
};

// Writes `content` to `path`, creating the directories above it.
inline void WriteText(const std::string& path, const std::string& content) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// Writes an executable shell script.
inline void WriteScript(const std::string& path, const std::string& body) {
  WriteText(path, "#!/bin/sh\n" + body);
  chmod(path.c_str(), 0755);
}

// Copies the program `from` to `to`, creating the directories above it.
inline void CopyProgram(const std::string& from, const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing);
  chmod(to.c_str(), 0755);
}

// The whole file, or what could be read of it (a file under /proc can
// vanish while it is read).
inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  try {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    return {};
  }
}

// Sets (or, with nullopt, removes) an environment variable; the old state
// comes back when the guard goes.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = getenv(name_.c_str())) old_ = old;
    Apply(value);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { Apply(old_); }

 private:
  void Apply(const std::optional<std::string>& value) {
    if (value) {
      setenv(name_.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  std::string name_;
  std::optional<std::string> old_;
};

// Brings the current directory back when it goes.
class ScopedCurrentDirectory {
 public:
  ScopedCurrentDirectory() : old_(std::filesystem::current_path()) {}
  ScopedCurrentDirectory(const ScopedCurrentDirectory&) = delete;
  ScopedCurrentDirectory& operator=(const ScopedCurrentDirectory&) = delete;
  ~ScopedCurrentDirectory() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
  }

 private:
  std::filesystem::path old_;
};

// Polls `done` until it holds or `bound` has passed; returns whether it held.
inline bool WaitFor(const std::function<bool()>& done,
                    std::chrono::milliseconds bound = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace posixtest
