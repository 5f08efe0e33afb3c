#include "platform/tracing_platform.h"

#include <algorithm>

#include "platform/trace_text.h"

namespace {

// The meaning of ShellExecuteA's failure codes.
const char* OpenFailure(std::intptr_t result) {
  switch (result) {
    case 0:
      return "out of memory";
    case 2:
      return "file not found";
    case 3:
      return "path not found";
    case 5:
      return "access denied";
    case 31:
      return "no viewer for the type";
    default:
      return "failed";
  }
}

// Whether `a` and `b` name the same path, "\\" and "/" counting as one.
bool SamePath(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return x == y || ((x == '\\' || x == '/') && (y == '\\' || y == '/'));
         });
}

std::string Decimal(std::intptr_t value) {
  return TraceDecimal(static_cast<std::uint64_t>(value));
}

}  // namespace

TracingPlatform::TracingPlatform(Platform& inner, TraceWriter& writer)
    : inner_(inner), writer_(writer) {
  Trace("trace begins");
}

void TracingPlatform::Trace(std::string_view event) {
  writer_.WriteLine(TraceLine(writer_.Milliseconds(), event));
}

void TracingPlatform::Event(std::initializer_list<std::string_view> parts) {
  Trace(TraceJoin(parts));
}

std::string_view TracingPlatform::Port(PortHandle port) const {
  const auto open = std::find_if(ports_.begin(), ports_.end(),
                                 [port](const auto& entry) { return entry.first == port; });
  return open != ports_.end() ? std::string_view(open->second) : "?";
}

std::string TracingPlatform::GetPrivateProfileStringA(const std::string& section,
                                                      const std::string& key,
                                                      const std::string& def,
                                                      const std::string& file) {
  std::string value = inner_.GetPrivateProfileStringA(section, key, def, file);
  const std::optional<std::string> source = inner_.ProfileSource(section, key, file);
  const bool elsewhere = source && !SamePath(*source, file);
  Event({"profile ", file, " [", section, "] ", key, " = ", TraceQuoted(value),
         !source     ? " (default)"
         : elsewhere ? " (from "
                     : "",
         elsewhere ? std::string_view(*source) : "", elsewhere ? ")" : ""});
  return value;
}

std::optional<std::string> TracingPlatform::ProfileSource(const std::string& section,
                                                          const std::string& key,
                                                          const std::string& file) {
  return inner_.ProfileSource(section, key, file);
}

std::uint32_t TracingPlatform::GetSystemDefaultLCID() {
  return inner_.GetSystemDefaultLCID();
}

std::string TracingPlatform::GetModuleFileNameA() {
  std::string path = inner_.GetModuleFileNameA();
  Event({"own path ", path.empty() ? "unknown" : std::string_view(path)});
  return path;
}

void TracingPlatform::SetCurrentDirectoryA(const std::string& dir) {
  inner_.SetCurrentDirectoryA(dir);
  directory_ = dir;
  Event({"directory ", dir});
}

LaunchResult TracingPlatform::WinExec(const std::string& commandLine, int show) {
  const LaunchResult result = inner_.WinExec(commandLine, show);
  const std::string error = result == LaunchResult::Started ? "" : inner_.LastErrorText();
  Event({"launch ", commandLine, " in ",
         directory_.empty() ? "the start-up directory" : std::string_view(directory_),
         result == LaunchResult::Started    ? ": started"
         : result == LaunchResult::NotFound ? ": not found"
                                            : ": failed",
         error.empty() ? "" : ": ", error});
  return result;
}

std::intptr_t TracingPlatform::ShellExecuteA(const std::string& file, const std::string& directory,
                                             int show) {
  const std::intptr_t result = inner_.ShellExecuteA(file, directory, show);
  const bool begun = result > 32;
  Event({"open ", file, " in ", directory, begun ? ": begun, opening " : ": failed, ",
         Decimal(result), begun ? "" : " (", begun ? "" : OpenFailure(result), begun ? "" : ")"});
  return result;
}

std::optional<bool> TracingPlatform::DocumentOutcome(std::intptr_t result) {
  const std::optional<bool> opened = inner_.DocumentOutcome(result);
  if (opened) Event({"opening ", Decimal(result), *opened ? ": opened" : ": the viewer failed"});
  return opened;
}

void TracingPlatform::Sleep(unsigned ms) {
  inner_.Sleep(ms);
}

PortHandle TracingPlatform::CreateFileA(const std::string& portName) {
  if (!portChoiceTraced_) {
    portChoiceTraced_ = true;
    for (const std::string& event : inner_.PortChoice()) Trace(event);
  }
  const PortHandle port = inner_.CreateFileA(portName);
  // Asked at once, before anything else can change the error.
  const std::string error = port == kInvalidPort ? inner_.LastErrorText() : "";
  const std::string device = inner_.PortDeviceName(portName);
  Event({"port ", portName, device.empty() ? "" : " (", device, device.empty() ? "" : ")", " open",
         port != kInvalidPort ? ": ok" : ": failed", error.empty() ? "" : ": ", error});
  if (port != kInvalidPort) ports_.emplace_back(port, portName);
  return port;
}

void TracingPlatform::SetupComm(PortHandle port, std::uint32_t inQueue, std::uint32_t outQueue) {
  inner_.SetupComm(port, inQueue, outQueue);
}

bool TracingPlatform::GetCommState(PortHandle port, CommState& state) {
  return inner_.GetCommState(port, state);
}

void TracingPlatform::SetCommState(PortHandle port, const CommState& state) {
  inner_.SetCommState(port, state);
  constexpr std::string_view kParities = "NOEMS";
  constexpr std::string_view kStopBits[] = {"1", "1.5", "2"};
  Event({"port ", Port(port), " line ", TraceDecimal(state.BaudRate), " ",
         TraceDecimal(state.ByteSize), state.Parity < 5 ? kParities.substr(state.Parity, 1) : "?",
         state.StopBits < 3 ? kStopBits[state.StopBits] : "?"});
}

void TracingPlatform::PurgeComm(PortHandle port, unsigned flags) {
  inner_.PurgeComm(port, flags);
  Event({"port ", Port(port), " purge ", TraceHex(flags, 1)});
}

std::size_t TracingPlatform::ClearCommError(PortHandle port) {
  const std::size_t waiting = inner_.ClearCommError(port);
  Event({"port ", Port(port), " waiting ", TraceDecimal(waiting)});
  return waiting;
}

std::size_t TracingPlatform::ReadFile(PortHandle port, void* buffer, std::size_t count) {
  const std::size_t read = inner_.ReadFile(port, buffer, count);
  Event({"port ", Port(port), " read ", TraceQuoted({static_cast<const char*>(buffer), read}), " (",
         TraceDecimal(read), " bytes)"});
  return read;
}

std::size_t TracingPlatform::WriteFile(PortHandle port, const void* data, std::size_t count) {
  const std::size_t written = inner_.WriteFile(port, data, count);
  Event({"port ", Port(port), " write ", TraceQuoted({static_cast<const char*>(data), count}), " (",
         TraceDecimal(count), " bytes): ", TraceDecimal(written), " written"});
  return written;
}

void TracingPlatform::CloseHandle(PortHandle port) {
  inner_.CloseHandle(port);
  Event({"port ", Port(port), " close"});
  std::erase_if(ports_, [port](const auto& entry) { return entry.first == port; });
}

std::string TracingPlatform::PortDeviceName(const std::string& portName) {
  return inner_.PortDeviceName(portName);
}

std::vector<std::string> TracingPlatform::PortChoice() {
  return inner_.PortChoice();
}

std::string TracingPlatform::LastErrorText() {
  return inner_.LastErrorText();
}
