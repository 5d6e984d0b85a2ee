// MPEG audio frame headers and the MP3 frame scan with its ID3 tags.
#include "orbel/sound/mp3_frame.h"

#include "sound_test_support.h"

namespace orbel::testing {
namespace {

TEST(Mp3Frame, HeadersFollowTheStandardTables) {
  struct Case {
    uint8_t bytes[4];
    int result = 0;
    uint32_t kbps = 0, rate = 0, channels = 0, frameBytes = 0, frameSamples = 0;
  } cases[] = {
      {{0xFF, 0xFB, 0x90, 0x00}, 0, 128, 44100, 2, 417, 1152},  // MPEG-1 Layer III
      {{0xFF, 0xFB, 0x92, 0xC0}, 0, 128, 44100, 1, 418, 1152},  // padded, mono
      {{0xFF, 0xF3, 0x90, 0x00}, 0, 80, 22050, 2, 261, 576},    // MPEG-2 Layer III
      {{0xFF, 0xFD, 0x90, 0x00}, 0, 160, 44100, 2, 522, 1152},  // MPEG-1 Layer II
      {{0xFF, 0xF5, 0x84, 0x00}, 0, 64, 24000, 2, 384, 1152},   // MPEG-2 Layer II at 24 kHz
      {{0xFF, 0xFF, 0x90, 0x00}, 0, 288, 44100, 2, 312, 384},   // MPEG-1 Layer I
      {{0xFF, 0xE3, 0x90, 0x00}, -2},                           // MPEG 2.5 is not recognised
      {{0xFE, 0xFB, 0x90, 0x00}, -2},
      {{0xFF, 0xF9, 0x90, 0x00}, -1},  // reserved layer
      {{0xFF, 0xFB, 0xF0, 0x00}, -1},  // bit-rate index 15
      {{0xFF, 0xFB, 0x9C, 0x00}, -1},  // sampling index 3
      {{0xFF, 0xFB, 0x00, 0x00}, -3},  // free format
  };
  for (const Case& c : cases) {
    Mp3FrameHeader h{};
    const int result = ParseMp3FrameHeader(c.bytes, &h);
    const std::string name = ::testing::PrintToString(std::vector<int>(c.bytes, c.bytes + 4));
    ASSERT_EQ(result, c.result) << name;
    if (result != 0) continue;
    EXPECT_EQ(h.kbps, c.kbps) << name;
    EXPECT_EQ(h.rate, c.rate) << name;
    EXPECT_EQ(h.channels, c.channels) << name;
    EXPECT_EQ(h.frameBytes, c.frameBytes) << name;
    EXPECT_EQ(h.frameSamples, c.frameSamples) << name;
  }
}

std::vector<uint8_t> Frames(int count) {
  std::vector<uint8_t> v;
  for (int i = 0; i < count; ++i) {
    v.insert(v.end(), {0xFF, 0xFB, 0x90, 0x00});
    v.resize(v.size() + 417 - 4, 0x11);
  }
  return v;
}

int Scan(const std::vector<uint8_t>& bytes, Mp3ScanResult* r) {
  StreamData s{GetMemStreamFunctions(), MemStreamOpen(bytes.data(), bytes.size())};
  const int result = ScanMp3Stream(&s, r);
  MemStreamClose(s.handle);
  return result;
}

TEST(Mp3Frame, ScanSkipsAnId3v24TagWithFooterAndExcludesTheTrailingTag) {
  std::vector<uint8_t> file = {'I', 'D', '3', 4, 0, 0x10, 0, 0, 0, 20};
  file.resize(40, 0);
  // Inside the 10 bytes the footer adds: a broken header that would fail a scan starting there.
  file[30] = 0xFF, file[31] = 0xF9;
  const std::vector<uint8_t> frames = Frames(3);
  file.insert(file.end(), frames.begin(), frames.end());
  std::vector<uint8_t> tag(128, 0);
  tag[0] = 'T', tag[1] = 'A', tag[2] = 'G';
  file.insert(file.end(), tag.begin(), tag.end());
  Mp3ScanResult r;
  ASSERT_EQ(Scan(file, &r), 0);
  EXPECT_EQ(r.audioStart, 40u);
  EXPECT_EQ(r.firstFrame, 40u);
  EXPECT_EQ(r.audioEnd, file.size() - 128);
  EXPECT_EQ(r.lastEnd, 40u + 3 * 417);
  EXPECT_EQ(r.totalSamples, 3 * 1152);
}

TEST(Mp3Frame, FreeFormatAndJunkNeverStallTheScan) {
  std::vector<uint8_t> freeFormat;
  for (int i = 0; i < 2000; ++i) freeFormat.insert(freeFormat.end(), {0xFF, 0xFB, 0x00, 0x00});
  Mp3ScanResult r;
  EXPECT_EQ(Scan(freeFormat, &r), -1);
  EXPECT_EQ(Scan({}, &r), -1);
  EXPECT_EQ(Scan({0xFF}, &r), -1);
  EXPECT_EQ(Scan({0xFF, 0xFB, 0x90}, &r), -1);
  // Junk before the first frame is skipped byte by byte; a frame cut short by the end still counts.
  std::vector<uint8_t> junk = {0x00, 0xFF, 0x12, 0x34};
  std::vector<uint8_t> frames = Frames(2);
  frames.resize(417 + 100);
  junk.insert(junk.end(), frames.begin(), frames.end());
  ASSERT_EQ(Scan(junk, &r), 0);
  EXPECT_EQ(r.firstFrame, 4u);
  EXPECT_EQ(r.totalSamples, 2 * 1152);
  EXPECT_EQ(r.lastEnd, junk.size());
}

}  // namespace
}  // namespace orbel::testing
