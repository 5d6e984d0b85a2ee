// Sound system start-up and shut-down: the DirectSound object, its cooperative level, the primary
// buffer's format, a silent looping buffer that keeps the device running, the module's settings, and
// the device and capability report in the log. The DirectMusic road is not built: the music mode
// stays 0 (MCI).
#include "orbel/sound/sound_system.h"

#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/sound/music.h"
#include "orbel/sound/sound_handle.h"
#include "orbel/sound/sound_state.h"
#include "platform/win/kernel/file_io.h"

namespace orbel {

namespace {

constexpr uint32_t kSilentRate = 44100;
constexpr uint32_t kSilentBlocks = 100;

const char* YesNo(plat::DWORD flags, plat::DWORD bit) { return (flags & bit) ? "OK" : "NO"; }

plat::BOOL DSoundEnumCallback(plat::GUID*, const char* description, const char* module, void*) {
  SoundLogFmt("モジュール名:%15s  ドライバ記述:%s ", module, description);
  return 1;
}

void ReleaseDirectSound() {
  SoundState.directSound->Release();
  SoundState.directSound = nullptr;
  SoundState.primaryBuffer = nullptr;
  SoundState.silentBuffer = nullptr;
}

// Primary format: the device's best within 44,100 Hz.
void SetPrimaryFormat() {
  plat::DSCAPS caps{};
  caps.dwSize = sizeof caps;
  SoundState.directSound->GetCaps(&caps);
  plat::WAVEFORMATEX f{};
  f.wFormatTag = plat::WAVE_FORMAT_PCM;
  f.nChannels = (caps.dwFlags & plat::DSCAPS_PRIMARYSTEREO) ? 2 : 1;
  f.nSamplesPerSec = caps.dwMaxSecondarySampleRate < 44100 ? caps.dwMaxSecondarySampleRate : 44100;
  f.wBitsPerSample = (caps.dwFlags & plat::DSCAPS_PRIMARY16BIT) ? 16 : 8;
  f.nBlockAlign = static_cast<uint16_t>(f.nChannels * f.wBitsPerSample / 8);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  if (plat::FAILED(SoundState.primaryBuffer->SetFormat(&f)))
    LogAdd("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");
}

// A looping buffer of silence: keeps the output running between sounds.
void StartSilentBuffer() {
  plat::WAVEFORMATEX f{};
  f.wFormatTag = plat::WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = kSilentRate;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nAvgBytesPerSec = kSilentRate * 4;
  plat::DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwFlags = plat::DSBCAPS_GLOBALFOCUS | plat::DSBCAPS_STATIC;
  desc.dwBufferBytes = f.nBlockAlign * kSilentBlocks;
  desc.lpwfxFormat = &f;
  plat::IDirectSoundBuffer* buffer = nullptr;
  if (plat::FAILED(SoundState.directSound->CreateSoundBuffer(&desc, &buffer, nullptr))) {
    LogAdd("無音バッファの作成に失敗しました");
    return;
  }
  void* p1 = nullptr;
  void* p2 = nullptr;
  plat::DWORD n1 = 0, n2 = 0;
  if (plat::FAILED(buffer->Lock(0, desc.dwBufferBytes, &p1, &n1, &p2, &n2, 0))) {
    LogAdd("無音バッファのロックに失敗しました");
    buffer->Release();
    return;
  }
  std::memset(p1, 0, n1);
  if (p2 != nullptr) std::memset(p2, 0, n2);
  buffer->Unlock(p1, n1, p2, n2);
  buffer->Play(0, 0, plat::DSBPLAY_LOOPING);
  SoundState.silentBuffer = buffer;
}

void ReportDevice() {
  LogTabAdd();
  plat::DSCAPS caps{};
  caps.dwSize = sizeof caps;
  SoundState.directSound->GetCaps(&caps);
  LogAdd("DirectSound デバイスを列挙します\n");
  LogTabAdd();
  plat::HMODULE module = plat::LoadLibraryA("DSOUND.DLL");
  // A skipped report lowers the indent by both of its steps, so later lines keep their level.
  if (module == nullptr) {
    LogAdd("DSOUND.DLL のロードに失敗しました\n");
    LogTabSub();
    LogTabSub();
    return;
  }
  auto enumerate = reinterpret_cast<plat::HRESULT (*)(plat::LPDSENUMCALLBACKA, void*)>(
      plat::GetProcAddress(module, "DirectSoundEnumerateA"));
  if (enumerate == nullptr) {
    plat::FreeLibrary(module);
    LogAdd("DirectSound デバイスの列挙用関数のポインタ取得に失敗しました\n");
    LogTabSub();
    LogTabSub();
    return;
  }
  enumerate(DSoundEnumCallback, nullptr);
  LogTabSub();
  const plat::DWORD f = caps.dwFlags;
  SoundLogFmt("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
              static_cast<double>(caps.dwMaxSecondarySampleRate) / 1000,
              static_cast<double>(caps.dwMinSecondarySampleRate) / 1000);
  SoundLogFmt("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n",
              static_cast<double>(caps.dwTotalHwMemBytes) / 1024, static_cast<double>(caps.dwFreeHwMemBytes) / 1024);
  LogAdd("利用可能サンプリング精度\n");
  SoundLogFmt(" プライマリ １６bit = %s  ８bit = %s ", YesNo(f, plat::DSCAPS_PRIMARY16BIT),
              YesNo(f, plat::DSCAPS_PRIMARY8BIT));
  SoundLogFmt(" セカンダリ １６bit = %s  ８bit = %s \n", YesNo(f, plat::DSCAPS_SECONDARY16BIT),
              YesNo(f, plat::DSCAPS_SECONDARY8BIT));
  LogAdd("利用可能チャンネル\n");
  SoundLogFmt(" プライマリ MONO = %s  STEREO = %s ", YesNo(f, plat::DSCAPS_PRIMARYMONO),
              YesNo(f, plat::DSCAPS_PRIMARYSTEREO));
  SoundLogFmt(" セカンダリ MONO = %s  STEREO = %s \n", YesNo(f, plat::DSCAPS_SECONDARYMONO),
              YesNo(f, plat::DSCAPS_SECONDARYSTEREO));
  LogTabSub();
  plat::FreeLibrary(module);
}

// Writes the capture file's header over its first 46 bytes.
void WriteCaptureHeader() {
  const uint32_t frames = SoundState.captureFrames;
  const uint32_t fields[] = {4 * frames + 38, 18, 1 | 2u << 16, 44100, 176400, 4 | 16u << 16, 4 * frames};
  uint8_t header[46];
  uint8_t* p = header;
  auto put32 = [&p](uint32_t v) {
    for (int i = 0; i < 4; ++i) *p++ = static_cast<uint8_t>(v >> (8 * i));
  };
  std::memcpy(p, "RIFF", 4), p += 4;
  put32(fields[0]);
  std::memcpy(p, "WAVEfmt ", 8), p += 8;
  for (int i = 1; i < 6; ++i) put32(fields[i]);
  *p++ = 0, *p++ = 0;  // extra size
  std::memcpy(p, "data", 4), p += 4;
  put32(fields[6]);
  plat::SetFilePointer(SoundState.captureFile, 0, nullptr, plat::FILE_BEGIN);
  plat::DWORD written = 0;
  plat::WriteFile(SoundState.captureFile, header, sizeof header, &written, nullptr);
}

}  // namespace

uint32_t InitSoundSystem() {
  if (SoundSystemStarted()) return static_cast<uint32_t>(-1);
  LogAdd("DirectSound の初期化を行います\n");
  LogAdd("DirectSound インターフェースの取得を行います....  ");
  plat::IDirectSound* ds = nullptr;
  if (plat::FAILED(plat::CoCreateDirectSound(&ds)) || ds == nullptr) {
    LogAdd("DirectSoundインターフェースの作成に失敗しました\n");
    return static_cast<uint32_t>(-1);
  }
  SoundState.directSound = ds;
  LogAdd("成功\n");
  LogAdd("引き続きインターフェースの初期化処理...  ");
  if (plat::FAILED(ds->Initialize(nullptr))) {
    LogAdd("初期化に失敗しました\n");
    ReleaseDirectSound();
    return static_cast<uint32_t>(-1);
  }
  LogAdd("成功\n");
  // The stand-in ignores the owner window; the main window is the natural owner here.
  if (plat::FAILED(ds->SetCooperativeLevel(GetMainWindowHandle(), plat::DSSCL_PRIORITY))) {
    LogAdd("DirectSoundの協調レベルの設定に失敗しました\n");
    ReleaseDirectSound();
    return static_cast<uint32_t>(-1);
  }
  plat::DSBUFFERDESC primary{};
  primary.dwSize = sizeof primary;
  primary.dwFlags = plat::DSBCAPS_PRIMARYBUFFER;
  if (plat::FAILED(ds->CreateSoundBuffer(&primary, &SoundState.primaryBuffer, nullptr))) {
    LogAdd("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
    ReleaseDirectSound();
    return static_cast<uint32_t>(-1);
  }
  SetPrimaryFormat();
  StartSilentBuffer();
  SoundState.createType = 0;
  SoundState.oggSampleWidth = 2;
  SoundState.musicMode = 0;
  ListInitHead(&SoundState.refillHead, &SoundState.refillTail);
  ReportDevice();
  LogAdd("DirectSound の初期化は正常に終了しました\n");
  DeleteAllSoundHandles();
  return 0;
}

int EndSoundCapture() {
  if (!SoundState.captureOn) return -1;
  WriteCaptureHeader();
  plat::CloseHandle(SoundState.captureFile);
  SoundState.captureFile = nullptr;
  SoundState.captureOn = 0;
  return 0;
}

int EndSoundSystem() {
  if (!SoundSystemStarted()) return -1;
  EndSoundCapture();
  DeleteAllSoundHandles();
  DeleteAllMusicHandles();
  DeleteMusicTempFile();
  Music.current = 0;
  if (SoundState.primaryBuffer != nullptr) {
    SoundState.primaryBuffer->Stop();
    SoundState.primaryBuffer->Release();
  }
  if (SoundState.silentBuffer != nullptr) {
    SoundState.silentBuffer->Stop();
    SoundState.silentBuffer->Release();
  }
  ReleaseDirectSound();
  LogAdd("DirectSound の終了処理は正常に終了しました\n");
  return 0;
}

void SetMovieSoundFlag(int on) { SoundState.movieSoundFlag = on; }

}  // namespace orbel
