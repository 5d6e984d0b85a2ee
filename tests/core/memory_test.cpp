// Tracked memory: the exact dump lines, the tag rule, the allocation number's wrap, reallocation that
// keeps the list whole, damage detection, tracing, and the behaviour when the heap refuses.
#include "orbel/core/memory.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core_runtime_fixture.h"
#include "orbel/core/log.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace orbel {
namespace {

// Replaces the digits after every `key` ("addr:", "ID:") with "*": they vary from run to run.
std::string Mask(std::string text, const std::string& key) {
  for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
    const size_t from = at + key.size();
    size_t to = from;
    while (to < text.size() && std::isxdigit(static_cast<unsigned char>(text[to]))) ++to;
    text.replace(from, to - from, "*");
  }
  return text;
}

// The number after "file:<tag>  line:0  ID:" in `log`, or -1.
int IdOf(const std::string& log, const std::string& tag) {
  const std::string key = "file:" + tag + "  line:0  ID:";
  const size_t at = log.find(key);
  return at == std::string::npos ? -1 : std::atoi(log.c_str() + at + key.size());
}

class MemoryTest : public testing::LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    SetMemoryTraceSettings(0, 0, 0, 0);
  }
  void TearDown() override {
    SetMemoryTraceSettings(0, 0, 0, 0);
    LogFileTest::TearDown();
  }
  // The log so far, with the block addresses (which vary) masked.
  std::string Log() const { return Mask(LogText(), "addr:"); }
  // The log's lines that mention `tag`, IDs masked too.
  std::vector<std::string> LinesWith(const std::string& tag) const {
    std::vector<std::string> lines;
    std::istringstream in(Mask(Log(), "ID:"));
    for (std::string line; std::getline(in, line);)
      if (line.find(tag) != std::string::npos) lines.push_back(line);
    return lines;
  }
};

TEST_F(MemoryTest, RecordLinesShowSizeTagLineAndData) {
  struct Case {
    std::vector<unsigned char> data;
    const char* tag;
    int line;
    const char* expected;  // the line after "0:"
  };
  std::vector<unsigned char> forty(40);
  for (int i = 0; i < 40; ++i) forty[i] = static_cast<unsigned char>('A' + i % 26);
  const Case cases[] = {
      {{'A', '\n', 'B'}, "three", 42,
       "\tsize:3(0.003kb)  file:three  line:42  ID:*  addr:*  data:<A.B> [41 0a 42]\r"},
      {{}, "empty", 7, "\tsize:0(0.000kb)  file:empty  line:7  ID:*  addr:*  data:<> ]\r"},
      {forty, "forty", 1,
       "\tsize:40(0.039kb)  file:forty  line:1  ID:*  addr:*  data:<ABCDEFGHIJKLMNOP> "
       "[41 42 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50]\r"},
      {{0x80, 0xFF, 0x7F, 0x20}, "high", -1, "\tsize:4(0.004kb)  file:high  line:65535  ID:*  addr:*  data:<..\x7f > [80 ff 7f 20]\r"},
      // Tags keep their last 15 characters.
      {{'x'}, "abcdefghijklmnopqrst", 2, "\tsize:1(0.001kb)  file:fghijklmnopqrst  line:2  ID:*  addr:*  data:<x> [78]\r"},
      {{'y'}, "abcdefghijklmn", 3, "\tsize:1(0.001kb)  file:abcdefghijklmn  line:3  ID:*  addr:*  data:<y> [79]\r"},
  };
  for (const Case& c : cases) {
    StartLogFile();
    void* block = MemAlloc(static_cast<uint32_t>(c.data.size()), c.tag, c.line);
    ASSERT_NE(block, nullptr);
    if (!c.data.empty()) std::memcpy(block, c.data.data(), c.data.size());
    MemDump();
    const auto lines = LinesWith(std::string("  line:") + std::to_string(static_cast<uint16_t>(c.line)) + "  ");
    MemFree(block);
    // A zero-size block is also traced by default when it is allocated.
    ASSERT_FALSE(lines.empty()) << c.tag;
    EXPECT_EQ(lines.back(), std::string("0:") + c.expected) << c.tag;
  }
}

TEST_F(MemoryTest, DumpListsNewestFirstAndTotals) {
  if (GetMemoryBlockCount() != 0) GTEST_SKIP() << "other blocks are live in this process";
  void* older = MemAlloc(512, "older", 0);
  void* newer = MemAlloc(1024, "newer", 0);
  MemDump();
  const std::string log = Log();
  const size_t dump = log.find("0:\r\n0:Alloc memory dump\r\n");
  ASSERT_NE(dump, std::string::npos) << log;
  EXPECT_LT(log.find("file:newer"), log.find("file:older"));
  EXPECT_NE(log.find("0:\tTotal size:1536(1.500kb)  Alloc num:2\r\n0:\r\n"), std::string::npos) << log;

  MemFree(newer);
  MemFree(older);
  StartLogFile();
  MemDump();
  EXPECT_EQ(Log(), "0:\r\n0:Alloc memory dump\r\n0:\tTotal size:0(0.000kb)  Alloc num:0\r\n0:\r\n");
}

TEST_F(MemoryTest, AllocationNumberWrapsAfter65536) {
  void* first = MemAlloc(8, "first", 0);
  for (int i = 0; i < 65535; ++i) MemFree(MemAlloc(8));
  void* second = MemAlloc(8, "second", 0);
  void* third = MemAlloc(8, "third", 0);
  MemDump();
  const std::string log = Log();
  ASSERT_NE(IdOf(log, "first"), -1);
  EXPECT_EQ(IdOf(log, "second"), IdOf(log, "first"));
  EXPECT_EQ(IdOf(log, "third"), (IdOf(log, "first") + 1) % 65536);
  MemFree(first);
  MemFree(second);
  MemFree(third);
}

TEST_F(MemoryTest, ReallocKeepsContentsZeroesTheTailAndKeepsTheListWhole) {
  void* fresh = MemRealloc(nullptr, 3, "fresh", 0);
  ASSERT_NE(fresh, nullptr) << "null reallocates as a fresh block";
  MemFree(fresh);
  const int blocks = GetMemoryBlockCount();
  const int bytes = GetMemoryTotalSize();

  // Random allocations, reallocations and frees, checked against a model of sizes and contents.
  std::mt19937 random(7);
  std::vector<std::pair<unsigned char*, uint32_t>> live;
  for (int step = 0; step < 3000; ++step) {
    const int op = static_cast<int>(random() % 3);
    if (op == 0 || live.empty()) {
      const uint32_t size = random() % 300;
      auto* p = static_cast<unsigned char*>(MemCalloc(size, "model", step));
      ASSERT_NE(p, nullptr);
      for (uint32_t i = 0; i < size; ++i) ASSERT_EQ(p[i], 0);
      std::memset(p, static_cast<int>(size & 0xFF), size);
      live.emplace_back(p, size);
    } else {
      const size_t index = random() % live.size();
      auto [p, size] = live[index];
      if (op == 1) {
        const uint32_t newSize = random() % 600;
        auto* q = static_cast<unsigned char*>(MemRealloc(p, newSize, "model", step));
        ASSERT_NE(q, nullptr);
        for (uint32_t i = 0; i < newSize; ++i)
          ASSERT_EQ(q[i], i < size ? static_cast<unsigned char>(size & 0xFF) : 0) << "byte " << i;
        std::memset(q, static_cast<int>(newSize & 0xFF), newSize);
        live[index] = {q, newSize};
      } else {
        MemFree(p);
        live.erase(live.begin() + static_cast<long>(index));
      }
    }
  }
  long liveBytes = 0;
  for (auto& [p, size] : live) liveBytes += size;
  EXPECT_EQ(GetMemoryBlockCount(), blocks + static_cast<int>(live.size()));
  EXPECT_EQ(GetMemoryTotalSize(), bytes + liveBytes);
  EXPECT_EQ(MemCheckBroken(), 0);
  StartLogFile();
  MemDump();
  EXPECT_EQ(LinesWith("file:model ").size(), live.size());
  for (auto& [p, size] : live) MemFree(p);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_EQ(MemCheckBroken(), 0);
}

TEST_F(MemoryTest, DamagedHeaderIsReportedOnOneLine) {
  void* block = MemAlloc(2, "victim", 5);
  static_cast<char*>(block)[0] = 'o';
  static_cast<char*>(block)[1] = 'k';
  char* tag = static_cast<char*>(block) - kMemBlockHeaderSize;
  tag[0] = 'V';
  EXPECT_EQ(MemCheckBroken(), -1);
  EXPECT_EQ(LinesWith("file:Victim ").back(),
            "0:以下のメモリ確保情報が破損しました\tsize:2(0.002kb)  file:Victim  line:5  ID:*  addr:*  data:<ok> [6f 6b]\r");
  tag[0] = 'v';
  EXPECT_EQ(MemCheckBroken(), 0);
  MemFree(block);
}

TEST_F(MemoryTest, TraceRuleLogsMatchingSizes) {
  SetMemoryTraceSettings(5, 0, 0, 0);
  void* traced = MemAlloc(5, "traced", 0);
  traced = MemRealloc(traced, 6, "traced", 0);  // 6 is not traced
  traced = MemRealloc(traced, 5, "traced", 0);
  MemFree(traced);
  const auto lines = LinesWith("file:traced");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("0:mem alloc  \tsize:5(", 0), 0u) << lines[0];
  EXPECT_EQ(lines[1].rfind("0:mem realloc  \tsize:5(", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2].rfind("0:mem free  \tsize:5(", 0), 0u) << lines[2];
}

TEST_F(MemoryTest, RefusedHeapLeavesEverythingIntact) {
  void* block = MemAlloc(4, "kept", 0);
  std::memcpy(block, "abcd", 4);
  const int blocks = GetMemoryBlockCount();

  plat::test::FailHeapAllocation();
  EXPECT_EQ(MemAlloc(16, "refused", 0), nullptr);
  plat::test::FailHeapAllocation();
  EXPECT_EQ(MemRealloc(block, 4096, "kept", 0), nullptr);
  EXPECT_EQ(std::memcmp(block, "abcd", 4), 0);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_EQ(MemCheckBroken(), 0);
  // Each failure listed the blocks in the log.
  const std::string log = Log();
  size_t dumps = 0;
  for (size_t at = log.find("Alloc memory dump"); at != std::string::npos; at = log.find("Alloc memory dump", at + 1))
    ++dumps;
  EXPECT_EQ(dumps, 2u);
  EXPECT_EQ(LinesWith("file:kept ").size(), 2u);
  MemFree(block);
}

}  // namespace
}  // namespace orbel
