// Sound buffers resampled ahead of the mix: a buffer whose rate is not the mix's is converted to
// 44,100 Hz once, with libsamplerate's sinc converter, when it is made or its rate is set while it is
// stopped, and again only over the region a Lock hands out, when that region is unlocked. The mix
// then reads the converted frames as they are. Buffers are circular, so the converter reads across
// the end of the buffer into its start (and back) at both edges of a region.
// Depends on libsamplerate and the wave format; knows nothing of cursors or voices.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win/wave_format.h"

namespace plat::dsound {

// Sample `channel` of one source frame (8- or 16-bit PCM), in the 16-bit range; a mono frame gives its
// one sample for either channel.
inline float SourceSample(const uint8_t* frame, const WAVEFORMATEX& format, int channel) {
  const int c = format.nChannels == 2 ? channel : 0;
  if (format.wBitsPerSample == 8) return static_cast<float>((frame[c] - 128) * 256);
  return static_cast<float>(static_cast<int16_t>(frame[2 * c] | (frame[2 * c + 1] << 8)));
}

// One buffer's frames at the mix rate, for one source rate.
struct PreparedSound {
  uint32_t rate = 0;          // the source rate it was converted from (Hz)
  uint32_t channels = 1;      // as the source: 1 or 2
  uint32_t frames = 0;        // mix-rate frames held: the source length x 44,100 / rate, rounded up
  uint64_t loopLength = 0;    // the exact source length in mix-rate frames, 32.32 fixed point
  std::vector<float> samples;  // frames x channels, in the 16-bit range
};

// The conversions of one buffer's bytes, shared by the buffer and its duplicates as the bytes are.
class PreparedSet {
 public:
  // The conversion for `rate`, made from the whole buffer when there is none yet (`silent`: the
  // buffer holds only silence, which converts to zeros); null when memory runs out or the buffer
  // has been converted to as many rates as a set keeps (it is then resampled in the mix).
  std::shared_ptr<PreparedSound> ForRate(uint32_t rate, const std::vector<uint8_t>& data, const WAVEFORMATEX& format,
                                         bool silent = false);
  // The conversion for `rate` if the set has it, else null.
  std::shared_ptr<PreparedSound> Find(uint32_t rate);
  // The source frames first .. first + count were written: converts them again for every rate held.
  void Refresh(const std::vector<uint8_t>& data, const WAVEFORMATEX& format, uint32_t first, uint32_t count);

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<PreparedSound>> sounds_;
};

// Source frames first .. first + count of `data` (circular, `format`) converted into the frames of
// `sound` they cover.
void ConvertRegion(PreparedSound& sound, const std::vector<uint8_t>& data, const WAVEFORMATEX& format, uint32_t first,
                   uint32_t count);

}  // namespace plat::dsound
