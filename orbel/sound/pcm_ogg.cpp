// The Ogg Vorbis kind of the converter, through vorbisfile's callback interface over the converter's
// own copy of the source stream. One vorbisfile serves plain Ogg files and a movie's multiplexed
// stream alike, so the movie-sound flag changes nothing here.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>

#include "orbel/core/memory.h"
#include "orbel/sound/pcm_converter.h"
#include "orbel/sound/sound_state.h"

namespace orbel {

namespace {

constexpr const char* kTag = "sound";
constexpr uint32_t kOggChunkBytes = 4096;
// Holes (a lost or damaged page) are skipped by reading on; this many in a row end the data.
constexpr int kMaxHolesInARow = 64;

size_t ReadCallback(void* ptr, size_t size, size_t count, void* source) {
  if (source == nullptr) return static_cast<size_t>(-1);
  auto* s = static_cast<StreamData*>(source);
  return s->functions.Read(ptr, size, count, s->handle);
}

int SeekCallback(void* source, ogg_int64_t offset, int whence) {
  if (source == nullptr) return -1;
  auto* s = static_cast<StreamData*>(source);
  return s->functions.Seek(s->handle, static_cast<int32_t>(offset & 0xFFFFFFFF), whence);
}

int CloseCallback(void* source) { return source == nullptr ? -1 : 0; }

long TellCallback(void* source) {
  if (source == nullptr) return -1;
  auto* s = static_cast<StreamData*>(source);
  return s->functions.Tell(s->handle);
}

OggVorbis_File* File(PcmConverterRecord* conv) { return static_cast<OggVorbis_File*>(conv->ogg.file); }

}  // namespace

int OpenOggVorbisDecoder(PcmConverterRecord* conv) {
  OggConverterState& o = conv->ogg;
  o.open = 0;
  o.file = MemCalloc(sizeof(OggVorbis_File), kTag, __LINE__);
  if (o.file == nullptr) return -1;
  const ov_callbacks callbacks = {ReadCallback, SeekCallback, CloseCallback, TellCallback};
  if (ov_open_callbacks(&conv->source, File(conv), nullptr, 0, callbacks) != 0) {
    MemFree(o.file);  // a failed open has already cleared what it made
    o.file = nullptr;
    return -1;
  }
  o.open = 1;
  const vorbis_info* info = ov_info(File(conv), -1);
  if (info == nullptr || info->channels < 1 || info->channels > 255 || info->rate < 1) return -1;
  const uint32_t width = SoundState.oggSampleWidth ? SoundState.oggSampleWidth : 2;
  o.sampleWidth = width;
  plat::WAVEFORMATEX& f = conv->format;
  f.wFormatTag = plat::WAVE_FORMAT_PCM;
  f.nChannels = static_cast<uint16_t>(info->channels);
  f.nSamplesPerSec = static_cast<uint32_t>(info->rate);
  f.nBlockAlign = static_cast<uint16_t>(f.nChannels * width);
  f.wBitsPerSample = static_cast<uint16_t>(width * 8);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  f.cbSize = 0;
  if (!IsUsableFormat(f)) return -1;
  conv->capacity = kOggChunkBytes;
  conv->dataSize = GetOggVorbisByteLength(conv);
  conv->kind = kPcmKindOgg;
  return 0;
}

int DecodeOggVorbisChunk(PcmConverterRecord* conv) {
  const int width = static_cast<int>(conv->ogg.sampleWidth);
  for (int holes = 0; holes < kMaxHolesInARow; ++holes) {
    int bitstream = 0;
    const long got = ov_read(File(conv), reinterpret_cast<char*>(conv->buffer), static_cast<int>(conv->capacity), 0,
                             width, width != 1, &bitstream);
    if (got == OV_HOLE) continue;
    if (got <= 0) return -1;  // the end, or a bad link or stream: no more data
    conv->valid = static_cast<uint32_t>(std::min<long>(got, conv->capacity));
    return 0;
  }
  return -1;
}

int SeekOggVorbisDecoder(PcmConverterRecord* conv, uint32_t sample) {
  ov_pcm_seek(File(conv), sample);
  conv->valid = 0;
  conv->readOffset = 0;
  conv->position = conv->format.nBlockAlign * sample;
  return 0;
}

void CloseOggVorbisDecoder(PcmConverterRecord* conv) {
  OggConverterState& o = conv->ogg;
  if (o.open) ov_clear(File(conv));
  MemFree(o.file);
  o.file = nullptr;
  o.open = 0;
}

uint32_t GetOggVorbisByteLength(PcmConverterRecord* conv) {
  const ogg_int64_t total = ov_pcm_total(File(conv), -1);
  if (total <= 0) return 0;
  const uint64_t bytes = uint64_t{conv->format.nChannels} * conv->ogg.sampleWidth * static_cast<uint64_t>(total);
  return static_cast<uint32_t>(std::min<uint64_t>(bytes, kMaxPcmBytes));
}

}  // namespace orbel
