// Inside the DirectShow stand-in: a movie's sound on its way to the DirectSound stand-in's mixer. The
// decoder appends 44,100 Hz stereo frames (16-bit range) as it meets them; the mixer takes them while
// the stream runs. At most a few seconds are held: when the mixer is not listening (the silent sink
// without capture), the oldest sound is dropped. Only platform/dshow includes this file.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>

#include "platform/dsound/sound_mixer.h"

namespace plat::dshow {

class MovieSound final : public dsound::MixSource {
 public:
  // Runs on the mixer's thread: adds queued frames while playing, nothing otherwise.
  void Mix(float* mix, int frames) override;

  // Appends `frames` interleaved stereo frames that start at stream time `time` (100 ns).
  void Push(const float* stereo, int frames, int64_t time);
  // Forgets everything queued (a seek).
  void Flush();
  void SetPlaying(bool playing);
  // The stream time the queued sound reaches; -1 when nothing has been pushed since the last flush.
  int64_t QueuedUntil() const;

 private:
  mutable std::mutex mutex_;
  std::deque<float> samples_;  // interleaved stereo
  bool playing_ = false;
  int64_t queuedUntil_ = -1;
};

}  // namespace plat::dshow
