// The compression manager's calls over the codecs: format suggestions, streams, sizes and headers.
#include "platform/acm/acm.h"

#include <cstring>
#include <memory>

#include "platform/acm/acm_codec.h"

namespace plat {

struct AcmStream {
  std::unique_ptr<acm::Codec> codec;
  WAVEFORMATEX output{};
};

namespace {

using acm::Codec;

bool IsPcm16Of(const WAVEFORMATEX* out, const WAVEFORMATEX* in) {
  return out->wFormatTag == WAVE_FORMAT_PCM && out->wBitsPerSample == 16 && out->nChannels == in->nChannels &&
         out->nSamplesPerSec == in->nSamplesPerSec && out->nBlockAlign == 2 * in->nChannels;
}

std::unique_ptr<Codec> MakeCodec(const WAVEFORMATEX* f) {
  switch (f->wFormatTag) {
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      return acm::MakeG711Codec(f);
    case WAVE_FORMAT_IMA_ADPCM:
      return acm::MakeImaAdpcmCodec(f);
    case WAVE_FORMAT_ADPCM:
      return acm::MakeMsAdpcmCodec(f);
    case WAVE_FORMAT_MPEGLAYER3:
      return acm::MakeMpegCodec(f);
    default:
      return nullptr;
  }
}

bool HeaderFits(const AcmStream* s, const ACMSTREAMHEADER* h) {
  return s != nullptr && h != nullptr && h->cbStruct >= sizeof(ACMSTREAMHEADER) && h->pbSrc != nullptr &&
         h->pbDst != nullptr;
}

}  // namespace

MMRESULT acmMetrics(HACMOBJ, UINT metric, void* value) {
  if (value == nullptr) return MMSYSERR_INVALPARAM;
  if (metric != ACM_METRIC_MAX_SIZE_FORMAT) return MMSYSERR_NOTSUPPORTED;
  // The largest format record a codec here takes: MS ADPCM with its seven standard coefficient pairs.
  *static_cast<DWORD*>(value) = sizeof(WAVEFORMATEX) + 4 + 7 * 4;
  return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER, const WAVEFORMATEX* source, WAVEFORMATEX* destination, DWORD size,
                          DWORD flags) {
  if (source == nullptr || destination == nullptr || size < 16) return MMSYSERR_INVALPARAM;
  if ((flags & ACM_FORMATSUGGESTF_WFORMATTAG) != 0 && destination->wFormatTag != WAVE_FORMAT_PCM) {
    return ACMERR_NOTPOSSIBLE;
  }
  if (MakeCodec(source) == nullptr) return ACMERR_NOTPOSSIBLE;
  WAVEFORMATEX pcm{};
  pcm.wFormatTag = WAVE_FORMAT_PCM;
  pcm.nChannels = source->nChannels;
  pcm.nSamplesPerSec = source->nSamplesPerSec;
  pcm.wBitsPerSample = 16;
  pcm.nBlockAlign = static_cast<WORD>(2 * pcm.nChannels);
  pcm.nAvgBytesPerSec = pcm.nSamplesPerSec * pcm.nBlockAlign;
  pcm.cbSize = 0;
  // A 16-byte destination has no room for cbSize.
  std::memcpy(destination, &pcm, size >= sizeof(WAVEFORMATEX) ? sizeof(WAVEFORMATEX) : 16);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER, const WAVEFORMATEX* source, const WAVEFORMATEX* destination,
                       WAVEFILTER* filter, DWORD_PTR, DWORD_PTR, DWORD flags) {
  if (stream != nullptr) *stream = nullptr;
  if (source == nullptr || destination == nullptr || filter != nullptr) return MMSYSERR_INVALPARAM;
  if ((flags & ACM_STREAMOPENF_ASYNC) != 0) return MMSYSERR_INVALFLAG;
  if (!IsPcm16Of(destination, source)) return ACMERR_NOTPOSSIBLE;
  auto codec = MakeCodec(source);
  if (codec == nullptr) return ACMERR_NOTPOSSIBLE;
  if ((flags & ACM_STREAMOPENF_QUERY) != 0) return MMSYSERR_NOERROR;
  if (stream == nullptr) return MMSYSERR_INVALPARAM;
  auto* s = new AcmStream;
  s->codec = std::move(codec);
  s->output = *destination;
  *stream = s;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM stream, DWORD bytes, DWORD* result, DWORD flags) {
  if (stream == nullptr) return MMSYSERR_INVALHANDLE;
  if (result == nullptr) return MMSYSERR_INVALPARAM;
  if (flags == ACM_STREAMSIZEF_SOURCE) {
    *result = stream->codec->OutputBytes(bytes);
  } else if (flags == ACM_STREAMSIZEF_DESTINATION) {
    *result = stream->codec->SourceBytes(bytes);
  } else {
    return MMSYSERR_INVALFLAG;
  }
  return *result == 0 ? ACMERR_NOTPOSSIBLE : MMSYSERR_NOERROR;
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD) {
  if (stream == nullptr) return MMSYSERR_INVALHANDLE;
  if (!HeaderFits(stream, header)) return MMSYSERR_INVALPARAM;
  header->fdwStatus = (header->fdwStatus & ~ACMSTREAMHEADER_STATUSF_DONE) | ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD) {
  if (stream == nullptr) return MMSYSERR_INVALHANDLE;
  if (!HeaderFits(stream, header)) return MMSYSERR_INVALPARAM;
  if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) return ACMERR_UNPREPARED;
  DWORD used = 0;
  DWORD made = 0;
  stream->codec->Convert(header->pbSrc, header->cbSrcLength, header->pbDst, header->cbDstLength, &used, &made);
  header->cbSrcLengthUsed = used;
  header->cbDstLengthUsed = made;
  header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM stream, ACMSTREAMHEADER* header, DWORD) {
  if (stream == nullptr) return MMSYSERR_INVALHANDLE;
  if (header == nullptr) return MMSYSERR_INVALPARAM;
  if ((header->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) return ACMERR_UNPREPARED;
  header->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM stream, DWORD) {
  if (stream == nullptr) return MMSYSERR_INVALHANDLE;
  delete stream;
  return MMSYSERR_NOERROR;
}

}  // namespace plat
