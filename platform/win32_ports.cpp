#include "platform/win32_ports.h"

#include <algorithm>
#include <atomic>

namespace {

bool StartsWithCom(const char* name) {
  return (name[0] == 'C' || name[0] == 'c') && (name[1] == 'O' || name[1] == 'o') &&
         (name[2] == 'M' || name[2] == 'm');
}

// The COM names that the system lists, with the device each leads to.
std::vector<ListedPort> ListPorts() {
  std::vector<ListedPort> ports;
  // The list of every name grows with the devices: asked again with more
  // room while it does not fit.
  std::vector<char> names;
  for (DWORD size = 16384; size <= (1u << 22); size *= 4) {
    names.assign(size, '\0');
    if (QueryDosDeviceA(nullptr, names.data(), size) != 0) break;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return ports;
  }
  std::vector<char> device(1024);
  for (const char* name = names.data(); *name != '\0'; name += strlen(name) + 1) {
    if (!StartsWithCom(name)) continue;
    const DWORD length = QueryDosDeviceA(name, device.data(), device.size());
    ports.push_back({name, length != 0 ? std::string(device.data()) : std::string()});
  }
  return ports;
}

// One opening, shared by the window's thread and the opening's thread. The
// one that leaves it last (the window's thread, or the opening's thread of
// an opening given up) deletes it.
struct Opening {
  Win32Ports::Opener Opener;
  std::string Name;
  HANDLE Handle = INVALID_HANDLE_VALUE;
  DWORD Error = 0;
  enum : int { Running, Ended, GivenUp };
  std::atomic<int> State{Running};
};

DWORD WINAPI RunOpening(void* argument) {
  auto* opening = static_cast<Opening*>(argument);
  const HANDLE handle = opening->Opener(opening->Name);
  opening->Error = GetLastError();
  opening->Handle = handle;
  int running = Opening::Running;
  if (!opening->State.compare_exchange_strong(running, Opening::Ended)) {
    // Given up: nobody uses the port.
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    delete opening;
  }
  return 0;
}

}  // namespace

HANDLE Win32Ports::OpenFile(const std::string& name) {
  return CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                     nullptr);
}

Win32Ports::Win32Ports(Opener opener, DWORD bound) : opener_(opener), bound_(bound) {}

const SerialSlots& Win32Ports::Slots() {
  if (slots_) return *slots_;
  std::array<std::optional<std::string>, 4> named;
  for (std::size_t i = 0; i < named.size(); ++i) {
    const std::string variable = "ORBILEX_COM" + std::to_string(i + 1);
    std::array<char, MAX_PATH> value{};
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableA(variable.c_str(), value.data(), value.size());
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) continue;
    // A value too long for a port name is taken as none.
    named[i] = length < value.size() ? std::string(value.data(), length) : std::string();
  }
  slots_ = ChooseSerialSlots(ListPorts(), named);
  return *slots_;
}

int Win32Ports::Index(const std::string& portName) {
  if (portName.size() != 4 || !StartsWithCom(portName.c_str())) return -1;
  return portName[3] >= '1' && portName[3] <= '4' ? portName[3] - '1' : -1;
}

std::string Win32Ports::OpenName(const std::string& portName) {
  const int index = Index(portName);
  if (index < 0) return {};
  const std::string name = SerialOpenName(Slots().Ports[index]);
  return lstrcmpiA(name.c_str(), portName.c_str()) == 0 ? std::string() : name;
}

std::optional<HANDLE> Win32Ports::OpenWithinBound(const std::string& name) {
  auto* opening = new Opening{opener_, name};
  const HANDLE thread = CreateThread(nullptr, 64 * 1024, RunOpening, opening,
                                     STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (thread == nullptr) {
    // No thread to spare: opened here, as the plain program would.
    RunOpening(opening);
  } else {
    WaitForSingleObject(thread, bound_);
    CloseHandle(thread);
    int running = Opening::Running;
    // The opening's thread deletes what it shares from now on.
    if (opening->State.compare_exchange_strong(running, Opening::GivenUp)) return std::nullopt;
  }
  const HANDLE handle = opening->Handle;
  const DWORD error = opening->Error;
  delete opening;
  SetLastError(error);
  return handle;
}

PortHandle Win32Ports::Open(const std::string& portName, std::string& reason) {
  reason.clear();
  const int index = Index(portName);
  const std::string name = index < 0 ? std::string() : Slots().Ports[index];
  if (name.empty()) {
    reason = "no serial port";
    return kInvalidPort;
  }
  if (givenUp_[index]) {
    reason = "left out: its opening took longer than " + std::to_string(bound_) + " ms";
    return kInvalidPort;
  }
  const std::optional<HANDLE> opened = OpenWithinBound(SerialOpenName(name));
  if (!opened) {
    givenUp_[index] = true;
    reason = "not opened within " + std::to_string(bound_) + " ms; left out of the detection";
    return kInvalidPort;
  }
  const HANDLE handle = *opened;
  if (handle == INVALID_HANDLE_VALUE) return kInvalidPort;
  Found found{handle, std::nullopt, std::nullopt};
  DCB state{};
  state.DCBlength = sizeof state;
  if (GetCommState(handle, &state)) found.State = state;
  COMMTIMEOUTS timeouts{};
  if (GetCommTimeouts(handle, &timeouts)) found.Timeouts = timeouts;
  open_.push_back(found);
  // Reads return at once with what has arrived. Writes give up after 50 ms
  // plus 2 ms a byte (a byte takes about 1 ms at 9600 baud), so a port that
  // flow control holds back cannot freeze the window.
  timeouts = {};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.WriteTotalTimeoutMultiplier = 2;
  timeouts.WriteTotalTimeoutConstant = 50;
  SetCommTimeouts(handle, &timeouts);
  return reinterpret_cast<PortHandle>(handle);
}

void Win32Ports::Close(PortHandle port) {
  const HANDLE handle = reinterpret_cast<HANDLE>(port);
  // Output that flow control holds back would make the close wait for it.
  PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
  const auto found = std::find_if(open_.begin(), open_.end(),
                                  [handle](const Found& f) { return f.Handle == handle; });
  if (found != open_.end()) {
    if (found->State) SetCommState(handle, &*found->State);
    if (found->Timeouts) SetCommTimeouts(handle, &*found->Timeouts);
    open_.erase(found);
  }
  CloseHandle(handle);
}
