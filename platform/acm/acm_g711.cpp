// A-law and mu-law (G.711): one byte per sample, expanded to 16 bits.
#include <algorithm>
#include <array>

#include "platform/acm/acm_codec.h"

namespace plat::acm {
namespace {

int16_t ALawToLinear(uint8_t a) {
  a ^= 0x55;
  int t = (a & 0x0F) << 4;
  const int segment = (a & 0x70) >> 4;
  if (segment == 0) {
    t += 8;
  } else {
    t += 0x108;
    t <<= segment - 1;
  }
  return static_cast<int16_t>((a & 0x80) != 0 ? t : -t);
}

int16_t MuLawToLinear(uint8_t u) {
  u = static_cast<uint8_t>(~u);
  int t = ((u & 0x0F) << 3) + 0x84;
  t <<= (u & 0x70) >> 4;
  return static_cast<int16_t>((u & 0x80) != 0 ? 0x84 - t : t - 0x84);
}

class G711Codec final : public Codec {
 public:
  G711Codec(bool alaw, int channels) : channels_(channels) {
    for (int i = 0; i < 256; ++i) table_[i] = alaw ? ALawToLinear(static_cast<uint8_t>(i)) : MuLawToLinear(static_cast<uint8_t>(i));
  }

  void Convert(const BYTE* source, DWORD sourceBytes, BYTE* out, DWORD room, DWORD* used, DWORD* made) override {
    // Whole sample frames only: a frame is one byte per channel.
    const DWORD frames = std::min(sourceBytes / channels_, room / (2 * channels_));
    const DWORD n = frames * channels_;
    for (DWORD i = 0; i < n; ++i) {
      const auto v = static_cast<uint16_t>(table_[source[i]]);
      out[i * 2] = static_cast<BYTE>(v & 0xFF);
      out[i * 2 + 1] = static_cast<BYTE>(v >> 8);
    }
    *used = n;
    *made = n * 2;
  }
  DWORD OutputBytes(DWORD sourceBytes) const override { return sourceBytes / channels_ * channels_ * 2; }
  DWORD SourceBytes(DWORD outputBytes) const override { return outputBytes / 2; }

 private:
  int channels_;
  std::array<int16_t, 256> table_{};
};

}  // namespace

std::unique_ptr<Codec> MakeG711Codec(const WAVEFORMATEX* f) {
  if (f->wFormatTag != WAVE_FORMAT_ALAW && f->wFormatTag != WAVE_FORMAT_MULAW) return nullptr;
  if (f->nChannels < 1 || f->nChannels > 8 || f->nSamplesPerSec == 0) return nullptr;
  return std::make_unique<G711Codec>(f->wFormatTag == WAVE_FORMAT_ALAW, f->nChannels);
}

}  // namespace plat::acm
