// Test controls of the WinSock stand-in: per-socket caps on the bytes one call moves and forced
// would-block failures (the partial and refused transfers real loopback rarely gives), the descriptor
// behind an id, and the reset. Only tests include this file.
#pragma once

#include "platform/winsock/winsock.h"

namespace plat::test {

// At most `sendCap` / `recvCap` bytes per send / recv call on the socket (0: no cap).
void SetSocketCallCap(SOCKET s, int sendCap, int recvCap);
// The next `sends` send calls and `recvs` recv calls on the socket fail with WSAEWOULDBLOCK (a refused
// send re-arms FD_WRITE as a real one does).
void ForceSocketWouldBlock(SOCKET s, int sends, int recvs);
// Collects what the watched sockets reported and posts its notices now, on the calling thread, without
// waiting for the watcher: after it, a peek sees every notice the sockets' present state owes.
void SettleSocketNotices();
// The POSIX descriptor behind a socket id, or -1.
int SocketDescriptor(SOCKET s);
int OpenSocketCount();
// Closes every socket and returns the stand-in to its unstarted state.
void ResetWinsock();

}  // namespace plat::test
