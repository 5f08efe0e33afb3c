// The platform layer on Linux. It keeps to POSIX but for a few Linux names:
// the faster line speeds, IUCLC, TIOCGEXCL, /proc/self/exe for the own path,
// and sysfs and udev's /dev/serial/by-path to find serial ports.
//
// Paths arrive "\"-separated, as the program keeps them, and are mapped at
// this boundary: "\" becomes "/", and each component is looked up without
// regard to case, since CD file systems often show names in upper case. A
// POSIX path that itself contains a backslash cannot be named this way and
// is not supported.
//
// Serial ports "COM1".."COM4" are the first four serial ports found at the
// first use of a port, and stay so while the platform lives: the built-in
// UARTs that are there, then the USB and ACM adapters (see Ports()). The
// environment variables ORBILEX_COM1..ORBILEX_COM4 name the device of their
// port instead; a variable naming a path that does not exist makes its port
// absent. A port is left as it was found: its terminal settings come back
// and its exclusive mode is cleared when it is closed.
//
// Failures that the user would not otherwise see (a program or document
// that is missing, a Windows program without wine, no xdg-open; with
// PosixPlatformWithPortNotices, a port that the permissions keep closed) are
// told in one line on standard error that begins with "start: ".
//
// The class is implemented by concern: files, profiles, the locale, the own
// path, sleeping, errors and the trace file in posix_platform.cpp; the
// current directory, programs and documents in posix_process.cpp; serial
// ports in posix_serial.cpp.
#pragma once

#include <sys/types.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

class TraceWriter;

// Maps the "\"-separated `path` to the POSIX path it names. Each component
// is taken as it is if that entry exists, else in UTF-8 if it holds code-
// page-1252 letters and that entry exists, else as the directory entry that
// matches it without regard to letter case (the lowest in byte order when
// several do; the entry's name read as UTF-8 where valid, as code page 1252
// elsewhere), else unchanged, as are all components after it. Empty
// components are dropped; a leading or trailing separator is kept. With a
// `base` (a directory ending in "/"), `path` is taken as relative to it and
// `base` itself as it is.
std::string MapToPosixPath(const std::string& path, const std::string& base = {});

// A serial port as the POSIX platform sees it: its device (empty when there
// is none) and whether its ORBILEX_COMn variable named it.
struct PosixPort {
  std::string Device;
  bool Configured = false;
};

// Whether a port's device can be opened, and if not, why.
enum class PortState {
  NoDevice,     // the port has no device
  Free,         // it can be opened
  Absent,       // no such device
  NotTerminal,  // the path is not a terminal device
  Exclusive,    // another program holds it in exclusive mode
  Locked,       // another program holds its flock lock
  LockFile,     // a lock file names a process that exists (Detail: the file)
  Denied,       // no permission (Detail: the group that owns the device)
  Closing,      // this program's close of it still waits for held-back output
  Failed,       // another error (Detail: the system's message)
};

struct PortCheck {
  PortState State = PortState::NoDevice;
  std::string Detail;
  pid_t Holder = 0;  // the process of a lock file
};

// What `check` says of the port's `device`, for people: "can be opened",
// "held by another program (exclusive mode)", "permission denied: the user
// must be in the group ...".
std::string PortCheckText(const std::string& device, const PortCheck& check);

// The trace's writer for the value of START_TRACE: nothing when it is unset
// or empty, standard error for "1", else the file it names (relative to the
// current directory), opened now and appended to, created with mode 0600
// where it is missing. Only a regular file is taken, never through a
// symbolic link, and the open never waits; anything else is told on
// standard error in one line and gives no trace.
std::unique_ptr<TraceWriter> OpenPosixTrace(const char* setting);

class PosixPlatform : public Platform {
 public:
  // `viewerWait` bounds how long a document opener may take to report its
  // failure; one still running then counts as a success. `ownPathLink` is
  // the link that names the running program's file. `root` is the directory
  // that stands for "/" where serial ports are looked for: its dev/,
  // sys/class/tty/ and var/lock/.
  explicit PosixPlatform(std::chrono::milliseconds viewerWait = std::chrono::seconds(10),
                         std::string ownPathLink = "/proc/self/exe", std::string root = "/");
  PosixPlatform(const PosixPlatform&) = delete;
  PosixPlatform& operator=(const PosixPlatform&) = delete;

  // A bare `file` (no separator) is looked up as $XDG_CONFIG_HOME/<file>
  // ($HOME/.config/<file> when that is unset), then /etc/<file>; the first
  // that exists is read, up to 64 MiB of it.
  std::string GetPrivateProfileStringA(const std::string& section, const std::string& key,
                                       const std::string& def, const std::string& file) override;
  // The POSIX path of the file read.
  std::optional<std::string> ProfileSource(const std::string& section, const std::string& key,
                                           const std::string& file) override;
  // From the first non-empty of LC_ALL, LC_MESSAGES and LANG: German in
  // Germany, Switzerland, Austria, Luxembourg or Liechtenstein gives that
  // region's identifier, German elsewhere the bare language (0x0007), any
  // other or no locale US English (0x0409).
  std::uint32_t GetSystemDefaultLCID() override;
  // The resolved path of the running executable with "/" turned into "\";
  // empty when it cannot be read (no /proc) or is longer than PATH_MAX.
  // Paths that begin with its directory, as returned, keep that directory as
  // it is on disk: only the parts after it are mapped, so a "\" in the
  // name of a folder above the program stays a "\".
  std::string GetModuleFileNameA() override;
  // Sleeps `ms` milliseconds, resuming after interrupting signals.
  void Sleep(unsigned ms) override;

  // Changes to the mapped `dir`; failure has no effect. Programs started
  // later inherit it.
  void SetCurrentDirectoryA(const std::string& dir) override;
  // Starts the mapped path as the program, with no arguments and never
  // through a shell; a Windows executable (its file begins with "MZ") is
  // handed to `wine` when that is on PATH. The show mode is ignored. Every
  // started program is reaped as soon as it ends. A missing program, or one
  // that cannot start (a Windows one without wine, say), is told on
  // standard error.
  LaunchResult WinExec(const std::string& commandLine, int show) override;
  // Starts `xdg-open` from PATH on the document in the mapped `directory`,
  // without waiting for it. Returns 2 when the file is missing, 31 when
  // there is no opener or it cannot start (each told on standard error),
  // else a number above 32 for DocumentOutcome. The show mode is ignored.
  std::intptr_t ShellExecuteA(const std::string& file, const std::string& directory,
                              int show) override;
  // Nothing while the opener runs within the wait bound; false when it
  // ended with an error, true when it ended well or still runs at the bound.
  std::optional<bool> DocumentOutcome(std::intptr_t result) override;

  // The devices of COM1..COM4, found once, at the first call. A port whose
  // ORBILEX_COMn variable is set (even empty) has that device. The others
  // take, in order, the serial ports found without opening any, but for
  // devices that a variable names already (as resolved paths):
  //  1. the built-in UARTs, /dev/ttyS<N> by N: those with an entry in
  //     sys/class/tty whose device is bound to a driver (device/driver) and
  //     whose UART type (the `type` file) is not 0, which the serial core
  //     gives the empty slots it keeps for UARTs that may be added;
  //  2. the USB adapters and modems, /dev/ttyUSB<N> and /dev/ttyACM<N> as
  //     listed in sys/class/tty: first those with a link in
  //     dev/serial/by-path, by the name of the link (the lowest, where
  //     there are several), which names the socket; then the rest by device
  //     name. Names compare with digit runs as numbers.
  // Only devices with a node in dev/ are taken.
  const std::array<PosixPort, 4>& Ports();
  // Whether port `index` (0 for COM1) can be opened now. A port that can
  // is opened as CreateFileA does and closed again at once.
  PortCheck CheckPort(int index);

  // Opens the terminal device of "COM1".."COM4" (names match without regard
  // to case) non-blocking, never as controlling terminal, and claims it the
  // two ways POSIX programs do: a non-blocking flock, which fails while
  // another program holds the lock, and TIOCEXCL, which makes further opens
  // fail (except for root). Fails with kInvalidPort for other names, absent
  // devices, files that are not terminals and ports held by others: in
  // exclusive mode (seen also when running as root), by flock, or by a UUCP
  // lock file var/lock/LCK..<device name> that holds the process id (as
  // text or as a binary int) of a process that still exists. The handle is
  // the descriptor.
  PortHandle CreateFileA(const std::string& portName) override;
  // Nothing to do: the kernel sizes the queues of a terminal.
  void SetupComm(PortHandle port, std::uint32_t inQueue, std::uint32_t outQueue) override;
  // Reports speed (0 for a rate outside the standard ones), data bits,
  // parity (0 none, 1 odd, 2 even) and stop bits (0 one, 2 two).
  bool GetCommState(PortHandle port, CommState& state) override;
  // Sets speed (a rate outside the standard ones leaves it as it is), data
  // bits, parity and stop bits, and makes the line raw: no translation,
  // echo or line editing, reads return at once. Software flow control
  // (IXON, IXOFF, IXANY) is turned off, so that the bytes 0x11 and 0x13
  // pass as data; hardware flow control (CRTSCTS) keeps the port's setting.
  void SetCommState(PortHandle port, const CommState& state) override;
  // Discards received (kPurgeRxClear) and unsent (kPurgeTxClear) bytes.
  void PurgeComm(PortHandle port, unsigned flags) override;
  // The number of received bytes waiting; 0 when the device cannot tell.
  std::size_t ClearCommError(PortHandle port) override;
  // Reads what is waiting, at most `count` bytes, without waiting.
  std::size_t ReadFile(PortHandle port, void* buffer, std::size_t count) override;
  // Writes for at most about 50 ms and returns how many bytes went out: the
  // window's thread calls this, and hardware flow control or a peer that
  // does not read could otherwise hold it indefinitely.
  std::size_t WriteFile(PortHandle port, const void* data, std::size_t count) override;
  // Drops unsent output, puts back the terminal settings the port had when
  // it was opened, clears the exclusive mode this program set, and closes
  // the descriptor (which drops the lock). The close of a serial line can
  // wait for bytes that flow control holds in the UART, up to the port's
  // closing wait (30 s by default; changing it needs CAP_SYS_ADMIN): it runs
  // on a thread of its own, and this returns after at most about 50 ms.
  // Until that close has ended, CreateFileA of the port fails at once
  // (PortState::Closing): a detection stage goes on without the port, as
  // without a port that another program holds.
  void CloseHandle(PortHandle port) override;
  // Replaces the system's close of a port's descriptor, which CloseHandle
  // runs on its thread (tests stand in a line that does not drain).
  void SetDeviceClose(std::function<void(int fd)> close) { deviceClose_ = std::move(close); }
  // The device that CreateFileA picks for "COM1".."COM4", with its links
  // resolved when it exists.
  std::string PortDeviceName(const std::string& portName) override;
  // How Ports() chose: "serial ports found: /dev/ttyS0, /dev/ttyUSB0" (when
  // it looked), "serial port /dev/ttyUSB4 left out: COM1 to COM4 are
  // taken", "port COM1 is /dev/ttyS0", "port COM2 is /dev/pts/3
  // (ORBILEX_COM2)", "port COM4 is none".
  std::vector<std::string> PortChoice() override;
  // Why the last CreateFileA or WinExec that failed did: for a port, what
  // PortCheckText says; for a program, the reason told on standard error.
  std::string LastErrorText() override;

 protected:
  // Tells on standard error, once per port, that `portName` could not be
  // opened for want of permission, with its device and the group that may
  // open serial ports.
  void NoticeRefusedPort(const std::string& portName);

 private:
  // What an open port needs at its close.
  struct OpenPort {
    std::string Device;
    std::optional<termios> Settings;  // as found at the open
    bool Exclusive = false;           // this program set the exclusive mode
  };
  // A close running on its own thread.
  struct Closing {
    std::mutex Lock;
    std::condition_variable Ended;
    bool Done = false;
  };
  // Opens and claims `device` as CreateFileA does; on success `fd` is the
  // descriptor and the port is recorded in openPorts_.
  PortCheck OpenDevice(const std::string& device, int& fd);

  // The file that profile `file` stands for, or nothing.
  std::optional<std::string> ProfilePath(const std::string& file) const;
  // MapToPosixPath, except that the program's own directory, as
  // GetModuleFileNameA gave it, is taken as it is.
  std::string ToPosixPath(const std::string& path) const;

  // A document opener that was started: its exit status once it has ended
  // (-1 before), and when it started.
  struct Opening {
    std::shared_ptr<std::atomic<int>> ExitStatus;
    std::chrono::steady_clock::time_point Started;
  };

  std::chrono::milliseconds viewerWait_;
  std::map<std::intptr_t, Opening> openings_;
  std::intptr_t nextOpening_ = 100;
  std::string ownPathLink_;
  std::string ownDirectory_;       // on disk, ending in "/"
  std::string ownDirectoryNamed_;  // as GetModuleFileNameA gave it, ending in "\"
  std::string root_;               // ending in "/"
  std::optional<std::array<PosixPort, 4>> ports_;
  std::vector<std::string> portChoice_;  // PortChoice, made with ports_
  std::map<int, OpenPort> openPorts_;
  // Devices whose close outlasted CloseHandle, until it ends.
  std::map<std::string, std::shared_ptr<Closing>> closing_;
  std::function<void(int)> deviceClose_ = [](int fd) { close(fd); };
  PortCheck lastPortCheck_;             // of the last CreateFileA
  std::string lastError_;               // LastErrorText
  std::set<std::string> refusedPorts_;  // told already
};

// The POSIX platform of the Linux program: PosixPlatform, and a port that
// the permissions keep closed is told on standard error (NoticeRefusedPort).
class PosixPlatformWithPortNotices : public PosixPlatform {
 public:
  using PosixPlatform::PosixPlatform;
  PortHandle CreateFileA(const std::string& portName) override;
};
