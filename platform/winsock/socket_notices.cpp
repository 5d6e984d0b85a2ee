// WSAAsyncSelect and the notices it promises. No thread watches the sockets: when a queue is peeked,
// the selected sockets of the peeked window (all windows for an unfiltered peek) are polled without
// waiting, and a notice is posted for each condition whose event is armed. WinSock's one-shot rules:
//   FD_READ    posted while bytes wait; re-armed by any recv, so it comes again if bytes remain
//              after the recv (after a peek, only once more bytes have come);
//   FD_WRITE   posted once a connection stands; re-armed only by a send that would block;
//   FD_ACCEPT  posted while a connection waits; re-armed by accept;
//   FD_CONNECT posted when a non-blocking connect ends, with its error;
//   FD_CLOSE   posted once, after the peer's close, when no unread byte is left (error 0), or at
//              once on a reset with the error code.
// Depends on: the socket registry, the message queue (PostMessageA and the peek hook).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <vector>

#include "platform/win/message_queue.h"
#include "platform/win/window_state.h"
#include "platform/winsock/socket_registry.h"
#include "platform/winsock/winsock.h"

namespace plat {
namespace winsock {
namespace {

const HWND kThreadOnlyFilter = reinterpret_cast<HWND>(intptr_t{-1});

struct Notice {
  HWND window;
  UINT message;
  SOCKET socket;
  long event;
  int error;
};

int PendingSocketError(int fd) {
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return 0;
  return error == 0 ? 0 : MapErrno(error);
}

int BytesWaiting(int fd) {
  int count = 0;
  return ::ioctl(fd, FIONREAD, &count) == 0 ? count : 0;
}

// What one polled socket owes, by the rules above (lock held).
void Judge(SOCKET id, SocketEntry& e, short revents, std::vector<Notice>& out) {
  auto post = [&](long event, int error) { out.push_back(Notice{e.window, e.message, id, event, error}); };
  if (e.listening) {
    if ((revents & POLLIN) && e.acceptArmed && (e.events & FD_ACCEPT)) {
      e.acceptArmed = false;
      post(FD_ACCEPT, 0);
    }
    return;
  }
  if (e.connecting) {
    if ((revents & (POLLOUT | POLLERR | POLLHUP)) == 0) return;
    const int error = PendingSocketError(e.fd);
    e.connecting = false;
    if (error == 0) {
      e.connected = true;
      e.writeArmed = true;
    }
    if (e.events & FD_CONNECT) post(FD_CONNECT, error);
    return;
  }
  if (!e.connected) return;
  // While a test forces would-block answers the socket counts as full: no notice promises room.
  if ((revents & POLLOUT) && e.writeArmed && e.sendWouldBlocks == 0 && (e.events & FD_WRITE)) {
    e.writeArmed = false;
    post(FD_WRITE, 0);
  }
  const bool readable = (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) != 0;
  if (!readable) return;
  const int waiting = (revents & POLLIN) ? BytesWaiting(e.fd) : 0;
  if (waiting > 0) {
    if (e.readArmed && waiting > e.readQuietBytes && e.recvWouldBlocks == 0 && (e.events & FD_READ)) {
      e.readArmed = false;
      post(FD_READ, 0);
    }
    return;
  }
  // Nothing left to read and the stream has ended (or failed): the close comes once.
  if (e.closeArmed && (e.events & FD_CLOSE)) {
    e.closeArmed = false;
    post(FD_CLOSE, (revents & POLLERR) ? PendingSocketError(e.fd) : 0);
  }
}

void PollNotices(HWND filter) {
  if (filter == kThreadOnlyFilter) return;
  thread_local std::vector<pollfd> fds;
  thread_local std::vector<SOCKET> ids;
  thread_local std::vector<Notice> notices;
  fds.clear();
  ids.clear();
  notices.clear();
  WinsockState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    for (const auto& [id, e] : s.sockets) {
      if (e.events == 0 || e.window == nullptr || (filter != nullptr && e.window != filter)) continue;
      fds.push_back(pollfd{e.fd, static_cast<short>(POLLIN | POLLOUT | POLLRDHUP), 0});
      ids.push_back(id);
    }
  }
  if (fds.empty()) return;
  if (::poll(fds.data(), fds.size(), 0) <= 0) return;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      auto it = s.sockets.find(ids[i]);
      if (it == s.sockets.end() || it->second.events == 0) continue;
      Judge(ids[i], it->second, fds[i].revents, notices);
    }
  }
  for (const Notice& n : notices) {
    PostMessageA(n.window, n.message, n.socket, MAKELPARAM(static_cast<int>(n.event), n.error));
  }
}

}  // namespace

void ArmForSelection(SocketEntry& entry) {
  entry.readArmed = true;
  entry.readQuietBytes = 0;
  entry.acceptArmed = true;
  entry.writeArmed = entry.connected;
  entry.closeArmed = true;
}

void InstallPeekHookLocked() {
  if (State().hookInstalled) return;
  winstate::SetPeekHook(PollNotices);
  State().hookInstalled = true;
}

}  // namespace winsock

int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events) {
  winsock::WinsockState& state = winsock::State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.startCount == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  auto it = state.sockets.find(s);
  if (it == state.sockets.end()) {
    WSASetLastError(WSAENOTSOCK);
    return SOCKET_ERROR;
  }
  if (events != 0 && window == nullptr) {
    WSASetLastError(WSAEINVAL);
    return SOCKET_ERROR;
  }
  winsock::SocketEntry& e = it->second;
  const int flags = ::fcntl(e.fd, F_GETFL);
  if (flags < 0 || ::fcntl(e.fd, F_SETFL, flags | O_NONBLOCK) != 0) {
    winsock::SetErrorFromErrno();
    return SOCKET_ERROR;
  }
  e.window = window;
  e.message = message;
  e.events = events;
  winsock::ArmForSelection(e);
  winsock::InstallPeekHookLocked();
  return 0;
}

}  // namespace plat
