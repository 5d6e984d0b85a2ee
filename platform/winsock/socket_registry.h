// The WinSock stand-in's own state, shared by its files: the socket registry (id -> descriptor and
// selection), the start count and the per-socket test settings. Not for the library.
// Locking: one mutex guards the whole record; it is never held during a blocking system call or while
// a message is posted.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "platform/winsock/winsock.h"

namespace plat::winsock {

struct SocketEntry {
  int fd = -1;
  // Selection (WSAAsyncSelect): events 0 = none.
  HWND window = nullptr;
  UINT message = 0;
  long events = 0;
  bool listening = false;
  bool connecting = false;  // a non-blocking connect is under way
  bool connected = false;
  // One-shot notice states: armed = the next matching condition posts a notice.
  bool readArmed = false;
  bool writeArmed = false;
  bool acceptArmed = false;
  bool closeArmed = false;  // FD_CLOSE goes once per socket
  // Bytes that were waiting when a peeking recv re-armed FD_READ: a peek takes nothing, so the notice
  // comes again only when more than these wait (else a peeked partial message would post forever).
  int readQuietBytes = 0;
  // Test settings: bytes per call (0 = no cap) and forced would-block failures still to give.
  int sendCap = 0;
  int recvCap = 0;
  int sendWouldBlocks = 0;
  int recvWouldBlocks = 0;
};

struct WinsockState {
  std::mutex mutex;
  std::unordered_map<SOCKET, SocketEntry> sockets;
  SOCKET nextId = 0;  // ids are never reused; 0 and INVALID_SOCKET are never issued
  int startCount = 0;
  bool hookInstalled = false;
};

WinsockState& State();

// errno -> WinSock code, stored as the calling thread's last error.
int MapErrno(int error);
void SetErrorFromErrno();

// Arms the notices a fresh selection owes (WinSock posts what already holds after WSAAsyncSelect).
void ArmForSelection(SocketEntry& entry);
// Registers the poll that runs when a queue is peeked (once per process).
void InstallPeekHookLocked();
// Registers a descriptor under a new id (lock held).
SOCKET RegisterLocked(int fd);
// Closes every socket and forgets every setting (the last WSACleanup and test resets).
void CloseAllSocketsLocked();

}  // namespace plat::winsock
