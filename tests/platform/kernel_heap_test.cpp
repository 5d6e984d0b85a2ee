// The process heap (zeroed tails, failure keeps the old block, injected failures) and the debug
// output sink.
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win/kernel/debug_output.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/heap.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/test_controls.h"
#include "test_support.h"

namespace {

using namespace plat;
using KernelHeap = orbel::testing::VirtualClockTest;
using KernelDebugOutput = orbel::testing::VirtualClockTest;

TEST_F(KernelHeap, ReAllocZeroesExactlyTheGrownTail) {
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(heap, nullptr);
  const long before = test::HeapLiveBlocks();
  auto* block = static_cast<unsigned char*>(HeapAlloc(heap, 0, 13));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
  std::memset(block, 0xAB, 13);
  // Grow in steps through sizes malloc rounds differently; the old bytes survive, the new read 0.
  for (size_t next : {29u, 100u, 4096u, 70000u}) {
    block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, next));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeapSize(heap, 0, block), next);
    for (size_t i = 0; i < 13; ++i) ASSERT_EQ(block[i], 0xAB) << "byte " << i << " at size " << next;
    for (size_t i = 13; i < next; ++i) ASSERT_EQ(block[i], 0) << "byte " << i << " at size " << next;
    std::memset(block + 13, 0, next - 13);
  }
  // Shrink, dirty the end, grow again: the bytes past the shrunken size must read 0 again.
  block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 20));
  ASSERT_NE(block, nullptr);
  std::memset(block + 13, 0xCD, 7);
  block = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 64));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[19], 0xCD);
  for (size_t i = 20; i < 64; ++i) ASSERT_EQ(block[i], 0) << i;
  EXPECT_EQ(test::HeapLiveBlocks(), before + 1);
  EXPECT_TRUE(HeapFree(heap, 0, block));
  EXPECT_EQ(test::HeapLiveBlocks(), before);
}

TEST_F(KernelHeap, FailuresReturnNullAndKeepTheOldBlock) {
  HANDLE heap = GetProcessHeap();
  auto* block = static_cast<char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 8));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "payload", 8);

  test::FailHeapAllocation();
  EXPECT_EQ(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 1000), nullptr);
  EXPECT_STREQ(block, "payload");
  EXPECT_EQ(HeapSize(heap, 0, block), 8u);

  test::FailHeapAllocation(1);  // one more succeeds, then one fails
  void* ok = HeapAlloc(heap, 0, 4);
  EXPECT_NE(ok, nullptr);
  EXPECT_EQ(HeapAlloc(heap, 0, 4), nullptr);
  void* afterwards = HeapAlloc(heap, 0, 4);  // the failure was one-shot
  EXPECT_NE(afterwards, nullptr);

  EXPECT_EQ(HeapAlloc(heap, 0, SIZE_MAX - 4), nullptr);  // size overflow is refused, not wrapped
  HANDLE notAHeap = reinterpret_cast<HANDLE>(block);
  EXPECT_EQ(HeapAlloc(notAHeap, 0, 4), nullptr);
  EXPECT_TRUE(HeapFree(heap, 0, nullptr));
  int notFromTheHeap[8] = {};
  EXPECT_FALSE(HeapFree(heap, 0, notFromTheHeap + 4));
  EXPECT_FALSE(CloseHandle(heap));  // the process heap is not a closable handle

  HeapFree(heap, 0, ok);
  HeapFree(heap, 0, afterwards);
  HeapFree(heap, 0, block);
}

TEST_F(KernelDebugOutput, SinkCollectsTextUntilCleared) {
  OutputDebugStringA("\t\t開始\n");
  OutputDebugStringA(nullptr);
  OutputDebugStringA("512.00MB\n");
  EXPECT_EQ(test::DebugOutputText(), "\t\t開始\n512.00MB\n");
  test::ClearDebugOutput();
  EXPECT_EQ(test::DebugOutputText(), "");
  // The sink is bounded and keeps the newest text.
  const std::string chunk(1 << 20, 'x');
  for (int i = 0; i < 6; ++i) OutputDebugStringA(chunk.c_str());
  OutputDebugStringA("last");
  const std::string text = test::DebugOutputText();
  EXPECT_LE(text.size(), size_t{4} << 20);
  EXPECT_EQ(text.substr(text.size() - 4), "last");
}

TEST(KernelDebugOutputDeath, MirrorsToStderrWhenAsked) {
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  EXPECT_EXIT(
      {
        setenv("ORBEL_DEBUG_OUTPUT", "1", 1);
        OutputDebugStringA("mirrored line\n");
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "mirrored line");
}

}  // namespace
