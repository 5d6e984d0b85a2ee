// The sound module's one state block.
#include "orbel/sound/sound_state.h"

namespace orbel {

SoundSystemState SoundState;

}  // namespace orbel
