// Hostile sound files, written byte by byte by the tests: sounds that decode to no samples, headers the
// converter cannot play, and chunks that lie about their size. Each load fails with -1 and its log
// lines on every create type, makes no buffer, keeps no handle and leaks no block; the process goes on.
#include <cstring>
#include <string>
#include <vector>

#include "orbel/core/memory.h"
#include "orbel/sound/sound_handle.h"
#include "orbel/sound/sound_state.h"
#include "platform/dsound/dsound_test_controls.h"
#include "sound_test_support.h"

namespace orbel::testing {
namespace {

// The fields of a "fmt " chunk; `tail` follows the 16 fixed bytes (cbSize and the codec's extra).
struct WaveFields {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 22050;
  uint32_t avg = 44100;
  uint16_t block = 2;
  uint16_t bits = 16;
  std::vector<uint8_t> tail = {0, 0};
};

std::vector<uint8_t> Wave(const WaveFields& f, const std::vector<uint8_t>& data, uint32_t statedData) {
  std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  Put32(v, static_cast<uint32_t>(16 + f.tail.size()));
  Put16(v, f.tag);
  Put16(v, f.channels);
  Put32(v, f.rate);
  Put32(v, f.avg);
  Put16(v, f.block);
  Put16(v, f.bits);
  v.insert(v.end(), f.tail.begin(), f.tail.end());
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, statedData);
  v.insert(v.end(), data.begin(), data.end());
  const uint32_t riff = static_cast<uint32_t>(v.size() - 8);
  for (int i = 0; i < 4; ++i) v[4 + i] = static_cast<uint8_t>(riff >> (8 * i));
  return v;
}
std::vector<uint8_t> Wave(const WaveFields& f, const std::vector<uint8_t>& data) {
  return Wave(f, data, static_cast<uint32_t>(data.size()));
}

WaveFields Pcm(uint16_t channels, uint16_t bits, bool shortChunk = false) {
  WaveFields f;
  f.channels = channels;
  f.bits = bits;
  f.block = static_cast<uint16_t>(channels * ((bits + 7) / 8));
  f.avg = f.rate * f.block;
  if (shortChunk) f.tail.clear();
  return f;
}

// IMA ADPCM, mono: a block of `block` bytes holds a 4-byte header and two samples a byte after it.
WaveFields ImaAdpcm(uint16_t block) {
  WaveFields f;
  f.tag = 0x11;
  f.block = block;
  f.bits = 4;
  f.avg = f.rate * block / ((block - 4) * 2 + 1);
  const uint32_t samplesPerBlock = (block - 4u) * 2 + 1;
  f.tail = {2, 0, static_cast<uint8_t>(samplesPerBlock), static_cast<uint8_t>(samplesPerBlock >> 8)};
  return f;
}

// MPEG layer 3 in a WAV: 44,100 Hz mono at 128 kbit/s, frames of 417 bytes.
WaveFields Mp3InWave() {
  WaveFields f;
  f.tag = 0x55;
  f.rate = 44100;
  f.avg = 16000;
  f.block = 1;
  f.bits = 0;
  f.tail = {12, 0, 1, 0, 2, 0, 0, 0, 0xA1, 0x01, 1, 0, 0x71, 0x05};
  return f;
}

// `count` frame headers back to back, without the frames they announce.
std::vector<uint8_t> Mp3HeadersOnly(int count) {
  std::vector<uint8_t> v;
  for (int i = 0; i < count; ++i) v.insert(v.end(), {0xFF, 0xFB, 0x90, 0xC0});
  return v;
}

class HostileSound : public SoundTest {
 protected:
  // Loads `bytes` on every create type, from a file and from a file image; each must fail cleanly.
  void ExpectRefusedEverywhere(const std::string& name, const std::vector<uint8_t>& bytes,
                               const std::string& line = "") {
    WriteFileBytes(work_.path() / "hostile.wav", bytes);
    const int blocks = GetMemoryBlockCount();
    const int buffers = plat::test::LiveSoundBuffers();
    for (int type = 0; type <= 3; ++type) {
      ASSERT_EQ(SetSoundCreateType(type), 0);
      EXPECT_EQ(LoadSoundFile("hostile.wav", 1, -1), -1) << name << ", file, create type " << type;
      EXPECT_EQ(CreateSoundFromFileImage(bytes.data(), static_cast<uint32_t>(bytes.size()), 1, -1), -1)
          << name << ", image, create type " << type;
      EXPECT_EQ(plat::test::LiveSoundBuffers(), buffers) << name << ", create type " << type;
      EXPECT_EQ(SoundState.handles.count, 0u) << name << ", create type " << type;
      EXPECT_EQ(GetMemoryBlockCount(), blocks) << name << ", create type " << type;
    }
    SetSoundCreateType(0);
    if (!line.empty()) { EXPECT_TRUE(LogHas(line)) << name << ": " << LogText(); }
  }
};

TEST_F(HostileSound, SoundsWithoutSamplesFailTheirLoadOnEveryCreateType) {
  ExpectRefusedEverywhere("PCM, empty data chunk", Wave(Pcm(1, 16), {}), "音声データにサンプルがありません");
  ExpectRefusedEverywhere("PCM, one byte of a two-byte sample", Wave(Pcm(1, 16), {0x12}), "音声データにサンプルがありません");
  ExpectRefusedEverywhere("IMA ADPCM, block align 65535", Wave(ImaAdpcm(65535), std::vector<uint8_t>(70000, 0x11)),
                          "音声データにサンプルがありません");
  ExpectRefusedEverywhere("MP3 in WAV, frame headers only", Wave(Mp3InWave(), Mp3HeadersOnly(8)),
                          "音声データにサンプルがありません");
  // One sample is a sound: shorter than the smallest buffer, it is loaded with silence after it (create
  // type 1 loads nothing at all).
  for (int type : {0, 2, 3}) {
    SetSoundCreateType(type);
    WriteFileBytes(work_.path() / "one.wav", Wave(Pcm(1, 16), {0x34, 0x12}));
    const int one = LoadSoundFile("one.wav", 1, -1);
    ASSERT_NE(one, -1) << "create type " << type;
    EXPECT_EQ(PlaySoundHandle(one, 1, 1), 0) << "create type " << type;
    EXPECT_EQ(DeleteSoundHandle(one), 0);
  }
}

TEST_F(HostileSound, HeadersTheConverterCannotPlayAreRefused) {
  const std::vector<uint8_t> samples(4000, 0x40);
  for (uint16_t bits : {0, 1, 7, 12}) {
    for (bool shortChunk : {false, true}) {
      ExpectRefusedEverywhere(std::to_string(bits) + "-bit PCM" + (shortChunk ? ", 16-byte chunk" : ""),
                              Wave(Pcm(1, bits, shortChunk), samples));
    }
  }
  WaveFields many = Pcm(2, 16);
  many.channels = 65535;
  ExpectRefusedEverywhere("65535 channels", Wave(many, samples));
  many.block = 65535 * 2 & 0xFFFF;
  ExpectRefusedEverywhere("65535 channels, wrapped block", Wave(many, samples));
}

TEST_F(HostileSound, TruncatedAndOversizedChunksKeepTheirRefusals) {
  const std::vector<uint8_t> good = Wave(Pcm(1, 16), std::vector<uint8_t>(400, 0x20));
  // Cut at every header boundary: RIFF, WAVE, "fmt " header, its data, "data" header.
  for (size_t cut : {0u, 4u, 8u, 12u, 16u, 20u, 30u, 38u, 42u}) {
    ExpectRefusedEverywhere("cut at " + std::to_string(cut), std::vector<uint8_t>(good.begin(), good.begin() + cut));
  }
  std::vector<uint8_t> hugeFmt = good;
  hugeFmt[16] = hugeFmt[17] = hugeFmt[18] = hugeFmt[19] = 0xFF;
  ExpectRefusedEverywhere("\"fmt \" chunk of 4 GiB", hugeFmt);
  // A data chunk stated past the end plays what the file holds.
  const std::vector<uint8_t> longData = Wave(Pcm(1, 16), std::vector<uint8_t>(400, 0x20), 0xFFFFFFF0u);
  WriteFileBytes(work_.path() / "long.wav", longData);
  const int h = LoadSoundFile("long.wav", 1, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(GetSoundSampleCount(h), 200);
}

}  // namespace
}  // namespace orbel::testing
