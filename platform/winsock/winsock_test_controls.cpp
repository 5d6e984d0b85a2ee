// The WinSock stand-in's test controls.
#include "platform/winsock/winsock_test_controls.h"

#include "platform/winsock/socket_registry.h"

#include <sys/ioctl.h>
#include <vector>

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
  std::vector<winsock::Notice> notices;
  WithEntry(s, [&](winsock::SocketEntry& e) {
    e.sendWouldBlocks = sends;
    e.recvWouldBlocks = recvs;
    // The real socket never filled, so no edge will announce room or bytes: the end of the forced
    // failures does, as the socket's own state would.
    if (sends == 0 && e.writeArmed && e.connected) {
      e.writeArmed = false;
      winsock::AddNotice(s, e, FD_WRITE, 0, notices);
    }
    int waiting = 0;
    if (recvs == 0 && e.readArmed && e.connected && ::ioctl(e.fd, FIONREAD, &waiting) == 0 && waiting > 0) {
      e.readArmed = false;
      winsock::AddNotice(s, e, FD_READ, 0, notices);
    }
  });
  winsock::PostNotices(notices);
}

void SettleSocketNotices() { winsock::CollectNotices(); }

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
