// The POSIX platform against bad input: profile files on disk that are
// garbage, huge or have endless lines, and a pseudo-terminal peer that
// floods the port or streams without end while the port bank reads.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/global.h"
#include "app/system.h"
#include "detect/portbank.h"
#include "platform/posix_platform.h"
#include "tests/posix_fixture.h"

namespace {

using namespace std::chrono_literals;
using posixtest::ScopedEnv;
using posixtest::TempDir;
using posixtest::WriteText;

std::string Noise(std::size_t size, unsigned variant) {
  std::mt19937 random(variant);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

TEST(PosixBadProfile, GarbageHugeFilesAndLongLinesGiveWhatCanBeRead) {
  const std::string longLine(10000, 'k');
  const std::string mebibytes = Noise(5 << 20, 7);
  struct Case {
    const char* name;
    std::string content;
    std::string expected;
  };
  const Case cases[] = {
      {"binary garbage", Noise(1 << 16, 1), "default"},
      {"zero bytes", std::string(1 << 16, '\0'), "default"},
      {"empty", "", "default"},
      {"5 MB, the key first", "[CDStart]\nVXVersion=2.5\n" + mebibytes, "2.5"},
      {"5 MB, the key after them", mebibytes + "\n[CDStart]\nVXVersion=2.5\n", "2.5"},
      {"5 MB in one line", std::string(5 << 20, '[') + "\n[CDStart]\nVXVersion=2.5\n", "2.5"},
      {"10,000-character lines around the key",
       longLine + "\n[CDStart]\n" + longLine + "\nVXVersion=2.5\n" + longLine, "2.5"},
      {"10,000-character value", "[CDStart]\nVXVersion=" + longLine + "\n", std::string(2047, 'k')},
      {"10,000-character section name", "[CDStart" + longLine + "]\nVXVersion=2.5\n", "default"},
  };
  TempDir dir;
  PosixPlatform platform;
  for (const Case& c : cases) {
    WriteText(dir.Path("start.ins"), c.content);
    EXPECT_EQ(platform.GetPrivateProfileStringA("CDStart", "VXVersion", "default",
                                                dir.Windows("start.ins")),
              c.expected)
        << c.name;
  }
}

TEST(PosixBadProfile, ADirectoryInPlaceOfTheFileGivesTheDefault) {
  TempDir dir;
  WriteText(dir.Path("start.ins/inside"), "[CDStart]\nVXVersion=2.5\n");
  PosixPlatform platform;
  EXPECT_EQ(platform.GetPrivateProfileStringA("CDStart", "VXVersion", "default",
                                              dir.Windows("start.ins")),
            "default");
}

// A pseudo-terminal whose slave is COM1, with COM2..COM4 absent, and the
// port bank opened on it at 115200 through the POSIX platform.
class PosixBadPeerTest : public ::testing::Test {
 protected:
  PosixBadPeerTest()
      : master_(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)),
        com1_("ORBILEX_COM1", master_ >= 0 && grantpt(master_) == 0 && unlockpt(master_) == 0
                                  ? ptsname(master_)
                                  : "/nonexistent/pty"),
        com2_("ORBILEX_COM2", dir_.Path("absent")),
        com3_("ORBILEX_COM3", dir_.Path("absent")),
        com4_("ORBILEX_COM4", dir_.Path("absent")) {
    ResetGlobals();
    SetSystem(&platform_);
  }
  ~PosixBadPeerTest() override {
    Stop();
    ClosePorts();
    SetSystem(nullptr);
    if (master_ >= 0) close(master_);
  }

  void SetUp() override {
    ASSERT_GE(master_, 0);
    OpenPorts(115200);
    ASSERT_NE(PortHandles[0], kInvalidPort);
    for (int i = 1; i < kPortCount; ++i) ASSERT_EQ(PortHandles[i], kInvalidPort);
  }

  // Starts a peer that writes `bytes` to the master side as fast as the
  // terminal takes them, once or (`endless`) over and over until Stop().
  void StartPeer(std::string bytes, bool endless) {
    peer_ = std::thread([this, bytes = std::move(bytes), endless] {
      do {
        std::size_t sent = 0;
        while (sent < bytes.size() && !stop_) {
          const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
          if (n > 0) {
            sent += static_cast<std::size_t>(n);
          } else {
            pollfd writable = {master_, POLLOUT, 0};
            poll(&writable, 1, 10);
          }
        }
      } while (endless && !stop_);
    });
  }
  void Stop() {
    stop_ = true;
    if (peer_.joinable()) peer_.join();
  }

  // Reads COM1 through the port bank; every read must take at most 200
  // bytes and return: a read that waited for an endless stream to end would
  // never do so, so the bound is generous enough for any load. Returns the
  // text, nothing when no byte was waiting.
  std::optional<std::string> TimedRead() {
    const auto start = std::chrono::steady_clock::now();
    std::optional<std::string> text = ReadAvailable(0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    if (text) {
      EXPECT_LE(text->size(), kReadMax);
    }
    return text;
  }

  int master_;
  TempDir dir_;
  ScopedEnv com1_;
  ScopedEnv com2_;
  ScopedEnv com3_;
  ScopedEnv com4_;
  PosixPlatform platform_;
  std::thread peer_;
  std::atomic<bool> stop_ = false;
};

TEST_F(PosixBadPeerTest, A64KBFloodIsReadWholeInPiecesOfAtMost200Bytes) {
  std::string flood(64 * 1024, '\0');
  for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<char>('!' + i % 90);
  StartPeer(flood, false);

  std::string received;
  int reads = 0;
  ASSERT_TRUE(posixtest::WaitFor(
      [&] {
        while (const std::optional<std::string> text = TimedRead()) {
          received += *text;
          ++reads;
        }
        return received.size() >= flood.size();
      },
      10s));
  EXPECT_EQ(received, flood);
  EXPECT_GE(reads, static_cast<int>(flood.size() / kReadMax));
}

TEST_F(PosixBadPeerTest, AnEndlessStreamIsReadInPiecesAndPurged) {
  const std::string piece = "KORVA TARVEX 88B Ver 0.5 /\r";
  StartPeer(piece, true);

  std::string cycle;
  while (cycle.size() < 2 * kReadMax + piece.size()) cycle += piece;

  // What the detection does with each port: read, evaluate, purge; here
  // over and over, each time the stream has filled the port beyond what one
  // read takes.
  const int port = static_cast<int>(PortHandles[0]);
  for (int round = 0; round < 50; ++round) {
    ASSERT_TRUE(posixtest::WaitFor(
        [&] {
          int queued = 0;
          return ioctl(port, TIOCINQ, &queued) == 0 && queued > static_cast<int>(kReadMax);
        },
        5s))
        << "round " << round;
    const std::optional<std::string> text = TimedRead();
    ASSERT_TRUE(text.has_value()) << "round " << round;
    EXPECT_EQ(text->size(), kReadMax) << "round " << round;
    EXPECT_NE(cycle.find(*text), std::string::npos) << *text;
    platform_.PurgeComm(PortHandles[0], kPurgeTxClear | kPurgeRxClear);
  }

  // Once the peer is quiet, a purge leaves nothing to read.
  Stop();
  platform_.PurgeComm(PortHandles[0], kPurgeTxClear | kPurgeRxClear);
  EXPECT_EQ(TimedRead(), std::nullopt);
}

}  // namespace
