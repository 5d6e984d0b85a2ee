// The compression-manager kinds of the converter: compressed RIFF/WAVE (ADPCM, A-law, mu-law, ...) and
// MP3. The whole compressed data is held in memory and fed to a main conversion stream chunk by
// chunk; a spare stream stays at the start of the data, so a backward seek costs one stream swap.
#include <algorithm>
#include <cstring>

#include "orbel/core/memory.h"
#include "orbel/sound/mp3_frame.h"
#include "orbel/sound/pcm_converter.h"

namespace orbel {

namespace {

constexpr const char* kTag = "sound";
constexpr uint32_t kChunkSourceBytes = 2048;
constexpr uint32_t kSpareLead = 10240;       // bytes the spare may trail its target by
constexpr uint32_t kMaxFormatChunk = 1024;   // a "fmt " chunk larger than this is not a codec format

const plat::WAVEFORMATEX* SourceFormat(const PcmConverterRecord* conv) {
  return reinterpret_cast<const plat::WAVEFORMATEX*>(conv->acm.sourceFormat);
}

int OpenStream(PcmConverterRecord* conv, plat::HACMSTREAM* stream) {
  *stream = nullptr;
  return plat::acmStreamOpen(stream, nullptr, SourceFormat(conv), &conv->format, nullptr, 0, 0,
                             plat::ACM_STREAMOPENF_NONREALTIME) == plat::MMSYSERR_NOERROR
             ? 0
             : -1;
}

void CloseStream(plat::HACMSTREAM* stream) {
  if (*stream != nullptr) plat::acmStreamClose(*stream, 0);
  *stream = nullptr;
}

// Converts one chunk of source from `*sourcePosition` into `out`. The output bytes, 0 at the end
// (a prepare or conversion failure counts as the end).
uint32_t ConvertOneChunk(PcmConverterRecord* conv, plat::HACMSTREAM stream, uint32_t* sourcePosition, uint8_t* out) {
  AcmConverterState& a = conv->acm;
  if (*sourcePosition >= a.sourceCopySize) return 0;
  // A whole block must fit one chunk, or a codec with large blocks would never produce anything.
  const uint32_t chunk = std::max<uint32_t>(kChunkSourceBytes, SourceFormat(conv)->nBlockAlign);
  plat::ACMSTREAMHEADER h{};
  h.cbStruct = sizeof h;
  h.pbSrc = a.sourceCopy + *sourcePosition;
  h.cbSrcLength = std::min(chunk, a.sourceCopySize - *sourcePosition);
  h.pbDst = out;
  h.cbDstLength = conv->capacity;
  if (plat::acmStreamPrepareHeader(stream, &h, 0) != plat::MMSYSERR_NOERROR) return 0;
  const bool converted = plat::acmStreamConvert(stream, &h, plat::ACM_STREAMCONVERTF_BLOCKALIGN) == plat::MMSYSERR_NOERROR;
  plat::acmStreamUnprepareHeader(stream, &h, 0);
  if (!converted) return 0;
  *sourcePosition += std::min(h.cbSrcLengthUsed, h.cbSrcLength);
  return std::min(h.cbDstLengthUsed, conv->capacity);
}

// Output format, source copy, both streams and the buffers, once the source format block is in place.
// The buffers hold `thirds` / 3 seconds of output.
int FinishAcmSetup(PcmConverterRecord* conv, uint32_t thirds) {
  AcmConverterState& a = conv->acm;
  plat::WAVEFORMATEX out{};
  out.wFormatTag = plat::WAVE_FORMAT_PCM;
  if (plat::acmFormatSuggest(nullptr, SourceFormat(conv), &out, sizeof out, plat::ACM_FORMATSUGGESTF_WFORMATTAG) !=
          plat::MMSYSERR_NOERROR ||
      out.wFormatTag != plat::WAVE_FORMAT_PCM || !IsUsableFormat(out))
    return -1;
  conv->format = out;
  const uint32_t capacity = static_cast<uint32_t>(uint64_t{out.nAvgBytesPerSec} * thirds / 3);
  if (conv->dataSize > kMaxPcmBytes) return -1;
  StreamData* s = &conv->source;
  a.sourceCopy = static_cast<uint8_t*>(MemAlloc(conv->dataSize ? conv->dataSize : 1, kTag, __LINE__));
  if (a.sourceCopy == nullptr || s->functions.Seek(s->handle, static_cast<int32_t>(conv->dataStart), 0) != 0)
    return -1;
  a.sourceCopySize = static_cast<uint32_t>(s->functions.Read(a.sourceCopy, 1, conv->dataSize, s->handle));
  if (a.sourceCopySize == 0) return -1;
  s->functions.Seek(s->handle, static_cast<int32_t>(conv->dataStart), 0);
  a.sourcePosition = 0;
  if (OpenStream(conv, &a.mainStream) != 0 || OpenStream(conv, &a.spareStream) != 0) return -1;
  conv->capacity = capacity;
  a.spareBuffer = static_cast<uint8_t*>(MemAlloc(capacity, kTag, __LINE__));
  if (a.spareBuffer == nullptr) return -1;
  conv->kind = kPcmKindAcm;
  return 0;
}

}  // namespace

int SetupAcmWaveConverter(PcmConverterRecord* conv) {
  AcmConverterState& a = conv->acm;
  a.totalSamples = -1;
  uint8_t fmt[kMaxFormatChunk];
  if (ReadWaveHeader(conv, fmt, sizeof fmt) != 0 || conv->fmtSize > kMaxFormatChunk) return -1;
  const uint32_t blockSize = std::max(conv->fmtSize, kWaveFormatBytes);
  a.sourceFormat = static_cast<uint8_t*>(MemCalloc(blockSize, kTag, __LINE__));
  if (a.sourceFormat == nullptr) return -1;
  std::memcpy(a.sourceFormat, fmt, conv->fmtSize);
  plat::WAVEFORMATEX* src = reinterpret_cast<plat::WAVEFORMATEX*>(a.sourceFormat);
  if (conv->fmtSize < kWaveFormatBytes) {
    src->cbSize = 0;
    if (src->nChannels != 0) src->wBitsPerSample = static_cast<uint16_t>(src->nBlockAlign / src->nChannels * 8);
  } else {
    // The codec reads cbSize bytes after the record: never more than the chunk holds.
    src->cbSize = static_cast<uint16_t>(std::min<uint32_t>(src->cbSize, conv->fmtSize - kWaveFormatBytes));
  }
  if (src->nChannels == 0 || src->nBlockAlign == 0) return -1;
  return FinishAcmSetup(conv, 3);
}

int SetupMp3Converter(PcmConverterRecord* conv) {
  Mp3ScanResult scan;
  if (ScanMp3Stream(&conv->source, &scan) != 0) return -1;
  AcmConverterState& a = conv->acm;
  a.totalSamples = static_cast<int32_t>(std::min<int64_t>(scan.totalSamples, 0x7FFFFFFF));
  plat::DWORD formatBytes = sizeof(plat::MPEGLAYER3WAVEFORMAT);
  plat::acmMetrics(nullptr, plat::ACM_METRIC_MAX_SIZE_FORMAT, &formatBytes);
  formatBytes = std::max<plat::DWORD>(formatBytes, sizeof(plat::MPEGLAYER3WAVEFORMAT));
  a.sourceFormat = static_cast<uint8_t*>(MemCalloc(formatBytes, kTag, __LINE__));
  if (a.sourceFormat == nullptr) return -1;
  auto* mp3 = reinterpret_cast<plat::MPEGLAYER3WAVEFORMAT*>(a.sourceFormat);
  const Mp3FrameHeader& f = scan.first;
  mp3->wfx.wFormatTag = plat::WAVE_FORMAT_MPEGLAYER3;
  mp3->wfx.nChannels = static_cast<uint16_t>(f.channels);
  mp3->wfx.nSamplesPerSec = f.rate;
  mp3->wfx.nAvgBytesPerSec = f.kbps * 1000 / 8;
  mp3->wfx.nBlockAlign = 1;
  mp3->wfx.wBitsPerSample = 0;
  mp3->wfx.cbSize = plat::MPEGLAYER3_WFX_EXTRA_BYTES;
  mp3->wID = plat::MPEGLAYER3_ID_MPEG;
  mp3->fdwFlags = f.padding ? plat::MPEGLAYER3_FLAG_PADDING_ON : plat::MPEGLAYER3_FLAG_PADDING_ISO;
  mp3->nBlockSize = static_cast<uint16_t>(f.frameBytes);
  mp3->nFramesPerBlock = 1;
  mp3->nCodecDelay = 700;
  conv->dataStart = scan.firstFrame;
  conv->dataSize = scan.lastEnd - scan.firstFrame;
  return FinishAcmSetup(conv, 4);
}

int ConvertAcmChunk(PcmConverterRecord* conv) {
  AcmConverterState& a = conv->acm;
  if (a.spareOutputPosition > conv->spareTarget) {
    CloseStream(&a.spareStream);
    OpenStream(conv, &a.spareStream);
    a.spareSourcePosition = 0;
    a.spareOutputPosition = 0;
  }
  while (a.spareStream != nullptr && uint64_t{a.spareOutputPosition} + kSpareLead < conv->spareTarget) {
    const uint32_t n = ConvertOneChunk(conv, a.spareStream, &a.spareSourcePosition, a.spareBuffer);
    if (n == 0) break;
    a.spareOutputPosition += n;
  }
  if (a.sourcePosition >= a.sourceCopySize) return -1;
  conv->valid = ConvertOneChunk(conv, a.mainStream, &a.sourcePosition, conv->buffer);
  if (conv->valid == 0) {
    a.sourcePosition = a.sourceCopySize;
    return -1;
  }
  return 0;
}

int SeekAcmConverter(PcmConverterRecord* conv, uint32_t sample) {
  AcmConverterState& a = conv->acm;
  const uint32_t target = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{conv->format.nBlockAlign} * sample, 0xFFFFFFFFu));
  if (target < conv->position) {
    if (target < a.spareOutputPosition) {
      CloseStream(&a.mainStream);
      OpenStream(conv, &a.mainStream);
      a.sourcePosition = 0;
      conv->position = 0;
    } else {
      // The spare, waiting at the start, takes over; the old main becomes the new spare.
      std::swap(a.mainStream, a.spareStream);
      a.sourcePosition = a.spareSourcePosition;
      conv->position = a.spareOutputPosition;
      CloseStream(&a.spareStream);
      OpenStream(conv, &a.spareStream);
      a.spareSourcePosition = 0;
      a.spareOutputPosition = 0;
    }
    conv->valid = 0;
    conv->readOffset = 0;
  }
  conv->endOfData = 0;
  for (;;) {
    if (target - conv->position < conv->valid) {
      const uint32_t skip = target - conv->position;
      conv->readOffset += skip;
      conv->valid -= skip;
      conv->position = target;
      return 0;
    }
    conv->position += conv->valid;
    conv->valid = 0;
    conv->readOffset = 0;
    if (conv->position == target) return 0;
    if (ConvertAcmChunk(conv) != 0) {
      conv->valid = 0;
      conv->endOfData = 1;
      return 0;
    }
  }
}

uint32_t GetAcmConverterLength(PcmConverterRecord* conv) {
  const AcmConverterState& a = conv->acm;
  if (a.totalSamples >= 0) {
    return static_cast<uint32_t>(std::min<uint64_t>(uint64_t(a.totalSamples) * conv->format.nBlockAlign, kMaxPcmBytes));
  }
  plat::DWORD out = 0;
  if (a.mainStream == nullptr ||
      plat::acmStreamSize(a.mainStream, a.sourceCopySize, &out, plat::ACM_STREAMSIZEF_SOURCE) != plat::MMSYSERR_NOERROR)
    return 0;
  return static_cast<uint32_t>(std::min<uint64_t>(out, kMaxPcmBytes));
}

void EndAcmConverter(PcmConverterRecord* conv) {
  AcmConverterState& a = conv->acm;
  CloseStream(&a.mainStream);
  CloseStream(&a.spareStream);
  MemFree(a.sourceFormat);
  MemFree(a.spareBuffer);
  MemFree(a.sourceCopy);
  std::memset(&a, 0, sizeof a);
}

}  // namespace orbel
