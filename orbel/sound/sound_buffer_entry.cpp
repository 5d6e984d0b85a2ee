// The buffer entries of a sound handle: each wraps one DirectSound buffer, or, with the software-mix
// switch on, a plain memory block with its own play state (the mix itself is not built: nothing turns
// that switch on, and such a block is never heard).
#include <algorithm>
#include <cstring>

#include "orbel/core/memory.h"
#include "orbel/sound/sound_handle.h"

namespace orbel {

namespace {

constexpr const char* kTag = "sound";

bool Ok(plat::HRESULT hr) { return plat::SUCCEEDED(hr); }

}  // namespace

int CreateSoundBufferByDesc(SoundBufferEntry* entry, const plat::DSBUFFERDESC& desc) {
  if (entry->created) return -1;
  if (SoundState.softwareMix) {
    entry->memory = MemCalloc(desc.dwBufferBytes ? desc.dwBufferBytes : 1, kTag, __LINE__);
    if (entry->memory == nullptr) return -1;
    entry->format = *desc.lpwfxFormat;
    entry->length = static_cast<int32_t>(desc.dwBufferBytes / std::max<uint16_t>(entry->format.nBlockAlign, 1));
  } else {
    plat::IDirectSoundBuffer* buffer = nullptr;
    if (!Ok(SoundState.directSound->CreateSoundBuffer(&desc, &buffer, nullptr))) return -1;
    entry->buffer = buffer;
    if (desc.lpwfxFormat != nullptr) entry->format = *desc.lpwfxFormat;
  }
  entry->created = 1;
  entry->playing = 0;
  entry->position = 0;
  entry->loop = 0;
  entry->volume = 255;
  entry->pan = -1;
  return 0;
}

int DuplicateSoundBufferEntry(SoundBufferEntry* entry, const SoundBufferEntry* source) {
  if (entry->created || !source->created) return -1;
  if (SoundState.softwareMix) {
    const uint32_t bytes = static_cast<uint32_t>(source->length) * std::max<uint16_t>(source->format.nBlockAlign, 1);
    void* memory = MemAlloc(bytes ? bytes : 1, kTag, __LINE__);
    if (memory == nullptr) return -1;
    std::memcpy(memory, source->memory, bytes);
    *entry = *source;
    entry->memory = memory;
  } else {
    plat::IDirectSoundBuffer* buffer = nullptr;
    if (!Ok(SoundState.directSound->DuplicateSoundBuffer(source->buffer, &buffer))) return -1;
    *entry = *source;
    entry->buffer = buffer;
  }
  entry->playing = 0;
  entry->position = 0;
  return 0;
}

int ReleaseSoundBufferEntry(SoundBufferEntry* entry) {
  if (!entry->created) return -1;
  if (entry->buffer != nullptr) entry->buffer->Release();
  MemFree(entry->memory);
  std::memset(entry, 0, sizeof *entry);
  return 0;
}

int SoundBufferPlay(SoundBufferEntry* entry, int loop) {
  if (!entry->created) return -1;
  if (entry->buffer == nullptr) {
    entry->playing = 1;
    entry->loop = loop;
    return 0;
  }
  return Ok(entry->buffer->Play(0, 0, loop ? plat::DSBPLAY_LOOPING : 0)) ? 0 : -1;
}

int SoundBufferStop(SoundBufferEntry* entry) {
  if (!entry->created) return -1;
  if (entry->buffer == nullptr) {
    entry->playing = 0;
    return 0;
  }
  return Ok(entry->buffer->Stop()) ? 0 : -1;
}

int SoundBufferGetStatus(SoundBufferEntry* entry, uint32_t* status) {
  if (!entry->created) return -1;
  if (entry->buffer == nullptr) {
    *status = entry->playing ? plat::DSBSTATUS_PLAYING : 0;
    return 0;
  }
  plat::DWORD s = 0;
  if (!Ok(entry->buffer->GetStatus(&s))) return -1;
  *status = s;
  return 0;
}

int SoundBufferLock(SoundBufferEntry* entry, uint32_t offset, uint32_t bytes, void** region1, uint32_t* bytes1,
                    void** region2, uint32_t* bytes2) {
  if (!entry->created) return -1;
  if (entry->buffer == nullptr) {
    const uint32_t size = static_cast<uint32_t>(entry->length) * std::max<uint16_t>(entry->format.nBlockAlign, 1);
    if (offset >= size || bytes > size) return -1;
    auto* block = static_cast<uint8_t*>(entry->memory);
    *region1 = block + offset;
    *bytes1 = std::min(bytes, size - offset);
    const uint32_t rest = bytes - *bytes1;
    if (region2 != nullptr) *region2 = rest ? block : nullptr;
    if (bytes2 != nullptr) *bytes2 = rest;
    return 0;
  }
  plat::DWORD n1 = 0, n2 = 0;
  void* p2 = nullptr;
  if (!Ok(entry->buffer->Lock(offset, bytes, region1, &n1, &p2, &n2, 0))) return -1;
  *bytes1 = n1;
  if (region2 != nullptr) *region2 = p2;
  if (bytes2 != nullptr) *bytes2 = n2;
  return 0;
}

int SoundBufferUnlock(SoundBufferEntry* entry, void* region1, uint32_t bytes1, void* region2, uint32_t bytes2) {
  if (!entry->created) return -1;
  if (entry->buffer == nullptr) return 0;
  return Ok(entry->buffer->Unlock(region1, bytes1, region2, bytes2)) ? 0 : -1;
}

int SoundBufferSetCurrentPosition(SoundBufferEntry* entry, uint32_t position) {
  if (!entry->created) return -1;
  if (entry->buffer == nullptr) {
    entry->position = static_cast<int32_t>(position / std::max<uint16_t>(entry->format.nBlockAlign, 1));
    return 0;
  }
  return Ok(entry->buffer->SetCurrentPosition(position)) ? 0 : -1;
}

int SoundBufferGetCurrentPosition(SoundBufferEntry* entry, uint32_t* play) {
  if (!entry->created) return -1;
  if (entry->buffer == nullptr) {
    *play = static_cast<uint32_t>(entry->position) * entry->format.nBlockAlign;
    return 0;
  }
  plat::DWORD p = 0, w = 0;
  if (!Ok(entry->buffer->GetCurrentPosition(&p, &w))) return -1;
  *play = p;
  return 0;
}

}  // namespace orbel
