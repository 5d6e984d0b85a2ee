// WSAAsyncSelect and the notices it promises. The selected sockets sit in one edge-triggered epoll set,
// News of their edges comes through memory: each socket's multishot poll on an io_uring
// (socket_news_ring.cpp) or, where the kernel offers none, an edge-triggered epoll set kept between
// calls whose watcher thread raises a flag. The edges are collected (and the notices posted) by the
// next peek of a message queue, so a peek costs no system call while nothing has changed. In the epoll set, a socket whose notice is disarmed stops
// asking for that event once an edge finds it so (arrivals then wake nobody), and asks again when
// re-armed.
// WinSock's one-shot rules, on Linux's sockets:
//   FD_READ    posted when bytes arrive; re-armed by any recv, and posted again at once while bytes
//              may still wait after it (a full recv, or a peek that saw bytes);
//   FD_WRITE   posted once a connection stands; re-armed by a send that would block or that took only
//              part of the bytes, and posted when the socket can take more;
//   FD_ACCEPT  posted when a connection waits; re-armed by accept, posted again while more wait;
//   FD_CONNECT posted when a non-blocking connect ends, with its error;
//   FD_CLOSE   posted once when the peer's end of the stream is seen, after the FD_READ of bytes still
//              unread (error 0), or on a reset with the error code.
// Depends on: the socket registry, the message queue (PostMessageA and the peek hook).
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <cstdlib>
#include <thread>
#include <unistd.h>
#include <vector>

#include "platform/win/user/message_queue.h"
#include "platform/win/user/window_state.h"
#include "platform/winsock/socket_registry.h"
#include "platform/winsock/winsock.h"

namespace plat {
namespace winsock {
namespace {

const HWND kThreadOnlyFilter = reinterpret_cast<HWND>(intptr_t{-1});
constexpr int kEdgeBatch = 64;
constexpr uint32_t kWatchedEvents = EPOLLIN | EPOLLOUT | EPOLLRDHUP | EPOLLET;

// Stops asking for `events` (lock held): edges found the notice disarmed.
void NarrowInterestLocked(SOCKET id, SocketEntry& e, uint32_t events) {
  if ((e.interest & events) == 0 || State().epollFd < 0 || State().useRing.load(std::memory_order_relaxed)) return;
  e.interest &= ~events;
  epoll_event interest{};
  interest.events = e.interest;
  interest.data.u64 = id;
  ::epoll_ctl(State().epollFd, EPOLL_CTL_MOD, e.fd, &interest);
}

int PendingSocketError(int fd) {
  int error = 0;
  socklen_t size = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return 0;
  return error == 0 ? 0 : MapErrno(error);
}

bool BytesWaiting(int fd) {
  int count = 0;
  return ::ioctl(fd, FIONREAD, &count) == 0 && count > 0;
}

void JudgeConnect(SOCKET id, SocketEntry& e, uint32_t edges, std::vector<Notice>& out) {
  if ((edges & (EPOLLOUT | EPOLLERR | EPOLLHUP)) == 0) return;
  const int error = PendingSocketError(e.fd);
  e.connecting = false;
  AddNotice(id, e, FD_CONNECT, error, out);
  if (error != 0) return;
  // The edge that ended the connect is the one that says it can write: no other will come.
  e.connected = true;
  if ((edges & EPOLLOUT) && (e.events & FD_WRITE)) AddNotice(id, e, FD_WRITE, 0, out);
  else e.writeArmed = true;
}

// What one socket's edges owe, by the rules above (lock held).
void Judge(SOCKET id, SocketEntry& e, uint32_t edges, std::vector<Notice>& out) {
  if (e.listening) {
    if (!(edges & EPOLLIN)) return;
    ++e.acceptEdges;
    if (e.acceptArmed && (e.events & FD_ACCEPT)) {
      e.acceptArmed = false;
      AddNotice(id, e, FD_ACCEPT, 0, out);
    }
    return;
  }
  if (e.connecting) return JudgeConnect(id, e, edges, out);
  if (!e.connected) return;
  if (edges & EPOLLOUT) {
    ++e.writeEdges;
    // While a test forces would-block answers the socket counts as full: no notice promises room.
    if (e.writeArmed && e.sendWouldBlocks == 0 && (e.events & FD_WRITE)) {
      e.writeArmed = false;
      AddNotice(id, e, FD_WRITE, 0, out);
    } else if (!e.writeArmed) {
      NarrowInterestLocked(id, e, EPOLLOUT);
    }
  }
  const bool ended = (edges & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0;
  if (edges & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) e.drained = false;
  if (ended) e.peerEnded = true;
  if (edges & EPOLLIN) {
    ++e.readEdges;
    // EPOLLIN alone means bytes came; with the peer's end it may mean only the end.
    const bool bytes = !ended || BytesWaiting(e.fd);
    if (bytes && e.readArmed && e.recvWouldBlocks == 0 && (e.events & FD_READ)) {
      e.readArmed = false;
      AddNotice(id, e, FD_READ, 0, out);
    } else if (!e.readArmed && !ended) {
      NarrowInterestLocked(id, e, EPOLLIN);
    }
  }
  if (ended && e.closeArmed && (e.events & FD_CLOSE)) {
    e.closeArmed = false;
    AddNotice(id, e, FD_CLOSE, (edges & EPOLLERR) ? PendingSocketError(e.fd) : 0, out);
  }
}

// The watcher: waits until the set holds edges and raises the flag. Its one-shot wait is re-armed by
// the collector, so it sleeps until then. It never takes the edges itself: collecting stays on the
// peeking thread.
void Watch(WinsockState* s) {
  for (;;) {
    epoll_event fired;
    if (::epoll_wait(s->watchFd, &fired, 1, -1) > 0) s->eventsReady.store(true, std::memory_order_release);
  }
}

void RearmWatcher(WinsockState& s) {
  epoll_event watch{};
  watch.events = EPOLLIN | EPOLLONESHOT;
  ::epoll_ctl(s.watchFd, EPOLL_CTL_MOD, s.epollFd, &watch);
}

void PeekHook(HWND filter) {
  if (filter == kThreadOnlyFilter || !NoticesMayWait()) return;
  CollectNotices();
}

// The fallback news: the watcher thread on a one-shot set holding the epoll set (lock held).
void StartWatcherLocked(WinsockState& s) {
  s.watchFd = ::epoll_create1(EPOLL_CLOEXEC);
  epoll_event watch{};
  watch.events = EPOLLIN | EPOLLONESHOT;
  if (s.watchFd < 0 || ::epoll_ctl(s.watchFd, EPOLL_CTL_ADD, s.epollFd, &watch) != 0) return;
  std::thread(Watch, &s).detach();  // lives as long as the process, as the state does
}

}  // namespace

void AddNotice(SOCKET id, const SocketEntry& entry, long event, int error, std::vector<Notice>& out) {
  if ((entry.events & event) && entry.window != nullptr) out.push_back(Notice{entry.window, entry.message, id, event, error});
}

void PostNotices(const std::vector<Notice>& notices) {
  for (const Notice& n : notices) {
    PostMessageA(n.window, n.message, n.socket, MAKELPARAM(static_cast<int>(n.event), n.error));
  }
}

bool NoticesMayWait() {
  const WinsockState& s = State();
  return s.useRing.load(std::memory_order_acquire) ? NewsRingHasNews()
                                                    : s.eventsReady.load(std::memory_order_acquire);
}

namespace {

uint64_t PollTag(SOCKET id, const SocketEntry& entry) { return uint64_t{id} << 16 | (entry.pollGeneration & 0xFFFF); }

// A socket's poll on the ring: a new one (a new generation, whose tag tells its completions from those
// of the one it replaces). Submitting it reports what holds now (lock held).
void RenewRingPollLocked(SOCKET id, SocketEntry& entry) {
  if (entry.watched) RingUnwatch(PollTag(id, entry));
  ++entry.pollGeneration;
  RingWatch(entry.fd, PollTag(id, entry));
}

void CollectFromRing(WinsockState& s) {
  thread_local std::vector<Notice> notices;
  notices.clear();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    ConsumeNewsRing([&](uint64_t tag, int result, bool more) {
      auto it = s.sockets.find(static_cast<SOCKET>(tag >> 16));
      if (it == s.sockets.end()) return;  // closed
      SocketEntry& e = it->second;
      if ((tag & 0xFFFF) != (e.pollGeneration & 0xFFFF) || result == -ECANCELED) return;  // a replaced poll
      if (result > 0 && e.events != 0) Judge(it->first, e, static_cast<uint32_t>(result), notices);
      // The kernel ended the poll (a full completion ring, or its own reasons): a new one takes over.
      if (!more) RenewRingPollLocked(it->first, e);
    });
  }
  PostNotices(notices);
}

void CollectFromEpoll(WinsockState& s) {
  const bool fired = s.eventsReady.load(std::memory_order_acquire);
  thread_local std::vector<Notice> notices;
  epoll_event edges[kEdgeBatch];
  int count;
  do {
    count = ::epoll_wait(s.epollFd, edges, kEdgeBatch, 0);
    if (count <= 0) break;
    notices.clear();
    {
      std::lock_guard<std::mutex> lock(s.mutex);
      for (int i = 0; i < count; ++i) {
        auto it = s.sockets.find(static_cast<SOCKET>(edges[i].data.u64));
        if (it == s.sockets.end() || it->second.events == 0) continue;  // closed or no longer selected
        Judge(it->first, it->second, edges[i].events, notices);
      }
    }
    PostNotices(notices);
  } while (count == kEdgeBatch);
  // Lowered after collecting, then the watcher re-armed: an edge that came meanwhile is still in the
  // set, and re-arming reports it at once.
  if (fired) {
    s.eventsReady.store(false, std::memory_order_release);
    RearmWatcher(s);
  }
}

}  // namespace

void CollectNotices() {
  WinsockState& s = State();
  if (s.useRing.load(std::memory_order_acquire)) CollectFromRing(s);
  else if (s.epollFd >= 0) CollectFromEpoll(s);
}

void ArmForSelection(SocketEntry& entry) {
  entry.readArmed = true;
  entry.acceptArmed = true;
  entry.writeArmed = entry.connected;
  entry.closeArmed = true;
}

void StartWatchingLocked() {
  WinsockState& s = State();
  if (s.started) return;
  s.started = true;
  // ORBEL_WINSOCK_NO_IO_URING (any value) picks the epoll set and its watcher thread, as a kernel
  // without io_uring does.
  const bool ring = std::getenv("ORBEL_WINSOCK_NO_IO_URING") == nullptr && StartNewsRing();
  if (!ring) {
    s.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    if (s.epollFd >= 0) StartWatcherLocked(s);
  }
  s.useRing.store(ring, std::memory_order_release);
  winstate::SetPeekHook(PeekHook);
}

void WatchLocked(SOCKET id, SocketEntry& entry) {
  WinsockState& s = State();
  if (s.useRing.load(std::memory_order_relaxed)) {
    RenewRingPollLocked(id, entry);
  } else {
    if (s.epollFd < 0) return;
    epoll_event interest{};
    interest.events = kWatchedEvents;
    interest.data.u64 = id;
    // Adding, or modifying, makes the set report what holds now: the notices a fresh selection owes.
    ::epoll_ctl(s.epollFd, entry.watched ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, entry.fd, &interest);
  }
  entry.watched = true;
  entry.interest = kWatchedEvents;
}

void UnwatchLocked(SOCKET id, SocketEntry& entry) {
  // A poll on the ring holds the socket open: it goes before the descriptor is closed. (Closing the
  // descriptor takes it out of the epoll set.)
  if (entry.watched && State().useRing.load(std::memory_order_relaxed)) RingUnwatch(PollTag(id, entry));
  entry.watched = false;
}

bool WidenInterestLocked(SOCKET id, SocketEntry& entry, uint32_t events) {
  WinsockState& s = State();
  // Ring polls always ask for everything: an arrival costs a completion in memory, nothing more.
  if (s.useRing.load(std::memory_order_relaxed)) return false;
  if (!entry.watched || (entry.interest & events) == events || s.epollFd < 0) return false;
  entry.interest |= events;
  epoll_event interest{};
  interest.events = entry.interest;
  interest.data.u64 = id;
  ::epoll_ctl(s.epollFd, EPOLL_CTL_MOD, entry.fd, &interest);
  return true;
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
  winsock::StartWatchingLocked();
  if (events != 0) winsock::WatchLocked(s, e);
  return 0;
}

}  // namespace plat
