// The MCI sequencer: song lengths from standard MIDI files, refusal of everything else, the end notice
// on time through the message pump, replay, stop and close, and the synthesiser's sound in the mix.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dsound/dsound.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/mci/mci.h"
#include "platform/mci/mci_test_controls.h"
#include "platform/mci/midi_file.h"
#include "platform/mci/midi_synth.h"
#include "platform/test_controls.h"
#include "window_test_fixture.h"

namespace {

using namespace plat;
using Bytes = std::vector<uint8_t>;

void Put32(Bytes& b, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<uint8_t>(v >> s));
}

Bytes Chunk(const char* id, const Bytes& body) {
  Bytes b(id, id + 4);
  Put32(b, static_cast<uint32_t>(body.size()));
  b.insert(b.end(), body.begin(), body.end());
  return b;
}

// A standard MIDI file of `format` with `division` and the given track bodies (events as bytes).
Bytes Smf(uint16_t format, uint16_t division, const std::vector<Bytes>& tracks) {
  Bytes header = {0, static_cast<uint8_t>(format), 0, static_cast<uint8_t>(tracks.size()),
                  static_cast<uint8_t>(division >> 8), static_cast<uint8_t>(division)};
  Bytes file = Chunk("MThd", header);
  for (const Bytes& t : tracks) {
    const Bytes c = Chunk("MTrk", t);
    file.insert(file.end(), c.begin(), c.end());
  }
  return file;
}

const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};
// Middle C for 960 ticks (two quarter notes), running status for the note-off.
const Bytes kNote = {0x00, 0x90, 60, 100, 0x87, 0x40, 60, 0, 0x00, 0xFF, 0x2F, 0x00};

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(MidiFile, LengthFollowsTheTempoMapAndTheLongestTrack) {
  const Bytes faster = {0x83, 0x60, 0xFF, 0x51, 0x03, 0x03, 0xD0, 0x90};  // at tick 480: 250,000 us per quarter
  struct Case {
    const char* what;
    Bytes file;
    uint64_t microseconds;
  };
  const Case cases[] = {
      {"one note at 120 bpm", Smf(0, 480, {kNote}), 1000000},
      {"tempo doubles halfway", Smf(0, 480, {Concat({faster, {0x83, 0x60, 0xFF, 0x2F, 0x00}})}), 750000},
      {"format 1: tempo track, longer note track", Smf(1, 480, {Concat({faster, kEnd}), kNote}), 750000},
      {"SMPTE: 25 fps x 40 ticks", Smf(0, 0xE728, {{0x87, 0x68, 0xFF, 0x2F, 0x00}}), 1000000},
      {"no end-of-track event", Smf(0, 96, {{0x60, 0x90, 60, 100}}), 500000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mci::MidiSong song;
    ASSERT_TRUE(mci::ParseMidiSong(c.file.data(), c.file.size(), &song));
    EXPECT_EQ(song.lengthMicroseconds, c.microseconds);
  }
  // The same song wrapped as RIFF RMID.
  const Bytes smf = Smf(0, 480, {kNote});
  Bytes riff = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'R', 'M', 'I', 'D', 'd', 'a', 't', 'a'};
  const auto n = static_cast<uint32_t>(smf.size());
  for (int s = 0; s < 32; s += 8) riff.push_back(static_cast<uint8_t>(n >> s));
  riff.insert(riff.end(), smf.begin(), smf.end());
  mci::MidiSong song;
  ASSERT_TRUE(mci::ParseMidiSong(riff.data(), riff.size(), &song));
  EXPECT_EQ(song.lengthMicroseconds, 1000000u);
  EXPECT_EQ(song.smfSize, smf.size());
  EXPECT_EQ(song.MicrosecondsToTicks(500000), 480u);
}

TEST(MidiFile, AnythingElseIsRefused) {
  Bytes truncated = Smf(0, 480, {kNote});
  truncated.resize(truncated.size() - 5);
  Bytes badLength = Smf(0, 480, {kNote});
  badLength[21] = 0x7F;  // the track claims more than the file has
  const Bytes mp3 = {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  struct Case {
    const char* what;
    Bytes file;
  };
  const Case cases[] = {
      {"an MP3 frame", mp3},
      {"empty", {}},
      {"truncated track", truncated},
      {"track longer than the file", badLength},
      {"format 2", Smf(2, 480, {kNote})},
      {"no tracks", Smf(0, 480, {})},
      {"running status with nothing to run on", Smf(0, 480, {{0x00, 60, 100, 0x00, 0xFF, 0x2F, 0x00}})},
      {"meta event past the end", Smf(0, 480, {{0x00, 0xFF, 0x01, 0x20, 'x'}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    mci::MidiSong song;
    EXPECT_FALSE(mci::ParseMidiSong(c.file.data(), c.file.size(), &song));
  }
}

class SequencerTest : public windows_test::RecordingWindowTest {
 protected:
  void SetUp() override {
    RecordingWindowTest::SetUp();
    test::UseVirtualClock(0, 0);
    test::SetMidiSoundFont("");  // silent unless a test asks for the synthesiser
    window_ = windows_test::MakeWindow("main", 0, 0, 0, 100, 100);
    ASSERT_NE(window_, nullptr);
    orbel::testing::WriteFileBytes("song.mid", Smf(0, 480, {kNote}));
  }
  void TearDown() override {
    test::ResetMci();
    if (sound_ != nullptr) sound_->Release();
    test::ResetSound();
    DestroyWindow(window_);
    RecordingWindowTest::TearDown();
  }

  MCIDEVICEID Open(const char* path, MCIERROR* error = nullptr) {
    MCI_OPEN_PARMSA p{};
    p.lpstrDeviceType = "sequencer";
    p.lpstrElementName = path;
    const MCIERROR e = mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&p));
    if (error != nullptr) *error = e;
    return e == 0 ? p.wDeviceID : 0;
  }
  // Opens song.mid with Debian's sound font and a DirectSound object to mix it into. Empty, or what
  // is missing for the song to sound.
  std::string OpenAudible(MCIDEVICEID* id) {
    test::SetMidiSoundFont(nullptr);
    if (mci::MidiSynth::SoundFontPath().empty()) return "no General MIDI sound font installed";
    if (CoCreateDirectSound(&sound_) != S_OK || sound_->Initialize(nullptr) != DS_OK) {
      ADD_FAILURE() << "no DirectSound";
      return "no DirectSound";
    }
    *id = Open("song.mid");
    if (*id == 0) {
      ADD_FAILURE() << "the song does not open";
      return "the song does not open";
    }
    return test::SequencerAudible(*id) ? "" : "built without the synthesiser";
  }
  MCIERROR Play(MCIDEVICEID id, DWORD flags, DWORD from = 0) {
    MCI_PLAY_PARMS p{};
    p.dwCallback = reinterpret_cast<DWORD_PTR>(window_);
    p.dwFrom = from;
    return mciSendCommandA(id, MCI_PLAY, flags, reinterpret_cast<DWORD_PTR>(&p));
  }
  // Pumps the queue as the library's message loop does; returns the notices the window got.
  std::vector<windows_test::Recorded> PumpNotices() {
    windows_test::Log().clear();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    std::vector<windows_test::Recorded> notices;
    for (const auto& r : windows_test::Log()) {
      if (r.message == MM_MCINOTIFY) notices.push_back(r);
    }
    return notices;
  }

  orbel::testing::ScopedWorkDir dir_;
  HWND window_ = nullptr;
  IDirectSound* sound_ = nullptr;
};

TEST_F(SequencerTest, NoticeComesThroughThePumpWhenTheSongHasPlayed) {
  const MCIDEVICEID id = Open("song.mid");
  ASSERT_NE(id, 0u);
  ASSERT_EQ(Play(id, MCI_NOTIFY), 0u);
  test::AdvanceClock(980000);
  EXPECT_TRUE(PumpNotices().empty());
  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_STATUS_POSITION;
  ASSERT_EQ(mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)), 0u);
  EXPECT_EQ(status.dwReturn, 980u);
  test::AdvanceClock(30000);
  const auto notices = PumpNotices();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].window, window_);
  EXPECT_EQ(notices[0].wParam, MCI_NOTIFY_SUCCESSFUL);
  EXPECT_EQ(notices[0].lParam, static_cast<LPARAM>(id));
  test::AdvanceClock(2000000);
  EXPECT_TRUE(PumpNotices().empty()) << "one notice per play";

  // Replay from the start, as a looping song does on its notice.
  ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM, 0), 0u);
  test::AdvanceClock(1011000);
  EXPECT_EQ(PumpNotices().size(), 1u);
  EXPECT_EQ(mciSendCommandA(id, MCI_CLOSE, 0, 0), 0u);
  EXPECT_EQ(test::OpenSequencers(), 0);
}

TEST_F(SequencerTest, StopAndCloseDropThePendingNotice) {
  const MCIDEVICEID id = Open("song.mid");
  ASSERT_EQ(Play(id, MCI_NOTIFY), 0u);
  test::AdvanceClock(400000);
  ASSERT_EQ(mciSendCommandA(id, MCI_STOP, 0, 0), 0u);
  test::AdvanceClock(2000000);
  EXPECT_TRUE(PumpNotices().empty());
  // Playing on from where it stopped ends 600 ms later.
  ASSERT_EQ(Play(id, MCI_NOTIFY), 0u);
  test::AdvanceClock(590000);
  EXPECT_TRUE(PumpNotices().empty());
  test::AdvanceClock(20000);
  EXPECT_EQ(PumpNotices().size(), 1u);

  ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM, 0), 0u);
  ASSERT_EQ(mciSendCommandA(id, MCI_CLOSE, 0, 0), 0u);
  test::AdvanceClock(2000000);
  EXPECT_TRUE(PumpNotices().empty());
  EXPECT_EQ(Play(id, MCI_NOTIFY), MCIERR_INVALID_DEVICE_ID);
}

TEST_F(SequencerTest, OpenRefusesWhatIsNoStandardMidiFile) {
  orbel::testing::WriteFileBytes("music.mp3", {0xFF, 0xFB, 0x90, 0x64, 0, 0, 0, 0});
  struct Case {
    const char* path;
    const char* type;
    MCIERROR expected;
  };
  const Case cases[] = {{"music.mp3", "sequencer", MCIERR_INVALID_FILE},
                        {"missing.mid", "sequencer", MCIERR_FILE_NOT_FOUND},
                        {"song.mid", "waveaudio", MCIERR_INVALID_DEVICE_NAME},
                        {"song.mid", "Sequencer", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    MCI_OPEN_PARMSA p{};
    p.lpstrDeviceType = c.type;
    p.lpstrElementName = c.path;
    EXPECT_EQ(mciSendCommandA(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_ELEMENT, reinterpret_cast<DWORD_PTR>(&p)), c.expected);
  }
  EXPECT_EQ(test::OpenSequencers(), 1);
}

TEST_F(SequencerTest, StatusReportsThePortAndTheLength) {
  const MCIDEVICEID id = Open("song.mid");
  MCI_STATUS_PARMS status{};
  status.dwItem = MCI_SEQ_STATUS_PORT;
  ASSERT_EQ(mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)), 0u);
  EXPECT_EQ(status.dwReturn & 0xFFFF, 0xFFFFu);
  test::SetSequencerPort(2);
  ASSERT_EQ(mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)), 0u);
  EXPECT_EQ(status.dwReturn, 2u);
  status.dwItem = MCI_STATUS_LENGTH;
  ASSERT_EQ(mciSendCommandA(id, MCI_STATUS, MCI_STATUS_ITEM, reinterpret_cast<DWORD_PTR>(&status)), 0u);
  EXPECT_EQ(status.dwReturn, 1000u);
  EXPECT_EQ(mciSendCommandA(id, MCI_STATUS, 0, reinterpret_cast<DWORD_PTR>(&status)), MCIERR_MISSING_PARAMETER);
}

TEST_F(SequencerTest, WithoutTheSynthesiserLibraryTheSongPlaysSilentlyOnTime) {
  test::SetMidiSoundFont(nullptr);
  test::SetMidiSynthLibrary("libno-such-synthesiser.so.0");
  const MCIDEVICEID id = Open("song.mid");
  ASSERT_NE(id, 0u);
  EXPECT_FALSE(test::SequencerAudible(id));
  ASSERT_EQ(Play(id, MCI_NOTIFY), 0u);
  test::AdvanceClock(995000);
  EXPECT_TRUE(PumpNotices().empty());
  test::AdvanceClock(15000);
  EXPECT_EQ(PumpNotices().size(), 1u);
}

// Headless, the sink renders only when something brings it up to the clock. While a song plays and the
// program only pumps its messages, the sequencer's end check does: the mix (and the synthesiser in it)
// keeps up with the clock instead of being rendered in one lump at the next sound call.
TEST_F(SequencerTest, WhileASongPlaysThePumpAloneKeepsTheMixUpWithTheClock) {
  ASSERT_EQ(CoCreateDirectSound(&sound_), S_OK);
  ASSERT_EQ(sound_->Initialize(nullptr), DS_OK);
  const MCIDEVICEID id = Open("song.mid");
  ASSERT_NE(id, 0u);
  test::CaptureSoundOutput(true);
  ASSERT_EQ(Play(id, MCI_NOTIFY), 0u);
  for (int step = 1; step <= 3; ++step) {
    test::AdvanceClock(250000);
    EXPECT_TRUE(PumpNotices().empty());
    EXPECT_EQ(test::SoundFramesCaptured(), 11025u * step) << "after " << step * 250 << " ms";
  }
  test::AdvanceClock(260000);
  EXPECT_EQ(PumpNotices().size(), 1u);
  EXPECT_EQ(test::SoundFramesCaptured(), 44100u * 1010 / 1000);
}

// With the synthesiser and Debian's sound font the song is heard in the mix; the notice keeps its time.
TEST_F(SequencerTest, TheSongSoundsInTheMixWhenTheSynthesiserIsThere) {
  MCIDEVICEID id = 0;
  if (const std::string missing = OpenAudible(&id); !missing.empty()) GTEST_SKIP() << missing;
  test::CaptureSoundOutput(true);
  ASSERT_EQ(Play(id, MCI_NOTIFY), 0u);
  test::AdvanceClock(500000);
  const std::vector<int16_t> out = test::TakeSoundOutput();
  ASSERT_EQ(out.size(), 2u * 22050);
  double energy = 0;
  for (int16_t s : out) energy += static_cast<double>(s) * s;
  EXPECT_GT(std::sqrt(energy / out.size()), 100.0) << "middle C is heard";
  test::AdvanceClock(510000);
  EXPECT_EQ(PumpNotices().size(), 1u);
  test::AdvanceClock(500000);  // the note's release dies away
  test::TakeSoundOutput();
  // A replay from the start, as a looping song's notice asks, is heard again.
  ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM, 0), 0u);
  test::AdvanceClock(300000);
  double again = 0;
  for (int16_t s : test::TakeSoundOutput()) again += static_cast<double>(s) * s;
  EXPECT_GT(std::sqrt(again / (2 * 13230)), 100.0);
  mciSendCommandA(id, MCI_CLOSE, 0, 0);
}

// Captured sound of a play, a stop and a play from the start, nothing taken until after the close:
// each change is heard at its own time, the span before it rendered as it was.
TEST_F(SequencerTest, ACapturedPlayIsHeardFromItsStartToItsStop) {
  MCIDEVICEID id = 0;
  if (const std::string missing = OpenAudible(&id); !missing.empty()) GTEST_SKIP() << missing;
  test::CaptureSoundOutput(true);
  test::AdvanceClock(250000);
  ASSERT_EQ(Play(id, MCI_NOTIFY), 0u);
  test::AdvanceClock(300000);
  ASSERT_EQ(mciSendCommandA(id, MCI_STOP, 0, 0), 0u);
  test::AdvanceClock(200000);
  ASSERT_EQ(Play(id, MCI_FROM, 0), 0u);
  test::AdvanceClock(200000);
  ASSERT_EQ(mciSendCommandA(id, MCI_CLOSE, 0, 0), 0u);
  const std::vector<int16_t> out = test::TakeSoundOutput();
  ASSERT_EQ(out.size(), 2u * 44100 * 950 / 1000);

  // The loudness of the stretch [fromMs, toMs).
  auto rms = [&out](int fromMs, int toMs) {
    double energy = 0;
    const size_t from = size_t(fromMs) * 441 / 10 * 2, to = size_t(toMs) * 441 / 10 * 2;
    for (size_t i = from; i < to; ++i) energy += static_cast<double>(out[i]) * out[i];
    return std::sqrt(energy / static_cast<double>(to - from));
  };
  // Each play starts within 10 ms of its call; the stop leaves only the reverberation's tail.
  EXPECT_EQ(rms(0, 250), 0.0) << "nothing before the play";
  EXPECT_GT(rms(250, 260), 50.0) << "the play starts on time";
  const double played = rms(260, 550);
  EXPECT_GT(played, 100.0) << "middle C is heard until the stop";
  EXPECT_LT(rms(555, 750), played / 10) << "the stop silences it";
  EXPECT_GT(rms(750, 760), 4 * rms(740, 750)) << "the second play starts on time";
  EXPECT_GT(rms(760, 950), 100.0) << "and is heard until the close";
}

}  // namespace
