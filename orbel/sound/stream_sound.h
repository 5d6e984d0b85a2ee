// Stream sounds: sound handles whose data is converted on the fly into a six-second ring buffer that
// the message pump keeps three to four seconds ahead of the play cursor. Up to three data entries play
// in turn, each repeated or endless; stream sounds of one format may share a ring.
#pragma once

#include <cstdint>

#include "orbel/sound/sound_state.h"

namespace orbel {

// The working record of one refill: where the lock landed and how much of each region is written.
struct LockRegions {
  uint32_t offset;  // ring offset of the lock
  uint8_t* region1;
  uint8_t* region2;
  uint32_t length1;
  uint32_t length2;
  uint32_t done1;
  uint32_t done2;
  uint32_t left1;
  uint32_t left2;
};

int AddSreamSound(const StreamData& source, int repeat, int handle, int mode, int* callerMayClose, int ringShare);
int LoadStreamSoundFromFile(const char* path, int repeat, int handle, int mode, int ringShare);
int LoadStreamSoundFromWaveImage(const void* image, uint32_t size, int repeat, int handle, int mode, int ringShare);
int AcquireStreamSoundBuffer(int handle, SoundHandleRecord* record, SoundBufferEntry** entry, int takeOver);
int SetupStreamSoundPlay(int handle);
int PlayStreamSound(int handle, int playType, int top);
int StopStreamSound(int handle);
int IsStreamSoundPlaying(int handle);
int UpdateStreamSoundPosition(int handle, int32_t cursor);
int GetStreamSoundCurrentTime(int handle);
int ServiceStreamSound(int handle);
int ServiceAllStreamSounds();
uint32_t WriteStreamDataToRing(LockRegions* regions, PcmConverterRecord* converter, uint32_t bytes);
int AdvanceStreamSoundEntry(SoundHandleRecord* record, LockRegions* regions, uint32_t cursor);
void ClearSoundBufferData(SoundHandleRecord* record, LockRegions* regions, uint32_t bytes);
// Frees what one data entry holds (converter, data block, streams).
void ReleaseStreamEntry(SoundHandleRecord* record, int index);

}  // namespace orbel
