// Helpers of the network tests: a fixture with the virtual clock, a fresh log and a clean network
// state; a loopback peer owned by the test (a plain POSIX socket) connected to a library handle; and
// pumping until something holds, bounded by real time, so that no test can hang and none gives up
// early while the socket watcher is slow to run.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "orbel/network/network_state.h"
#include "test_support.h"
#include "wait_until.h"

namespace orbel::testing {

class NetworkTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The log's lines without stamps, indents and line ends.
  std::vector<std::string> LogTexts() const;
  int CountLine(const std::string& text) const;
  // Lines logged since the last call (or since the test began).
  std::vector<std::string> NewLogTexts();

  ScopedWorkDir work_;
  size_t logSeen_ = 0;
};

// A library handle and the test's own end of its connection.
struct PeerLink {
  int32_t handle = -1;
  int fd = -1;  // blocking POSIX socket
};

// Connects the library to a listener of the test (adoption) and accepts the test's end. Handles are
// raw or framed by the layer's settings.
PeerLink ConnectPeer();
// The library's record of a handle (null when the handle is gone).
NetWorkHandleRecord* RecordOf(int32_t handle);

// The bound of a transfer driven to its end (hundreds of MiB at most): seconds on an idle machine, many
// more on a loaded one, and that many times over under a sanitizer (ThreadSanitizer's ten thousand
// messages each way took over 45 s beside a full build); a connection that stalled never ends.
inline constexpr std::chrono::milliseconds kTransferBound{45000 * kSanitizerSlowdown};

// Pumps the network (ProcessNetWorkMessage(1)) until `done` or until `bound` of real time has passed.
// Returns done().
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound = kWaitBound);
// Posts and serves every notice the sockets owe now, without waiting for the watcher: a test that
// then breaks a socket or the heap on purpose meets no late notice of the connection's start.
void ServeOwedNotices();
// Writes every byte, blocking.
void WriteAll(int fd, const void* bytes, size_t size);
void WriteAll(int fd, const std::string& text);
// Reads exactly `size` bytes, pumping the library between reads; empty on the wait's bound or an early
// end.
std::vector<uint8_t> ReadExactly(int fd, size_t size);
// Reads, pumping the library between reads, until the library's end closes (or the wait's bound).
std::string ReadUntilClosed(int fd);
// The bytes waiting on the test's end right now (without waiting).
std::string ReadAvailable(int fd);
// A framed block as the wire carries it.
std::string Frame(const std::string& body);

}  // namespace orbel::testing
