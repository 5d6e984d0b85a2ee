// The public entry layer of the core runtime: the three locked calls and the forwarders whose
// implementations live in orbel. A forwarder passes its arguments unchanged, returns the implementation's
// result, takes no lock and checks nothing.
#include "orbel.h"

#include "orbel/core/api_lock.h"
#include "orbel/core/clock_random.h"
#include "orbel/core/library.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/window_mode.h"
#include "orbel/image/soft_image.h"
#include "orbel/input/input_system.h"

int InitLibraryLocked() {
  if (orbel::IsLibraryInitialised()) return 0;
  orbel::LockApi();
  const int result = orbel::InitLibrarySystem();
  orbel::UnlockApi();
  return result;
}

int EndLibraryLocked() {
  if (!orbel::IsLibraryInitialised()) return 0;
  orbel::LockApi();
  const int result = orbel::EndLibrarySystem();
  orbel::UnlockApi();
  orbel::TearDownApiLock();
  return result;
}

int ProcessMessageLocked() {
  orbel::LockApi();
  const int result = orbel::PumpWindowMessage();
  orbel::UnlockApi();
  return result;
}

int ChangeWindowMode(int windowMode) { return orbel::ChangeWindowMode(windowMode); }
int SetMainWindowTitle(const char* title) { return orbel::SetMainWindowTitle(title); }
int GetWindowModeFlag() { return orbel::GetWindowModeFlag(); }

uint32_t GetNowMilliCount() { return orbel::GetNowMilliCount(); }
int GetRandomNumber(int max) { return orbel::GetRandomNumber(max); }

int DeleteAllSoftImages() { return orbel::DeleteAllSoftImages(); }

int CopyAllKeyStates(uint8_t* states) { return orbel::CopyAllKeyStates(states); }
