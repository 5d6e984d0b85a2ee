// MPEG audio frame headers and the frame scan of MP3 files.
// Depends on the library's stream sets only. The scan reads through a small window, so an MP3 of any
// length is walked frame by frame without holding it in memory.
#include "orbel/sound/mp3_frame.h"

#include <algorithm>
#include <cstring>

namespace orbel {

namespace {

// Bit rates in kbit/s by [MPEG-1 ? 0 : 1][layer][index]; index 0 (free format) and 15 are not used.
constexpr uint16_t kBitRates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};

constexpr uint32_t kSampleRates[2][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}};

constexpr uint32_t kId3v1Size = 128;
constexpr uint32_t kWindowSize = 4096;

// Random reads of single bytes through a window of the stream.
class ByteWindow {
 public:
  explicit ByteWindow(StreamData* s) : s_(s) {}
  // The byte at `offset`, or -1 past the end of the stream.
  int At(uint32_t offset) {
    if (offset < start_ || offset - start_ >= length_) {
      if (offset > 0x7FFFFFFF || s_->functions.Seek(s_->handle, static_cast<int32_t>(offset), 0) != 0) return -1;
      start_ = offset;
      length_ = static_cast<uint32_t>(s_->functions.Read(bytes_, 1, kWindowSize, s_->handle));
      if (length_ == 0) return -1;
    }
    return bytes_[offset - start_];
  }

 private:
  StreamData* s_;
  uint8_t bytes_[kWindowSize];
  uint32_t start_ = 0;
  uint32_t length_ = 0;
};

// Size of the stream in bytes, or -1.
int64_t StreamSize(StreamData* s) {
  if (s->functions.Seek(s->handle, 0, 2) != 0) return -1;
  int32_t end = s->functions.Tell(s->handle);
  return end < 0 ? -1 : end;
}

}  // namespace

int ParseMp3FrameHeader(const uint8_t b[4], Mp3FrameHeader* out) {
  if (b[0] != 0xFF || (b[1] & 0xF0) != 0xF0) return -2;
  Mp3FrameHeader h{};
  h.mpeg1 = (b[1] >> 3) & 1;
  h.layer = 3 - ((b[1] >> 1) & 3);
  if (h.layer == 3) return -1;  // the reserved layer code 0
  const uint32_t rateIndex = b[2] >> 4;
  if (rateIndex == 15) return -1;
  const uint32_t sampleIndex = (b[2] >> 2) & 3;
  if (sampleIndex == 3) return -1;
  if (rateIndex == 0) return -3;
  const int version = h.mpeg1 ? 0 : 1;
  h.kbps = kBitRates[version][h.layer][rateIndex];
  h.rate = kSampleRates[version][sampleIndex];
  h.padding = (b[2] >> 1) & 1;
  h.channels = (b[3] & 0xC0) == 0xC0 ? 1 : 2;
  if (h.layer == 0) {
    h.frameBytes = (12 * h.kbps * 1000 / h.rate + h.padding) * 4;
    h.frameSamples = 384;
  } else if (h.layer == 2 && !h.mpeg1) {
    h.frameBytes = 72 * h.kbps * 1000 / h.rate + h.padding;
    h.frameSamples = 576;
  } else {
    h.frameBytes = 144 * h.kbps * 1000 / h.rate + h.padding;
    h.frameSamples = 1152;
  }
  *out = h;
  return 0;
}

int ScanMp3Stream(StreamData* source, Mp3ScanResult* out) {
  const int64_t size = StreamSize(source);
  if (size <= 0) return -1;
  ByteWindow window(source);
  Mp3ScanResult r{};

  // An ID3v2 tag: "ID3", version, revision, flags, four size bytes of 7 bits each.
  uint8_t tag[10];
  bool id3 = true;
  for (uint32_t i = 0; i < 10 && id3; ++i) {
    int b = window.At(i);
    if (b < 0) id3 = false;
    tag[i] = static_cast<uint8_t>(b);
  }
  uint64_t start = 0;
  if (id3 && std::memcmp(tag, "ID3", 3) == 0) {
    start = ((uint64_t{tag[6]} * 128 + tag[7]) * 128 + tag[8]) * 128 + tag[9] + 10;
    if (tag[3] == 4 && (tag[5] & 0x10)) start += 10;  // a v2.4 footer
  }
  r.audioStart = static_cast<uint32_t>(std::min<uint64_t>(start, static_cast<uint64_t>(size)));

  r.audioEnd = static_cast<uint32_t>(size);
  if (size > kId3v1Size) {
    const uint32_t at = static_cast<uint32_t>(size - kId3v1Size);
    if (window.At(at) == 'T' && window.At(at + 1) == 'A' && window.At(at + 2) == 'G') r.audioEnd -= kId3v1Size;
  }

  bool found = false;
  uint32_t pos = r.audioStart;
  for (;;) {
    const int b0 = window.At(pos);
    if (b0 < 0) break;
    if (b0 != 0xFF) {
      ++pos;
      continue;
    }
    const int b1 = window.At(pos + 1);
    if (b1 < 0) break;
    if ((b1 & 0xF0) != 0xF0) {
      ++pos;
      continue;
    }
    const int b2 = window.At(pos + 2);
    const int b3 = window.At(pos + 3);
    if (b2 < 0 || b3 < 0) break;
    const uint8_t bytes[4] = {0xFF, static_cast<uint8_t>(b1), static_cast<uint8_t>(b2), static_cast<uint8_t>(b3)};
    Mp3FrameHeader h;
    const int parsed = ParseMp3FrameHeader(bytes, &h);
    if (parsed == -3) {  // free format has no length to skip by: look on from the next byte
      ++pos;
      continue;
    }
    if (parsed != 0) return -1;
    if (!found) {
      found = true;
      r.first = h;
      r.firstFrame = pos;
    }
    r.totalSamples += h.frameSamples;
    const uint64_t end = uint64_t{pos} + h.frameBytes;
    if (end < r.audioEnd) {
      r.lastEnd = static_cast<uint32_t>(end);
      pos = r.lastEnd;
      continue;
    }
    r.lastEnd = r.audioEnd;
    break;
  }
  if (!found) return -1;
  *out = r;
  return 0;
}

}  // namespace orbel
