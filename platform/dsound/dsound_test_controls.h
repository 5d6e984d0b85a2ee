// Test controls of the DirectSound stand-in: device capabilities, one-shot faults, and the silent
// sink's output. Only tests (and benches) include this file; the library never does.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/dsound/dsound.h"

namespace plat::test {

// The capabilities GetCaps reports (the default: every format, 100..200,000 Hz, no hardware memory).
void SetSoundCaps(const DSCAPS& caps);
DSCAPS DefaultSoundCaps();

// Faults, each for the next matching call only.
void FailCoCreateDirectSound();
void FailDirectSoundInitialize();
void FailSoundCooperativeLevel();
// The next CreateSoundBuffer whose flags are exactly `flags` fails `times` times.
void FailCreateSoundBuffer(DWORD flags, int times = 1);
// DuplicateSoundBuffer succeeds `successes` more times, then fails until reset.
void FailDuplicateSoundBufferAfter(int successes);
void FailSoundBufferLock(int times = 1);
// The DirectSound module and its enumerator, as LoadLibraryA / GetProcAddress find them.
void SetDirectSoundModuleAvailable(bool module, bool enumerator);

// The silent sink keeps what it mixes (44,100 Hz interleaved stereo) while capturing.
void CaptureSoundOutput(bool on);
std::vector<int16_t> TakeSoundOutput();
// Frames the capturing sink has rendered since capture began, as they stand: unlike TakeSoundOutput,
// this does not bring the sink up to the clock, so a test sees whether something else did.
uint64_t SoundFramesCaptured();

// Buffers made and not yet released (primary included).
int LiveSoundBuffers();
// Mix frames the buffer's conversion to the mix rate has converted so far (0 without one).
uint64_t SoundBufferFramesConverted(IDirectSoundBuffer* buffer);
// Releases everything, closes the output and clears every setting and fault.
void ResetSound();

}  // namespace plat::test
