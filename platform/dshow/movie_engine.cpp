// The playback engine: the stream clock over the plat clock (run, hold, seek), the choice of the frame
// due now, and the sound: handed to the mixer while the stream runs, and decoded ahead of the mixer's
// cursor by the feeder thread.
#include <algorithm>

#include "platform/dshow/dshow_internal.h"
#include "platform/win/kernel/clock.h"

namespace plat::dshow {
namespace {

// Sound is decoded this far ahead of what the mixer plays, so the mixer never waits for the decoder.
constexpr STREAM_TIME kSoundLead = kUnitsPerSecond / 2;

}  // namespace

MovieEngine::MovieEngine() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().liveEngines.push_back(this);
}

MovieEngine::~MovieEngine() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    quit_ = true;
  }
  if (feeder_.joinable()) {
    sound_->Wake();
    feeder_.join();
  }
  if (mixerOpen_) {
    dsound::Mixer::Get().RemoveStreamSource(sound_);
    dsound::Mixer::Get().Close();
  }
  if (decoder_ != nullptr) CountObject(&DShowState::decoders, -1);
  std::lock_guard<std::mutex> lock(State().mutex);
  auto& live = State().liveEngines;
  live.erase(std::remove(live.begin(), live.end(), this), live.end());
}

HRESULT MovieEngine::OpenLocked(const char* path, bool video, bool sound) {
  if (decoder_ != nullptr) return MS_E_SOURCEALREADYDEFINED;
  std::shared_ptr<MovieSound> queue = sound ? std::make_shared<MovieSound>(kSoundLead) : nullptr;
  MovieDecoder::OpenError error = MovieDecoder::OpenError::None;
  decoder_ = MovieDecoder::Open(path, video, queue, &error);
  if (decoder_ == nullptr) {
    return error == MovieDecoder::OpenError::NotFound ? VFW_E_FILE_NOT_FOUND : VFW_E_UNKNOWN_FILE_TYPE;
  }
  CountObject(&DShowState::decoders, 1);
  sound_ = std::move(queue);
  running_ = false;
  position_ = 0;
  return S_OK;
}

STREAM_TIME MovieEngine::TimeLocked() const {
  if (!running_) return position_;
  const uint64_t elapsed = clock::NowMicroseconds() - runStartMicroseconds_;
  return position_ + static_cast<STREAM_TIME>(elapsed) * (kUnitsPerSecond / 1000000);
}

void MovieEngine::RunLocked() {
  const bool starting = !running_;
  if (starting) {
    runStartMicroseconds_ = clock::NowMicroseconds();
    running_ = true;
  }
  if (sound_ != nullptr) {
    dsound::Mixer& mixer = dsound::Mixer::Get();
    if (!mixerOpen_) {
      mixer.Open();
      mixer.AddStreamSource(sound_);
      mixerOpen_ = true;
    }
    if (starting) {
      mixer.CatchUp();  // what was due before this moment is mixed without the film
      sound_->Start(position_);
    }
    FeedLocked();
    if (!feeder_.joinable()) feeder_ = std::thread([this] { Feed(); });
  }
  changed.notify_all();
}

void MovieEngine::HoldLocked() {
  if (running_) {
    position_ = TimeLocked();
    running_ = false;
  }
  if (sound_ != nullptr) {
    if (mixerOpen_) dsound::Mixer::Get().CatchUp();  // the sound due up to the hold still plays
    sound_->Stop();
  }
  changed.notify_all();
}

void MovieEngine::SeekLocked(STREAM_TIME time) {
  position_ = std::clamp<STREAM_TIME>(time, 0, kLatestTime);
  if (running_) runStartMicroseconds_ = clock::NowMicroseconds();
  if (mixerOpen_) dsound::Mixer::Get().CatchUp();
  frameUnshown_ = false;
  if (decoder_ != nullptr) {
    decoder_->Seek(position_);
    if (running_) FeedLocked();
  }
  changed.notify_all();
}

Due MovieEngine::ChooseLocked(STREAM_TIME* until) {
  if (decoder_ == nullptr || !decoder_->HasVideo()) return Due::End;
  const STREAM_TIME now = TimeLocked();
  STREAM_TIME next = 0;
  if (!running_) {
    // The frame showing at the position; before the first frame's time, the first frame.
    while (decoder_->PeekNext(&next) && (next <= now || !decoder_->HasCurrent())) decoder_->TakeNext();
    return decoder_->HasCurrent() ? Due::Frame : Due::End;
  }
  bool took = frameUnshown_;
  while (decoder_->PeekNext(&next) && next <= now) {
    decoder_->TakeNext();  // a frame whose successor is due too is passed over
    took = true;
  }
  if (took) {
    frameUnshown_ = false;
    return Due::Frame;
  }
  if (decoder_->PeekNext(&next)) {
    *until = next;
    return Due::Wait;
  }
  if (now >= decoder_->EndTime()) return Due::End;
  *until = decoder_->EndTime();
  return Due::Wait;
}

void MovieEngine::FeedLocked() {
  if (decoder_ == nullptr || sound_ == nullptr) return;
  const STREAM_TIME until = std::min(sound_->PlayTime() + kSoundLead, kLatestTime);
  while (!decoder_->ReadSoundUntil(until)) {
    // Nobody draws the film and its video packets pile up: the frames whose time has come are decoded
    // (the newest stays for the next update to show), which makes room.
    const STREAM_TIME now = TimeLocked();
    STREAM_TIME next = 0;
    bool took = false;
    while (decoder_->PeekNext(&next) && next <= now) {
      decoder_->TakeNext();
      took = true;
    }
    if (!took) return;
    frameUnshown_ = true;
  }
}

void MovieEngine::Feed() {
  while (true) {
    sound_->WaitForDemand();
    std::lock_guard<std::mutex> lock(mutex);
    if (quit_) return;
    if (running_) FeedLocked();
    ++feeds_;
    fed_.notify_all();
  }
}

void MovieEngine::SettleFeeder() {
  std::unique_lock<std::mutex> lock(mutex);
  if (!feeder_.joinable() || quit_) return;
  const uint64_t seen = feeds_;
  sound_->Wake();
  fed_.wait(lock, [&] { return feeds_ > seen; });
}

}  // namespace plat::dshow
