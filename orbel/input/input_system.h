// The input subsystem as the rest of the library sees it: start and end, the key states, the input
// character queue that the window procedure feeds (its intake rules live here), the IME state the
// window procedure reads on activation, the per-frame services the message pump runs, the hook-key
// flags, and the pads' vibration services.
#pragma once

#include <cstdint>

#include "platform/win/kernel/win_types.h"

namespace orbel {

// ---- The input character queue ---------------------------------------------------------------------

constexpr int kInputCharQueueSize = 1025;

// A ring of typed bytes: read chases write; full when write + 1 equals read, or read is 0 and write is
// the last slot, so one slot always stays free and the queue holds 1024 bytes at most.
struct InputCharQueueState {
  uint8_t data[kInputCharQueueSize];
  int readIndex;
  int writeIndex;
};

extern InputCharQueueState InputCharQueue;

inline bool IsInputCharQueueFull() {
  return InputCharQueue.writeIndex + 1 == InputCharQueue.readIndex ||
         (InputCharQueue.readIndex == 0 && InputCharQueue.writeIndex == kInputCharQueueSize - 1);
}

// Appends one byte; -1 when the queue is full (the byte is dropped).
int PushInputChar(int code);
// The next whole character into out[0..1] (cleared first): 0 when nothing complete waits (a lead byte
// waits for its second byte), 1 or 2 bytes. `remove` 0 only looks.
int PopInputChar(char* out, int remove);
// Characters in the first `byteLength` bytes of `text` (a double-byte character counts once), stopping
// at the terminating NUL.
int GetStringCharCount(const char* text, int byteLength);
// 1 for the control codes key-downs produce (16, 28, 29, 30, 31).
int IsKeyInputControlCode(uint8_t code);

// The window procedure's intake: WM_CHAR and WM_KEYDOWN.
void TakeCharMessage(plat::WPARAM code);
void TakeKeyDownMessage(plat::WPARAM virtualKey);

// ---- IME state read by the window procedure --------------------------------------------------------

struct ImeState {
  int enabled;         // the value last given to SetImeEnable
  int open;            // the open status read at the last IMN_SETOPENSTATUS
  int refreshRequest;  // 0, or the re-open step (1 to 4) still to run
};

extern ImeState InputImeState;

// Handles WM_IME_STARTCOMPOSITION, WM_IME_ENDCOMPOSITION, WM_IME_COMPOSITION, WM_IME_SETCONTEXT and
// WM_IME_NOTIFY; the window procedure returns the result unchanged.
plat::LRESULT ProcessImeMessage(plat::HWND window, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);
// Switches the IME for the main window on or off (only when the value changes). 0.
int SetImeEnable(int enable);

// ---- Start, end and per-frame services -------------------------------------------------------------

// 0; 1 when the keyboard's change notice could not be set up. Fatal failures end the process.
int InitInputSystem();
int EndInputSystem();
// Clears the character queue, the IME state and the key-input handles (end of start-up). 0.
uint32_t InitKeyInputBuffer();
uint32_t DeleteAllKeyInputHandles();
// Refreshes and copies the 256 key states as 0 / 1. 0, or the start-up's result when it had to start.
int CopyAllKeyStates(uint8_t* states);
// Per pump call, under the pump's re-entry guard; may pump messages itself.
int ProcessActiveKeyInput();
// After an activation change: re-acquire the devices for the new active state.
int ReacquireInputDevices();
int ApplyJoypadVibration();
int ProcessJoypadVibration();

// ---- Hook-key flags (WM_USER + 0x6F and WM_USER + 0x70) --------------------------------------------

int SetHookKeyFlagOn();
int SetHookKeyFlagOff();
int SetHookKeyFlag2On();
int SetHookKeyFlag2Off();
int GetHookKeyFlag();
int GetHookKeyFlag2();

}  // namespace orbel
