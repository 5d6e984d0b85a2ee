// Standard MIDI files: just enough reading to know a song's length. Format 0 and 1 ("MThd"), bare or
// inside a "RIFF....RMID" wrapper; tempo changes from any track; ticks per quarter note or SMPTE time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat::mci {

struct MidiSong {
  uint64_t lengthMicroseconds = 0;  // up to the last track's end
  const uint8_t* smf = nullptr;     // the standard MIDI file inside the data (after a RIFF wrapper)
  size_t smfSize = 0;
  // Tempo map: (tick, microseconds per quarter note) from tick 0 on; used with `division`.
  std::vector<std::pair<uint64_t, uint32_t>> tempos;
  int division = 480;           // ticks per quarter note (SMPTE time: 0)
  double smpteTickMicroseconds = 0;  // SMPTE time: microseconds per tick

  // Ticks <-> time through the tempo map.
  uint64_t TicksToMicroseconds(uint64_t ticks) const;
  uint64_t MicrosecondsToTicks(uint64_t microseconds) const;
};

// False for anything that is not a well-formed standard MIDI file of format 0 or 1.
bool ParseMidiSong(const uint8_t* data, size_t size, MidiSong* song);

}  // namespace plat::mci
