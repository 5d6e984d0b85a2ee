// The SDL host's audio device: SDL pulls the mix through the source's render function on its audio
// thread. SDL converts the mix to whatever the device runs at (rate, sample format, channels).
#pragma once

#include <string>

#include "platform/host/host.h"

namespace plat::host {
bool OpenSdlAudio(const AudioOutput& output);
void CloseSdlAudio();
std::string SdlAudioDeviceName();
}  // namespace plat::host
