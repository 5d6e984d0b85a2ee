// Sound handles: the table, buffers taken in turn, overlapping plays, stopping at the end, loading
// failures and the buffer-count limits.
#include <cstring>

#include "orbel/core/memory.h"
#include "orbel/sound/sound_handle.h"
#include "orbel/sound/sound_system.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "sound_test_support.h"

namespace orbel::testing {
namespace {

class SoundHandle : public SoundTest {
 protected:
  // A mono 44,100 Hz file of `frames` samples of `value`, written as `name`.
  std::string WriteDc(const char* name, int frames, int16_t value = 1000) {
    WriteFileBytes(work_.path() / name, MakePcmWav(1, 44100, 16, std::vector<int16_t>(frames, value), 18));
    return (work_.path() / name).string();
  }
  static uint32_t Cursor(int handle, int buffer) {
    plat::DWORD play = 0, write = 0;
    LookupSound(handle)->buffers[buffer].buffer->GetCurrentPosition(&play, &write);
    return play;
  }
  static bool BufferPlaying(int handle, int buffer) {
    plat::DWORD status = 0;
    LookupSound(handle)->buffers[buffer].buffer->GetStatus(&status);
    return status & plat::DSBSTATUS_PLAYING;
  }
  static void AdvanceMs(int ms) { plat::test::AdvanceClock(uint64_t(ms) * 1000); }
};

TEST_F(SoundHandle, TheTableHoldsFourThousandNinetySixSounds) {
  for (int i = 0; i < 4096; ++i) ASSERT_NE(AddSoundData(-1), -1) << i;
  EXPECT_EQ(AddSoundData(-1), -1);
  EXPECT_TRUE(LogHas("サウンドの数が許容量を越えました"));
}

TEST_F(SoundHandle, BuffersAreTakenInTurnAndTheFourthPlayRestartsTheFirstOneUsed) {
  const int h = LoadSoundFile(WriteDc("a.wav", 44100).c_str(), 3, -1);
  ASSERT_NE(h, -1);
  ASSERT_EQ(LookupSound(h)->bufferCount, 3);
  // The turn starts after buffer 0: plays take buffers 1, 2, 0, then 1 again.
  for (int i = 0; i < 3; ++i) ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(BufferPlaying(h, i)) << "overlapping plays use duplicates " << i;
  AdvanceMs(100);
  const uint32_t before = Cursor(h, 2);
  EXPECT_GE(before, 8000u);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  EXPECT_LT(Cursor(h, 1), 200u) << "the first buffer used restarted from the top";
  EXPECT_GE(Cursor(h, 2), before) << "the others played on";

  // Top 0 while the next buffer still plays: nothing changes but the turn.
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  EXPECT_EQ(LookupSound(h)->lastPlayedBuffer, 2);
  EXPECT_GE(Cursor(h, 2), before);
}

TEST_F(SoundHandle, OverlappingPlaysMixAndStopAtTheirEnd) {
  plat::test::CaptureSoundOutput(true);
  const int h = LoadSoundFile(WriteDc("dc.wav", 22050).c_str(), 2, -1);  // 0.5 s
  ASSERT_NE(h, -1);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  AdvanceMs(100);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  AdvanceMs(300);
  EXPECT_EQ(IsSoundHandlePlaying(h), 1);
  AdvanceMs(400);
  EXPECT_EQ(IsSoundHandlePlaying(h), 0) << "a non-looping buffer stops by itself at its end";
  const std::vector<int16_t> out = plat::test::TakeSoundOutput();
  ASSERT_GE(out.size(), 2u * 44100 * 7 / 10);
  auto at = [&](int ms) { return out[static_cast<size_t>(ms) * 441 / 10 * 2]; };
  EXPECT_NEAR(at(50), 1000, 2);
  EXPECT_NEAR(at(300), 2000, 4) << "both buffers sound together";
  EXPECT_NEAR(at(550), 1000, 2);
  EXPECT_EQ(at(650), 0);
}

TEST_F(SoundHandle, LoopingPlayGoesOnUntilStoppedAndKeepsItsPosition) {
  const int h = LoadSoundFile(WriteDc("loop.wav", 4410).c_str(), 1, -1);  // 0.1 s
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  AdvanceMs(1050);
  EXPECT_EQ(IsSoundHandlePlaying(h), 1);
  EXPECT_EQ(GetSoundCurrentTime(h), 50);
  ASSERT_EQ(StopSoundHandle(h), 0);
  EXPECT_EQ(IsSoundHandlePlaying(h), 0);
  AdvanceMs(500);
  EXPECT_EQ(GetSoundCurrentTime(h), 50);
  EXPECT_EQ(GetSoundSampleCount(h), 4410);
  EXPECT_EQ(GetSoundTotalTimeMs(h), 100);
}

TEST_F(SoundHandle, BufferCountsOutsideOneToTenAreCutOrRefused) {
  const std::string path = WriteDc("b.wav", 1000);
  const int ten = LoadSoundFile(path.c_str(), 11, -1);
  ASSERT_NE(ten, -1);
  EXPECT_EQ(LookupSound(ten)->bufferCount, 10);
  const std::vector<uint8_t> image = ReadFileBytes(path);
  EXPECT_EQ(CreateSoundFromFileImage(image.data(), image.size(), 11, -1), -1);
  // No buffer at all would leave nothing to play (and the buffer turn would divide by zero).
  EXPECT_EQ(CreateSoundFromFileImage(image.data(), image.size(), 0, -1), -1);
  EXPECT_EQ(LoadSoundFile(path.c_str(), 0, -1), -1);
  EXPECT_TRUE(LogText().find("右記の音声ファイルのロードに失敗しました_2：" + path) != std::string::npos);
}

TEST_F(SoundHandle, FailedDuplicatesShortenTheBufferCountAndTheFullFlagsFallBack) {
  const std::string path = WriteDc("c.wav", 1000);
  plat::test::FailDuplicateSoundBufferAfter(2);
  const int h = LoadSoundFile(path.c_str(), 5, -1);
  ASSERT_NE(h, -1);
  EXPECT_EQ(LookupSound(h)->bufferCount, 3);
  plat::test::FailCreateSoundBuffer(0x80E2);
  const int reduced = LoadSoundFile(path.c_str(), 1, -1);
  ASSERT_NE(reduced, -1);
  EXPECT_EQ(PlaySoundHandle(reduced, 1, 1), 0);
}

TEST_F(SoundHandle, LoadFailuresAreLoggedAndLeaveNothingBehind) {
  const int blocks = GetMemoryBlockCount();
  EXPECT_EQ(LoadSoundFile("missing.wav", 1, -1), -1);
  EXPECT_TRUE(LogText().find("右記のファイルのオープンに失敗しました：missing.wav"
                             "右記の音声ファイルのロードに失敗しました_1：missing.wav") != std::string::npos);
  WriteFileBytes(work_.path() / "junk.wav", std::vector<uint8_t>(300, 0x42));
  EXPECT_EQ(LoadSoundFile("junk.wav", 1, -1), -1);
  EXPECT_TRUE(LogText().find("音声ファイルのＰＣＭへの変換に失敗しました") != std::string::npos);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  EXPECT_EQ(SoundState.handles.count, 0u);
}

TEST_F(SoundHandle, CreateTypeOneLoadsNothingAndGoesOn) {
  EXPECT_EQ(SetSoundCreateType(4), -1);
  EXPECT_EQ(SetSoundCreateType(-1), -1);
  ASSERT_EQ(SetSoundCreateType(1), 0);
  EXPECT_EQ(LoadSoundFile(WriteDc("d.wav", 1000).c_str(), 1, -1), -1);
  EXPECT_EQ(SoundState.handles.count, 0u);
  ASSERT_EQ(SetSoundCreateType(0), 0);
  EXPECT_NE(LoadSoundFile(WriteDc("d.wav", 1000).c_str(), 1, -1), -1);
}

TEST_F(SoundHandle, InvalidHandlesAndAStoppedSystemGiveMinusOne) {
  const int h = LoadSoundFile(WriteDc("e.wav", 1000).c_str(), 1, -1);
  ASSERT_EQ(DeleteSoundHandle(h), 0);
  for (int bad : {h, -1, 0, 0x08000001}) {
    EXPECT_EQ(PlaySoundHandle(bad, 1, 1), -1);
    EXPECT_EQ(StopSoundHandle(bad), -1);
    EXPECT_EQ(IsSoundHandlePlaying(bad), -1);
    EXPECT_EQ(DeleteSoundHandle(bad), -1);
    EXPECT_EQ(GetSoundCurrentTime(bad), -1);
  }
  const int kept = LoadSoundFile(WriteDc("f.wav", 1000).c_str(), 1, -1);
  EndSoundSystem();
  EXPECT_EQ(PlaySoundHandle(kept, 1, 1), -1);
  EXPECT_EQ(LoadSoundFile("f.wav", 1, -1), -1);
}

TEST_F(SoundHandle, PlayingWithoutTopStartsWhereTheLastPlayedBufferStands) {
  const int h = LoadSoundFile(WriteDc("g.wav", 44100).c_str(), 1, -1);
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  AdvanceMs(300);
  ASSERT_EQ(StopSoundHandle(h), 0);
  AdvanceMs(500);
  ASSERT_EQ(PlaySoundHandle(h, 1, 0), 0);
  EXPECT_NEAR(GetSoundCurrentTime(h), 300, 2);
  AdvanceMs(100);
  EXPECT_NEAR(GetSoundCurrentTime(h), 400, 2);
}

TEST_F(SoundHandle, FormatsNoBufferCanPlayAreRefusedNotFatal) {
  struct Case {
    const char* name;
    int channels, bits;
  } cases[] = {{"24-bit", 1, 24}, {"six channels", 6, 16}, {"32-bit stereo", 2, 32}};
  for (const Case& c : cases) {
    std::vector<uint8_t> wav = MakePcmWav(c.channels, 44100, 16, std::vector<int16_t>(600, 0), 18);
    const int block = c.channels * c.bits / 8;
    wav[22] = static_cast<uint8_t>(c.channels);
    const uint32_t avg = 44100u * block;
    for (int i = 0; i < 4; ++i) wav[28 + i] = static_cast<uint8_t>(avg >> (8 * i));
    wav[32] = static_cast<uint8_t>(block);
    wav[34] = static_cast<uint8_t>(c.bits);
    WriteFileBytes(work_.path() / "odd.wav", wav);
    EXPECT_EQ(LoadSoundFile("odd.wav", 1, -1), -1) << c.name;
    SetSoundCreateType(2);
    EXPECT_EQ(LoadSoundFile("odd.wav", 1, -1), -1) << c.name;
    SetSoundCreateType(0);
  }
  EXPECT_EQ(SoundState.handles.count, 0u);
}

}  // namespace
}  // namespace orbel::testing
