// Helpers of the sound tests: a fixture with the virtual clock, a fresh log and the sound system
// started; sound files made at test time (by the test itself, or by sox / lame / oggenc); PCM
// comparison by correlation.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace orbel::testing {

class SoundTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The log's lines without stamps and indent.
  std::vector<std::string> LogLines() const;
  bool LogHas(const std::string& line) const;
  std::string LogText() const;

  ScopedWorkDir work_;
};

// Appends a little-endian 16- or 32-bit field.
void Put16(std::vector<uint8_t>& v, uint32_t x);
void Put32(std::vector<uint8_t>& v, uint32_t x);
// A RIFF/WAVE file image of 16-bit (or 8-bit) PCM; `fmtSize` 16 or 18.
std::vector<uint8_t> MakePcmWav(int channels, int rate, int bits, const std::vector<int16_t>& samples,
                                int fmtSize = 16);
// `frames` frames of a sine (interleaved, same in every channel), 16-bit.
std::vector<int16_t> Sine(int frames, int channels, double hz, int rate, double amplitude = 12000);
// Runs a shell command; true when it exits with 0.
bool Run(const std::string& command);
// Writes samples as a 16-bit WAV file and converts it with the command `tool` (with {in} and {out}).
bool MakeWithTool(const std::vector<int16_t>& samples, int channels, int rate, const std::string& tool,
                  const std::filesystem::path& out);
// The largest normalised correlation of `b` against `a` over lags 0..maxLag (in frames, b delayed).
double BestCorrelation(const std::vector<int16_t>& a, const std::vector<int16_t>& b, int channels, int maxLag);
std::vector<int16_t> AsSamples(const void* pcm, uint32_t bytes);

}  // namespace orbel::testing
