#include "platform/fake_platform.h"

#include <algorithm>

#include "platform/profile.h"

namespace {

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

std::vector<FakeCall> FakePlatform::CallsStartingWith(const std::string& prefix) const {
  std::vector<FakeCall> found;
  for (const FakeCall& call : Calls) {
    if (call.What.rfind(prefix, 0) == 0) found.push_back(call);
  }
  return found;
}

int FakePlatform::IndexOf(const std::string& prefix) const {
  for (std::size_t i = 0; i < Calls.size(); ++i) {
    if (Calls[i].What.rfind(prefix, 0) == 0) return static_cast<int>(i);
  }
  return -1;
}

int FakePlatform::OpenPortCount() const {
  return static_cast<int>(open_.size());
}

void FakePlatform::Log(std::string what) {
  Calls.push_back({clock_.Now(), std::move(what)});
}

std::string FakePlatform::GetPrivateProfileStringA(const std::string& section,
                                                   const std::string& key, const std::string& def,
                                                   const std::string& file) {
  Log("GetPrivateProfileStringA " + file + " " + section + " " + key);
  for (const auto& [name, content] : Files) {
    if (SameText(name, file)) {
      return FindProfileValue(content, section, key).value_or(ProfileDefault(def));
    }
  }
  return ProfileDefault(def);
}

std::optional<std::string> FakePlatform::ProfileSource(const std::string& section,
                                                       const std::string& key,
                                                       const std::string& file) {
  for (const auto& [name, content] : Files) {
    if (SameText(name, file) && FindProfileValue(content, section, key)) return name;
  }
  return std::nullopt;
}

std::uint32_t FakePlatform::GetSystemDefaultLCID() {
  return Lcid;
}

std::string FakePlatform::GetModuleFileNameA() {
  return ModulePath;
}

void FakePlatform::SetCurrentDirectoryA(const std::string& dir) {
  Log("SetCurrentDirectoryA " + dir);
  CurrentDirectory = dir;
}

LaunchResult FakePlatform::WinExec(const std::string& commandLine, int show) {
  Log("WinExec " + commandLine + " " + std::to_string(show) + " in " + CurrentDirectory + " with " +
      std::to_string(OpenPortCount()) + " ports open");
  return LaunchResult::Started;
}

std::intptr_t FakePlatform::ShellExecuteA(const std::string& file, const std::string& directory,
                                          int show) {
  std::intptr_t result = 31;  // no viewer for the type
  if (ViewerInstalled) {
    result = 2;  // file not found
    for (const auto& entry : Files) {
      if (SameText(entry.first, file)) result = 42 + static_cast<std::intptr_t>(openings_.size());
    }
  }
  if (result > 32) openings_[result] = clock_.Now();
  Log("ShellExecuteA " + file + " " + directory + " " + std::to_string(show) + " -> " +
      std::to_string(result));
  return result;
}

std::optional<bool> FakePlatform::DocumentOutcome(std::intptr_t result) {
  const auto opening = openings_.find(result);
  if (opening == openings_.end()) return true;
  if (!ViewerFailsAfter) return true;
  if (clock_.Now() < opening->second + *ViewerFailsAfter) return std::nullopt;
  Log("DocumentOutcome " + std::to_string(result) + " -> failed");
  return false;
}

void FakePlatform::Sleep(unsigned ms) {
  Log("Sleep " + std::to_string(ms));
  clock_.Advance(ms);
}

PortHandle FakePlatform::CreateFileA(const std::string& portName) {
  const auto port = Ports.find(portName);
  bool available = port != Ports.end() && port->second.Present && !port->second.Busy;
  for (const auto& [handle, open] : open_) available = available && open.Name != portName;
  Log("CreateFileA " + portName + (available ? "" : " failed"));
  if (!available) {
    lastError_ = port != Ports.end() && port->second.Present ? "busy" : "absent";
    return kInvalidPort;
  }
  const PortHandle handle = next_++;
  open_[handle] = OpenPort{portName, CommState{9600, 7, 2, 0}, {}, {}};
  return handle;
}

FakePlatform::OpenPort* FakePlatform::Find(PortHandle port) {
  const auto found = open_.find(port);
  return found == open_.end() ? nullptr : &found->second;
}

void FakePlatform::Deliver(OpenPort& port) {
  auto& pending = port.Pending;
  for (auto it = pending.begin(); it != pending.end();) {
    if (it->first <= clock_.Now()) {
      port.Input += it->second;
      it = pending.erase(it);
    } else {
      ++it;
    }
  }
}

void FakePlatform::SetupComm(PortHandle port, std::uint32_t inQueue, std::uint32_t outQueue) {
  if (OpenPort* open = Find(port)) {
    Log("SetupComm " + open->Name + " " + std::to_string(inQueue) + " " + std::to_string(outQueue));
  }
}

bool FakePlatform::GetCommState(PortHandle port, CommState& state) {
  OpenPort* open = Find(port);
  if (open == nullptr) return false;
  state = open->State;
  return true;
}

void FakePlatform::SetCommState(PortHandle port, const CommState& state) {
  if (OpenPort* open = Find(port)) {
    open->State = state;
    Log("SetCommState " + open->Name + " " + std::to_string(state.BaudRate) + " " +
        std::to_string(state.ByteSize) + " " + std::to_string(state.Parity) + " " +
        std::to_string(state.StopBits));
  }
}

void FakePlatform::PurgeComm(PortHandle port, unsigned flags) {
  if (OpenPort* open = Find(port)) {
    Log("PurgeComm " + open->Name + " " + std::to_string(flags));
    Deliver(*open);
    if (flags & kPurgeRxClear) open->Input.clear();
  }
}

std::size_t FakePlatform::ClearCommError(PortHandle port) {
  OpenPort* open = Find(port);
  if (open == nullptr) return 0;
  Deliver(*open);
  Log("ClearCommError " + open->Name + " " + std::to_string(open->Input.size()));
  return open->Input.size();
}

std::size_t FakePlatform::ReadFile(PortHandle port, void* buffer, std::size_t count) {
  OpenPort* open = Find(port);
  if (open == nullptr) return 0;
  Deliver(*open);
  const std::size_t n = std::min(count, open->Input.size());
  std::copy_n(open->Input.data(), n, static_cast<char*>(buffer));
  open->Input.erase(0, n);
  Log("ReadFile " + open->Name + " " + std::to_string(n));
  return n;
}

std::size_t FakePlatform::WriteFile(PortHandle port, const void* data, std::size_t count) {
  OpenPort* open = Find(port);
  if (open == nullptr) return 0;
  const std::string bytes(static_cast<const char*>(data), count);
  Log("WriteFile " + open->Name + " " + bytes);
  FakePort& device = Ports[open->Name];
  device.Received.emplace_back(clock_.Now(), bytes);
  if (device.Device) {
    std::string reply = device.Device(open->State.BaudRate, bytes);
    if (!reply.empty())
      open->Pending.emplace_back(clock_.Now() + device.ReplyDelay, std::move(reply));
  }
  return count;
}

void FakePlatform::CloseHandle(PortHandle port) {
  if (OpenPort* open = Find(port)) {
    Log("CloseHandle " + open->Name);
    open_.erase(port);
  }
}

std::string FakePlatform::PortDeviceName(const std::string& portName) {
  return "fake " + portName;
}

std::string FakePlatform::LastErrorText() {
  return lastError_;
}
