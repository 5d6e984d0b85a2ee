// Sound buffers resampled ahead of the mix: a buffer whose rate is not the mix's has a conversion to
// 44,100 Hz, made when the buffer is made or its rate is set while it is stopped. Rates a half or a
// quarter of the mix's convert with libsoxr's low recipe (images over 120 dB down, for about a ninth
// of the cost of libsamplerate's cheapest sinc mode); others with that sinc mode (images over 95 dB
// down), as libsoxr costs more on small blocks at such ratios. Writing the buffer (an Unlock) only
// marks the blocks of the conversion that the written frames reach as stale; the mix
// converts a stale block when it first reads from it. A stream's refill therefore costs nothing on
// the caller's thread, a long first fill costs no more than what is played of it, and what is
// written again before it is played is converted once. Each block is converted from the source with
// the filter's reach on either side, so blocks meet without seams. Buffers are circular: the
// converter reads across the end of the buffer into its start (and back) at both edges of a block.
// Depends on libsamplerate, libsoxr and the wave format; knows nothing of cursors or voices.
#pragma once

#include <samplerate.h>
#include <soxr.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/win/kernel/wave_format.h"

namespace plat::dsound {

// Mix frames converted at a time: a 93 ms block, so that the filter's reach read on either side
// adds little to each.
constexpr int kPrepareBlockShift = 12;
constexpr uint32_t kPrepareBlock = 1u << kPrepareBlockShift;

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
  std::vector<float> samples;  // frames x channels, in the 16-bit range; only the mix touches them

  PreparedSound() = default;
  PreparedSound(const PreparedSound&) = delete;
  PreparedSound& operator=(const PreparedSound&) = delete;
  ~PreparedSound();

  // Source frames first .. first + count were written: the blocks whose mix frames they reach go stale.
  void MarkWritten(uint32_t first, uint32_t count, uint32_t sourceFrames);
  // Converts block `block` (mix frames block x kPrepareBlock on) from `data` if it is stale. The mix
  // calls this before it reads the block.
  void Ready(uint32_t block, const std::vector<uint8_t>& data, const WAVEFORMATEX& format);
  // Mix frames converted so far, the filter's reach at block edges excluded.
  uint64_t FramesConverted() const { return converted_.load(std::memory_order_relaxed); }

 private:
  friend class PreparedSet;
  std::mutex mutex_;            // stale_
  std::vector<uint8_t> stale_;  // one flag a block
  std::atomic<uint64_t> converted_{0};
  // The mix's side: the converter (one of the two), kept from block to block, and its work buffers.
  SRC_STATE* converter_ = nullptr;
  soxr_t soxr_ = nullptr;
  std::vector<float> in_;
  std::vector<float> out_;
};

// The conversions of one buffer's bytes, shared by the buffer and its duplicates as the bytes are.
class PreparedSet {
 public:
  // The conversion for `rate`, all of it stale (all zeros when `silent`: the buffer holds only
  // silence) when there is none yet; null when memory runs out or the buffer has been converted to
  // as many rates as a set keeps (it is then resampled in the mix).
  std::shared_ptr<PreparedSound> ForRate(uint32_t rate, const std::vector<uint8_t>& data, const WAVEFORMATEX& format,
                                         bool silent = false);
  // The conversion for `rate` if the set has it, else null.
  std::shared_ptr<PreparedSound> Find(uint32_t rate);
  // The source frames first .. first + count were written: marks what they reach stale in every
  // conversion held.
  void Refresh(const std::vector<uint8_t>& data, const WAVEFORMATEX& format, uint32_t first, uint32_t count);

 private:
  std::mutex mutex_;
  std::vector<std::shared_ptr<PreparedSound>> sounds_;
};

}  // namespace plat::dsound
