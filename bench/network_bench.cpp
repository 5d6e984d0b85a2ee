// Loopback benchmark of the network layer beside plain POSIX sockets doing the same work in the same
// run: a 64-byte framed round trip, 100 pipelined 16-byte messages, and 64 KiB and 1 MiB messages. The
// plain side sends each framed message (length and body) with one send() and reads until it is whole.
// Both sides run on one thread, as the library's pump does. Each case alternates library and plain
// rounds; the medians of the rounds and their ratio are printed (speed = plain time / library time), by
// the wall clock and by the thread's processor time.
// On loopback the kernel's copy into the receiver's buffer runs up to several times slower when the
// buffer lines up just after the sender's pages (4 KiB aliasing): one fixed buffer can sit on such a
// spot for a whole run. So on both sides the large messages are received into a place that moves by
// 1000 bytes (modulo 4 KiB) from message to message, and both meet every alignment alike.
// Usage: network_bench [rounds [case]]   (default 15 rounds, every case; case 0..3 picks one, as for strace)
#include <arpa/inet.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <time.h>
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
    for (int i = 0; i < 1000000 && orbel::NetWorkState.HandleCount < 3; ++i) orbel::ProcessNetWorkMessage(1);
    b = orbel::GetLastMadeNetWorkHandle();
    if (a == -1 || b == -1 || b == a) {
      std::fprintf(stderr, "network_bench: no library connection\n");
      std::exit(1);
    }
  }
  ~LibraryPair() { orbel::EndNetWork(); }
};

// Two non-blocking POSIX sockets on one loopback connection, without Nagle's delay as the stand-in's.
struct PlainPair {
  int a = -1;
  int b = -1;
  PlainPair() {
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
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
  }
  ~PlainPair() {
    ::close(a);
    ::close(b);
  }
};

// ---- Library side ------------------------------------------------------------------------------------

void LibrarySend(int32_t from, const std::vector<uint8_t>& message) {
  orbel::NetWorkSend(from, message.data(), static_cast<int>(message.size()));
}

// The place in `buffer` (which holds a message and 4 KiB more) where the next large message goes.
uint8_t* MovingPlace(std::vector<uint8_t>& buffer) {
  static size_t shift = 0;
  shift = (shift + 1000) % 4096;
  return buffer.data() + shift;
}

// Pumps until `size` bytes of whole blocks are held, then takes them in pieces of `piece` bytes.
void LibraryReceive(int32_t to, uint8_t* in, int size, int piece) {
  while (orbel::GetNetWorkDataLength(to) < size) orbel::ProcessNetWorkMessage(1);
  for (int at = 0; at < size; at += piece) orbel::NetWorkRecv(to, in + at, piece);
}

// ---- Plain side ---------------------------------------------------------------------------------------

// A framed message as one buffer: 4-byte little-endian length, then the body.
std::vector<uint8_t> Framed(const std::vector<uint8_t>& body) {
  const uint32_t n = static_cast<uint32_t>(body.size());
  std::vector<uint8_t> out(body.size() + 4);
  for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (8 * i));
  std::memcpy(out.data() + 4, body.data(), body.size());
  return out;
}

// Receives `size` bytes, retrying while nothing waits (the library's pump retries the same way).
void PlainReceive(int fd, uint8_t* in, size_t size) {
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::recv(fd, in + got, size - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
  }
}

// Sends a framed message (one send() per attempt) while the receiver takes it into `in`.
void PlainTransfer(int from, int to, const std::vector<uint8_t>& wire, uint8_t* in) {
  size_t sent = 0, got = 0;
  while (got < wire.size()) {
    if (sent < wire.size()) {
      const ssize_t n = ::send(from, wire.data() + sent, wire.size() - sent, MSG_NOSIGNAL);
      if (n > 0) sent += static_cast<size_t>(n);
    }
    const ssize_t n = ::recv(to, in + got, wire.size() - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
  }
}

// ---- Cases ----------------------------------------------------------------------------------------------

struct Case {
  const char* name;
  int iterations;  // per round
  std::function<void()> library;
  std::function<void()> plain;
};

double MedianMicroseconds(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

// A clock in microseconds (<chrono>'s unit names do not survive the CP932 literals).
double NowMicroseconds(clockid_t clock) {
  timespec now;
  ::clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

struct Times {
  double wall;  // us per iteration
  double cpu;   // us of this thread's processor time per iteration (preemption on a busy machine left out)
};

Times TimeRound(const std::function<void()>& body, int iterations) {
  const double wall = NowMicroseconds(CLOCK_MONOTONIC), cpu = NowMicroseconds(CLOCK_THREAD_CPUTIME_ID);
  for (int i = 0; i < iterations; ++i) body();
  return {(NowMicroseconds(CLOCK_MONOTONIC) - wall) / iterations,
          (NowMicroseconds(CLOCK_THREAD_CPUTIME_ID) - cpu) / iterations};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  const int only = argc > 2 ? std::atoi(argv[2]) : -1;
  LibraryPair lib;
  PlainPair plain;

  const std::vector<uint8_t> small(64, 0x5A), tiny(16, 0x33), mid(64 << 10, 0x44), big(1 << 20, 0x55);
  const std::vector<uint8_t> smallWire = Framed(small), tinyWire = Framed(tiny), midWire = Framed(mid),
                             bigWire = Framed(big);
  std::vector<uint8_t> in(big.size() + 4 + 4096);

  const std::vector<Case> cases = {
      {"round trip, 64 bytes", 2000,
       [&] {
         LibrarySend(lib.a, small);
         LibraryReceive(lib.b, in.data(), 64, 64);
         LibrarySend(lib.b, small);
         LibraryReceive(lib.a, in.data(), 64, 64);
       },
       [&] {
         ::send(plain.a, smallWire.data(), smallWire.size(), MSG_NOSIGNAL);
         PlainReceive(plain.b, in.data(), smallWire.size());
         ::send(plain.b, smallWire.data(), smallWire.size(), MSG_NOSIGNAL);
         PlainReceive(plain.a, in.data(), smallWire.size());
       }},
      {"100 pipelined 16-byte messages", 200,
       [&] {
         for (int i = 0; i < 100; ++i) LibrarySend(lib.a, tiny);
         LibraryReceive(lib.b, in.data(), 1600, 16);
       },
       [&] {
         for (int i = 0; i < 100; ++i) ::send(plain.a, tinyWire.data(), tinyWire.size(), MSG_NOSIGNAL);
         PlainReceive(plain.b, in.data(), 100 * tinyWire.size());
       }},
      {"64 KiB message", 300,
       [&] {
         LibrarySend(lib.a, mid);
         LibraryReceive(lib.b, MovingPlace(in), 64 << 10, 64 << 10);
       },
       [&] { PlainTransfer(plain.a, plain.b, midWire, MovingPlace(in)); }},
      {"1 MiB message", 30,
       [&] {
         LibrarySend(lib.a, big);
         LibraryReceive(lib.b, MovingPlace(in), 1 << 20, 1 << 20);
       },
       [&] { PlainTransfer(plain.a, plain.b, bigWire, MovingPlace(in)); }},
  };

  std::printf("%-32s %12s %12s %8s %12s %12s %8s\n", "case (medians of rounds)", "library us", "plain us", "speed",
              "library cpu", "plain cpu", "speed");
  for (size_t index = 0; index < cases.size(); ++index) {
    if (only >= 0 && static_cast<size_t>(only) != index) continue;
    const Case& c = cases[index];
    std::vector<double> libWall, plainWall, libCpu, plainCpu;
    TimeRound(c.library, c.iterations / 10 + 1);  // warm both roads
    TimeRound(c.plain, c.iterations / 10 + 1);
    for (int r = 0; r < rounds; ++r) {
      const Times l = TimeRound(c.library, c.iterations);
      const Times p = TimeRound(c.plain, c.iterations);
      libWall.push_back(l.wall);
      plainWall.push_back(p.wall);
      libCpu.push_back(l.cpu);
      plainCpu.push_back(p.cpu);
    }
    const double lw = MedianMicroseconds(libWall), pw = MedianMicroseconds(plainWall);
    const double lc = MedianMicroseconds(libCpu), pc = MedianMicroseconds(plainCpu);
    std::printf("%-32s %12.2f %12.2f %7.2fx %12.2f %12.2f %7.2fx\n", c.name, lw, pw, pw / lw, lc, pc, pc / lc);
  }
  return 0;
}
