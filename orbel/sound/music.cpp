// Music handles and the MCI sequencer road; PlayMusicFile's fall-back to a stream sound.
// Depends on the sound handles, the file-access table, temporary files, the message pump and MCI.
#include "orbel/sound/music.h"

#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/memory.h"
#include "orbel/core/message_pump.h"
#include "orbel/file/thread_file.h"
#include "orbel/sound/sound_handle.h"
#include "orbel/sound/sound_state.h"
#include "platform/win/kernel/file_io.h"

namespace orbel {

MusicState Music;

namespace {

constexpr const char* kTag = "music";

plat::DWORD_PTR CallbackWindow() { return reinterpret_cast<plat::DWORD_PTR>(GetMainWindowHandle()); }

MusicHandleRecord* LookupMusic(int handle) { return Music.handles.Lookup(handle); }

void CloseDevice() {
  plat::MCI_GENERIC_PARMS close{};
  plat::mciSendCommandA(Music.device, plat::MCI_CLOSE, 0, reinterpret_cast<plat::DWORD_PTR>(&close));
}

// Writes the image into a new temporary file. 0, or -1 with nothing left behind.
int WriteTempFile(const MusicHandleRecord* r) {
  plat::HANDLE file = CreateTempFile(Music.tempPath);
  if (file == nullptr) return -1;
  plat::DWORD written = 0;
  const bool ok = plat::WriteFile(file, r->image, r->imageSize, &written, nullptr) && written == r->imageSize;
  plat::CloseHandle(file);
  // Present from here on: whatever happens next, a later play, stop or shut-down removes it.
  Music.tempPresent = 1;
  if (!ok) {
    DeleteMusicTempFile();
    return -1;
  }
  return 0;
}

}  // namespace

void DeleteMusicTempFile() {
  if (!Music.tempPresent) return;
  plat::DeleteFileA(Music.tempPath);
  Music.tempPresent = 0;
}

int AddMusicData() {
  MusicHandleTable& t = Music.handles;
  if (t.IsFull()) return LogAdd("ミュージックデータの数が許容量を越えました終了します");
  auto* r = static_cast<MusicHandleRecord*>(MemCalloc(sizeof(MusicHandleRecord), kTag, __LINE__));
  if (r == nullptr) return LogAdd("メモリ領域の確保に失敗しました in AddMusicData");
  const int32_t h = t.Insert(r);
  if (h == -1) MemFree(r);
  return h;
}

int CreateMusicFromMidiImage(const void* image, uint32_t size) {
  if (!SoundSystemStarted()) return -1;
  const int handle = AddMusicData();
  if (handle == -1) return -1;
  MusicHandleRecord* r = LookupMusic(handle);
  r->image = static_cast<uint8_t*>(MemAlloc(size ? size : 1, kTag, __LINE__));
  if (r->image == nullptr) {
    LogAdd("ミュージックデータを一時的に保存しておくメモリ領域の確保に失敗しました\n");
    DeleteMusicHandle(handle);
    return -1;
  }
  std::memcpy(r->image, image, size);
  r->imageSize = size;
  r->playing = 0;
  return handle;
}

int LoadMusicMem(const char* path) {
  if (!SoundSystemStarted()) return -1;
  const FileHandle file = FileAccessOpen(path, 0, 1, 0);
  if (file == 0) return SoundLogFmt("ミュージックファイル %s の読み込みに失敗しました in LoadMusicMem", path);
  FileAccessSeek(file, 0, 2);
  const int32_t size = FileAccessTell(file);
  FileAccessSeek(file, 0, 0);
  void* block = size >= 0 ? MemAlloc(static_cast<uint32_t>(size ? size : 1), kTag, __LINE__) : nullptr;
  if (block == nullptr) {
    FileAccessClose(file);
    return SoundLogFmt("ミュージックファイル %s を読み込むメモリ領域の確保に失敗しました in LoadMusicMem", path);
  }
  const uint32_t got = static_cast<uint32_t>(FileAccessRead(block, 1, static_cast<size_t>(size), file));
  FileAccessClose(file);
  const int handle = CreateMusicFromMidiImage(block, got);
  MemFree(block);
  return handle;
}

int PlayMusicHandle(int handle, int playType) {
  if (!SoundSystemStarted()) return -1;
  MusicHandleRecord* r = LookupMusic(handle);
  if (r == nullptr) return -1;
  if (LookupMusic(Music.lastStarted) != nullptr) StopMusicHandle(Music.lastStarted);
  DeleteMusicTempFile();
  if (WriteTempFile(r) != 0) return -1;

  plat::MCI_OPEN_PARMSA open{};
  open.lpstrDeviceType = "sequencer";
  open.lpstrElementName = Music.tempPath;
  if (plat::mciSendCommandA(0, plat::MCI_OPEN, plat::MCI_OPEN_TYPE | plat::MCI_OPEN_ELEMENT,
                            reinterpret_cast<plat::DWORD_PTR>(&open)) != 0) {
    DeleteMusicTempFile();
    return -1;
  }
  Music.device = open.wDeviceID;
  plat::MCI_STATUS_PARMS status{};
  status.dwItem = plat::MCI_SEQ_STATUS_PORT;
  if (plat::mciSendCommandA(Music.device, plat::MCI_STATUS, plat::MCI_STATUS_ITEM,
                            reinterpret_cast<plat::DWORD_PTR>(&status)) != 0) {
    CloseDevice();
    LogAdd("ＭＩＤＩ演奏開始処理でエラーが起きました１\n");
    DeleteMusicTempFile();
    return -1;
  }
  if ((status.dwReturn & 0xFFFF) != 0xFFFF) {
    CloseDevice();
    return LogAdd("ＭＩＤＩ演奏開始処理でエラーが起きました２\n");
  }
  plat::MCI_PLAY_PARMS play{};
  play.dwCallback = CallbackWindow();
  if (plat::mciSendCommandA(Music.device, plat::MCI_PLAY, plat::MCI_NOTIFY, reinterpret_cast<plat::DWORD_PTR>(&play)) != 0) {
    CloseDevice();
    return LogAdd("ＭＩＤＩ演奏に失敗しました\n");
  }
  Music.loop = playType == 3;
  Music.mciPlaying = 1;
  Music.lastStarted = handle;
  r->playing = 1;
  r->seenPlaying = 0;
  if (playType == 0) {
    while (PumpWindowMessage() == 0 && IsMusicHandlePlaying(handle) == 1) {
    }
    DeleteMusicTempFile();
  }
  return 0;
}

uint32_t ProcessMidiMciNotify() {
  if (Music.loop) {
    plat::MCI_PLAY_PARMS play{};
    play.dwCallback = CallbackWindow();
    play.dwFrom = 0;
    plat::mciSendCommandA(Music.device, plat::MCI_PLAY, plat::MCI_NOTIFY | plat::MCI_FROM,
                          reinterpret_cast<plat::DWORD_PTR>(&play));
    Music.mciPlaying = 1;
  } else if (Music.mciPlaying) {
    CloseDevice();
    Music.mciPlaying = 0;
  }
  return 0;
}

int StopMusicHandle(int handle) {
  if (!SoundSystemStarted()) return -1;
  MusicHandleRecord* r = LookupMusic(handle);
  if (r == nullptr) return -1;
  Music.loop = 0;  // first, so the close below is not taken for the end of a looping song
  ProcessMidiMciNotify();
  for (int i = 0; i < 5; ++i) PumpWindowMessage();
  DeleteMusicTempFile();
  r->playing = 0;
  r->seenPlaying = 0;
  return 0;
}

int IsMusicHandlePlaying(int handle) {
  if (!SoundSystemStarted() || LookupMusic(handle) == nullptr) return -1;
  return Music.mciPlaying;
}

int DeleteMusicHandle(int handle) {
  if (!SoundSystemStarted()) return -1;
  MusicHandleRecord* r = LookupMusic(handle);
  if (r == nullptr) return -1;
  if (IsMusicHandlePlaying(handle) == 1) StopMusicHandle(handle);
  if (r->image != nullptr) {
    std::memset(r->image, 0, r->imageSize);
    MemFree(r->image);
  }
  MemFree(Music.handles.Remove(handle));
  return 0;
}

int DeleteAllMusicHandles() {
  Music.handles.DeleteAll([](int32_t h) { DeleteMusicHandle(h); });
  return 0;
}

int ServiceAllMusic() {
  if (!SoundSystemStarted()) return -1;
  return 0;  // the MCI road reports through its notices; only DirectMusic would need polling
}

int PlayMusicFile(const char* path, int playType) {
  if (Music.current != 0) {
    if (Music.currentKind == 1) DeleteSoundHandle(Music.current);
    else DeleteMusicHandle(Music.current);
    Music.current = 0;
  }
  const int music = LoadMusicMem(path);
  if (music == -1) return -1;
  Music.current = music;
  Music.currentKind = 0;
  if (PlayMusicHandle(music, playType) == 0) return 0;
  DeleteMusicHandle(music);
  Music.current = 0;
  const int createType = GetSoundCreateType();
  SetSoundCreateType(2);
  const int sound = LoadSoundFile(path, 1, -1);
  SetSoundCreateType(createType);
  if (sound == -1) return -1;
  Music.current = sound;
  PlaySoundHandle(sound, playType, 1);
  Music.currentKind = 1;
  return 0;
}

uint32_t StopCurrentMusic() {
  if (Music.current == 0) return 0;
  if (Music.currentKind == 1) {
    StopSoundHandle(Music.current);
    DeleteSoundHandle(Music.current);
  } else {
    StopMusicHandle(Music.current);
    DeleteMusicHandle(Music.current);
  }
  Music.current = 0;
  return 0;
}

int IsMusicPlaying() {
  if (Music.current == 0) return 0;
  const int playing = Music.currentKind == 1 ? IsSoundHandlePlaying(Music.current) : IsMusicHandlePlaying(Music.current);
  return playing == 1 ? 1 : 0;
}

}  // namespace orbel
