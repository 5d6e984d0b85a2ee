// The WinSock socket calls over POSIX descriptors: creation, binding, listening, connecting, accepting,
// receiving, sending, shutting down and closing, and the address queries.
// Depends on: the socket registry. Selection and notices are in socket_notices.cpp.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>
#include <vector>

#include "platform/winsock/socket_registry.h"
#include "platform/winsock/winsock.h"

namespace plat {

using namespace winsock;

namespace {

constexpr int kAddressLength = 16;  // sizeof the WinSock SOCKADDR_IN

// The live entry of `s` (lock held), or null with WSAENOTSOCK (WSANOTINITIALISED before a start).
SocketEntry* FindLocked(SOCKET s) {
  WinsockState& state = State();
  if (state.startCount == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return nullptr;
  }
  auto it = state.sockets.find(s);
  if (it == state.sockets.end()) {
    WSASetLastError(WSAENOTSOCK);
    return nullptr;
  }
  return &it->second;
}

int DescriptorOf(SOCKET s) {
  std::lock_guard<std::mutex> lock(State().mutex);
  SocketEntry* entry = FindLocked(s);
  return entry == nullptr ? -1 : entry->fd;
}

int Fail(int error) {
  WSASetLastError(error);
  return SOCKET_ERROR;
}

int FailFromErrno() {
  SetErrorFromErrno();
  return SOCKET_ERROR;
}

SOCKET FailSocket(int error) {
  WSASetLastError(error);
  return INVALID_SOCKET;
}

sockaddr_in ToPosix(const SOCKADDR_IN& in) {
  sockaddr_in out{};
  out.sin_family = AF_INET;
  out.sin_port = in.sin_port;  // both in network order
  std::memcpy(&out.sin_addr.s_addr, in.sin_addr, 4);
  return out;
}

SOCKADDR_IN FromPosix(const sockaddr_in& in) {
  SOCKADDR_IN out{};
  out.sin_family = AF_INET_WS;
  out.sin_port = in.sin_port;
  std::memcpy(out.sin_addr, &in.sin_addr.s_addr, 4);
  return out;
}

// Small writes go out at once. Framed messages leave as a header and a body in two sends; with Nagle's
// algorithm the body of a small message would wait for the header's delayed acknowledgement (~40 ms).
void SendWithoutDelay(int fd) {
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// Checks a caller's address argument: present and at least 16 bytes.
bool AddressFits(const void* address, int length) { return address != nullptr && length >= kAddressLength; }

using NameQuery = int (*)(int, sockaddr*, socklen_t*);

int QueryName(SOCKET s, SOCKADDR_IN* address, int* length, NameQuery query) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  if (length == nullptr || !AddressFits(address, *length)) return Fail(WSAEFAULT);
  sockaddr_in name{};
  socklen_t size = sizeof name;
  if (query(fd, reinterpret_cast<sockaddr*>(&name), &size) != 0) return FailFromErrno();
  *address = FromPosix(name);
  *length = kAddressLength;
  return 0;
}

}  // namespace

SOCKET socket(int family, int type, int protocol) {
  if (family != AF_INET_WS) return FailSocket(WSAEAFNOSUPPORT);
  if (type != SOCK_STREAM_WS || (protocol != 0 && protocol != IPPROTO_TCP_WS)) return FailSocket(WSAEINVAL);
  std::lock_guard<std::mutex> lock(State().mutex);
  if (State().startCount == 0) return FailSocket(WSANOTINITIALISED);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return FailSocket(MapErrno(errno));
  SendWithoutDelay(fd);
  return RegisterLocked(fd);
}

int bind(SOCKET s, const SOCKADDR_IN* address, int length) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  if (!AddressFits(address, length)) return Fail(WSAEFAULT);
  if (address->sin_family != AF_INET_WS) return Fail(WSAEAFNOSUPPORT);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  const sockaddr_in name = ToPosix(*address);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&name), sizeof name) != 0) return FailFromErrno();
  return 0;
}

int listen(SOCKET s, int backlog) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  if (::listen(fd, backlog) != 0) return FailFromErrno();
  std::lock_guard<std::mutex> lock(State().mutex);
  if (SocketEntry* entry = FindLocked(s)) {
    entry->listening = true;
    entry->acceptArmed = true;
    if (entry->events != 0) WatchLocked(s, *entry);  // a selection made before listening sees arrivals now
  }
  return 0;
}

int connect(SOCKET s, const SOCKADDR_IN* address, int length) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  if (!AddressFits(address, length)) return Fail(WSAEFAULT);
  const sockaddr_in name = ToPosix(*address);
  const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&name), sizeof name);
  const int error = result == 0 ? 0 : errno;
  std::lock_guard<std::mutex> lock(State().mutex);
  SocketEntry* entry = FindLocked(s);
  if (entry == nullptr) return SOCKET_ERROR;
  if (entry->events != 0 && (result == 0 || error == EINPROGRESS)) {
    // Selected: the outcome arrives as FD_CONNECT, even when loopback completed at once. The set is
    // asked again, so that an end the set reported before `connecting` was set is reported once more.
    entry->connecting = true;
    WatchLocked(s, *entry);
    if (result == 0) return 0;
    return Fail(WSAEWOULDBLOCK);
  }
  if (result != 0) return Fail(MapErrno(error));
  entry->connected = true;
  return 0;
}

SOCKET accept(SOCKET s, SOCKADDR_IN* address, int* length) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return INVALID_SOCKET;
  if (address != nullptr && (length == nullptr || *length < kAddressLength)) return FailSocket(WSAEFAULT);
  sockaddr_in peer{};
  socklen_t size = sizeof peer;
  const int client = ::accept4(fd, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_CLOEXEC);
  const int error = errno;
  // Edges come per arrival: connections that came together need the notice again after this accept.
  pollfd more{fd, POLLIN, 0};
  const bool moreWaiting = ::poll(&more, 1, 0) > 0 && (more.revents & POLLIN);
  std::vector<Notice> notices;
  SOCKET id = INVALID_SOCKET;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    SocketEntry* listener = FindLocked(s);
    if (listener == nullptr) {
      if (client >= 0) ::close(client);
      return INVALID_SOCKET;
    }
    listener->acceptArmed = true;  // accept re-enables FD_ACCEPT, whatever its outcome
    if (moreWaiting && (listener->events & FD_ACCEPT)) {
      listener->acceptArmed = false;
      AddNotice(s, *listener, FD_ACCEPT, 0, notices);
    }
    if (client >= 0) {
      const HWND window = listener->window;
      const UINT message = listener->message;
      const long events = listener->events;
      SendWithoutDelay(client);
      id = RegisterLocked(client);  // may rehash: `listener` is not used after this
      SocketEntry& entry = State().sockets[id];
      entry.connected = true;
      entry.window = window;
      entry.message = message;
      entry.events = events;
      if (events != 0) {
        ::fcntl(client, F_SETFL, ::fcntl(client, F_GETFL) | O_NONBLOCK);
        ArmForSelection(entry);
        WatchLocked(id, entry);
      }
    }
  }
  PostNotices(notices);
  if (client < 0) return FailSocket(MapErrno(error));
  if (address != nullptr) {
    *address = FromPosix(peer);
    *length = kAddressLength;
  }
  return id;
}

int recv(SOCKET s, void* buffer, int length, int flags) {
  int fd;
  int cap;
  uint32_t edgesBefore;
  bool forcedBlock = false;
  // Edges the set already reported are collected first, so that an empty socket's answer is current.
  if (State().useRing && NoticesMayWait()) CollectNotices();
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    SocketEntry* entry = FindLocked(s);
    if (entry == nullptr) return SOCKET_ERROR;
    fd = entry->fd;
    cap = entry->recvCap;
    edgesBefore = entry->readEdges;
    // Empty, and no byte has come since: the socket would say so too.
    const bool knownEmpty = entry->drained && State().useRing;
    if (entry->recvWouldBlocks > 0 || knownEmpty) {
      if (!knownEmpty) --entry->recvWouldBlocks;
      forcedBlock = true;
      entry->readArmed = true;
    }
  }
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
  if (forcedBlock) return Fail(WSAEWOULDBLOCK);
  size_t count = static_cast<size_t>(length);
  if (cap > 0 && count > static_cast<size_t>(cap)) count = static_cast<size_t>(cap);
  const bool peek = (flags & MSG_PEEK_WS) != 0;
  const ssize_t got = ::recv(fd, buffer, count, peek ? MSG_PEEK : 0);
  const int error = errno;
  // Any recv, peeking too, re-enables FD_READ. Bytes may still wait after a recv that filled its
  // buffer, and do wait after a peek that saw some: the notice then comes again at once. A short recv
  // emptied the socket, so only a new arrival brings it (or one collected during the call).
  const bool mayRemain = got > 0 && (peek || static_cast<size_t>(got) == count);
  const bool emptied = (got < 0 && (error == EAGAIN || error == EWOULDBLOCK)) ||
                       (!peek && got > 0 && static_cast<size_t>(got) < count);
  std::vector<Notice> notices;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    if (SocketEntry* entry = FindLocked(s)) {
      entry->readArmed = true;
      entry->drained = emptied && entry->readEdges == edgesBefore && entry->events != 0 && !entry->peerEnded;
      // Asking the set again reports bytes that wait; otherwise the edges still come.
      const bool asked = WidenInterestLocked(s, *entry, EPOLLIN);
      if (!asked && (mayRemain || entry->readEdges != edgesBefore) && entry->connected) {
        entry->readArmed = false;
        AddNotice(s, *entry, FD_READ, 0, notices);
        if (notices.empty()) entry->readArmed = true;
      }
    }
  }
  PostNotices(notices);
  if (got < 0) return Fail(MapErrno(error));
  return static_cast<int>(got);
}

namespace {

// The send side's count cap, forced failures and FD_WRITE edge count before a send (-1: no socket).
int PrepareSend(SOCKET s, int* cap, uint32_t* edgesBefore, bool* forcedBlock) {
  std::lock_guard<std::mutex> lock(State().mutex);
  SocketEntry* entry = FindLocked(s);
  if (entry == nullptr) return -1;
  *cap = entry->sendCap;
  *edgesBefore = entry->writeEdges;
  *forcedBlock = false;
  if (entry->sendWouldBlocks > 0) {
    --entry->sendWouldBlocks;
    *forcedBlock = true;
    entry->writeArmed = true;
  }
  return entry->fd;
}

// After a send that would block or took only part of the bytes: FD_WRITE comes once the socket can
// take more. Room that an edge collected during the call reported is announced at once.
void RearmWrite(SOCKET s, uint32_t edgesBefore) {
  std::vector<Notice> notices;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    SocketEntry* entry = FindLocked(s);
    if (entry == nullptr) return;
    entry->writeArmed = true;
    if (WidenInterestLocked(s, *entry, EPOLLOUT)) return;  // the set reports room when it comes
    if (entry->writeEdges != edgesBefore && entry->sendWouldBlocks == 0 && (entry->events & FD_WRITE)) {
      entry->writeArmed = false;
      AddNotice(s, *entry, FD_WRITE, 0, notices);
    }
  }
  PostNotices(notices);
}

// Sends the pieces with one system call: bytes sent, or SOCKET_ERROR.
int SendPieces(SOCKET s, iovec* pieces, int pieceCount) {
  int cap;
  uint32_t edgesBefore;
  bool forcedBlock;
  const int fd = PrepareSend(s, &cap, &edgesBefore, &forcedBlock);
  if (fd < 0) return SOCKET_ERROR;
  if (forcedBlock) return Fail(WSAEWOULDBLOCK);
  size_t total = 0;
  int used = 0;
  for (; used < pieceCount; ++used) {
    size_t len = pieces[used].iov_len;
    if (cap > 0 && total + len > static_cast<size_t>(cap)) {
      pieces[used].iov_len = static_cast<size_t>(cap) - total;
      len = pieces[used].iov_len;
      total += len;
      ++used;
      break;
    }
    total += len;
  }
  msghdr message{};
  message.msg_iov = pieces;
  message.msg_iovlen = static_cast<size_t>(used);
  // MSG_NOSIGNAL: a peer that has gone must give an error, not end the process with SIGPIPE.
  const ssize_t sent = ::sendmsg(fd, &message, MSG_NOSIGNAL);
  const int error = errno;
  if (sent >= 0) {
    if (static_cast<size_t>(sent) < total) RearmWrite(s, edgesBefore);
    return static_cast<int>(sent);
  }
  if (error == EAGAIN || error == EWOULDBLOCK) RearmWrite(s, edgesBefore);
  return Fail(MapErrno(error));
}

}  // namespace

int send(SOCKET s, const void* buffer, int length, int) {
  if (length < 0 || (buffer == nullptr && length > 0)) {
    if (DescriptorOf(s) < 0) return SOCKET_ERROR;
    return Fail(WSAEFAULT);
  }
  iovec piece{const_cast<void*>(buffer), static_cast<size_t>(length)};
  return SendPieces(s, &piece, 1);
}

int WSASend(SOCKET s, WSABUF* buffers, DWORD bufferCount, DWORD* sent, DWORD, void* overlapped, void* completion) {
  if (overlapped != nullptr || completion != nullptr) {
    if (DescriptorOf(s) < 0) return SOCKET_ERROR;
    return Fail(WSAEINVAL);  // overlapped sends are not offered
  }
  constexpr DWORD kMaxPieces = 16;
  if (bufferCount > kMaxPieces || (bufferCount > 0 && buffers == nullptr) || sent == nullptr) {
    if (DescriptorOf(s) < 0) return SOCKET_ERROR;
    return Fail(WSAEFAULT);
  }
  iovec pieces[kMaxPieces];
  for (DWORD i = 0; i < bufferCount; ++i) pieces[i] = iovec{buffers[i].buf, buffers[i].len};
  const int result = SendPieces(s, pieces, static_cast<int>(bufferCount));
  if (result == SOCKET_ERROR) return SOCKET_ERROR;
  *sent = static_cast<DWORD>(result);
  return 0;
}

int ioctlsocket(SOCKET s, long command, ULONG* argument) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  if (command != FIONREAD_WS) return Fail(WSAEINVAL);
  if (argument == nullptr) return Fail(WSAEFAULT);
  int count = 0;
  if (::ioctl(fd, FIONREAD, &count) != 0) return FailFromErrno();
  *argument = static_cast<ULONG>(count);
  return 0;
}

int shutdown(SOCKET s, int how) {
  const int fd = DescriptorOf(s);
  if (fd < 0) return SOCKET_ERROR;
  const int posixHow = how == 0 ? SHUT_RD : how == SD_SEND ? SHUT_WR : SHUT_RDWR;
  if (how < 0 || how > 2) return Fail(WSAEINVAL);
  if (::shutdown(fd, posixHow) != 0) return FailFromErrno();
  return 0;
}

int closesocket(SOCKET s) {
  int fd;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    SocketEntry* entry = FindLocked(s);
    if (entry == nullptr) return SOCKET_ERROR;
    fd = entry->fd;
    UnwatchLocked(s, *entry);
    State().sockets.erase(s);
  }
  ::close(fd);
  return 0;
}

int getsockname(SOCKET s, SOCKADDR_IN* address, int* length) { return QueryName(s, address, length, ::getsockname); }

int getpeername(SOCKET s, SOCKADDR_IN* address, int* length) { return QueryName(s, address, length, ::getpeername); }

}  // namespace plat
