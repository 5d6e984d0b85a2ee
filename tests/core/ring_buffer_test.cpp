// The byte ring: growth sizes, order across wrap and growth, peeks and over-reads, and a failed growth
// that must keep the queued bytes.
#include "orbel/core/ring_buffer.h"

#include <gtest/gtest.h>

#include <deque>
#include <random>
#include <string>
#include <vector>

#include "core_runtime_fixture.h"
#include "orbel/core/memory.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace orbel {
namespace {

std::vector<uint8_t> Sequence(int length, int first) {
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  for (int i = 0; i < length; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(first + i);
  return bytes;
}

std::vector<uint8_t> Take(RingBuffer* ring, int length, int peek = 0) {
  std::vector<uint8_t> out(static_cast<size_t>(length));
  EXPECT_EQ(GetRingBufferData(ring, length, out.data(), peek), 0);
  return out;
}

class RingBufferTest : public testing::LogFileTest {
 protected:
  void TearDown() override {
    TerminateRingBuffer(&ring_);
    LogFileTest::TearDown();
  }
  // 10 bytes make a block of 1010; 1000 more fill it exactly, in place.
  void FillExactly() {
    const auto bytes = Sequence(1010, 0);
    ASSERT_EQ(PutRingBufferData(&ring_, bytes.data(), 10), 0);
    ASSERT_EQ(ring_.bufferSize, 1010);
    const uint8_t* firstBlock = ring_.buffer;
    ASSERT_EQ(PutRingBufferData(&ring_, bytes.data() + 10, 1000), 0);
    ASSERT_EQ(ring_.buffer, firstBlock);
    ASSERT_EQ(ring_.bufferSize, 1010);
  }
  RingBuffer ring_{};
};

TEST_F(RingBufferTest, GrowsToHeldPlusNeededPlusSlack) {
  FillExactly();
  const uint8_t one = 0xEE;
  ASSERT_EQ(PutRingBufferData(&ring_, &one, 1), 0);
  EXPECT_EQ(ring_.bufferSize, 2011);
  EXPECT_EQ(ring_.start, 0u);
  EXPECT_EQ(ring_.dataSize, 1011);
  auto expected = Sequence(1010, 0);
  expected.push_back(0xEE);
  EXPECT_EQ(Take(&ring_, 1011), expected);
}

TEST_F(RingBufferTest, WrappedDataKeepsItsOrderThroughReadsAndGrowth) {
  FillExactly();  // 0..1009, 1010 of 1010 bytes
  EXPECT_EQ(Take(&ring_, 1000), Sequence(1000, 0));
  const auto second = Sequence(500, 100);  // 10 held at the end; 500 wrap to the front
  ASSERT_EQ(PutRingBufferData(&ring_, second.data(), 500), 0);
  auto expected = Sequence(10, 1000 % 256);
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(Take(&ring_, 20, 1), std::vector<uint8_t>(expected.begin(), expected.begin() + 20)) << "peek across the wrap";
  const auto third = Sequence(600, 7);  // grows while the data wraps
  ASSERT_EQ(PutRingBufferData(&ring_, third.data(), 600), 0);
  EXPECT_EQ(ring_.bufferSize, 510 + 600 + 1000);
  expected.insert(expected.end(), third.begin(), third.end());
  EXPECT_EQ(Take(&ring_, static_cast<int>(expected.size())), expected);
}

TEST_F(RingBufferTest, FailedGrowthKeepsTheQueuedBytes) {
  FillExactly();
  const auto held = Sequence(1010, 0);
  const int blocks = GetMemoryBlockCount();
  plat::test::FailHeapAllocation();
  const uint8_t one = 1;
  EXPECT_EQ(PutRingBufferData(&ring_, &one, 1), -1);

  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_EQ(ring_.bufferSize, 1010);
  EXPECT_EQ(ring_.dataSize, 1010);
  const std::string log = LogText();
  EXPECT_NE(log.find("0:リングバッファの再確保に失敗しました(確保しようとしたサイズ 2011 byte)\r\n"
                     "0:リングバッファへのデータの追加に失敗しました(追加する長さ 1 byte)\r\n"),
            std::string::npos)
      << log;
  EXPECT_EQ(Take(&ring_, 1010), held);
  EXPECT_EQ(PutRingBufferData(&ring_, &one, 1), 0) << "the next growth works again";
}

// Covers peeks, over-reads (-1, nothing consumed) and growth while the data wraps.
TEST_F(RingBufferTest, RandomTrafficMatchesAQueue) {
  std::mt19937 random(11);
  std::deque<uint8_t> model;
  uint8_t next = 0;
  for (int step = 0; step < 5000; ++step) {
    const int length = static_cast<int>(random() % 700);
    if (random() % 2 == 0) {
      std::vector<uint8_t> bytes(static_cast<size_t>(length));
      for (auto& b : bytes) b = next++;
      ASSERT_EQ(PutRingBufferData(&ring_, bytes.data(), length), 0);
      model.insert(model.end(), bytes.begin(), bytes.end());
    } else {
      std::vector<uint8_t> out(static_cast<size_t>(length) + 1);
      const int peek = static_cast<int>(random() % 4 == 0);
      const int result = GetRingBufferData(&ring_, length, out.data(), peek);
      if (static_cast<size_t>(length) > model.size()) {
        ASSERT_EQ(result, -1);
        continue;
      }
      ASSERT_EQ(result, 0);
      ASSERT_TRUE(std::equal(model.begin(), model.begin() + length, out.begin())) << "step " << step;
      if (peek == 0) model.erase(model.begin(), model.begin() + length);
    }
    ASSERT_EQ(ring_.dataSize, static_cast<int32_t>(model.size()));
    ASSERT_LE(ring_.dataSize, ring_.bufferSize);
  }
  const int blocks = GetMemoryBlockCount();
  TerminateRingBuffer(&ring_);
  EXPECT_EQ(GetMemoryBlockCount(), blocks - 1);
  EXPECT_EQ(ring_.buffer, nullptr);
  EXPECT_EQ(ring_.bufferSize, 0);
}

}  // namespace
}  // namespace orbel
