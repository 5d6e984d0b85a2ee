// The sequencer's voice: a General MIDI synthesiser (libfluidsynth, loaded at run time, with a sound
// font) playing one song into the DirectSound stand-in's mix. The library's thread only posts requests (play from a tick,
// stop); the mixer's thread carries them out before it renders, so neither waits for the other.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/dsound/sound_mixer.h"
#include "platform/mci/midi_file.h"

namespace plat::mci {

class MidiSynth : public dsound::MixSource {
 public:
  // Null when the synthesiser library or the sound font is missing (the song then plays silently).
  static std::shared_ptr<MidiSynth> Create(const MidiSong& song);
  ~MidiSynth() override;

  void Play(uint64_t fromTick);
  void Stop();
  void Mix(float* mix, int frames) override;

  // The sound font used: ORBEL_MIDI_SOUNDFONT, else Debian's General MIDI fonts; empty when none.
  static std::string SoundFontPath();

  struct Engine;

 private:
  MidiSynth() = default;
  std::unique_ptr<Engine> engine_;
  std::atomic<uint32_t> request_{0};
  std::atomic<uint64_t> fromTick_{0};
  std::atomic<bool> playing_{false};
  uint32_t applied_ = 0;  // the mixer thread's copy of request_
};

}  // namespace plat::mci
