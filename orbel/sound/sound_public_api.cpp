// The public forwarders of the sound subsystem: they pass their arguments unchanged and return the
// implementation's result.
#include "orbel.h"

#include "orbel/sound/music.h"
#include "orbel/sound/sound_handle.h"

int LoadSoundFile(const char* path, int bufferCount, int ringShare) {
  return orbel::LoadSoundFile(path, bufferCount, ringShare);
}
int PlaySoundHandle(int handle, int playType, int top) { return orbel::PlaySoundHandle(handle, playType, top); }
int StopSoundHandle(int handle) { return orbel::StopSoundHandle(handle); }
int IsSoundHandlePlaying(int handle) { return orbel::IsSoundHandlePlaying(handle); }
int DeleteSoundHandle(int handle) { return orbel::DeleteSoundHandle(handle); }
int DeleteAllSoundHandles() { return orbel::DeleteAllSoundHandles(); }
int SetSoundCreateType(int type) { return orbel::SetSoundCreateType(type); }
int GetSoundCreateType() { return orbel::GetSoundCreateType(); }
int GetSoundSampleCount(int handle) { return orbel::GetSoundSampleCount(handle); }
int GetSoundTotalTimeMs(int handle) { return orbel::GetSoundTotalTimeMs(handle); }
int GetSoundCurrentTime(int handle) { return orbel::GetSoundCurrentTime(handle); }
int PlayMusicFile(const char* path, int playType) { return orbel::PlayMusicFile(path, playType); }
int StopCurrentMusic() { return static_cast<int>(orbel::StopCurrentMusic()); }
int IsMusicPlaying() { return orbel::IsMusicPlaying(); }
