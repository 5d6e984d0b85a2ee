// The sequencer device: open, status, play with notify, stop, close. The end of a song is found by a
// thread timer (10 ms) of the thread that played, which posts MM_MCINOTIFY once the song's length has
// passed on the plat clock. Without a host audio device the same timer brings the mix up to the clock,
// so the synthesiser is pulled as the song plays; before every play or stop the mix renders what is
// due, so the change takes effect at its own time and not at the start of a span not yet rendered.
#include "platform/mci/mci.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <vector>

#include "platform/dsound/sound_mixer.h"
#include "platform/mci/mci_test_controls.h"
#include "platform/mci/midi_file.h"
#include "platform/mci/midi_synth.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/user/message_queue.h"

namespace plat {
namespace {

using mci::MidiSong;
using mci::MidiSynth;

constexpr UINT kEndCheckMs = 10;

struct Sequencer {
  std::vector<uint8_t> file;
  MidiSong song;
  std::shared_ptr<MidiSynth> synth;
  bool playing = false;
  uint64_t startMicroseconds = 0;  // clock time at which the song's position 0 was (or would be)
  uint64_t endMicroseconds = 0;    // where this play stops (the song's end, or MCI_TO)
  HWND notifyWindow = nullptr;
  bool notify = false;
  uint64_t pausedAt = 0;  // position kept by MCI_STOP
};

struct State {
  std::map<MCIDEVICEID, Sequencer> devices;
  MCIDEVICEID nextId = 1;
  UINT port = MIDI_MAPPER;
  UINT_PTR timer = 0;
};

State& S() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* s = new State;
  return *s;
}

bool EqualsNoCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>* out) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == InvalidHandleValue()) return false;
  const DWORD size = GetFileSize(file, nullptr);
  bool ok = size != 0xFFFFFFFFu && size <= (64u << 20);  // a MIDI file is small; refuse anything huge
  if (ok) {
    out->resize(size);
    DWORD read = 0;
    ok = size == 0 || (ReadFile(file, out->data(), size, &read, nullptr) != 0 && read == size);
  }
  CloseHandle(file);
  return ok;
}

uint64_t PositionMicroseconds(const Sequencer& s) {
  if (!s.playing) return s.pausedAt;
  return std::min(clock::NowMicroseconds() - s.startMicroseconds, s.song.lengthMicroseconds);
}

// The synthesiser takes a request at the start of the next span it renders: render what is due first.
void PlaySynth(Sequencer& s, uint64_t fromTick) {
  if (!s.synth) return;
  dsound::Mixer::Get().CatchUp();
  s.synth->Play(fromTick);
}

void StopSynth(Sequencer& s) {
  if (!s.synth) return;
  dsound::Mixer::Get().CatchUp();
  s.synth->Stop();
}

void StopTimerIfIdle();

void CheckEnds(HWND, UINT, UINT_PTR, DWORD) {
  dsound::Mixer::Get().CatchUp();
  const uint64_t now = clock::NowMicroseconds();
  for (auto& [id, s] : S().devices) {
    if (!s.playing || now < s.endMicroseconds) continue;
    s.playing = false;
    s.pausedAt = std::min(s.endMicroseconds - s.startMicroseconds, s.song.lengthMicroseconds);
    StopSynth(s);
    if (s.notify) {
      s.notify = false;
      PostMessageA(s.notifyWindow, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(id));
    }
  }
  StopTimerIfIdle();
}

void StopTimerIfIdle() {
  const bool any = std::any_of(S().devices.begin(), S().devices.end(), [](const auto& d) { return d.second.playing; });
  if (!any && S().timer != 0) {
    KillTimer(nullptr, S().timer);
    S().timer = 0;
  }
}

MCIERROR Open(DWORD_PTR flags, MCI_OPEN_PARMSA* p) {
  if (p == nullptr) return MCIERR_MISSING_PARAMETER;
  if ((flags & MCI_OPEN_TYPE) == 0 || (flags & MCI_OPEN_TYPE_ID) != 0 || p->lpstrDeviceType == nullptr ||
      !EqualsNoCase(p->lpstrDeviceType, "sequencer")) {
    return MCIERR_INVALID_DEVICE_NAME;
  }
  if ((flags & MCI_OPEN_ELEMENT) == 0 || p->lpstrElementName == nullptr) return MCIERR_MISSING_PARAMETER;
  Sequencer s;
  if (!ReadWholeFile(p->lpstrElementName, &s.file)) return MCIERR_FILE_NOT_FOUND;
  if (!mci::ParseMidiSong(s.file.data(), s.file.size(), &s.song)) return MCIERR_INVALID_FILE;
  s.synth = MidiSynth::Create(s.song);
  if (s.synth) dsound::Mixer::Get().SetExtraSource(s.synth);
  const MCIDEVICEID id = S().nextId++;
  S().devices.emplace(id, std::move(s));
  p->wDeviceID = id;
  return 0;
}

MCIERROR Status(Sequencer& s, DWORD_PTR flags, MCI_STATUS_PARMS* p) {
  if (p == nullptr || (flags & MCI_STATUS_ITEM) == 0) return MCIERR_MISSING_PARAMETER;
  switch (p->dwItem) {
    case MCI_SEQ_STATUS_PORT:
      p->dwReturn = S().port;
      return 0;
    case MCI_STATUS_LENGTH:
      p->dwReturn = static_cast<DWORD_PTR>(s.song.lengthMicroseconds / 1000);
      return 0;
    case MCI_STATUS_POSITION:
      p->dwReturn = static_cast<DWORD_PTR>(PositionMicroseconds(s) / 1000);
      return 0;
    case MCI_STATUS_MODE:
      p->dwReturn = s.playing ? MCI_MODE_PLAY : MCI_MODE_STOP;
      return 0;
    default:
      return MCIERR_UNSUPPORTED_FUNCTION;
  }
}

MCIERROR Play(MCIDEVICEID id, Sequencer& s, DWORD_PTR flags, const MCI_PLAY_PARMS* p) {
  if ((flags & (MCI_NOTIFY | MCI_FROM | MCI_TO)) != 0 && p == nullptr) return MCIERR_MISSING_PARAMETER;
  const uint64_t length = s.song.lengthMicroseconds;
  uint64_t from = (flags & MCI_FROM) != 0 ? uint64_t{p->dwFrom} * 1000 : PositionMicroseconds(s);
  if (from >= length) from = (flags & MCI_FROM) != 0 ? length : 0;  // a finished song plays again
  uint64_t to = (flags & MCI_TO) != 0 ? std::min<uint64_t>(uint64_t{p->dwTo} * 1000, length) : length;
  if (to < from) return MCIERR_UNSUPPORTED_FUNCTION;
  const uint64_t now = clock::NowMicroseconds();
  s.playing = true;
  s.startMicroseconds = now - from;
  s.endMicroseconds = now + (to - from);
  s.notify = (flags & MCI_NOTIFY) != 0;
  s.notifyWindow = s.notify ? reinterpret_cast<HWND>(p->dwCallback) : nullptr;
  PlaySynth(s, s.song.MicrosecondsToTicks(from));
  if (S().timer == 0) S().timer = SetTimer(nullptr, 0, kEndCheckMs, CheckEnds);
  (void)id;
  return 0;
}

}  // namespace

MCIERROR mciSendCommandA(MCIDEVICEID device, UINT message, DWORD_PTR flags, DWORD_PTR param) {
  if (message == MCI_OPEN) return Open(flags, reinterpret_cast<MCI_OPEN_PARMSA*>(param));
  auto it = S().devices.find(device);
  if (it == S().devices.end()) return MCIERR_INVALID_DEVICE_ID;
  Sequencer& s = it->second;
  switch (message) {
    case MCI_STATUS:
      return Status(s, flags, reinterpret_cast<MCI_STATUS_PARMS*>(param));
    case MCI_PLAY:
      return Play(device, s, flags, reinterpret_cast<const MCI_PLAY_PARMS*>(param));
    case MCI_STOP:
      s.pausedAt = PositionMicroseconds(s);
      s.playing = false;
      s.notify = false;
      StopSynth(s);
      StopTimerIfIdle();
      return 0;
    case MCI_CLOSE:
      if (s.synth) {
        StopSynth(s);
        dsound::Mixer::Get().SetExtraSource(nullptr);
      }
      S().devices.erase(it);
      StopTimerIfIdle();
      return 0;
    default:
      return MCIERR_UNRECOGNIZED_COMMAND;
  }
}

namespace test {
void SetSequencerPort(UINT port) { S().port = port; }
void SetMidiSoundFont(const char* path) { mci::test_support::SetSoundFontOverride(path); }
void SetMidiSynthLibrary(const char* name) { mci::test_support::SetSynthLibraryOverride(name); }
int OpenSequencers() { return static_cast<int>(S().devices.size()); }
bool SequencerAudible(MCIDEVICEID device) {
  auto it = S().devices.find(device);
  return it != S().devices.end() && it->second.synth != nullptr;
}
void ResetMci() {
  for (auto& [id, s] : S().devices) {
    if (s.synth) s.synth->Stop();
  }
  if (!S().devices.empty()) dsound::Mixer::Get().SetExtraSource(nullptr);
  S().devices.clear();
  StopTimerIfIdle();
  S().port = MIDI_MAPPER;
  mci::test_support::SetSoundFontOverride(nullptr);
  mci::test_support::SetSynthLibraryOverride(nullptr);
}
}  // namespace test

}  // namespace plat
