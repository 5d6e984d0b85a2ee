// The codecs behind the compression manager's streams. A codec turns whole source blocks into 16-bit
// PCM, never writing past the room it is given and reporting exactly what it used.
#pragma once

#include <memory>
#include <vector>

#include "platform/win/kernel/wave_format.h"

namespace plat::acm {

class Codec {
 public:
  virtual ~Codec() = default;
  // Decodes from `source` into `out` while whole blocks fit; *used / *made are the bytes taken / written.
  virtual void Convert(const BYTE* source, DWORD sourceBytes, BYTE* out, DWORD room, DWORD* used,
                       DWORD* made) = 0;
  // Output bytes for `sourceBytes` of source (exact for block codecs, an upper estimate for MPEG).
  virtual DWORD OutputBytes(DWORD sourceBytes) const = 0;
  // Source bytes needed for `outputBytes` of output.
  virtual DWORD SourceBytes(DWORD outputBytes) const = 0;
};

// `format` is followed by its cbSize bytes of codec data. Null when the format is not one the codec
// handles or is malformed (no channels, no block size, ...).
std::unique_ptr<Codec> MakeG711Codec(const WAVEFORMATEX* format);
std::unique_ptr<Codec> MakeImaAdpcmCodec(const WAVEFORMATEX* format);
std::unique_ptr<Codec> MakeMsAdpcmCodec(const WAVEFORMATEX* format);
std::unique_ptr<Codec> MakeMpegCodec(const WAVEFORMATEX* format);

// MPEG audio frame header (MPEG-1 and 2, Layers I-III; free format is not a frame here).
struct MpegFrame {
  int length;    // bytes
  int samples;   // per channel
  int rate;      // Hz
  int channels;  // 1 or 2
  int kbps;
};
bool ParseMpegFrame(const BYTE* header, MpegFrame* frame);

// Output bytes of 16-bit PCM for `frames` sample frames of `channels` channels.
inline DWORD PcmBytes(uint64_t frames, int channels) {
  const uint64_t bytes = frames * static_cast<uint64_t>(channels) * 2;
  return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<DWORD>(bytes);
}

}  // namespace plat::acm
