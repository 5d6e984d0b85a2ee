// Sound handles: the table, loading a sound file into one to ten DirectSound buffers (or a stream
// sound's ring), play, stop, queries and delete; and the thin wrappers over one buffer entry.
#pragma once

#include <cstdint>

#include "orbel/sound/sound_state.h"

namespace orbel {

// ---- Handles ------------------------------------------------------------------------------------
int AddSoundData(int32_t handle);
int SetSoundCreateType(int type);
int GetSoundCreateType();
int LoadSoundFile(const char* path, int bufferCount, int ringShare);
int CreateSoundFromFileImage(const void* image, uint32_t size, int bufferCount, int ringShare);
int LoadFileToMemory(const char* path, void** block, uint32_t* size);
int CreateSoundHandleBuffers(const plat::WAVEFORMATEX& format, uint32_t bytes, int kind, int count, int handle);
int PlaySoundHandle(int handle, int playType, int top);
int StopSoundHandle(int handle);
int IsSoundHandlePlaying(int handle);
int DeleteSoundHandle(int handle);
int DeleteAllSoundHandles();
int GetSoundSampleCount(int handle);
int GetSoundTotalTimeMs(int handle);
int GetSoundCurrentTime(int handle);

// Play types.
constexpr int kPlayWait = 0;
constexpr int kPlayBack = 1;
constexpr int kPlayLoop = 3;

// ---- Buffer entries: -1 when the entry's created flag is wrong for the call or DirectSound fails --
int CreateSoundBufferByDesc(SoundBufferEntry* entry, const plat::DSBUFFERDESC& desc);
int DuplicateSoundBufferEntry(SoundBufferEntry* entry, const SoundBufferEntry* source);
int ReleaseSoundBufferEntry(SoundBufferEntry* entry);
int SoundBufferPlay(SoundBufferEntry* entry, int loop);
int SoundBufferStop(SoundBufferEntry* entry);
int SoundBufferGetStatus(SoundBufferEntry* entry, uint32_t* status);
int SoundBufferLock(SoundBufferEntry* entry, uint32_t offset, uint32_t bytes, void** region1, uint32_t* bytes1,
                    void** region2, uint32_t* bytes2);
int SoundBufferUnlock(SoundBufferEntry* entry, void* region1, uint32_t bytes1, void* region2, uint32_t bytes2);
int SoundBufferSetCurrentPosition(SoundBufferEntry* entry, uint32_t position);
int SoundBufferGetCurrentPosition(SoundBufferEntry* entry, uint32_t* play);

// Formats exactly as given (no line end added) and writes it to the log; -1.
int SoundLogFmt(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orbel
