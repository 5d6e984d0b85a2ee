// Key-input handles: the editing step over the queue (cursor moves, back space, delete, insertion with
// the length limit, restrictions, Enter and Escape), whole Shift-JIS characters on every step, the
// composition trim, and deletion switching the IME off.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "input_fixture.h"
#include "orbel/core/library_state.h"
#include "orbel/input/input_system.h"
#include "orbel/input/key_input.h"
#include "platform/imm/test_controls.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

constexpr char kBack = 8, kEnter = 13, kDelete = 16, kEscape = 27, kRight = 28, kLeft = 29;

class KeyInputTest : public testing::InputTest {
 protected:
  void SetUp() override {
    InputTest::SetUp();
    ASSERT_EQ(Start(), 0);
    LibraryCharSetIndex = 1;
  }
  int Make(int maxLength, int cancel = 0, int single = 0, int digits = 0) {
    const int handle = MakeKeyInputHandle(maxLength, cancel, single, digits);
    EXPECT_NE(handle, -1);
    EXPECT_EQ(SetActiveKeyInputHandle(handle), 0);
    return handle;
  }
  // Queues the bytes, then runs one editing step.
  void Type(const std::string& bytes) {
    for (char c : bytes) PushInputChar(static_cast<uint8_t>(c));
    ProcessActiveKeyInput();
  }
  static std::string Text(int handle) { return GetKeyInputRecord(handle)->buffer; }
  static int Cursor(int handle) { return GetKeyInputRecord(handle)->cursor; }
};

TEST_F(KeyInputTest, EditingFollowsTheControlCodes) {
  struct Case {
    int maxLength;
    int digitsOnly;
    std::string keys;
    std::string text;
    int cursor;
  };
  const Case cases[] = {
      {10, 0, std::string("abc") + kLeft + kLeft + kBack, "bc", 0},
      {4, 0, std::string("abcd") + kLeft + kLeft + "x", "abxc", 3},
      {10, 1, "-12", "-12", 3},
      {10, 1, std::string("1-2a"), "12", 2},
      {10, 0, std::string("abc") + kLeft + kLeft + kDelete, "ac", 1},
      {10, 0, std::string("ab") + kRight + kRight + kDelete + kBack + kBack + kBack, "", 0},
      {10, 0, std::string("ab") + '\t' + char{30} + char{31}, "ab", 2},
      {3, 0, "abcdef", "abf", 3},
  };
  for (const Case& c : cases) {
    const int handle = Make(c.maxLength, 0, 0, c.digitsOnly);
    Type(c.keys);
    EXPECT_EQ(Text(handle), c.text) << c.text;
    EXPECT_EQ(Cursor(handle), c.cursor) << c.text;
    EXPECT_EQ(static_cast<int>(std::strlen(GetKeyInputRecord(handle)->buffer)), GetKeyInputRecord(handle)->length);
    DeleteKeyInputHandle(handle);
  }
}

TEST_F(KeyInputTest, BackSpaceAndLeftStepOverWholeShiftJisCharacters) {
  // 一 is 88 EA: its trail byte is itself a lead byte value.
  const int handle = Make(20);
  Type("一a");
  Type(std::string(1, kBack));
  EXPECT_EQ(Text(handle), "一");
  Type("a");
  Type(std::string(1, kLeft));
  EXPECT_EQ(Cursor(handle), 2);
  Type(std::string(1, kLeft));
  EXPECT_EQ(Cursor(handle), 0);
  Type(std::string(1, kRight));
  EXPECT_EQ(Cursor(handle), 2);
  Type(std::string(1, kBack));
  EXPECT_EQ(Text(handle), "a");
  EXPECT_EQ(Cursor(handle), 0);
  // 一院 (88 EA 89 40) typed at the start: the byte two before the cursor (EA) looks like a lead byte.
  Type("一院");
  Type(std::string(1, kBack));
  EXPECT_EQ(Text(handle), "一a");
  Type(std::string(1, kBack));
  EXPECT_EQ(Text(handle), "a");
}

TEST_F(KeyInputTest, TextNeverOutgrowsItsBufferAndSingleByteHandlesRefusePairs) {
  const int handle = Make(5);
  Type("あいう");
  EXPECT_EQ(Text(handle), "あう") << "whole characters are dropped from the end to make room";
  Type("xy");
  EXPECT_EQ(Text(handle), "あうy");
  EXPECT_LE(GetKeyInputRecord(handle)->length, 5);
  const int single = Make(10, 0, 1);
  Type("aあb");
  EXPECT_EQ(Text(single), "ab");
  const int empty = Make(1);
  Type("あ");
  EXPECT_EQ(Text(empty), "") << "a character that can never fit is dropped";
}

TEST_F(KeyInputTest, EnterEndsAndLeavesLaterCharactersQueued) {
  const int handle = Make(10);
  Type(std::string("ab") + kEnter + "cd");
  EXPECT_EQ(GetKeyInputRecord(handle)->ended, 1);
  EXPECT_EQ(Text(handle), "ab");
  char c[2];
  EXPECT_EQ(PopInputChar(c, 1), 1);
  EXPECT_EQ(c[0], 'c');
}

TEST_F(KeyInputTest, EscapeCancelsOnlyWhenAllowed) {
  const int plain = Make(10);
  Type(std::string(1, kEscape));
  EXPECT_EQ(GetKeyInputRecord(plain)->ended, 0);
  const int cancellable = Make(10, 1);
  Type(std::string(1, kEscape));
  EXPECT_EQ(GetKeyInputRecord(cancellable)->cancelled, 1);
  EXPECT_EQ(GetKeyInputRecord(cancellable)->ended, 1);
}

TEST_F(KeyInputTest, TheCompositionIsCutToTheRoomLeft) {
  const int handle = Make(6);
  Type("ab");
  TextInput.limitCompositionToRoom = 1;
  std::strcpy(TextInput.composition, "かんじ");
  plat::test::SetImeComposition("かんじ", 6);
  ProcessActiveKeyInput();
  EXPECT_EQ(plat::test::ImeCompositionText(), "かん") << "4 bytes of room, whole characters";
  EXPECT_EQ(plat::test::OutstandingImeContexts(), 0);
  TextInput.limitCompositionToRoom = 0;
  TextInput.maxCompositionLength = 3;
  std::strcpy(TextInput.composition, "かん");
  ProcessActiveKeyInput();
  EXPECT_EQ(plat::test::ImeCompositionText(), "か");
  EXPECT_EQ(Text(handle), "ab");
}

TEST_F(KeyInputTest, HandlesAreCheckedAndDeletingTheLastSwitchesTheImeOff) {
  const int first = Make(4);
  const int second = Make(4);
  SetImeEnable(1);
  EXPECT_EQ(DeleteKeyInputHandle(second), 0);
  EXPECT_EQ(TextInput.activeKeyInput, -1);
  EXPECT_EQ(DeleteKeyInputHandle(second), -1) << "stale";
  EXPECT_EQ(InputImeState.enabled, 1);
  EXPECT_EQ(DeleteKeyInputHandle(first), 0);
  EXPECT_EQ(InputImeState.enabled, 0);
  EXPECT_FALSE(plat::test::ImeEnabled());
  EXPECT_EQ(DeleteKeyInputHandle(0x50000000 | 300), -1);
  EXPECT_EQ(DeleteKeyInputHandle(-1), -1);

  // A handle that went stale under the service: -1 and the queue untouched.
  const int third = Make(4);
  TextInput.keyInputs[third & 0xFFFF].check ^= 1;
  PushInputChar('z');
  EXPECT_EQ(ProcessActiveKeyInput(), -1);
  char c[2];
  EXPECT_EQ(PopInputChar(c, 0), 1);
  TextInput.keyInputs[third & 0xFFFF].check ^= 1;
  EXPECT_EQ(DeleteAllKeyInputHandles(), 0u);
  EXPECT_EQ(GetKeyInputRecord(third), nullptr);
}

}  // namespace
}  // namespace orbel
