// The WinSock stand-in's test controls.
#include "platform/winsock/winsock_test_controls.h"

#include "platform/winsock/socket_registry.h"

namespace plat::test {

namespace {

template <typename Change>
void WithEntry(SOCKET s, Change change) {
  std::lock_guard<std::mutex> lock(winsock::State().mutex);
  auto it = winsock::State().sockets.find(s);
  if (it != winsock::State().sockets.end()) change(it->second);
}

}  // namespace

void SetSocketCallCap(SOCKET s, int sendCap, int recvCap) {
  WithEntry(s, [&](winsock::SocketEntry& e) {
    e.sendCap = sendCap;
    e.recvCap = recvCap;
  });
}

void ForceSocketWouldBlock(SOCKET s, int sends, int recvs) {
  WithEntry(s, [&](winsock::SocketEntry& e) {
    e.sendWouldBlocks = sends;
    e.recvWouldBlocks = recvs;
  });
}

int SocketDescriptor(SOCKET s) {
  int fd = -1;
  WithEntry(s, [&](winsock::SocketEntry& e) { fd = e.fd; });
  return fd;
}

int OpenSocketCount() {
  std::lock_guard<std::mutex> lock(winsock::State().mutex);
  return static_cast<int>(winsock::State().sockets.size());
}

void ResetWinsock() {
  std::lock_guard<std::mutex> lock(winsock::State().mutex);
  winsock::CloseAllSocketsLocked();
}

}  // namespace plat::test
