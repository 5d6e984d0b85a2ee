// Input start-up and shut-down, and the devices' response to activation changes: DirectInput 7, else
// 8, else the Win32 key state with the pads only counted; the system mouse and keyboard devices, the
// keyboard's change notice, the pads (joypad.cpp) and the default keyboard-to-pad assignment. The
// hook-key flags the window procedure keeps here.
// Depends on: core (log, fatal exit, main window, pump), platform/dinput, platform/win (COM, events).
#include <cstring>

#include "orbel/core/library.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/message_pump.h"
#include "orbel/input/input_state.h"
#include "orbel/input/input_system.h"
#include "platform/dinput/joystick_caps.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/com.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/kernel/system_info.h"
#include "platform/win/user/window.h"

namespace orbel {

InputSystemState InputSystem = {};

namespace {

constexpr plat::DWORD kSharedAccess = plat::DISCL_NONEXCLUSIVE | plat::DISCL_BACKGROUND;
constexpr plat::DWORD kPadActiveAccess = plat::DISCL_EXCLUSIVE | plat::DISCL_FOREGROUND;
constexpr plat::DWORD kKeyboardBufferSize = 100;

void ReleaseDevice(plat::IDirectInputDevice7A** device) {
  if (*device == nullptr) return;
  (*device)->Release();
  *device = nullptr;
}

void ReleaseDirectInputObject() {
  if (InputSystem.directInput == nullptr || InputSystem.directInput == NoDirectInputMark()) return;
  InputSystem.directInput->Release();
  InputSystem.directInput = nullptr;
}

// Releases what set-up made so far and ends the process with the message.
[[noreturn]] void FailSetup(const char* message) {
  ReleaseDevice(&InputSystem.keyboard);
  ReleaseDevice(&InputSystem.mouse);
  ReleaseDirectInputObject();
  ErrorExitLibrary(message);
}

plat::HRESULT CreateSystemDevice(const plat::GUID& instance, plat::IDirectInputDevice7A** out) {
  if (InputSystem.directInput8) {
    return static_cast<plat::IDirectInput8A*>(InputSystem.directInput)->CreateDevice(instance, out, nullptr);
  }
  void* device = nullptr;
  const plat::HRESULT result = static_cast<plat::IDirectInput7A*>(InputSystem.directInput)
                                   ->CreateDeviceEx(instance, plat::IID_IDirectInputDevice7A, &device, nullptr);
  *out = static_cast<plat::IDirectInputDevice7A*>(device);
  return result;
}

// DirectInput 7, then 8. True with the object set when one could be had.
bool OpenDirectInput() {
  LogAdd("DirectInput関係初期化処理\n");
  LogTabAdd();
  LogAdd("DirectInput7 の取得中... ");
  const plat::HMODULE module = plat::GetModuleHandleA(nullptr);
  void* object = nullptr;
  plat::HRESULT result = plat::CoCreateInstance(plat::CLSID_DirectInput, nullptr, plat::CLSCTX_INPROC_SERVER,
                                                plat::IID_IDirectInput7A, &object);
  if (plat::SUCCEEDED(result)) {
    auto* seven = static_cast<plat::IDirectInput7A*>(object);
    LogAdd("成功\n");
    LogTabAdd();
    LogAdd("引き続き初期化処理... ");
    if (plat::SUCCEEDED(seven->Initialize(module, 0x700))) {
      LogAdd("初期化成功\n");
      LogTabSub();
      InputSystem.directInput = seven;
      InputSystem.directInput8 = 0;
      return true;
    }
    LogAdd("初期化に失敗。");
    seven->Release();
  } else {
    LogAdd("取得に失敗。\n");
    LogFmtAdd("エラーコード 0x%x", static_cast<unsigned>(result));
  }

  LogAdd("DirectInput8 の取得を試みます...");
  object = nullptr;
  result = plat::CoCreateInstance(plat::CLSID_DirectInput8, nullptr, plat::CLSCTX_INPROC_SERVER,
                                  plat::IID_IDirectInput8A, &object);
  if (plat::SUCCEEDED(result)) {
    auto* eight = static_cast<plat::IDirectInput8A*>(object);
    LogAdd("成功\n");
    LogTabAdd();
    LogAdd("引き続き初期化処理... ");
    if (plat::SUCCEEDED(eight->Initialize(module, 0x800))) {
      LogAdd("初期化成功\n");
      InputSystem.directInput8 = 1;
      LogTabSub();
      InputSystem.directInput = eight;
      return true;
    }
    LogAdd("初期化に失敗。");
    eight->Release();
  } else {
    LogAdd("取得に失敗。");
  }
  LogAdd("DirectInput を使用しません。\n");
  LogTabSub();
  InputSystem.directInput = nullptr;
  InputSystem.win32Keyboard = 1;
  return false;
}

void SetUpMouse() {
  InputSystem.mouse = nullptr;
  LogAdd("マウスデバイスの初期化... ");
  if (plat::FAILED(CreateSystemDevice(plat::GUID_SysMouse, &InputSystem.mouse))) {
    InputSystem.mouse = nullptr;
    FailSetup("マウスデバイスの取得に失敗しました");
  }
  if (plat::FAILED(InputSystem.mouse->SetDataFormat(&plat::c_dfDIMouse2)))
    FailSetup("マウスデバイスのデータ形式の設定に失敗しました");
  if (plat::FAILED(InputSystem.mouse->SetCooperativeLevel(GetMainWindowHandle(), kSharedAccess)))
    FailSetup("マウスデバイスの協調レベルの設定に失敗しました");
  LogAdd("初期化成功\n");
  InputSystem.lastUpdateTick = plat::timeGetTime();
}

// The keyboard device; 1 when its change notice could not be set up.
int SetUpKeyboard() {
  InputSystem.keyboard = nullptr;
  LogAdd("キーボードデバイスの初期化... ");
  if (plat::FAILED(CreateSystemDevice(plat::GUID_SysKeyboard, &InputSystem.keyboard))) {
    InputSystem.keyboard = nullptr;
    FailSetup("キーボードデバイスの取得に失敗しました");
  }
  plat::IDirectInputDevice7A* keyboard = InputSystem.keyboard;
  if (plat::FAILED(keyboard->SetDataFormat(&plat::c_dfDIKeyboard)))
    FailSetup("キーボードデバイスのデータ形式の設定に失敗しました");
  if (plat::FAILED(keyboard->SetCooperativeLevel(GetMainWindowHandle(), kSharedAccess)))
    FailSetup("キーボードデバイスの協調レベルの設定に失敗しました");
  plat::DIPROPDWORD buffer = {};
  buffer.diph.dwSize = sizeof buffer;
  buffer.diph.dwHeaderSize = sizeof buffer.diph;
  buffer.diph.dwObj = 0;
  buffer.diph.dwHow = plat::DIPH_DEVICE;
  buffer.dwData = kKeyboardBufferSize;
  if (plat::FAILED(keyboard->SetProperty(plat::DIPROP_BUFFERSIZE, &buffer.diph)))
    LogAdd("キーボードのプロパティ設定に失敗しました\n");

  const plat::HANDLE event = plat::CreateEventA(nullptr, plat::TRUE, plat::FALSE, nullptr);
  const plat::HRESULT notice = event != nullptr ? keyboard->SetEventNotification(event) : plat::DIERR_GENERIC;
  if (notice != plat::DI_OK && notice != plat::DI_POLLEDDEVICE) {
    LogAdd("キーボードイベントのセットアップが失敗しました\n");
    // The keyboard stays unacquired (the first read acquires it); nothing of the notice is kept.
    if (event != nullptr) plat::CloseHandle(event);
    LogTabSub();
    return 1;
  }
  InputSystem.keyboardEvent = event;
  if (plat::FAILED(keyboard->Acquire()) && plat::FAILED(keyboard->Acquire()))
    FailSetup("キーボードデバイスの取得に失敗しました");
  LogAdd("初期化成功\n");
  InputSystem.lastUpdateTick = plat::timeGetTime();
  LogTabSub();
  LogAdd("DirectInput 関連の初期化は正常に終了しました\n");
  return 0;
}

// Without DirectInput the pads are only counted.
void CountPadsWithoutDirectInput() {
  LogTabAdd();
  int found = 0;
  for (int id = 0; id < kJoypadMax; ++id) {
    plat::JOYCAPSA caps = {};
    if (plat::joyGetDevCapsA(static_cast<plat::UINT_PTR>(id), &caps, sizeof caps) != plat::JOYERR_NOERROR) break;
    const plat::UINT both = plat::JOYCAPS_HASZ | plat::JOYCAPS_HASR;
    InputSystem.pads[id].joystickCapsFlag = (caps.wCaps & both) == both ? 1 : 0;
    ++found;
  }
  InputSystem.padCount = found;
  LogFmtAdd("パッドの数は %d 個です", found);
  LogTabSub();
  InputSystem.directInput = NoDirectInputMark();
  LogAdd("入力関連の初期化をしました\n");
  // NOTE: the count is then set to the table size whatever was found, as the rest of the library
  // expects eight records to look at.
  InputSystem.padCount = kJoypadMax;
}

}  // namespace

int InitInputSystem() {
  if (InputSystem.directInput != nullptr) return 0;
  const int win32Keyboard = InputSystem.win32Keyboard;
  std::memset(&InputSystem, 0, sizeof InputSystem);
  InputSystem.win32Keyboard = win32Keyboard;

  int result = 0;
  if (InputSystem.win32Keyboard == 1 || !OpenDirectInput()) {
    CountPadsWithoutDirectInput();
  } else {
    plat::BringWindowToTop(GetMainWindowHandle());
    PumpWindowMessage();
    InitJoypads();
    SetUpMouse();
    result = SetUpKeyboard();
  }
  WriteDefaultPadKeys();
  return result;
}

int EndInputSystem() {
  if (InputSystem.directInput == nullptr) return 0;
  if (InputSystem.directInput == NoDirectInputMark()) {
    LogAdd("入力関連の終了処理... 完了\n");
    InputSystem.directInput = nullptr;
    return 0;
  }
  LogAdd("DirectInput 関連の終了処理... 完了\n");
  ReleaseAllJoypads();
  if (InputSystem.keyboard != nullptr) {
    InputSystem.keyboard->Unacquire();
    InputSystem.keyboard->Release();
    InputSystem.keyboard = nullptr;
    if (InputSystem.keyboardEvent != nullptr) plat::CloseHandle(InputSystem.keyboardEvent);
    InputSystem.keyboardEvent = nullptr;
  }
  if (InputSystem.mouse != nullptr) {
    InputSystem.mouse->Unacquire();
    InputSystem.mouse->Release();
    InputSystem.mouse = nullptr;
  }
  ReleaseDirectInputObject();
  return 0;
}

int ReacquireInputDevices() {
  if (!IsDirectInputInUse()) return 0;
  const plat::DWORD padAccess = GetActiveFlag() == 1 ? kPadActiveAccess : kSharedAccess;
  for (int i = 0; i < InputSystem.padCount; ++i) {
    plat::IDirectInputDevice7A* device = InputSystem.pads[i].device;
    if (device == nullptr) continue;
    device->Unacquire();
    device->SetCooperativeLevel(GetMainWindowHandle(), padAccess);
    device->Acquire();
  }
  if (InputSystem.keyboard != nullptr) {
    InputSystem.keyboard->Unacquire();
    InputSystem.keyboard->Acquire();
  }
  return 0;
}

void ResetInputStateForTest() { std::memset(&InputSystem, 0, sizeof InputSystem); }

int SetHookKeyFlagOn() { InputSystem.hookKeyFlag = 1; return 0; }
int SetHookKeyFlagOff() { InputSystem.hookKeyFlag = 0; return 0; }
int SetHookKeyFlag2On() { InputSystem.hookKeyFlag2 = 1; return 0; }
int SetHookKeyFlag2Off() { InputSystem.hookKeyFlag2 = 0; return 0; }
int GetHookKeyFlag() { return InputSystem.hookKeyFlag; }
int GetHookKeyFlag2() { return InputSystem.hookKeyFlag2; }

}  // namespace orbel
