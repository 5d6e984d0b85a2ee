// Shapes of traffic that once stopped a connection for good, each driven over loopback for a bounded
// time: a framed send larger than the socket's buffers while the program only pumps, 100,000 one-byte
// blocks, HTTP reply lines too long or holding a NUL byte, and header blocks of thousands of lines.
// The peer writes without blocking between pump turns, as a server on the other side would.
#include <algorithm>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "network_fixture.h"
#include "orbel/core/memory.h"
#include "orbel/network/http_transfer.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_system.h"
#include "platform/win/kernel/file_io.h"

namespace orbel::testing {
namespace {

using NetworkStall = NetworkTest;


// Writes what the socket takes of `wire` from `*sent` on, in pieces of at most `piece` bytes.
void Offer(int fd, const std::string& wire, size_t* sent, size_t piece) {
  if (*sent >= wire.size()) return;
  const size_t n = std::min(piece, wire.size() - *sent);
  const ssize_t wrote = ::send(fd, wire.data() + *sent, n, MSG_DONTWAIT | MSG_NOSIGNAL);
  if (wrote > 0) *sent += static_cast<size_t>(wrote);
}

TEST_F(NetworkStall, LargeFramedSendLeavesWhileTheProgramOnlyPumps) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  const std::string body(6 << 20, 'm');
  ASSERT_EQ(NetWorkSend(link.handle, body.data(), static_cast<int>(body.size())), 0);
  EXPECT_GT(RecordOf(link.handle)->SendRing.dataSize, 0) << "the socket took only part of it";
  size_t received = 0;
  char buffer[1 << 16];
  WaitUntil(
      [&] {
        const ssize_t n = ::recv(link.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) received += static_cast<size_t>(n);
        ProcessNetWorkMessage(1);  // nothing else: the write notices alone move the rest
        return received >= body.size() + 4;
      },
      kTransferBound, kYieldOnly);
  EXPECT_EQ(received, body.size() + 4);
  EXPECT_EQ(RecordOf(link.handle)->SendRing.dataSize, 0);
  ::close(link.fd);
}

TEST_F(NetworkStall, HundredThousandOneByteBlocksArrive) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  constexpr int kBlocks = 100000;
  std::string wire;
  for (int i = 0; i < kBlocks; ++i) wire += Frame(std::string(1, static_cast<char>('a' + i % 26)));
  size_t sent = 0;
  std::string got;
  char buffer[4096];
  WaitUntil(
      [&] {
        Offer(link.fd, wire, &sent, 64 << 10);
        ProcessNetWorkMessage(1);
        const int held = GetNetWorkDataLength(link.handle);
        const int take = std::min(held, static_cast<int>(sizeof buffer));
        if (take > 0 && NetWorkRecv(link.handle, buffer, take) == 0) got.append(buffer, static_cast<size_t>(take));
        return got.size() >= kBlocks;
      },
      kTransferBound, kYieldOnly);
  ASSERT_EQ(got.size(), static_cast<size_t>(kBlocks));
  for (int i = 0; i < kBlocks; i += 997) EXPECT_EQ(got[static_cast<size_t>(i)], 'a' + i % 26) << i;
  ::close(link.fd);
}

class HttpStall : public NetworkTest {
 protected:
  void SetUp() override {
    NetworkTest::SetUp();
    SetNetWorkRawMode(1);
  }
  // Runs a GET to a file against `reply`, written in 64 KiB pieces between turns; the result once the
  // transfer ended (or {-1, -1} when the time ran out).
  std::pair<int, int> Run(const std::string& reply, const char* file = "body.bin") {
    PeerLink link = ConnectPeer();
    if (link.handle == -1) return {-9, -9};
    plat::HANDLE out = plat::CreateFileA(file, plat::GENERIC_WRITE, 0, nullptr, plat::CREATE_ALWAYS,
                                         plat::FILE_ATTRIBUTE_NORMAL, nullptr);
    const int http = CreateHttpTransfer(kHttpGet, "127.0.0.1", "/", 80, link.handle, out, nullptr, nullptr, 0);
    size_t sent = 0;
    bool closed = false;
    const HttpHandleRecord* r = GetHttpHandleRecord(http);
    WaitUntil(
        [&] {
          Offer(link.fd, reply, &sent, 64 << 10);
          if (sent == reply.size() && !closed) {
            ::shutdown(link.fd, SHUT_WR);
            closed = true;
          }
          ReadAvailable(link.fd);  // the request
          ProcessNetWorkMessage(1);
          ProcessHttpHandle(http);
          return r->ResultStatus != -1;
        },
        kTransferBound, kYieldOnly);
    const std::pair<int, int> result{r->ResultStatus, r->ResultCode};
    DeleteHttpHandle(http);
    ::close(link.fd);
    return result;
  }
};

TEST_F(HttpStall, MalformedReplyLinesEndTheTransfer) {
  const struct {
    const char* what;
    std::string reply;
    const char* line;
  } cases[] = {
      {"300-byte status line", "HTTP/1.0 200 " + std::string(287, 'O') + "\r\n\r\nbody",
       "HTTP の応答の行が長すぎます(255 byte 以上)"},
      {"300-byte header line", "HTTP/1.0 200 OK\r\nX-Long: " + std::string(290, 'v') + "\r\n\r\nbody",
       "HTTP の応答の行が長すぎます(255 byte 以上)"},
      {"NUL in a header line", std::string("HTTP/1.0 200 OK\r\nX-Nul: a\0b\r\n\r\nbody", 32),
       "HTTP の応答の行に NUL 文字が含まれています"},
      {"NUL in the status line", std::string("HTTP/1.0 200\0OK\r\n\r\nbody", 24),
       "HTTP の応答の行に NUL 文字が含まれています"},
  };
  for (const auto& c : cases) {
    NewLogTexts();
    EXPECT_EQ(Run(c.reply), std::make_pair(2, 0)) << c.what;
    const std::vector<std::string> lines = NewLogTexts();
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << c.what;
  }
}

TEST_F(HttpStall, HeaderOfThousandsOfLinesEndsOrCompletesAndTheBodyStillWorks) {
  // 30,000 lines (about 240 KB) pass the 64 KiB header limit: the transfer fails instead of stalling.
  std::string header = "HTTP/1.0 200 OK\r\n";
  for (int i = 0; i < 30000; ++i) header += "X-" + std::to_string(i % 10000) + ": v\r\n";
  NewLogTexts();
  EXPECT_EQ(Run(header + "\r\nbody"), std::make_pair(2, 0));
  const std::vector<std::string> lines = NewLogTexts();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "HTTP の応答ヘッダが大きすぎます(65537 byte 以上)"), lines.end());

  // 6,000 lines stay below it, and a 4 MiB body behind them arrives whole.
  std::string fits = "HTTP/1.0 200 OK\r\nContent-Length: 4194304\r\n";
  for (int i = 0; i < 6000; ++i) fits += "X-" + std::to_string(i) + ": v\r\n";
  std::string body(4 << 20, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + i / 4096);
  EXPECT_EQ(Run(fits + "\r\n" + body, "big.bin"), std::make_pair(0, -1));
  EXPECT_EQ(ReadFileText(work_.path() / "big.bin"), body);
}

}  // namespace
}  // namespace orbel::testing
