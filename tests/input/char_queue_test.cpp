// The input character queue and its intake: capacity, double-byte pairing, peeking, the WM_CHAR and
// WM_KEYDOWN rules through the real window procedure, and character counting.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "input_fixture.h"
#include "orbel/core/library_state.h"
#include "orbel/core/message_pump.h"
#include "orbel/input/input_system.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/user/user_keys.h"
#include "platform/win/user/window_messages.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

class CharQueueTest : public testing::InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    std::memset(&InputCharQueue, 0, sizeof InputCharQueue);
    LibraryCharSetIndex = 1;
  }
  // Every whole character still queued, as the bytes of each.
  std::vector<std::string> Drain() {
    std::vector<std::string> out;
    char c[2];
    for (int n; (n = PopInputChar(c, 1)) != 0;) out.emplace_back(c, static_cast<size_t>(n));
    return out;
  }
};

TEST_F(CharQueueTest, HoldsAtMost1024BytesAndDropsTheRest) {
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(PushInputChar('a' + i % 26), 0) << i;
  EXPECT_EQ(PushInputChar('x'), -1);
  const std::vector<std::string> chars = Drain();
  ASSERT_EQ(chars.size(), 1024u);
  EXPECT_EQ(chars[0], "a");
  EXPECT_EQ(chars[1023], std::string(1, static_cast<char>('a' + 1023 % 26)));
  // The ring wraps: half a queue, then a full one again.
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 700; ++i) ASSERT_EQ(PushInputChar('0' + round), 0);
    EXPECT_EQ(Drain().size(), 700u);
  }
}

TEST_F(CharQueueTest, ALeadByteWaitsForItsSecondByteAndPeekingChangesNothing) {
  char c[2] = {1, 1};
  PushInputChar(0x82);  // あ = 82 A0
  EXPECT_EQ(PopInputChar(c, 1), 0);
  EXPECT_EQ(c[0], 0);
  EXPECT_EQ(c[1], 0);
  PushInputChar(0xA0);
  EXPECT_EQ(PopInputChar(c, 0), 2);
  EXPECT_EQ(PopInputChar(c, 0), 2) << "a peek is repeatable";
  EXPECT_EQ(static_cast<uint8_t>(c[0]), 0x82);
  EXPECT_EQ(static_cast<uint8_t>(c[1]), 0xA0);
  EXPECT_EQ(PopInputChar(c, 1), 2);
  EXPECT_EQ(PopInputChar(c, 1), 0);
  // Control codes are never taken for lead bytes; a pair may straddle the ring's end.
  InputCharQueue.readIndex = InputCharQueue.writeIndex = kInputCharQueueSize - 1;
  PushInputChar(0x88);
  PushInputChar(0xEA);
  PushInputChar(16);
  EXPECT_EQ(PopInputChar(c, 1), 2);
  EXPECT_EQ(static_cast<uint8_t>(c[1]), 0xEA);
  EXPECT_EQ(PopInputChar(c, 1), 1);
  EXPECT_EQ(c[0], 16);
}

TEST_F(CharQueueTest, WmCharAndWmKeyDownFeedTheQueueByTheirRules) {
  ASSERT_EQ(Start(), 0);
  std::memset(&InputCharQueue, 0, sizeof InputCharQueue);
  struct Case {
    plat::UINT message;
    plat::WPARAM wParam;
    int pushed;  // -1: nothing
  };
  const Case cases[] = {
      {plat::WM_CHAR, 0x0A, 13},   {plat::WM_CHAR, 0x07, -1},   {plat::WM_CHAR, 0x10, 16},
      {plat::WM_CHAR, 0x1B, 27},   {plat::WM_CHAR, 0x08, 8},    {plat::WM_CHAR, 0x09, 9},
      {plat::WM_CHAR, 0x0D, 13},   {plat::WM_CHAR, 0x1F, -1},   {plat::WM_CHAR, 'a', 'a'},
      {plat::WM_CHAR, 0x182, 0x82}, {plat::WM_KEYDOWN, plat::VK_DELETE, 16}, {plat::WM_KEYDOWN, plat::VK_LEFT, 29},
      {plat::WM_KEYDOWN, plat::VK_RIGHT, 28}, {plat::WM_KEYDOWN, plat::VK_UP, 30}, {plat::WM_KEYDOWN, plat::VK_DOWN, 31},
      {plat::WM_KEYDOWN, 'A', -1}, {plat::WM_KEYDOWN, plat::VK_RETURN, -1},
  };
  for (const Case& c : cases) {
    plat::SendMessageA(window_, c.message, c.wParam, 0);  // straight to the window procedure
    std::vector<int> bytes;
    while (InputCharQueue.readIndex != InputCharQueue.writeIndex) {
      bytes.push_back(InputCharQueue.data[InputCharQueue.readIndex]);
      InputCharQueue.readIndex = (InputCharQueue.readIndex + 1) % kInputCharQueueSize;
    }
    if (c.pushed < 0) {
      EXPECT_TRUE(bytes.empty()) << "message " << c.message << " wParam " << c.wParam;
    } else {
      EXPECT_EQ(bytes, std::vector<int>{c.pushed}) << "message " << c.message << " wParam " << c.wParam;
    }
  }
  // A full queue takes no key-down code.
  while (!IsInputCharQueueFull()) PushInputChar('z');
  const int write = InputCharQueue.writeIndex;
  TakeKeyDownMessage(plat::VK_DELETE);
  EXPECT_EQ(InputCharQueue.writeIndex, write);
}

TEST_F(CharQueueTest, GetStringCharCountCountsWholeCharactersUpToTheEnd) {
  struct Case {
    const char* text;
    int bytes;
    int count;
  };
  const Case cases[] = {
      {"abc", 3, 3},          {"abc", 2, 2},        {"abc", 100, 3},  {"abc", 0, 0},   {"abc", -5, 0},
      {"あいう", 6, 3},       {"あいう", 4, 2},     {"aあb", 4, 3},   {"aあb", 2, 2},  {"\x88", 5, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(GetStringCharCount(c.text, c.bytes), c.count) << c.text << " " << c.bytes;
  EXPECT_EQ(GetStringCharCount(nullptr, 5), 0);
  LibraryCharSetIndex = 2;  // every high byte leads under code page 949
  EXPECT_EQ(GetStringCharCount("\xB0\xA1\xB0\xA1", 4), 2);
  EXPECT_EQ(GetStringCharCount("\xA0\x41", 2), 1);
}

TEST_F(CharQueueTest, OnlyTheKeyDownCodesAreControlCodes) {
  for (int c = 0; c < 256; ++c) {
    const bool control = c == 16 || c == 28 || c == 29 || c == 30 || c == 31;
    EXPECT_EQ(IsKeyInputControlCode(static_cast<uint8_t>(c)), control ? 1 : 0) << c;
  }
}

}  // namespace
}  // namespace orbel
