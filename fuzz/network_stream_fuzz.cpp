// Fuzz target of the network readers: the input is what a peer sends on a loopback connection. Its
// first byte picks the reader (bit 0: 0 the framed receiver, 1 an HTTP transfer; bits 1-2 the request
// kind; bit 3 a memory destination) and its second the size of the pieces the peer writes; the rest is
// the byte stream, followed by the peer's close. Everything received is taken, every transfer stepped
// until it ends or the turns run out. A framed handle must read as closed once the close has come; a
// reader that stops taking bytes shows as a hang.
#include <arpa/inet.h>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/network/http_transfer.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_state.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/file_io.h"

namespace {

constexpr int kTurnsAfterClose = 60;

int Listener(int* port) {
  static int fd = -1;
  static int listenPort = 0;
  if (fd < 0) {
    // The virtual clock keeps a close's flush from costing real seconds; the network window's pump needs
    // a host, and a fuzz run shows no window.
    plat::test::UseVirtualClock(0, 1000);
    setenv("ORBEL_HOST", "headless", 1);
    orbel::SetLogStartupDirectory("");
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::abort();
    }
    listenPort = ntohs(address.sin_port);
  }
  *port = listenPort;
  return fd;
}

// Takes whatever a framed handle holds.
void DrainFramed(int32_t handle) {
  static std::vector<uint8_t> buffer(1 << 16);
  for (;;) {
    const int held = orbel::GetNetWorkDataLength(handle);
    if (held <= 0) return;
    const int take = held < static_cast<int>(buffer.size()) ? held : static_cast<int>(buffer.size());
    if (orbel::NetWorkRecv(handle, buffer.data(), take) != 0) {
      // Complete blocks are always there to take, unless the receive inside the call met a refused
      // length: the handle is then in error and gives nothing more.
      const orbel::NetWorkHandleRecord* record = orbel::LookupNetWorkHandle(handle);
      if (record == nullptr || record->ErrorFlag != 1) std::abort();
      return;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const bool http = (data[0] & 1) != 0;
  const int32_t kind = (data[0] >> 1) & 3;
  const bool toMemory = (data[0] & 8) != 0;
  const size_t piece = size_t{data[1]} * 64 + 1;
  data += 2;
  size -= 2;

  int port;
  const int listener = Listener(&port);
  orbel::SetNetWorkRawMode(http ? 1 : 0);
  orbel::SetKeepLostNetWorkHandle(1);
  const int32_t handle = orbel::ConnectNetWorkLoopback(port);
  if (handle == -1) std::abort();
  const int peer = ::accept(listener, nullptr, nullptr);
  ::fcntl(peer, F_SETFL, ::fcntl(peer, F_GETFL) | O_NONBLOCK);

  void* block = nullptr;
  int transfer = -1;
  if (http) {
    plat::HANDLE file = toMemory ? nullptr
                                 : plat::CreateFileA("fuzz_http_body.tmp", plat::GENERIC_WRITE, 0, nullptr,
                                                     plat::CREATE_ALWAYS, plat::FILE_ATTRIBUTE_NORMAL, nullptr);
    transfer = orbel::CreateHttpTransfer(kind == 3 ? orbel::kHttpGet : kind, "127.0.0.1", "/", 80, handle, file,
                                         toMemory ? &block : nullptr, "x", 1);
    if (transfer == -1) std::abort();
  }

  size_t sent = 0;
  bool closed = false;
  char discard[4096];
  for (int turn = 0, quiet = 0; quiet < kTurnsAfterClose; ++turn) {
    if (sent < size) {
      const size_t n = size - sent < piece ? size - sent : piece;
      const ssize_t wrote = ::send(peer, data + sent, n, MSG_NOSIGNAL);
      if (wrote > 0) sent += static_cast<size_t>(wrote);
    } else if (!closed) {
      ::shutdown(peer, SHUT_WR);
      closed = true;
    } else {
      ++quiet;
    }
    while (::recv(peer, discard, sizeof discard, MSG_DONTWAIT) > 0) {
    }
    orbel::ProcessNetWorkMessage(1);
    if (http) {
      orbel::ProcessHttpHandle(transfer);
      if (orbel::GetHttpHandleRecord(transfer)->ResultStatus != -1) break;
    } else {
      const orbel::NetWorkHandleRecord* record = orbel::LookupNetWorkHandle(handle);
      if (record == nullptr) break;  // refused length: closed in error
      DrainFramed(handle);
      if (closed && record->ConnectFlag == 0) break;
    }
  }

  if (!http) {
    // After the peer's close every byte has been taken: the handle must read as closed (or be gone),
    // never wait for bytes that cannot come.
    const orbel::NetWorkHandleRecord* record = orbel::LookupNetWorkHandle(handle);
    if (record != nullptr && record->ErrorFlag == 0 &&
        (record->ConnectFlag != 0 || record->RecvBlockLeft != 0 || record->RecvHeaderHave != 0)) {
      std::abort();
    }
  }
  if (http) {
    const bool done = orbel::GetHttpHandleRecord(transfer)->ResultStatus == 0;
    orbel::DeleteHttpHandle(transfer);
    if (done) orbel::MemFree(block);
  }
  ::close(peer);
  orbel::EndNetWork();
  return 0;
}
