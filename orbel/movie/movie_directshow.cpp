// DirectShow movies, the open and the close: a multimedia stream on a filter graph reads the file, its
// primary video stream renders into a DirectDraw surface through a stream sample, its primary audio
// stream plays through the default sound renderer. A file the stream cannot open by name (an archive
// member) is copied to a temporary file first. Main thread only; DirectShow runs its own threads.
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/file/thread_file.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/movie/movie_directshow.h"
#include "orbel/softrender/mem_img.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/sync.h"

namespace orbel {
namespace {

using namespace plat;

constexpr uint32_t kCopyPiece = 1048576;
constexpr const char* kMemoryLine = "メモリの確保に失敗しました in OpenMovie";

template <typename T>
void ReleaseAndClear(T*& face) {
  if (face != nullptr) face->Release();
  face = nullptr;
}

// The failure path of the open: the interfaces (in the same order as a release before a display
// change), and a temporary copy this open made.
void ReleaseFailedOpen(MovieHandleRecord* m, bool copiedNow) {
  ReleaseMovieStreams(m);
  if (copiedNow && m->directShow.tempCopyMade) {
    DeleteFileA(m->directShow.openedPath);
    m->directShow.tempCopyMade = 0;
  }
}

// Logs a failure line: texts that carry their own line end go as they are.
void LogLine(const char* text) {
  const size_t n = strlen(text);
  if (n > 0 && text[n - 1] == '\n') {
    LogAdd(text);
  } else {
    LogFmtAdd("%s", text);
  }
}

HRESULT OpenByName(IAMMultiMediaStream* stream, const char* path) {
  WCHAR wide[kFilePathMax];
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, static_cast<int>(kFilePathMax)) == 0) return E_FAIL;
  return stream->OpenFile(wide, 0);
}

// Copies the file (plain or archive member) to a new temporary file whose name goes to the opened path.
// A read or a write that comes short fails the copy; the caller deletes what was made.
bool CopyToTempFile(MovieHandleRecord* m, const char* fileName) {
  DirectShowMovieState& d = m->directShow;
  const FileHandle file = FileAccessOpen(fileName, 0, 1, 0);
  if (file == 0) return false;
  FileAccessSeek(file, 0, 2);
  const int32_t size = FileAccessTell(file);
  FileAccessSeek(file, 0, 0);
  void* buffer = MemAlloc(kCopyPiece, __FILE__, __LINE__);
  if (buffer == nullptr) {
    FileAccessClose(file);
    return false;
  }
  const HANDLE temp = CreateTempFile(d.openedPath);
  if (temp == nullptr) {
    FileAccessClose(file);
    MemFree(buffer);
    return false;
  }
  d.tempCopyMade = 1;
  bool whole = size >= 0;
  for (int64_t left = size; whole && left > 0;) {
    const auto piece = static_cast<uint32_t>(left < kCopyPiece ? left : kCopyPiece);
    DWORD written = 0;
    whole = FileAccessRead(buffer, 1, piece, file) == piece && WriteFile(temp, buffer, piece, &written, nullptr) &&
            written == piece;
    left -= piece;
  }
  FileAccessClose(file);
  CloseHandle(temp);
  MemFree(buffer);
  return whole;
}

// The stream reads the copy through a file it holds open, so its name goes at once: nothing of the
// member stays readable by name, nor behind a process that is killed. The opened path names the film
// again, so a re-open (after a display change) copies anew. A name that cannot go is deleted at the close.
void DropTempCopyName(MovieHandleRecord* m, const char* fileName) {
  DirectShowMovieState& d = m->directShow;
  if (!DeleteFileA(d.openedPath)) return;
  d.tempCopyMade = 0;
  strncpy(d.openedPath, fileName, kFilePathMax - 1);
  d.openedPath[kFilePathMax - 1] = '\0';
}

// The pixel format of the surface frames are rendered into (modes 0 and 2; mode 1 uses the overlay's).
DDPIXELFORMAT FramePixelFormat(int mode) {
  DDPIXELFORMAT format{};
  format.dwSize = sizeof(format);
  if (mode == 2) {
    format.dwFlags = DDPF_RGB;
    format.dwRGBBitCount = 24;
    format.dwRBitMask = 0xFF0000;
    format.dwGBitMask = 0xFF00;
    format.dwBBitMask = 0xFF;
  } else if (!IsHardwareRendering() && GetScreenColorBitDepth() != 8) {
    const MemImgDDPixelFormat* memImg = GetMemImgDDPixelFormat(GetScreenColorBitDepth() == 16 ? 0 : 1, 0, 0);
    static_assert(sizeof(MemImgDDPixelFormat) == sizeof(DDPIXELFORMAT), "both are DirectDraw pixel formats");
    memcpy(&format, memImg, sizeof(format));
  } else {
    memcpy(&format, GetScreenColorData(), sizeof(format));
  }
  return format;
}

// Makes the surface frames go into, through the object's version-1 face.
HRESULT CreateFrameSurface(IDirectDraw4* directDraw4, const DDSURFACEDESC& wanted, int mode,
                           IDirectDrawSurface** out) {
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  desc.dwWidth = wanted.dwWidth;
  desc.dwHeight = wanted.dwHeight;
  if (mode == 1) {
    desc.ddsCaps.dwCaps = DDSCAPS_OVERLAY | DDSCAPS_VIDEOMEMORY;
    desc.ddpfPixelFormat = *GetOverlayPixelFormat();
  } else {
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.ddpfPixelFormat = FramePixelFormat(mode);
  }
  IDirectDraw* directDraw = nullptr;
  HRESULT result = directDraw4->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&directDraw));
  if (result != S_OK) return result;
  result = directDraw->CreateSurface(&desc, out, nullptr);
  directDraw->Release();
  return result;
}

// Steps from the surface description on; null, or the failure line.
const char* DescribeFrameSurface(MovieHandleRecord* m, int mode) {
  DirectShowMovieState& d = m->directShow;
  GraphImage& area = m->frameImageArea;
  if (d.sampleSurface->QueryInterface(IID_IDirectDrawSurface7, reinterpret_cast<void**>(&d.surface7)) != S_OK) {
    d.surface7 = nullptr;
    return "IDirectDrawSurface7インターフェイスを取得できませんでした！";
  }
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  if (mode == 1) {
    d.surface7->GetSurfaceDesc(&desc);
    MakeColorDataFromFormat(&desc.ddpfPixelFormat, &area.format);
    return nullptr;
  }
  if (d.sampleSurface->QueryInterface(IID_IDirectDrawSurface4, reinterpret_cast<void**>(&d.surface4)) != S_OK) {
    d.surface4 = nullptr;
    return "IDirectDrawSurface4インターフェイスを取得できませんでした！";
  }
  d.surface4->GetSurfaceDesc(&desc);
  MakeColorDataFromFormat(&desc.ddpfPixelFormat, &area.format);
  area.width = static_cast<uint32_t>(m->width);
  area.height = static_cast<uint32_t>(m->height);
  area.pitch = (area.format.bytesPerPixel * area.width + 3) & ~3u;
  area.pixels = MemCalloc(area.pitch * area.height, __FILE__, __LINE__);
  return area.pixels == nullptr ? kMemoryLine : nullptr;
}

// The open from the filter graph to the frame sample and its surface; null on success, else the failure
// line (the caller releases).
const char* OpenStreams(IDirectDraw7* directDraw, MovieHandleRecord* m, const char* fileName, int mode,
                        bool* copiedNow, char* message, size_t messageSize) {
  DirectShowMovieState& d = m->directShow;
  if (CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER, IID_IGraphBuilder,
                       reinterpret_cast<void**>(&d.graph)) != S_OK) {
    d.graph = nullptr;
    return "CLSID_FilterGraph の作成に失敗しました";
  }
  if (CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, CLSCTX_INPROC_SERVER, IID_IAMMultiMediaStream,
                       reinterpret_cast<void**>(&d.multiMediaStream)) != S_OK) {
    d.multiMediaStream = nullptr;
    return "IAMMultimediaインターフェイスを取得できませんでした！";
  }
  if (d.multiMediaStream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, d.graph) != S_OK) {
    return "ストリームを読み取り用にセットアップできませんでした！";
  }
  if (d.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&d.mediaControl)) != S_OK) {
    d.mediaControl = nullptr;
    return "IID_IMediaControlインターフェイスの取得に失敗しました";
  }
  // Without a DirectDraw object (software rendering) there is nothing to render frames through.
  if (directDraw == nullptr ||
      directDraw->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&d.directDraw4)) != S_OK) {
    d.directDraw4 = nullptr;
    return "DirectDraw4オブジェクトを取得できませんでした";
  }
  if (d.multiMediaStream->AddMediaStream(d.directDraw4, MSPID_PrimaryVideo, 0, nullptr) != S_OK) {
    return "プライマリビデオストリームを追加できませんでした！";
  }
  if (d.multiMediaStream->AddMediaStream(nullptr, MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr) != S_OK) {
    return "デフォルトサウンドレンダラを追加できませんでした！\n";
  }

  strncpy(d.openedPath, fileName, kFilePathMax - 1);
  d.openedPath[kFilePathMax - 1] = '\0';
  if (OpenByName(d.multiMediaStream, d.openedPath) != S_OK) {
    snprintf(message, messageSize, "ファイル:%s が開けませんでした", fileName);
    if (d.tempCopyMade) return message;  // a re-open of the copy: nothing more to try
    const bool copied = CopyToTempFile(m, fileName);
    *copiedNow = d.tempCopyMade != 0;
    if (!copied || OpenByName(d.multiMediaStream, d.openedPath) != S_OK) return message;
    DropTempCopyName(m, fileName);
  }

  if (d.graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&d.mediaSeeking)) != S_OK) {
    d.mediaSeeking = nullptr;
    return "メディアシーキングインターフェースの取得に失敗しました";
  }
  if (d.graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&d.basicAudio)) != S_OK) {
    d.basicAudio = nullptr;
    return "BasicAudio インターフェースの取得に失敗しました";
  }
  if (d.multiMediaStream->GetMediaStream(MSPID_PrimaryVideo, &d.videoStream) != S_OK) {
    d.videoStream = nullptr;
    return "プライマリビデオストリームインターフェイスを取得できませんでした！";
  }
  if (d.videoStream->QueryInterface(IID_IAMMediaStream, reinterpret_cast<void**>(&d.amMediaStream)) != S_OK) {
    d.amMediaStream = nullptr;
    return "AMMediaStreamインターフェイスの取得に失敗しました";
  }
  if (d.videoStream->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&d.ddMediaStream)) != S_OK) {
    d.ddMediaStream = nullptr;
    return "DirectDrawメディアストリームインターフェイスを取得できませんでした！";
  }

  DDSURFACEDESC wanted{};
  wanted.dwSize = sizeof(wanted);
  if (d.ddMediaStream->GetFormat(nullptr, nullptr, &wanted, nullptr) != S_OK || wanted.dwWidth == 0 ||
      wanted.dwHeight == 0) {
    return "動画ファイルではない可能性があります！";
  }
  IDirectDrawSurface* made = nullptr;
  if (CreateFrameSurface(d.directDraw4, wanted, mode, &made) != S_OK || made == nullptr) {
    return "DirectDrawSurface オブジェクトの作成に失敗しました";
  }
  m->presentationMode = static_cast<uint32_t>(mode);
  if (d.ddMediaStream->CreateSample(made, nullptr, DDSFF_PROGRESSIVERENDER, &d.sample) != S_OK) {
    // The stream makes a surface of its own instead.
    made->Release();
    made = nullptr;
    m->presentationMode = 0;
    m->yuvSample = 0;
    if (d.ddMediaStream->CreateSample(nullptr, nullptr, 0, &d.sample) != S_OK) {
      d.sample = nullptr;
      return "ストリームサンプルを作成できませんでした！";
    }
  }
  if (made != nullptr) made->Release();  // the sample keeps its own reference
  if (d.sample->GetSurface(&d.sampleSurface, &d.sampleRect) != S_OK || d.sampleSurface == nullptr) {
    d.sampleSurface = nullptr;
    return "ストリームサンプルからIDirectDrawSurfaceインターフェイスを取得できませんでした！";
  }
  return nullptr;
}

}  // namespace

int Movie_OpenDirectShow(IDirectDraw7* directDraw, MovieHandleRecord* m, const char* fileName, int* width,
                         int* height, int presentationMode) {
  DirectShowMovieState& d = m->directShow;
  m->frameImageArea.pixels = nullptr;
  m->yuvSample = 0;
  d.windowX = d.windowY = d.windowScale = d.windowShown = 0;
  d.overlaySource = RECT{};
  d.overlayDestination = RECT{};
  m->frameUpdated = 0;
  d.firstFrameTried = 0;

  int mode = presentationMode;
  if (mode == 1 && GetOverlayPixelFormat() == nullptr) mode = 2;
  if (mode == 2 && GetScreenColorBitDepth() == 32) mode = 0;

  char message[kFilePathMax + 64];
  bool copiedNow = false;
  const char* failure = OpenStreams(directDraw, m, fileName, mode, &copiedNow, message, sizeof(message));
  if (failure == nullptr) {
    m->width = d.sampleRect.right - d.sampleRect.left;
    m->height = d.sampleRect.bottom - d.sampleRect.top;
    if (width != nullptr) *width = m->halfWidth ? m->width / 2 : m->width;
    if (height != nullptr) *height = m->height;
    failure = DescribeFrameSurface(m, static_cast<int>(m->presentationMode));
  }
  if (failure != nullptr) {
    MemFree(m->frameImageArea.pixels);
    m->frameImageArea.pixels = nullptr;
    ReleaseFailedOpen(m, copiedNow);
    LogLine(failure);
    return -1;
  }
  d.updateEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  d.updatePending = 0;
  d.lastUpdateFrame = ~uint64_t{0};
  d.lastUpdateTime = ~uint32_t{0};
  return 0;
}

void ReleaseMovieStreams(MovieHandleRecord* m) {
  DirectShowMovieState& d = m->directShow;
  ReleaseAndClear(d.videoStream);
  ReleaseAndClear(d.ddMediaStream);
  ReleaseAndClear(d.sample);
  ReleaseAndClear(d.sampleSurface);
  ReleaseAndClear(d.surface4);
  ReleaseAndClear(d.surface7);
  ReleaseAndClear(d.amMediaStream);
  ReleaseAndClear(d.multiMediaStream);
  ReleaseAndClear(d.directDraw4);
  ReleaseAndClear(d.graph);
  ReleaseAndClear(d.mediaControl);
  ReleaseAndClear(d.mediaSeeking);
  ReleaseAndClear(d.basicAudio);
}

void CloseMovieEvent(MovieHandleRecord* m) {
  // Cleared at once: a failed re-open leaves the record without one, and the close must not end it again.
  if (m->directShow.updateEvent != nullptr) CloseHandle(m->directShow.updateEvent);
  m->directShow.updateEvent = nullptr;
}

void Movie_CloseDirectShow(MovieHandleRecord* m) {
  DirectShowMovieState& d = m->directShow;
  if (d.tempCopyMade) {
    DeleteFileA(d.openedPath);
    d.tempCopyMade = 0;
  }
  if (m->presentationMode == 1) HideMovieOverlay(m);
  MemFree(m->frameImageArea.pixels);
  m->frameImageArea.pixels = nullptr;
  ReleaseAndClear(d.surface4);
  ReleaseAndClear(d.surface7);
  ReleaseAndClear(d.sampleSurface);
  ReleaseAndClear(d.sample);
  ReleaseAndClear(d.ddMediaStream);
  ReleaseAndClear(d.amMediaStream);
  ReleaseAndClear(d.videoStream);
  ReleaseAndClear(d.basicAudio);
  ReleaseAndClear(d.mediaSeeking);
  ReleaseAndClear(d.directDraw4);
  ReleaseAndClear(d.mediaControl);
  ReleaseAndClear(d.graph);
  ReleaseAndClear(d.multiMediaStream);
  CloseMovieEvent(m);
}

plat::IDirectDrawSurface7* GetMovieSampleSurface(void* movieRecord) {
  auto* m = static_cast<MovieHandleRecord*>(movieRecord);
  if (m == nullptr || m->isTheora) return nullptr;
  return m->directShow.surface7;
}

}  // namespace orbel
