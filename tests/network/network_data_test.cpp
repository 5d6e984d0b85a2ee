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

// A line no destination can hold, or one holding a NUL byte, is dropped with a log line, and the lines
// after it are still found: the reader never stays stuck before it (raw bytes would stay in the socket).
TEST_F(NetworkData, OverlongAndNulLinesAreDroppedAndTheNextLineIsFound) {
  for (const int raw : {1, 0}) {
    SCOPED_TRACE(raw ? "raw" : "framed");
    SetNetWorkRawMode(raw);
    PeerLink link = ConnectPeer();
    ASSERT_NE(link.handle, -1);
    const auto put = [&](const std::string& bytes) { WriteAll(link.fd, raw ? bytes : Frame(bytes)); };
    char line[256];
    // The long line arrives in two parts: its end (and the next line) only after a first try.
    put(std::string(600, 'L'));
    ASSERT_TRUE(PumpUntil([&] { return raw ? GetNetWorkDataLength(link.handle) == 1 : GetNetWorkDataLength(link.handle) == 600; }));
    NewLogTexts();
    const std::string tooLong = "受信した行が長すぎるため破棄しました(255 byte 以上)";
    EXPECT_EQ(NetWorkRecvLine(link.handle, line), -1);
    EXPECT_EQ(NewLogTexts(), std::vector<std::string>{tooLong});
    put(std::string(100, 'L') + "\nnext\n" + std::string("a\0b\n", 4) + "last\n");
    std::vector<std::string> got;
    ASSERT_TRUE(PumpUntil([&] {
      if (got.size() < 2 && NetWorkRecvLine(link.handle, line) == 0) got.push_back(line);
      return got.size() == 2;
    }));
    EXPECT_EQ(got, (std::vector<std::string>{"next", "last"}));
    EXPECT_EQ(NewLogTexts(), std::vector<std::string>{"受信した行に NUL 文字が含まれていたため破棄しました"});
    EXPECT_EQ(NetWorkRecvLine(link.handle, line), -1);
    // A line of 254 bytes still fits.
    put(std::string(254, 'F') + "\n");
    bool found = false;
    PumpUntil([&] { return found = found || NetWorkRecvLine(link.handle, line) == 0; });
    ASSERT_TRUE(found);
    EXPECT_EQ(std::string(line), std::string(254, 'F'));
    CloseNetWorkHandle(link.handle);
    ::close(link.fd);
  }
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
