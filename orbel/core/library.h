// Library start-up and shut-down: one call brings every subsystem up in a fixed order (file access, log,
// system report, COM, main window, input, sound, graphics) and one call takes them down again. A failing
// start-up ends what it had started. The fatal-error exit logs, ends the library and ends the process.
// Depends on: every subsystem's start and end calls; the API lock for the fatal exit.
#pragma once

namespace orbel {

// 0 on success (also when already started), -1 on failure.
int InitLibrarySystem();
// Always 0 (also when not started).
int EndLibrarySystem();
// Logs the message and a line end, ends the library, tears the API lock down and ends the process with
// exit code -1. Never returns.
[[noreturn]] void ErrorExitLibrary(const char* message);
[[noreturn]] void ErrorExitLibraryFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// 0 when COM was started now, -1 when it was already started or could not be.
int InitCOM();

int IsLibraryInitialised();

}  // namespace orbel
