// A movie's sound queue: filled by the decoder under the stream's lock, drained by the mixer. Pieces keep
// the mix frame they start at; the mix adds what lies under its cursor and leaves silence elsewhere.
#include "platform/dshow/movie_sound.h"

#include <algorithm>

#include "platform/dshow/movie_decoder.h"

namespace plat::dshow {
namespace {

constexpr int64_t kMostQueued = int64_t{dsound::kMixRate} * 4;  // frames: four seconds
// Frames: a piece that starts this close to the end of the one before follows it straight on, so the
// rounding of times and a resampler's delay neither click nor pile up.
constexpr int64_t kSlack = dsound::kMixRate / 100;

}  // namespace

int64_t MovieSound::Remaining(const Piece& p) { return static_cast<int64_t>(p.stereo.size() / 2 - p.from); }

int64_t MovieSound::FramesOf(int64_t time) {
  return time / kUnitsPerSecond * dsound::kMixRate + time % kUnitsPerSecond * dsound::kMixRate / kUnitsPerSecond;
}

int64_t MovieSound::TimeOf(int64_t frames) {
  return frames / dsound::kMixRate * kUnitsPerSecond + frames % dsound::kMixRate * kUnitsPerSecond / dsound::kMixRate;
}

void MovieSound::Mix(float* mix, int frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!playing_) return;
  DropBeforeLocked(cursor_);
  const int64_t end = cursor_ + frames;
  for (const Piece& p : pieces_) {
    if (p.start >= end) break;
    const int64_t offset = p.start - cursor_;  // never negative once the late part is dropped
    const int64_t n = std::min(Remaining(p), end - p.start);
    const float* from = p.stereo.data() + p.from * 2;
    float* to = mix + offset * 2;
    for (int64_t i = 0; i < n * 2; ++i) to[i] += from[i];
  }
  cursor_ = end;
  DropBeforeLocked(cursor_);
  if (queuedUntil_ < 0 || FramesOf(queuedUntil_) - cursor_ < leadFrames_ / 2) {
    wanted_ = true;
    demand_.notify_all();
  }
}

void MovieSound::Push(const float* stereo, int frames, int64_t time) {
  std::lock_guard<std::mutex> lock(mutex_);
  int64_t at = time != kUntimed ? FramesOf(time) : queuedUntil_ >= 0 ? FramesOf(queuedUntil_) : cursor_;
  queuedUntil_ = std::max(queuedUntil_, TimeOf(at + frames));
  if (!pieces_.empty()) {
    const int64_t end = pieces_.back().start + Remaining(pieces_.back());
    if (at > end - kSlack && at < end + kSlack) at = end;
    if (at < end) {  // what overlaps the sound before it was had already
      const int64_t overlap = std::min<int64_t>(end - at, frames);
      stereo += overlap * 2;
      frames -= static_cast<int>(overlap);
      at += overlap;
    }
  }
  if (at < cursor_) {  // late: the part whose time has passed is dropped
    const int64_t late = std::min<int64_t>(cursor_ - at, frames);
    stereo += late * 2;
    frames -= static_cast<int>(late);
    at += late;
  }
  if (frames <= 0) return;
  pieces_.push_back(Piece{at, std::vector<float>(stereo, stereo + static_cast<size_t>(frames) * 2), 0});
  queued_ += frames;
  // Nobody is listening: the oldest sound goes.
  if (queued_ > kMostQueued) DropBeforeLocked(pieces_.front().start + (queued_ - kMostQueued));
}

void MovieSound::Start(int64_t time) {
  std::lock_guard<std::mutex> lock(mutex_);
  cursor_ = FramesOf(time);
  playing_ = true;
}

void MovieSound::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  playing_ = false;
}

void MovieSound::Restart(int64_t time) {
  std::lock_guard<std::mutex> lock(mutex_);
  pieces_.clear();
  queued_ = 0;
  queuedUntil_ = -1;
  cursor_ = FramesOf(time);
}

int64_t MovieSound::QueuedUntil() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queuedUntil_;
}

int64_t MovieSound::PlayTime() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return TimeOf(cursor_);
}

void MovieSound::WaitForDemand() {
  std::unique_lock<std::mutex> lock(mutex_);
  demand_.wait(lock, [this] { return wanted_; });
  wanted_ = false;
}

void MovieSound::Wake() {
  std::lock_guard<std::mutex> lock(mutex_);
  wanted_ = true;
  demand_.notify_all();
}

void MovieSound::DropBeforeLocked(int64_t frame) {
  while (!pieces_.empty() && pieces_.front().start < frame) {
    Piece& p = pieces_.front();
    const int64_t n = std::min(Remaining(p), frame - p.start);
    p.from += static_cast<size_t>(n);
    p.start += n;
    queued_ -= n;
    if (Remaining(p) == 0) pieces_.pop_front();
  }
}

}  // namespace plat::dshow
