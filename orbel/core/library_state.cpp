// The core runtime's shared state records and the reset that window creation performs.
#include "orbel/core/library_state.h"

#include <cstring>

namespace orbel {

LibraryFlags gLibrary = {};
LibrarySettings gSettings = {};
MainWindowState gWindow = {};
uint32_t MainThreadId = 0;
int LibraryCharSetIndex = 1;

void ResetMainWindowState() {
  std::memset(&gWindow, 0, sizeof gWindow);
  gWindow.pauseGraph = -1;
  // Run-time flags of the library start again; initialising and the COM state are kept (COM was
  // started by the step before window creation and must still be ended by the end sequence).
  gLibrary.ending = 0;
  gLibrary.endSequenceRunning = 0;
  gLibrary.quit = 0;
}

void ResetLibraryStateForTest() {
  std::memset(&gLibrary, 0, sizeof gLibrary);
  std::memset(&gSettings, 0, sizeof gSettings);
  std::memset(&gWindow, 0, sizeof gWindow);
  gWindow.pauseGraph = -1;
  MainThreadId = 0;
  LibraryCharSetIndex = 1;
}

void SetWindowModeChangeAllowed(int allowed) { gSettings.windowModeChangeAllowed = allowed; }
void SetRunInBackground(int on) { gSettings.runInBackground = on; }
void SetDoubleStartAllowed(int allowed) { gSettings.doubleStartAllowed = allowed; }
void SetWindowStyleNumber(int number) {
  if (number >= 0 && number <= 7) gSettings.styleNumber = number;
}
void SetWindowExtendRate(double scale) { gSettings.windowScale = scale; }
void SetHiddenStart(int on) { gSettings.hiddenStart = on; }
void SetSkipSubsystems(int noInput, int noSound, int noGraphics) {
  gSettings.noInput = noInput;
  gSettings.noSound = noSound;
  gSettings.noGraphics = noGraphics;
}
int GetQuitMessageFlag() { return gLibrary.quit; }
int GetRunInBackground() { return gSettings.runInBackground; }

}  // namespace orbel
