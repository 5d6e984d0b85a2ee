// The sound subsystem as the rest of the library sees it: start and end, the per-frame refill of
// stream sounds and music that the message pump runs, the MIDI notice the window procedure hands on,
// and the sound-handle calls the movie player and the public layer use.
#pragma once

#include <cstdint>

namespace orbel {

// Starts DirectSound; start-up does not look at the result (0, -1 when already started or failed).
uint32_t InitSoundSystem();
// Deletes every sound and music handle and releases DirectSound. 0, -1 when not started.
int EndSoundSystem();
// Finishes the sound-capture file (capture is never switched on). 0, -1 when capture is off.
int EndSoundCapture();
// Stops and deletes the current music (also public).
uint32_t StopCurrentMusic();
// Refills the buffers of every playing stream sound (every pump call, and while the pump waits).
int ServiceAllStreamSounds();
// Polls the play state of the music handles (every pump call).
int ServiceAllMusic();
// MM_MCINOTIFY of the MIDI sequencer: replays from the start in loop mode.
uint32_t ProcessMidiMciNotify();

// Sound handles (see sound_handle.h for the whole set).
int LoadSoundFile(const char* path, int bufferCount, int ringShare);
int PlaySoundHandle(int handle, int playType, int top);
int StopSoundHandle(int handle);
int DeleteSoundHandle(int handle);
int GetSoundCurrentTime(int handle);
int SetSoundCreateType(int type);
int GetSoundCreateType();
// The movie-sound flag: 1 while a movie player loads the sound of an Ogg file that also carries
// other streams.
void SetMovieSoundFlag(int on);
int PlayMusicFile(const char* path, int playType);
int IsMusicPlaying();

}  // namespace orbel
