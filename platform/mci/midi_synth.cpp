// libfluidsynth behind the sequencer. The player is timed by the samples the synthesiser renders, so
// the song moves exactly as fast as the mix consumes it.
#include "platform/mci/midi_synth.h"

#include <sys/stat.h>

#include <cstdlib>
#include <vector>

#include "platform/mci/mci_test_controls.h"

#if ORBEL_HAVE_FLUIDSYNTH
#include <dlfcn.h>
#include <fluidsynth.h>

#include <map>
#include <mutex>
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

namespace {

// libfluidsynth is loaded when first wanted, so a system without it still runs (silently).
#define ORBEL_FLUID_FUNCTIONS(X)                                                                          \
  X(fluid_set_log_function) X(new_fluid_settings) X(delete_fluid_settings) X(fluid_settings_setnum)        \
  X(fluid_settings_setstr) X(fluid_settings_setint) X(new_fluid_synth) X(delete_fluid_synth)               \
  X(fluid_synth_sfload) X(fluid_synth_all_sounds_off) X(fluid_synth_write_float) X(new_fluid_player)       \
  X(delete_fluid_player) X(fluid_player_add_mem) X(fluid_player_play) X(fluid_player_stop)                 \
  X(fluid_player_seek)

struct Fluid {
#define ORBEL_FLUID_POINTER(name) decltype(&::name) name = nullptr;
  ORBEL_FLUID_FUNCTIONS(ORBEL_FLUID_POINTER)
#undef ORBEL_FLUID_POINTER
};

std::string& LibraryName() {
  static std::string name = "libfluidsynth.so.3";
  return name;
}

// The library's functions, or null when it (or one of them) is missing. A library is looked at once and
// its table kept for the process's life, as the module stays loaded: synthesisers (the mixer's thread
// among their users) call through it until the process ends.
const Fluid* LoadFluid() {
  static std::mutex mutex;
  static auto* tables = new std::map<std::string, const Fluid*>;  // by library name; null: unusable
  std::lock_guard<std::mutex> lock(mutex);
  const std::string library = LibraryName();
  if (auto found = tables->find(library); found != tables->end()) return found->second;
  const Fluid*& table = (*tables)[library];
  void* module = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) return nullptr;
  auto fluid = std::make_unique<Fluid>();
  bool complete = true;
#define ORBEL_FLUID_LOAD(name)                                                   \
  fluid->name = reinterpret_cast<decltype(&::name)>(dlsym(module, #name)); \
  complete = complete && fluid->name != nullptr;
  ORBEL_FLUID_FUNCTIONS(ORBEL_FLUID_LOAD)
#undef ORBEL_FLUID_LOAD
  if (!complete) return nullptr;
  // Its messages would go to stderr; the sequencer reports nothing either.
  for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG}) fluid->fluid_set_log_function(level, nullptr, nullptr);
  table = fluid.release();
  return table;
}

}  // namespace

struct MidiSynth::Engine {
  const Fluid* f = nullptr;
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  fluid_player_t* player = nullptr;
  std::vector<uint8_t> smf;
  std::vector<float> left;
  std::vector<float> right;

  ~Engine() {
    if (player != nullptr) {
      f->fluid_player_stop(player);
      f->delete_fluid_player(player);
    }
    if (synth != nullptr) f->delete_fluid_synth(synth);
    if (settings != nullptr) f->delete_fluid_settings(settings);
  }
};

std::shared_ptr<MidiSynth> MidiSynth::Create(const MidiSong& song) {
  const std::string font = SoundFontPath();
  if (font.empty() || song.smf == nullptr) return nullptr;
  const Fluid* f = LoadFluid();
  if (f == nullptr) return nullptr;
  auto engine = std::make_unique<Engine>();
  engine->f = f;
  engine->settings = f->new_fluid_settings();
  if (engine->settings == nullptr) return nullptr;
  f->fluid_settings_setnum(engine->settings, "synth.sample-rate", dsound::kMixRate);
  f->fluid_settings_setstr(engine->settings, "player.timing-source", "sample");
  f->fluid_settings_setint(engine->settings, "synth.threadsafe-api", 0);
  engine->synth = f->new_fluid_synth(engine->settings);
  if (engine->synth == nullptr || f->fluid_synth_sfload(engine->synth, font.c_str(), 1) == FLUID_FAILED) return nullptr;
  engine->smf.assign(song.smf, song.smf + song.smfSize);
  std::shared_ptr<MidiSynth> synth(new MidiSynth);
  synth->engine_ = std::move(engine);
  return synth;
}

void MidiSynth::Mix(float* mix, int frames) {
  Engine& e = *engine_;
  const Fluid& f = *e.f;
  const uint32_t request = request_.load(std::memory_order_acquire);
  if (request != applied_) {
    applied_ = request;
    // A player that has finished does not start again: every play gets a fresh one.
    if (e.player != nullptr) {
      f.fluid_player_stop(e.player);
      f.delete_fluid_player(e.player);
      e.player = nullptr;
    }
    f.fluid_synth_all_sounds_off(e.synth, -1);
    if (playing_.load()) {
      e.player = f.new_fluid_player(e.synth);
      if (e.player != nullptr && f.fluid_player_add_mem(e.player, e.smf.data(), e.smf.size()) == FLUID_OK) {
        f.fluid_player_play(e.player);
        if (fromTick_.load() > 0) f.fluid_player_seek(e.player, static_cast<int>(fromTick_.load()));
      }
    }
  }
  e.left.resize(static_cast<size_t>(frames));
  e.right.resize(static_cast<size_t>(frames));
  f.fluid_synth_write_float(e.synth, frames, e.left.data(), 0, 1, e.right.data(), 0, 1);
  for (int i = 0; i < frames; ++i) {
    mix[i * 2] += e.left[i] * 32767.0f;
    mix[i * 2 + 1] += e.right[i] * 32767.0f;
  }
}

static void SetSynthLibrary(const char* name) { LibraryName() = name; }

#else

struct MidiSynth::Engine {};
std::shared_ptr<MidiSynth> MidiSynth::Create(const MidiSong&) { return nullptr; }
void MidiSynth::Mix(float*, int) {}
static void SetSynthLibrary(const char*) {}

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
void SetSynthLibraryOverride(const char* name) { SetSynthLibrary(name == nullptr ? "libfluidsynth.so.3" : name); }
}  // namespace test_support

}  // namespace plat::mci
