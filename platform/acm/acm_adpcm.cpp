// The two ADPCM block codecs of WAV files: IMA ADPCM (tag 0x11) and MS ADPCM (tag 2). Each block starts
// afresh from its header, so whole blocks decode independently. A source shorter than one block is the
// file's last, short block and decodes as far as it goes.
#include <algorithm>
#include <array>
#include <vector>

#include "platform/acm/acm_codec.h"

namespace plat::acm {
namespace {

inline int16_t Le16(const BYTE* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }
inline void Put16(BYTE* p, int v) {
  const auto u = static_cast<uint16_t>(static_cast<int16_t>(v));
  p[0] = static_cast<BYTE>(u & 0xFF);
  p[1] = static_cast<BYTE>(u >> 8);
}
inline int Clamp16(int v) { return std::clamp(v, -32768, 32767); }

class BlockCodec : public Codec {
 public:
  BlockCodec(int channels, DWORD blockAlign) : channels_(channels), blockAlign_(blockAlign) {}

  void Convert(const BYTE* source, DWORD sourceBytes, BYTE* out, DWORD room, DWORD* used, DWORD* made) override {
    DWORD u = 0;
    DWORD m = 0;
    while (u < sourceBytes) {
      const DWORD rest = sourceBytes - u;
      DWORD blockBytes = blockAlign_;
      if (rest < blockAlign_) {
        if (u != 0) break;  // the rest of a block comes with the next source
        blockBytes = rest;
      }
      const DWORD frames = FramesIn(blockBytes);
      const DWORD bytes = PcmBytes(frames, channels_);
      if (bytes > room - m) break;
      if (frames > 0) DecodeBlock(source + u, blockBytes, frames, out + m);
      u += blockBytes;
      m += bytes;
      if (blockBytes < blockAlign_) break;
    }
    *used = u;
    *made = m;
  }

  DWORD OutputBytes(DWORD sourceBytes) const override {
    const uint64_t frames = uint64_t{sourceBytes / blockAlign_} * FramesIn(blockAlign_) + FramesIn(sourceBytes % blockAlign_);
    return PcmBytes(frames, channels_);
  }

  DWORD SourceBytes(DWORD outputBytes) const override {
    const DWORD perBlock = PcmBytes(FramesIn(blockAlign_), channels_);
    return perBlock == 0 ? 0 : (outputBytes + perBlock - 1) / perBlock * blockAlign_;
  }

 protected:
  // Sample frames a block of `bytes` bytes holds (0 when it is shorter than its header).
  virtual DWORD FramesIn(DWORD bytes) const = 0;
  // Writes `frames` frames of 16-bit PCM for one block.
  virtual void DecodeBlock(const BYTE* block, DWORD bytes, DWORD frames, BYTE* out) = 0;

  int channels_;
  DWORD blockAlign_;
};

// ---- IMA ADPCM ----------------------------------------------------------------------------------
constexpr std::array<int, 89> kImaSteps = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
    31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
    130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
    544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
    2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
    9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 8> kImaIndexSteps = {-1, -1, -1, -1, 2, 4, 6, 8};

class ImaAdpcmCodec final : public BlockCodec {
 public:
  using BlockCodec::BlockCodec;

 protected:
  // A 4-byte header per channel (first sample, step index), then groups of 4 bytes per channel, each
  // holding 8 samples.
  DWORD FramesIn(DWORD bytes) const override {
    const DWORD header = 4u * channels_;
    if (bytes < header) return 0;
    return 1 + (bytes - header) / header * 8;
  }

  void DecodeBlock(const BYTE* block, DWORD, DWORD frames, BYTE* out) override {
    const int ch = channels_;
    for (int c = 0; c < ch; ++c) {
      int predictor = Le16(block + 4 * c);
      int index = std::min<int>(block[4 * c + 2], 88);
      Put16(out + 2 * c, predictor);
      const BYTE* data = block + 4 * ch + 4 * c;
      for (DWORD f = 1; f < frames; f += 8, data += 4 * ch) {
        for (int i = 0; i < 8; ++i) {
          const int nibble = (data[i / 2] >> ((i & 1) * 4)) & 0x0F;
          const int step = kImaSteps[index];
          int diff = step >> 3;
          if (nibble & 1) diff += step >> 2;
          if (nibble & 2) diff += step >> 1;
          if (nibble & 4) diff += step;
          predictor = Clamp16((nibble & 8) != 0 ? predictor - diff : predictor + diff);
          index = std::clamp(index + kImaIndexSteps[nibble & 7], 0, 88);
          Put16(out + ((f + i) * ch + c) * 2, predictor);
        }
      }
    }
  }
};

// ---- MS ADPCM -----------------------------------------------------------------------------------
constexpr std::array<int, 16> kMsAdaptation = {230, 230, 230, 230, 307, 409, 512, 614,
                                               768, 614, 512, 409, 307, 230, 230, 230};
constexpr std::array<std::array<int, 2>, 7> kMsStandardCoefficients = {
    {{256, 0}, {512, -256}, {0, 0}, {192, 64}, {240, 0}, {460, -208}, {392, -232}}};

class MsAdpcmCodec final : public BlockCodec {
 public:
  MsAdpcmCodec(int channels, DWORD blockAlign, DWORD samplesPerBlock, std::vector<std::array<int, 2>> coefficients)
      : BlockCodec(channels, blockAlign), samplesPerBlock_(samplesPerBlock), coefficients_(std::move(coefficients)) {}

 protected:
  // A 7-byte header per channel (predictor, delta, two samples), then one nibble per sample with the
  // channels interleaved, high nibble first. The header's two samples are the first two output frames.
  DWORD FramesIn(DWORD bytes) const override {
    const DWORD header = 7u * channels_;
    if (bytes < header) return 0;
    const DWORD frames = 2 + (bytes - header) * 2 / channels_;
    return samplesPerBlock_ != 0 ? std::min(frames, samplesPerBlock_) : frames;
  }

  void DecodeBlock(const BYTE* block, DWORD, DWORD frames, BYTE* out) override {
    const int ch = channels_;
    std::array<int, 2> c1{};
    std::array<int, 2> c2{};
    std::array<int, 2> delta{};
    std::array<int, 2> s1{};
    std::array<int, 2> s2{};
    for (int c = 0; c < ch; ++c) {
      const size_t predictor = block[c];
      // A predictor the table does not have predicts silence rather than reading past the table.
      if (predictor < coefficients_.size()) {
        c1[c] = coefficients_[predictor][0];
        c2[c] = coefficients_[predictor][1];
      }
      delta[c] = Le16(block + ch + 2 * c);
      s1[c] = Le16(block + 3 * ch + 2 * c);
      s2[c] = Le16(block + 5 * ch + 2 * c);
      Put16(out + 2 * c, s2[c]);
      if (frames > 1) Put16(out + (ch + c) * 2, s1[c]);
    }
    const BYTE* data = block + 7 * ch;
    const DWORD nibbles = (frames > 2 ? frames - 2 : 0) * ch;
    for (DWORD k = 0; k < nibbles; ++k) {
      const int c = static_cast<int>(k % ch);
      const int nibble = (k & 1) == 0 ? data[k / 2] >> 4 : data[k / 2] & 0x0F;
      const int signedNibble = nibble >= 8 ? nibble - 16 : nibble;
      const int64_t predicted = (int64_t{s1[c]} * c1[c] + int64_t{s2[c]} * c2[c]) >> 8;
      const int sample = static_cast<int>(std::clamp<int64_t>(predicted + int64_t{signedNibble} * delta[c], -32768, 32767));
      s2[c] = s1[c];
      s1[c] = sample;
      // Bounded: a damaged block could otherwise grow the step without limit.
      delta[c] = std::clamp((kMsAdaptation[nibble] * delta[c]) >> 8, 16, 1 << 20);
      Put16(out + ((2 + k / ch) * ch + c) * 2, sample);
    }
  }

 private:
  DWORD samplesPerBlock_;
  std::vector<std::array<int, 2>> coefficients_;
};

bool SaneBlockFormat(const WAVEFORMATEX* f, DWORD headerPerChannel) {
  return f->nChannels >= 1 && f->nChannels <= 2 && f->nSamplesPerSec != 0 &&
         f->nBlockAlign > headerPerChannel * f->nChannels;
}

}  // namespace

std::unique_ptr<Codec> MakeImaAdpcmCodec(const WAVEFORMATEX* f) {
  if (f->wFormatTag != WAVE_FORMAT_IMA_ADPCM || !SaneBlockFormat(f, 4) || f->wBitsPerSample != 4) return nullptr;
  return std::make_unique<ImaAdpcmCodec>(f->nChannels, f->nBlockAlign);
}

std::unique_ptr<Codec> MakeMsAdpcmCodec(const WAVEFORMATEX* f) {
  if (f->wFormatTag != WAVE_FORMAT_ADPCM || !SaneBlockFormat(f, 7) || f->wBitsPerSample != 4) return nullptr;
  // Codec data: samples per block, coefficient count, coefficient pairs. Without it the seven
  // standard pairs apply.
  DWORD samplesPerBlock = 0;
  std::vector<std::array<int, 2>> coefficients(kMsStandardCoefficients.begin(), kMsStandardCoefficients.end());
  if (f->cbSize >= 4) {
    const BYTE* extra = WaveFormatExtra(f);
    samplesPerBlock = static_cast<uint16_t>(Le16(extra));
    const DWORD count = std::min<DWORD>(static_cast<uint16_t>(Le16(extra + 2)), (f->cbSize - 4u) / 4u);
    if (count > 0) {
      coefficients.clear();
      for (DWORD i = 0; i < count; ++i) coefficients.push_back({Le16(extra + 4 + 4 * i), Le16(extra + 6 + 4 * i)});
    }
  }
  return std::make_unique<MsAdpcmCodec>(f->nChannels, f->nBlockAlign, samplesPerBlock, std::move(coefficients));
}

}  // namespace plat::acm
