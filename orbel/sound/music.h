// Music: MIDI file images in music handles played through the MCI sequencer from a temporary file,
// with the end-of-play notice replaying a looping song; and music by file name, which falls back to a
// stream sound when the sequencer refuses the file (MP3 and every other format).
#pragma once

#include <cstdint>

#include "orbel/graphics/handle_table.h"
#include "orbel/file/file_access.h"
#include "platform/mci/mci.h"

namespace orbel {

struct MusicHandleRecord {
  uint32_t check;
  int32_t playing;
  int32_t seenPlaying;       // the DirectMusic road's poll (unused here)
  uint8_t* image;            // private copy of the MIDI file
  uint32_t imageSize;        // bytes
  void* segment;             // the DirectMusic road's segment (none here)
  int32_t segmentLengthMs;
};

using MusicHandleTable = HandleTable<MusicHandleRecord, kHandleKindMusic, kMusicHandleLimit>;

struct MusicState {
  MusicHandleTable handles;
  int32_t mciPlaying;           // module-wide
  int32_t lastStarted;          // music handle last played
  char tempPath[kFilePathMax];  // the MIDI image written out for the sequencer
  plat::MCIDEVICEID device;
  int32_t loop;
  int32_t tempPresent;
  int32_t current;              // music of PlayMusicFile, 0 none
  int32_t currentKind;          // 0 music handle, 1 sound handle
};

extern MusicState Music;

int AddMusicData();
int CreateMusicFromMidiImage(const void* image, uint32_t size);
int LoadMusicMem(const char* path);
int PlayMusicHandle(int handle, int playType);
int StopMusicHandle(int handle);
int IsMusicHandlePlaying(int handle);
int DeleteMusicHandle(int handle);
int DeleteAllMusicHandles();
int ServiceAllMusic();
uint32_t ProcessMidiMciNotify();
int PlayMusicFile(const char* path, int playType);
uint32_t StopCurrentMusic();
int IsMusicPlaying();
// Deletes the temporary MIDI file when one is present.
void DeleteMusicTempFile();

}  // namespace orbel
