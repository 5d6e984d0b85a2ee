// Fuzz target of the DirectShow stand-in's open of arbitrary bytes: the bytes are a movie file, opened
// as the movie code opens one. When it opens, the frame format is read, a sample made on a surface of
// the stream's own, and the stream shown, run, updated at once and asynchronously, sought and released.
// Nothing may crash, hang or leak. Runs headless on the virtual clock.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/test_controls.h"
#include "platform/win/clock_test_controls.h"
#include "platform/win/file_io.h"
#include "platform/win/sync.h"

namespace {

using namespace plat;

IDirectDraw4* DirectDrawFace() {
  static IDirectDraw4* face = [] {
    IDirectDraw7* object = nullptr;
    IDirectDraw4* four = nullptr;
    if (CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&object)) ==
            S_OK &&
        object->Initialize(nullptr) == DD_OK) {
      object->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&four));
    }
    if (object != nullptr) object->Release();
    return four;
  }();
  return face;
}

void Play(IAMMultiMediaStream* stream, const uint8_t* data, size_t size) {
  IMediaStream* media = nullptr;
  IDirectDrawMediaStream* video = nullptr;
  IDirectDrawStreamSample* sample = nullptr;
  if (stream->GetMediaStream(MSPID_PrimaryVideo, &media) != S_OK) return;
  media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video));
  media->Release();
  DDSURFACEDESC format{};
  format.dwSize = sizeof(format);
  if (video->GetFormat(&format, nullptr, nullptr, nullptr) == S_OK && format.dwWidth > 0 && format.dwHeight > 0 &&
      video->CreateSample(nullptr, nullptr, 0, &sample) == S_OK) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    sample->Update(0, nullptr, nullptr, 0);
    stream->SetState(STREAMSTATE_RUN);
    for (int i = 0; i < 4; ++i) {
      test::AdvanceClock(40000);
      sample->Update(0, nullptr, nullptr, 0);
    }
    if (sample->Update(0, event, nullptr, 0) == MS_S_PENDING) {
      stream->Seek(size > 0 ? STREAM_TIME{data[size - 1]} * 1000000 : 0);
      test::AdvanceClock(200000);
      test::SettleMovieUpdates();
    }
    sample->Release();
    CloseHandle(event);
  }
  video->Release();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("ORBEL_HOST", "headless", 1);
  test::UseVirtualClock(1000);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = LLVMFuzzerInitialize(nullptr, nullptr) == 0;
  (void)ready;
  const int fd = memfd_create("movie", 0);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, data, size) != static_cast<ssize_t>(size)) {
    close(fd);
    return 0;
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);
  const std::u16string name(path.begin(), path.end());

  IGraphBuilder* graph = nullptr;
  IAMMultiMediaStream* stream = nullptr;
  CoCreateInstance(CLSID_FilterGraph, nullptr, 3, IID_IGraphBuilder, reinterpret_cast<void**>(&graph));
  CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, 1, IID_IAMMultiMediaStream, reinterpret_cast<void**>(&stream));
  if (graph != nullptr && stream != nullptr && stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, graph) == S_OK &&
      stream->AddMediaStream(DirectDrawFace(), MSPID_PrimaryVideo, 0, nullptr) == S_OK &&
      stream->AddMediaStream(nullptr, MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr) == S_OK &&
      stream->OpenFile(name.c_str(), 0) == S_OK) {
    Play(stream, data, size);
  }
  if (stream != nullptr) stream->Release();
  if (graph != nullptr) graph->Release();
  close(fd);
  const test::MovieCounters left = test::GetMovieCounters();
  if (left.graphs + left.multiMediaStreams + left.mediaStreams + left.samples + left.decoders != 0) std::abort();
  return 0;
}
