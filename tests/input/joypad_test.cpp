// Pads through the input system: enumeration with its log lines, ranges, dead zones and effects; the
// eight-pad limit; set-up failures; access on activation changes; vibration with power and duration;
// and a pad pulled out while in use.
#include <gtest/gtest.h>

#include "input_fixture.h"
#include "orbel/core/library_state.h"
#include "orbel/core/main_window.h"
#include "orbel/core/message_pump.h"
#include "orbel/input/input_state.h"
#include "orbel/input/input_system.h"
#include "platform/dinput/test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/user/window_test_controls.h"

namespace orbel {
namespace {

using plat::test::DiCall;
using plat::test::DiDeviceKind;

class JoypadTest : public testing::InputTest {
 protected:
  std::vector<plat::test::DiDeviceSnapshot> Pads() const {
    std::vector<plat::test::DiDeviceSnapshot> pads;
    for (const auto& d : plat::test::DirectInputDevices()) {
      if (d.kind == DiDeviceKind::Pad) pads.push_back(d);
    }
    return pads;
  }
  // Vibration as a game would switch it on: the record's settings, then the next pump pass.
  void Vibrate(int pad, int power, int durationMs) {
    JoypadRecord& record = InputSystem.pads[pad];
    record.vibrationOn = 1;
    record.vibrationPower = power;
    record.vibrationDuration = durationMs;
    record.vibrationElapsed = 0;
    record.vibrationLastTime = plat::timeGetTime();
    ProcessJoypadVibration();
  }
};

TEST_F(JoypadTest, APadIsEnumeratedWithItsLogLinesRangesAndDeadZones) {
  plat::test::PadSpec spec;
  spec.name = "テストパッド";
  plat::test::AddPad(spec);
  ASSERT_EQ(Start(), 0);
  ASSERT_EQ(InputSystem.padCount, 1);
  const int first = FindLine("ジョイパッドの初期化... ");
  ASSERT_GE(first, 0);
  const char* expected[] = {
      "入力装置を見つけました",
      "デバイスの登録名:テストパッド",
      "デバイスの製品登録名:テストパッド",
      "ジョイパッドの追加は正常に終了しました",
      "ジョイパッドの初期化は正常に終了しました",
  };
  int at = first;
  for (const char* line : expected) {
    const int found = FindLine(line, at);
    EXPECT_EQ(found, at + 1) << line;
    at = found;
  }
  const auto pads = Pads();
  ASSERT_EQ(pads.size(), 1u);
  EXPECT_EQ(pads[0].dataSize, 80u);
  EXPECT_EQ(pads[0].cooperativeLevel, 5u);
  EXPECT_TRUE(pads[0].acquired);
  EXPECT_TRUE(pads[0].hasEvent);
  for (int axis : {0, 1, 2, 5}) {
    EXPECT_EQ(pads[0].rangeMin[axis], -1000) << axis;
    EXPECT_EQ(pads[0].rangeMax[axis], 1000) << axis;
    EXPECT_EQ(pads[0].deadZone[axis], 2500u) << axis;
  }
  EXPECT_EQ(pads[0].deadZone[3], 0u) << "Rx is left alone";
  EXPECT_STREQ(InputSystem.pads[0].productName, "テストパッド");
  EXPECT_DOUBLE_EQ(InputSystem.pads[0].deadZone, 0.25);
  EXPECT_EQ(InputSystem.pads[0].vibrationPower, 10000);

  const auto effects = plat::test::DirectInputEffects();
  ASSERT_EQ(effects.size(), 2u);
  for (const auto& e : effects) {
    EXPECT_EQ(e.parameters.dwDuration, plat::INFINITE);
    EXPECT_EQ(e.parameters.dwGain, 10000u);
    EXPECT_EQ(e.parameters.dwTriggerButton, plat::DIEB_NOTRIGGER);
    EXPECT_EQ(e.parameters.cAxes, 2u);
    if (e.constantForce) {
      EXPECT_EQ(e.parameters.dwFlags, 0x12u);
      EXPECT_EQ(e.magnitude, 10000);
      EXPECT_FALSE(e.hasEnvelope);
    } else {
      EXPECT_EQ(e.parameters.dwFlags, 0x22u);
      EXPECT_EQ(e.periodic.dwPeriod, 1500000u);
      EXPECT_EQ(e.envelope.dwAttackTime, 500000u);
      EXPECT_EQ(e.envelope.dwFadeTime, 1000000u);
    }
  }
}

TEST_F(JoypadTest, APadWithoutZOrRzIsStillAddedAndANinthIsNot) {
  plat::test::PadSpec plain;
  plain.name = "Plain";
  plain.hasZ = false;
  plain.hasR = false;
  plat::test::AddPad(plain);
  for (int i = 0; i < 8; ++i) {
    plat::test::PadSpec spec;
    spec.identity = "pad" + std::to_string(i);
    plat::test::AddPad(spec);
  }
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(InputSystem.padCount, 8);
  EXPECT_EQ(Pads().size(), 8u);
  EXPECT_STREQ(InputSystem.pads[0].productName, "Plain");
}

TEST_F(JoypadTest, ASetUpFailureSkipsThatPadWithItsLine) {
  struct Case {
    DiCall call;
    int property;
    int offset;
    const char* line;
  };
  const Case cases[] = {
      {DiCall::SetDataFormat, 0, -1, "ジョイパッドデバイスではありませんでした、又は設定に失敗しました"},
      {DiCall::SetCooperativeLevel, 0, -1, "ジョイパッドデバイスの協調レベルの設定に失敗しました"},
      {DiCall::SetProperty, plat::DIPROP_RANGE, 0, "ジョイパッドデバイスのＸ軸関係の設定に失敗しました"},
      {DiCall::SetProperty, plat::DIPROP_RANGE, 4, "ジョイパッドデバイスのＹ軸関係の設定に失敗しました"},
      {DiCall::SetProperty, plat::DIPROP_DEADZONE, 0, "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました"},
      {DiCall::SetProperty, plat::DIPROP_DEADZONE, 4, "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました"},
      {DiCall::SetEventNotification, 0, -1, "ジョイパッドイベントのセットアップが失敗しました"},
      {DiCall::CreateDevice, 0, -1, "入力装置の取得に失敗しました"},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    plat::test::AddPad({});
    plat::test::FailDirectInputCall(DiDeviceKind::Pad, c.call, 1, plat::DIERR_GENERIC, c.property, c.offset);
    ASSERT_EQ(Start(), 0) << c.line;
    EXPECT_EQ(InputSystem.padCount, 0) << c.line;
    EXPECT_GE(FindLine(c.line), 0) << c.line;
    EXPECT_TRUE(Pads().empty()) << c.line;
    EXPECT_TRUE(plat::test::DirectInputEffects().empty()) << c.line;
  }
}

TEST_F(JoypadTest, AFailedConstantForceIsLoggedAndThePadKept) {
  plat::test::AddPad({});
  plat::test::FailDirectInputCall(DiDeviceKind::Pad, DiCall::CreateEffect, -1);
  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(InputSystem.padCount, 1);
  EXPECT_GE(FindLine("周期的エフェクトの作成に失敗しました。"), 0);
  EXPECT_EQ(InputSystem.pads[0].constantEffect, nullptr);
  Vibrate(0, 10000, -1);  // nothing to play: no crash, nothing started
  EXPECT_TRUE(plat::test::DirectInputEffects().empty());
}

TEST_F(JoypadTest, PadsTakeSharedAccessWhileInactiveAndExclusiveWhenActive) {
  plat::test::AddPad({});
  ASSERT_EQ(Start(), 0);
  gWindow.active = 0;
  EXPECT_EQ(ReacquireInputDevices(), 0);
  EXPECT_EQ(Pads()[0].cooperativeLevel, 0x0Au);
  EXPECT_TRUE(Pads()[0].acquired);
  gWindow.active = 1;
  ReacquireInputDevices();
  EXPECT_EQ(Pads()[0].cooperativeLevel, 5u);
  EXPECT_TRUE(Pads()[0].acquired);
}

TEST_F(JoypadTest, VibrationFollowsPowerActivityAndDuration) {
  const int host = plat::test::AddPad({});
  ASSERT_EQ(Start(), 0);
  auto playing = [](bool constant) {
    for (const auto& e : plat::test::DirectInputEffects()) {
      if (e.constantForce == constant) return e.playing;
    }
    return false;
  };
  Vibrate(0, 5000, -1);
  EXPECT_TRUE(playing(true));
  EXPECT_FALSE(playing(false)) << "power 5000 plays only the constant force";
  EXPECT_EQ(plat::test::GetPadRumble(host).low, 65535);
  EXPECT_EQ(plat::test::GetPadRumble(host).high, 0);
  InputSystem.pads[0].vibrationPower = 5001;
  ProcessJoypadVibration();
  EXPECT_TRUE(playing(false)) << "5001 plays both";
  EXPECT_EQ(plat::test::GetPadRumble(host).high, 65535);

  // In the background nothing plays; activation starts it again.
  gWindow.active = 0;
  ApplyJoypadVibration();
  EXPECT_FALSE(playing(true));
  EXPECT_FALSE(playing(false));
  EXPECT_EQ(plat::test::GetPadRumble(host).low, 0);
  EXPECT_EQ(InputSystem.pads[0].vibrationOn, 1);
  gWindow.active = 1;
  ApplyJoypadVibration();
  EXPECT_TRUE(playing(true));
  EXPECT_TRUE(playing(false));

  // A duration runs out on the clock: 100 ms.
  Vibrate(0, 10000, 100);
  plat::test::AdvanceClock(60 * 1000);
  ProcessJoypadVibration();
  EXPECT_TRUE(playing(true));
  plat::test::AdvanceClock(40 * 1000);
  ProcessJoypadVibration();
  EXPECT_FALSE(playing(true));
  EXPECT_EQ(InputSystem.pads[0].vibrationOn, 0);
  EXPECT_EQ(plat::test::GetPadRumble(host).low, 0);

  // Zero stops at the next millisecond.
  Vibrate(0, 10000, 0);
  EXPECT_TRUE(playing(true));
  plat::test::AdvanceClock(1000);
  ProcessJoypadVibration();
  EXPECT_FALSE(playing(true));

  // A clock that went back adds nothing.
  Vibrate(0, 10000, 50);
  InputSystem.pads[0].vibrationLastTime = plat::timeGetTime() + 100000;
  ProcessJoypadVibration();
  EXPECT_EQ(InputSystem.pads[0].vibrationElapsed, 0);
  EXPECT_TRUE(playing(true));
}

TEST_F(JoypadTest, StopPadVibrationActsOnPadsOneToEightOnly) {
  plat::test::AddPad({});
  ASSERT_EQ(Start(), 0);
  for (int input : {0, 2, 9}) {
    Vibrate(0, 10000, -1);
    EXPECT_EQ(StopPadVibration(input), 0);
    EXPECT_EQ(InputSystem.pads[0].vibrationOn, 1) << input;
  }
  EXPECT_EQ(StopPadVibration(0x1001), 0);
  EXPECT_EQ(InputSystem.pads[0].vibrationOn, 0);
  EXPECT_EQ(InputSystem.pads[0].constantPlaying, 0);
}

TEST_F(JoypadTest, APadPulledOutReadsReleasedAndIsFoundAgainWhenPluggedBackIn) {
  plat::test::PadSpec spec;
  spec.identity = "usb-1";
  const int host = plat::test::AddPad(spec);
  ASSERT_EQ(Start(), 0);
  plat::IDirectInputDevice7A* device = InputSystem.pads[0].device;
  ASSERT_NE(device, nullptr);
  plat::test::SetPadButton(host, 3, true);
  plat::test::SetPadAxis(host, 0, 32767);
  plat::DIJOYSTATE state{};
  ASSERT_EQ(device->GetDeviceState(sizeof state, &state), plat::DI_OK);
  EXPECT_EQ(state.rgbButtons[3], 0x80);
  EXPECT_EQ(state.lX, 1000);
  Vibrate(0, 10000, -1);
  EXPECT_EQ(plat::test::GetPadRumble(host).low, 65535);

  plat::test::RemovePad(host);
  EXPECT_EQ(device->GetDeviceState(sizeof state, &state), plat::DIERR_INPUTLOST);
  EXPECT_EQ(state.rgbButtons[3], 0) << "released, not stale";
  EXPECT_EQ(state.lX, 0);
  EXPECT_EQ(state.rgdwPOV[0], 0xFFFFFFFFu);
  ProcessJoypadVibration();  // starting effects on a missing pad fails quietly
  EXPECT_EQ(device->Acquire(), plat::DIERR_INPUTLOST);

  const int again = plat::test::AddPad(spec);
  EXPECT_EQ(device->GetDeviceState(sizeof state, &state), plat::DIERR_INPUTLOST) << "until acquired again";
  ASSERT_EQ(device->Acquire(), plat::DI_OK);
  plat::test::SetPadButton(again, 1, true);
  ASSERT_EQ(device->GetDeviceState(sizeof state, &state), plat::DI_OK);
  EXPECT_EQ(state.rgbButtons[1], 0x80);
  EXPECT_EQ(state.rgbButtons[3], 0);
  // The next start enumerates it under the same instance.
  EndInputSystem();
  EXPECT_EQ(InitInputSystem(), 0);
  EXPECT_EQ(InputSystem.padCount, 1);
}

}  // namespace
}  // namespace orbel
