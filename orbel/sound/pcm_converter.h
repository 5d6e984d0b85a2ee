// The PCM converter: reads a sound file through a library stream and hands out PCM bytes in the
// sound's own sample width and channel layout, with seeking by sample and a total length. Four source
// kinds, tried in this order: PCM RIFF/WAVE, compressed RIFF/WAVE through the compression manager, Ogg
// Vorbis through vorbisfile, MP3 through the compression manager's MPEG Layer-3 codec.
#pragma once

#include <cstdint>

#include "orbel/file/stream.h"
#include "platform/acm/acm.h"

namespace orbel {

constexpr int32_t kPcmKindWave = 0;
constexpr int32_t kPcmKindAcm = 1;
constexpr int32_t kPcmKindOgg = 2;

// Bytes of a WAVEFORMATEX as files and comparisons see it (tag .. extra size).
constexpr uint32_t kWaveFormatBytes = 18;

// Whole conversions and data blocks beyond this are refused as malformed (bytes).
constexpr uint64_t kMaxPcmBytes = 1ull << 30;

struct AcmConverterState {
  uint8_t* sourceFormat;          // the source format block (WAVEFORMATEX or MPEGLAYER3WAVEFORMAT)
  plat::HACMSTREAM mainStream;
  plat::HACMSTREAM spareStream;   // kept at the start of the data for backward seeks
  uint8_t* sourceCopy;            // the whole compressed data
  uint32_t sourceCopySize;        // bytes
  uint32_t sourcePosition;        // main stream's bytes consumed
  int32_t totalSamples;           // -1 when not counted (compressed WAV)
  uint32_t spareSourcePosition;   // bytes
  uint32_t spareOutputPosition;   // bytes
  uint8_t* spareBuffer;           // capacity bytes
};

struct OggConverterState {
  int32_t open;
  void* file;            // vorbisfile's OggVorbis_File, a tracked block
  uint32_t sampleWidth;  // bytes per sample (W)
};

struct PcmConverterRecord {
  int32_t setUp;
  int32_t endOfData;
  int32_t kind;
  StreamData source;
  uint32_t fmtPosition;  // stream offset of the "fmt " chunk's data
  uint32_t fmtSize;      // bytes
  uint32_t dataStart;    // stream offset of the first audio byte
  uint32_t dataSize;     // bytes: PCM data, compressed data, or decoded Ogg length
  plat::WAVEFORMATEX format;  // output, always PCM
  AcmConverterState acm;
  OggConverterState ogg;
  uint8_t* buffer;       // output buffer
  uint32_t capacity;     // bytes
  uint32_t valid;        // bytes left to hand out
  uint32_t readOffset;   // bytes into the buffer
  uint32_t position;     // bytes of PCM from the start of the data
  uint32_t spareTarget;  // bytes (0: the spare stays at the start)
  int32_t vorbisBuild;   // the movie-sound flag when set up
};

// 0, or -1 when no kind accepts the source (no log line).
int SetupPcmConverter(const StreamData* source, PcmConverterRecord* conv);
// Bytes delivered (0 at the end), -1 when not set up.
int32_t ReadPcmConverter(PcmConverterRecord* conv, void* destination, uint32_t bytes);
int SeekPcmConverter(PcmConverterRecord* conv, uint32_t sample);
int TerminatePcmConverter(PcmConverterRecord* conv);
int GetPcmConverterFormat(const PcmConverterRecord* conv, plat::WAVEFORMATEX* out);
// PCM length in bytes (an estimate for compressed WAV, with room for Ogg).
uint32_t GetPcmConverterLength(PcmConverterRecord* conv);
// The whole source as PCM in a tracked block. 0 or -1.
int ConvertWholeToPcm(PcmConverterRecord* conv, plat::WAVEFORMATEX* format, void** block, uint32_t* size);
// The whole stream in a tracked block. 0 or -1 (logged when memory runs out).
int ReadStreamToMemory(const StreamData* source, void** block, uint32_t* size);
// A RIFF/WAVE image of the format (18 bytes) and data in a tracked block. 0 or -1.
int BuildWaveFileImage(void** image, uint32_t* imageSize, const plat::WAVEFORMATEX& format, const void* data,
                       uint32_t dataSize);

// A WAVEFORMATEX as the 18 little-endian bytes of a file, and back.
void EncodeWaveFormat(const plat::WAVEFORMATEX& format, uint8_t out[kWaveFormatBytes]);
void DecodeWaveFormat(const uint8_t* bytes, plat::WAVEFORMATEX* format);
// The same 18 bytes.
bool SameWaveFormat(const plat::WAVEFORMATEX& a, const plat::WAVEFORMATEX& b);
// A PCM format a sound buffer can play (1-2 channels, 8 or 16 bits, 100-200,000 Hz) with a byte rate.
bool IsUsableFormat(const plat::WAVEFORMATEX& format);

// The kinds, for the dispatch above.
int SetupPcmWaveConverter(PcmConverterRecord* conv);
int SetupAcmWaveConverter(PcmConverterRecord* conv);
int SetupMp3Converter(PcmConverterRecord* conv);
int OpenOggVorbisDecoder(PcmConverterRecord* conv);
int ReadPcmWaveChunk(PcmConverterRecord* conv);
int ConvertAcmChunk(PcmConverterRecord* conv);
int DecodeOggVorbisChunk(PcmConverterRecord* conv);
int SeekPcmWaveSource(PcmConverterRecord* conv, uint32_t sample);
int SeekAcmConverter(PcmConverterRecord* conv, uint32_t sample);
int SeekOggVorbisDecoder(PcmConverterRecord* conv, uint32_t sample);
void EndAcmConverter(PcmConverterRecord* conv);
void CloseOggVorbisDecoder(PcmConverterRecord* conv);
uint32_t GetOggVorbisByteLength(PcmConverterRecord* conv);
uint32_t GetAcmConverterLength(PcmConverterRecord* conv);

// The RIFF/WAVE header walk shared by both WAV kinds: "RIFF", "WAVE", "fmt " at once (its data read
// into `fmt`, at most `fmtCapacity` bytes kept), then the chunks up to "data". 0 or -1.
int ReadWaveHeader(PcmConverterRecord* conv, uint8_t* fmt, uint32_t fmtCapacity);

}  // namespace orbel
