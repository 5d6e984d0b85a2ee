// The WinSock stand-in's state record, start and clean-up, and the errno -> WinSock error mapping.
#include "platform/winsock/socket_registry.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace plat {
namespace winsock {
namespace {

thread_local int t_lastError = 0;
constexpr SOCKET kFirstSocketId = 0x100;
constexpr SOCKET kSocketIdStep = 4;  // WinSock's ids are multiples of 4 as well

}  // namespace

WinsockState& State() {
  static auto* state = new WinsockState;  // never destroyed: sockets may be closed at exit
  return *state;
}

int MapErrno(int error) {
  switch (error) {
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
      return WSAEWOULDBLOCK;
    case EINTR: return WSAEINTR;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EALREADY: return WSAEALREADY;
    case EBADF:
    case ENOTSOCK: return WSAENOTSOCK;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE: return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
  }
}

void SetErrorFromErrno() { t_lastError = MapErrno(errno); }

SOCKET RegisterLocked(int fd) {
  WinsockState& s = State();
  if (s.nextId == 0) s.nextId = kFirstSocketId;
  const SOCKET id = s.nextId;
  s.nextId += kSocketIdStep;
  SocketEntry entry;
  entry.fd = fd;
  s.sockets.emplace(id, entry);
  return id;
}

void CloseAllSocketsLocked() {
  WinsockState& s = State();
  for (auto& [id, entry] : s.sockets) {
    UnwatchLocked(id, entry);
    ::close(entry.fd);
  }
  s.sockets.clear();
  s.startCount = 0;
}

}  // namespace winsock

int WSAGetLastError() { return winsock::t_lastError; }
void WSASetLastError(int error) { winsock::t_lastError = error; }

int WSAStartup(WORD versionRequested, WSADATA* data) {
  // Version 1.1 at least: low byte major, high byte minor.
  const int major = versionRequested & 0xFF, minor = versionRequested >> 8;
  if (major < 1 || (major == 1 && minor < 1)) return 10092;  // WSAVERNOTSUPPORTED
  if (data != nullptr) {
    std::memset(data, 0, sizeof *data);
    data->wVersion = 0x0101;
    data->wHighVersion = 0x0101;
    std::strcpy(data->szDescription, "WinSock 1.1 over POSIX sockets");
    std::strcpy(data->szSystemStatus, "Running");
  }
  winsock::WinsockState& s = winsock::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  ++s.startCount;
  winsock::StartWatchingLocked();
  return 0;
}

int WSACleanup() {
  winsock::WinsockState& s = winsock::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.startCount == 0) {
    WSASetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  if (--s.startCount == 0) winsock::CloseAllSocketsLocked();
  return 0;
}

}  // namespace plat
