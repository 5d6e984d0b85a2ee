// The PCM converter's kind-independent half: set-up by trying each kind in turn, buffered reads,
// seeking, whole conversion, and the memory helpers (stream to memory, WAV image in memory).
#include "orbel/sound/pcm_converter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/image/image_reader.h"
#include "orbel/sound/sound_state.h"

namespace orbel {

namespace {

constexpr const char* kTag = "sound";

// The fill of the converter's kind: 0, or -1 at the end of the data.
int FillByKind(PcmConverterRecord* conv) {
  switch (conv->kind) {
    case kPcmKindWave: return ReadPcmWaveChunk(conv);
    case kPcmKindAcm: return ConvertAcmChunk(conv);
    case kPcmKindOgg: return DecodeOggVorbisChunk(conv);
    default: return -1;
  }
}

void PutLe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

bool Rewind(PcmConverterRecord* conv) { return conv->source.functions.Seek(conv->source.handle, 0, 0) == 0; }

// True when the source yields at least one sample frame. A PCM WAV is judged by its data size; the
// other kinds decode their first chunk into the buffer, where the first read finds it.
bool HasSamples(PcmConverterRecord* conv) {
  const uint32_t frame = conv->format.nBlockAlign;
  if (frame == 0) return false;
  if (conv->kind == kPcmKindWave) return conv->dataSize >= frame;
  if (FillByKind(conv) != 0) conv->valid = 0;
  return conv->valid >= frame;
}

// Frees whatever a failed kind left behind, so the next kind starts from a clean record.
void DropKindState(PcmConverterRecord* conv) {
  EndAcmConverter(conv);
  CloseOggVorbisDecoder(conv);
  std::memset(&conv->format, 0, sizeof conv->format);
  conv->capacity = 0;
}

}  // namespace

int SetupPcmConverter(const StreamData* source, PcmConverterRecord* conv) {
  std::memset(conv, 0, sizeof *conv);
  conv->vorbisBuild = SoundState.movieSoundFlag;
  conv->source = *source;
  conv->spareTarget = 0;
  using Setup = int (*)(PcmConverterRecord*);
  constexpr Setup kKinds[] = {SetupPcmWaveConverter, SetupAcmWaveConverter, OpenOggVorbisDecoder, SetupMp3Converter};
  bool accepted = false;
  for (Setup setup : kKinds) {
    if (!Rewind(conv)) break;
    if (setup(conv) == 0) {
      accepted = true;
      break;
    }
    DropKindState(conv);
  }
  if (!accepted) return -1;
  conv->setUp = 0;
  conv->endOfData = 0;
  conv->buffer = static_cast<uint8_t*>(MemAlloc(conv->capacity, kTag, __LINE__));
  if (conv->buffer == nullptr) {
    DropKindState(conv);
    return -1;
  }
  conv->valid = 0;
  conv->readOffset = 0;
  conv->position = 0;
  // A sound without one whole sample would make an empty buffer, which cannot be played or created.
  if (!HasSamples(conv)) {
    LogAdd("音声データにサンプルがありません\n");
    MemFree(conv->buffer);
    conv->buffer = nullptr;
    DropKindState(conv);
    return -1;
  }
  conv->setUp = 1;
  return 0;
}

int32_t ReadPcmConverter(PcmConverterRecord* conv, void* destination, uint32_t bytes) {
  if (!conv->setUp) return -1;
  if (conv->endOfData) return 0;
  uint8_t* out = static_cast<uint8_t*>(destination);
  uint32_t delivered = 0;
  while (delivered < bytes) {
    if (conv->valid == 0) {
      conv->readOffset = 0;
      if (FillByKind(conv) != 0 || conv->valid == 0) {
        conv->valid = 0;
        conv->endOfData = 1;
        break;
      }
    }
    const uint32_t n = std::min(conv->valid, bytes - delivered);
    std::memcpy(out + delivered, conv->buffer + conv->readOffset, n);
    conv->position += n;
    conv->readOffset += n;
    conv->valid -= n;
    delivered += n;
  }
  return static_cast<int32_t>(delivered);
}

int SeekPcmConverter(PcmConverterRecord* conv, uint32_t sample) {
  if (!conv->setUp) return 0;
  const int64_t target = int64_t{conv->format.nBlockAlign} * sample;
  // A seek to the start after the end always rewinds, or an entry shorter than the tolerance would
  // never play again.
  const bool rewindAfterEnd = sample == 0 && conv->endOfData;
  if (!rewindAfterEnd && std::llabs(target - int64_t{conv->position}) < 16) return 0;
  switch (conv->kind) {
    case kPcmKindWave: SeekPcmWaveSource(conv, sample); break;
    case kPcmKindAcm: SeekAcmConverter(conv, sample); return 0;  // sets the end flag itself
    case kPcmKindOgg: SeekOggVorbisDecoder(conv, sample); break;
    default: break;
  }
  conv->endOfData = 0;
  return 0;
}

int TerminatePcmConverter(PcmConverterRecord* conv) {
  if (!conv->setUp) return -1;
  MemFree(conv->buffer);
  conv->buffer = nullptr;
  EndAcmConverter(conv);
  CloseOggVorbisDecoder(conv);
  conv->setUp = 0;
  return 0;
}

int GetPcmConverterFormat(const PcmConverterRecord* conv, plat::WAVEFORMATEX* out) {
  *out = conv->format;
  return 0;
}

uint32_t GetPcmConverterLength(PcmConverterRecord* conv) {
  switch (conv->kind) {
    case kPcmKindWave: return conv->dataSize;
    case kPcmKindAcm: return GetAcmConverterLength(conv);
    case kPcmKindOgg: {
      // Room for 44,100 samples beyond the stated total: a whole conversion never stops short.
      const uint64_t bytes = uint64_t{GetOggVorbisByteLength(conv)} +
                             uint64_t{conv->format.nChannels} * 44100 * conv->ogg.sampleWidth;
      return static_cast<uint32_t>(std::min<uint64_t>(bytes, kMaxPcmBytes));
    }
    default: return 0;
  }
}

int ConvertWholeToPcm(PcmConverterRecord* conv, plat::WAVEFORMATEX* format, void** block, uint32_t* size) {
  const uint32_t length = GetPcmConverterLength(conv);
  if (length > kMaxPcmBytes) return -1;
  uint8_t* pcm = static_cast<uint8_t*>(MemAlloc(length ? length : 1, kTag, __LINE__));
  if (pcm == nullptr) return -1;
  if (conv->kind == kPcmKindWave) {
    // Straight from the stream; the size is what the file really held.
    StreamData* s = &conv->source;
    SeekPcmConverter(conv, 0);
    s->functions.Seek(s->handle, static_cast<int32_t>(conv->dataStart), 0);
    *size = static_cast<uint32_t>(s->functions.Read(pcm, 1, length, s->handle));
  } else {
    SeekPcmConverter(conv, 0);
    const int32_t got = ReadPcmConverter(conv, pcm, length);
    *size = got > 0 ? static_cast<uint32_t>(got) : 0;
  }
  *format = conv->format;
  *block = pcm;
  return 0;
}

int ReadStreamToMemory(const StreamData* source, void** block, uint32_t* size) {
  StreamData s = *source;
  if (s.functions.Seek(s.handle, 0, 2) != 0) return -1;
  const int32_t length = s.functions.Tell(s.handle);
  if (length < 0 || s.functions.Seek(s.handle, 0, 0) != 0) return -1;
  void* data = MemAlloc(static_cast<uint32_t>(length ? length : 1), kTag, __LINE__);
  if (data == nullptr) {
    LogAdd("ストリームの読み込みに必要なメモリの確保に失敗しました");
    return -1;
  }
  *size = static_cast<uint32_t>(s.functions.Read(data, 1, static_cast<size_t>(length), s.handle));
  *block = data;
  return 0;
}

int BuildWaveFileImage(void** image, uint32_t* imageSize, const plat::WAVEFORMATEX& format, const void* data,
                       uint32_t dataSize) {
  constexpr uint32_t formatSize = kWaveFormatBytes;
  const uint64_t total = uint64_t{formatSize} + dataSize + 28;
  if (total > 0xFFFFFFFFu) return -1;
  uint8_t* p = static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(total), kTag, __LINE__));
  if (p == nullptr) return -1;
  std::memcpy(p, "RIFF", 4);
  PutLe32(p + 4, static_cast<uint32_t>(total - 8));
  std::memcpy(p + 8, "WAVEfmt ", 8);
  PutLe32(p + 16, formatSize);
  EncodeWaveFormat(format, p + 20);
  std::memcpy(p + 20 + formatSize, "data", 4);
  PutLe32(p + 24 + formatSize, dataSize);
  if (dataSize) std::memcpy(p + 28 + formatSize, data, dataSize);
  *image = p;
  *imageSize = static_cast<uint32_t>(total);
  return 0;
}

}  // namespace orbel
