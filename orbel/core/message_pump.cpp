// The message pump and the wait while inactive.
// One call: a pending window/full-screen switch (main thread only); message rounds of at most five
// messages until a round finds none, or, while the application is inactive and may not run in the
// background, until it is active again or closing (sleeping about 2 ms a round and servicing network,
// HTTP, stream sounds and window movies meanwhile); then the per-call services.
// Depends on: platform/win queue and clock; the sound, input, network and movie subsystems; window mode
// (the switch) and menu (auto display).
#include "orbel/core/message_pump.h"

#include "orbel/core/library_state.h"
#include "orbel/core/menu.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/input/input_system.h"
#include "orbel/movie/movie_system.h"
#include "orbel/network/network_system.h"
#include "orbel/sound/sound_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/kernel/sync.h"

namespace orbel {

namespace {

constexpr int kMessagesPerRound = 5;

bool IsWaitingWhileInactive() {
  return !gWindow.closePosted && !gWindow.active && !gSettings.runInBackground;
}

// Takes the next message: the whole queue first, else thread messages, else the main window's.
bool TakeMessage(plat::MSG* msg) {
  if (plat::PeekMessageA(msg, nullptr, 0, 0, plat::PM_NOREMOVE)) {
    return plat::PeekMessageA(msg, nullptr, 0, 0, plat::PM_REMOVE) != 0;
  }
  if (plat::PeekMessageA(msg, reinterpret_cast<plat::HWND>(intptr_t{-1}), 0, 0, plat::PM_REMOVE)) return true;
  return plat::PeekMessageA(msg, gWindow.window, 0, 0, plat::PM_REMOVE) != 0;
}

// The rounds of one call.
void RunMessageRounds(bool mainThread) {
  gWindow.pumpMessageCounter = 0;
  bool previousRoundHandled = false;
  for (bool firstRound = true;; firstRound = false) {
    const bool waiting = IsWaitingWhileInactive();
    if (!firstRound && !waiting && !(previousRoundHandled && !gLibrary.quit)) return;
    if (waiting) plat::Sleep(1);

    bool handled = false;
    plat::MSG msg = {};
    while (TakeMessage(&msg)) {
      if (msg.message == plat::WM_ACTIVATEAPP && gSettings.windowMode) {
        gWindow.active = plat::LOWORD(msg.wParam) != 0;
      }
      if (gLibrary.quit) return;  // quitting: the message is dropped undispatched
      if (msg.message == plat::WM_QUIT) gLibrary.quit = 1;
      if (!plat::TranslateAcceleratorA(gWindow.window, gSettings.accelerator, &msg)) {
        plat::TranslateMessage(&msg);
        plat::DispatchMessageA(&msg);
      }
      if (++gWindow.pumpMessageCounter == kMessagesPerRound) {
        gWindow.pumpMessageCounter = 0;
        break;
      }
      handled = true;
    }

    if (IsWaitingWhileInactive()) {
      ProcessNetWorkMessage(1);
      ProcessAllHttpHandles();
      ServiceAllStreamSounds();
      DrawAllMovieToWindow();
      plat::Sleep(1);
    }
    if (gLibrary.quit || !mainThread) return;
    previousRoundHandled = handled;
  }
}

void ServiceSubsystems() {
  ServiceAllStreamSounds();
  ServiceAllMusic();
  ProcessJoypadVibration();
  ProcessNetWorkMessage(1);
  const int live = HttpState.HttpHandleCount;
  int seen = 0;
  for (int slot = 0; slot < kHttpHandleMax && seen < live; ++slot) {
    if (HttpState.HttpHandleTable[slot] == nullptr) continue;
    ++seen;
    ProcessHttpHandle(slot);
  }
}

}  // namespace

int PumpWindowMessage() {
  if (gWindow.pumpGuard) return 0;

  if (!gSettings.windowless) {
    if (gWindow.window == nullptr) return gLibrary.quit ? -1 : 0;
    if (gSettings.outsideWindow == nullptr) {
      const bool mainThread = plat::GetCurrentThreadId() == MainThreadId;
      if (gWindow.modeChangeRequest == 1 && gSettings.windowModeChangeAllowed && mainThread) {
        gWindow.modeChangeRequest = 0;
        ChangeWindowMode(gSettings.windowMode != 1 ? 1 : 0);
      }
      RunMessageRounds(mainThread);
      if (mainThread && !gSettings.menuAlwaysShown) UpdateMenuAutoDisplay();
    }
  }

  ServiceSubsystems();
  gWindow.pumpGuard = 1;
  ProcessActiveKeyInput();
  gWindow.pumpGuard = 0;
  return gLibrary.quit ? -1 : 0;
}

void WaitWhileInactive() {
  // Without a window nothing can ever make the application active again: waiting would never end.
  if (gWindow.window == nullptr) return;
  if (gWindow.painting || gWindow.active || gSettings.outsideWindow != nullptr) return;
  if (gSettings.runInBackground && (GetGdiSurfaceOutputRequest() || gSettings.windowMode)) return;
  while (PumpWindowMessage() == 0 && !gWindow.active) {
  }
  RestoreAllGraphs();
}

}  // namespace orbel
