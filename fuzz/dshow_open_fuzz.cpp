// Fuzz target of the DirectShow stand-in's open of arbitrary bytes: the bytes are a movie file, opened
// as the movie code opens one. When it opens, the frame format is read, a sample made on a surface of
// the stream's own, and the stream shown, run, updated at once and asynchronously, sought and released;
// a file with sound only is run too, and the sound is mixed into the captured output, so the sound
// decoders and the queue's placement by time are reached. Ogg pages get their checksums recomputed
// first: the demuxer drops a page whose checksum is stale, which would throw away nearly every mutation
// of an Ogg seed. Nothing may crash, hang or leak. Runs headless on the virtual clock. Seeds:
// fuzz/corpus/dshow_open/make-seeds.sh.
#include <sys/mman.h>
#include <unistd.h>

#include <ogg/ogg.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/test_controls.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/sync.h"

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

// Recomputes the checksum of every whole Ogg page in the bytes.
void RepairOggPages(std::vector<uint8_t>* bytes) {
  constexpr size_t kHeader = 27;  // bytes before the segment table
  uint8_t* data = bytes->data();
  const size_t size = bytes->size();
  for (size_t at = 0; at + kHeader <= size; ++at) {
    if (std::memcmp(data + at, "OggS", 4) != 0) continue;
    const size_t headerLength = kHeader + data[at + 26];
    if (headerLength > size - at) break;
    size_t bodyLength = 0;
    for (size_t i = kHeader; i < headerLength; ++i) bodyLength += data[at + i];
    if (bodyLength > size - at - headerLength) break;
    ogg_page page{data + at, static_cast<long>(headerLength), data + at + headerLength, static_cast<long>(bodyLength)};
    ogg_page_checksum_set(&page);
    at += headerLength + bodyLength - 1;
  }
}

// Runs the stream for `microseconds` of the clock, its updates at rest, with the sound mixed. Only these
// steps are mixed: an update that waits for a frame far ahead moves the clock by as much, which the mixer
// would then have to render.
void RunFor(uint64_t microseconds) {
  test::CaptureSoundOutput(true);
  test::AdvanceClock(microseconds);
  test::SettleMovieUpdates();
  test::TakeSoundOutput();
  test::CaptureSoundOutput(false);
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
      RunFor(40000);
      sample->Update(0, nullptr, nullptr, 0);
    }
    if (sample->Update(0, event, nullptr, 0) == MS_S_PENDING) {
      stream->Seek(size > 0 ? STREAM_TIME{data[size - 1]} * 1000000 : 0);
      RunFor(200000);
    }
    sample->Release();
    CloseHandle(event);
  } else {
    // Sound only: it plays while the stream runs.
    stream->SetState(STREAMSTATE_RUN);
    RunFor(300000);
    stream->Seek(size > 0 ? STREAM_TIME{data[size - 1]} * 1000000 : 0);
    RunFor(100000);
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
  std::vector<uint8_t> bytes(data, data + size);
  RepairOggPages(&bytes);
  const int fd = memfd_create("movie", 0);
  if (fd < 0) return 0;
  if (size > 0 && write(fd, bytes.data(), size) != static_cast<ssize_t>(size)) {
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
