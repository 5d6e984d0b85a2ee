// Shared between start-up and shut-down: which start-up steps have succeeded, so that a failing
// start-up and the end sequence end exactly what was started.
#pragma once

namespace orbel {

struct StartupProgress {
  int report;    // the system report ran (it raised the timer period)
  int window;    // the main window exists
  int input;     // the input system started
  int sound;     // the sound system started
  int graphics;  // the graphics system started
};

extern StartupProgress gStarted;

// The end sequence proper (steps after the initialised test): ends what `gStarted` says was started,
// pumps until the window is gone, restores the start-up directory, closes unused archives and lists
// the tracked blocks still held.
void RunEndSequence();

}  // namespace orbel
