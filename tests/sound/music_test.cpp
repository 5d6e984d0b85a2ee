// Music with the library started: MIDI through the sequencer with replay on the end notice, the MP3
// fall-back to a looping stream sound, stop and the temporary file.
#include <filesystem>

#include "orbel/core/api_lock.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/system_report.h"
#include "orbel/core/window_mode.h"
#include "orbel/sound/music.h"
#include "orbel/sound/sound_handle.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/user/message_queue.h"
#include "sound_test_support.h"

namespace orbel::testing {
namespace {

// A format-0 file of one note: a quarter note at 120 beats per minute, 0.5 s.
std::vector<uint8_t> OneNoteMidi() {
  return {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
          'M', 'T', 'r', 'k', 0, 0, 0, 19,
          0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,  // tempo 500,000 us per quarter
          0x00, 0x90, 0x3C, 0x64,                    // note on
          0x60, 0x80, 0x3C, 0x40,                    // 96 ticks later: note off
          0x00, 0xFF, 0x2F, 0x00};
}

class Music : public VirtualClockTest {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    plat::test::ResetSound();
    ResetLibraryStateForTest();
    ResetSystemReportForTest();
    TearDownApiLock();
    SetLogStartupDirectory("");
    ChangeWindowMode(1);
    ASSERT_EQ(InitLibrarySystem(), 0);
    SetLogStartupDirectory(work_.path().c_str());
    StartLogFile();
  }
  void TearDown() override {
    if (IsLibraryInitialised()) EndLibrarySystem();
    ResetLibraryStateForTest();
    ResetSystemReportForTest();
    TearDownApiLock();
    SetLogStartupDirectory("");
    plat::test::ResetSound();
    VirtualClockTest::TearDown();
  }
  // Frames of the game: clock on by 16 ms, then one pump.
  static void Frames(int count) {
    for (int i = 0; i < count; ++i) {
      plat::test::AdvanceClock(16000);
      PumpWindowMessage();
    }
  }
  std::string Log() const { return ReadFileText(work_.path() / "Log.txt"); }
  ScopedWorkDir work_;
};

TEST_F(Music, AMidiFileLoopsThroughTheSequencerAndStopRemovesItsTemporaryFile) {
  WriteFileBytes(work_.path() / "song.mid", OneNoteMidi());
  ASSERT_EQ(PlayMusicFile("song.mid", 3), 0);
  EXPECT_EQ(orbel::Music.currentKind, 0);
  EXPECT_EQ(IsMusicPlaying(), 1);
  const std::filesystem::path temp = orbel::Music.tempPath;
  EXPECT_TRUE(std::filesystem::exists(temp));
  Frames(200);  // 3.2 s: six ends of the song, each answered by a replay from the start
  EXPECT_EQ(IsMusicPlaying(), 1);
  EXPECT_EQ(StopCurrentMusic(), 0u);
  EXPECT_EQ(IsMusicPlaying(), 0);
  EXPECT_FALSE(std::filesystem::exists(temp));
  EXPECT_EQ(orbel::Music.handles.count, 0u);
}

TEST_F(Music, AMidiFilePlayedOnceEndsWithItsNotice) {
  WriteFileBytes(work_.path() / "song.mid", OneNoteMidi());
  ASSERT_EQ(PlayMusicFile("song.mid", 1), 0);
  Frames(20);
  EXPECT_EQ(IsMusicPlaying(), 1);
  Frames(30);
  EXPECT_EQ(IsMusicPlaying(), 0);
}

TEST_F(Music, AnMp3FallsBackToALoopingStreamSound) {
  const auto path = work_.path() / "bgm.mp3";
  ASSERT_TRUE(MakeWithTool(Sine(44100 * 2, 2, 330, 44100), 2, 44100, "lame --quiet -b 128 {in} {out}", path));
  ASSERT_EQ(PlayMusicFile("bgm.mp3", 3), 0);
  EXPECT_EQ(Log().find("ＭＩＤＩ"), std::string::npos) << "the sequencer refused it without a line";
  EXPECT_EQ(orbel::Music.currentKind, 1);
  const int sound = orbel::Music.current;
  ASSERT_NE(LookupSound(sound), nullptr);
  EXPECT_EQ(LookupSound(sound)->kind, 1);
  Frames(400);  // 6.4 s of a 2 s song
  EXPECT_EQ(IsMusicPlaying(), 1);
  EXPECT_EQ(StopCurrentMusic(), 0u);
  EXPECT_EQ(IsMusicPlaying(), 0);
  EXPECT_EQ(LookupSound(sound), nullptr);
}

TEST_F(Music, NoMusicAndMissingFiles) {
  EXPECT_EQ(IsMusicPlaying(), 0);
  EXPECT_EQ(StopCurrentMusic(), 0u);
  EXPECT_EQ(PlayMusicFile("none.mid", 3), -1);
  EXPECT_NE(Log().find("ミュージックファイル none.mid の読み込みに失敗しました in LoadMusicMem"), std::string::npos);
  EXPECT_EQ(IsMusicPlaying(), 0);
}

TEST_F(Music, WaitingPlaysReturnOnceTheSoundHasEnded) {
  WriteFileBytes(work_.path() / "beep.wav", MakePcmWav(1, 44100, 16, std::vector<int16_t>(44100 / 4, 500), 18));
  const int sound = LoadSoundFile("beep.wav", 1, -1);
  ASSERT_NE(sound, -1);
  uint32_t start = plat::timeGetTime();
  ASSERT_EQ(PlaySoundHandle(sound, 0, 1), 0);
  EXPECT_GE(plat::timeGetTime() - start, 250u);
  EXPECT_EQ(IsSoundHandlePlaying(sound), 0);

  SetSoundCreateType(2);
  const int stream = LoadSoundFile("beep.wav", 1, -1);
  SetSoundCreateType(0);
  ASSERT_NE(stream, -1);
  start = plat::timeGetTime();
  ASSERT_EQ(PlaySoundHandle(stream, 0, 1), 0);
  EXPECT_GE(plat::timeGetTime() - start, 250u);
  EXPECT_EQ(IsSoundHandlePlaying(stream), 0);

  // A WAV through the music falls back to a stream sound; this one ends one frame before its ring's
  // wrap. A stream that missed its end would play silence for ever: a timer ends the wait at 20 s.
  const int frames = 6 * 44100 - 1;
  WriteFileBytes(work_.path() / "end.wav", MakePcmWav(2, 44100, 16, std::vector<int16_t>(2 * frames, 500), 18));
  const plat::TIMERPROC quit = [](plat::HWND, plat::UINT, plat::UINT_PTR, plat::DWORD) { plat::PostQuitMessage(0); };
  const plat::UINT_PTR timer = plat::SetTimer(nullptr, 0, 20000, quit);
  start = plat::timeGetTime();
  ASSERT_EQ(PlayMusicFile("end.wav", 0), 0);
  const uint32_t waited = plat::timeGetTime() - start;
  plat::KillTimer(nullptr, timer);
  EXPECT_EQ(gLibrary.quit, 0) << "the wait ended only through the timer, after " << waited << " ms";
  EXPECT_EQ(IsMusicPlaying(), 0);
  EXPECT_GE(waited, uint32_t(frames * 1000 / 44100));
  EXPECT_LE(waited, uint32_t(frames * 1000 / 44100 + 20));
}

}  // namespace
}  // namespace orbel::testing
