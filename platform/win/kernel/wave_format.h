// The wave format record shared by the audio stand-ins (DirectSound, the compression manager, the
// sequencer) and the tags the library uses. The records are byte-packed as a "fmt " chunk lays them
// out (18 bytes, codec data right after), because a compressed WAV's chunk is handed over whole as the
// codec's format block.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

constexpr WORD WAVE_FORMAT_PCM = 0x0001;
constexpr WORD WAVE_FORMAT_ADPCM = 0x0002;        // MS ADPCM
constexpr WORD WAVE_FORMAT_ALAW = 0x0006;
constexpr WORD WAVE_FORMAT_MULAW = 0x0007;
constexpr WORD WAVE_FORMAT_IMA_ADPCM = 0x0011;
constexpr WORD WAVE_FORMAT_MPEGLAYER3 = 0x0055;

#pragma pack(push, 1)
struct WAVEFORMATEX {
  WORD wFormatTag;
  WORD nChannels;
  DWORD nSamplesPerSec;
  DWORD nAvgBytesPerSec;
  WORD nBlockAlign;
  WORD wBitsPerSample;
  WORD cbSize;  // bytes of codec data that follow the record
};

// A codec's format is a WAVEFORMATEX followed by cbSize bytes; these views read them.
inline const BYTE* WaveFormatExtra(const WAVEFORMATEX* format) {
  return reinterpret_cast<const BYTE*>(format) + sizeof(WAVEFORMATEX);
}

constexpr WORD MPEGLAYER3_WFX_EXTRA_BYTES = 12;
constexpr WORD MPEGLAYER3_ID_MPEG = 1;
constexpr DWORD MPEGLAYER3_FLAG_PADDING_ISO = 0;
constexpr DWORD MPEGLAYER3_FLAG_PADDING_ON = 1;
constexpr DWORD MPEGLAYER3_FLAG_PADDING_OFF = 2;

struct MPEGLAYER3WAVEFORMAT {
  WAVEFORMATEX wfx;  // tag 0x55, block align 1, bits 0, cbSize 12
  WORD wID;
  DWORD fdwFlags;
  WORD nBlockSize;       // bytes of the first frame
  WORD nFramesPerBlock;  // 1
  WORD nCodecDelay;      // samples
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18 && sizeof(MPEGLAYER3WAVEFORMAT) == 30);

}  // namespace plat
