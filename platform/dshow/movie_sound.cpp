// A movie's sound queue: filled by the decoder under the stream's lock, drained by the mixer.
#include "platform/dshow/movie_sound.h"

#include <algorithm>

#include "platform/dshow/movie_decoder.h"

namespace plat::dshow {
namespace {

constexpr size_t kMostQueued = size_t{dsound::kMixRate} * 2 * 4;  // samples: four seconds of stereo

}  // namespace

void MovieSound::Mix(float* mix, int frames) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!playing_) return;
  const size_t n = std::min(samples_.size(), static_cast<size_t>(frames) * 2);
  for (size_t i = 0; i < n; ++i) mix[i] += samples_[i];
  samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(n));
}

void MovieSound::Push(const float* stereo, int frames, int64_t time) {
  std::lock_guard<std::mutex> lock(mutex_);
  samples_.insert(samples_.end(), stereo, stereo + static_cast<size_t>(frames) * 2);
  if (samples_.size() > kMostQueued) {
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(samples_.size() - kMostQueued));
  }
  queuedUntil_ = time + int64_t{frames} * kUnitsPerSecond / dsound::kMixRate;
}

void MovieSound::Flush() {
  std::lock_guard<std::mutex> lock(mutex_);
  samples_.clear();
  queuedUntil_ = -1;
}

void MovieSound::SetPlaying(bool playing) {
  std::lock_guard<std::mutex> lock(mutex_);
  playing_ = playing;
}

int64_t MovieSound::QueuedUntil() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queuedUntil_;
}

}  // namespace plat::dshow
