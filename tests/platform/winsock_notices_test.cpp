// The WinSock stand-in: socket ids, the one-shot notice rules of WSAAsyncSelect as seen through a
// window's queue (read notices again while bytes wait, write re-armed by a short send, the close seen
// with bytes unread), the count of waiting bytes, the watcher that raises them unasked, and the error codes that errno maps to.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/win/user/message_queue.h"
#include "platform/win/user/window.h"
#include "platform/winsock/winsock.h"
#include "platform/winsock/winsock_test_controls.h"
#include "test_support.h"
#include "wait_until.h"

namespace {

using orbel::testing::WaitUntil;

constexpr plat::UINT kNotice = 0x0400 + 0x105;

struct Notice {
  plat::SOCKET socket;
  int event;
  int error;
  bool operator==(const Notice&) const = default;
};

std::vector<Notice> g_notices;

plat::LRESULT RecordNotice(plat::HWND window, plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
  if (message != kNotice) return plat::DefWindowProcA(window, message, wParam, lParam);
  g_notices.push_back(Notice{wParam, plat::LOWORD(lParam), plat::HIWORD(lParam)});
  return 0;
}

class WinsockNotices : public orbel::testing::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    g_notices.clear();
    plat::WSADATA data;
    ASSERT_EQ(plat::WSAStartup(0x0101, &data), 0);
    plat::WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = RecordNotice;
    windowClass.lpszClassName = "WinsockNoticeTest";
    plat::RegisterClassExA(&windowClass);
    window_ = plat::CreateWindowExA(0, "WinsockNoticeTest", "", 0, 0, 0, 0, 0, plat::HWND_MESSAGE, nullptr, nullptr,
                                    nullptr);
    ASSERT_NE(window_, nullptr);
  }
  void TearDown() override {
    plat::DestroyWindow(window_);
    plat::WSACleanup();
    VirtualClockTest::TearDown();
  }

  // Collects what the sockets reported, then peeks the window's queue once and dispatches what came:
  // the notices the sockets' present state owes.
  std::vector<Notice> Peek() {
    plat::test::SettleSocketNotices();
    g_notices.clear();
    plat::MSG msg;
    while (plat::PeekMessageA(&msg, window_, 0, 0, plat::PM_REMOVE)) plat::DispatchMessageA(&msg);
    return g_notices;
  }
  // A connected pair: a stand-in socket selected on the window, and the test's plain socket.
  std::pair<plat::SOCKET, int> Connected() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const plat::SOCKET s = plat::socket(plat::AF_INET_WS, plat::SOCK_STREAM_WS, 0);
    plat::SOCKADDR_IN target{};
    target.sin_family = plat::AF_INET_WS;
    target.sin_port = address.sin_port;
    std::memcpy(target.sin_addr, &address.sin_addr.s_addr, 4);
    EXPECT_EQ(plat::connect(s, &target, sizeof target), 0);
    const int peer = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    EXPECT_EQ(plat::WSAAsyncSelect(s, window_, kNotice, plat::FD_READ | plat::FD_WRITE | plat::FD_CLOSE), 0);
    return {s, peer};
  }

  plat::HWND window_ = nullptr;
};

TEST_F(WinsockNotices, IdsAreNeverReused) {
  std::vector<plat::SOCKET> seen;
  for (int i = 0; i < 20; ++i) {
    const plat::SOCKET s = plat::socket(plat::AF_INET_WS, plat::SOCK_STREAM_WS, 0);
    ASSERT_NE(s, plat::INVALID_SOCKET);
    EXPECT_NE(s, 0u);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), s), 0);
    seen.push_back(s);
    EXPECT_EQ(plat::closesocket(s), 0);
  }
  EXPECT_EQ(plat::closesocket(seen.back()), plat::SOCKET_ERROR);
  EXPECT_EQ(plat::WSAGetLastError(), plat::WSAENOTSOCK);
}

TEST_F(WinsockNotices, ReadComesAgainWhileBytesWaitAndCloseDoesNotWaitForThem) {
  auto [s, peer] = Connected();
  EXPECT_EQ(Peek(), (std::vector<Notice>{{s, plat::FD_WRITE, 0}})) << "a standing connection can write";
  EXPECT_TRUE(Peek().empty());

  ASSERT_EQ(::send(peer, "0123456789", 10, 0), 10);
  const std::vector<Notice> read{{s, plat::FD_READ, 0}};
  EXPECT_EQ(Peek(), read);
  EXPECT_TRUE(Peek().empty()) << "not again before a recv";

  char buffer[16];
  plat::ULONG waiting = 0;
  EXPECT_EQ(plat::ioctlsocket(s, plat::FIONREAD_WS, &waiting), 0);
  EXPECT_EQ(waiting, 10u);
  EXPECT_TRUE(Peek().empty()) << "asking how many bytes wait is no recv";
  EXPECT_EQ(plat::recv(s, buffer, 4, plat::MSG_PEEK_WS), 4);
  EXPECT_EQ(Peek(), read) << "a peek re-arms, and the bytes still wait";
  EXPECT_EQ(plat::recv(s, buffer, 4, 0), 4);
  EXPECT_EQ(Peek(), read) << "bytes remain after the recv";
  EXPECT_EQ(plat::ioctlsocket(s, plat::FIONREAD_WS, &waiting), 0);
  EXPECT_EQ(waiting, 6u);
  EXPECT_EQ(plat::ioctlsocket(s, 0x8004667E, &waiting), plat::SOCKET_ERROR) << "only FIONREAD is offered";
  EXPECT_EQ(plat::WSAGetLastError(), plat::WSAEINVAL);
  EXPECT_EQ(plat::recv(s, buffer, 3, 0), 3);
  EXPECT_EQ(Peek(), read) << "and again";

  ::close(peer);
  EXPECT_EQ(Peek(), (std::vector<Notice>{{s, plat::FD_CLOSE, 0}})) << "the close comes with 3 bytes unread";
  EXPECT_EQ(plat::recv(s, buffer, 16, 0), 3);
  EXPECT_EQ(plat::recv(s, buffer, 16, 0), 0);
  EXPECT_TRUE(Peek().empty()) << "the close comes once; a drained socket owes no read";
  plat::closesocket(s);
}

TEST_F(WinsockNotices, ShortSendRearmsWriteAndRoomBringsIt) {
  auto [s, peer] = Connected();
  Peek();
  EXPECT_EQ(plat::send(s, "x", 1, 0), 1);
  EXPECT_TRUE(Peek().empty()) << "a whole send does not re-arm";
  // A small send buffer, so that one send takes only part of what it is offered. (Not a small receive
  // buffer: below loopback's segment size the receiver would never reopen its window.)
  const int small = 16 << 10;
  ::setsockopt(plat::test::SocketDescriptor(s), SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::vector<char> chunk(1 << 20, 'y');
  int sent = plat::send(s, chunk.data(), int(chunk.size()), 0);
  ASSERT_GT(sent, 0);
  ASSERT_LT(sent, int(chunk.size())) << "Linux takes part of a large non-blocking send";
  // Loopback may free room at once; either way the notice comes, once, while the peer reads.
  std::vector<char> sink(1 << 20);
  std::vector<Notice> notices = Peek();
  const auto readUntilANotice = [&] {
    return WaitUntil([&] {
      if (!notices.empty()) return true;
      ::recv(peer, sink.data(), sink.size(), MSG_DONTWAIT);
      notices = Peek();
      return !notices.empty();
    });
  };
  readUntilANotice();
  EXPECT_EQ(notices, (std::vector<Notice>{{s, plat::FD_WRITE, 0}}));
  EXPECT_TRUE(Peek().empty());

  // A send that would block re-arms as well.
  for (int i = 0; i < 10000 && sent != plat::SOCKET_ERROR; ++i) sent = plat::send(s, chunk.data(), int(chunk.size()), 0);
  ASSERT_EQ(plat::WSAGetLastError(), plat::WSAEWOULDBLOCK);
  notices = Peek();  // acknowledgements still on their way may make room at once
  readUntilANotice();
  EXPECT_EQ(notices, (std::vector<Notice>{{s, plat::FD_WRITE, 0}}));
  ::close(peer);
  plat::closesocket(s);
}

TEST_F(WinsockNotices, WatcherRaisesNoticesWithoutBeingAsked) {
  auto [s, peer] = Connected();
  Peek();
  ASSERT_EQ(::send(peer, "abc", 3, 0), 3);
  // No settling: the watcher thread notices the arrival and the next peek posts it.
  std::vector<Notice> notices;
  WaitUntil([&] {
    g_notices.clear();
    plat::MSG msg;
    while (plat::PeekMessageA(&msg, window_, 0, 0, plat::PM_REMOVE)) plat::DispatchMessageA(&msg);
    notices = g_notices;
    return !notices.empty();
  });
  EXPECT_EQ(notices, (std::vector<Notice>{{s, plat::FD_READ, 0}}));
  ::close(peer);
  plat::closesocket(s);
}

TEST_F(WinsockNotices, ManyArrivalsBetweenPeeksKeepTheNoticesComing) {
  auto [s, peer] = Connected();
  Peek();
  // More wake-ups than the stand-in keeps room for between two peeks.
  for (int i = 0; i < 6000; ++i) ASSERT_EQ(::send(peer, "x", 1, 0), 1);
  const std::vector<Notice> read{{s, plat::FD_READ, 0}};
  EXPECT_EQ(Peek(), read);
  std::vector<char> buffer(1 << 16);
  int got = 0;
  for (int n; (n = plat::recv(s, buffer.data(), int(buffer.size()), 0)) > 0;) got += n;
  EXPECT_EQ(got, 6000);
  Peek();  // news of arrivals already taken may still owe a read notice (WinSock allows that)
  ASSERT_EQ(::send(peer, "y", 1, 0), 1);
  EXPECT_EQ(Peek(), read) << "arrivals are still seen";
  ::close(peer);
  plat::closesocket(s);
}

TEST_F(WinsockNotices, ErrorsAreWinsockCodes) {
  auto [s, peer] = Connected();
  Peek();
  char buffer[8];
  EXPECT_EQ(plat::recv(s, buffer, 8, 0), plat::SOCKET_ERROR);
  EXPECT_EQ(plat::WSAGetLastError(), plat::WSAEWOULDBLOCK);
  // An abortive close of the peer resets the connection.
  linger abortive{1, 0};
  ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
  ::close(peer);
  std::vector<Notice> notices;
  WaitUntil([&] {
    notices = Peek();
    return !notices.empty();
  });
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].event, plat::FD_CLOSE);
  EXPECT_EQ(notices[0].error, plat::WSAECONNRESET);
  EXPECT_EQ(plat::send(s, "x", 1, 0), plat::SOCKET_ERROR) << "no signal ends the process";
  EXPECT_TRUE(plat::WSAGetLastError() == plat::WSAECONNRESET || plat::WSAGetLastError() == plat::WSAENOTCONN);
  plat::closesocket(s);

  plat::WSACleanup();
  EXPECT_EQ(plat::socket(plat::AF_INET_WS, plat::SOCK_STREAM_WS, 0), plat::INVALID_SOCKET);
  EXPECT_EQ(plat::WSAGetLastError(), plat::WSANOTINITIALISED);
  plat::WSADATA data;
  plat::WSAStartup(0x0101, &data);
}

}  // namespace
