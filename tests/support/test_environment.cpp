// The settings the library and the platform read from the environment, as the test main sees them.
#include "test_environment.h"

#include <cstdlib>

namespace orbel::testing {

const std::vector<const char*>& ClearedLibraryVariables() {
  static const std::vector<const char*> names = {
      "ORBEL_RUNTIME_DIR",           // the double-start check's lock folder
      "ORBEL_HEADLESS_CLOCK",        // the headless host's clock
      "ORBEL_HEADLESS_SCRIPT",       // input played into the headless host
      "ORBEL_HEADLESS_CAPTURE_DIR",  // frames the headless host saves
      "ORBEL_HEADLESS_CAPTURE_FRAMES",
      "ORBEL_MESSAGEBOX_ANSWER",     // the answer given to every message box
      "ORBEL_KEYBOARD_LAYOUT",
      "ORBEL_MIDI_SOUNDFONT",
      "ORBEL_DEBUG_OUTPUT",
  };
  return names;
}

const std::vector<const char*>& KeptLibraryVariables() {
  static const std::vector<const char*> names = {"ORBEL_HOST", "ORBEL_WINSOCK_NO_IO_URING"};
  return names;
}

void ClearLibraryVariables() {
  for (const char* name : ClearedLibraryVariables()) ::unsetenv(name);
}

}  // namespace orbel::testing
