// Key states: a host key event shows in CopyAllKeyStates by DirectInput key code and goes again on
// release; the refresh happens at most once per millisecond tick; the road without DirectInput reads the
// Win32 key state through the virtual-key table; a lost keyboard is re-acquired; the input system is
// started again on demand.
#include <gtest/gtest.h>

#include "input_fixture.h"
#include <cstdio>
#include <cstdlib>

#include "orbel/core/library.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/window_mode.h"
#include "platform/test_controls.h"
#include "orbel/input/input_state.h"
#include "orbel/input/input_system.h"
#include "platform/dinput/test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/user/user_keys.h"
#include "platform/win/user/window_messages.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

using testing::InputTest;

TEST_F(InputTest, AHostKeyReadsDownInTheSameFramesPumpAndUpAfterRelease) {
  ASSERT_EQ(Start(), 0);
  ASSERT_NE(InputSystem.keyboard, nullptr);
  plat::test::InjectKey('A', true);
  // One frame: the pump delivers the host event, then the key read sees it (same virtual millisecond).
  const uint32_t before = plat::timeGetTime();
  std::vector<uint8_t> keys = ReadKeys();
  EXPECT_EQ(keys[0x1E], 1);
  EXPECT_EQ(plat::timeGetTime() - before, 0u) << "within one virtual millisecond";
  plat::test::InjectKey('A', false);
  keys = ReadKeys();
  EXPECT_EQ(keys[0x1E], 0);
  for (int i = 0; i < 256; ++i) EXPECT_LE(keys[i], 1) << i;
}

TEST_F(InputTest, KeysAreReadByTheirDirectInputCodes) {
  ASSERT_EQ(Start(), 0);
  struct Case {
    plat::UINT vk;
    int code;
  };
  const Case cases[] = {
      {'Z', 0x2C},           {'1', 0x02},         {'0', 0x0B},          {plat::VK_ESCAPE, 0x01},
      {plat::VK_SPACE, 0x39}, {plat::VK_RETURN, 0x1C}, {plat::VK_LEFT, 0xCB}, {plat::VK_RIGHT, 0xCD},
      {plat::VK_UP, 0xC8},    {plat::VK_DOWN, 0xD0}, {plat::VK_F12, 0x58},  {plat::VK_NUMPAD0 + 5, 0x4C},
      {plat::VK_RCONTROL, 0x9D}, {plat::VK_OEM_1, 0x92},
  };
  for (const Case& c : cases) {
    plat::test::InjectKey(c.vk, true);
    EXPECT_EQ(ReadKeys()[c.code], 1) << "vk " << c.vk;
    plat::test::InjectKey(c.vk, false);
    EXPECT_EQ(ReadKeys()[c.code], 0) << "vk " << c.vk;
  }
}

TEST_F(InputTest, TheSecondReadInOneTickNeitherReadsNorPumps) {
  ASSERT_EQ(Start(), 0);
  plat::test::UseVirtualClock(plat::timeGetTime() + 5, 0);  // readings do not move the clock
  uint8_t keys[256];
  CopyAllKeyStates(keys);
  plat::test::InjectMessage(window_, plat::WM_CHAR, 'x', 0);
  CopyAllKeyStates(keys);
  EXPECT_EQ(InputCharQueue.readIndex, InputCharQueue.writeIndex) << "the message was pumped";
  plat::test::AdvanceClock(1000);
  CopyAllKeyStates(keys);
  EXPECT_NE(InputCharQueue.readIndex, InputCharQueue.writeIndex) << "the next tick pumps again";
}

TEST_F(InputTest, AKeyboardChangeWithinTheTickIsReadAtOnce) {
  ASSERT_EQ(Start(), 0);
  plat::test::UseVirtualClock(plat::timeGetTime() + 5, 0);
  uint8_t keys[256];
  CopyAllKeyStates(keys);
  plat::test::InjectKey('S', true);
  PumpWindowMessage();  // delivers the event: the keyboard's notice is set
  CopyAllKeyStates(keys);
  EXPECT_EQ(keys[0x1F], 1);
}

TEST_F(InputTest, ALostKeyboardIsAcquiredAgainOnTheNextRead) {
  ASSERT_EQ(Start(), 0);
  plat::test::InjectKey('D', true);
  EXPECT_EQ(ReadKeys()[0x20], 1);
  plat::test::LoseKeyboard();
  plat::test::AdvanceClock(1000);
  EXPECT_EQ(ReadKeys()[0x20], 1);
  plat::test::FailDirectInputCall(plat::test::DiDeviceKind::Keyboard, plat::test::DiCall::GetDeviceState, -1,
                                  plat::DIERR_INPUTLOST);
  const uint32_t tick = InputSystem.lastUpdateTick;
  plat::test::AdvanceClock(1000);
  EXPECT_EQ(UpdateKeyboardState(), 0);
  EXPECT_EQ(InputSystem.lastUpdateTick, tick) << "a failed read keeps the last tick";
}

TEST_F(InputTest, WithoutDirectInputTheWin32KeyStateIsReadThroughTheTable) {
  plat::test::FailDirectInputCreate(7, plat::E_FAIL);
  plat::test::FailDirectInputCreate(8, plat::E_FAIL);
  plat::test::AddPad({});
  ASSERT_EQ(Start(), 0);
  EXPECT_GE(FindLine("DirectInput7 の取得中... 取得に失敗。"), 0);
  EXPECT_GE(FindLine("エラーコード 0x80004005"), 0);
  EXPECT_GE(FindLine("DirectInput8 の取得を試みます...取得に失敗。DirectInput を使用しません。"), 0);
  EXPECT_GE(FindLine("パッドの数は 1 個です"), 0);
  EXPECT_GE(FindLine("入力関連の初期化をしました"), 0);
  EXPECT_EQ(InputSystem.win32Keyboard, 1);
  EXPECT_EQ(InputSystem.padCount, 8);
  EXPECT_EQ(InputSystem.pads[0].joystickCapsFlag, 1);
  EXPECT_EQ(InputSystem.directInput, NoDirectInputMark());

  plat::test::InjectKey(plat::VK_RETURN, true);
  plat::test::InjectKey(plat::VK_LEFT, true);
  plat::test::InjectKey(plat::VK_NUMPAD0 + 2, true);
  plat::test::AdvanceClock(1000);
  const std::vector<uint8_t> keys = ReadKeys();
  EXPECT_EQ(keys[0x1C], 1);
  EXPECT_EQ(keys[0x9C], 1) << "Enter stands in two rows";
  EXPECT_EQ(keys[0xCB], 0) << "no arrows on this road";
  EXPECT_EQ(keys[0x50], 0) << "no keypad on this road";

  // The fallback sticks: after an end and a new start DirectInput is not tried again.
  plat::test::FailDirectInputCreate(7, plat::S_OK);
  plat::test::FailDirectInputCreate(8, plat::S_OK);
  EndInputSystem();
  EXPECT_GE(FindLine("入力関連の終了処理... 完了"), 0);
  EXPECT_EQ(InitInputSystem(), 0);
  EXPECT_EQ(InputSystem.win32Keyboard, 1);
  EXPECT_EQ(plat::test::LiveDirectInputObjects(), 0);
}

TEST_F(InputTest, AToggledButReleasedKeyReadsUp) {
  plat::test::FailDirectInputCreate(7, plat::E_FAIL);
  plat::test::FailDirectInputCreate(8, plat::E_FAIL);
  ASSERT_EQ(Start(), 0);
  plat::test::InjectKey(plat::VK_CAPITAL, true);
  plat::test::InjectKey(plat::VK_CAPITAL, false);  // toggle bit left set
  plat::test::AdvanceClock(1000);
  EXPECT_EQ(ReadKeys()[0x3A], 0);
  EXPECT_EQ(InputSystem.KeyStateArray[0x3A], 0x01);
}

TEST_F(InputTest, TheDirectInputRoadFallsBackToSevenThenEight) {
  plat::test::FailDirectInputCreate(7, static_cast<plat::HRESULT>(0x80040154u));
  ASSERT_EQ(Start(), 0);
  EXPECT_GE(FindLine("エラーコード 0x80040154"), 0);
  EXPECT_GE(FindLine("DirectInput8 の取得を試みます...成功"), 0);
  EXPECT_GE(FindLine("引き続き初期化処理... 初期化成功"), 0);
  EXPECT_GE(FindLine("DirectInput 関連の初期化は正常に終了しました"), 0);
  EXPECT_EQ(InputSystem.directInput8, 1);
  plat::test::InjectKey('Q', true);
  EXPECT_EQ(ReadKeys()[0x10], 1);
}

TEST_F(InputTest, AfterTheEndTheFirstReadStartsInputAndLeavesTheBufferAlone) {
  ASSERT_EQ(Start(), 0);
  EndInputSystem();
  EXPECT_GE(FindLine("DirectInput 関連の終了処理... 完了"), 0);
  EXPECT_EQ(plat::test::LiveDirectInputObjects(), 0);
  EXPECT_TRUE(plat::test::DirectInputDevices().empty());
  uint8_t keys[256];
  std::fill(std::begin(keys), std::end(keys), 0xCC);
  EXPECT_EQ(CopyAllKeyStates(keys), 0);
  EXPECT_EQ(keys[0], 0xCC);
  EXPECT_EQ(plat::test::LiveDirectInputObjects(), 1);
  EXPECT_EQ(InitInputSystem(), 0) << "a second start changes nothing";
  EXPECT_EQ(plat::test::LiveDirectInputObjects(), 1);
}

TEST_F(InputTest, AFailedKeyboardNoticeReturnsOneAndLeavesNothingBehind) {
  ASSERT_EQ(Start(), 0);
  EndInputSystem();
  plat::test::FailDirectInputCall(plat::test::DiDeviceKind::Keyboard, plat::test::DiCall::SetEventNotification);
  ASSERT_EQ(CopyAllKeyStates(nullptr), 1);
  EXPECT_GE(FindLine("キーボードデバイスの初期化... キーボードイベントのセットアップが失敗しました"), 0);
  EXPECT_EQ(InputSystem.keyboardEvent, nullptr);
  EXPECT_EQ(InputSystem.KeyToPadButtonTable[0][12].key[0], 0x01) << "the pad defaults are still written";
  plat::test::InjectKey('W', true);
  plat::test::AdvanceClock(1000);
  EXPECT_EQ(ReadKeys()[0x11], 1) << "the first read acquires the keyboard";
}

TEST_F(InputTest, TheKeyboardFollowsActivation) {
  ASSERT_EQ(Start(), 0);
  plat::test::InjectKey('E', true);
  EXPECT_EQ(ReadKeys()[0x12], 1);
  plat::test::InjectFocus(false);
  plat::test::InjectFocus(true);
  plat::test::InjectKey('E', false);
  plat::test::AdvanceClock(1000);
  EXPECT_EQ(ReadKeys()[0x12], 0);
  plat::test::InjectKey('R', true);
  EXPECT_EQ(ReadKeys()[0x13], 1) << "the keyboard was acquired again";
  for (const auto& d : plat::test::DirectInputDevices()) {
    if (d.kind == plat::test::DiDeviceKind::Keyboard) {
      EXPECT_TRUE(d.acquired);
    }
  }
}

}  // namespace
}  // namespace orbel

namespace orbel {
namespace {

// Device set-up failures after DirectInput was had end the process with their message.
TEST(InputStartupDeath, ADeviceThatCannotBeSetUpEndsTheProcessWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child writes its log into the parent's directory
  struct Case {
    plat::test::DiDeviceKind kind;
    plat::test::DiCall call;
    const char* message;
  };
  const Case cases[] = {
      {plat::test::DiDeviceKind::Mouse, plat::test::DiCall::CreateDevice, "マウスデバイスの取得に失敗しました"},
      {plat::test::DiDeviceKind::Keyboard, plat::test::DiCall::SetCooperativeLevel,
       "キーボードデバイスの協調レベルの設定に失敗しました"},
      {plat::test::DiDeviceKind::Keyboard, plat::test::DiCall::Acquire, "キーボードデバイスの取得に失敗しました"},
  };
  for (const Case& c : cases) {
    testing::ScopedWorkDir work;
    EXPECT_EXIT(
        {
          plat::test::UseVirtualClock();
          plat::test::Reset();
          plat::test::FailDirectInputCall(c.kind, c.call, 2);
          ChangeWindowMode(1);
          InitLibrarySystem();
          std::exit(0);
        },
        ::testing::ExitedWithCode(255), "")
        << c.message;
    const std::string log = testing::ReadFileText(work.path() / "Log.txt");
    EXPECT_NE(log.find(std::string(c.message) + "\r\n"), std::string::npos) << c.message;
  }
}

}  // namespace
}  // namespace orbel
