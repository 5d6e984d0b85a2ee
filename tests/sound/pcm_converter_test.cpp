// The PCM converter: the four kinds against files made at test time, malformed headers, seeking.
#include <cstring>

#include "orbel/core/memory.h"
#include "orbel/sound/mp3_frame.h"
#include "orbel/sound/pcm_converter.h"
#include "sound_test_support.h"

namespace orbel::testing {
namespace {

struct Converted {
  int result = -1;
  plat::WAVEFORMATEX format{};
  std::vector<int16_t> samples;
  std::vector<uint8_t> bytes;
};

Converted ConvertWhole(const std::vector<uint8_t>& file) {
  Converted c;
  StreamData s{GetMemStreamFunctions(), MemStreamOpen(file.data(), file.size())};
  PcmConverterRecord conv;
  if (SetupPcmConverter(&s, &conv) == 0) {
    void* pcm = nullptr;
    uint32_t size = 0;
    c.result = ConvertWholeToPcm(&conv, &c.format, &pcm, &size);
    if (c.result == 0) {
      c.bytes.assign(static_cast<uint8_t*>(pcm), static_cast<uint8_t*>(pcm) + size);
      c.samples = AsSamples(pcm, size);
      MemFree(pcm);
    }
    TerminatePcmConverter(&conv);
  }
  MemStreamClose(s.handle);
  return c;
}

class PcmConverter : public SoundTest {};

TEST_F(PcmConverter, PcmWaveKeepsItsOwnFormatAndSamples) {
  const std::vector<int16_t> source = Sine(1000, 2, 440, 22050);
  for (int fmtSize : {16, 18}) {
    std::vector<uint8_t> wav = MakePcmWav(2, 22050, 16, source, fmtSize);
    if (fmtSize == 16) wav[34] = 0;  // bits 0: a 16-byte chunk works them out from the block
    Converted c = ConvertWhole(wav);
    ASSERT_EQ(c.result, 0) << fmtSize;
    EXPECT_EQ(c.format.nChannels, 2);
    EXPECT_EQ(c.format.nSamplesPerSec, 22050u);
    EXPECT_EQ(c.format.wBitsPerSample, 16) << "a 16-byte chunk works the bits out from the block";
    EXPECT_EQ(c.samples, source);
  }
  std::vector<uint8_t> wav8 = MakePcmWav(1, 8000, 8, Sine(300, 1, 200, 8000), 16);
  wav8[34] = 0;
  Converted eight = ConvertWhole(wav8);
  ASSERT_EQ(eight.result, 0);
  EXPECT_EQ(eight.format.wBitsPerSample, 8);
  EXPECT_EQ(eight.bytes.size(), 300u);
}

TEST_F(PcmConverter, MalformedWavesAreRefused) {
  const std::vector<uint8_t> good = MakePcmWav(1, 8000, 16, Sine(100, 1, 300, 8000), 18);
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
  };
  std::vector<Case> cases;
  auto with = [&](size_t at, std::initializer_list<uint8_t> patch) {
    std::vector<uint8_t> v = good;
    std::copy(patch.begin(), patch.end(), v.begin() + static_cast<long>(at));
    return v;
  };
  // "fmt " must follow "WAVE" at once: another chunk in between refuses the file.
  std::vector<uint8_t> listFirst(good.begin(), good.begin() + 12);
  listFirst.insert(listFirst.end(), {'L', 'I', 'S', 'T', 2, 0, 0, 0, 'x', 'y'});
  listFirst.insert(listFirst.end(), good.begin() + 12, good.end());
  cases.push_back({"chunk before fmt", listFirst});
  cases.push_back({"no RIFF", with(0, {'R', 'I', 'F', 'X'})});
  cases.push_back({"no WAVE", with(8, {'W', 'A', 'V', 'X'})});
  cases.push_back({"zero channels", with(22, {0, 0})});
  cases.push_back({"zero block align", with(32, {0, 0})});
  cases.push_back({"zero bytes per second", with(28, {0, 0, 0, 0})});
  cases.push_back({"no data chunk", with(38, {'d', 'a', 't', 'x'})});
  for (size_t cut : {0, 4, 11, 19, 30, 40}) cases.push_back({"truncated header", std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut))});
  for (const Case& c : cases) EXPECT_EQ(ConvertWhole(c.bytes).result, -1) << c.name;
}

TEST_F(PcmConverter, TruncatedDataEndsWithWhatTheFileHolds) {
  std::vector<uint8_t> wav = MakePcmWav(1, 8000, 16, Sine(1000, 1, 300, 8000), 18);
  wav.resize(wav.size() - 600);  // the data chunk still claims 2000 bytes
  Converted c = ConvertWhole(wav);
  ASSERT_EQ(c.result, 0);
  EXPECT_EQ(c.bytes.size(), 1400u);

  // Read piece by piece, the short file ends the data instead of spinning on empty fills.
  StreamData s{GetMemStreamFunctions(), MemStreamOpen(wav.data(), wav.size())};
  PcmConverterRecord conv;
  ASSERT_EQ(SetupPcmConverter(&s, &conv), 0);
  std::vector<uint8_t> out(4000);
  EXPECT_EQ(ReadPcmConverter(&conv, out.data(), 4000), 1400);
  EXPECT_EQ(ReadPcmConverter(&conv, out.data(), 4000), 0);
  TerminatePcmConverter(&conv);
  MemStreamClose(s.handle);
}

TEST_F(PcmConverter, SeekWithinFifteenBytesKeepsTheEndFlag) {
  const std::vector<uint8_t> wav = MakePcmWav(1, 8000, 16, Sine(100, 1, 300, 8000), 18);
  StreamData s{GetMemStreamFunctions(), MemStreamOpen(wav.data(), wav.size())};
  PcmConverterRecord conv;
  ASSERT_EQ(SetupPcmConverter(&s, &conv), 0);
  std::vector<uint8_t> out(400);
  ASSERT_EQ(ReadPcmConverter(&conv, out.data(), 400), 200);
  ASSERT_EQ(conv.endOfData, 1);
  SeekPcmConverter(&conv, 96);  // 192 bytes: 8 from the position
  EXPECT_EQ(conv.endOfData, 1);
  EXPECT_EQ(ReadPcmConverter(&conv, out.data(), 400), 0);
  SeekPcmConverter(&conv, 50);
  EXPECT_EQ(conv.endOfData, 0);
  EXPECT_EQ(ReadPcmConverter(&conv, out.data(), 400), 100);
  EXPECT_EQ(std::memcmp(out.data(), wav.data() + 46 + 100, 100), 0);
  TerminatePcmConverter(&conv);
  MemStreamClose(s.handle);
}

TEST_F(PcmConverter, WaveImageIsARiffFileOfTheFormatAndData) {
  plat::WAVEFORMATEX f{1, 2, 44100, 176400, 4, 16, 0};
  const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8};
  void* image = nullptr;
  uint32_t size = 0;
  ASSERT_EQ(BuildWaveFileImage(&image, &size, f, data, sizeof data), 0);
  const uint8_t expected[] = {'R', 'I', 'F', 'F', 46, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 18, 0, 0, 0,
                              1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0, 0, 0,
                              'd', 'a', 't', 'a', 8, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_EQ(size, sizeof expected);
  EXPECT_EQ(std::memcmp(image, expected, size), 0);
  MemFree(image);
}

TEST_F(PcmConverter, OggVorbisConvertsToItsExactLengthAndFollowsTheSource) {
  const std::vector<int16_t> source = Sine(44100, 2, 440, 44100);
  const auto path = work_.path() / "tone.ogg";
  ASSERT_TRUE(MakeWithTool(source, 2, 44100, "oggenc -Q -q 6 -o {out} {in}", path));
  Converted c = ConvertWhole(ReadFileBytes(path));
  ASSERT_EQ(c.result, 0);
  EXPECT_EQ(c.format.nChannels, 2);
  EXPECT_EQ(c.format.wBitsPerSample, 16);
  // Exactly channels x 2 x total samples, though the block had room for 44,100 more.
  EXPECT_EQ(c.bytes.size(), source.size() * 2);
  EXPECT_GT(BestCorrelation(source, c.samples, 2, 0), 0.99);
}

TEST_F(PcmConverter, DamagedOggSkipsTheHoleAndEndsCleanly) {
  const auto path = work_.path() / "tone.ogg";
  const int frames = 44100 * 3;
  // Noise: its pages are many and even, so the middle of the file is audio, far from the headers.
  std::vector<int16_t> noise(frames);
  uint32_t seed = 12345;
  for (int16_t& v : noise) v = static_cast<int16_t>(((seed = seed * 1103515245 + 12345) >> 16) % 16000 - 8000);
  ASSERT_TRUE(MakeWithTool(noise, 1, 44100, "oggenc -Q -o {out} {in}", path));
  std::vector<uint8_t> ogg = ReadFileBytes(path);
  for (size_t i = ogg.size() / 2; i < ogg.size() / 2 + 200; ++i) ogg[i] ^= 0x5A;
  Converted c = ConvertWhole(ogg);
  ASSERT_EQ(c.result, 0);
  EXPECT_LE(c.bytes.size(), size_t{frames} * 2);
  EXPECT_GE(c.bytes.size(), size_t{frames} * 2 * 2 / 3) << "decoding goes on after the damaged page";
}

TEST_F(PcmConverter, Mp3ConvertsFrameByFrameAndFollowsTheSource) {
  const std::vector<int16_t> source = Sine(44100, 2, 440, 44100);
  const auto path = work_.path() / "tone.mp3";
  ASSERT_TRUE(MakeWithTool(source, 2, 44100, "lame --quiet -b 192 {in} {out}", path));
  const std::vector<uint8_t> mp3 = ReadFileBytes(path);
  StreamData s{GetMemStreamFunctions(), MemStreamOpen(mp3.data(), mp3.size())};
  Mp3ScanResult scan;
  ASSERT_EQ(ScanMp3Stream(&s, &scan), 0);
  MemStreamClose(s.handle);
  Converted c = ConvertWhole(mp3);
  ASSERT_EQ(c.result, 0);
  EXPECT_EQ(c.format.nSamplesPerSec, 44100u);
  EXPECT_EQ(c.bytes.size(), static_cast<size_t>(scan.totalSamples) * 4) << "every frame's samples";
  // The info frame (silence) and the coder delays shift the output by about 2,300 frames.
  const std::vector<int16_t> head(source.begin(), source.begin() + 2 * 11025);
  EXPECT_GT(BestCorrelation(head, c.samples, 2, 2600), 0.99);
}

TEST_F(PcmConverter, CompressedWavesConvertThroughTheCompressionManager) {
  const std::vector<int16_t> source = Sine(22050, 1, 440, 22050);
  struct Case {
    const char* name;
    const char* tool;
    double minimum;
  } cases[] = {{"MS ADPCM", "sox {in} -e ms-adpcm {out}", 0.99},
               {"IMA ADPCM", "sox {in} -e ima-adpcm {out}", 0.99},
               {"A-law", "sox {in} -e a-law {out}", 0.999},
               {"mu-law", "sox {in} -e mu-law {out}", 0.999}};
  for (const Case& k : cases) {
    const auto path = work_.path() / (std::string(k.name) + ".wav");
    ASSERT_TRUE(MakeWithTool(source, 1, 22050, k.tool, path)) << k.name;
    Converted c = ConvertWhole(ReadFileBytes(path));
    ASSERT_EQ(c.result, 0) << k.name;
    EXPECT_EQ(c.format.wFormatTag, 1) << k.name;
    EXPECT_EQ(c.format.nSamplesPerSec, 22050u) << k.name;
    // The block codecs end on a whole block: at most one block short of the source.
    EXPECT_NEAR(static_cast<double>(c.samples.size()), static_cast<double>(source.size()), 2048) << k.name;
    EXPECT_GT(BestCorrelation(source, c.samples, 1, 0), k.minimum) << k.name;
  }
}

}  // namespace
}  // namespace orbel::testing
