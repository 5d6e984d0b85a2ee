// Test controls of the MCI sequencer stand-in. Only tests include this file; the library never does.
#pragma once

#include <cstdint>

#include "platform/mci/mci.h"

namespace plat::test {
// The port MCI_SEQ_STATUS_PORT reports (default MIDI_MAPPER).
void SetSequencerPort(UINT port);
// The sound font the sequencer sounds with: a path, "" for none (silent play), null for the default.
void SetMidiSoundFont(const char* path);
// The synthesiser library's name as loaded at run time (null: the default, libfluidsynth.so.3).
void SetMidiSynthLibrary(const char* name);
// Open sequencer devices; whether the open device sounds through the synthesiser.
int OpenSequencers();
bool SequencerAudible(MCIDEVICEID device);
// Closes every device (without notices) and clears the settings.
void ResetMci();
}  // namespace plat::test

namespace plat::mci::test_support {
void SetSoundFontOverride(const char* path);
void SetSynthLibraryOverride(const char* name);
}  // namespace plat::mci::test_support
