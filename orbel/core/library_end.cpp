// Library shut-down and the fatal-error exit: the fixed order of EndLibrarySystem, shared with the
// unwinding of a failed start-up, and ErrorExitLibrary, which never runs the end sequence twice.
// Depends on: every subsystem's end call, the message pump, the API lock, tracked memory.
#include <cstdarg>
#include <cstring>

#include "orbel/core/api_lock.h"
#include "orbel/core/clock_random.h"
#include "orbel/core/library.h"
#include "orbel/core/library_internal.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/string_routines.h"
#include "orbel/core/system_report.h"
#include "orbel/file/file_access.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/image/soft_image.h"
#include "orbel/input/input_system.h"
#include "orbel/network/network_system.h"
#include "orbel/sound/sound_system.h"
#include "platform/win/kernel/system_info.h"
#include "platform/win/kernel/thread.h"

namespace orbel {

void RunEndSequence() {
  TerminateLogDisplay();
  DeleteAllHttpHandles();
  EndNetWork();
  StopCurrentMusic();
  if (gStarted.graphics) EndDirectDrawSystem();
  if (gStarted.input) EndInputSystem();
  if (gStarted.sound) EndSoundSystem();
  EndMainWindow();
  if (gLibrary.comStarted) {
    plat::CoUninitialize();
    LogAdd("ＣＯＭを終了... 完了\n");
    gLibrary.comStarted = 0;
  }
  DeleteAllSoftImages();
  gLibrary.initialised = 0;
  SetProcessorCounterSource(0, 0);

  if (!gSettings.windowless) {
    // With no window left the pump can do nothing more, so one call is enough.
    while (PumpWindowMessage() == 0 && !gLibrary.quit && gWindow.window != nullptr) {
    }
  }

  FileAccessSetDir(gLibrary.startupDirectory);
  TerminateArchiveManager();
  if (gStarted.report) EndSystemReport();
  gStarted = StartupProgress{};
  MemDump();
}

int EndLibrarySystem() {
  if (!gLibrary.initialised) return 0;
  gLibrary.ending = 1;
  gLibrary.endSequenceRunning = 1;
  RunEndSequence();
  gLibrary.endSequenceRunning = 0;
  return 0;
}

void ErrorExitLibrary(const char* message) {
  // The message, then a line end unless it brought its own (no empty stamped line).
  LogAdd(message);
  const size_t length = std::strlen(message);
  if (length == 0 || message[length - 1] != '\n') LogAdd("\n");
  // A fatal error raised by the end sequence itself must not start it again.
  if (!gLibrary.endSequenceRunning) EndLibrarySystem();
  TearDownApiLock();
  plat::ExitProcess(static_cast<plat::UINT>(-1));
}

void ErrorExitLibraryFormat(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(text, sizeof text, format, args);
  va_end(args);
  ErrorExitLibrary(text);
}

}  // namespace orbel
