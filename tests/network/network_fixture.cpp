// The network tests' helpers.
#include "network_fixture.h"

#include <algorithm>
#include <cerrno>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "orbel/core/log.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_system.h"
#include "platform/winsock/winsock_test_controls.h"

namespace orbel::testing {

namespace {
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
}  // namespace

void NetworkTest::SetUp() {
  VirtualClockTest::SetUp();
  SetLogOutsideWindowMode(0);
  SetLogFileSettings(0, 0, 0);
  SetLogStartupDirectory(work_.path().c_str());
  StartLogFile();
}

void NetworkTest::TearDown() {
  DeleteAllHttpHandles();
  EndNetWork();
  SetLogStartupDirectory("");
  VirtualClockTest::TearDown();
}

std::vector<std::string> NetworkTest::LogTexts() const {
  return ReadLogMessages(work_.path() / "Log.txt");
}

int NetworkTest::CountLine(const std::string& text) const {
  const std::vector<std::string> lines = LogTexts();
  return static_cast<int>(std::count(lines.begin(), lines.end(), text));
}

std::vector<std::string> NetworkTest::NewLogTexts() {
  std::vector<std::string> lines = LogTexts();
  std::vector<std::string> fresh(lines.begin() + static_cast<long>(std::min(logSeen_, lines.size())), lines.end());
  logSeen_ = lines.size();
  return fresh;
}

PeerLink ConnectPeer() {
  PeerLink link;
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 4) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listener);
    return link;
  }
  link.handle = ConnectNetWorkLoopback(ntohs(address.sin_port));
  link.fd = link.handle == -1 ? -1 : ::accept(listener, nullptr, nullptr);
  ::close(listener);
  return link;
}

NetWorkHandleRecord* RecordOf(int32_t handle) { return LookupNetWorkHandle(handle); }

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  return WaitUntil(
      [&] {
        if (done()) return true;
        ProcessNetWorkMessage(1);
        return done();
      },
      bound);
}

void ServeOwedNotices() {
  plat::test::SettleSocketNotices();
  ProcessNetWorkMessage(1);
}

void WriteAll(int fd, const void* bytes, size_t size) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (size > 0) {
    const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n <= 0) return;
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void WriteAll(int fd, const std::string& text) { WriteAll(fd, text.data(), text.size()); }

std::vector<uint8_t> ReadExactly(int fd, size_t size) {
  std::vector<uint8_t> bytes(size);
  size_t got = 0;
  bool ended = false;
  WaitUntil([&] {
    if (got == size) return true;
    const ssize_t n = ::recv(fd, bytes.data() + got, size - got, MSG_DONTWAIT);
    if (n > 0) got += static_cast<size_t>(n);
    else if (n == 0 || !WouldBlock()) ended = true;
    else ProcessNetWorkMessage(1);
    return got == size || ended;
  });
  if (got < size) bytes.clear();
  return bytes;
}

std::string ReadAvailable(int fd) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n <= 0) return text;
    text.append(buffer, static_cast<size_t>(n));
  }
}

std::string ReadUntilClosed(int fd) {
  std::string text;
  char buffer[4096];
  WaitUntil([&] {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) {
      text.append(buffer, static_cast<size_t>(n));
      return false;
    }
    if (n < 0 && WouldBlock()) {
      ProcessNetWorkMessage(1);
      return false;
    }
    return true;  // the end, or a reset
  });
  return text;
}

std::string Frame(const std::string& body) {
  const uint32_t n = static_cast<uint32_t>(body.size());
  std::string out{static_cast<char>(n), static_cast<char>(n >> 8), static_cast<char>(n >> 16), static_cast<char>(n >> 24)};
  return out + body;
}

}  // namespace orbel::testing
