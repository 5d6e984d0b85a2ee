// The compression manager: files made at test time by sox and lame decode to what sox itself decodes
// (ADPCM, A-law, mu-law: sample for sample) or to the source (MPEG: by correlation), in the library's
// piecewise way; the destination's room is never overrun and the source used is reported truthfully.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/acm/acm.h"
#include "platform/acm/acm_codec.h"
#include "test_support.h"

namespace {

using namespace plat;
namespace fs = std::filesystem;

bool HaveTool(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}
bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; }

// A RIFF WAVE file's "fmt " chunk (whole, as the codec's format block) and its data.
struct Wave {
  std::vector<uint8_t> format;
  std::vector<uint8_t> data;
  const WAVEFORMATEX* Format() const { return reinterpret_cast<const WAVEFORMATEX*>(format.data()); }
};

Wave ReadWave(const fs::path& path) {
  const std::vector<uint8_t> file = orbel::testing::ReadFileBytes(path);
  Wave w;
  size_t at = 12;
  while (at + 8 <= file.size()) {
    const uint32_t size = Le32(&file[at + 4]);
    const auto body = file.begin() + static_cast<long>(at + 8);
    const size_t n = std::min<size_t>(size, file.size() - at - 8);
    if (std::memcmp(&file[at], "fmt ", 4) == 0) w.format.assign(body, body + static_cast<long>(n));
    if (std::memcmp(&file[at], "data", 4) == 0) w.data.assign(body, body + static_cast<long>(n));
    at += 8 + size + (size & 1);
  }
  if (w.format.size() < sizeof(WAVEFORMATEX)) w.format.resize(sizeof(WAVEFORMATEX), 0);
  return w;
}

std::vector<int16_t> Samples(const std::vector<uint8_t>& bytes) {
  std::vector<int16_t> s(bytes.size() / 2);
  std::memcpy(s.data(), bytes.data(), s.size() * 2);
  return s;
}

// Converts `source` as the library does: pieces of at most 2048 bytes, `room` bytes of output each
// time, the unused source handed back; stops when a piece gives no output.
std::vector<uint8_t> ConvertAll(const WAVEFORMATEX* format, const std::vector<uint8_t>& source, DWORD room,
                                size_t* calls = nullptr) {
  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  EXPECT_EQ(acmFormatSuggest(nullptr, format, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), MMSYSERR_NOERROR);
  HACMSTREAM stream = nullptr;
  EXPECT_EQ(acmStreamOpen(&stream, nullptr, format, &out, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME), MMSYSERR_NOERROR);
  if (stream == nullptr) return {};
  std::vector<uint8_t> pcm;
  std::vector<uint8_t> buffer(room + 64, 0xA5);
  size_t at = 0;
  size_t n = 0;
  while (at < source.size()) {
    ACMSTREAMHEADER h{};
    h.cbStruct = sizeof h;
    std::vector<uint8_t> piece(source.begin() + static_cast<long>(at),
                               source.begin() + static_cast<long>(std::min(source.size(), at + 2048)));
    h.pbSrc = piece.data();
    h.cbSrcLength = static_cast<DWORD>(piece.size());
    h.pbDst = buffer.data();
    h.cbDstLength = room;
    EXPECT_EQ(acmStreamPrepareHeader(stream, &h, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamConvert(stream, &h, ACM_STREAMCONVERTF_BLOCKALIGN), MMSYSERR_NOERROR);
    EXPECT_EQ(acmStreamUnprepareHeader(stream, &h, 0), MMSYSERR_NOERROR);
    ++n;
    EXPECT_LE(h.cbDstLengthUsed, room);
    EXPECT_LE(h.cbSrcLengthUsed, h.cbSrcLength);
    for (size_t i = room; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], 0xA5) << "written past the room";
    if (h.cbDstLengthUsed == 0) break;
    pcm.insert(pcm.end(), buffer.begin(), buffer.begin() + h.cbDstLengthUsed);
    at += h.cbSrcLengthUsed;
  }
  EXPECT_EQ(acmStreamClose(stream, 0), MMSYSERR_NOERROR);
  if (calls != nullptr) *calls = n;
  return pcm;
}

class AcmFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTool("sox")) GTEST_SKIP() << "sox is not installed";
    // Two tones and a sweep, stereo, loud enough to use the codecs' whole range.
    ASSERT_TRUE(RunTool("sox -n -r 22050 -c 2 -b 16 source.wav synth 1.3 sine 440 sine 300-3000 gain -2"));
  }
  orbel::testing::ScopedWorkDir dir_;
};

TEST_F(AcmFilesTest, BlockCodecsDecodeSampleForSampleAsSoxDoes) {
  struct Case {
    const char* encoding;
    WORD tag;
  };
  const Case cases[] = {{"ima-adpcm", WAVE_FORMAT_IMA_ADPCM},
                        {"ms-adpcm", WAVE_FORMAT_ADPCM},
                        {"a-law", WAVE_FORMAT_ALAW},
                        {"mu-law", WAVE_FORMAT_MULAW}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoding);
    const std::string coded = std::string(c.encoding) + ".wav";
    ASSERT_TRUE(RunTool("sox source.wav -e " + std::string(c.encoding) + " " + coded));
    ASSERT_TRUE(RunTool("sox " + coded + " -e signed -b 16 reference-" + coded));
    const Wave w = ReadWave(coded);
    ASSERT_EQ(w.Format()->wFormatTag, c.tag);
    const std::vector<int16_t> reference = Samples(ReadWave("reference-" + coded).data);

    DWORD size = 0;
    HACMSTREAM stream = nullptr;
    WAVEFORMATEX out{};
    out.wFormatTag = WAVE_FORMAT_PCM;
    ASSERT_EQ(acmFormatSuggest(nullptr, w.Format(), &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), MMSYSERR_NOERROR);
    EXPECT_EQ(out.wBitsPerSample, 16);
    EXPECT_EQ(out.nChannels, 2);
    EXPECT_EQ(out.nSamplesPerSec, 22050u);
    EXPECT_EQ(out.nAvgBytesPerSec, 88200u);
    ASSERT_EQ(acmStreamOpen(&stream, nullptr, w.Format(), &out, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(acmStreamSize(stream, static_cast<DWORD>(w.data.size()), &size, ACM_STREAMSIZEF_SOURCE), MMSYSERR_NOERROR);
    acmStreamClose(stream, 0);

    const std::vector<uint8_t> pcm = ConvertAll(w.Format(), w.data, out.nAvgBytesPerSec);
    EXPECT_EQ(pcm.size(), size) << "the size estimate is exact for block codecs";
    const std::vector<int16_t> decoded = Samples(pcm);
    ASSERT_GE(decoded.size(), reference.size());
    size_t differing = 0;
    for (size_t i = 0; i < reference.size(); ++i) differing += decoded[i] != reference[i];
    EXPECT_EQ(differing, 0u);
  }
}

TEST_F(AcmFilesTest, ASmallRoomTakesFewerBlocksAndLosesNothing) {
  ASSERT_TRUE(RunTool("sox source.wav -e ms-adpcm ms.wav"));
  const Wave w = ReadWave("ms.wav");
  const std::vector<uint8_t> whole = ConvertAll(w.Format(), w.data, 88200);
  size_t calls = 0;
  const DWORD blockOutput = (w.Format()->nBlockAlign - 14 + 2) * 4;  // one block's frames x 4 bytes
  const std::vector<uint8_t> small = ConvertAll(w.Format(), w.data, blockOutput + 10, &calls);
  EXPECT_EQ(small, whole);
  EXPECT_GE(calls, w.data.size() / w.Format()->nBlockAlign);
}

double Correlation(const int16_t* a, const int16_t* b, size_t n) {
  double ab = 0;
  double aa = 0;
  double bb = 0;
  for (size_t i = 0; i < n; ++i) {
    ab += static_cast<double>(a[i]) * b[i];
    aa += static_cast<double>(a[i]) * a[i];
    bb += static_cast<double>(b[i]) * b[i];
  }
  return ab / std::sqrt(aa * bb);
}

// An MPEGLAYER3WAVEFORMAT for the first frame of `data`.
MPEGLAYER3WAVEFORMAT Layer3Format(const std::vector<uint8_t>& data, size_t* first) {
  acm::MpegFrame frame{};
  size_t at = 0;
  while (at + 4 <= data.size() && !acm::ParseMpegFrame(&data[at], &frame)) ++at;
  *first = at;
  MPEGLAYER3WAVEFORMAT m{};
  m.wfx = WAVEFORMATEX{WAVE_FORMAT_MPEGLAYER3, static_cast<WORD>(frame.channels), static_cast<DWORD>(frame.rate),
                       static_cast<DWORD>(frame.kbps * 1000 / 8), 1, 0, MPEGLAYER3_WFX_EXTRA_BYTES};
  m.wID = MPEGLAYER3_ID_MPEG;
  m.nBlockSize = static_cast<WORD>(frame.length);
  m.nFramesPerBlock = 1;
  m.nCodecDelay = 700;
  return m;
}

TEST_F(AcmFilesTest, MpegDecodesEveryFrameAndFollowsTheSource) {
  if (!HaveTool("lame")) GTEST_SKIP() << "lame is not installed";
  struct Case {
    const char* options;
  };
  // 8 kbit/s at 22,050 Hz: two kilobytes of source decode to more than the 4/3-second room.
  const Case cases[] = {{"-b 128"}, {"-b 8 --resample 22.05"}, {"-m m -b 64"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options);
    ASSERT_TRUE(RunTool(std::string("lame --quiet --noreplaygain ") + c.options + " source.wav coded.mp3"));
    std::vector<uint8_t> file = orbel::testing::ReadFileBytes("coded.mp3");
    size_t first = 0;
    const MPEGLAYER3WAVEFORMAT m = Layer3Format(file, &first);
    // Garbage before the first frame and a free-format header are skipped without a stall.
    std::vector<uint8_t> data = {0x00, 0xFF, 0xFB, 0x00, 0x44, 0x12};
    data.insert(data.end(), file.begin() + static_cast<long>(first), file.end());
    size_t samples = 0;
    for (size_t at = 6; at + 4 <= data.size();) {
      acm::MpegFrame f;
      if (!acm::ParseMpegFrame(&data[at], &f) || at + f.length > data.size()) break;
      at += f.length;
      samples += f.samples;
    }
    const DWORD room = m.wfx.nSamplesPerSec * m.wfx.nChannels * 2 * 4 / 3;
    const std::vector<int16_t> decoded = Samples(ConvertAll(&m.wfx, data, room));
    EXPECT_EQ(decoded.size(), samples * m.wfx.nChannels) << "every frame, the information frame as silence";

    // The source at the decoded rate and channel count, then the best alignment (the codec's delay).
    ASSERT_TRUE(RunTool("sox source.wav -r " + std::to_string(m.wfx.nSamplesPerSec) + " -c " +
                    std::to_string(m.wfx.nChannels) + " reference.wav"));
    const std::vector<int16_t> reference = Samples(ReadWave("reference.wav").data);
    const size_t n = std::min<size_t>(reference.size(), 20000);
    double best = 0;
    for (size_t lag = 0; lag < 4000 && lag + n <= decoded.size(); lag += m.wfx.nChannels) {
      best = std::max(best, Correlation(reference.data(), decoded.data() + lag, n));
    }
    EXPECT_GT(best, std::strstr(c.options, "-b 8") != nullptr ? 0.9 : 0.99);
  }
}

TEST(AcmCalls, UnknownFormatsAndMalformedHeadersAreRefused) {
  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  struct Case {
    WAVEFORMATEX source;
    const char* what;
  };
  const Case cases[] = {
      {{0x0031, 1, 8000, 1625, 65, 0, 0}, "GSM: no codec here"},
      {{WAVE_FORMAT_IMA_ADPCM, 0, 22050, 11100, 512, 4, 0}, "no channels"},
      {{WAVE_FORMAT_IMA_ADPCM, 1, 22050, 11100, 4, 4, 0}, "a block no bigger than its header"},
      {{WAVE_FORMAT_ADPCM, 3, 22050, 11100, 1024, 4, 0}, "three channels"},
      {{WAVE_FORMAT_ALAW, 1, 0, 0, 1, 8, 0}, "no rate"},
      {{WAVE_FORMAT_MPEGLAYER3, 2, 0, 16000, 1, 0, 12}, "no rate"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(acmFormatSuggest(nullptr, &c.source, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), ACMERR_NOTPOSSIBLE);
  }
  DWORD metric = 30;
  ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &metric), MMSYSERR_NOERROR);
  EXPECT_GE(metric, sizeof(MPEGLAYER3WAVEFORMAT));

  // A-law to 8-bit PCM, or to another rate, is not a conversion this manager makes.
  WAVEFORMATEX alaw{WAVE_FORMAT_ALAW, 1, 8000, 8000, 1, 8, 0};
  WAVEFORMATEX pcm8{WAVE_FORMAT_PCM, 1, 8000, 8000, 1, 8, 0};
  WAVEFORMATEX pcm16other{WAVE_FORMAT_PCM, 1, 11025, 22050, 2, 16, 0};
  HACMSTREAM stream = nullptr;
  EXPECT_EQ(acmStreamOpen(&stream, nullptr, &alaw, &pcm8, nullptr, 0, 0, 0), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(acmStreamOpen(&stream, nullptr, &alaw, &pcm16other, nullptr, 0, 0, 0), ACMERR_NOTPOSSIBLE);
  EXPECT_EQ(stream, nullptr);

  // An unprepared header is not converted.
  WAVEFORMATEX pcm16{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
  ASSERT_EQ(acmStreamOpen(&stream, nullptr, &alaw, &pcm16, nullptr, 0, 0, 0), MMSYSERR_NOERROR);
  uint8_t src[3] = {0xD5, 0x55, 0x2A};
  uint8_t dst[6];
  ACMSTREAMHEADER h{};
  h.cbStruct = sizeof h;
  h.pbSrc = src;
  h.cbSrcLength = 3;
  h.pbDst = dst;
  h.cbDstLength = 5;  // room for two samples only
  EXPECT_EQ(acmStreamConvert(stream, &h, 0), ACMERR_UNPREPARED);
  ASSERT_EQ(acmStreamPrepareHeader(stream, &h, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(acmStreamConvert(stream, &h, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(h.cbSrcLengthUsed, 2u);
  EXPECT_EQ(h.cbDstLengthUsed, 4u);
  EXPECT_EQ(static_cast<int16_t>(dst[0] | dst[1] << 8), 8);   // A-law 0xD5: the smallest positive step
  EXPECT_EQ(static_cast<int16_t>(dst[2] | dst[3] << 8), -8);  // and 0x55 its negative
  acmStreamClose(stream, 0);
}

}  // namespace
