// The software mixer behind the DirectSound stand-in. Voices are the sound buffers; the mix is 44,100 Hz
// 16-bit stereo. Without a host device the output is a silent sink paced by the plat clock: cursors are
// then worked out from the time since each voice's last change (position + elapsed x rate, exact), and
// nothing is mixed unless a test captures the output. Whoever consumes the mix (the host's audio thread,
// or the capturing sink on the caller's thread) calls Render, which takes the mixer's lock only to copy the playing voices' settings
// and again to store their new positions: the mixing itself runs unlocked, so the library's calls never
// wait for a mix. A change the library makes meanwhile (play, stop, new position) wins over the mix's
// position update, which the voice's generation number tells apart. A voice at another rate plays
// its buffer's conversion to the mix rate (sound_prepare.h) when it has one; one whose rate changed
// while it played is resampled as it is mixed.
#pragma once

#include <samplerate.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dsound/sound_prepare.h"
#include "platform/win/kernel/wave_format.h"

namespace plat::dsound {

constexpr int kMixRate = 44100;
constexpr int kMixChannels = 2;

// Extra sound that is not a buffer (the MIDI synthesiser). Mix adds `frames` stereo frames (16-bit
// range) into `mix`; it runs on the renderer's thread. The mixer holds a reference while it mixes, so
// the owner may drop the source at any time.
class MixSource {
 public:
  virtual ~MixSource() = default;
  virtual void Mix(float* mix, int frames) = 0;
};

struct Voice {
  // Fixed at creation; the bytes are shared with duplicates.
  std::shared_ptr<std::vector<uint8_t>> data;
  WAVEFORMATEX format{};
  uint32_t flags = 0;
  bool primary = false;
  int owner = 0;  // the device object that made it

  // The library's side, under the mixer lock.
  bool playing = false;
  bool looping = false;
  uint64_t position = 0;  // frames in 32.32 fixed point
  int32_t volume = 0;     // hundredths of a decibel
  int32_t pan = 0;
  uint32_t frequency = 0;  // Hz; the format's rate when 0
  uint32_t generation = 0;
  bool released = false;
  // The silent sink's reckoning: the position at the clock time of the last change.
  uint64_t anchorMicroseconds = 0;
  uint64_t anchorPosition = 0;
  // The buffer's conversions to the mix rate, shared with duplicates as the bytes are (null for the
  // primary buffer).
  std::shared_ptr<PreparedSet> preparedSet;
  // The conversion the mix plays for Rate(); null: resampled in the mix.
  std::shared_ptr<PreparedSound> prepared;

  // The renderer's side (only Render touches these).
  SRC_STATE* resampler = nullptr;
  uint32_t renderedGeneration = ~0u;
  uint64_t feedFrame = 0;  // next source frame the resampler takes
  bool feedLooping = false;
  std::vector<float> feed;  // one callback's worth of source frames, as stereo float
  uint64_t preparedAt = 0;  // next frame of `prepared` to mix, 32.32 fixed point

  ~Voice();
  uint32_t Frames() const { return static_cast<uint32_t>(data->size() / format.nBlockAlign); }
  uint32_t Rate() const { return frequency != 0 ? frequency : format.nSamplesPerSec; }
};

class Mixer {
 public:
  static Mixer& Get();

  // Voices are added by the device object and dropped by Release.
  void Add(const std::shared_ptr<Voice>& voice);
  void Remove(const std::shared_ptr<Voice>& voice);
  // Runs `change` on the voice under the lock after bringing the silent sink up to date; bumps the
  // generation when `playState` is true (play, stop, position).
  template <typename Change>
  void Modify(Voice& voice, bool playState, Change change) {
    const uint64_t now = CatchUp();
    std::lock_guard<std::mutex> lock(mutex_);
    if (playState) ++voice.generation;
    change(voice);
    voice.anchorMicroseconds = now;
    voice.anchorPosition = voice.position;
  }
  template <typename Read>
  auto Inspect(Voice& voice, Read read) {
    CatchUp();
    std::lock_guard<std::mutex> lock(mutex_);
    return read(voice);
  }

  // Starts output: the host's device when it has one, else the silent sink paced by the plat clock.
  // Counted: the last Close stops it.
  void Open();
  void Close();
  bool HasDevice() const { return hostDevice_; }

  // Mixes `frames` frames into `out` (interleaved stereo) and moves the play cursors on. `out` may be
  // null: the cursors move without mixing (the silent sink with nobody listening).
  void Render(int16_t* out, int frames);
  // The silent sink: moves the cursors (or, capturing, renders) up to the clock's time, which it
  // returns (0 with a host device, whose thread moves the cursors).
  uint64_t CatchUp();

  void SetExtraSource(std::shared_ptr<MixSource> source);
  // Further sources mixed beside the extra one (the movie streams' sound), in the order added.
  void AddStreamSource(const std::shared_ptr<MixSource>& source);
  void RemoveStreamSource(const std::shared_ptr<MixSource>& source);

  // Test and bench hooks: keep what the silent sink renders; take it; the frames it has rendered since
  // capture began, as they stand (not brought up to the clock first).
  void SetCapture(bool on);
  std::vector<int16_t> TakeCapture();
  uint64_t CapturedFrames();
  void Reset();

 private:
  void RenderLocked(int16_t* out, int frames);
  // Cursor of one voice at `now` by the clock (mutex_ held).
  static void AdvanceByClock(Voice& voice, uint64_t now);
  void ReanchorLocked(uint64_t now);
  static void HostRender(int16_t* samples, int frames, void* context);

  std::mutex mutex_;        // voices and their library-side fields
  std::mutex renderMutex_;  // one renderer at a time
  std::vector<std::shared_ptr<Voice>> voices_;
  std::vector<float> mix_;
  int openCount_ = 0;
  bool hostDevice_ = false;
  uint64_t sinkStartMicroseconds_ = 0;
  uint64_t sinkFrames_ = 0;  // frames rendered by the silent sink since it started
  bool capture_ = false;
  std::vector<int16_t> captured_;
  std::shared_ptr<MixSource> extra_;
  std::vector<std::shared_ptr<MixSource>> streams_;
};

}  // namespace plat::dsound
