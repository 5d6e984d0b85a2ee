// Pads: enumeration and set-up through DirectInput (up to eight, ranges -1000..1000, a dead zone, a
// constant-force and a sine effect each), release, the vibration services the pump and the window
// procedure run, and the default keyboard-to-pad assignment.
// Depends on: core (log, main window, pump, clock), platform/dinput.
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/message_pump.h"
#include "orbel/input/input_state.h"
#include "orbel/input/input_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/sync.h"

namespace orbel {

namespace {

constexpr plat::DWORD kPadAccess = plat::DISCL_EXCLUSIVE | plat::DISCL_FOREGROUND;
constexpr plat::LONG kAxisRange = 1000;
constexpr plat::DWORD kDeadZone = 2500;  // of 10000
constexpr int kFullPower = 10000;
constexpr int kSinePowerThreshold = 5000;

bool NotInUseForVibration() {
  return InputSystem.directInput == NoDirectInputMark() ||
         (InputSystem.directInput == nullptr && GetWindowCloseFlag() == 0);
}

plat::HRESULT SetAxisRange(plat::IDirectInputDevice7A* device, plat::DWORD offset) {
  plat::DIPROPRANGE range = {};
  range.diph.dwSize = sizeof range;
  range.diph.dwHeaderSize = sizeof range.diph;
  range.diph.dwObj = offset;
  range.diph.dwHow = plat::DIPH_BYOFFSET;
  range.lMin = -kAxisRange;
  range.lMax = kAxisRange;
  return device->SetProperty(plat::DIPROP_RANGE, &range.diph);
}

plat::HRESULT SetAxisDeadZone(plat::IDirectInputDevice7A* device, plat::DWORD offset) {
  plat::DIPROPDWORD zone = {};
  zone.diph.dwSize = sizeof zone;
  zone.diph.dwHeaderSize = sizeof zone.diph;
  zone.diph.dwObj = offset;
  zone.diph.dwHow = plat::DIPH_BYOFFSET;
  zone.dwData = kDeadZone;
  return device->SetProperty(plat::DIPROP_DEADZONE, &zone.diph);
}

// The checked settings of a new pad; the failing step's message, or null.
const char* ConfigurePad(plat::IDirectInputDevice7A* device) {
  if (plat::FAILED(device->SetDataFormat(&plat::c_dfDIJoystick)))
    return "ジョイパッドデバイスではありませんでした、又は設定に失敗しました\n";
  if (plat::FAILED(device->SetCooperativeLevel(GetMainWindowHandle(), kPadAccess)))
    return "ジョイパッドデバイスの協調レベルの設定に失敗しました\n";
  if (plat::FAILED(SetAxisRange(device, plat::DIJOFS_X))) return "ジョイパッドデバイスのＸ軸関係の設定に失敗しました\n";
  // Pads without Z or Rz refuse these; that does not matter.
  SetAxisRange(device, plat::DIJOFS_Z);
  SetAxisRange(device, plat::DIJOFS_RZ);
  if (plat::FAILED(SetAxisRange(device, plat::DIJOFS_Y))) return "ジョイパッドデバイスのＹ軸関係の設定に失敗しました\n";
  SetAxisRange(device, plat::DIJOFS_Z);
  SetAxisRange(device, plat::DIJOFS_RZ);
  if (plat::FAILED(SetAxisDeadZone(device, plat::DIJOFS_X)))
    return "ジョイパッドデバイスのＸ軸の無効ゾーンの設定に失敗しました\n";
  SetAxisDeadZone(device, plat::DIJOFS_Z);
  SetAxisDeadZone(device, plat::DIJOFS_RZ);
  if (plat::FAILED(SetAxisDeadZone(device, plat::DIJOFS_Y)))
    return "ジョイパッドデバイスのＹ軸の無効ゾーンの設定に失敗しました\n";
  SetAxisDeadZone(device, plat::DIJOFS_Z);
  SetAxisDeadZone(device, plat::DIJOFS_RZ);
  return nullptr;
}

// Both effects; a failed creation leaves its pointer null.
void CreatePadEffects(JoypadRecord& pad) {
  plat::DWORD axes[2] = {plat::DIJOFS_X, plat::DIJOFS_Y};
  plat::LONG directions[2] = {0, 0};
  plat::DIEFFECT effect = {};
  effect.dwSize = sizeof effect;
  effect.dwDuration = plat::INFINITE;
  effect.dwSamplePeriod = 0;
  effect.dwGain = plat::DI_FFNOMINALMAX;
  effect.dwTriggerButton = plat::DIEB_NOTRIGGER;
  effect.dwTriggerRepeatInterval = 0;
  effect.cAxes = 2;
  effect.rgdwAxes = axes;
  effect.rglDirection = directions;
  effect.dwStartDelay = 0;

  plat::DIENVELOPE envelope = {sizeof(plat::DIENVELOPE), 0, 500000, 0, 1000000};
  plat::DIPERIODIC periodic = {plat::DI_FFNOMINALMAX, 0, 0, 1500000};
  effect.dwFlags = plat::DIEFF_POLAR | plat::DIEFF_OBJECTOFFSETS;
  effect.lpEnvelope = &envelope;
  effect.cbTypeSpecificParams = sizeof periodic;
  effect.lpvTypeSpecificParams = &periodic;
  pad.sineEffect = nullptr;
  pad.device->CreateEffect(plat::GUID_Sine, &effect, &pad.sineEffect, nullptr);

  plat::DICONSTANTFORCE constant = {plat::DI_FFNOMINALMAX};
  effect.dwFlags = plat::DIEFF_CARTESIAN | plat::DIEFF_OBJECTOFFSETS;
  effect.lpEnvelope = nullptr;
  effect.cbTypeSpecificParams = sizeof constant;
  effect.lpvTypeSpecificParams = &constant;
  pad.constantEffect = nullptr;
  if (plat::FAILED(pad.device->CreateEffect(plat::GUID_ConstantForce, &effect, &pad.constantEffect, nullptr))) {
    pad.constantEffect = nullptr;
    LogAdd("周期的エフェクトの作成に失敗しました。\n");
  }
}

void ReleaseEffect(plat::IDirectInputEffect** effect, bool stop) {
  if (*effect == nullptr) return;
  if (stop) (*effect)->Stop();
  (*effect)->Release();
  *effect = nullptr;
}

plat::BOOL EnumJoypadCallback(const plat::DIDEVICEINSTANCEA* instance, void*) {
  JoypadRecord& pad = InputSystem.pads[InputSystem.padCount];
  LogAdd("入力装置を見つけました\n");
  plat::IDirectInputDevice7A* device = nullptr;
  plat::HRESULT created;
  if (InputSystem.directInput8) {
    created = static_cast<plat::IDirectInput8A*>(InputSystem.directInput)->CreateDevice(instance->guidInstance, &device,
                                                                                          nullptr);
  } else {
    void* out = nullptr;
    created = static_cast<plat::IDirectInput7A*>(InputSystem.directInput)
                  ->CreateDeviceEx(instance->guidInstance, plat::IID_IDirectInputDevice7A, &out, nullptr);
    device = static_cast<plat::IDirectInputDevice7A*>(out);
  }
  if (plat::FAILED(created) || device == nullptr) {
    LogAdd("入力装置の取得に失敗しました\n");
    return plat::DIENUM_CONTINUE;
  }

  plat::DIDEVICEINSTANCEA info = {};
  info.dwSize = sizeof info;
  device->GetDeviceInfo(&info);
  std::memcpy(pad.instanceName, info.tszInstanceName, sizeof pad.instanceName);
  std::memcpy(pad.productName, info.tszProductName, sizeof pad.productName);
  pad.instanceName[sizeof pad.instanceName - 1] = '\0';
  pad.productName[sizeof pad.productName - 1] = '\0';
  LogTabAdd();
  LogFmtAdd("デバイスの登録名:%s", pad.instanceName);
  LogFmtAdd("デバイスの製品登録名:%s", pad.productName);
  LogTabSub();

  if (const char* failure = ConfigurePad(device)) {
    device->Release();
    LogAdd(failure);
    return plat::DIENUM_CONTINUE;
  }

  pad.device = device;
  CreatePadEffects(pad);
  pad.vibrationOn = 0;
  pad.vibrationPower = kFullPower;
  pad.constantPlaying = 0;
  pad.sinePlaying = 0;

  const plat::HANDLE event = plat::CreateEventA(nullptr, plat::TRUE, plat::FALSE, nullptr);
  const plat::HRESULT notice = event != nullptr ? device->SetEventNotification(event) : plat::DIERR_GENERIC;
  if (notice != plat::DI_OK && notice != plat::DI_POLLEDDEVICE) {
    LogAdd("ジョイパッドイベントのセットアップが失敗しました\n");
    ReleaseEffect(&pad.constantEffect, false);
    ReleaseEffect(&pad.sineEffect, false);
    device->Release();
    if (event != nullptr) plat::CloseHandle(event);
    std::memset(&pad, 0, sizeof pad);
    return plat::DIENUM_CONTINUE;
  }

  device->Acquire();
  pad.deadZone = 0.25;
  pad.event = event;
  std::memset(&pad.lastState, 0, sizeof pad.lastState);
  ++InputSystem.padCount;
  LogAdd("ジョイパッドの追加は正常に終了しました\n");
  return InputSystem.padCount < kJoypadMax ? plat::DIENUM_CONTINUE : plat::DIENUM_STOP;
}

}  // namespace

int InitJoypads() {
  if (!IsDirectInputInUse()) return -1;
  ReleaseAllJoypads();
  LogAdd("ジョイパッドの初期化... \n");
  InputSystem.padCount = 0;
  InputSystem.directInput->EnumDevices(plat::DIDEVTYPE_JOYSTICK, &EnumJoypadCallback, nullptr,
                                       plat::DIEDFL_ATTACHEDONLY);
  LogAdd("ジョイパッドの初期化は正常に終了しました\n");
  return 0;
}

int ReleaseAllJoypads() {
  if (!IsDirectInputInUse()) return -1;
  for (int i = 0; i < InputSystem.padCount; ++i) {
    JoypadRecord& pad = InputSystem.pads[i];
    if (pad.device != nullptr) {
      pad.device->Unacquire();
      pad.device->SetEventNotification(nullptr);
      ReleaseEffect(&pad.constantEffect, true);
      ReleaseEffect(&pad.sineEffect, true);
      pad.device->Release();
      pad.device = nullptr;
    }
    if (pad.event != nullptr) plat::CloseHandle(pad.event);
    std::memset(&pad, 0, sizeof pad);
  }
  InputSystem.padCount = 0;
  return 0;
}

int ApplyJoypadVibration() {
  if (NotInUseForVibration()) return 0;
  const bool active = GetActiveFlag() == 1;
  for (int i = 0; i < InputSystem.padCount; ++i) {
    JoypadRecord& pad = InputSystem.pads[i];
    if (pad.device == nullptr) continue;
    if (!active) {
      // In the background nothing plays; the settings stay, so activation starts them again.
      if (pad.constantEffect != nullptr && pad.constantPlaying) pad.constantEffect->Stop();
      if (pad.sineEffect != nullptr && pad.sinePlaying) pad.sineEffect->Stop();
      pad.constantPlaying = 0;
      pad.sinePlaying = 0;
      continue;
    }
    if (pad.constantEffect != nullptr && pad.constantPlaying != pad.vibrationOn) {
      if (pad.vibrationOn == 1) {
        pad.constantEffect->Start(1, 0);
      } else {
        pad.constantEffect->Stop();
      }
      pad.constantPlaying = pad.vibrationOn;
    }
    const int wantSine = pad.vibrationOn == 1 && pad.vibrationPower > kSinePowerThreshold ? 1 : 0;
    if (pad.sineEffect != nullptr && pad.sinePlaying != wantSine) {
      if (wantSine) {
        pad.sineEffect->Start(1, 0);
      } else {
        pad.sineEffect->Stop();
      }
      pad.sinePlaying = wantSine;
    }
  }
  return 0;
}

int ProcessJoypadVibration() {
  if (NotInUseForVibration()) return 0;
  const uint32_t now = plat::timeGetTime();
  for (int i = 0; i < InputSystem.padCount; ++i) {
    JoypadRecord& pad = InputSystem.pads[i];
    if (!pad.vibrationOn || pad.device == nullptr || pad.vibrationDuration < 0) continue;
    if (now == pad.vibrationLastTime) continue;
    // A clock that went back restarts the countdown from now rather than adding a huge span.
    if (static_cast<int32_t>(now - pad.vibrationLastTime) < 0) pad.vibrationLastTime = now;
    pad.vibrationElapsed += static_cast<int>(now - pad.vibrationLastTime);
    pad.vibrationLastTime = now;
    if (pad.vibrationElapsed >= pad.vibrationDuration) StopPadVibration(i + 1);
  }
  ApplyJoypadVibration();
  return 0;
}

int StopPadVibration(int input) {
  const int index = (input & ~0x1000) - 1;
  WaitWhileInactive();
  if (InputSystem.directInput == nullptr && GetWindowCloseFlag() == 0) return InitInputSystem();
  if (index < 0 || index >= InputSystem.padCount) return 0;
  JoypadRecord& pad = InputSystem.pads[index];
  if (pad.device == nullptr || pad.constantEffect == nullptr || !pad.vibrationOn) return 0;
  pad.vibrationOn = 0;
  pad.vibrationPower = kFullPower;
  ApplyJoypadVibration();
  return 0;
}

void WriteDefaultPadKeys() {
  for (auto& pad : InputSystem.KeyToPadButtonTable) {
    for (PadInputKeys& input : pad) {
      input.key[0] = -1;
      input.key[1] = -1;
    }
  }
  static constexpr int kPad1Defaults[][2] = {
      {0x50, 0xD0}, {0x4B, 0xCB}, {0x4D, 0xCD}, {0x48, 0xC8},  // down, left, right, up
      {0x2C, -1},   {0x2D, -1},   {0x2E, -1},   {0x1E, -1},    // Z X C A
      {0x1F, -1},   {0x20, -1},   {0x10, -1},   {0x11, -1},    // S D Q W
      {0x01, -1},   {0x39, -1},                                // Esc Space
  };
  for (size_t i = 0; i < sizeof kPad1Defaults / sizeof kPad1Defaults[0]; ++i) {
    InputSystem.KeyToPadButtonTable[0][i].key[0] = kPad1Defaults[i][0];
    InputSystem.KeyToPadButtonTable[0][i].key[1] = kPad1Defaults[i][1];
  }
}

}  // namespace orbel
