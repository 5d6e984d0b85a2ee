// The DirectSound device object and its buffers over the software mixer.
#include "platform/dsound/dsound.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dsound/dsound_test_controls.h"
#include "platform/dsound/sound_mixer.h"
#include "platform/host/host.h"

namespace plat {

struct SoundDeviceState {
  int id = 0;
  bool initialized = false;
  DWORD level = 0;
  WAVEFORMATEX primaryFormat{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
  std::vector<IDirectSoundBuffer*> buffers;  // every buffer made and not yet released
};

struct SoundBufferState {
  std::shared_ptr<dsound::Voice> voice;
  SoundDeviceState* device = nullptr;  // null once the device object is released
};

namespace {

using dsound::Mixer;
using dsound::Voice;

constexpr DWORD kSecondaryFlags = DSBCAPS_STATIC | DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE |
                                  DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPAN | DSBCAPS_CTRLVOLUME |
                                  DSBCAPS_STICKYFOCUS | DSBCAPS_GLOBALFOCUS | DSBCAPS_GETCURRENTPOSITION2;
// The write cursor runs this far ahead of the play cursor (the mix's lead), in milliseconds.
constexpr DWORD kWriteLeadMs = 15;

struct Settings {
  DSCAPS caps = test::DefaultSoundCaps();
  bool failCoCreate = false;
  bool failInitialize = false;
  bool failLevel = false;
  DWORD failCreateFlags = 0;
  int failCreateTimes = 0;
  int duplicatesLeft = -1;  // -1: no limit
  int failLockTimes = 0;
  bool moduleAvailable = true;
  bool enumeratorAvailable = true;
  int nextDeviceId = 1;
  int liveBuffers = 0;
  std::vector<IDirectSound*> devices;
  std::vector<IDirectSoundBuffer*> objects;  // every buffer object not yet released by its holder
};

Settings& S() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* s = new Settings;
  return *s;
}

// The module handle LoadLibraryA gives for "DSOUND.DLL": any unique address serves.
ModuleObject* DsoundModule() {
  static char tag;
  return reinterpret_cast<ModuleObject*>(&tag);
}

bool EqualsNoCase(const char* a, const char* b) {
  if (a == nullptr) return false;
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
  }
  return *a == *b;
}

bool ValidPcm(const WAVEFORMATEX* f) {
  if (f == nullptr || f->wFormatTag != WAVE_FORMAT_PCM) return false;
  if (f->nChannels < 1 || f->nChannels > 2) return false;
  if (f->wBitsPerSample != 8 && f->wBitsPerSample != 16) return false;
  if (f->nSamplesPerSec < DSBFREQUENCY_MIN || f->nSamplesPerSec > DSBFREQUENCY_MAX) return false;
  return f->nBlockAlign == f->nChannels * f->wBitsPerSample / 8;
}

IDirectSoundBuffer* MakeBuffer(SoundDeviceState* device, std::shared_ptr<Voice> voice) {
  auto* buffer = new IDirectSoundBuffer;
  buffer->state_ = new SoundBufferState{std::move(voice), device};
  device->buffers.push_back(buffer);
  S().objects.push_back(buffer);
  ++S().liveBuffers;
  Mixer::Get().Add(buffer->state_->voice);
  return buffer;
}

// The voice of a usable buffer, or null (released device).
Voice* VoiceOf(IDirectSoundBuffer* b) {
  if (b->state_ == nullptr || b->state_->device == nullptr) return nullptr;
  return b->state_->voice.get();
}

}  // namespace

// ---- Buffers ------------------------------------------------------------------------------------

HRESULT IDirectSoundBuffer::GetCurrentPosition(DWORD* play, DWORD* write) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if (v->primary) {
    if (play != nullptr) *play = 0;
    if (write != nullptr) *write = 0;
    return DS_OK;
  }
  const DWORD block = v->format.nBlockAlign;
  const auto size = static_cast<DWORD>(v->data->size());
  const DWORD frame = Mixer::Get().Inspect(*v, [](Voice& x) { return static_cast<DWORD>(x.position >> 32); });
  const DWORD playBytes = frame * block;
  if (play != nullptr) *play = playBytes;
  if (write != nullptr) {
    const DWORD lead = v->format.nAvgBytesPerSec * kWriteLeadMs / 1000 / block * block;
    *write = size == 0 ? 0 : (playBytes + lead) % size;
  }
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetStatus(DWORD* status) {
  Voice* v = VoiceOf(this);
  if (v == nullptr || status == nullptr) return DSERR_INVALIDPARAM;
  *status = Mixer::Get().Inspect(*v, [](Voice& x) {
    return x.playing ? DSBSTATUS_PLAYING | (x.looping ? DSBSTATUS_LOOPING : 0) : 0;
  });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Lock(DWORD offset, DWORD bytes, void** region1, DWORD* bytes1, void** region2,
                                 DWORD* bytes2, DWORD flags) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if (v->primary) return DSERR_PRIOLEVELNEEDED;
  if (region1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
  if (S().failLockTimes > 0) {
    --S().failLockTimes;
    return DSERR_BUFFERLOST;
  }
  const auto size = static_cast<DWORD>(v->data->size());
  if ((flags & DSBLOCK_FROMWRITECURSOR) != 0) GetCurrentPosition(nullptr, &offset);
  if ((flags & DSBLOCK_ENTIREBUFFER) != 0) bytes = size;
  if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
  uint8_t* base = v->data->data();
  const DWORD first = std::min(bytes, size - offset);
  *region1 = base + offset;
  *bytes1 = first;
  const DWORD rest = bytes - first;
  if (region2 != nullptr) *region2 = rest > 0 ? base : nullptr;
  if (bytes2 != nullptr) *bytes2 = rest;
  if (rest > 0 && (region2 == nullptr || bytes2 == nullptr)) return DSERR_INVALIDPARAM;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Unlock(void* region1, DWORD bytes1, void* region2, DWORD bytes2) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if (region1 == nullptr) return DSERR_INVALIDPARAM;
  // The conversions' blocks the written regions reach are converted again when the mix next reads
  // them; a pointer that is not into the buffer marks nothing.
  if (v->preparedSet != nullptr) {
    const uintptr_t base = reinterpret_cast<uintptr_t>(v->data->data());
    const uintptr_t size = v->data->size();
    const DWORD block = v->format.nBlockAlign;
    for (const auto& [region, bytes] : {std::pair{region1, bytes1}, std::pair{region2, bytes2}}) {
      const uintptr_t at = reinterpret_cast<uintptr_t>(region);
      if (region == nullptr || bytes == 0 || at < base || at - base >= size) continue;
      const uintptr_t offset = at - base;
      const uintptr_t end = offset + std::min<uintptr_t>(bytes, size - offset);
      const auto first = static_cast<uint32_t>(offset / block);
      v->preparedSet->Refresh(*v->data, v->format, first, static_cast<uint32_t>((end + block - 1) / block) - first);
    }
  }
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Play(DWORD reserved, DWORD priority, DWORD flags) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if (reserved != 0 || priority != 0) return DSERR_INVALIDPARAM;
  if (v->primary) return DS_OK;  // the primary buffer always runs while anything plays
  const bool looping = (flags & DSBPLAY_LOOPING) != 0;
  // A buffer resampled in the mix since its rate changed while it played takes a conversion again
  // when it starts afresh, if there is one for its rate.
  const uint32_t rate = Mixer::Get().Inspect(*v, [](Voice& x) { return x.Rate(); });
  std::shared_ptr<dsound::PreparedSound> prepared = v->preparedSet != nullptr ? v->preparedSet->Find(rate) : nullptr;
  Mixer::Get().Modify(*v, false, [looping, &prepared](Voice& x) {
    if (!x.playing) {
      ++x.generation;  // a fresh start: the mix picks the cursor up anew
      if (x.prepared == nullptr && prepared != nullptr && prepared->rate == x.Rate()) x.prepared = std::move(prepared);
    }
    x.playing = true;
    x.looping = looping;
  });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::Stop() {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  Mixer::Get().Modify(*v, true, [](Voice& x) { x.playing = false; });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetCurrentPosition(DWORD position) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if (v->primary) return DSERR_INVALIDCALL;
  if (position >= v->data->size()) return DSERR_INVALIDPARAM;
  const uint64_t frame = position / v->format.nBlockAlign;
  Mixer::Get().Modify(*v, true, [frame](Voice& x) { x.position = frame << 32; });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetFormat(const WAVEFORMATEX* format) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if (!v->primary) return DSERR_INVALIDCALL;
  if (state_->device->level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
  if (!ValidPcm(format)) return DSERR_BADFORMAT;
  state_->device->primaryFormat = *format;
  state_->device->primaryFormat.cbSize = 0;
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetFormat(WAVEFORMATEX* format, DWORD size, DWORD* written) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  const WAVEFORMATEX& f = v->primary ? state_->device->primaryFormat : v->format;
  if (format != nullptr) {
    if (size < sizeof(WAVEFORMATEX)) return DSERR_INVALIDPARAM;
    *format = f;
  }
  if (written != nullptr) *written = sizeof(WAVEFORMATEX);
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetVolume(LONG volume) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if ((v->flags & DSBCAPS_CTRLVOLUME) == 0) return DSERR_CONTROLUNAVAIL;
  if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
  Mixer::Get().Modify(*v, false, [volume](Voice& x) { x.volume = volume; });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetVolume(LONG* volume) {
  Voice* v = VoiceOf(this);
  if (v == nullptr || volume == nullptr) return DSERR_INVALIDPARAM;
  if ((v->flags & DSBCAPS_CTRLVOLUME) == 0) return DSERR_CONTROLUNAVAIL;
  *volume = Mixer::Get().Inspect(*v, [](Voice& x) { return x.volume; });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetPan(LONG pan) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if ((v->flags & DSBCAPS_CTRLPAN) == 0) return DSERR_CONTROLUNAVAIL;
  if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
  Mixer::Get().Modify(*v, false, [pan](Voice& x) { x.pan = pan; });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetPan(LONG* pan) {
  Voice* v = VoiceOf(this);
  if (v == nullptr || pan == nullptr) return DSERR_INVALIDPARAM;
  if ((v->flags & DSBCAPS_CTRLPAN) == 0) return DSERR_CONTROLUNAVAIL;
  *pan = Mixer::Get().Inspect(*v, [](Voice& x) { return x.pan; });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::SetFrequency(DWORD frequency) {
  Voice* v = VoiceOf(this);
  if (v == nullptr) return DSERR_INVALIDCALL;
  if ((v->flags & DSBCAPS_CTRLFREQUENCY) == 0) return DSERR_CONTROLUNAVAIL;
  if (frequency != DSBFREQUENCY_ORIGINAL && (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX)) {
    return DSERR_INVALIDPARAM;
  }
  // A stopped buffer takes a conversion to the new rate (one for each rate it is given, converted as
  // it is mixed); one that plays takes a conversion it already has, else the mix resamples it from
  // the cursor on.
  const uint32_t rate = frequency != DSBFREQUENCY_ORIGINAL ? frequency : v->format.nSamplesPerSec;
  const bool playing = Mixer::Get().Inspect(*v, [](Voice& x) { return x.playing; });
  std::shared_ptr<dsound::PreparedSound> prepared;
  if (v->preparedSet != nullptr && rate != dsound::kMixRate) {
    prepared = playing ? v->preparedSet->Find(rate) : v->preparedSet->ForRate(rate, *v->data, v->format);
  }
  Mixer::Get().Modify(*v, true, [frequency, &prepared](Voice& x) {
    x.frequency = frequency;
    x.prepared = std::move(prepared);
  });
  return DS_OK;
}

HRESULT IDirectSoundBuffer::GetFrequency(DWORD* frequency) {
  Voice* v = VoiceOf(this);
  if (v == nullptr || frequency == nullptr) return DSERR_INVALIDPARAM;
  if ((v->flags & DSBCAPS_CTRLFREQUENCY) == 0) return DSERR_CONTROLUNAVAIL;
  *frequency = Mixer::Get().Inspect(*v, [](Voice& x) { return x.Rate(); });
  return DS_OK;
}

ULONG IDirectSoundBuffer::Release() {
  if (state_ != nullptr) {
    if (state_->device != nullptr) {
      auto& list = state_->device->buffers;
      list.erase(std::remove(list.begin(), list.end(), this), list.end());
      Mixer::Get().Remove(state_->voice);
      --S().liveBuffers;
    }
    delete state_;
  }
  auto& objects = S().objects;
  objects.erase(std::remove(objects.begin(), objects.end(), this), objects.end());
  delete this;
  return 0;
}

// ---- The device object --------------------------------------------------------------------------

HRESULT CoCreateDirectSound(IDirectSound** object) {
  if (object == nullptr) return DSERR_INVALIDPARAM;
  *object = nullptr;
  if (S().failCoCreate) {
    S().failCoCreate = false;
    return E_FAIL;
  }
  auto* ds = new IDirectSound;
  ds->state_ = new SoundDeviceState;
  ds->state_->id = S().nextDeviceId++;
  S().devices.push_back(ds);
  *object = ds;
  return S_OK;
}

HRESULT IDirectSound::Initialize(const GUID*) {
  if (state_->initialized) return DSERR_ALREADYINITIALIZED;
  if (S().failInitialize) {
    S().failInitialize = false;
    return DSERR_NODRIVER;
  }
  state_->initialized = true;
  Mixer::Get().Open();
  return DS_OK;
}

HRESULT IDirectSound::SetCooperativeLevel(HWND, DWORD level) {
  if (!state_->initialized) return DSERR_UNINITIALIZED;
  if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DSERR_INVALIDPARAM;
  if (S().failLevel) {
    S().failLevel = false;
    return DSERR_ALLOCATED;
  }
  state_->level = level;
  return DS_OK;
}

HRESULT IDirectSound::CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, void* outer) {
  if (buffer == nullptr) return DSERR_INVALIDPARAM;
  *buffer = nullptr;
  if (!state_->initialized) return DSERR_UNINITIALIZED;
  if (desc == nullptr || desc->dwSize != sizeof(DSBUFFERDESC) || outer != nullptr) return DSERR_INVALIDPARAM;
  if (S().failCreateTimes > 0 && desc->dwFlags == S().failCreateFlags) {
    --S().failCreateTimes;
    return DSERR_OUTOFMEMORY;
  }
  auto voice = std::make_shared<Voice>();
  voice->owner = state_->id;
  voice->flags = desc->dwFlags;
  if ((desc->dwFlags & DSBCAPS_PRIMARYBUFFER) != 0) {
    if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr) return DSERR_INVALIDPARAM;
    voice->primary = true;
    voice->format = state_->primaryFormat;
    voice->data = std::make_shared<std::vector<uint8_t>>(size_t{state_->primaryFormat.nAvgBytesPerSec} / 10);
  } else {
    if ((desc->dwFlags & ~kSecondaryFlags) != 0) return DSERR_INVALIDPARAM;
    if (!ValidPcm(desc->lpwfxFormat)) return DSERR_BADFORMAT;
    if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) return DSERR_INVALIDPARAM;
    voice->format = *desc->lpwfxFormat;
    voice->format.cbSize = 0;
    // The size is cut to whole frames, as the device's cursors only ever sit on frame boundaries.
    const DWORD bytes = desc->dwBufferBytes / voice->format.nBlockAlign * voice->format.nBlockAlign;
    if (bytes == 0) return DSERR_INVALIDPARAM;
    const uint8_t silence = voice->format.wBitsPerSample == 8 ? 0x80 : 0x00;
    try {
      voice->data = std::make_shared<std::vector<uint8_t>>(bytes, silence);
      voice->preparedSet = std::make_shared<dsound::PreparedSet>();
    } catch (const std::bad_alloc&) {
      return DSERR_OUTOFMEMORY;
    }
    // Without room for its conversion the buffer is resampled in the mix.
    if (voice->format.nSamplesPerSec != dsound::kMixRate) {
      voice->prepared = voice->preparedSet->ForRate(voice->format.nSamplesPerSec, *voice->data, voice->format, true);
    }
  }
  *buffer = MakeBuffer(state_, std::move(voice));
  return DS_OK;
}

HRESULT IDirectSound::DuplicateSoundBuffer(IDirectSoundBuffer* source, IDirectSoundBuffer** duplicate) {
  if (duplicate == nullptr) return DSERR_INVALIDPARAM;
  *duplicate = nullptr;
  if (!state_->initialized) return DSERR_UNINITIALIZED;
  if (source == nullptr || VoiceOf(source) == nullptr) return DSERR_INVALIDPARAM;
  const Voice& from = *source->state_->voice;
  if (from.primary) return DSERR_INVALIDCALL;
  if (S().duplicatesLeft == 0) return DSERR_OUTOFMEMORY;
  if (S().duplicatesLeft > 0) --S().duplicatesLeft;
  auto voice = std::make_shared<Voice>();
  voice->data = from.data;
  voice->preparedSet = from.preparedSet;
  voice->format = from.format;
  voice->flags = from.flags;
  voice->owner = state_->id;
  Mixer::Get().Inspect(*source->state_->voice, [&voice](Voice& x) {
    voice->volume = x.volume;
    voice->pan = x.pan;
    voice->frequency = x.frequency;
    voice->prepared = x.prepared;
  });
  *duplicate = MakeBuffer(state_, std::move(voice));
  return DS_OK;
}

HRESULT IDirectSound::GetCaps(DSCAPS* caps) {
  if (caps == nullptr || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
  if (!state_->initialized) return DSERR_UNINITIALIZED;
  *caps = S().caps;
  caps->dwSize = sizeof(DSCAPS);
  return DS_OK;
}

ULONG IDirectSound::Release() {
  // Buffers still held by the caller stay valid objects but go silent; their calls then fail.
  for (IDirectSoundBuffer* b : state_->buffers) {
    Mixer::Get().Remove(b->state_->voice);
    b->state_->device = nullptr;
    --S().liveBuffers;
  }
  if (state_->initialized) Mixer::Get().Close();
  auto& devices = S().devices;
  devices.erase(std::remove(devices.begin(), devices.end(), this), devices.end());
  delete state_;
  delete this;
  return 0;
}

// ---- Enumeration and the module -----------------------------------------------------------------

HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, void* context) {
  if (callback == nullptr) return DSERR_INVALIDPARAM;
  // The primary driver comes first (no GUID, no module), then the one real device.
  if (callback(nullptr, "Primary Sound Driver", "", context) == FALSE) return DS_OK;
  static GUID device{0x4F52424Cu, 0x4453, 0x0001, {'s', 'o', 'f', 't', 'm', 'i', 'x', 0}};
  std::string name = host::Current().AudioDeviceName();
  const std::string description = "Orbel software mixer (" + (name.empty() ? std::string("silent") : name) + ")";
  callback(&device, description.c_str(), "orbel-dsound", context);
  return DS_OK;
}

HMODULE LoadLibraryA(const char* name) {
  if (!S().moduleAvailable || !EqualsNoCase(name, "DSOUND.DLL")) return nullptr;
  return DsoundModule();
}

void* GetProcAddress(HMODULE module, const char* name) {
  if (module != DsoundModule() || name == nullptr || !S().enumeratorAvailable) return nullptr;
  if (std::strcmp(name, "DirectSoundEnumerateA") != 0) return nullptr;
  return reinterpret_cast<void*>(&DirectSoundEnumerateA);
}

BOOL FreeLibrary(HMODULE module) { return module == DsoundModule() ? TRUE : FALSE; }

// ---- Test controls ------------------------------------------------------------------------------

namespace test {

DSCAPS DefaultSoundCaps() {
  DSCAPS caps{};
  caps.dwSize = sizeof(DSCAPS);
  caps.dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT | DSCAPS_PRIMARY16BIT |
                 DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARYSTEREO |
                 DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
  caps.dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
  caps.dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
  caps.dwPrimaryBuffers = 1;
  return caps;
}

void SetSoundCaps(const DSCAPS& caps) { S().caps = caps; }
void FailCoCreateDirectSound() { S().failCoCreate = true; }
void FailDirectSoundInitialize() { S().failInitialize = true; }
void FailSoundCooperativeLevel() { S().failLevel = true; }
void FailCreateSoundBuffer(DWORD flags, int times) {
  S().failCreateFlags = flags;
  S().failCreateTimes = times;
}
void FailDuplicateSoundBufferAfter(int successes) { S().duplicatesLeft = successes; }
void FailSoundBufferLock(int times) { S().failLockTimes = times; }
void SetDirectSoundModuleAvailable(bool module, bool enumerator) {
  S().moduleAvailable = module;
  S().enumeratorAvailable = enumerator;
}
void CaptureSoundOutput(bool on) { dsound::Mixer::Get().SetCapture(on); }
std::vector<int16_t> TakeSoundOutput() { return dsound::Mixer::Get().TakeCapture(); }
uint64_t SoundFramesCaptured() { return dsound::Mixer::Get().CapturedFrames(); }
int LiveSoundBuffers() { return S().liveBuffers; }

uint64_t SoundBufferFramesConverted(IDirectSoundBuffer* buffer) {
  Voice* v = VoiceOf(buffer);
  if (v == nullptr) return 0;
  const auto prepared = Mixer::Get().Inspect(*v, [](Voice& x) { return x.prepared; });
  return prepared != nullptr ? prepared->FramesConverted() : 0;
}

void ResetSound() {
  // Objects the test left behind are released as a program's end would.
  while (!S().devices.empty()) S().devices.back()->Release();
  while (!S().objects.empty()) S().objects.back()->Release();
  dsound::Mixer::Get().Reset();
  const int nextId = S().nextDeviceId;
  S() = Settings{};
  S().nextDeviceId = nextId;
}

}  // namespace test
}  // namespace plat
