// Helpers of the sound tests.
#include "sound_test_support.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/sound/sound_state.h"
#include "orbel/sound/sound_system.h"
#include "platform/dsound/dsound_test_controls.h"

namespace orbel::testing {

void SoundTest::SetUp() {
  VirtualClockTest::SetUp();
  plat::test::ResetSound();
  SetLogOutsideWindowMode(0);
  SetLogFileSettings(0, 0, 0);
  SetLogStartupDirectory(work_.path().c_str());
  StartLogFile();
  ASSERT_EQ(InitSoundSystem(), 0u);
}

void SoundTest::TearDown() {
  EndSoundSystem();
  plat::test::ResetSound();
  SetLogStartupDirectory("");
  VirtualClockTest::TearDown();
}

std::string SoundTest::LogText() const { return ReadFileText(work_.path() / "Log.txt"); }

std::vector<std::string> SoundTest::LogLines() const {
  return ReadLogMessages(work_.path() / "Log.txt");
}

bool SoundTest::LogHas(const std::string& line) const {
  for (const std::string& l : LogLines())
    if (l == line) return true;
  return false;
}

void Put16(std::vector<uint8_t>& v, uint32_t x) {
  v.push_back(static_cast<uint8_t>(x));
  v.push_back(static_cast<uint8_t>(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, x & 0xFFFF);
  Put16(v, x >> 16);
}

std::vector<uint8_t> MakePcmWav(int channels, int rate, int bits, const std::vector<int16_t>& samples, int fmtSize) {
  std::vector<uint8_t> data;
  for (int16_t s : samples) {
    if (bits == 8) data.push_back(static_cast<uint8_t>((s >> 8) + 128));
    else Put16(data, static_cast<uint16_t>(s));
  }
  const int block = channels * bits / 8;
  std::vector<uint8_t> v;
  v.insert(v.end(), {'R', 'I', 'F', 'F'});
  Put32(v, static_cast<uint32_t>(4 + 8 + fmtSize + 8 + data.size()));
  v.insert(v.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(v, static_cast<uint32_t>(fmtSize));
  Put16(v, 1);
  Put16(v, static_cast<uint32_t>(channels));
  Put32(v, static_cast<uint32_t>(rate));
  Put32(v, static_cast<uint32_t>(rate * block));
  Put16(v, static_cast<uint32_t>(block));
  Put16(v, static_cast<uint32_t>(bits));
  if (fmtSize >= 18) Put16(v, 0);
  for (int i = 18; i < fmtSize; ++i) v.push_back(0);
  v.insert(v.end(), {'d', 'a', 't', 'a'});
  Put32(v, static_cast<uint32_t>(data.size()));
  v.insert(v.end(), data.begin(), data.end());
  return v;
}

std::vector<int16_t> Sine(int frames, int channels, double hz, int rate, double amplitude) {
  std::vector<int16_t> s;
  s.reserve(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i) {
    const double v = amplitude * std::sin(2 * M_PI * hz * i / rate) + amplitude * 0.3 * std::sin(2 * M_PI * hz * 2.7 * i / rate);
    for (int c = 0; c < channels; ++c) s.push_back(static_cast<int16_t>(std::lround(c ? v * 0.8 : v)));
  }
  return s;
}

bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool MakeWithTool(const std::vector<int16_t>& samples, int channels, int rate, const std::string& tool,
                  const std::filesystem::path& out) {
  const std::filesystem::path in = out.string() + ".src.wav";
  WriteFileBytes(in, MakePcmWav(channels, rate, 16, samples, 16));
  std::string command = tool;
  for (auto [key, value] : {std::pair<std::string, std::string>{"{in}", in.string()}, {"{out}", out.string()}}) {
    const size_t at = command.find(key);
    if (at != std::string::npos) command.replace(at, key.size(), "'" + value + "'");
  }
  return Run(command) && std::filesystem::exists(out);
}

double BestCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int channels, int maxLag) {
  double best = -1;
  for (int lag = 0; lag <= maxLag; ++lag) {
    const size_t offset = static_cast<size_t>(lag) * channels;
    if (offset >= b.size()) break;
    const size_t n = std::min(a.size(), b.size() - offset);
    double ab = 0, aa = 0, bb = 0;
    for (size_t i = 0; i < n; ++i) {
      const double x = a[i], y = b[i + offset];
      ab += x * y, aa += x * x, bb += y * y;
    }
    if (aa > 0 && bb > 0) best = std::max(best, ab / std::sqrt(aa * bb));
  }
  return best;
}

std::vector<int16_t> AsSamples(const void* pcm, uint32_t bytes) {
  std::vector<int16_t> s(bytes / 2);
  if (!s.empty()) std::memcpy(s.data(), pcm, s.size() * 2);
  return s;
}

}  // namespace orbel::testing
