// PENDING: stands in for the input subsystem until it is built; delete this file then.
// Start-up and the per-frame services succeed and do nothing. The character queue is real: the window
// procedure feeds it and tests read it back. The hook-key flags are kept.
#include <cstring>

#include "orbel/input/input_system.h"

namespace orbel {

InputCharQueueState InputCharQueue = {};
ImeState InputImeState = {};

namespace {
int g_hookKeyFlag = 0;
int g_hookKeyFlag2 = 0;
}  // namespace

int PushInputChar(int code) {
  if (IsInputCharQueueFull()) return -1;
  InputCharQueue.data[InputCharQueue.writeIndex] = static_cast<uint8_t>(code);
  InputCharQueue.writeIndex = (InputCharQueue.writeIndex + 1) % kInputCharQueueSize;
  return 0;
}

int PopInputChar() {
  if (InputCharQueue.readIndex == InputCharQueue.writeIndex) return 0;
  const int code = InputCharQueue.data[InputCharQueue.readIndex];
  InputCharQueue.readIndex = (InputCharQueue.readIndex + 1) % kInputCharQueueSize;
  return code;
}

plat::LRESULT ProcessImeMessage(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM) { return 0; }

int InitInputSystem() { return 0; }
int EndInputSystem() { return 0; }

uint32_t InitKeyInputBuffer() {
  InputCharQueue.readIndex = 0;
  InputCharQueue.writeIndex = 0;
  return 0;
}

uint32_t DeleteAllKeyInputHandles() { return 0; }

int CopyAllKeyStates(uint8_t* states) {
  if (states) std::memset(states, 0, 256);
  return 0;
}

int ProcessActiveKeyInput() { return 0; }
void ReacquireInputDevices() {}
void ApplyJoypadVibration() {}
void ProcessJoypadVibration() {}

void SetHookKeyFlagOn() { g_hookKeyFlag = 1; }
void SetHookKeyFlagOff() { g_hookKeyFlag = 0; }
void SetHookKeyFlag2On() { g_hookKeyFlag2 = 1; }
void SetHookKeyFlag2Off() { g_hookKeyFlag2 = 0; }
int GetHookKeyFlag() { return g_hookKeyFlag; }
int GetHookKeyFlag2() { return g_hookKeyFlag2; }

}  // namespace orbel
