// Playing through the DirectShow stand-in on the virtual clock: the frame due at each time, updates
// that wait for their frame (at once or with an event), the end of the stream, seeking and the stream
// time, holding, and frames written into surfaces of each layout.
#include "dshow_test_fixture.h"

namespace {

using namespace dshow_test;

class DShowPlayback : public DShowTest {
 protected:
  void Open(const std::string& path, const DDPIXELFORMAT* format = nullptr) {
    ASSERT_EQ(OpenStream(path), S_OK);
    MakeSample(format);
  }
  STREAM_TIME Time() {
    STREAM_TIME t = -1;
    EXPECT_EQ(stream->GetTime(&t), S_OK);
    return t;
  }
  bool Signalled(HANDLE event) { return WaitForSingleObject(event, 0) == WAIT_OBJECT_0; }
};

// Frame n shows from time n/fps: an update waits for the next frame, and one that comes late passes
// over the frames whose successors are due too.
TEST_F(DShowPlayback, FrameNShowsAtTimeNOverTheFrameRate) {
  Open(TestMovies().mpeg4);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 0);
  const STREAM_TIME start = Time();
  // The next update waits (on the virtual clock, at once) for frame 1.
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 1);
  EXPECT_GE(Time(), kFrame);
  EXPECT_LT(Time() - start, kFrame + kFrame / 10);
  struct Step {
    STREAM_TIME advance;
    int frame;
  } steps[] = {
      {kFrame * 35 / 10, 4},  // at 4.5 frames: 2 and 3 are passed over
      {kFrame * 2, 6},
      {kFrame * 6, 12},  // across a key frame
  };
  for (const Step& s : steps) {
    Advance(s.advance);
    EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(FrameShown(surface), s.frame) << "at " << Time();
  }
}

TEST_F(DShowPlayback, AsynchronousUpdateSignalsItsEventWhenTheFrameComes) {
  Open(TestMovies().mpeg4);
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  // Frame 0 is due at once: the update is done at once and leaves the event alone.
  EXPECT_EQ(sample->Update(0, event, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 0);
  EXPECT_FALSE(Signalled(event));

  EXPECT_EQ(sample->Update(0, event, nullptr, 0), MS_S_PENDING);
  test::SettleMovieUpdates();
  EXPECT_FALSE(Signalled(event));
  Advance(kFrame / 2);
  test::SettleMovieUpdates();
  EXPECT_FALSE(Signalled(event)) << "frame 1 is not due yet";
  EXPECT_EQ(FrameShown(surface), 0);
  Advance(kFrame / 2 + kFrame / 10);
  test::SettleMovieUpdates();
  EXPECT_TRUE(Signalled(event));
  EXPECT_EQ(FrameShown(surface), 1);

  // A pending update follows a seek, and a new update ends one still pending.
  ResetEvent(event);
  EXPECT_EQ(sample->Update(0, event, nullptr, 0), MS_S_PENDING);
  ASSERT_EQ(stream->Seek(kFrame * 8 + kFrame / 2), S_OK);
  test::SettleMovieUpdates();
  EXPECT_TRUE(Signalled(event));
  EXPECT_EQ(FrameShown(surface), 8);
  ResetEvent(event);
  EXPECT_EQ(sample->Update(0, event, nullptr, 0), MS_S_PENDING);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK) << "waits for frame 9 itself";
  EXPECT_TRUE(Signalled(event)) << "the pending update ended";
  EXPECT_EQ(FrameShown(surface), 9);

  // Releasing the sample ends a pending update too.
  ResetEvent(event);
  EXPECT_EQ(sample->Update(0, event, nullptr, 0), MS_S_PENDING);
  Close();
  EXPECT_TRUE(Signalled(event));
  EXPECT_EQ(sample, nullptr);
  CloseHandle(event);
}

TEST_F(DShowPlayback, TheLastFrameStaysUntilItsTimeIsOverThenTheStreamEnds) {
  Open(TestMovies().mjpeg);  // 12 frames
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  Advance(kFrame * 11 + kFrame / 2);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 11);
  // Waiting for what follows the last frame ends with the stream.
  EXPECT_EQ(sample->Update(0, event, nullptr, 0), MS_S_PENDING);
  Advance(kFrame);
  test::SettleMovieUpdates();
  EXPECT_TRUE(Signalled(event));
  EXPECT_EQ(sample->Update(0, event, nullptr, 0), MS_S_ENDOFSTREAM);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), MS_S_ENDOFSTREAM);
  EXPECT_EQ(FrameShown(surface), 11) << "the last frame stays";
  // Looping as the movie code does: back to 0, running on.
  ASSERT_EQ(stream->Seek(0), S_OK);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  EXPECT_EQ(sample->Update(0, event, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 0);
  CloseHandle(event);
}

TEST_F(DShowPlayback, SeekMovesTheStreamTimeInHundredNanosecondUnits) {
  Open(TestMovies().mpeg4);
  EXPECT_EQ(Time(), 0);
  ASSERT_EQ(stream->Seek(kFrame * 55 / 10), S_OK);
  EXPECT_EQ(Time(), kFrame * 55 / 10) << "held, the time stays where it was put";
  Advance(kSecond);
  EXPECT_EQ(Time(), kFrame * 55 / 10);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 5);

  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  Advance(kFrame * 2);
  const STREAM_TIME running = Time();
  EXPECT_GE(running, kFrame * 75 / 10);
  EXPECT_LT(running, kFrame * 75 / 10 + kFrame / 100) << "only the clock's own reading steps on top";
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 7);

  // Back before the current frame, and below 0.
  ASSERT_EQ(stream->Seek(kFrame + kFrame / 2), S_OK);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 1);
  ASSERT_EQ(stream->Seek(-kSecond), S_OK);
  EXPECT_LT(Time(), kFrame / 100);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 0);
}

TEST_F(DShowPlayback, PauseHoldsTheTimeAndTheFrameUntilRunAgain) {
  Open(TestMovies().mpeg4);
  IMediaControl* control = nullptr;
  ASSERT_EQ(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control)), S_OK);
  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  Advance(kFrame * 3 + kFrame / 2);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 3);

  EXPECT_EQ(control->Pause(), S_OK);
  STREAM_STATE state = STREAMSTATE_RUN;
  EXPECT_EQ(stream->GetState(&state), S_OK);
  EXPECT_EQ(state, STREAMSTATE_STOP);
  const STREAM_TIME held = Time();
  Advance(kSecond);
  EXPECT_EQ(Time(), held);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 3) << "held: the frame at the position";

  ASSERT_EQ(stream->SetState(STREAMSTATE_RUN), S_OK);
  EXPECT_EQ(stream->GetState(&state), S_OK);
  EXPECT_EQ(state, STREAMSTATE_RUN);
  Advance(kFrame);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(surface), 4);
  control->Release();
}

// Frames land in surfaces of every RGB layout the movie code makes, and nowhere but the sample's
// rectangle.
TEST_F(DShowPlayback, FramesAreWrittenInTheSurfacesLayout) {
  const DDPIXELFORMAT formats[] = {
      Rgb(32, 0xFF0000, 0xFF00, 0xFF), Rgb(32, 0xFF, 0xFF00, 0xFF0000), Rgb(24, 0xFF0000, 0xFF00, 0xFF),
      Rgb(24, 0xFF, 0xFF00, 0xFF0000), Rgb(16, 0xF800, 0x07E0, 0x001F), Rgb(16, 0x7C00, 0x03E0, 0x001F),
  };
  // 40 pixels wide (converted through rows of the stand-in's own) and 64 (converted in place).
  for (const std::string* movie : {&TestMovies().mjpeg, &TestMovies().mp4}) {
    for (const DDPIXELFORMAT& f : formats) {
      SCOPED_TRACE(testing::Message() << *movie << ": " << f.dwRGBBitCount << " bits, red 0x" << std::hex
                                      << f.dwRBitMask);
      Open(*movie, &f);
      ASSERT_EQ(stream->Seek(kFrame * 6), S_OK);
      EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
      DDSURFACEDESC2 desc{};
      desc.dwSize = sizeof(desc);
      surface->GetSurfaceDesc(&desc);
      EXPECT_EQ(FrameShown(surface), 6);
      EXPECT_EQ(FrameShown(surface, static_cast<int>(desc.dwWidth) - 1, static_cast<int>(desc.dwHeight) - 1), 6)
          << "the last pixel";
      Close();
    }
  }

  // Surfaces a sample cannot write.
  ASSERT_EQ(OpenStream(TestMovies().mjpeg), S_OK);
  IMediaStream* media = nullptr;
  ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), S_OK);
  ASSERT_EQ(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)), S_OK);
  media->Release();
  auto make = [&](int w, int h, DDPIXELFORMAT format) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    d.dwWidth = static_cast<DWORD>(w);
    d.dwHeight = static_cast<DWORD>(h);
    d.ddpfPixelFormat = format;
    IDirectDrawSurface7* s = nullptr;
    EXPECT_EQ(dd->CreateSurface(&d, &s, nullptr), DD_OK);
    return s;
  };
  DDPIXELFORMAT paletted{};
  paletted.dwSize = sizeof(paletted);
  paletted.dwFlags = DDPF_PALETTEINDEXED8 | DDPF_RGB;
  paletted.dwRGBBitCount = 8;
  const DDPIXELFORMAT xrgb = Rgb(32, 0xFF0000, 0xFF00, 0xFF);
  IDirectDrawSurface7* eight = make(40, 32, paletted);
  IDirectDrawSurface7* small = make(39, 32, xrgb);
  IDirectDrawSurface7* wide = make(60, 40, xrgb);
  IDirectDrawStreamSample* none = nullptr;
  EXPECT_EQ(video->CreateSample(eight, nullptr, 0, &none), DDERR_INVALIDPIXELFORMAT);
  EXPECT_EQ(video->CreateSample(small, nullptr, 0, &none), MS_E_INCOMPATIBLE);
  const RECT outside{30, 0, 70, 32};
  const RECT wrongSize{0, 0, 20, 16};
  EXPECT_EQ(video->CreateSample(wide, &outside, 0, &none), E_INVALIDARG);
  EXPECT_EQ(video->CreateSample(wide, &wrongSize, 0, &none), E_INVALIDARG);
  EXPECT_EQ(none, nullptr);
  eight->Release();
  small->Release();

  // A rectangle inside a wider surface: the frame goes there, the rest keeps its pixels.
  DDBLTFX fill{};
  fill.dwSize = sizeof(fill);
  fill.dwFillColor = 0x00FF0000;
  ASSERT_EQ(wide->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL, &fill), DD_OK);
  const RECT inside{10, 5, 50, 37};
  ASSERT_EQ(video->CreateSample(wide, &inside, 0, &sample), S_OK);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(FrameShown(wide, 10, 5), 0);
  EXPECT_EQ(FrameShown(wide, 49, 36), 0);
  for (const POINT p : {POINT{9, 5}, POINT{50, 5}, POINT{50, 36}, POINT{10, 4}, POINT{10, 37}, POINT{59, 39}}) {
    EXPECT_EQ(test::ReadSurfacePixelRgb(wide, p.x, p.y), 0xFF0000u) << p.x << "," << p.y;
  }
  wide->Release();
}

}  // namespace
