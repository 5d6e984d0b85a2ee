// The SDL host's audio device, through SDL's "disk" driver: a WAV loaded into a sound handle plays out
// of the device, and the samples SDL writes are the mix. Runs only when ORBEL_HOST=sdl and
// SDL_AUDIODRIVER=disk with SDL_DISKAUDIOFILE set, which the CTest entry platform.SdlDiskAudioUnderXvfb
// arranges under xvfb-run; otherwise it is skipped.

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "orbel/sound/sound_handle.h"
#include "orbel/sound/sound_system.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/host/host.h"
#include "test_support.h"
#include "wait_until.h"

namespace {

using namespace plat;

bool EnvIs(const char* name, const char* value) {
  const char* v = std::getenv(name);
  return v != nullptr && (value == nullptr || std::strcmp(v, value) == 0);
}

void Put16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, static_cast<uint16_t>(v));
  Put16(b, static_cast<uint16_t>(v >> 16));
}

// A mono 16-bit 44,100 Hz WAV of the given samples.
std::vector<uint8_t> MonoWav(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> b = {'R', 'I', 'F', 'F'};
  Put32(b, static_cast<uint32_t>(36 + samples.size() * 2));
  for (char c : std::string("WAVEfmt ")) b.push_back(static_cast<uint8_t>(c));
  Put32(b, 16);
  Put16(b, 1);
  Put16(b, 1);
  Put32(b, 44100);
  Put32(b, 88200);
  Put16(b, 2);
  Put16(b, 16);
  for (char c : std::string("data")) b.push_back(static_cast<uint8_t>(c));
  Put32(b, static_cast<uint32_t>(samples.size() * 2));
  for (int16_t s : samples) Put16(b, static_cast<uint16_t>(s));
  return b;
}

class HostSdlAudio : public orbel::testing::VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    if (!EnvIs("ORBEL_HOST", "sdl") || !EnvIs("SDL_AUDIODRIVER", "disk") || !EnvIs("SDL_DISKAUDIOFILE", nullptr)) {
      GTEST_SKIP() << "needs ORBEL_HOST=sdl, SDL_AUDIODRIVER=disk and SDL_DISKAUDIOFILE";
    }
    auto sdl = host::CreateHostByName("sdl");
    ASSERT_NE(sdl, nullptr) << "ORBEL_HOST=sdl but SDL video does not start here";
    host::Install(std::move(sdl));
  }
  void TearDown() override {
    test::ResetSound();
    VirtualClockTest::TearDown();
  }
  orbel::testing::ScopedWorkDir dir_;
};

TEST_F(HostSdlAudio, ALoadedWavPlaysToTheDeviceSampleForSample) {
  const std::filesystem::path out = std::getenv("SDL_DISKAUDIOFILE");
  std::filesystem::remove(out);
  // A quarter second of a tone no sample of which is zero, so its start is found in the output.
  std::vector<int16_t> samples(11025);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(1000 + 9000 * ((i * 37) % 200) / 200);
  }
  orbel::testing::WriteFileBytes("tone.wav", MonoWav(samples));

  ASSERT_EQ(orbel::InitSoundSystem(), 0u);
  EXPECT_STRNE(host::Current().AudioDeviceName().c_str(), "") << "the SDL device is open";
  const int handle = orbel::LoadSoundFile("tone.wav", 1, -1);
  ASSERT_NE(handle, -1);
  ASSERT_EQ(orbel::PlaySoundHandle(handle, 1, 1), 0);
  // The disk driver consumes in real time; the buffer stops itself at its end.
  EXPECT_TRUE(orbel::testing::WaitUntil([&] { return orbel::IsSoundHandlePlaying(handle) != 1; }));
  EXPECT_EQ(orbel::IsSoundHandlePlaying(handle), 0);
  EXPECT_EQ(orbel::EndSoundSystem(), 0);  // closes the device, which finishes the file

  const std::vector<uint8_t> raw = orbel::testing::ReadFileBytes(out);
  std::vector<int16_t> written(raw.size() / 2);
  std::memcpy(written.data(), raw.data(), written.size() * 2);
  size_t start = 0;
  while (start < written.size() && written[start] == 0) ++start;
  ASSERT_LT(start, written.size()) << "nothing but silence was written";
  ASSERT_EQ(start % 2, 0u) << "the tone starts on a frame";
  ASSERT_GE(written.size() - start, samples.size() * 2);
  size_t differing = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    differing += written[start + 2 * i] != samples[i];
    differing += written[start + 2 * i + 1] != samples[i];
  }
  EXPECT_EQ(differing, 0u) << "both channels carry the WAV unchanged";
  for (size_t i = start + samples.size() * 2; i < written.size(); ++i) ASSERT_EQ(written[i], 0) << "at " << i;
}

}  // namespace
