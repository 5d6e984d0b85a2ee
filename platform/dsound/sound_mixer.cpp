// The software mixer: snapshot under the lock, mix unlocked, store the new cursors under the lock.
#include "platform/dsound/sound_mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/host/host.h"
#include "platform/win/kernel/clock.h"

namespace plat::dsound {
namespace {

constexpr int kFeedFrames = 1024;
// The capturing sink renders at most this many frames per step.
constexpr int kCaptureStep = 4096;

// Hundredths of a decibel to an amplitude factor.
float Attenuation(int32_t hundredthsDb) {
  if (hundredthsDb <= -10000) return 0.0f;
  return static_cast<float>(std::pow(10.0, hundredthsDb / 2000.0));
}

// One source frame as stereo samples in the 16-bit range.
inline void ReadFrame(const Voice& v, uint32_t frame, float* left, float* right) {
  const uint8_t* p = v.data->data() + size_t{frame} * v.format.nBlockAlign;
  *left = SourceSample(p, v.format, 0);
  *right = SourceSample(p, v.format, 1);
}

// libsamplerate pulls source frames through this: from the feed position on, wrapping when looping,
// ending at the end otherwise.
long Feed(void* context, float** data) {
  auto* v = static_cast<Voice*>(context);
  const uint32_t total = v->Frames();
  v->feed.resize(size_t{kFeedFrames} * 2);
  long n = 0;
  while (n < kFeedFrames) {
    if (v->feedFrame >= total) {
      if (!v->feedLooping || total == 0) break;
      v->feedFrame = 0;
    }
    ReadFrame(*v, static_cast<uint32_t>(v->feedFrame++), &v->feed[n * 2], &v->feed[n * 2 + 1]);
    ++n;
  }
  *data = v->feed.data();
  return n;
}

struct Snapshot {
  std::shared_ptr<Voice> voice;
  uint64_t position;
  uint32_t generation;
  bool looping;
  uint32_t rate;
  float gainLeft;
  float gainRight;
  std::shared_ptr<PreparedSound> prepared;  // null: resample in the mix
  uint64_t newPosition = 0;
  bool ended = false;
};

void MixDirect(const Snapshot& s, float* mix, int frames) {
  const Voice& v = *s.voice;
  const uint32_t total = v.Frames();
  uint64_t frame = s.position >> 32;
  for (int i = 0; i < frames; ++i) {
    if (frame >= total) {
      if (!s.looping || total == 0) break;
      frame = 0;
    }
    float l;
    float r;
    ReadFrame(v, static_cast<uint32_t>(frame++), &l, &r);
    mix[i * 2] += l * s.gainLeft;
    mix[i * 2 + 1] += r * s.gainRight;
  }
}

// The buffer's conversion to the mix rate, read from the cursor on: a frame of it a mix frame. Each
// block is brought up to date with the buffer's bytes as the read enters it.
void MixPrepared(const Snapshot& s, float* mix, int frames) {
  Voice& v = *s.voice;
  PreparedSound& p = *s.prepared;
  if (v.renderedGeneration != s.generation) {
    // The cursor in mix-rate frames: source frames x 44,100 / rate, both 32.32.
    v.preparedAt = static_cast<uint64_t>(static_cast<unsigned __int128>(s.position) * kMixRate / p.rate);
  }
  v.renderedGeneration = s.generation;
  const float* x = p.samples.data();
  const uint64_t one = uint64_t{1} << 32;
  uint64_t at = v.preparedAt;
  uint64_t block = ~uint64_t{0};
  for (int i = 0; i < frames; ++i, at += one) {
    // A loop wraps at the exact source length, so it keeps time with the cursor however long it runs.
    if (s.looping && p.loopLength != 0 && at >= p.loopLength) at %= p.loopLength;
    const uint64_t k = at >> 32;
    if (k >= p.frames) break;
    if ((k >> kPrepareBlockShift) != block) {
      block = k >> kPrepareBlockShift;
      p.Ready(static_cast<uint32_t>(block), *v.data, v.format);
    }
    const float l = x[k * p.channels];
    const float r = p.channels == 2 ? x[k * 2 + 1] : l;
    mix[i * 2] += l * s.gainLeft;
    mix[i * 2 + 1] += r * s.gainRight;
  }
  v.preparedAt = at;
}

void MixResampled(const Snapshot& s, float* mix, int frames, std::vector<float>& scratch) {
  Voice& v = *s.voice;
  if (v.resampler == nullptr) {
    int error = 0;
    // The fastest sinc converter: only voices whose rate changes while they play come here, the
    // others play their conversion.
    v.resampler = src_callback_new(Feed, SRC_SINC_FASTEST, 2, &error, &v);
    if (v.resampler == nullptr) return;
  }
  if (v.renderedGeneration != s.generation) {
    src_reset(v.resampler);
    v.feedFrame = s.position >> 32;
  }
  v.feedLooping = s.looping;
  v.renderedGeneration = s.generation;
  scratch.resize(size_t(frames) * 2);
  const double ratio = static_cast<double>(kMixRate) / s.rate;
  const long made = src_callback_read(v.resampler, ratio, frames, scratch.data());
  for (long i = 0; i < made; ++i) {
    mix[i * 2] += scratch[i * 2] * s.gainLeft;
    mix[i * 2 + 1] += scratch[i * 2 + 1] * s.gainRight;
  }
}

}  // namespace

Voice::~Voice() {
  if (resampler != nullptr) src_delete(resampler);
}

Mixer& Mixer::Get() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* mixer = new Mixer;
  return *mixer;
}

void Mixer::Add(const std::shared_ptr<Voice>& voice) {
  const uint64_t now = CatchUp();
  std::lock_guard<std::mutex> lock(mutex_);
  voice->anchorMicroseconds = now;
  voice->anchorPosition = voice->position;
  voices_.push_back(voice);
}

void Mixer::Remove(const std::shared_ptr<Voice>& voice) {
  CatchUp();
  std::lock_guard<std::mutex> lock(mutex_);
  voice->released = true;
  voice->playing = false;
  ++voice->generation;
  voices_.erase(std::remove(voices_.begin(), voices_.end(), voice), voices_.end());
}

void Mixer::Open() {
  if (openCount_++ > 0) return;
  hostDevice_ = host::Current().OpenAudio(host::AudioOutput{kMixRate, kMixChannels, HostRender, this});
  sinkStartMicroseconds_ = clock::NowMicroseconds();
  sinkFrames_ = 0;
}

void Mixer::Close() {
  if (openCount_ == 0 || --openCount_ > 0) return;
  if (hostDevice_) host::Current().CloseAudio();
  hostDevice_ = false;
}

void Mixer::HostRender(int16_t* samples, int frames, void* context) {
  static_cast<Mixer*>(context)->Render(samples, frames);
}

void Mixer::Render(int16_t* out, int frames) {
  std::lock_guard<std::mutex> render(renderMutex_);
  RenderLocked(out, frames);
}

void Mixer::RenderLocked(int16_t* out, int frames) {
  std::vector<Snapshot> playing;
  std::shared_ptr<MixSource> extra;
  std::vector<std::shared_ptr<MixSource>> streams;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& v : voices_) {
      if (!v->playing || v->primary) continue;
      const float volume = Attenuation(v->volume);
      const uint32_t rate = v->Rate();
      playing.push_back(Snapshot{v, v->position, v->generation, v->looping, rate,
                                 volume * Attenuation(v->pan > 0 ? -v->pan : 0),
                                 volume * Attenuation(v->pan < 0 ? v->pan : 0),
                                 v->prepared != nullptr && v->prepared->rate == rate ? v->prepared : nullptr});
    }
    extra = extra_;
    streams = streams_;
  }

  // New cursors: `frames` mix frames are frames x rate / 44,100 source frames, in 32.32 fixed point.
  for (Snapshot& s : playing) {
    const uint64_t end = uint64_t{s.voice->Frames()} << 32;
    const uint64_t step = (uint64_t{s.rate} << 32) / kMixRate;
    const uint64_t advance = step * static_cast<uint64_t>(frames);
    if (end == 0) {
      s.ended = !s.looping;
    } else if (s.looping) {
      s.newPosition = (s.position % end + advance % end) % end;
    } else if (s.position + advance >= end) {
      s.ended = true;
    } else {
      s.newPosition = s.position + advance;
    }
  }

  if (out != nullptr) {
    mix_.assign(size_t(frames) * 2, 0.0f);
    std::vector<float> scratch;
    for (const Snapshot& s : playing) {
      if (s.gainLeft == 0.0f && s.gainRight == 0.0f) continue;
      if (s.rate == kMixRate) {
        MixDirect(s, mix_.data(), frames);
      } else if (s.prepared != nullptr) {
        MixPrepared(s, mix_.data(), frames);
      } else {
        MixResampled(s, mix_.data(), frames, scratch);
      }
    }
    if (extra != nullptr) extra->Mix(mix_.data(), frames);
    for (const auto& stream : streams) stream->Mix(mix_.data(), frames);
    for (size_t i = 0; i < mix_.size(); ++i) {
      const float x = std::clamp(mix_[i], -32768.0f, 32767.0f);
      out[i] = static_cast<int16_t>(std::lrintf(x));
    }
  } else {
    // Nothing was mixed: a resampler must pick the cursor up afresh next time.
    for (const Snapshot& s : playing) s.voice->renderedGeneration = ~0u;
  }

  std::lock_guard<std::mutex> lock(mutex_);
  for (const Snapshot& s : playing) {
    Voice& v = *s.voice;
    if (v.generation != s.generation) continue;  // the library changed it meanwhile: its change holds
    if (s.ended) {
      v.playing = false;
      v.position = 0;
      ++v.generation;
    } else {
      v.position = s.newPosition;
    }
  }
}

uint64_t Mixer::CatchUp() {
  if (hostDevice_ || openCount_ == 0) return 0;
  std::lock_guard<std::mutex> render(renderMutex_);
  const uint64_t now = clock::NowMicroseconds();
  if (!capture_) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& v : voices_) AdvanceByClock(*v, now);
    return now;
  }
  const uint64_t target = (now - sinkStartMicroseconds_) * kMixRate / 1000000;
  while (sinkFrames_ < target) {
    const int n = static_cast<int>(std::min<uint64_t>(target - sinkFrames_, kCaptureStep));
    const size_t at = captured_.size();
    captured_.resize(at + size_t(n) * 2);
    RenderLocked(captured_.data() + at, n);
    sinkFrames_ += static_cast<uint64_t>(n);
  }
  return now;
}

void Mixer::AdvanceByClock(Voice& v, uint64_t now) {
  if (!v.playing || v.primary || now <= v.anchorMicroseconds) return;
  const uint64_t end = uint64_t{v.Frames()} << 32;
  // Elapsed time x rate in 32.32 frames; 128 bits so that hours at 200 kHz cannot overflow.
  const unsigned __int128 advance =
      (static_cast<unsigned __int128>(now - v.anchorMicroseconds) * v.Rate() << 32) / 1000000;
  const unsigned __int128 position = v.anchorPosition + advance;
  if (v.looping && end != 0) {
    v.position = static_cast<uint64_t>(position % end);
  } else if (position >= end) {
    v.playing = false;
    v.position = 0;
    ++v.generation;
    v.anchorMicroseconds = now;
    v.anchorPosition = 0;
  } else {
    v.position = static_cast<uint64_t>(position);
  }
}

void Mixer::ReanchorLocked(uint64_t now) {
  for (const auto& v : voices_) {
    v->anchorMicroseconds = now;
    v->anchorPosition = v->position;
  }
}

void Mixer::SetExtraSource(std::shared_ptr<MixSource> source) {
  CatchUp();
  std::shared_ptr<MixSource> old;
  std::lock_guard<std::mutex> lock(mutex_);
  old.swap(extra_);
  extra_ = std::move(source);
}

void Mixer::AddStreamSource(const std::shared_ptr<MixSource>& source) {
  CatchUp();
  std::lock_guard<std::mutex> lock(mutex_);
  streams_.push_back(source);
}

void Mixer::RemoveStreamSource(const std::shared_ptr<MixSource>& source) {
  CatchUp();
  std::shared_ptr<MixSource> keep = source;  // dropped after the lock, like SetExtraSource's old source
  std::lock_guard<std::mutex> lock(mutex_);
  streams_.erase(std::remove(streams_.begin(), streams_.end(), source), streams_.end());
}

void Mixer::SetCapture(bool on) {
  const uint64_t now = CatchUp();
  std::lock_guard<std::mutex> render(renderMutex_);
  capture_ = on;
  captured_.clear();
  // Capture renders from now on; without it the clock reckons from here.
  sinkStartMicroseconds_ = now;
  sinkFrames_ = 0;
  std::lock_guard<std::mutex> lock(mutex_);
  ReanchorLocked(now);
}

std::vector<int16_t> Mixer::TakeCapture() {
  CatchUp();
  std::lock_guard<std::mutex> render(renderMutex_);
  std::vector<int16_t> out;
  out.swap(captured_);
  return out;
}

uint64_t Mixer::CapturedFrames() {
  std::lock_guard<std::mutex> render(renderMutex_);
  return sinkFrames_;
}

void Mixer::Reset() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& v : voices_) v->released = true;
    voices_.clear();
    extra_.reset();
    streams_.clear();
  }
  while (openCount_ > 0) Close();
  std::lock_guard<std::mutex> render(renderMutex_);
  capture_ = false;
  captured_.clear();
  sinkFrames_ = 0;
}

}  // namespace plat::dsound
