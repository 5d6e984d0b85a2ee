// The compression manager's calls. Codecs arrive in the next steps; until then every conversion is
// refused as one the system has no codec for.
#include "platform/acm/acm.h"

namespace plat {

MMRESULT acmMetrics(HACMOBJ, UINT metric, void* value) {
  if (metric != ACM_METRIC_MAX_SIZE_FORMAT || value == nullptr) return MMSYSERR_INVALPARAM;
  *static_cast<DWORD*>(value) = sizeof(MPEGLAYER3WAVEFORMAT);
  return MMSYSERR_NOERROR;
}
MMRESULT acmFormatSuggest(HACMDRIVER, const WAVEFORMATEX*, WAVEFORMATEX*, DWORD, DWORD) { return ACMERR_NOTPOSSIBLE; }
MMRESULT acmStreamOpen(HACMSTREAM* stream, HACMDRIVER, const WAVEFORMATEX*, const WAVEFORMATEX*, WAVEFILTER*,
                       DWORD_PTR, DWORD_PTR, DWORD) {
  if (stream != nullptr) *stream = nullptr;
  return ACMERR_NOTPOSSIBLE;
}
MMRESULT acmStreamSize(HACMSTREAM, DWORD, DWORD*, DWORD) { return MMSYSERR_INVALHANDLE; }
MMRESULT acmStreamPrepareHeader(HACMSTREAM, ACMSTREAMHEADER*, DWORD) { return MMSYSERR_INVALHANDLE; }
MMRESULT acmStreamConvert(HACMSTREAM, ACMSTREAMHEADER*, DWORD) { return MMSYSERR_INVALHANDLE; }
MMRESULT acmStreamUnprepareHeader(HACMSTREAM, ACMSTREAMHEADER*, DWORD) { return MMSYSERR_INVALHANDLE; }
MMRESULT acmStreamClose(HACMSTREAM, DWORD) { return MMSYSERR_INVALHANDLE; }

}  // namespace plat
