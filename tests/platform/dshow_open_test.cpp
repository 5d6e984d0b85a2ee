// Opening movies through the DirectShow stand-in: the classes and their faces, the frame format of
// each kind of file, files it refuses, and every failure the movie code logs, made on demand.
#include <functional>

#include "dshow_test_fixture.h"

namespace {

using namespace dshow_test;

TEST_F(DShowTest, OpensEachKindOfMovieWithItsFrameSize) {
  struct Case {
    const std::string* path;
    DWORD width;
    DWORD height;
  } cases[] = {{&TestMovies().mpeg4, 40, 32}, {&TestMovies().mjpeg, 40, 32}, {&TestMovies().mp4, 64, 36}};
  for (const Case& c : cases) {
    SCOPED_TRACE(*c.path);
    ASSERT_EQ(OpenStream(*c.path), S_OK);
    MakeSample();
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    ASSERT_EQ(surface->GetSurfaceDesc(&desc), DD_OK);
    EXPECT_EQ(desc.dwWidth, c.width);
    EXPECT_EQ(desc.dwHeight, c.height);
    RECT rect{};
    IDirectDrawSurface* again = nullptr;
    ASSERT_EQ(sample->GetSurface(&again, &rect), S_OK);
    EXPECT_EQ(static_cast<IDirectDrawSurface*>(surface), again);
    again->Release();
    EXPECT_EQ(rect.right - rect.left, static_cast<LONG>(c.width));
    EXPECT_EQ(rect.bottom - rect.top, static_cast<LONG>(c.height));
    STREAM_STATE state = STREAMSTATE_RUN;
    EXPECT_EQ(stream->GetState(&state), S_OK);
    EXPECT_EQ(state, STREAMSTATE_STOP) << "a new stream stays stopped";
    // Stopped, an update shows the first frame.
    EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(FrameShown(surface), 0);
    Close();
  }
}

// The movie code's names are Shift-JIS, turned into UTF-16 from the ANSI code page; the file on disk has
// the UTF-8 name, and either separator works.
TEST_F(DShowTest, OpensAShiftJisNameGivenInUtf16) {
  const std::string onDisk = TestMovies().dir + "/" + reinterpret_cast<const char*>(u8"ムービー.avi");
  std::filesystem::copy_file(TestMovies().mjpeg, onDisk, std::filesystem::copy_options::overwrite_existing);
  const std::string shiftJis = TestMovies().dir + "\\ムービー.avi";  // Shift-JIS bytes at run time
  WCHAR wide[MAX_PATH];
  ASSERT_GT(MultiByteToWideChar(CP_ACP, 0, shiftJis.c_str(), -1, wide, MAX_PATH), 0);
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, 3, IID_IGraphBuilder, reinterpret_cast<void**>(&graph)), S_OK);
  ASSERT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, 1, IID_IAMMultiMediaStream,
                             reinterpret_cast<void**>(&stream)),
            S_OK);
  ASSERT_EQ(stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, graph), S_OK);
  ASSERT_EQ(stream->AddMediaStream(nullptr, MSPID_PrimaryVideo, 0, nullptr), S_OK);
  EXPECT_EQ(stream->OpenFile(wide, 0), S_OK);
  std::filesystem::remove(onDisk);
}

TEST_F(DShowTest, RefusesWhatItCannotPlay) {
  struct Case {
    std::string path;
    HRESULT result;
  } cases[] = {
      {TestMovies().garbage, VFW_E_UNKNOWN_FILE_TYPE},
      {TestMovies().dir + "/missing.avi", VFW_E_FILE_NOT_FOUND},
      {TestMovies().dir, VFW_E_FILE_NOT_FOUND},  // a directory
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OpenStream(c.path), c.result) << c.path;
    STREAM_STATE state;
    EXPECT_EQ(stream->SetState(STREAMSTATE_RUN), MS_E_NOSTREAM);
    EXPECT_EQ(stream->GetState(&state), S_OK);
    EXPECT_EQ(state, STREAMSTATE_STOP);
    Close();
  }
  EXPECT_EQ(test::GetMovieCounters().decoders, 0);

  // A file with sound and no picture opens, but has no frame size, and no sample can be made.
  ASSERT_EQ(OpenStream(TestMovies().soundOnly), S_OK);
  IMediaStream* media = nullptr;
  ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), S_OK);
  ASSERT_EQ(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)), S_OK);
  media->Release();
  DDSURFACEDESC format{};
  format.dwSize = sizeof(format);
  ASSERT_EQ(video->GetFormat(&format, nullptr, nullptr, nullptr), S_OK);
  EXPECT_EQ(format.dwWidth, 0u);
  EXPECT_EQ(format.dwHeight, 0u);
  EXPECT_EQ(video->CreateSample(nullptr, nullptr, 0, &sample), MS_E_NOSTREAM);
  EXPECT_EQ(sample, nullptr);
}

// Names and order of the faces the movie code asks for; calls out of order.
TEST_F(DShowTest, ObjectsAnswerForTheirFacesOnly) {
  ASSERT_EQ(OpenStream(TestMovies().mpeg4), S_OK);
  struct Face {
    const IID* iid;
    bool offered;
  } graphFaces[] = {{&IID_IMediaControl, true}, {&IID_IMediaSeeking, true}, {&IID_IBasicAudio, true},
                    {&IID_IGraphBuilder, true}, {&IID_IMediaStream, false}, {&IID_IDirectDraw7, false}};
  for (const Face& f : graphFaces) {
    void* face = nullptr;
    EXPECT_EQ(graph->QueryInterface(*f.iid, &face), f.offered ? S_OK : E_NOINTERFACE);
    EXPECT_EQ(face != nullptr, f.offered);
    if (face != nullptr) graph->Release();  // the faces share the graph's one count
  }
  IMediaStream* media = nullptr;
  EXPECT_EQ(stream->GetMediaStream(MSPID_PrimaryAudio, &media), MS_E_NOSTREAM);
  ASSERT_EQ(stream->GetMediaStream(MSPID_PrimaryVideo, &media), S_OK);
  IAMMediaStream* am = nullptr;
  ASSERT_EQ(media->QueryInterface(IID_IAMMediaStream, reinterpret_cast<void**>(&am)), S_OK);
  am->Release();
  void* other = nullptr;
  EXPECT_EQ(media->QueryInterface(IID_IMediaControl, &other), E_NOINTERFACE);
  media->Release();

  EXPECT_EQ(stream->Initialize(STREAMTYPE_READ, 0, nullptr), MS_E_SOURCEALREADYDEFINED);
  EXPECT_EQ(stream->AddMediaStream(nullptr, MSPID_PrimaryVideo, 0, nullptr), MS_E_PURPOSEID);
  EXPECT_EQ(stream->OpenFile(Wide(TestMovies().mjpeg).c_str(), 0), MS_E_SOURCEALREADYDEFINED);

  IAMMultiMediaStream* fresh = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, 1, IID_IAMMultiMediaStream,
                             reinterpret_cast<void**>(&fresh)),
            S_OK);
  EXPECT_EQ(fresh->AddMediaStream(nullptr, MSPID_PrimaryVideo, 0, nullptr), MS_E_NOTINIT);
  EXPECT_EQ(fresh->OpenFile(Wide(TestMovies().mpeg4).c_str(), 0), MS_E_NOTINIT);
  EXPECT_EQ(fresh->Initialize(STREAMTYPE_WRITE, 0, nullptr), MS_E_INVALIDSTREAMTYPE);
  // Without a graph of its own making, the stream runs its file on one of its own.
  ASSERT_EQ(fresh->Initialize(STREAMTYPE_READ, 0, nullptr), S_OK);
  ASSERT_EQ(fresh->AddMediaStream(nullptr, MSPID_PrimaryVideo, 0, &media), S_OK);
  ASSERT_EQ(fresh->OpenFile(Wide(TestMovies().mjpeg).c_str(), 0), S_OK);
  ASSERT_EQ(media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video)), S_OK);
  media->Release();
  // A sample on a surface the stream makes itself, without a DirectDraw object of the caller's.
  ASSERT_EQ(video->CreateSample(nullptr, nullptr, 0, &sample), S_OK);
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  fresh->Release();
}

// Each failure the movie code reports, made by the test control: the named call fails once with the
// given result, and the next call succeeds again.
TEST_F(DShowTest, NamedCallsFailOnDemand) {
  const HRESULT bad = static_cast<HRESULT>(0x80004005u);
  struct Step {
    const char* call;
    std::function<HRESULT(DShowTest&)> run;
  };
  ASSERT_EQ(OpenStream(TestMovies().mpeg4), S_OK);
  MakeSample();
  const Step steps[] = {
      {"Initialize", [](DShowTest& t) { return t.stream->Initialize(STREAMTYPE_READ, 0, nullptr); }},
      {"OpenFile", [](DShowTest& t) { return t.stream->OpenFile(u"x", 0); }},
      {"QueryInterface(IID_IMediaControl)",
       [](DShowTest& t) {
         void* f = nullptr;
         return t.graph->QueryInterface(IID_IMediaControl, &f);
       }},
      {"QueryInterface(IID_IMediaSeeking)",
       [](DShowTest& t) {
         void* f = nullptr;
         return t.graph->QueryInterface(IID_IMediaSeeking, &f);
       }},
      {"QueryInterface(IID_IBasicAudio)",
       [](DShowTest& t) {
         void* f = nullptr;
         return t.graph->QueryInterface(IID_IBasicAudio, &f);
       }},
      {"GetMediaStream",
       [](DShowTest& t) {
         IMediaStream* m = nullptr;
         return t.stream->GetMediaStream(MSPID_PrimaryVideo, &m);
       }},
      {"GetFormat",
       [](DShowTest& t) {
         DDSURFACEDESC d{};
         d.dwSize = sizeof(d);
         return t.video->GetFormat(&d, nullptr, nullptr, nullptr);
       }},
      {"CreateSample",
       [](DShowTest& t) {
         IDirectDrawStreamSample* s = nullptr;
         return t.video->CreateSample(nullptr, nullptr, 0, &s);
       }},
      {"GetSurface", [](DShowTest& t) { return t.sample->GetSurface(nullptr, nullptr); }},
      {"Update", [](DShowTest& t) { return t.sample->Update(0, nullptr, nullptr, 0); }},
      {"SetState", [](DShowTest& t) { return t.stream->SetState(STREAMSTATE_STOP); }},
      {"Seek", [](DShowTest& t) { return t.stream->Seek(0); }},
      {"Pause",
       [](DShowTest& t) {
         IMediaControl* c = nullptr;
         t.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&c));
         const HRESULT r = c->Pause();
         c->Release();
         return r;
       }},
  };
  for (const Step& s : steps) {
    test::FailMovieCall(s.call, 1, bad);
    EXPECT_EQ(s.run(*this), bad) << s.call;
  }
  // The creation of either class, before anything is made.
  void* made = nullptr;
  test::FailMovieCall("CoCreateInstance(CLSID_FilterGraph)", 1, bad);
  EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, 3, IID_IGraphBuilder, &made), bad);
  test::FailMovieCall("CoCreateInstance(CLSID_AMMultiMediaStream)", 1, bad);
  EXPECT_EQ(CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, 1, IID_IAMMultiMediaStream, &made), bad);
  EXPECT_EQ(made, nullptr);
  // The DirectDraw faces the movie code asks for.
  for (const char* call : {"QueryInterface(IID_IDirectDraw4)"}) {
    test::FailDisplayCall(call, 1, bad);
    EXPECT_EQ(dd->QueryInterface(IID_IDirectDraw4, &made), bad);
  }
  test::FailDisplayCall("QueryInterface(IID_IDirectDrawSurface4)", 1, bad);
  EXPECT_EQ(surface->QueryInterface(IID_IDirectDrawSurface4, &made), bad);
  test::FailDisplayCall("QueryInterface(IID_IDirectDrawSurface7)", 1, bad);
  EXPECT_EQ(surface->QueryInterface(IID_IDirectDrawSurface7, &made), bad);
  EXPECT_EQ(made, nullptr);
  // Once only: the same calls work again.
  EXPECT_EQ(sample->Update(0, nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(stream->Seek(0), S_OK);
}

}  // namespace
