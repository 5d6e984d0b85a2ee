// PENDING: stands in for the sound subsystem until it is built; delete this file then.
// Every call succeeds and does nothing: the library starts, pumps and ends without sound.
#include "orbel/sound/sound_system.h"

namespace orbel {

uint32_t InitSoundSystem() { return 0; }
int EndSoundSystem() { return 0; }
uint32_t StopCurrentMusic() { return 0; }
int ServiceAllStreamSounds() { return 0; }
int ServiceAllMusic() { return 0; }
uint32_t ProcessMidiMciNotify() { return 0; }

}  // namespace orbel
