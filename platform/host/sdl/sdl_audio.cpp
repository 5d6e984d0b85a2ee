// SDL audio for the SDL host. The device is opened for the mix's own format with no changes allowed,
// so SDL's converter does any resampling the hardware needs; our callback only asks the source. At exit
// the device is closed before the libraries under SDL's audio thread are finalised (what the thread
// reads of ours lives on anyway).
#include "platform/host/sdl/sdl_audio.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace plat::host {
namespace {

struct SdlAudio {
  std::mutex mutex;  // opening and closing, from the library's thread or an exit handler
  SDL_AudioDeviceID device = 0;
  AudioOutput output{};
  std::string name;
};

SdlAudio& Audio() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* audio = new SdlAudio;
  return *audio;
}

void Callback(void* userdata, Uint8* stream, int length) {
  const auto* output = static_cast<const AudioOutput*>(userdata);
  const int frames = length / static_cast<int>(sizeof(int16_t) * output->channels);
  output->render(reinterpret_cast<int16_t*>(stream), frames, output->context);
}

void CloseDeviceAtExit() {
  SdlAudio& a = Audio();
  std::lock_guard<std::mutex> lock(a.mutex);
  if (a.device != 0) SDL_CloseAudioDevice(a.device);  // waits for a running callback
  a.device = 0;
}

}  // namespace

bool OpenSdlAudio(const AudioOutput& output) {
  SdlAudio& a = Audio();
  std::lock_guard<std::mutex> lock(a.mutex);
  if (a.device != 0) return false;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    std::fprintf(stderr, "orbel: no SDL audio: %s\n", SDL_GetError());
    return false;
  }
  a.output = output;
  SDL_AudioSpec want{};
  want.freq = output.rate;
  want.format = AUDIO_S16SYS;
  want.channels = static_cast<Uint8>(output.channels);
  want.samples = 1024;  // about 23 ms at 44,100 Hz
  want.callback = Callback;
  want.userdata = &a.output;
  SDL_AudioSpec have{};
  a.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (a.device == 0) {
    std::fprintf(stderr, "orbel: no SDL audio device: %s\n", SDL_GetError());
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  const char* driver = SDL_GetCurrentAudioDriver();
  a.name = std::string("SDL ") + (driver != nullptr ? driver : "audio");
  static const bool closedAtExit = std::atexit(&CloseDeviceAtExit) == 0;
  (void)closedAtExit;
  SDL_PauseAudioDevice(a.device, 0);
  return true;
}

void CloseSdlAudio() {
  SdlAudio& a = Audio();
  std::lock_guard<std::mutex> lock(a.mutex);
  if (a.device == 0) return;
  SDL_CloseAudioDevice(a.device);  // waits for a running callback
  a.device = 0;
  a.name.clear();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

std::string SdlAudioDeviceName() {
  SdlAudio& a = Audio();
  std::lock_guard<std::mutex> lock(a.mutex);
  return a.name;
}

}  // namespace plat::host
