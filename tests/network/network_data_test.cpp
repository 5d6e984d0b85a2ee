// The data calls: framed and raw taking, peeking and sending, the data length and connection state,
// line reading, and the log lines of records in error.
#include <algorithm>
#include <functional>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "network_fixture.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_system.h"

namespace orbel::testing {
namespace {

using NetworkData = NetworkTest;

TEST_F(NetworkData, FramedPeekAndTakeCountCompleteBlocks) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  WriteAll(link.fd, Frame("abcdef"));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 6; }));
  char buffer[8] = {};
  EXPECT_EQ(NetWorkRecvToPeek(link.handle, buffer, 4), 0);
  EXPECT_EQ(std::string(buffer, 4), "abcd");
  EXPECT_EQ(GetNetWorkDataLength(link.handle), 6);
  EXPECT_EQ(NetWorkRecv(link.handle, buffer, 7), -1);
  EXPECT_EQ(NetWorkRecv(link.handle, buffer, -1), -1);
  EXPECT_EQ(NetWorkRecv(link.handle, buffer, 6), 0);
  EXPECT_EQ(std::string(buffer, 6), "abcdef");
  EXPECT_EQ(GetNetWorkDataLength(link.handle), 0);
  ::close(link.fd);
}

TEST_F(NetworkData, RawDataLengthIsWaitingEndedOrNothing) {
  SetNetWorkRawMode(1);
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  EXPECT_EQ(GetNetWorkDataLength(link.handle), -1);
  WriteAll(link.fd, "12345");
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 1; }));
  char buffer[8];
  EXPECT_EQ(NetWorkRecvToPeek(link.handle, buffer, 8), 5);
  EXPECT_EQ(NetWorkRecv(link.handle, buffer, 3), 3);
  EXPECT_EQ(NetWorkRecv(link.handle, buffer, 8), 2);
  ::shutdown(link.fd, SHUT_WR);
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 0; }));
  ::close(link.fd);
}

TEST_F(NetworkData, SendOnALostConnectionFailsQuietly) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  ::close(link.fd);
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->ConnectFlag == 0; }));
  NewLogTexts();
  EXPECT_EQ(NetWorkSend(link.handle, "x", 1), -1);
  EXPECT_EQ(GetNetWorkAcceptState(link.handle), 0);
  EXPECT_TRUE(NewLogTexts().empty());
}

TEST_F(NetworkData, RawLineKeepsItsCarriageReturnAndLeavesTheRest) {
  SetNetWorkRawMode(1);
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  char line[256];
  EXPECT_EQ(NetWorkRecvLine(link.handle, line), -1);
  WriteAll(link.fd, "abc\r\ndef");
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 1; }));
  ASSERT_EQ(NetWorkRecvLine(link.handle, line), 0);
  EXPECT_EQ(std::string(line), "abc\r");
  EXPECT_EQ(NetWorkRecvLine(link.handle, line), -1);
  char rest[8] = {};
  EXPECT_EQ(NetWorkRecv(link.handle, rest, 8), 3);
  EXPECT_EQ(std::string(rest), "def");

  WriteAll(link.fd, std::string(300, 'L') + "\n");
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 1; }));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(NetWorkRecvLine(link.handle, line), -1) << "a line of 255 bytes or more";
  ::close(link.fd);
}

TEST_F(NetworkData, FramedLineIsFoundEvenWhenShort) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  WriteAll(link.fd, Frame("hi\nsecond line\nno end"));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 21; }));
  char line[256];
  ASSERT_EQ(NetWorkRecvLine(link.handle, line), 0);
  EXPECT_EQ(std::string(line), "hi");
  ASSERT_EQ(NetWorkRecvLine(link.handle, line), 0);
  EXPECT_EQ(std::string(line), "second line");
  EXPECT_EQ(NetWorkRecvLine(link.handle, line), -1);
  EXPECT_EQ(GetNetWorkDataLength(link.handle), 6);
  ::close(link.fd);
}

TEST_F(NetworkData, RecordInErrorNamesTheCallInItsLine) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  RecordOf(link.handle)->ErrorFlag = 1;
  char buffer[256];
  const struct {
    const char* line;
    std::function<int()> call;
  } cases[] = {
      {"このネットワークハンドルにはエラーが発生しています in NetWorkRecv",
       [&] { return NetWorkRecv(link.handle, buffer, 1); }},
      {"このネットワークハンドルにはエラーが発生しています in NetWorkRecvToPeek",
       [&] { return NetWorkRecvToPeek(link.handle, buffer, 1); }},
      {"このネットワークハンドルにはエラーが発生しています in NetWorkSend",
       [&] { return NetWorkSend(link.handle, buffer, 1); }},
      {"このネットワークハンドルにはエラーが発生しています in GetNetWorkAcceptStateh",
       [&] { return GetNetWorkAcceptState(link.handle); }},
  };
  for (const auto& c : cases) {
    NewLogTexts();
    EXPECT_EQ(c.call(), -1) << c.line;
    const std::vector<std::string> lines = NewLogTexts();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), c.line), 1) << c.line;
  }
  NewLogTexts();
  EXPECT_EQ(GetNetWorkDataLength(link.handle), -1);
  const std::vector<std::string> lines = NewLogTexts();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "このネットワークハンドルにはエラーが発生しています in GetNetWorkDataLength");
  ::close(link.fd);
}

}  // namespace
}  // namespace orbel::testing
