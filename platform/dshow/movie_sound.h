// Inside the DirectShow stand-in: a movie's sound on its way to the DirectSound stand-in's mixer. The
// decoder hands in 44,100 Hz stereo frames (16-bit range) with their stream times; the queue places them
// by those times, so sound that comes late is dropped and a gap between pieces plays as silence. The
// mixer plays from a cursor in stream time that the stream sets when it runs, holds or moves, and asks
// for more sound (a demand the engine's feeder waits for) as the queue runs short. At most a few seconds
// are held: when the mixer is not listening (the silent sink without capture), the oldest sound goes.
// Only platform/dshow includes this file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "platform/dsound/sound_mixer.h"

namespace plat::dshow {

class MovieSound final : public dsound::MixSource {
 public:
  // A piece without a time of its own goes straight after what is queued.
  static constexpr int64_t kUntimed = -1;

  explicit MovieSound(int64_t lead) : leadFrames_(FramesOf(lead)) {}

  // Runs on the mixer's thread: adds the sound due at the cursor while playing, and moves the cursor on.
  void Mix(float* mix, int frames) override;

  // Places `frames` interleaved stereo frames at stream time `time` (100 ns) or kUntimed.
  void Push(const float* stereo, int frames, int64_t time);
  // Plays from stream time `time` on; Stop holds the cursor where it is.
  void Start(int64_t time);
  void Stop();
  // Forgets everything queued and puts the cursor at `time` (a seek).
  void Restart(int64_t time);
  // The stream time the decoded sound reaches; -1 when nothing has been pushed since the last restart.
  int64_t QueuedUntil() const;
  // The stream time of the cursor.
  int64_t PlayTime() const;

  // The feeder's wait: returns once the queue holds less than half the lead ahead of the cursor while
  // playing, or Wake was called.
  void WaitForDemand();
  void Wake();

  // Stream time and mix frames (44,100 a second) one into the other, without overflow up to kLatestTime.
  static int64_t FramesOf(int64_t time);
  static int64_t TimeOf(int64_t frames);

 private:
  // Decoded sound from mix frame `start` (frames from the stream's start) on: interleaved stereo, of
  // which the frames before `from` have been played or dropped.
  struct Piece {
    int64_t start;
    std::vector<float> stereo;
    size_t from;
  };
  static int64_t Remaining(const Piece& p);
  void DropBeforeLocked(int64_t frame);

  const int64_t leadFrames_;
  mutable std::mutex mutex_;
  std::condition_variable demand_;
  std::deque<Piece> pieces_;  // in order of time, never overlapping
  int64_t queued_ = 0;        // frames in the pieces
  int64_t cursor_ = 0;        // the mix frame the next Mix plays
  bool playing_ = false;
  bool wanted_ = false;  // a demand or a wake not yet seen by the feeder
  int64_t queuedUntil_ = -1;
};

}  // namespace plat::dshow
