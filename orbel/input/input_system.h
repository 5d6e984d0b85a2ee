// The input subsystem as the core runtime sees it: start and end, the character queue that the window
// procedure feeds, the IME state it reads on activation, the per-frame services the message pump runs
// and the hook-key flags. These are the names the input subsystem keeps; until it is built the calls are
// answered by input_pending.cpp (the character queue there is real, since the window procedure fills it).
#pragma once

#include <cstdint>

#include "platform/win/win_types.h"

namespace orbel {

// ---- The input character queue ---------------------------------------------------------------------

constexpr int kInputCharQueueSize = 1025;

// A ring of typed character codes: read chases write; full when write + 1 equals read, or read is 0 and
// write is the last slot.
struct InputCharQueueState {
  uint8_t data[kInputCharQueueSize];
  int readIndex;
  int writeIndex;
};

extern InputCharQueueState InputCharQueue;

// 1 when no further character fits.
inline bool IsInputCharQueueFull() {
  return InputCharQueue.writeIndex + 1 == InputCharQueue.readIndex ||
         (InputCharQueue.readIndex == 0 && InputCharQueue.writeIndex == kInputCharQueueSize - 1);
}

// Appends one character code; -1 when the queue is full.
int PushInputChar(int code);
// Takes the oldest character code; 0 when the queue is empty.
int PopInputChar();

// ---- IME state read by the window procedure --------------------------------------------------------

struct ImeState {
  int enabled;         // the application allows the IME
  int open;            // the IME is switched on
  int refreshRequest;  // set on re-activation when enabled and open: text input re-opens the IME
};

extern ImeState InputImeState;

// Handles WM_IME_STARTCOMPOSITION, WM_IME_ENDCOMPOSITION, WM_IME_COMPOSITION, WM_IME_SETCONTEXT and
// WM_IME_NOTIFY; the window procedure returns the result unchanged.
plat::LRESULT ProcessImeMessage(plat::HWND window, plat::UINT message, plat::WPARAM wParam,
                                plat::LPARAM lParam);

// ---- Start, end and per-frame services -------------------------------------------------------------

// -1 on failure, which fails library start-up.
int InitInputSystem();
int EndInputSystem();
// Clears the character queue and the key-input handles (end of start-up).
uint32_t InitKeyInputBuffer();
uint32_t DeleteAllKeyInputHandles();
// Copies the 256 key states.
int CopyAllKeyStates(uint8_t* states);
// Per pump call, under the pump's re-entry guard; may pump messages itself.
int ProcessActiveKeyInput();
// After an activation change: re-acquire or release the devices to match the active flag.
void ReacquireInputDevices();
void ApplyJoypadVibration();
void ProcessJoypadVibration();

// ---- Hook-key flags (WM_USER + 0x6F and WM_USER + 0x70) --------------------------------------------

void SetHookKeyFlagOn();
void SetHookKeyFlagOff();
void SetHookKeyFlag2On();
void SetHookKeyFlag2Off();
int GetHookKeyFlag();
int GetHookKeyFlag2();

}  // namespace orbel
