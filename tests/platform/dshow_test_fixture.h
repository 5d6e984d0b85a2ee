// The fixture of the DirectShow stand-in tests: movies written at test time by libavcodec's encoders
// (each frame's grey level tells its number), a DirectDraw object, the virtual clock, and the steps the
// movie code takes to open a movie into a sample over a surface of its own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/ddraw/test_controls.h"
#include "platform/dshow/dshow.h"
#include "platform/dshow/test_controls.h"
#include "platform/dsound/dsound_test_controls.h"
#include "platform/win/kernel/sync.h"
#include "platform/test_controls.h"
#include "tools/moviegen/movie_writer.h"

namespace dshow_test {

using namespace plat;
namespace moviegen = orbel::moviegen;

constexpr STREAM_TIME kSecond = 10000000;  // stream time units
constexpr STREAM_TIME kFrame = kSecond / 10;  // the test movies run at 10 frames per second

// The movies every test reads, written once per test program.
struct Movies {
  ~Movies() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string dir;
  std::string mpeg4;      // AVI, MPEG-4, 40x32, 10 fps, 20 frames, key frame every 5, sound
  std::string mjpeg;      // AVI, Motion JPEG, 40x32, 10 fps, 12 frames, no sound
  std::string mp4;        // MP4, MPEG-4, 64x36 (rows converted in place), 10 fps, 8 frames
  std::string soundOnly;  // WAV
  std::string garbage;    // bytes no reader takes
};

inline const Movies& TestMovies() {
  static const Movies movies = [] {
    Movies m;
    char pattern[] = "/tmp/orbel_dshow_XXXXXX";
    m.dir = mkdtemp(pattern);
    auto write = [&](const std::string& name, moviegen::MovieSpec spec) {
      spec.path = m.dir + "/" + name;
      std::string error;
      if (!moviegen::WriteMovie(spec, &error)) ADD_FAILURE() << name << ": " << error;
      return spec.path;
    };
    moviegen::MovieSpec spec;
    spec.width = 40, spec.height = 32, spec.fpsNumerator = 10, spec.frames = 20, spec.keyInterval = 5;
    spec.sound = true;
    m.mpeg4 = write("movie.avi", spec);
    spec.videoCodec = "mjpeg", spec.frames = 12, spec.sound = false;
    m.mjpeg = write("motion.avi", spec);
    spec.videoCodec = "mpeg4", spec.container = "mp4", spec.width = 64, spec.height = 36, spec.frames = 8;
    m.mp4 = write("movie.mp4", spec);
    m.soundOnly = m.dir + "/tone.wav";
    {
      // A minimal PCM WAV: 0.1 s of silence.
      const uint32_t dataBytes = 4410 * 4;
      std::ofstream out(m.soundOnly, std::ios::binary);
      auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
      auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
      out.write("RIFF", 4), u32(36 + dataBytes), out.write("WAVEfmt ", 8), u32(16), u16(1), u16(2), u32(44100),
          u32(44100 * 4), u16(4), u16(16), out.write("data", 4), u32(dataBytes);
      std::string silence(dataBytes, '\0');
      out.write(silence.data(), static_cast<std::streamsize>(silence.size()));
    }
    m.garbage = m.dir + "/garbage.mp4";
    std::ofstream(m.garbage, std::ios::binary) << std::string(3000, '\x5A');
    return m;
  }();
  return movies;
}

// A UTF-16 name as the movie code makes it (the test paths are ASCII).
inline std::u16string Wide(const std::string& path) { return std::u16string(path.begin(), path.end()); }

// The frame number a sample surface shows (its grey level at a pixel).
inline int FrameShown(IDirectDrawSurface7* surface, int x = 2, int y = 2) {
  const uint32_t rgb = test::ReadSurfacePixelRgb(surface, x, y);
  return moviegen::FrameFromGrey(static_cast<int>((rgb >> 8) & 0xFF));
}

class DShowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::Reset();
    test::ResetSound();
    test::UseVirtualClock(1000);
    TestMovies();
    ASSERT_EQ(CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&dd)),
              S_OK);
    ASSERT_EQ(dd->Initialize(nullptr), DD_OK);
  }

  void TearDown() override {
    Close();
    if (dd != nullptr) dd->Release();
    const test::MovieCounters left = test::GetMovieCounters();
    EXPECT_EQ(left.graphs + left.multiMediaStreams + left.mediaStreams + left.samples + left.decoders, 0)
        << "DirectShow objects leaked";
    EXPECT_EQ(test::GetDDrawCounters().liveSurfaces, 0) << "surfaces leaked";
    test::ResetSound();
    test::Reset();
    test::UseRealClock();
  }

  // The movie code's open: graph, stream, video through the DirectDraw object, default sound, the file.
  HRESULT OpenStream(const std::string& path) {
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, 3, IID_IGraphBuilder, reinterpret_cast<void**>(&graph)),
              S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, 1, IID_IAMMultiMediaStream,
                               reinterpret_cast<void**>(&stream)),
              S_OK);
    EXPECT_EQ(stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, graph), S_OK);
    IDirectDraw4* dd4 = nullptr;
    EXPECT_EQ(dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4)), S_OK);
    EXPECT_EQ(stream->AddMediaStream(dd4, MSPID_PrimaryVideo, 0, nullptr), S_OK);
    dd4->Release();
    EXPECT_EQ(stream->AddMediaStream(nullptr, MSPID_PrimaryAudio, AMMSF_ADDDEFAULTRENDERER, nullptr), S_OK);
    return stream->OpenFile(Wide(path).c_str(), 0);
  }

  // The rest of the open: the video stream's format, a plain surface of that size in `format` (null:
  // the display's), and a sample over it.
  void MakeSample(const DDPIXELFORMAT* format = nullptr) {
    IMediaStream* media = nullptr;
    ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), S_OK);
    ASSERT_EQ(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)), S_OK);
    media->Release();
    DDSURFACEDESC want{};
    want.dwSize = sizeof(want);
    ASSERT_EQ(video->GetFormat(&want, nullptr, nullptr, nullptr), S_OK);
    IDirectDraw* v1 = nullptr;
    ASSERT_EQ(dd->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&v1)), S_OK);
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.dwWidth = want.dwWidth;
    desc.dwHeight = want.dwHeight;
    desc.ddpfPixelFormat = format != nullptr ? *format : want.ddpfPixelFormat;
    IDirectDrawSurface* made = nullptr;
    ASSERT_EQ(v1->CreateSurface(&desc, &made, nullptr), DD_OK);
    v1->Release();
    ASSERT_EQ(video->CreateSample(made, nullptr, DDSFF_PROGRESSIVERENDER, &sample), S_OK);
    made->Release();  // the sample keeps it
    IDirectDrawSurface* held = nullptr;
    ASSERT_EQ(sample->GetSurface(&held, nullptr), S_OK);
    ASSERT_EQ(held->QueryInterface(IID_IDirectDrawSurface7, reinterpret_cast<void**>(&surface)), S_OK);
    held->Release();
  }

  void Close() {
    if (surface != nullptr) surface->Release(), surface = nullptr;
    if (sample != nullptr) sample->Release(), sample = nullptr;
    if (video != nullptr) video->Release(), video = nullptr;
    if (stream != nullptr) stream->Release(), stream = nullptr;
    if (graph != nullptr) graph->Release(), graph = nullptr;
  }

  static DDPIXELFORMAT Rgb(int bits, DWORD r, DWORD g, DWORD b) {
    DDPIXELFORMAT f{};
    f.dwSize = sizeof(f);
    f.dwFlags = DDPF_RGB;
    f.dwRGBBitCount = static_cast<DWORD>(bits);
    f.dwRBitMask = r, f.dwGBitMask = g, f.dwBBitMask = b;
    return f;
  }

  // Moves the virtual clock on by stream time `t`.
  static void Advance(STREAM_TIME t) { test::AdvanceClock(static_cast<uint64_t>(t / 10)); }

  // The objects of the open (public: table-driven cases reach them through the fixture).
 public:
  IDirectDraw7* dd = nullptr;
  IGraphBuilder* graph = nullptr;
  IAMMultiMediaStream* stream = nullptr;
  IDirectDrawMediaStream* video = nullptr;
  IDirectDrawStreamSample* sample = nullptr;
  IDirectDrawSurface7* surface = nullptr;
};

}  // namespace dshow_test
