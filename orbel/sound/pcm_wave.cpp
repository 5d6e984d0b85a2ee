// The RIFF/WAVE header walk and the PCM WAV kind of the converter.
// Every field of the header is checked as it is read; a data chunk longer than the file is cut to what
// the file holds, so a truncated WAV ends early instead of playing stale bytes.
#include <algorithm>
#include <cstring>

#include "orbel/image/image_reader.h"
#include "orbel/sound/pcm_converter.h"

namespace orbel {

namespace {

constexpr uint32_t kMinSampleRate = 100;     // Hz, the sound buffers' range
constexpr uint32_t kMaxSampleRate = 200000;
constexpr uint32_t kMaxBytesPerSecond = 16u << 20;

bool ReadExact(StreamData* s, void* buffer, uint32_t size) {
  return s->functions.Read(buffer, 1, size, s->handle) == size;
}

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

// Moves the stream to an absolute offset that must fit the stream's 32-bit positions.
bool SeekTo(StreamData* s, uint64_t offset) {
  return offset <= 0x7FFFFFFF && s->functions.Seek(s->handle, static_cast<int32_t>(offset), 0) == 0;
}

}  // namespace

int ReadWaveHeader(PcmConverterRecord* conv, uint8_t* fmt, uint32_t fmtCapacity) {
  StreamData* s = &conv->source;
  uint8_t head[12];
  if (!ReadExact(s, head, 12) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
    return -1;
  uint8_t chunk[8];
  if (!ReadExact(s, chunk, 8) || std::memcmp(chunk, "fmt ", 4) != 0) return -1;
  conv->fmtSize = Le32(chunk + 4);
  conv->fmtPosition = static_cast<uint32_t>(s->functions.Tell(s->handle));
  std::memset(fmt, 0, fmtCapacity);
  const uint32_t kept = std::min(conv->fmtSize, fmtCapacity);
  if (!ReadExact(s, fmt, kept)) return -1;

  const int64_t streamSize = StreamBytesLeft(s) + s->functions.Tell(s->handle);
  uint64_t next = uint64_t{conv->fmtPosition} + conv->fmtSize + (conv->fmtSize & 1);
  for (;;) {
    if (!SeekTo(s, next) || !ReadExact(s, chunk, 8)) return -1;  // the end came before "data"
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      conv->dataStart = static_cast<uint32_t>(next + 8);
      const uint64_t held = streamSize > static_cast<int64_t>(conv->dataStart) ? streamSize - conv->dataStart : 0;
      conv->dataSize = static_cast<uint32_t>(std::min<uint64_t>(size, held));
      return 0;
    }
    next += 8 + uint64_t{size} + (size & 1);
  }
}

// Reads a WAVEFORMATEX from the first 18 bytes of a "fmt " chunk (little-endian, field by field).
void DecodeWaveFormat(const uint8_t* b, plat::WAVEFORMATEX* f) {
  ByteReader r(b, kWaveFormatBytes);
  f->wFormatTag = r.U16();
  f->nChannels = r.U16();
  f->nSamplesPerSec = r.U32();
  f->nAvgBytesPerSec = r.U32();
  f->nBlockAlign = r.U16();
  f->wBitsPerSample = r.U16();
  f->cbSize = r.U16();
}

void EncodeWaveFormat(const plat::WAVEFORMATEX& f, uint8_t out[kWaveFormatBytes]) {
  const uint16_t words[] = {f.wFormatTag, f.nChannels};
  const uint32_t longs[] = {f.nSamplesPerSec, f.nAvgBytesPerSec};
  const uint16_t tail[] = {f.nBlockAlign, f.wBitsPerSample, f.cbSize};
  uint8_t* p = out;
  for (uint16_t w : words) *p++ = static_cast<uint8_t>(w), *p++ = static_cast<uint8_t>(w >> 8);
  for (uint32_t l : longs)
    for (int i = 0; i < 4; ++i) *p++ = static_cast<uint8_t>(l >> (8 * i));
  for (uint16_t w : tail) *p++ = static_cast<uint8_t>(w), *p++ = static_cast<uint8_t>(w >> 8);
}

bool SameWaveFormat(const plat::WAVEFORMATEX& a, const plat::WAVEFORMATEX& b) {
  uint8_t x[kWaveFormatBytes], y[kWaveFormatBytes];
  EncodeWaveFormat(a, x);
  EncodeWaveFormat(b, y);
  return std::memcmp(x, y, sizeof x) == 0;
}

bool IsUsableFormat(const plat::WAVEFORMATEX& f) {
  // Only what a sound buffer can play: a format the buffer refuses would end the process when the
  // buffer is made, so it is refused here, where a load can still fail cleanly.
  const bool playable = (f.nChannels == 1 || f.nChannels == 2) && (f.wBitsPerSample == 8 || f.wBitsPerSample == 16) &&
                        f.nBlockAlign == f.nChannels * f.wBitsPerSample / 8 && f.nSamplesPerSec >= kMinSampleRate &&
                        f.nSamplesPerSec <= kMaxSampleRate;
  return playable && f.nAvgBytesPerSec != 0 && f.nAvgBytesPerSec <= kMaxBytesPerSecond;
}

int SetupPcmWaveConverter(PcmConverterRecord* conv) {
  uint8_t fmt[kWaveFormatBytes];
  if (ReadWaveHeader(conv, fmt, sizeof fmt) != 0) return -1;
  plat::WAVEFORMATEX f{};
  DecodeWaveFormat(fmt, &f);
  if (f.wFormatTag != plat::WAVE_FORMAT_PCM) return -1;
  // A stated sample width other than 8 or 16 bits cannot be played, whatever the block align says;
  // only 0 leaves a 16-byte chunk's width to the block align.
  if (f.wBitsPerSample != 0 && f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return -1;
  if (conv->fmtSize == 16) {
    f.cbSize = 0;
    if (f.nChannels != 0) f.wBitsPerSample = static_cast<uint16_t>(f.nBlockAlign / f.nChannels * 8);
  }
  if (!IsUsableFormat(f)) return -1;
  conv->format = f;
  conv->capacity = f.nAvgBytesPerSec;
  conv->kind = kPcmKindWave;
  return 0;
}

int ReadPcmWaveChunk(PcmConverterRecord* conv) {
  StreamData* s = &conv->source;
  const int32_t here = s->functions.Tell(s->handle);
  if (here < static_cast<int32_t>(conv->dataStart)) return -1;
  const uint32_t position = static_cast<uint32_t>(here) - conv->dataStart;
  if (position >= conv->dataSize) return -1;
  const uint32_t want = std::min(conv->dataSize - position, conv->capacity);
  const size_t got = s->functions.Read(conv->buffer, 1, want, s->handle);
  if (got == 0) return -1;  // a short file ends the data rather than spinning on empty fills
  conv->valid = static_cast<uint32_t>(got);
  return 0;
}

int SeekPcmWaveSource(PcmConverterRecord* conv, uint32_t sample) {
  const uint64_t offset = std::min<uint64_t>(uint64_t{conv->format.nBlockAlign} * sample, conv->dataSize);
  SeekTo(&conv->source, conv->dataStart + offset);
  conv->position = static_cast<uint32_t>(offset);
  conv->valid = 0;
  conv->readOffset = 0;
  return 0;
}

}  // namespace orbel
