// libfluidsynth behind the sequencer. The player is timed by the samples the synthesiser renders, so
// the song moves exactly as fast as the mix consumes it.
#include "platform/mci/midi_synth.h"

#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "platform/mci/mci_test_controls.h"

#if ORBEL_HAVE_FLUIDSYNTH
#include <fluidsynth.h>
#endif

namespace plat::mci {

namespace {
std::string& FontOverride() {
  static std::string path = "\x01";  // "\x01": no override set
  return path;
}
bool Exists(const std::string& path) {
  struct stat st{};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}
}  // namespace

std::string MidiSynth::SoundFontPath() {
  if (FontOverride() != "\x01") return Exists(FontOverride()) ? FontOverride() : std::string();
  if (const char* env = std::getenv("ORBEL_MIDI_SOUNDFONT"); env != nullptr) return Exists(env) ? env : "";
  for (const char* path : {"/usr/share/sounds/sf2/TimGM6mb.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
                           "/usr/share/sounds/sf2/FluidR3_GM.sf2"}) {
    if (Exists(path)) return path;
  }
  return {};
}

#if ORBEL_HAVE_FLUIDSYNTH

struct MidiSynth::Engine {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_player_t* player = nullptr;
  std::vector<uint8_t> smf;
  std::vector<float> left;
  std::vector<float> right;

  ~Engine() {
    if (player != nullptr) {
      fluid_player_stop(player);
      delete_fluid_player(player);
    }
    if (synth != nullptr) delete_fluid_synth(synth);
    if (settings != nullptr) delete_fluid_settings(settings);
  }
};

std::shared_ptr<MidiSynth> MidiSynth::Create(const MidiSong& song) {
  const std::string font = SoundFontPath();
  if (font.empty() || song.smf == nullptr) return nullptr;
  static const bool quiet = [] {
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid_set_log_function(level, nullptr, nullptr);
    return true;
  }();
  (void)quiet;
  auto engine = std::make_unique<Engine>();
  engine->settings = new_fluid_settings();
  if (engine->settings == nullptr) return nullptr;
  fluid_settings_setnum(engine->settings, "synth.sample-rate", dsound::kMixRate);
  fluid_settings_setstr(engine->settings, "player.timing-source", "sample");
  fluid_settings_setint(engine->settings, "synth.threadsafe-api", 0);
  engine->synth = new_fluid_synth(engine->settings);
  if (engine->synth == nullptr || fluid_synth_sfload(engine->synth, font.c_str(), 1) == FLUID_FAILED) return nullptr;
  engine->smf.assign(song.smf, song.smf + song.smfSize);
  std::shared_ptr<MidiSynth> synth(new MidiSynth);
  synth->engine_ = std::move(engine);
  return synth;
}

void MidiSynth::Mix(float* mix, int frames) {
  Engine& e = *engine_;
  const uint32_t request = request_.load(std::memory_order_acquire);
  if (request != applied_) {
    applied_ = request;
    // A player that has finished does not start again: every play gets a fresh one.
    if (e.player != nullptr) {
      fluid_player_stop(e.player);
      delete_fluid_player(e.player);
      e.player = nullptr;
    }
    fluid_synth_all_sounds_off(e.synth, -1);
    if (playing_.load()) {
      e.player = new_fluid_player(e.synth);
      if (e.player != nullptr && fluid_player_add_mem(e.player, e.smf.data(), e.smf.size()) == FLUID_OK) {
        fluid_player_play(e.player);
        if (fromTick_.load() > 0) fluid_player_seek(e.player, static_cast<int>(fromTick_.load()));
      }
    }
  }
  e.left.resize(static_cast<size_t>(frames));
  e.right.resize(static_cast<size_t>(frames));
  fluid_synth_write_float(e.synth, frames, e.left.data(), 0, 1, e.right.data(), 0, 1);
  for (int i = 0; i < frames; ++i) {
    mix[i * 2] += e.left[i] * 32767.0f;
    mix[i * 2 + 1] += e.right[i] * 32767.0f;
  }
}

#else

struct MidiSynth::Engine {};
std::shared_ptr<MidiSynth> MidiSynth::Create(const MidiSong&) { return nullptr; }
void MidiSynth::Mix(float*, int) {}

#endif

MidiSynth::~MidiSynth() = default;

void MidiSynth::Play(uint64_t fromTick) {
  fromTick_.store(fromTick);
  playing_.store(true);
  request_.fetch_add(1, std::memory_order_release);
}

void MidiSynth::Stop() {
  playing_.store(false);
  request_.fetch_add(1, std::memory_order_release);
}

namespace test_support {
void SetSoundFontOverride(const char* path) { FontOverride() = path == nullptr ? "\x01" : path; }
}  // namespace test_support

}  // namespace plat::mci
