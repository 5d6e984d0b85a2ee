// DirectSound: a software audio device. Buffers are byte rings with their own format, play state,
// volume, pan and frequency; a mixer sums the playing ones into the host's audio output (44,100 Hz,
// 16-bit stereo). Play cursors follow what the output has consumed: the SDL host's audio device, or,
// without one, a silent sink paced by the plat clock (so on the virtual clock a cursor moves exactly
// elapsed time x rate). Duplicates share their source's audio bytes and keep their own play state.
// Calls are made from the library's threads; the mixer runs on the host's audio thread and never holds
// a lock while it mixes.
#pragma once

#include "platform/win/kernel/com.h"
#include "platform/win/kernel/wave_format.h"
#include "platform/win/kernel/win_types.h"

namespace plat {

// ---- Results ------------------------------------------------------------------------------------
constexpr HRESULT DS_OK = 0;
constexpr HRESULT DSERR_ALLOCATED = static_cast<HRESULT>(0x8878000Au);
constexpr HRESULT DSERR_CONTROLUNAVAIL = static_cast<HRESULT>(0x8878001Eu);
constexpr HRESULT DSERR_INVALIDPARAM = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032u);
constexpr HRESULT DSERR_GENERIC = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT DSERR_PRIOLEVELNEEDED = static_cast<HRESULT>(0x88780046u);
constexpr HRESULT DSERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064u);
constexpr HRESULT DSERR_UNINITIALIZED = static_cast<HRESULT>(0x887800AAu);
constexpr HRESULT DSERR_ALREADYINITIALIZED = static_cast<HRESULT>(0x88780082u);
constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096u);
constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078u);

// ---- Cooperative levels -------------------------------------------------------------------------
constexpr DWORD DSSCL_NORMAL = 0x1;
constexpr DWORD DSSCL_PRIORITY = 0x2;
constexpr DWORD DSSCL_EXCLUSIVE = 0x3;
constexpr DWORD DSSCL_WRITEPRIMARY = 0x4;

// ---- Buffer capabilities (DSBUFFERDESC::dwFlags) ------------------------------------------------
constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
constexpr DWORD DSBCAPS_STATIC = 0x00000002;
constexpr DWORD DSBCAPS_LOCHARDWARE = 0x00000004;
constexpr DWORD DSBCAPS_LOCSOFTWARE = 0x00000008;
constexpr DWORD DSBCAPS_CTRLFREQUENCY = 0x00000020;
constexpr DWORD DSBCAPS_CTRLPAN = 0x00000040;
constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;
constexpr DWORD DSBCAPS_STICKYFOCUS = 0x00004000;
constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x00008000;
constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;

// ---- Play, status, lock -------------------------------------------------------------------------
constexpr DWORD DSBPLAY_LOOPING = 0x1;
constexpr DWORD DSBSTATUS_PLAYING = 0x1;
constexpr DWORD DSBSTATUS_BUFFERLOST = 0x2;
constexpr DWORD DSBSTATUS_LOOPING = 0x4;
constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x1;
constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x2;

// Volume in hundredths of a decibel (attenuation), pan in hundredths of a decibel of the far side's
// attenuation, frequency in Hz (0 = the buffer's own rate).
constexpr LONG DSBVOLUME_MIN = -10000;
constexpr LONG DSBVOLUME_MAX = 0;
constexpr LONG DSBPAN_LEFT = -10000;
constexpr LONG DSBPAN_CENTER = 0;
constexpr LONG DSBPAN_RIGHT = 10000;
constexpr DWORD DSBFREQUENCY_ORIGINAL = 0;
constexpr DWORD DSBFREQUENCY_MIN = 100;
constexpr DWORD DSBFREQUENCY_MAX = 200000;

// Secondary buffers hold at least 4 bytes and at most this many.
constexpr DWORD DSBSIZE_MIN = 4;
constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;

// ---- Device capabilities (DSCAPS::dwFlags) ------------------------------------------------------
constexpr DWORD DSCAPS_PRIMARYMONO = 0x00000001;
constexpr DWORD DSCAPS_PRIMARYSTEREO = 0x00000002;
constexpr DWORD DSCAPS_PRIMARY8BIT = 0x00000004;
constexpr DWORD DSCAPS_PRIMARY16BIT = 0x00000008;
constexpr DWORD DSCAPS_CONTINUOUSRATE = 0x00000010;
constexpr DWORD DSCAPS_EMULDRIVER = 0x00000020;
constexpr DWORD DSCAPS_CERTIFIED = 0x00000040;
constexpr DWORD DSCAPS_SECONDARYMONO = 0x00000100;
constexpr DWORD DSCAPS_SECONDARYSTEREO = 0x00000200;
constexpr DWORD DSCAPS_SECONDARY8BIT = 0x00000400;
constexpr DWORD DSCAPS_SECONDARY16BIT = 0x00000800;

struct DSBUFFERDESC {
  DWORD dwSize;           // sizeof(DSBUFFERDESC)
  DWORD dwFlags;          // DSBCAPS_*
  DWORD dwBufferBytes;    // 0 for the primary buffer
  DWORD dwReserved;       // 0
  WAVEFORMATEX* lpwfxFormat;  // null for the primary buffer
};

struct DSCAPS {
  DWORD dwSize;  // sizeof(DSCAPS)
  DWORD dwFlags;
  DWORD dwMinSecondarySampleRate;
  DWORD dwMaxSecondarySampleRate;
  DWORD dwPrimaryBuffers;
  DWORD dwMaxHwMixingAllBuffers;
  DWORD dwMaxHwMixingStaticBuffers;
  DWORD dwMaxHwMixingStreamingBuffers;
  DWORD dwFreeHwMixingAllBuffers;
  DWORD dwFreeHwMixingStaticBuffers;
  DWORD dwFreeHwMixingStreamingBuffers;
  DWORD dwMaxHw3DAllBuffers;
  DWORD dwMaxHw3DStaticBuffers;
  DWORD dwMaxHw3DStreamingBuffers;
  DWORD dwFreeHw3DAllBuffers;
  DWORD dwFreeHw3DStaticBuffers;
  DWORD dwFreeHw3DStreamingBuffers;
  DWORD dwTotalHwMemBytes;
  DWORD dwFreeHwMemBytes;
  DWORD dwMaxContigFreeHwMemBytes;
  DWORD dwUnlockTransferRateHwBuffers;
  DWORD dwPlayCpuOverheadSwBuffers;
  DWORD dwReserved1;
  DWORD dwReserved2;
};

struct SoundBufferState;  // the stand-in's own record behind a buffer

// A sound buffer. Every call on a released buffer, and every call after the device object that made
// it is released, is a programming error the stand-in reports as DSERR_INVALIDCALL.
class IDirectSoundBuffer {
 public:
  // play: the play cursor (bytes, block-aligned); write: where writing is safe (a little ahead).
  HRESULT GetCurrentPosition(DWORD* play, DWORD* write);
  // DSBSTATUS_PLAYING while playing, plus DSBSTATUS_LOOPING when looping.
  HRESULT GetStatus(DWORD* status);
  // Hands out the ring from `offset` for `bytes` (at most the buffer's size): the first region up to
  // the end, the second from the start when the request wraps (else null / 0). Writes show after
  // Unlock; the library writes only where the play cursor is not.
  HRESULT Lock(DWORD offset, DWORD bytes, void** region1, DWORD* bytes1, void** region2, DWORD* bytes2,
               DWORD flags);
  HRESULT Unlock(void* region1, DWORD bytes1, void* region2, DWORD bytes2);
  // reserved and priority must be 0. A buffer played without DSBPLAY_LOOPING stops by itself at its
  // end (position back to 0); playing a playing buffer only changes its looping.
  HRESULT Play(DWORD reserved, DWORD priority, DWORD flags);
  // Stops; the position is kept.
  HRESULT Stop();
  HRESULT SetCurrentPosition(DWORD position);
  // Primary buffer only: the format the device is asked to run at (the mix itself stays 44,100 Hz
  // 16-bit stereo; the host converts).
  HRESULT SetFormat(const WAVEFORMATEX* format);
  HRESULT GetFormat(WAVEFORMATEX* format, DWORD size, DWORD* written);
  HRESULT SetVolume(LONG volume);
  HRESULT GetVolume(LONG* volume);
  HRESULT SetPan(LONG pan);
  HRESULT GetPan(LONG* pan);
  HRESULT SetFrequency(DWORD frequency);
  HRESULT GetFrequency(DWORD* frequency);
  // Frees the buffer (the audio bytes live on while a duplicate uses them). Returns 0.
  ULONG Release();

  SoundBufferState* state_ = nullptr;
};

struct SoundDeviceState;

// The device object.
class IDirectSound {
 public:
  // device: null for the default device. DSERR_ALREADYINITIALIZED the second time.
  HRESULT Initialize(const GUID* device);
  HRESULT SetCooperativeLevel(HWND window, DWORD level);
  // Primary (DSBCAPS_PRIMARYBUFFER, no size, no format) or secondary buffers (PCM 8/16-bit, 1 or 2
  // channels, 100..200,000 Hz, size at least DSBSIZE_MIN). outer must be null.
  HRESULT CreateSoundBuffer(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, void* outer);
  // A new buffer over the same audio bytes, stopped at position 0 with the source's settings.
  HRESULT DuplicateSoundBuffer(IDirectSoundBuffer* source, IDirectSoundBuffer** duplicate);
  HRESULT GetCaps(DSCAPS* caps);
  // Releases the object and every buffer it made. Returns 0.
  ULONG Release();

  SoundDeviceState* state_ = nullptr;
};

// Stands for CoCreateInstance(CLSID_DirectSound, ..., IID_IDirectSound): an uninitialised object.
HRESULT CoCreateDirectSound(IDirectSound** object);

// The device enumeration of the DirectSound module, which the library loads by name for its report.
using LPDSENUMCALLBACKA = BOOL (*)(GUID* guid, const char* description, const char* module,
                                   void* context);
HRESULT DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, void* context);

// Stand-ins for loading the DirectSound module and finding its enumerator: LoadLibraryA("DSOUND.DLL")
// gives a module (null for any other name), GetProcAddress(module, "DirectSoundEnumerateA") the
// enumerator (null for any other name); FreeLibrary releases the module.
HMODULE LoadLibraryA(const char* name);
void* GetProcAddress(HMODULE module, const char* name);
BOOL FreeLibrary(HMODULE module);

}  // namespace plat
