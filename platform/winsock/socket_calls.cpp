// The WinSock socket calls over POSIX descriptors: creation, binding, listening, connecting, accepting,
// receiving, sending, shutting down and closing, and the address queries.
// Depends on: the socket registry. Selection and notices are in socket_notices.cpp.
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

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
    // Selected: the outcome arrives as FD_CONNECT, even when loopback completed at once.
    entry->connecting = true;
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
  std::lock_guard<std::mutex> lock(State().mutex);
  SocketEntry* listener = FindLocked(s);
  if (listener == nullptr) {
    if (client >= 0) ::close(client);
    return INVALID_SOCKET;
  }
  listener->acceptArmed = true;  // accept re-enables FD_ACCEPT, whatever its outcome
  if (client < 0) return FailSocket(MapErrno(error));
  const HWND window = listener->window;
  const UINT message = listener->message;
  const long events = listener->events;
  SendWithoutDelay(client);
  const SOCKET id = RegisterLocked(client);  // may rehash: `listener` is not used after this
  SocketEntry& entry = State().sockets[id];
  entry.connected = true;
  entry.window = window;
  entry.message = message;
  entry.events = events;
  if (events != 0) {
    ::fcntl(client, F_SETFL, ::fcntl(client, F_GETFL) | O_NONBLOCK);
    ArmForSelection(entry);
  }
  if (address != nullptr) {
    *address = FromPosix(peer);
    *length = kAddressLength;
  }
  return id;
}

int recv(SOCKET s, void* buffer, int length, int flags) {
  int fd;
  int cap;
  bool forcedBlock = false;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    SocketEntry* entry = FindLocked(s);
    if (entry == nullptr) return SOCKET_ERROR;
    fd = entry->fd;
    cap = entry->recvCap;
    if (entry->recvWouldBlocks > 0) {
      --entry->recvWouldBlocks;
      forcedBlock = true;
    }
    entry->readArmed = true;  // any recv, peeking too, re-enables FD_READ
    entry->readQuietBytes = 0;
  }
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
  if (forcedBlock) return Fail(WSAEWOULDBLOCK);
  size_t count = static_cast<size_t>(length);
  if (cap > 0 && count > static_cast<size_t>(cap)) count = static_cast<size_t>(cap);
  const bool peek = (flags & MSG_PEEK_WS) != 0;
  const ssize_t got = ::recv(fd, buffer, count, peek ? MSG_PEEK : 0);
  const int error = errno;
  if (peek) {
    int waiting = 0;
    if (::ioctl(fd, FIONREAD, &waiting) != 0) waiting = 0;
    std::lock_guard<std::mutex> lock(State().mutex);
    if (SocketEntry* entry = FindLocked(s)) entry->readQuietBytes = waiting;
  }
  if (got < 0) return Fail(MapErrno(error));
  return static_cast<int>(got);
}

int send(SOCKET s, const void* buffer, int length, int) {
  int fd;
  int cap;
  bool forcedBlock = false;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    SocketEntry* entry = FindLocked(s);
    if (entry == nullptr) return SOCKET_ERROR;
    fd = entry->fd;
    cap = entry->sendCap;
    if (entry->sendWouldBlocks > 0) {
      --entry->sendWouldBlocks;
      forcedBlock = true;
      entry->writeArmed = true;
    }
  }
  if (length < 0 || (buffer == nullptr && length > 0)) return Fail(WSAEFAULT);
  if (forcedBlock) return Fail(WSAEWOULDBLOCK);
  size_t count = static_cast<size_t>(length);
  if (cap > 0 && count > static_cast<size_t>(cap)) count = static_cast<size_t>(cap);
  // MSG_NOSIGNAL: a peer that has gone must give an error, not end the process with SIGPIPE.
  const ssize_t sent = ::send(fd, buffer, count, MSG_NOSIGNAL);
  if (sent >= 0) return static_cast<int>(sent);
  const int error = errno;
  if (error == EAGAIN || error == EWOULDBLOCK) {
    std::lock_guard<std::mutex> lock(State().mutex);
    if (SocketEntry* entry = FindLocked(s)) entry->writeArmed = true;  // FD_WRITE once there is room
  }
  return Fail(MapErrno(error));
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
    State().sockets.erase(s);
  }
  ::close(fd);
  return 0;
}

int getsockname(SOCKET s, SOCKADDR_IN* address, int* length) { return QueryName(s, address, length, ::getsockname); }

int getpeername(SOCKET s, SOCKADDR_IN* address, int* length) { return QueryName(s, address, length, ::getpeername); }

}  // namespace plat
