// Network handles: accepting from the listening slot, the socket message, the handle numbers, the
// automatic close of lost handles, the close flush and the layer's shut-down.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "network_fixture.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"
#include "platform/winsock/winsock.h"

namespace orbel::testing {
namespace {

using NetworkHandles = NetworkTest;

int ConnectTo(int port, uint16_t* localPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  *localPort = address.sin_port;  // network order, as the record keeps it
  return fd;
}

TEST_F(NetworkHandles, AcceptedConnectionTakesTheLowestSlotAndRecordsItsPeer) {
  const int port = PrepareListenNetWork(0);
  ASSERT_GT(port, 0);
  ASSERT_EQ(NetWorkState.HandleCount, 1);  // the listener
  uint16_t localPort = 0;
  const int fd = ConnectTo(port, &localPort);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(PumpUntil([] { return NetWorkState.HandleCount == 2; }));

  const int32_t handle = GetLastMadeNetWorkHandle();
  EXPECT_EQ(handle, 0x48000000 | (1 << 16) | 0);  // check number 1 (the listener took 0), slot 0
  const NetWorkHandleRecord* record = RecordOf(handle);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->PeerAddress[0], 127);
  EXPECT_EQ(record->PeerAddress[1], 0);
  EXPECT_EQ(record->PeerAddress[2], 0);
  EXPECT_EQ(record->PeerAddress[3], 1);
  EXPECT_EQ(record->PeerPort, localPort);
  EXPECT_EQ(record->ConnectFlag, 1);
  EXPECT_EQ(record->FramedFlag, 1);
  EXPECT_EQ(record->AutoCloseFlag, 1);
  EXPECT_EQ(GetNetWorkAcceptState(handle), 1);
  EXPECT_TRUE(NewLogTexts().size() <= 1);  // nothing but the log's own first line
  ::close(fd);
}

TEST_F(NetworkHandles, SocketMessagesFollowTheirEvents) {
  // No live record owns the socket.
  EXPECT_EQ(ProcessSocketMessage(0x12345, plat::FD_READ), 0);
  EXPECT_EQ(CountLine("通信エラー No.1"), 1);

  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  NetWorkHandleRecord* record = RecordOf(link.handle);
  const plat::SOCKET socket = record->Socket;
  // An accept event without a listener: -1 and no line.
  NewLogTexts();
  EXPECT_EQ(ProcessSocketMessage(socket, plat::FD_ACCEPT), -1);
  EXPECT_TRUE(NewLogTexts().empty());

  struct Case {
    const char* what;
    int32_t connectBefore;
    intptr_t event;
    int expected;
    int32_t connectAfter;
  };
  const Case cases[] = {
      {"connect with an error", 0, plat::FD_CONNECT | (10061 << 16), 1, 0},
      {"connect without an error", 0, plat::FD_CONNECT, 1, 1},
      {"close", 1, plat::FD_CLOSE, 1, 0},
      {"unknown event", 1, 0x40, 1, 1},
  };
  for (const Case& c : cases) {
    record->ConnectFlag = c.connectBefore;
    record->LostNoticeFlag = 1;
    EXPECT_EQ(ProcessSocketMessage(socket, c.event), c.expected) << c.what;
    EXPECT_EQ(record->ConnectFlag, c.connectAfter) << c.what;
    if (c.event == plat::FD_CLOSE) {
      EXPECT_EQ(record->LostNoticeFlag, 0) << c.what;
    }
  }
  ::close(link.fd);
}

TEST_F(NetworkHandles, CheckNumbersWrapAfter2047) {
  ASSERT_EQ(StartNetWork(), 0);
  NetWorkState.CheckCounter = 2047;
  PeerLink a = ConnectPeer();
  PeerLink b = ConnectPeer();
  EXPECT_EQ(a.handle, 0x48000000 | (2047 << 16) | 0);
  EXPECT_EQ(b.handle, 0x48000000 | (0 << 16) | 1);
  // A handle with the right slot but a stale check number is refused without a line.
  NewLogTexts();
  EXPECT_EQ(CloseNetWorkHandle(0x48000000 | (5 << 16) | 0), -1);
  EXPECT_EQ(GetNetWorkAcceptState(0x48000000 | (5 << 16) | 1), -1);
  EXPECT_TRUE(NewLogTexts().empty());
  ::close(a.fd);
  ::close(b.fd);
}

TEST_F(NetworkHandles, FullTableRefusesTheAcceptAndServesItOnceASlotIsFree) {
  const int port = PrepareListenNetWork(0);
  ASSERT_GT(port, 0);
  // Occupy every connection slot with a stand-in record (the walks only see the live list).
  static NetWorkHandleRecord placeholder{};
  for (int slot = 0; slot < kNetWorkListenSlot; ++slot) NetWorkState.HandleTable[slot] = &placeholder;
  uint16_t localPort;
  const int fd = ConnectTo(port, &localPort);
  ASSERT_GE(fd, 0);
  ASSERT_TRUE(PumpUntil([&] { return CountLine("空きソケットデータがなかったので accept を拒否しました ") == 1; }));
  EXPECT_EQ(NetWorkState.HandleCount, 1);
  EXPECT_EQ(NetWorkState.HandleTable[kNetWorkListenSlot]->UseFlag, 1);  // the listener's slot was not given

  // The refused connection waits in the queue; FD_ACCEPT will not come again until accept is called,
  // so the pump accepts it once a slot is free.
  NetWorkState.HandleTable[17] = nullptr;
  ProcessNetWorkMessage(1);
  EXPECT_EQ(NetWorkState.HandleCount, 2);
  EXPECT_EQ(GetLastMadeNetWorkHandle() & 0xFFFF, 17);
  for (int slot = 0; slot < kNetWorkListenSlot; ++slot) {
    if (NetWorkState.HandleTable[slot] == &placeholder) NetWorkState.HandleTable[slot] = nullptr;
  }
  ::close(fd);
}

TEST_F(NetworkHandles, LostHandleClosesOnlyAfterItsLossWasReported) {
  for (int keep = 0; keep <= 1; ++keep) {
    SetKeepLostNetWorkHandle(keep);
    PeerLink link = ConnectPeer();
    ASSERT_NE(link.handle, -1);
    WriteAll(link.fd, Frame("unread"));
    ::close(link.fd);
    ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->ConnectFlag == 0; })) << keep;
    for (int i = 0; i < 10; ++i) ProcessNetWorkMessage(1);
    ASSERT_NE(RecordOf(link.handle), nullptr) << "closed before the loss was reported, keep " << keep;
    EXPECT_EQ(GetNetWorkDataLength(link.handle), 6);

    EXPECT_EQ(GetNetWorkAcceptState(link.handle), 0);
    EXPECT_EQ(RecordOf(link.handle)->LostNoticeFlag, 1);
    EXPECT_EQ(GetNetWorkAcceptState(link.handle), 0);
    ProcessNetWorkMessage(1);
    if (keep == 0) {
      EXPECT_EQ(RecordOf(link.handle), nullptr) << "unread data do not delay the close";
    } else {
      ASSERT_NE(RecordOf(link.handle), nullptr);
      EXPECT_EQ(CloseNetWorkHandle(link.handle), 0);
    }
  }
}

TEST_F(NetworkHandles, HandleInErrorIsClosedByThePumpWhateverItsFlags) {
  SetKeepLostNetWorkHandle(1);
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  ServeOwedNotices();  // the first write notice is served
  WriteAll(link.fd, Frame("0123456789").substr(0, 6));    // a block left unfinished
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->RecvBlockLeft == 8; }));
  RecordOf(link.handle)->ErrorFlag = 1;
  NewLogTexts();
  const plat::DWORD before = plat::timeGetTime();
  ProcessNetWorkMessage(1);
  EXPECT_EQ(RecordOf(link.handle), nullptr);
  EXPECT_EQ(NetWorkState.HandleCount, 0);
  // A handle in error can move nothing: its close neither waits for the block nor logs a try per turn.
  EXPECT_LT(plat::timeGetTime() - before, 100u);
  EXPECT_TRUE(NewLogTexts().empty());
  ::close(link.fd);
}

TEST_F(NetworkHandles, ClosingDuringAnUnfinishedBlockWaitsOneSecond) {
  PeerLink link = ConnectPeer();
  ASSERT_NE(link.handle, -1);
  WriteAll(link.fd, Frame("0123456789").substr(0, 8));  // header and 4 of 10 body bytes
  ASSERT_TRUE(PumpUntil([&] { return RecordOf(link.handle)->RecvBlockLeft == 6; }));
  plat::test::UseVirtualClock(plat::timeGetTime(), 500);  // readings 0.5 ms apart: the wait costs few turns
  const plat::DWORD before = plat::timeGetTime();
  EXPECT_EQ(CloseNetWorkHandle(link.handle), 0);
  const plat::DWORD waited = plat::timeGetTime() - before;
  EXPECT_GE(waited, 1000u);
  EXPECT_LT(waited, 1100u);
  EXPECT_EQ(ReadUntilClosed(link.fd), "");  // the peer sees the close
  ::close(link.fd);
}

TEST_F(NetworkHandles, EndNetWorkClosesEverythingAndLogsItsFrame) {
  EXPECT_EQ(EndNetWork(), 0u);  // not started: nothing, not even a line
  EXPECT_EQ(CountLine("ネットワーク関連の終了処理を行います "), 0);

  ASSERT_GT(PrepareListenNetWork(0), 0);
  PeerLink a = ConnectPeer();
  PeerLink b = ConnectPeer();
  const plat::HWND window = NetWorkState.NetWorkWindow;
  EXPECT_EQ(EndNetWork(), 0u);
  EXPECT_EQ(CountLine("ネットワーク関連の終了処理を行います "), 1);
  EXPECT_EQ(CountLine("ネットワーク関連の終了処理は完了しました"), 1);
  EXPECT_EQ(NetWorkState.StartFlag, 0);
  EXPECT_EQ(NetWorkState.HandleCount, 0);
  EXPECT_FALSE(plat::IsWindow(window));
  EXPECT_EQ(ReadUntilClosed(a.fd), "");
  EXPECT_EQ(ReadUntilClosed(b.fd), "");
  // The layer starts again from nothing.
  PeerLink c = ConnectPeer();
  EXPECT_EQ(c.handle & 0xFFFF, 0);
  for (int fd : {a.fd, b.fd, c.fd}) ::close(fd);
}

TEST_F(NetworkHandles, StaleNoticeOfAClosedSocketFindsNoOwner) {
  PeerLink old = ConnectPeer();
  ASSERT_NE(old.handle, -1);
  const plat::SOCKET oldSocket = RecordOf(old.handle)->Socket;
  EXPECT_EQ(CloseNetWorkHandle(old.handle), 0);
  PeerLink fresh = ConnectPeer();
  ASSERT_NE(fresh.handle, -1);
  EXPECT_NE(RecordOf(fresh.handle)->Socket, oldSocket) << "socket ids are not reused";
  // A read notice queued before the close arrives afterwards.
  plat::PostMessageA(NetWorkState.NetWorkWindow, kSocketNoticeMessage, oldSocket, plat::FD_READ);
  ProcessNetWorkMessage(0);
  EXPECT_EQ(CountLine("通信エラー No.1"), 1);
  EXPECT_EQ(RecordOf(fresh.handle)->RecvRing.dataSize, 0);
  ::close(old.fd);
  ::close(fresh.fd);
}

TEST_F(NetworkHandles, NotStartedLayerRefusesQuietly) {
  char buffer[8];
  EXPECT_EQ(NetWorkRecv(0x48000000, buffer, 1), -1);
  EXPECT_EQ(NetWorkSend(0x48000000, buffer, 1), -1);
  EXPECT_EQ(GetNetWorkDataLength(0x48000000), -1);
  EXPECT_EQ(NetWorkRecvLine(0x48000000, buffer), -1);
  EXPECT_EQ(CloseNetWorkHandle(0x48000000), -1);
  EXPECT_EQ(AcceptNetWork(), -1);
  EXPECT_EQ(ProcessNetWorkMessage(1), 0);
  EXPECT_EQ(CountLine("通信エラー No.1"), 0);
  EXPECT_TRUE(LogTexts().empty());
}

}  // namespace
}  // namespace orbel::testing
