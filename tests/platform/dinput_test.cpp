// The DirectInput stand-in on its own: creation and Initialize by version, device creation and its
// refusals, property checks, pad state scaled to ranges and dead zones, effects and rumble, the key-code
// tables of both layouts, joyGetDevCapsA, and the input script's pad commands.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/dinput/dinput.h"
#include "platform/dinput/joystick_caps.h"
#include "platform/dinput/key_codes.h"
#include "platform/dinput/test_controls.h"
#include "platform/host/headless/input_script.h"
#include "platform/win/kernel/com.h"
#include "platform/win/kernel/sync.h"
#include "platform/test_controls.h"
#include "platform/win/user/user_keys.h"
#include "test_support.h"

namespace {

using namespace plat;

class DirectInputStandIn : public orbel::testing::VirtualClockTest {
 protected:
  IDirectInput8A* MakeEight() {
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput8A, &object), S_OK);
    auto* eight = static_cast<IDirectInput8A*>(object);
    EXPECT_EQ(eight->Initialize(nullptr, 0x800), DI_OK);
    return eight;
  }
};

TEST_F(DirectInputStandIn, ObjectsAreMadeByVersionAndRefuseWhatTheyDoNotKnow) {
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput8A, &object),
            E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  ASSERT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A, &object), S_OK);
  auto* seven = static_cast<IDirectInput7A*>(object);
  void* device = nullptr;
  EXPECT_EQ(seven->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A, &device, nullptr), DIERR_NOTINITIALIZED);
  EXPECT_EQ(seven->Initialize(nullptr, 0x800), DIERR_INVALIDPARAM) << "a version-7 object is no version 8";
  EXPECT_EQ(seven->Initialize(nullptr, 0x700), DI_OK);
  EXPECT_EQ(seven->CreateDeviceEx(GUID_Sine, IID_IDirectInputDevice7A, &device, nullptr), DIERR_DEVICENOTREG);
  ASSERT_EQ(seven->CreateDeviceEx(GUID_SysKeyboard, IID_IDirectInputDevice7A, &device, nullptr), DI_OK);
  static_cast<IDirectInputDevice7A*>(device)->Release();
  EXPECT_EQ(seven->Release(), 0u);
  EXPECT_EQ(test::LiveDirectInputObjects(), 0);

  test::FailDirectInputInitialize(8);
  ASSERT_EQ(CoCreateInstance(CLSID_DirectInput8, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput8A, &object), S_OK);
  EXPECT_EQ(static_cast<IDirectInput8A*>(object)->Initialize(nullptr, 0x800), DIERR_GENERIC);
  static_cast<IDirectInput8A*>(object)->Release();
  EXPECT_EQ(CoCreateInstance(CLSID_DirectInput8, &object, CLSCTX_INPROC_SERVER, IID_IDirectInput8A, &object),
            CLASS_E_NOAGGREGATION);
}

TEST_F(DirectInputStandIn, TheKeyboardFollowsHostKeysAndSignalsItsEvent) {
  IDirectInput8A* di = MakeEight();
  IDirectInputDevice8A* keyboard = nullptr;
  ASSERT_EQ(di->CreateDevice(GUID_SysKeyboard, &keyboard, nullptr), DI_OK);
  BYTE keys[256];
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_INVALIDPARAM) << "no data format yet";
  EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIJoystick), DIERR_INVALIDPARAM);
  ASSERT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DI_OK);
  EXPECT_EQ(keyboard->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE | DISCL_FOREGROUND),
            DIERR_INVALIDPARAM);
  ASSERT_EQ(keyboard->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND), DI_OK);
  const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(keyboard->SetEventNotification(event), DI_OK);
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_NOTACQUIRED);
  ASSERT_EQ(keyboard->Acquire(), DI_OK);
  EXPECT_EQ(keyboard->SetDataFormat(&c_dfDIKeyboard), DIERR_ACQUIRED);

  host::Event e;
  e.type = host::EventType::KeyDown;
  e.key = VK_RCONTROL;
  e.scanCode = 0x1D;
  e.extended = true;
  host::DeliverEvent(e);
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  ASSERT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
  EXPECT_EQ(keys[0x9D], 0x80);
  EXPECT_EQ(keys[0x1D], 0);
  ResetEvent(event);
  host::DeliverEvent(e);  // auto-repeat: nothing changes, no notice
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);

  test::LoseKeyboard();
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DIERR_INPUTLOST);
  EXPECT_EQ(keyboard->Acquire(), DI_OK);
  EXPECT_EQ(keyboard->GetDeviceState(256, keys), DI_OK);
  keyboard->Release();
  di->Release();
  CloseHandle(event);
}

TEST_F(DirectInputStandIn, KeyCodesFollowTheLayout) {
  using dinput::KeyboardLayout;
  struct Case {
    UINT scan;
    bool extended;
    UINT vk;
    BYTE japanese;
    BYTE us;
  };
  const Case cases[] = {
      {0x1E, false, 'A', 0x1E, 0x1E},          {0x0B, false, '0', 0x0B, 0x0B},
      {0x48, true, VK_UP, 0xC8, 0xC8},          {0x1C, true, 0, 0x9C, 0x9C},  // keypad Enter
      {0x45, false, VK_PAUSE, 0xC5, 0xC5},      {0x45, true, VK_NUMLOCK, 0x45, 0x45},
      {0x28, false, VK_OEM_1, 0x92, 0x28},      {0x1A, false, VK_OEM_3, 0x91, 0x1A},
      {0x0D, false, VK_OEM_7, 0x90, 0x0D},      {0x29, false, VK_KANJI, 0x94, 0x29},
      {0x57, false, VK_F1 + 10, 0x57, 0x57},    {0x53, true, VK_DELETE, 0xD3, 0xD3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dinput::KeyCodeFromScanCode(c.scan, c.extended, KeyboardLayout::Japanese106), c.japanese) << c.scan;
    EXPECT_EQ(dinput::KeyCodeFromScanCode(c.scan, c.extended, KeyboardLayout::Us101), c.us) << c.scan;
  }
  // Virtual keys name what the layout prints: the same code whichever road a key comes by.
  EXPECT_EQ(dinput::KeyCodeFromVirtualKey(VK_OEM_1, KeyboardLayout::Japanese106), 0x92);
  EXPECT_EQ(dinput::KeyCodeFromVirtualKey(VK_OEM_1, KeyboardLayout::Us101), 0x27);
  EXPECT_EQ(dinput::KeyCodeFromVirtualKey(VK_OEM_PLUS, KeyboardLayout::Japanese106), 0x27);
  EXPECT_EQ(dinput::KeyCodeFromVirtualKey(VK_RETURN, KeyboardLayout::Us101), 0x1C);
  EXPECT_EQ(dinput::KeyCodeFromVirtualKey(0xFF, KeyboardLayout::Us101), 0);
  EXPECT_EQ(dinput::KeyCodeFromScanCode(0, false, KeyboardLayout::Us101), 0);
}

TEST_F(DirectInputStandIn, PadStateIsScaledToTheRangeWithTheDeadZone) {
  test::PadSpec spec;
  spec.hasR = false;
  const int host = test::AddPad(spec);
  IDirectInput8A* di = MakeEight();
  GUID instance{};
  auto found = [](const DIDEVICEINSTANCEA* i, void* out) -> BOOL {
    *static_cast<GUID*>(out) = i->guidInstance;
    return DIENUM_STOP;
  };
  ASSERT_EQ(di->EnumDevices(DI8DEVCLASS_GAMECTRL, found, &instance, DIEDFL_ATTACHEDONLY), DI_OK);
  IDirectInputDevice8A* pad = nullptr;
  ASSERT_EQ(di->CreateDevice(instance, &pad, nullptr), DI_OK);
  ASSERT_EQ(pad->SetDataFormat(&c_dfDIJoystick), DI_OK);
  DIPROPRANGE range{{sizeof range, sizeof(DIPROPHEADER), DIJOFS_X, DIPH_BYOFFSET}, -1000, 1000};
  ASSERT_EQ(pad->SetProperty(DIPROP_RANGE, &range.diph), DI_OK);
  range.diph.dwObj = DIJOFS_RZ;
  EXPECT_EQ(pad->SetProperty(DIPROP_RANGE, &range.diph), DIERR_UNSUPPORTED) << "no R axis";
  range.diph.dwObj = 6;
  EXPECT_EQ(pad->SetProperty(DIPROP_RANGE, &range.diph), DIERR_INVALIDPARAM);
  DIPROPDWORD zone{{sizeof zone, sizeof(DIPROPHEADER), DIJOFS_X, DIPH_BYOFFSET}, 2500};
  ASSERT_EQ(pad->SetProperty(DIPROP_DEADZONE, &zone.diph), DI_OK);
  zone.dwData = 10001;
  EXPECT_EQ(pad->SetProperty(DIPROP_DEADZONE, &zone.diph), DIERR_INVALIDPARAM);
  ASSERT_EQ(pad->Acquire(), DI_OK);

  struct Case {
    int raw;
    LONG x;
  };
  const Case cases[] = {{0, 0}, {8000, 0}, {-8192, 0}, {32767, 1000}, {-32768, -1000}, {16384, 333}};
  for (const Case& c : cases) {
    test::SetPadAxis(host, 0, c.raw);
    DIJOYSTATE state{};
    ASSERT_EQ(pad->GetDeviceState(sizeof state, &state), DI_OK);
    EXPECT_EQ(state.lX, c.x) << c.raw;
  }
  EXPECT_EQ(pad->GetDeviceState(10, nullptr), DIERR_INVALIDPARAM);
  pad->Release();
  di->Release();
}

TEST_F(DirectInputStandIn, EffectsNeedAnExclusiveAcquiredPadAndDriveItsRumble) {
  const int host = test::AddPad({});
  test::PadSpec still;
  still.identity = "no motors";
  still.rumble = false;
  test::AddPad(still);
  IDirectInput8A* di = MakeEight();
  std::vector<GUID> instances;
  auto all = [](const DIDEVICEINSTANCEA* i, void* out) -> BOOL {
    static_cast<std::vector<GUID>*>(out)->push_back(i->guidInstance);
    return DIENUM_CONTINUE;
  };
  di->EnumDevices(DI8DEVCLASS_GAMECTRL, all, &instances, DIEDFL_ATTACHEDONLY);
  ASSERT_EQ(instances.size(), 2u);
  IDirectInputDevice8A* pad = nullptr;
  IDirectInputDevice8A* quiet = nullptr;
  ASSERT_EQ(di->CreateDevice(instances[0], &pad, nullptr), DI_OK);
  ASSERT_EQ(di->CreateDevice(instances[1], &quiet, nullptr), DI_OK);
  DICONSTANTFORCE force{5000};
  DIEFFECT effect{};
  effect.dwSize = sizeof effect;
  effect.dwGain = 10000;
  effect.cbTypeSpecificParams = sizeof force;
  effect.lpvTypeSpecificParams = &force;
  IDirectInputEffect* constant = nullptr;
  EXPECT_EQ(quiet->CreateEffect(GUID_ConstantForce, &effect, &constant, nullptr), DIERR_UNSUPPORTED);
  ASSERT_EQ(pad->CreateEffect(GUID_ConstantForce, &effect, &constant, nullptr), DI_OK);
  pad->SetDataFormat(&c_dfDIJoystick);
  pad->SetCooperativeLevel(nullptr, DISCL_NONEXCLUSIVE | DISCL_BACKGROUND);
  EXPECT_EQ(constant->Start(1, 0), DIERR_NOTACQUIRED);
  pad->Acquire();
  EXPECT_EQ(constant->Start(1, 0), DIERR_OTHERAPPHASPRIO) << "force feedback wants exclusive access";
  pad->Unacquire();
  pad->SetCooperativeLevel(nullptr, DISCL_EXCLUSIVE | DISCL_FOREGROUND);
  pad->Acquire();
  ASSERT_EQ(constant->Start(1, 0), DI_OK);
  EXPECT_EQ(test::GetPadRumble(host).low, 32768);
  ASSERT_EQ(constant->Stop(), DI_OK);
  EXPECT_EQ(test::GetPadRumble(host).low, 0);
  constant->Start(1, 0);
  pad->Release();  // releasing the device silences its effects
  EXPECT_EQ(test::GetPadRumble(host).low, 0);
  EXPECT_EQ(constant->Start(1, 0), DIERR_NOTINITIALIZED);
  constant->Release();
  quiet->Release();
  di->Release();
  EXPECT_TRUE(test::DirectInputEffects().empty());
}

TEST_F(DirectInputStandIn, JoystickCapsCountTheAttachedPads) {
  JOYCAPSA caps{};
  EXPECT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), JOYERR_UNPLUGGED);
  EXPECT_EQ(joyGetDevCapsA(0, &caps, 10), JOYERR_PARMS);
  EXPECT_EQ(joyGetDevCapsA(16, &caps, sizeof caps), JOYERR_PARMS);
  test::PadSpec flat;
  flat.name = "Flat";
  flat.hasZ = false;
  const int first = test::AddPad(flat);
  test::PadSpec full;
  full.identity = "second";
  test::AddPad(full);
  ASSERT_EQ(joyGetDevCapsA(0, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_STREQ(caps.szPname, "Flat");
  EXPECT_EQ(caps.wCaps & (JOYCAPS_HASZ | JOYCAPS_HASR), JOYCAPS_HASR);
  ASSERT_EQ(joyGetDevCapsA(1, &caps, sizeof caps), JOYERR_NOERROR);
  EXPECT_EQ(caps.wCaps & (JOYCAPS_HASZ | JOYCAPS_HASR), JOYCAPS_HASZ | JOYCAPS_HASR);
  test::RemovePad(first);
  EXPECT_EQ(joyGetDevCapsA(1, &caps, sizeof caps), JOYERR_UNPLUGGED) << "ids follow the attached pads";
}

TEST(InputScriptPads, PadAndComposeLinesBecomeHostEvents) {
  std::vector<host::ScriptedEvent> events;
  std::string error;
  ASSERT_TRUE(host::ParseInputScript("10 pad add 3 Arcade Stick\n"
                                     "20 pad button 3 5 down\n"
                                     "30 pad axis 3 1 -32768\n"
                                     "40 pad remove 3\n"
                                     "50 compose 2 abcd\n"
                                     "60 compose end\n",
                                     &events, &error))
      << error;
  ASSERT_EQ(events.size(), 6u);
  EXPECT_EQ(events[0].event.type, host::EventType::PadAdded);
  EXPECT_EQ(events[0].event.text, "Arcade Stick");
  EXPECT_EQ(events[0].event.pad, 3);
  EXPECT_EQ(events[1].event.button, 5);
  EXPECT_EQ(events[2].event.value, -32768);
  EXPECT_EQ(events[3].event.type, host::EventType::PadRemoved);
  EXPECT_EQ(events[4].event.cursor, 2);
  EXPECT_EQ(events[4].event.text, "abcd");
  EXPECT_TRUE(events[5].event.text.empty());
  const char* bad[] = {"1 pad add 3\n", "1 pad button 3 32 down\n", "1 pad axis 3 6 0\n", "1 pad axis 3 0 40000\n",
                       "1 pad jump 3\n", "1 compose x abc\n", "1 compose 3\n"};
  for (const char* line : bad) EXPECT_FALSE(host::ParseInputScript(line, &events, &error)) << line;
}

}  // namespace

namespace {

using namespace plat;

class DirectInputMouse : public orbel::testing::VirtualClockTest {};

TEST_F(DirectInputMouse, TheMouseReportsMotionSinceItsLastReadAndItsButtons) {
  void* object = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_DirectInput, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectInput7A, &object), S_OK);
  auto* di = static_cast<IDirectInput7A*>(object);
  ASSERT_EQ(di->Initialize(nullptr, 0x700), DI_OK);
  void* out = nullptr;
  ASSERT_EQ(di->CreateDeviceEx(GUID_SysMouse, IID_IDirectInputDevice7A, &out, nullptr), DI_OK);
  auto* mouse = static_cast<IDirectInputDevice7A*>(out);
  ASSERT_EQ(mouse->SetDataFormat(&c_dfDIMouse2), DI_OK);
  ASSERT_EQ(mouse->Acquire(), DI_OK);
  auto send = [](host::EventType type, int x, int y, int button = 0, int wheel = 0) {
    host::Event e;
    e.type = type;
    e.x = x;
    e.y = y;
    e.button = button;
    e.wheel = wheel;
    host::DeliverEvent(e);
  };
  send(host::EventType::MouseMove, 100, 100);
  send(host::EventType::MouseMove, 110, 95);
  send(host::EventType::MouseMove, 130, 90);
  send(host::EventType::MouseButtonDown, 130, 90, 1);
  send(host::EventType::MouseWheel, 130, 90, 0, -2);
  BYTE state[20];
  ASSERT_EQ(mouse->GetDeviceState(sizeof state, state), DI_OK);
  LONG moved[3];
  std::memcpy(moved, state, sizeof moved);
  EXPECT_EQ(moved[0], 30);
  EXPECT_EQ(moved[1], -10);
  EXPECT_EQ(moved[2], -240);
  EXPECT_EQ(state[12], 0);
  EXPECT_EQ(state[13], 0x80) << "right button";
  ASSERT_EQ(mouse->GetDeviceState(sizeof state, state), DI_OK);
  std::memcpy(moved, state, sizeof moved);
  EXPECT_EQ(moved[0], 0) << "motion is counted from the last read";
  EXPECT_EQ(state[13], 0x80) << "buttons stay as they are";
  mouse->Release();
  di->Release();
}

}  // namespace
