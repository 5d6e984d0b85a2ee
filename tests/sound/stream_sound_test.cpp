// Stream sounds: the first fill, the refill kept three to four seconds ahead across the ring's wrap,
// the end of the data, entries with repeats, ring sharing, and the stream clock.
#include <cstring>
#include <string>

#include "orbel/core/memory.h"
#include "orbel/sound/sound_handle.h"
#include "orbel/sound/stream_sound.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "sound_test_support.h"

namespace orbel::testing {
namespace {

constexpr int kRate = 44100;
constexpr uint32_t kA = kRate * 4;  // stereo 16-bit: bytes per second
constexpr uint32_t kRing = 6 * kA;
constexpr uint32_t kEighth = kA / 8 / 4 * 4;

// Frame f carries its own number: left f & 0x7FFF, right 0x7FFF - (f & 0x7FFF).
std::vector<int16_t> Numbered(int frames, int firstValue = 0) {
  std::vector<int16_t> s;
  for (int f = 0; f < frames; ++f) {
    const int n = (f + firstValue) & 0x7FFF;
    s.push_back(static_cast<int16_t>(n));
    s.push_back(static_cast<int16_t>(0x7FFF - n));
  }
  return s;
}

class StreamSound : public SoundTest {
 protected:
  // A stream sound (file image held in memory) of the samples, repeat count and ring share.
  int Make(const std::vector<int16_t>& samples, int repeat = 0, int share = -1, int channels = 2, int bits = 16) {
    image_ = MakePcmWav(channels, kRate, bits, samples, 18);
    const int h = AddSoundData(-1);
    if (h == -1 || LoadStreamSoundFromWaveImage(image_.data(), image_.size(), repeat, h, 2, share) != 0) return -1;
    SetupStreamSoundPlay(h);
    return h;
  }
  static std::vector<uint8_t> Ring(int handle) {
    SoundHandleRecord* r = LookupSound(handle);
    SoundHandleRecord* owner = r->ringOwner == -1 ? r : LookupSound(r->ringOwner);
    void* p1 = nullptr;
    void* p2 = nullptr;
    plat::DWORD n1 = 0, n2 = 0;
    owner->buffers[0].buffer->Lock(0, owner->ringSize, &p1, &n1, &p2, &n2, 0);
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + n1);
    owner->buffers[0].buffer->Unlock(p1, n1, p2, n2);
    return bytes;
  }
  static uint32_t Cursor(int handle) {
    plat::DWORD play = 0, write = 0;
    LookupSound(handle)->buffers[0].buffer->GetCurrentPosition(&play, &write);
    return play;
  }
  // Advances the clock and runs one refill, as one frame of the game does.
  static void Frame(int ms = 16) {
    plat::test::AdvanceClock(uint64_t(ms) * 1000);
    ServiceAllStreamSounds();
  }
  std::vector<uint8_t> image_;
};

TEST_F(StreamSound, TheFirstFillPrimesFourSecondsFromTheRingStart) {
  const std::vector<int16_t> source = Numbered(kRate * 10);
  const int h = Make(source);
  ASSERT_NE(h, -1);
  const SoundHandleRecord* r = LookupSound(h);
  EXPECT_EQ(r->writePosition, static_cast<int32_t>(4 * kA));
  EXPECT_EQ(r->guardPosition, 0);
  EXPECT_EQ(r->ringSize, kRing);
  const std::vector<uint8_t> ring = Ring(h);
  EXPECT_EQ(std::memcmp(ring.data(), source.data(), 4 * kA), 0);
  EXPECT_EQ(std::count(ring.begin() + 4 * kA, ring.end(), 0), static_cast<long>(2 * kA));
  EXPECT_EQ(GetSoundSampleCount(h), kRate * 10);
}

TEST_F(StreamSound, ALoopingStreamRefillsItsRingExactlyForAWholeMinute) {
  // 4.5 s: neither a divisor nor a multiple of the ring, and longer than the lead, so every loop point
  // is reached before the next one is written.
  const int frames = kRate * 9 / 2;
  const std::vector<int16_t> source = Numbered(frames);
  const auto* bytes = reinterpret_cast<const uint8_t*>(source.data());
  const uint32_t length = static_cast<uint32_t>(source.size() * 2);
  const int h = Make(source);
  ASSERT_NE(h, -1);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  SoundHandleRecord* r = LookupSound(h);
  uint64_t written = 4 * kA;  // stream bytes in the ring so far
  const uint32_t start = plat::timeGetTime();
  int loopsSeen = 0, lastTime = 0;
  for (int step = 0; step < 60000 / 16; ++step) {
    const int32_t before = r->writePosition;
    Frame();
    const int32_t after = r->writePosition;
    const uint32_t n = static_cast<uint32_t>((after - before + static_cast<int64_t>(kRing)) % kRing);
    ASSERT_EQ(n % 4, 0u) << "whole blocks only, step " << step;
    const std::vector<uint8_t> ring = Ring(h);
    for (uint32_t i = 0; i < n; ++i) {
      const uint8_t expected = bytes[(written + i) % length];
      ASSERT_EQ(ring[(static_cast<uint32_t>(before) + i) % kRing], expected) << "step " << step << " byte " << i;
    }
    written += n;
    // The lead stays between three seconds and four and an eighth.
    const uint32_t lead = static_cast<uint32_t>((after - static_cast<int64_t>(Cursor(h)) + kRing) % kRing);
    ASSERT_GE(lead, 3 * kA - kA / 16) << "step " << step;
    ASSERT_LE(lead, 4 * kA + kEighth) << "step " << step;
    // The clock restarts from 0 at each loop of the data.
    const int now = GetSoundCurrentTime(h);
    const int elapsed = static_cast<int>(plat::timeGetTime() - start);
    if (now < lastTime) ++loopsSeen;
    lastTime = now;
    const int off = ((now - elapsed) % 4500 + 4500) % 4500;
    ASSERT_LE(std::min(off, 4500 - off), 30) << "step " << step << ": " << now << " at " << elapsed << " K " << Cursor(h)
                                             << " P " << r->loopPosition << " L " << r->lastCursor << " pending "
                                             << int(r->loopWrapPending) << " played " << r->bytesPlayed;
  }
  EXPECT_EQ(IsSoundHandlePlaying(h), 1);
  EXPECT_GE(loopsSeen, 13);
  EXPECT_GE(written, uint64_t{60} * kA);
}

TEST_F(StreamSound, APlayOnceStreamWritesSilenceAfterItsEndAndStopsOnceThePlayCursorPassesIt) {
  // 5.9 s of data: its end lands just before the ring's wrap. 8-bit samples are unsigned: silent at 128.
  const struct {
    int frames, channels, bits;
    uint8_t silence;
  } cases[] = {{kRate * 59 / 10, 2, 16, 0}, {kRate * 2, 2, 16, 0}, {kRate * 2, 1, 8, 128}};
  for (const auto& c : cases) {
    const int frames = c.frames;
    const std::vector<int16_t> source = c.channels == 2 ? Numbered(frames, 1) : Sine(frames, 1, 440, kRate);
    const int h = Make(source, 0, -1, c.channels, c.bits);
    ASSERT_NE(h, -1);
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    const uint32_t ringSize = LookupSound(h)->ringSize;
    const uint32_t end = static_cast<uint32_t>(source.size() * c.bits / 8) % ringSize;
    int stoppedAt = -1;
    const uint32_t start = plat::timeGetTime();
    for (int ms = 0; ms < 9000 && stoppedAt < 0; ms += 16) {
      Frame();
      if (IsSoundHandlePlaying(h) == 0) stoppedAt = static_cast<int>(plat::timeGetTime() - start);
    }
    ASSERT_GT(stoppedAt, 0) << frames;
    const int lengthMs = frames * 1000 / kRate;
    EXPECT_GE(stoppedAt, lengthMs) << frames;
    EXPECT_LE(stoppedAt, lengthMs + 40) << frames;
    const std::vector<uint8_t> ring = Ring(h);
    for (uint32_t i = 0; i < ringSize / 48; ++i) {
      ASSERT_EQ(ring[(end + i) % ringSize], c.silence) << frames << " silence after the end " << i;
    }
    ASSERT_EQ(DeleteSoundHandle(h), 0);
  }
}

TEST_F(StreamSound, APlayOnceStreamEndingWithinOneRefillOfTheWrapStopsWhateverTheRefillPhase) {
  // The end lies 1, 100 or 400 frames before the ring's wrap, where two refills in a row can see the
  // cursor just before the end and then just after the wrap. Refills every 16 or 17 ms, the first 0-15
  // ms after Play: every run stops at the first refill after the data's end.
  std::string late;
  for (const int tail : {1, 100, 400}) {
    const int frames = static_cast<int>(kRing / 4) - tail;
    const std::vector<int16_t> source = Numbered(frames, 1);
    const uint32_t end = static_cast<uint32_t>(frames) * 4;
    const int lengthMs = static_cast<int>(int64_t{frames} * 1000 / kRate);
    for (const int interval : {16, 17}) {
      for (int phase = 0; phase < 16; ++phase) {
        const int h = Make(source);
        ASSERT_NE(h, -1);
        ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
        const uint32_t start = plat::timeGetTime();
        plat::test::AdvanceClock(uint64_t(phase) * 1000);
        ServiceAllStreamSounds();
        int stoppedAt = -1;
        // Bounded: a stream that misses its end plays silence lap after lap.
        while (stoppedAt < 0 && plat::timeGetTime() - start < uint32_t(lengthMs + 2000)) {
          Frame(interval);
          if (IsSoundHandlePlaying(h) == 0) stoppedAt = static_cast<int>(plat::timeGetTime() - start);
        }
        if (stoppedAt < lengthMs || stoppedAt > lengthMs + interval + 1) {
          late += " [" + std::to_string(tail) + " frames, " + std::to_string(interval) + " ms, phase " +
                  std::to_string(phase) + ": " + (stoppedAt < 0 ? "playing" : std::to_string(stoppedAt - lengthMs)) +
                  "]";
        }
        const std::vector<uint8_t> ring = Ring(h);
        for (uint32_t i = 0; i < kEighth; ++i) ASSERT_EQ(ring[(end + i) % kRing], 0) << tail << " silence " << i;
        ASSERT_EQ(DeleteSoundHandle(h), 0);
      }
    }
  }
  EXPECT_EQ(late, "") << "ms past the data's end at the stop, or still playing after two seconds more";
}

TEST_F(StreamSound, RepeatsPlayEachEntryTheirCountAndThenTheNextOne) {
  const std::vector<int16_t> first = Numbered(kRate / 4, 0);
  const std::vector<int16_t> second = Numbered(kRate / 4, 5000);
  const int h = Make(first, 2);
  ASSERT_NE(h, -1);
  const std::vector<uint8_t> secondImage = MakePcmWav(2, kRate, 16, second, 18);
  ASSERT_EQ(LoadStreamSoundFromWaveImage(secondImage.data(), secondImage.size(), 0, h, 2, -1), 0);
  EXPECT_EQ(GetSoundSampleCount(h), kRate / 2);
  // Re-prime with both entries: 3 x the first, then the second, then silence.
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  StopSoundHandle(h);
  LookupSound(h)->active = 0;
  LookupSound(h)->bytesPlayed = 1;
  ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
  const std::vector<uint8_t> ring = Ring(h);
  const uint32_t part = kRate / 4 * 4;
  for (int play = 0; play < 3; ++play)
    EXPECT_EQ(std::memcmp(ring.data() + play * part, first.data(), part), 0) << play;
  EXPECT_EQ(std::memcmp(ring.data() + 3 * part, second.data(), part), 0);
  EXPECT_EQ(ring[4 * part], 0);
}

TEST_F(StreamSound, EntryLimitsAndTheirMessages) {
  const std::vector<int16_t> source = Numbered(kRate);
  const int h = Make(source);
  ASSERT_NE(h, -1);
  ASSERT_EQ(LoadStreamSoundFromWaveImage(image_.data(), image_.size(), 0, h, 2, -1), 0);
  ASSERT_EQ(LoadStreamSoundFromWaveImage(image_.data(), image_.size(), 0, h, 2, -1), 0);
  EXPECT_EQ(LoadStreamSoundFromWaveImage(image_.data(), image_.size(), 0, h, 2, -1), -1);
  EXPECT_TRUE(LogHas("ストリーム風サウンドの制御データ領域がいっぱいです"));
  EXPECT_TRUE(LogHas("ＷＡＶファイルのストリームイメージのセットアップに失敗しました "));

  const int playing = Make(source);
  ASSERT_EQ(PlaySoundHandle(playing, 3, 1), 0);
  EXPECT_EQ(LoadStreamSoundFromWaveImage(image_.data(), image_.size(), 0, playing, 2, -1), -1);
  EXPECT_TRUE(LogHas("既に再生中のストリームサウンドデータにデータを追加しようとしました"));

  const std::vector<uint8_t> mono = MakePcmWav(1, kRate, 16, std::vector<int16_t>(100, 1), 18);
  EXPECT_EQ(LoadStreamSoundFromWaveImage(mono.data(), mono.size(), 0, h, 2, -1), -1);
}

TEST_F(StreamSound, SoundsSharingARingPlayOneAtATimeAndTheOwnerOutlivesItsSharers) {
  const std::vector<int16_t> source = Numbered(kRate * 2);
  const int owner = Make(source);
  const int sharer = Make(Numbered(kRate * 2, 9000), 0, owner);
  ASSERT_NE(owner, -1);
  ASSERT_NE(sharer, -1);
  EXPECT_EQ(LookupSound(sharer)->ringOwner, owner);
  EXPECT_FALSE(LookupSound(sharer)->buffers[0].created);
  ASSERT_EQ(PlaySoundHandle(owner, 3, 1), 0);
  Frame();
  ASSERT_EQ(PlaySoundHandle(sharer, 3, 1), 0);
  EXPECT_EQ(IsSoundHandlePlaying(sharer), 1);
  EXPECT_EQ(IsSoundHandlePlaying(owner), 0) << "playing the sharer stopped the owner";
  EXPECT_EQ(std::memcmp(Ring(sharer).data(), Numbered(16, 9000).data(), 64), 0);

  ASSERT_EQ(DeleteSoundHandle(owner), 0);
  ASSERT_NE(LookupSound(owner), nullptr) << "the owner stays while a sharer uses its ring";
  EXPECT_EQ(LookupSound(owner)->deletePending, 1);
  ASSERT_EQ(DeleteSoundHandle(sharer), 0);
  EXPECT_EQ(LookupSound(owner), nullptr);
  EXPECT_EQ(SoundState.handles.count, 0u);
}

TEST_F(StreamSound, EmptyEntriesAreRefusedAndTinyLoopingOnesDoNotStall) {
  // No data at all: nothing to loop, so the entry is never added.
  EXPECT_EQ(Make({}, 255), -1);
  EXPECT_TRUE(LogHas("音声データにサンプルがありません"));
  // Two frames (8 bytes): shorter than the seek tolerance, still repeated over the whole ring.
  const std::vector<int16_t> tiny = {1, 2, 3, 4};
  const int h = Make(tiny, 255);
  ASSERT_NE(h, -1);
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  const std::vector<uint8_t> ring = Ring(h);
  for (uint32_t i = 0; i < 4 * kA; i += 8) ASSERT_EQ(std::memcmp(ring.data() + i, tiny.data(), 8), 0) << i;
}

TEST_F(StreamSound, TheClockRebasesWhenTheCursorWrapsOntoTheLoopPosition) {
  const int h = Make(Numbered(kRate * 10));
  ASSERT_EQ(PlaySoundHandle(h, 3, 1), 0);
  SoundHandleRecord* r = LookupSound(h);
  r->lastCursor = kRing - 400;
  r->loopWrapPending = 1;
  r->loopPosition = 800;
  r->loopStartBytes = 0;
  r->bytesPlayed = 12345;
  ASSERT_EQ(UpdateStreamSoundPosition(h, 800), 0);
  EXPECT_EQ(r->bytesPlayed, 0u);
  EXPECT_EQ(r->loopWrapPending, 0);
}

TEST_F(StreamSound, OggStreamsFromMemoryOrTheOpenFileGiveTheSamePcmAsAWholeLoad) {
  const auto path = work_.path() / "tone.ogg";
  ASSERT_TRUE(MakeWithTool(Sine(kRate * 3 / 2, 2, 440, kRate), 2, kRate, "oggenc -Q -o {out} {in}", path));
  ASSERT_EQ(SetSoundCreateType(0), 0);
  const int whole = LoadSoundFile(path.c_str(), 1, -1);
  ASSERT_NE(whole, -1);
  const SoundHandleRecord* w = LookupSound(whole);
  const std::vector<uint8_t> pcm(static_cast<uint8_t*>(w->pcm), static_cast<uint8_t*>(w->pcm) + w->pcmSize);
  ASSERT_EQ(pcm.size(), size_t{kRate} * 3 / 2 * 4);
  for (int type : {2, 3}) {
    ASSERT_EQ(SetSoundCreateType(type), 0);
    const int h = LoadSoundFile(path.c_str(), 1, -1);
    ASSERT_NE(h, -1) << type;
    EXPECT_EQ(LookupSound(h)->entries[0].mode, type);
    EXPECT_EQ(GetSoundSampleCount(h), kRate * 3 / 2) << type;
    const std::vector<uint8_t> ring = Ring(h);
    EXPECT_EQ(std::memcmp(ring.data(), pcm.data(), pcm.size()), 0) << type;
    ASSERT_EQ(PlaySoundHandle(h, 1, 1), 0);
    for (int i = 0; i < 150 && IsSoundHandlePlaying(h) == 1; ++i) Frame();
    EXPECT_EQ(IsSoundHandlePlaying(h), 0) << type;
    EXPECT_EQ(DeleteSoundHandle(h), 0);
  }
  SetSoundCreateType(0);
}

}  // namespace
}  // namespace orbel::testing
