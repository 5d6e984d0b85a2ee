// The playback engine: the stream clock over the plat clock (run, hold, seek), the choice of the frame
// due now, and the sound handed to the mixer while the stream runs.
#include <algorithm>

#include "platform/dshow/dshow_internal.h"
#include "platform/win/clock.h"

namespace plat::dshow {
namespace {

// Sound is decoded this far ahead of the stream time, so the mixer never waits for the next frame.
constexpr STREAM_TIME kSoundLead = kUnitsPerSecond / 2;

}  // namespace

MovieEngine::~MovieEngine() {
  if (mixerOpen_) {
    dsound::Mixer::Get().RemoveStreamSource(sound_);
    dsound::Mixer::Get().Close();
  }
  if (decoder_ != nullptr) CountObject(&DShowState::decoders, -1);
}

HRESULT MovieEngine::OpenLocked(const char* path, bool video, bool sound) {
  if (decoder_ != nullptr) return MS_E_SOURCEALREADYDEFINED;
  std::shared_ptr<MovieSound> queue = sound ? std::make_shared<MovieSound>() : nullptr;
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
  if (!running_) {
    runStartMicroseconds_ = clock::NowMicroseconds();
    running_ = true;
  }
  if (sound_ != nullptr) {
    if (!mixerOpen_) {
      dsound::Mixer::Get().Open();
      dsound::Mixer::Get().AddStreamSource(sound_);
      mixerOpen_ = true;
    }
    sound_->SetPlaying(true);
  }
  changed.notify_all();
}

void MovieEngine::HoldLocked() {
  if (running_) {
    position_ = TimeLocked();
    running_ = false;
  }
  if (sound_ != nullptr) sound_->SetPlaying(false);
  changed.notify_all();
}

void MovieEngine::SeekLocked(STREAM_TIME time) {
  position_ = std::clamp<STREAM_TIME>(time, 0, kLatestTime);
  if (running_) runStartMicroseconds_ = clock::NowMicroseconds();
  if (decoder_ != nullptr) decoder_->Seek(position_);
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
  bool took = false;
  while (decoder_->PeekNext(&next) && next <= now) {
    decoder_->TakeNext();  // a frame whose successor is due too is passed over
    took = true;
  }
  decoder_->ReadSoundUntil(now + kSoundLead);
  if (took) return Due::Frame;
  if (decoder_->PeekNext(&next)) {
    *until = next;
    return Due::Wait;
  }
  if (now >= decoder_->EndTime()) return Due::End;
  *until = decoder_->EndTime();
  return Due::Wait;
}

}  // namespace plat::dshow
