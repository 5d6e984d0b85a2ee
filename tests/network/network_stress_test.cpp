// Loopback load: many framed messages of random sizes both ways between two library handles, traffic
// on 64 connections at once, and raw streams with partial sends. Every byte is checked in order.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "network_fixture.h"
#include "orbel/network/network_connect.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_system.h"
#include "platform/winsock/winsock_test_controls.h"

namespace orbel::testing {
namespace {

using NetworkStress = NetworkTest;

constexpr uint32_t kMaxMessage = 1u << 20;

// The bytes of a run of messages, made again on demand from a seed: message sizes are log-uniform
// from 0 to 1 MiB (the largest size now and then), contents from a fast 64-bit generator.
class MessageStream {
 public:
  MessageStream(uint64_t seed, int messages, uint32_t maxSize) : state_(seed), left_(messages), maxSize_(maxSize) {}

  bool Done() {
    SkipEmptyMessages();
    return left_ == 0 && offset_ == current_.size();
  }
  // Makes the next message current and returns it.
  const std::vector<uint8_t>& NextMessage() {
    offset_ = 0;
    current_.clear();
    if (left_ == 0) return current_;
    --left_;
    const double unit = static_cast<double>(Next() >> 11) * 0x1.0p-53;
    uint32_t size = static_cast<uint32_t>(std::exp2(unit * std::log2(double(maxSize_) + 1))) - 1;
    if (left_ % 997 == 0) size = maxSize_;
    current_.resize(size);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) {
      const uint64_t word = Next();
      std::memcpy(current_.data() + i, &word, 8);
    }
    const uint64_t tail = Next();
    if (i < size) std::memcpy(current_.data() + i, &tail, size - i);
    return current_;
  }
  // Compares received bytes against the stream, message after message. False at the first mismatch.
  bool Check(const uint8_t* bytes, size_t count) {
    while (count > 0) {
      if (offset_ == current_.size()) {
        if (left_ == 0) return false;  // more bytes than were sent
        NextMessage();
        continue;
      }
      const size_t n = std::min(count, current_.size() - offset_);
      if (std::memcmp(bytes, current_.data() + offset_, n) != 0) return false;
      offset_ += n;
      bytes += n;
      count -= n;
    }
    return true;
  }

 private:
  uint64_t Next() {  // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Messages of 0 bytes carry nothing to wait for.
  void SkipEmptyMessages() {
    while (offset_ == current_.size() && left_ > 0) {
      const uint64_t saved = state_;
      const int savedLeft = left_;
      if (!NextMessage().empty()) {
        state_ = saved;
        left_ = savedLeft;
        current_.clear();
        offset_ = 0;
        return;
      }
    }
  }

  uint64_t state_;
  int left_;
  uint32_t maxSize_;
  std::vector<uint8_t> current_;
  size_t offset_ = 0;
};

// One direction of traffic: the sender keeps a bounded amount queued, the receiver takes what has
// completely arrived and checks it.
struct Flow {
  int32_t from;
  int32_t to;
  MessageStream sent;
  MessageStream expected;
  bool failed = false;

  Flow(int32_t f, int32_t t, uint64_t seed, int messages, uint32_t maxSize)
      : from(f), to(t), sent(seed, messages, maxSize), expected(seed, messages, maxSize) {}

  // Offers up to `limit` bytes per turn once the previous ones have left (the receiving side, which
  // the sends may run inside their dispatch, keeps what it takes until the next drain).
  void Feed(int32_t limit) {
    if (RecordOf(from)->SendRing.dataSize != 0) return;
    int32_t offered = 0;
    while (!sent.Done() && offered < limit) {
      const std::vector<uint8_t>& message = sent.NextMessage();
      if (NetWorkSend(from, message.data(), static_cast<int>(message.size())) != 0) failed = true;
      offered += static_cast<int32_t>(message.size());
    }
  }
  void Drain(std::vector<uint8_t>& buffer) {
    for (;;) {
      const int held = GetNetWorkDataLength(to);
      if (held <= 0) return;
      const int take = std::min(held, static_cast<int>(buffer.size()));
      if (NetWorkRecv(to, buffer.data(), take) != 0 || !expected.Check(buffer.data(), static_cast<size_t>(take))) {
        failed = true;
        return;
      }
    }
  }
  bool Finished() { return failed || expected.Done(); }
};

// Both handles of one loopback connection made by the library: the connecting one and the accepted one.
std::pair<int32_t, int32_t> LibraryPair(int port) {
  const int before = NetWorkState.HandleCount;
  const int32_t client = ConnectNetWorkLoopback(port);
  if (client == -1 || !PumpUntil([&] { return NetWorkState.HandleCount == before + 2; })) return {-1, -1};
  return {client, GetLastMadeNetWorkHandle()};
}

bool RunFlows(std::vector<Flow>& flows, int32_t queueLimit) {
  std::vector<uint8_t> buffer(kMaxMessage);
  WaitUntil(
      [&] {
        bool all = true;
        for (Flow& f : flows) {
          f.Feed(queueLimit);
          all = all && f.Finished();
        }
        if (all) return true;
        ProcessNetWorkMessage(1);
        for (Flow& f : flows) f.Drain(buffer);
        return false;
      },
      kTransferBound, kYieldOnly);
  for (Flow& f : flows) {
    if (f.failed || !f.expected.Done()) return false;
  }
  return true;
}

TEST_F(NetworkStress, TenThousandFramedMessagesBothWaysArriveIntactAndInOrder) {
  const int port = PrepareListenNetWork(0);
  ASSERT_GT(port, 0);
  const auto [a, b] = LibraryPair(port);
  ASSERT_NE(a, -1);
  std::vector<Flow> flows;
  flows.emplace_back(a, b, 1234u, 10000, kMaxMessage);
  flows.emplace_back(b, a, 5678u, 10000, kMaxMessage);
  EXPECT_TRUE(RunFlows(flows, 4 << 20));
  EXPECT_EQ(RecordOf(a)->ErrorFlag, 0);
  EXPECT_EQ(RecordOf(b)->ErrorFlag, 0);
}

TEST_F(NetworkStress, SixtyFourConnectionsAtOnce) {
  const int port = PrepareListenNetWork(0);
  ASSERT_GT(port, 0);
  std::vector<Flow> flows;
  for (uint32_t i = 0; i < 64; ++i) {
    const auto [client, server] = LibraryPair(port);
    ASSERT_NE(client, -1) << i;
    flows.emplace_back(client, server, 100 + i, 40, 64u << 10);
    flows.emplace_back(server, client, 900 + i, 40, 64u << 10);
  }
  EXPECT_EQ(NetWorkState.HandleCount, 1 + 128);
  EXPECT_TRUE(RunFlows(flows, 256 << 10));
}

TEST_F(NetworkStress, RawStreamsSurvivePartialSends) {
  SetNetWorkRawMode(1);
  const int port = PrepareListenNetWork(0);
  ASSERT_GT(port, 0);
  const auto [a, b] = LibraryPair(port);
  ASSERT_NE(a, -1);
  // 16 MiB each way, offered in pieces of up to 256 KiB; send takes what the socket has room for.
  constexpr size_t kTotal = 16u << 20;
  std::vector<uint8_t> source(kTotal);
  std::mt19937 rng(42);
  for (auto& byte : source) byte = static_cast<uint8_t>(rng() >> 24);
  size_t sent[2] = {0, 0}, received[2] = {0, 0};
  const int32_t ends[2] = {a, b};
  std::vector<uint8_t> buffer(1 << 18);
  // Small pieces per call on one side, as a congested socket gives them.
  plat::test::SetSocketCallCap(RecordOf(a)->Socket, 7000, 5000);
  bool partial = false;
  bool mismatch = false;
  WaitUntil(
      [&] {
        for (int side = 0; side < 2; ++side) {
          if (sent[side] < kTotal) {
            const int offer = static_cast<int>(std::min<size_t>(kTotal - sent[side], 1 + rng() % (256 << 10)));
            const int n = NetWorkSend(ends[side], source.data() + sent[side], offer);
            if (n > 0) sent[side] += static_cast<size_t>(n);
            partial = partial || (n >= 0 && n < offer);
          }
          const int got = NetWorkRecv(ends[1 - side], buffer.data(), static_cast<int>(buffer.size()));
          if (got > 0) {
            mismatch = std::memcmp(buffer.data(), source.data() + received[side], static_cast<size_t>(got)) != 0;
            if (mismatch) return true;
            received[side] += static_cast<size_t>(got);
          }
        }
        ProcessNetWorkMessage(1);
        return received[0] == kTotal && received[1] == kTotal;
      },
      kTransferBound, kYieldOnly);
  ASSERT_FALSE(mismatch) << "bytes out of order at " << received[0] << " / " << received[1];
  EXPECT_EQ(received[0], kTotal);
  EXPECT_EQ(received[1], kTotal);
  EXPECT_TRUE(partial) << "the socket never took less than offered";
}

}  // namespace
}  // namespace orbel::testing
