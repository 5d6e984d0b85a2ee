// The sound module's state: the DirectSound objects, the module settings, the refill list of stream
// sounds, the sound-handle table and its records. One block, owned by the sound module.
#pragma once

#include <cstdint>

#include "orbel/core/list.h"
#include "orbel/file/stream.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/sound/pcm_converter.h"
#include "platform/dsound/dsound.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

constexpr int kMaxSoundBuffers = 10;
constexpr int kMaxStreamEntries = 3;  // of the four entry slots, three are ever filled

// One DirectSound buffer of a sound (or, with software mixing, a memory block).
struct SoundBufferEntry {
  int32_t created;
  plat::IDirectSoundBuffer* buffer;
  void* memory;           // software mixing only
  int32_t playing;
  int32_t position;       // samples
  int32_t loop;
  int32_t reserved;
  int32_t volume;         // 255 at creation
  int32_t pan;            // -1 at creation
  int32_t length;         // samples (software mixing only)
  plat::WAVEFORMATEX format;
};

// One data entry of a stream sound.
struct StreamSoundDataEntry {
  uint8_t repeat;         // read as signed: -1 endless, 0..127 plays - 1, otherwise as 0
  int32_t mode;           // 0 PCM WAV image, 2 file image, 3 the caller's stream
  void* data;             // the WAV image (mode 0) or file image (mode 2)
  uint32_t dataSize;      // bytes
  StreamData memStream;   // over `data`; no handle in mode 3
  int32_t loopStart;      // samples (repeat -1)
  PcmConverterRecord converter;
};

struct SoundHandleRecord {
  uint32_t check;
  SoundBufferEntry buffers[kMaxSoundBuffers];
  plat::WAVEFORMATEX format;
  int32_t kind;              // 0 normal, 1 stream
  int32_t playType;          // of the last play (stream sounds)
  uint32_t lastPlayTime;     // ms
  // Stream sounds: ring sharing.
  int32_t ringOwner;         // handle whose ring this sound uses, -1 its own
  int32_t ringSharers;       // other sounds on this record's ring
  int32_t ringUser;          // handle playing this ring, -1 none
  int32_t deletePending;
  uint32_t ringSize;         // bytes (6 s)
  int32_t writePosition;     // bytes; kRingNeverFilled before the first fill
  int32_t guardPosition;     // bytes; -1 before the first fill
  StreamSoundDataEntry entries[kMaxStreamEntries + 1];
  uint8_t entrySourceFlags[kMaxStreamEntries + 1];
  int32_t entryCount;
  int32_t currentEntry;
  int32_t plays;             // of the current entry so far
  uint32_t conversionOffset; // bytes into the current entry
  int32_t totalSamples;
  uint32_t bytesPlayed;      // the stream clock
  uint32_t lastCursor;       // bytes
  uint8_t active;
  uint8_t endWritten;
  uint8_t loopWrapPending;
  uint8_t allFinished;
  uint32_t loopStartBytes;
  uint32_t endPosition;      // ring bytes
  uint32_t cursorAtEnd;      // ring bytes: the cursor when the end was written, then at each check since
  uint32_t loopPosition;     // ring bytes
  ListNode node;             // in the refill list
  // Normal sounds.
  uint32_t pcmSize;          // bytes
  void* pcm;
  int32_t skipFill[kMaxSoundBuffers];
  int32_t bufferCount;
  int32_t lastPlayedBuffer;
};

constexpr int32_t kRingNeverFilled = -800;

using SoundHandleTable = HandleTable<SoundHandleRecord, kHandleKindSound, kSoundHandleLimit>;

struct SoundSystemState {
  plat::IDirectSound* directSound;       // present exactly while the system is started
  plat::IDirectSoundBuffer* primaryBuffer;
  plat::IDirectSoundBuffer* silentBuffer;
  int32_t musicMode;                     // 0 MCI (the only road built)
  int32_t createType;                    // 0..3
  uint32_t oggSampleWidth;               // bytes
  int32_t movieSoundFlag;                // set by the movie player around loading a movie's sound
  int32_t softwareMix;                   // never switched on
  int32_t captureOn;                     // never switched on
  uint32_t captureFrames;
  plat::HANDLE captureFile;
  ListNode refillHead;
  ListNode refillTail;
  SoundHandleTable handles;
};

extern SoundSystemState SoundState;

inline bool SoundSystemStarted() { return SoundState.directSound != nullptr; }
inline SoundHandleRecord* LookupSound(int32_t handle) { return SoundState.handles.Lookup(handle); }

}  // namespace orbel
