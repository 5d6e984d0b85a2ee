// Memory streams: block counts (a short last block counts as one), the end flag, seeks clamped to the
// block, and the record's life on the tracked heap.
#include "orbel/file/stream.h"

#include <gtest/gtest.h>

#include <cstring>

#include "orbel/core/memory.h"
#include "test_support.h"

namespace orbel {
namespace {

class MemStreamTest : public testing::VirtualClockTest {
 protected:
  const StreamFunctionSet& set = GetMemStreamFunctions();
  const char data[11] = "0123456789";
};

TEST_F(MemStreamTest, ShortLastBlockCountsAsOneThenEnd) {
  const int blocks = GetMemoryBlockCount();
  const StreamHandle s = MemStreamOpen(data, 10);
  ASSERT_NE(s, 0u);
  EXPECT_EQ(GetMemoryBlockCount(), blocks + 1) << "the record is on the tracked heap";
  char buffer[16] = {};
  EXPECT_EQ(set.Read(buffer, 4, 3, s), 2u);
  EXPECT_EQ(std::memcmp(buffer, "01234567", 8), 0);
  EXPECT_EQ(set.Eof(s), 0);
  std::memset(buffer, 0, sizeof(buffer));
  EXPECT_EQ(set.Read(buffer, 4, 3, s), 1u) << "the last 2 bytes count as one block";
  EXPECT_EQ(std::memcmp(buffer, "89", 2), 0);
  EXPECT_EQ(set.Tell(s), 10);
  EXPECT_EQ(set.Eof(s), 0);
  EXPECT_EQ(set.Read(buffer, 4, 3, s), 0u);
  EXPECT_NE(set.Eof(s), 0);
  EXPECT_EQ(set.IdleCheck(s), 1);
  EXPECT_EQ(set.Close(s), 0);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_STREQ(data, "0123456789") << "the block is not owned";
}

TEST_F(MemStreamTest, SeeksClampToTheBlockAndClearTheEnd) {
  const StreamHandle s = MemStreamOpen(data, 10);
  struct Case {
    int32_t offset;
    int origin;
    int32_t expected;
  };
  const Case cases[] = {{-5, 0, 0}, {100, 0, 10}, {4, 0, 4}, {3, 1, 7}, {-20, 1, 0}, {-3, 2, 7}, {5, 2, 10}, {0, 2, 10}};
  char buffer[4];
  for (const Case& c : cases) {
    set.Read(buffer, 1, 4, s);
    set.Seek(s, 100, 0);
    set.Read(buffer, 1, 1, s);  // sets the end flag
    ASSERT_NE(set.Eof(s), 0);
    set.Seek(s, 4, 0);
    EXPECT_EQ(set.Seek(s, c.offset, c.origin), 0);
    EXPECT_EQ(set.Tell(s), c.expected) << c.offset << " from " << c.origin;
    EXPECT_EQ(set.Eof(s), 0) << "a seek clears the end flag";
  }
  set.Seek(s, 7, 0);
  EXPECT_EQ(set.Read(buffer, 1, 4, s), 3u);
  EXPECT_EQ(std::memcmp(buffer, "789", 3), 0);
  set.Close(s);
}

TEST_F(MemStreamTest, EmptyStreamsAndEmptyReads) {
  const StreamHandle empty = MemStreamOpen(data, 0);
  char buffer[4];
  EXPECT_EQ(set.Read(buffer, 1, 4, empty), 0u);
  EXPECT_NE(set.Eof(empty), 0);
  set.Close(empty);

  const StreamHandle s = MemStreamOpen(data, 10);
  EXPECT_EQ(set.Read(buffer, 0, 4, s), 0u);
  EXPECT_EQ(set.Read(buffer, 4, 0, s), 0u);
  EXPECT_EQ(set.Tell(s), 0) << "nothing was consumed";
  set.Close(s);
}

}  // namespace
}  // namespace orbel
