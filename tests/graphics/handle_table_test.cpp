// The handle value scheme and per-kind tables: slot choice, area end, check-number wrap and the
// validity test.
#include "orbel/graphics/handle_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace orbel {
namespace {

struct Record {
  uint32_t check;
};
constexpr uint32_t kLimit = 8;
using Table = HandleTable<Record, kHandleKindMaskImage, kLimit>;

class HandleTableTest : public ::testing::Test {
 protected:
  int32_t Add() {
    records_.push_back(std::make_unique<Record>());
    return table_->Insert(records_.back().get());
  }
  std::unique_ptr<Table> table_ = std::make_unique<Table>();  // value-initialised: an empty table
  std::vector<std::unique_ptr<Record>> records_;
};

TEST_F(HandleTableTest, HandlesCarryKindCheckAndSlot) {
  int32_t h = Add();
  EXPECT_EQ(h, MakeHandle(0, kHandleKindMaskImage, 0));
  EXPECT_EQ(h, 0x40000000);
  EXPECT_EQ(Add(), 0x40010001) << "check 1 in bits 16-26, slot 1";
  EXPECT_EQ(MakeHandle(5, kHandleKindGraph, 3), ((5 | 0x0800) << 16) | 3);
  EXPECT_EQ(HandleCheck(0x4ABC0007), 0x2BCu);
  EXPECT_EQ(HandleIndex(0x4ABC0007), 7u);
}

TEST_F(HandleTableTest, SlotChoiceAndAreaEnd) {
  int32_t h0 = Add(), h1 = Add();
  ASSERT_NE(table_->Remove(h0), nullptr);
  EXPECT_EQ(table_->areaEnd, 2u) << "a lower slot leaves the area end";
  EXPECT_EQ(HandleIndex(Add()), 2u) << "the area end is used while below the limit";
  for (int i = 0; i < 5; ++i) Add();
  EXPECT_EQ(table_->areaEnd, kLimit);
  EXPECT_EQ(table_->count, 7u);
  EXPECT_EQ(HandleIndex(Add()), 0u) << "at the limit the lowest free slot is filled";
  EXPECT_TRUE(table_->IsFull());
  EXPECT_EQ(Add(), -1);

  // Deleting the top slot with empty slots below drops the area end past them.
  for (uint32_t slot = 2; slot < kLimit - 1; ++slot) table_->Remove(table_->HandleAt(slot));
  table_->Remove(table_->HandleAt(kLimit - 1));
  EXPECT_EQ(table_->areaEnd, 2u);
  table_->Remove(h1);
  EXPECT_EQ(table_->areaEnd, 1u);
  table_->Remove(table_->HandleAt(0));
  EXPECT_EQ(table_->areaEnd, 0u) << "the only record";
  EXPECT_EQ(table_->count, 0u);
}

TEST_F(HandleTableTest, CheckNumbersWrapAndStaleHandlesFail) {
  int32_t first = Add();
  table_->Remove(first);
  for (int i = 1; i < 2048; ++i) table_->Remove(Add());
  int32_t again = Add();
  EXPECT_EQ(HandleCheck(again), 0u) << "the 2049th record gets check 0 again";
  EXPECT_EQ(again, first) << "same slot, same check: the 11-bit aliasing";
  int32_t next = Add();
  table_->Remove(next);
  int32_t reused = Add();
  EXPECT_EQ(HandleIndex(reused), HandleIndex(next));
  EXPECT_EQ(table_->Lookup(next), nullptr) << "stale check number";
  EXPECT_NE(table_->Lookup(reused), nullptr);

  struct Case {
    const char* name;
    int32_t handle;
  } bad[] = {
      {"negative", -1},
      {"other kind", (reused & ~kHandleKindMask) | kHandleKindGraph},
      {"index at the limit", MakeHandle(HandleCheck(reused), kHandleKindMaskImage, kLimit)},
      {"empty slot", MakeHandle(0, kHandleKindMaskImage, 5)},
  };
  for (const Case& c : bad) {
    EXPECT_EQ(table_->Lookup(c.handle), nullptr) << c.name;
    EXPECT_EQ(table_->Remove(c.handle), nullptr) << c.name;
  }
  EXPECT_EQ(table_->count, 2u);

  int deleted = 0;
  table_->DeleteAll([&](int32_t h) {
    ++deleted;
    table_->Remove(h);
  });
  EXPECT_EQ(deleted, 2);
  EXPECT_EQ(table_->areaEnd, 0u);
  table_->Clear();
  EXPECT_EQ(HandleCheck(Add()), 3u) << "the check counter survives a clear";
}

}  // namespace
}  // namespace orbel
