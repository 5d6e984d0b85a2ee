// WinSock 1.1 over non-blocking POSIX sockets: the calls the network layer makes (accept, recv with and
// without MSG_PEEK, ioctlsocket's FIONREAD, send and the gathering WSASend, closesocket, WSAAsyncSelect, WSAGetLastError,
// WSACleanup) and the ones its connection-making side needs (WSAStartup, socket, bind, listen, connect,
// getsockname, getpeername). Socket ids are issued from a counter and never reused, so a notice queued
// for a closed socket finds no owner. Selected sockets are watched (a multishot poll each on an io_uring,
// or, where the kernel offers none or ORBEL_WINSOCK_NO_IO_URING is set, an epoll set and a watcher
// thread); their notices are posted when a message queue is peeked after a change was reported, by
// WinSock's one-shot rules (see socket_notices.cpp). A peek costs no system call while nothing changed.
// IPv4 TCP only. Errors are the WinSock codes, per thread, mapped from errno. Constants whose POSIX
// names are macros carry the suffix _WS.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

using SOCKET = uintptr_t;
constexpr SOCKET INVALID_SOCKET = ~SOCKET{0};
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET_WS = 2;      // address family of SOCKADDR_IN
constexpr int SOCK_STREAM_WS = 1;
constexpr int IPPROTO_TCP_WS = 6;
constexpr int MSG_PEEK_WS = 2;
constexpr int SD_SEND = 1;  // shutdown: no more sends
constexpr long FIONREAD_WS = 0x4004667F;  // ioctlsocket: bytes a recv would take now

// Events of WSAAsyncSelect: the low word of the notice's lParam; the high word is the error code.
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

// Error codes.
constexpr int WSAEINTR = 10004;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSANOTINITIALISED = 10093;

// The 16-byte IPv4 socket address, as WinSock lays it out. Port and address are in network order.
struct SOCKADDR_IN {
  int16_t sin_family;  // AF_INET_WS
  uint16_t sin_port;
  uint8_t sin_addr[4];  // first octet first
  uint8_t sin_zero[8];
};

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
};

// Starts the stand-in (counted); 0, or an error code when the version asked is below 1.1.
int WSAStartup(WORD versionRequested, WSADATA* data);
// Ends one start; the last one closes every socket still open. 0, or SOCKET_ERROR when not started.
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int error);

// A new TCP socket (blocking until it is selected), or INVALID_SOCKET. Sockets of the stand-in send
// small writes at once (no Nagle delay), accepted ones too.
SOCKET socket(int family, int type, int protocol);
// Sockets take SOCKADDR_IN only (length at least 16); SO_REUSEADDR is set before binding.
int bind(SOCKET s, const SOCKADDR_IN* address, int length);
int listen(SOCKET s, int backlog);
// Blocking until the socket is selected; afterwards WSAEWOULDBLOCK and FD_CONNECT when it completes.
int connect(SOCKET s, const SOCKADDR_IN* address, int length);
// The new socket inherits the listening socket's selection (window, message, events). `address` and
// `length` may be null; else *length must be at least 16 and becomes 16.
SOCKET accept(SOCKET s, SOCKADDR_IN* address, int* length);
// Bytes received (0 after an orderly close) or SOCKET_ERROR. Re-arms FD_READ (peeking too); while bytes
// may still wait after it, the notice comes again.
int recv(SOCKET s, void* buffer, int length, int flags);
// Bytes sent or SOCKET_ERROR; a send that would block or took only part of the bytes re-arms FD_WRITE.
// A closed peer never raises a signal: the call fails with WSAECONNRESET.
int send(SOCKET s, const void* buffer, int length, int flags);
// One piece of a gathering send.
struct WSABUF {
  ULONG len;
  char* buf;
};
// Sends the pieces in order with one call (at most 16): 0 with the bytes sent in *sent, or SOCKET_ERROR.
// Overlapped sends are not offered (both last arguments must be null). Re-arms FD_WRITE as send does.
int WSASend(SOCKET s, WSABUF* buffers, DWORD bufferCount, DWORD* sent, DWORD flags, void* overlapped,
            void* completion);
// FIONREAD_WS only: *argument becomes the bytes waiting to be received. 0 or SOCKET_ERROR (WSAEINVAL for
// another command).
int ioctlsocket(SOCKET s, long command, ULONG* argument);
int shutdown(SOCKET s, int how);
int closesocket(SOCKET s);
int getsockname(SOCKET s, SOCKADDR_IN* address, int* length);
int getpeername(SOCKET s, SOCKADDR_IN* address, int* length);

// Posts `message` to `window` (wParam the socket, lParam MAKELONG(event, error)) for the `events`
// asked; makes the socket non-blocking. Events 0 stops the notices; ones already queued stay queued.
int WSAAsyncSelect(SOCKET s, HWND window, UINT message, long events);

}  // namespace plat
