// The WinSock stand-in's own state, shared by its files: the socket registry (id -> descriptor and
// selection), the epoll set that watches the selected sockets, the start count and the per-socket test
// settings. Not for the library.
// Locking: `mutex` guards the registry; it is never held during a blocking system call or while a
// message is posted. The watcher thread touches only the atomic flag.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/winsock/winsock.h"

namespace plat::winsock {

struct SocketEntry {
  int fd = -1;
  // Selection (WSAAsyncSelect): events 0 = none.
  HWND window = nullptr;
  UINT message = 0;
  long events = 0;
  bool watched = false;  // in the epoll set
  uint32_t interest = 0;  // the epoll events asked for now
  uint32_t pollGeneration = 0;  // of the socket's poll on the ring
  bool listening = false;
  bool connecting = false;  // a non-blocking connect is under way
  bool connected = false;
  // A recv found the socket empty and no edge has been collected since: a recv can answer "would
  // block" without asking the socket (only while io_uring reports edges as they come).
  bool drained = false;
  bool peerEnded = false;  // the peer's end (or a failure) was seen: a recv must hear it, never cache
  // One-shot notice states: armed = the next matching condition posts a notice.
  bool readArmed = false;
  bool writeArmed = false;
  bool acceptArmed = false;
  bool closeArmed = false;  // FD_CLOSE goes once per socket
  // Edges collected from the epoll set. A call that re-arms a notice compares them with what they
  // were before its system call: an edge collected in between may be one the re-arm would miss.
  uint32_t readEdges = 0;
  uint32_t writeEdges = 0;
  uint32_t acceptEdges = 0;
  // Test settings: bytes per call (0 = no cap) and forced would-block failures still to give.
  int sendCap = 0;
  int recvCap = 0;
  int sendWouldBlocks = 0;
  int recvWouldBlocks = 0;
};

// A notice to post once the registry lock is released.
struct Notice {
  HWND window;
  UINT message;
  SOCKET socket;
  long event;
  int error;
};

struct WinsockState {
  std::mutex mutex;
  std::unordered_map<SOCKET, SocketEntry> sockets;
  SOCKET nextId = 0;  // ids are never reused; 0 and INVALID_SOCKET are never issued
  int startCount = 0;
  // The news road, chosen at the first start and kept: io_uring polls, or the epoll set (edge-triggered)
  // and its watcher thread, which waits on a one-shot set holding only `epollFd`; a collector re-arms it.
  bool started = false;
  int epollFd = -1;
  int watchFd = -1;
  std::atomic<bool> eventsReady{false};  // the set holds edges nobody has collected (watcher)
  std::atomic<bool> useRing{false};      // io_uring tells of edges; no watcher runs
};

WinsockState& State();

// errno -> WinSock code, stored as the calling thread's last error.
int MapErrno(int error);
void SetErrorFromErrno();

// Arms the notices a fresh selection owes (WinSock posts what already holds after WSAAsyncSelect).
void ArmForSelection(SocketEntry& entry);
// Makes the epoll set and its watcher and registers the peek hook (once per process; lock held).
void StartWatchingLocked();
// Puts a selected socket into the epoll set, or asks the set again for its present state (lock held).
void WatchLocked(SOCKET id, SocketEntry& entry);
// Asks the set for `events` of the socket too, unless it already does (lock held). Asking makes the set
// report what holds now, so a notice re-armed while its condition holds comes at once; true then.
bool WidenInterestLocked(SOCKET id, SocketEntry& entry, uint32_t events);
// Collects the set's edges and posts the notices they owe.
void CollectNotices();
// True when the set may hold edges nobody has collected (a memory read, no system call).
bool NoticesMayWait();

// Takes a socket out of the watch before its descriptor is closed (lock held).
void UnwatchLocked(SOCKET id, SocketEntry& entry);

// ---- News through io_uring (socket_news_ring.cpp; every call with the lock held) ------------------
// Makes the ring and checks that the kernel offers multishot polls: false when not (epoll serves).
bool StartNewsRing();
bool NewsRingHasNews();
// Starts the multishot poll of a socket's descriptor, its completions carrying `tag`; ends it.
bool RingWatch(int fd, uint64_t tag);
void RingUnwatch(uint64_t tag);
// Hands each completion to `take` (tag, result: the ready events or a failure, more: the poll goes on).
void ConsumeNewsRing(const std::function<void(uint64_t tag, int result, bool more)>& take);

// Registers a descriptor under a new id (lock held).
SOCKET RegisterLocked(int fd);
// Closes every socket and forgets every setting (the last WSACleanup and test resets).
void CloseAllSocketsLocked();
void PostNotices(const std::vector<Notice>& notices);
// Adds `event` for entry `id` to `out` when the selection asks for it.
void AddNotice(SOCKET id, const SocketEntry& entry, long event, int error, std::vector<Notice>& out);

}  // namespace plat::winsock
