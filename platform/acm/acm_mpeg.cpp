// MPEG audio (tag 0x55) through libmpg123 in feed mode. Frames are found with our own header parser and
// fed one at a time, only while the room left can take a whole frame's output, so the source used is
// exact and the destination never overflows. Output is 16-bit at the stream's own rate and channels.
// Bytes that are no frame header (free-format frames, damage, tags) are skipped one at a time.
#include <mpg123.h>

#include <algorithm>
#include <mutex>

#include "platform/acm/acm_codec.h"

namespace plat::acm {

namespace {

// Bit rates in kbit/s by [MPEG-1 ? 0 : 1][layer - 1][index]; index 0 (free format) and 15 are no frames.
constexpr int kBitRates[2][3][16] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
constexpr int kRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { mpg123_init(); });
}

class MpegCodec final : public Codec {
 public:
  MpegCodec(int rate, int channels, DWORD avgBytesPerSecond)
      : rate_(rate), channels_(channels), avgBytesPerSecond_(avgBytesPerSecond) {
    InitLibrary();
    handle_ = mpg123_new(nullptr, nullptr);
    if (handle_ == nullptr) return;
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    // Every frame decodes to its full sample count, the encoder's information frame included (as
    // silence): the library counts samples as frames x samples per frame.
    mpg123_param(handle_, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    mpg123_param(handle_, MPG123_ADD_FLAGS, MPG123_IGNORE_INFOFRAME, 0);
    mpg123_format_none(handle_);
    mpg123_format(handle_, rate, channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(handle_) != MPG123_OK) {
      mpg123_delete(handle_);
      handle_ = nullptr;
    }
  }
  ~MpegCodec() override {
    if (handle_ != nullptr) mpg123_delete(handle_);
  }
  bool Ready() const { return handle_ != nullptr; }

  void Convert(const BYTE* source, DWORD sourceBytes, BYTE* out, DWORD room, DWORD* used, DWORD* made) override {
    DWORD u = 0;
    DWORD m = Drain(out, room);
    while (u + 4 <= sourceBytes) {
      MpegFrame frame;
      if (!ParseMpegFrame(source + u, &frame) || frame.rate != rate_) {
        ++u;
        continue;
      }
      if (sourceBytes - u < static_cast<DWORD>(frame.length)) {
        // A frame cut by the end of what was given: the rest comes next time, unless nothing else was
        // given, which makes it the damaged end of the data.
        if (u == 0 && m == 0) u = sourceBytes;
        break;
      }
      if (PcmBytes(frame.samples, channels_) > room - m) break;
      mpg123_feed(handle_, source + u, static_cast<size_t>(frame.length));
      u += static_cast<DWORD>(frame.length);
      m += Drain(out + m, room - m);
    }
    // Trailing bytes too short for a header are used up only when they are all there is.
    if (u < sourceBytes && sourceBytes - u < 4 && u == 0 && m == 0) u = sourceBytes;
    *used = u;
    *made = m;
  }

  DWORD OutputBytes(DWORD sourceBytes) const override {
    if (avgBytesPerSecond_ == 0) return 0;
    const uint64_t frames = uint64_t{sourceBytes} * static_cast<uint64_t>(rate_) / avgBytesPerSecond_ + 1152;
    return PcmBytes(frames, channels_);
  }
  DWORD SourceBytes(DWORD outputBytes) const override {
    const uint64_t frames = outputBytes / (2u * channels_);
    return static_cast<DWORD>(std::min<uint64_t>(frames * avgBytesPerSecond_ / static_cast<uint64_t>(rate_) + 1, 0xFFFFFFFFu));
  }

 private:
  // Takes what the decoder has ready, at most `room` bytes.
  DWORD Drain(BYTE* out, DWORD room) {
    DWORD made = 0;
    while (made < room) {
      size_t done = 0;
      const int result = mpg123_read(handle_, out + made, room - made, &done);
      made += static_cast<DWORD>(done);
      if (result == MPG123_NEW_FORMAT) continue;
      if (result != MPG123_OK || done == 0) break;
    }
    return made;
  }

  mpg123_handle* handle_ = nullptr;
  int rate_;
  int channels_;
  DWORD avgBytesPerSecond_;
};

}  // namespace

bool ParseMpegFrame(const BYTE* h, MpegFrame* frame) {
  if (h[0] != 0xFF || (h[1] & 0xF0) != 0xF0) return false;  // MPEG-2.5 (0xFFE) is not taken
  const int mpeg1 = (h[1] >> 3) & 1;
  const int layerBits = (h[1] >> 1) & 3;
  if (layerBits == 0) return false;
  const int layer = 4 - layerBits;
  const int rateIndex = (h[2] >> 2) & 3;
  const int bitRateIndex = h[2] >> 4;
  if (rateIndex == 3) return false;
  const int kbps = kBitRates[mpeg1 ? 0 : 1][layer - 1][bitRateIndex];
  if (kbps == 0) return false;
  const int rate = kRates[mpeg1 ? 0 : 1][rateIndex];
  const int padding = (h[2] >> 1) & 1;
  frame->rate = rate;
  frame->kbps = kbps;
  frame->channels = (h[3] >> 6) == 3 ? 1 : 2;
  if (layer == 1) {
    frame->length = (12 * kbps * 1000 / rate + padding) * 4;
    frame->samples = 384;
  } else if (layer == 3 && !mpeg1) {
    frame->length = 72 * kbps * 1000 / rate + padding;
    frame->samples = 576;
  } else {
    frame->length = 144 * kbps * 1000 / rate + padding;
    frame->samples = 1152;
  }
  return frame->length >= 4;
}

std::unique_ptr<Codec> MakeMpegCodec(const WAVEFORMATEX* f) {
  if (f->wFormatTag != WAVE_FORMAT_MPEGLAYER3) return nullptr;
  if (f->nChannels < 1 || f->nChannels > 2 || f->nSamplesPerSec == 0) return nullptr;
  auto codec = std::make_unique<MpegCodec>(static_cast<int>(f->nSamplesPerSec), f->nChannels, f->nAvgBytesPerSec);
  if (!codec->Ready()) return nullptr;
  return codec;
}

}  // namespace plat::acm
