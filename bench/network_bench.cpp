// Loopback benchmarks of the network layer beside plain POSIX sockets in the same run: framed-message
// throughput (one message sent and wholly received per iteration) and round-trip latency (a small
// message there and back). Both sides run on one thread, as the library's pump does.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "orbel/core/log.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_state.h"
#include "orbel/network/network_system.h"

namespace {

// Two library handles on one loopback connection.
struct LibraryPair {
  int32_t a = -1;
  int32_t b = -1;
  LibraryPair() {
    orbel::SetLogStartupDirectory("");
    const int port = orbel::PrepareListenNetWork(0);
    a = orbel::ConnectNetWorkLoopback(port);
    for (int i = 0; i < 100000 && orbel::NetWorkState.HandleCount < 3; ++i) orbel::ProcessNetWorkMessage(1);
    b = orbel::GetLastMadeNetWorkHandle();
  }
  ~LibraryPair() { orbel::EndNetWork(); }
};

// Sends `size` bytes from one handle and takes them all at the other.
void LibraryTransfer(int32_t from, int32_t to, const std::vector<uint8_t>& out, std::vector<uint8_t>& in) {
  const int size = static_cast<int>(out.size());
  orbel::NetWorkSend(from, out.data(), size);
  while (orbel::GetNetWorkDataLength(to) < size) orbel::ProcessNetWorkMessage(1);
  orbel::NetWorkRecv(to, in.data(), size);
}

// Two non-blocking POSIX sockets on one loopback connection.
struct PosixPair {
  int a = -1;
  int b = -1;
  PosixPair() {
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    a = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(a, reinterpret_cast<sockaddr*>(&address), sizeof address);
    b = ::accept(listener, nullptr, nullptr);
    ::close(listener);
    const int on = 1;
    for (int fd : {a, b}) {
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // as the stand-in's sockets
    }
  }
  ~PosixPair() {
    ::close(a);
    ::close(b);
  }
};

// The same length-framed exchange done by hand: header and body out, header and body in.
void PosixTransfer(int from, int to, const std::vector<uint8_t>& out, std::vector<uint8_t>& in) {
  const uint32_t size = static_cast<uint32_t>(out.size());
  uint8_t header[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size >> 16),
                       static_cast<uint8_t>(size >> 24)};
  size_t sentHeader = 0, sent = 0, got = 0, gotHeader = 0;
  uint8_t inHeader[4];
  while (gotHeader < 4 || got < size) {
    if (sentHeader < 4) {
      const ssize_t n = ::send(from, header + sentHeader, 4 - sentHeader, MSG_NOSIGNAL);
      if (n > 0) sentHeader += static_cast<size_t>(n);
    } else if (sent < size) {
      const ssize_t n = ::send(from, out.data() + sent, size - sent, MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<size_t>(n);
    }
    if (gotHeader < 4) {
      const ssize_t n = ::recv(to, inHeader + gotHeader, 4 - gotHeader, 0);
      if (n > 0) gotHeader += static_cast<size_t>(n);
    } else {
      const ssize_t n = ::recv(to, in.data() + got, size - got, 0);
      if (n > 0) got += static_cast<size_t>(n);
    }
    if ((sentHeader < 4 || sent < size) == false && (gotHeader < 4 || got < size)) {
      pollfd wait{to, POLLIN, 0};
      ::poll(&wait, 1, 10);
    }
  }
}

void BM_FramedThroughput(benchmark::State& state) {
  LibraryPair pair;
  std::vector<uint8_t> out(static_cast<size_t>(state.range(0)), 0x5A), in(out.size());
  for (auto _ : state) LibraryTransfer(pair.a, pair.b, out, in);
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_PosixThroughput(benchmark::State& state) {
  PosixPair pair;
  std::vector<uint8_t> out(static_cast<size_t>(state.range(0)), 0x5A), in(out.size());
  for (auto _ : state) PosixTransfer(pair.a, pair.b, out, in);
  state.SetBytesProcessed(int64_t(state.iterations()) * state.range(0));
}

void BM_FramedRoundTrip(benchmark::State& state) {
  LibraryPair pair;
  std::vector<uint8_t> out(64, 0x5A), in(64);
  for (auto _ : state) {
    LibraryTransfer(pair.a, pair.b, out, in);
    LibraryTransfer(pair.b, pair.a, in, out);
  }
}

void BM_PosixRoundTrip(benchmark::State& state) {
  PosixPair pair;
  std::vector<uint8_t> out(64, 0x5A), in(64);
  for (auto _ : state) {
    PosixTransfer(pair.a, pair.b, out, in);
    PosixTransfer(pair.b, pair.a, in, out);
  }
}

BENCHMARK(BM_FramedThroughput)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_PosixThroughput)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_FramedRoundTrip);
BENCHMARK(BM_PosixRoundTrip);

}  // namespace

BENCHMARK_MAIN();
