// Reads a standard MIDI file's chunks and events for the tempo map and the end of the longest track.
#include "platform/mci/midi_file.h"

#include <algorithm>
#include <cstring>

namespace plat::mci {
namespace {

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note (120 bpm)

uint32_t Be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t Le32(const uint8_t* p) { return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]; }

// A variable-length quantity (at most 4 bytes); false when it runs past the end.
bool ReadVarLen(const uint8_t*& p, const uint8_t* end, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (p >= end) return false;
    const uint8_t b = *p++;
    v = (v << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) {
      *value = v;
      return true;
    }
  }
  return false;
}

// Walks one track's events; adds its tempo changes and returns its last tick. False when damaged.
bool ReadTrack(const uint8_t* p, const uint8_t* end, MidiSong* song, uint64_t* lastTick) {
  uint64_t tick = 0;
  uint8_t running = 0;
  while (p < end) {
    uint32_t delta;
    if (!ReadVarLen(p, end, &delta) || p >= end) return false;
    tick += delta;
    uint8_t status = *p;
    if (status & 0x80) {
      ++p;
    } else {
      if (running == 0) return false;  // data byte with no status to run on
      status = running;
    }
    if (status == 0xFF) {
      if (p >= end) return false;
      const uint8_t type = *p++;
      uint32_t length;
      if (!ReadVarLen(p, end, &length) || length > static_cast<size_t>(end - p)) return false;
      if (type == 0x51 && length == 3) {
        const uint32_t tempo = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
        if (tempo > 0) song->tempos.emplace_back(tick, tempo);
      }
      p += length;
      if (type == 0x2F) break;  // end of track
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t length;
      if (!ReadVarLen(p, end, &length) || length > static_cast<size_t>(end - p)) return false;
      p += length;
    } else if (status >= 0xF0) {
      return false;  // system common / real-time messages do not belong in a file
    } else {
      running = status;
      const int dataBytes = (status & 0xE0) == 0xC0 ? 1 : 2;  // program change, channel pressure: 1
      if (end - p < dataBytes) return false;
      p += dataBytes;
    }
  }
  *lastTick = tick;
  return true;
}

}  // namespace

uint64_t MidiSong::TicksToMicroseconds(uint64_t ticks) const {
  if (division == 0) return static_cast<uint64_t>(static_cast<double>(ticks) * smpteTickMicroseconds);
  uint64_t time = 0;
  uint64_t at = 0;
  uint32_t tempo = kDefaultTempo;
  for (const auto& [tick, t] : tempos) {
    if (tick >= ticks) break;
    time += (tick - at) * tempo / static_cast<uint64_t>(division);
    at = tick;
    tempo = t;
  }
  return time + (ticks - at) * tempo / static_cast<uint64_t>(division);
}

uint64_t MidiSong::MicrosecondsToTicks(uint64_t microseconds) const {
  if (division == 0) return smpteTickMicroseconds > 0 ? static_cast<uint64_t>(microseconds / smpteTickMicroseconds) : 0;
  uint64_t time = 0;
  uint64_t at = 0;
  uint32_t tempo = kDefaultTempo;
  for (const auto& [tick, t] : tempos) {
    const uint64_t next = time + (tick - at) * tempo / static_cast<uint64_t>(division);
    if (next > microseconds) break;
    time = next;
    at = tick;
    tempo = t;
  }
  return at + (microseconds - time) * static_cast<uint64_t>(division) / tempo;
}

bool ParseMidiSong(const uint8_t* data, size_t size, MidiSong* song) {
  *song = MidiSong{};
  if (data == nullptr) return false;
  // "RIFF" size "RMID", then chunks of which "data" holds the file.
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "RMID", 4) == 0) {
    size_t at = 12;
    const uint8_t* inner = nullptr;
    size_t innerSize = 0;
    while (at + 8 <= size) {
      const uint32_t length = Le32(data + at + 4);
      if (std::memcmp(data + at, "data", 4) == 0) {
        inner = data + at + 8;
        innerSize = std::min<size_t>(length, size - at - 8);
        break;
      }
      if (length > size - at - 8) return false;
      at += 8 + length + (length & 1);
    }
    if (inner == nullptr) return false;
    data = inner;
    size = innerSize;
  }
  if (size < 14 || std::memcmp(data, "MThd", 4) != 0 || Be32(data + 4) < 6) return false;
  const uint32_t headerLength = Be32(data + 4);
  if (headerLength > size - 8) return false;
  const uint16_t format = Be16(data + 8);
  const uint16_t tracks = Be16(data + 10);
  const uint16_t division = Be16(data + 12);
  if (format > 1 || tracks == 0 || division == 0) return false;
  if (division & 0x8000) {
    const int framesPerSecond = -static_cast<int8_t>(division >> 8);
    const int ticksPerFrame = division & 0xFF;
    if (framesPerSecond <= 0 || ticksPerFrame == 0) return false;
    song->division = 0;
    song->smpteTickMicroseconds = 1e6 / (framesPerSecond * ticksPerFrame);
  } else {
    song->division = division;
  }

  size_t at = 8 + headerLength;
  uint64_t lastTick = 0;
  int found = 0;
  while (found < tracks && at + 8 <= size) {
    const uint32_t length = Be32(data + at + 4);
    if (length > size - at - 8) return false;
    if (std::memcmp(data + at, "MTrk", 4) == 0) {
      uint64_t trackEnd = 0;
      if (!ReadTrack(data + at + 8, data + at + 8 + length, song, &trackEnd)) return false;
      lastTick = std::max(lastTick, trackEnd);
      ++found;
    }
    at += 8 + length;  // unknown chunks are skipped
  }
  if (found == 0) return false;
  std::stable_sort(song->tempos.begin(), song->tempos.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  song->smf = data;
  song->smfSize = size;
  song->lengthMicroseconds = song->TicksToMicroseconds(lastTick);
  return true;
}

}  // namespace plat::mci
