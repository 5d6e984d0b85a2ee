// Length-framed transfer: headers and bodies arriving in pieces, blocks around the ring's end, sends
// that would block or go in part, refused lengths and failed ring growth.
#include <algorithm>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "network_fixture.h"
#include "orbel/core/memory.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/winsock/winsock_test_controls.h"

namespace orbel::testing {
namespace {

using FramedTransfer = NetworkTest;

std::string Take(int32_t handle, int length) {
  std::string bytes(static_cast<size_t>(length), '\0');
  return NetWorkRecv(handle, bytes.data(), length) == 0 ? bytes : std::string("<refused>");
}

// Reads one framed block from the test's end: its body, or "<none>".
std::string ReadBlock(int fd) {
  const std::vector<uint8_t> header = ReadExactly(fd, 4);
  if (header.size() != 4) return "<none>";
  const uint32_t length = header[0] | header[1] << 8 | header[2] << 16 | uint32_t{header[3]} << 24;
  const std::vector<uint8_t> body = ReadExactly(fd, length);
  if (body.size() != length) return "<short>";
  return std::string(body.begin(), body.end());
}

TEST_F(FramedTransfer, PiecesOfAHeaderAndABodyWaitUntilTheyAreWhole) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  NetWorkHandleRecord* record = RecordOf(link.handle);
  const std::string wire = Frame("hello, world");  // 4 + 12 bytes

  WriteAll(link.fd, wire.substr(0, 2));
  ASSERT_TRUE(PumpUntil([&] { return record->RecvHeaderHave == 2; }));
  EXPECT_EQ(record->RecvBlockLeft, 0);
  EXPECT_EQ(record->RecvRing.dataSize, 0);
  EXPECT_EQ(GetNetWorkDataLength(link.handle), 0);

  WriteAll(link.fd, wire.substr(2, 7));  // the header's rest and 5 body bytes
  ASSERT_TRUE(PumpUntil([&] { return record->RecvRing.dataSize == 5; }));
  EXPECT_EQ(record->RecvBlockLeft, 7);
  EXPECT_EQ(record->RecvBlockLength, 12);
  EXPECT_EQ(GetNetWorkDataLength(link.handle), 0) << "an unfinished block does not count";

  WriteAll(link.fd, wire.substr(9));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 12; }));
  EXPECT_EQ(Take(link.handle, 12), "hello, world");
  EXPECT_EQ(record->RecvCompleteLength, 0);
  ::close(link.fd);
}

TEST_F(FramedTransfer, WaitingBlocksAreTakenTogetherAndAnEmptyBlockCompletes) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  WriteAll(link.fd, Frame("abc") + Frame("") + Frame("defg") + Frame("h"));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 8; }));
  EXPECT_EQ(Take(link.handle, 9), "<refused>") << "more than held takes nothing";
  EXPECT_EQ(Take(link.handle, 8), "abcdefgh");
  EXPECT_EQ(GetNetWorkDataLength(link.handle), 0);
  ::close(link.fd);
}

// A take served from the ring may leave the socket alone; a block that came meanwhile is then brought
// in by its read notice, through the pump alone.
TEST_F(FramedTransfer, BlockThatCameBeforeATakeIsReceivedByThePumpAlone) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  for (int round = 0; round < 3; ++round) {
    WriteAll(link.fd, Frame("first"));
    ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 5; }));
    WriteAll(link.fd, Frame("second"));
    EXPECT_EQ(Take(link.handle, 5), "first");
    EXPECT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->RecvCompleteLength == 6; })) << round;
    EXPECT_EQ(Take(link.handle, 6), "second");
  }
  ::close(link.fd);
}

TEST_F(FramedTransfer, BlockRunningPastTheRingEndIsStoredInTwoPieces) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  NetWorkHandleRecord* record = RecordOf(link.handle);
  const std::string first(600, 'x');
  WriteAll(link.fd, Frame(first));
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 600; }));
  ASSERT_EQ(record->RecvRing.bufferSize, 1600);
  EXPECT_EQ(Take(link.handle, 500), std::string(500, 'x'));

  std::string second;
  for (int i = 0; i < 1200; ++i) second.push_back(static_cast<char>('a' + i % 26));
  WriteAll(link.fd, Frame(second));  // 100 held + 1200 fit 1600, from write position 600: wraps
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 1300; }));
  EXPECT_EQ(record->RecvRing.bufferSize, 1600) << "no growth was needed";
  EXPECT_EQ(record->RecvRing.end, 200u);
  EXPECT_EQ(Take(link.handle, 1300), std::string(100, 'x') + second);
  ::close(link.fd);
}

TEST_F(FramedTransfer, SendsQueuedWhileTheSocketWouldBlockLeaveAsOneBlock) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  ServeOwedNotices();
  const plat::SOCKET socket = RecordOf(link.handle)->Socket;
  plat::test::ForceSocketWouldBlock(socket, 1000, 0);
  EXPECT_EQ(NetWorkSend(link.handle, "one,", 4), 0);
  EXPECT_EQ(NetWorkSend(link.handle, "two,", 4), 0);
  EXPECT_EQ(NetWorkSend(link.handle, "three", 5), 0);
  EXPECT_EQ(ReadAvailable(link.fd), "");
  plat::test::ForceSocketWouldBlock(socket, 0, 0);
  EXPECT_EQ(ReadBlock(link.fd), "one,two,three");  // FD_WRITE after the refused send moves it
  EXPECT_EQ(RecordOf(link.handle)->SendRing.dataSize, 0);
  ::close(link.fd);
}

// An empty send adds nothing to the stream, whatever the handle's state: idle, its socket refusing,
// bytes queued before it. The peer reads the real messages' blocks and nothing between them.
TEST_F(FramedTransfer, EmptySendPutsNothingOnTheWire) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  ServeOwedNotices();
  NetWorkHandleRecord* record = RecordOf(link.handle);
  auto readRaw = [&](size_t size) {
    const std::vector<uint8_t> bytes = ReadExactly(link.fd, size);
    return std::string(bytes.begin(), bytes.end());
  };
  EXPECT_EQ(NetWorkSend(link.handle, "", 0), 0);  // idle
  EXPECT_EQ(NetWorkSend(link.handle, "one", 3), 0);
  EXPECT_EQ(NetWorkSend(link.handle, "", 0), 0);  // idle again: the block went whole
  EXPECT_EQ(readRaw(7), Frame("one"));

  plat::test::ForceSocketWouldBlock(record->Socket, 1000, 0);
  EXPECT_EQ(NetWorkSend(link.handle, "", 0), 0);  // nothing queued, the socket refusing
  EXPECT_EQ(NetWorkSend(link.handle, "two,", 4), 0);
  EXPECT_EQ(NetWorkSend(link.handle, "", 0), 0);  // behind queued bytes
  EXPECT_EQ(NetWorkSend(link.handle, "three", 5), 0);
  EXPECT_EQ(record->SendRing.dataSize, 9);
  plat::test::ForceSocketWouldBlock(record->Socket, 0, 0);
  EXPECT_EQ(readRaw(13), Frame("two,three"));
  EXPECT_EQ(NetWorkSend(link.handle, "", 0), 0);
  EXPECT_EQ(ReadAvailable(link.fd), "");
  EXPECT_EQ(record->SendRing.dataSize, 0);
  ::close(link.fd);
}

TEST_F(FramedTransfer, HeaderSentInPartIsFinishedBeforeAnyBodyByte) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  ServeOwedNotices();
  NetWorkHandleRecord* record = RecordOf(link.handle);
  plat::test::SetSocketCallCap(record->Socket, 3, 0);
  ASSERT_EQ(NetWorkSend(link.handle, "abcdefgh", 8), 0);
  EXPECT_EQ(record->SendHeaderLeft, 1);
  EXPECT_EQ(ReadAvailable(link.fd), std::string("\x08\x00\x00", 3));
  for (int i = 0; i < 10 && record->SendRing.dataSize > 0; ++i) SendSocket(link.handle);
  EXPECT_EQ(ReadAvailable(link.fd), std::string("\x00", 1) + "abcdefgh");
  ::close(link.fd);
}

TEST_F(FramedTransfer, RefusedLengthPutsTheHandleInErrorWithoutAllocating) {
  const struct {
    const char* what;
    std::string header;
  } cases[] = {
      {"top bit set", std::string("\x00\x00\x00\x80", 4)},
      {"all bits set", std::string("\xFF\xFF\xFF\xFF", 4)},
      {"one past the cap", std::string("\x01\x00\x00\x01", 4)},
  };
  for (const auto& c : cases) {
    PeerLink link = ConnectPeer();
    ASSERT_NE(link.handle, -1);
    const int blocksBefore = GetMemoryBlockCount();
    WriteAll(link.fd, c.header + "body");
    ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle) == nullptr; })) << c.what;
    EXPECT_LE(GetMemoryBlockCount(), blocksBefore) << c.what;
    const std::vector<std::string> lines = NewLogTexts();
    ASSERT_FALSE(lines.empty()) << c.what;
    EXPECT_EQ(lines.front().rfind("受信データの長さが不正です(データサイズ ", 0), 0u) << c.what;
    EXPECT_EQ(ReadUntilClosed(link.fd), "") << c.what;
    ::close(link.fd);
  }
  // The cap itself is accepted.
  PeerLink link = ConnectPeer();
  WriteAll(link.fd, std::string("\x00\x00\x00\x01", 4));
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->RecvBlockLeft == (16 << 20); }));
  EXPECT_EQ(RecordOf(link.handle)->ErrorFlag, 0);
  ::close(link.fd);
}

TEST_F(FramedTransfer, ReceiveRingThatCannotGrowPutsTheHandleInError) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  ServeOwedNotices();
  NewLogTexts();
  plat::test::FailHeapAllocation();
  WriteAll(link.fd, Frame(std::string(100, 'z')));
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle) == nullptr; }));
  const std::vector<std::string> lines = NewLogTexts();
  const auto ring = std::find(lines.begin(), lines.end(), "リングバッファの再確保に失敗しました(確保しようとしたサイズ 1100 byte)");
  ASSERT_NE(ring, lines.end());
  ASSERT_NE(ring + 1, lines.end());
  EXPECT_EQ(ring[1], "受信データを保存するリングバッファのリサイズに失敗しました(データサイズ 100 byte)");
  ::close(link.fd);
}

TEST_F(FramedTransfer, FailedSendRingGrowthKeepsQueuedBytesAndFraming) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  ServeOwedNotices();
  NetWorkHandleRecord* record = RecordOf(link.handle);
  // A block in progress: its header and 4 body bytes are out, 6 body bytes wait.
  plat::test::SetSocketCallCap(record->Socket, 4, 0);
  ASSERT_EQ(NetWorkSend(link.handle, "0123456789", 10), 0);
  ASSERT_EQ(SendSocket(link.handle), 0);
  plat::test::ForceSocketWouldBlock(record->Socket, 1000, 0);
  ASSERT_EQ(record->SendBlockLeft, 6u);

  NewLogTexts();
  plat::test::FailHeapAllocation();
  const std::string big(5000, 'B');
  EXPECT_EQ(NetWorkSend(link.handle, big.data(), static_cast<int>(big.size())), -1);
  const std::vector<std::string> lines = NewLogTexts();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "送信データ 5000 byte の追加に失敗しました in NewWorkSend");
  EXPECT_EQ(record->SendRing.dataSize, 6);

  plat::test::ForceSocketWouldBlock(record->Socket, 0, 0);
  plat::test::SetSocketCallCap(record->Socket, 0, 0);
  ASSERT_EQ(NetWorkSend(link.handle, "next", 4), 0);
  EXPECT_EQ(ReadBlock(link.fd), "0123456789");
  EXPECT_EQ(ReadBlock(link.fd), "next");
  ::close(link.fd);
}

TEST_F(FramedTransfer, PeerClosingMidBlockIsNoticed) {
  // Whole blocks before the close stay readable; the unfinished one is dropped with a line; the handle
  // then reads as closed and the pump closes it once that was reported. Not a byte waits in vain.
  const struct {
    const char* what;
    std::string tail;  // what follows the whole block before the close
    int dropped;
  } cases[] = {
      {"half a length", Frame("0123456789").substr(0, 2), 2},
      {"length only", Frame("0123456789").substr(0, 4), 4},
      {"mid-body", Frame("0123456789").substr(0, 9), 9},
      {"nothing", "", 0},
  };
  for (const auto& c : cases) {
    PeerLink link = ConnectPeer();
    ASSERT_NE(link.handle, -1) << c.what;
    NewLogTexts();
    WriteAll(link.fd, Frame("whole") + c.tail);
    ::close(link.fd);
    ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->ConnectFlag == 0; })) << c.what;
    EXPECT_EQ(GetNetWorkDataLength(link.handle), 5) << c.what;
    EXPECT_EQ(RecordOf(link.handle)->RecvRing.dataSize, 5) << c.what;
    EXPECT_EQ(Take(link.handle, 5), "whole") << c.what;
    const std::vector<std::string> lines = NewLogTexts();
    if (c.dropped > 0) {
      ASSERT_EQ(lines.size(), 1u) << c.what;
      EXPECT_EQ(lines[0], "接続が切断されたため受信途中のデータ " + std::to_string(c.dropped) + " byte を破棄しました") << c.what;
    } else {
      EXPECT_TRUE(lines.empty()) << c.what;
    }
    EXPECT_EQ(GetNetWorkAcceptState(link.handle), 0) << c.what;
    // Nothing more can come after the peer's close: the close does not wait for the block.
    const plat::DWORD before = plat::timeGetTime();
    ProcessNetWorkMessage(1);
    EXPECT_EQ(RecordOf(link.handle), nullptr) << c.what;
    EXPECT_LT(plat::timeGetTime() - before, 100u) << c.what;
  }
}

TEST_F(FramedTransfer, PeerClosingAfterTheUserTookPartOfAnUnfinishedBlock) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  WriteAll(link.fd, Frame("ab") + Frame("cdefgh").substr(0, 7));
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->RecvRing.dataSize == 5; }));
  EXPECT_EQ(Take(link.handle, 4), "abcd") << "bytes of an unfinished block can be taken";
  ::close(link.fd);
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->ConnectFlag == 0; }));
  EXPECT_EQ(RecordOf(link.handle)->RecvRing.dataSize, 0);
  EXPECT_EQ(GetNetWorkDataLength(link.handle), 0);
  EXPECT_EQ(NewLogTexts().back(), "接続が切断されたため受信途中のデータ 7 byte を破棄しました");
}

TEST_F(FramedTransfer, NoticeForAnotherHandleDuringAReceiveIsServedByThePump) {
  PeerLink a = ConnectPeer();
  PeerLink b = ConnectPeer();
  ASSERT_TRUE(a.handle != -1 && b.handle != -1);
  ServeOwedNotices();
  WriteAll(b.fd, Frame("for b"));
  // B's read notice is dispatched inside A's receive, where it is turned away.
  plat::test::SettleSocketNotices();
  RecvSocketBusy = 1;
  ProcessNetWorkMessage(0);
  RecvSocketBusy = 0;
  EXPECT_EQ(RecordOf(b.handle)->RecvDeferredFlag, 1);
  EXPECT_EQ(RecordOf(b.handle)->RecvRing.dataSize, 0);
  ProcessNetWorkMessage(1);
  EXPECT_EQ(RecordOf(b.handle)->RecvCompleteLength, 5);
  ::close(a.fd);
  ::close(b.fd);
}

std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + static_cast<size_t>(seed)) % 251);
  return bytes;
}

// A large block the socket holds whole counts as complete while it stays in the socket; its taker
// receives it straight from there, any other receive pass moves it into the ring first, and a close
// or a forced would-block loses no byte of it.
TEST_F(FramedTransfer, LargeBlockWaitingInTheSocketIsTakenStraightOrMovedToTheRing) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  NetWorkHandleRecord* record = RecordOf(link.handle);
  constexpr int kSize = 40 << 10;
  const std::string first = Pattern(kSize, 1), second = Pattern(kSize, 2), third = Pattern(kSize, 3);
  // Asks once per turn: any pass but the taker's own moves a block out of the socket.
  const auto arrives = [&] { return PumpUntil([&] { return GetNetWorkDataLength(link.handle) == kSize; }); };

  WriteAll(link.fd, Frame(first));
  ASSERT_TRUE(arrives());
  EXPECT_GT(record->RecvKernelLeft, 0) << "left in the socket";
  EXPECT_LT(record->RecvRing.dataSize, kSize);
  // Taken across the ring's bytes and the socket's, then the rest.
  std::string got(kSize, '\0');
  ASSERT_EQ(NetWorkRecv(link.handle, got.data(), 30000), 0);
  ASSERT_EQ(NetWorkRecv(link.handle, got.data() + 30000, kSize - 30000), 0);
  EXPECT_TRUE(got == first);
  EXPECT_EQ(record->RecvKernelLeft, 0);
  EXPECT_EQ(GetNetWorkDataLength(link.handle), 0);

  // Not taken: the pump's next turns move it into the ring, and a peek sees it whole.
  WriteAll(link.fd, Frame(second));
  ASSERT_TRUE(arrives());
  ASSERT_GT(record->RecvKernelLeft, 0);
  ASSERT_TRUE(PumpUntil([&] { return record->RecvKernelLeft == 0; }));
  EXPECT_EQ(record->RecvRing.dataSize, kSize);
  ASSERT_EQ(NetWorkRecvToPeek(link.handle, got.data(), kSize), 0);
  EXPECT_TRUE(got == second);
  EXPECT_TRUE(Take(link.handle, kSize) == second);

  // A receive that would block takes nothing; the next one takes it all.
  WriteAll(link.fd, Frame(third));
  ASSERT_TRUE(arrives());
  ASSERT_GT(record->RecvKernelLeft, 0);
  plat::test::ForceSocketWouldBlock(record->Socket, 0, 1);
  EXPECT_EQ(Take(link.handle, kSize), "<refused>");
  EXPECT_EQ(GetNetWorkDataLength(link.handle), kSize);
  EXPECT_TRUE(Take(link.handle, kSize) == third);

  // A take longer than the block reaches the bytes behind it.
  WriteAll(link.fd, Frame(second) + Frame("tail"));
  ASSERT_TRUE(arrives());
  got.resize(kSize + 4);
  ASSERT_TRUE(PumpUntil([&] { return NetWorkRecv(link.handle, got.data(), kSize + 4) == 0; }));
  EXPECT_TRUE(got == second + "tail");
  got.resize(kSize);

  // The peer's close after such a block: the block stays whole and readable, nothing is dropped.
  WriteAll(link.fd, Frame(first));
  ASSERT_TRUE(arrives());
  ASSERT_GT(record->RecvKernelLeft, 0);
  NewLogTexts();
  ::close(link.fd);
  ASSERT_TRUE(PumpUntil([&] { return record->ConnectFlag == 0; }));
  EXPECT_TRUE(NewLogTexts().empty());
  EXPECT_EQ(GetNetWorkDataLength(link.handle), kSize);
  EXPECT_TRUE(Take(link.handle, kSize) == first);
}

// A program that waits for several large blocks before taking any still gets them all, whether it asks
// for the length each turn or only pumps: a block left in the socket never keeps the ones behind it out.
TEST_F(FramedTransfer, LargeBlocksAllArriveWhileNoneIsTaken) {
  constexpr int kBlocks = 64;
  constexpr int kSize = 48 << 10;  // 3 MiB in all: more than the socket buffers hold
  std::string wire;
  for (int i = 0; i < kBlocks; ++i) wire += Frame(Pattern(kSize, i));
  for (const bool ask : {true, false}) {
    PeerLink link = ConnectPeer();
    ASSERT_NE(link.handle, -1);
    const NetWorkHandleRecord* record = RecordOf(link.handle);
    size_t sent = 0;
    WaitUntil(
        [&] {
          if (sent < wire.size()) {
            const ssize_t n = ::send(link.fd, wire.data() + sent, wire.size() - sent, MSG_DONTWAIT | MSG_NOSIGNAL);
            if (n > 0) sent += static_cast<size_t>(n);
          }
          ProcessNetWorkMessage(1);
          if (ask) GetNetWorkDataLength(link.handle);
          return record->RecvCompleteLength == kBlocks * kSize;
        },
        kTransferBound, kYieldOnly);
    ASSERT_EQ(GetNetWorkDataLength(link.handle), kBlocks * kSize) << ask;
    for (int i = 0; i < kBlocks; ++i) ASSERT_TRUE(Take(link.handle, kSize) == Pattern(kSize, i)) << i;
    ::close(link.fd);
    CloseNetWorkHandle(link.handle);
  }
}

TEST_F(FramedTransfer, RawHandlesLeaveTheRingsAlone) {
  SetNetWorkRawMode(1);
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  WriteAll(link.fd, "raw bytes");
  EXPECT_EQ(RecvSocket(link.handle), 0);
  EXPECT_EQ(NetWorkSend(link.handle, "back", 4), 4);
  EXPECT_EQ(SendSocket(link.handle), 0);
  EXPECT_EQ(RecordOf(link.handle)->RecvRing.bufferSize, 0);
  EXPECT_EQ(RecordOf(link.handle)->SendRing.bufferSize, 0);
  char buffer[16] = {};
  ASSERT_TRUE(PumpUntil([&] { return GetNetWorkDataLength(link.handle) == 1; }));
  EXPECT_EQ(NetWorkRecv(link.handle, buffer, sizeof buffer), 9);
  EXPECT_EQ(std::string(buffer), "raw bytes");
  EXPECT_EQ(ReadAvailable(link.fd), "back");
  ::close(link.fd);
}

}  // namespace
}  // namespace orbel::testing
