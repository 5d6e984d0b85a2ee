// The sound subsystem as the core runtime sees it: start and end, the per-frame refill of stream sounds
// and music that the message pump runs, and the MIDI notice the window procedure hands on. These are the
// names the sound subsystem keeps; until it is built they are answered by sound_pending.cpp.
#pragma once

#include <cstdint>

namespace orbel {

// Starts DirectSound on the main window; start-up does not look at the result.
uint32_t InitSoundSystem();
int EndSoundSystem();
// Stops and deletes the current music (also public).
uint32_t StopCurrentMusic();
// Refills the buffers of every playing stream sound (every pump call, and while the pump waits).
int ServiceAllStreamSounds();
// Polls the play state of the music handles (every pump call).
int ServiceAllMusic();
// MM_MCINOTIFY of the MIDI sequencer: replays from the start in loop mode.
uint32_t ProcessMidiMciNotify();

}  // namespace orbel
