// Decoding a 640x480 MPEG-4 movie (90 busy frames at 30 fps, written on first use by the test-movie
// writer) into 32-bit XRGB pixels: through the DirectShow stand-in (a sample on a system-memory surface,
// each frame taken with a synchronous update on the virtual clock), beside libavformat, libavcodec and
// libswscale called directly with the same settings (one decoding thread, the same conversion) into a
// buffer of the same pitch. Prints frames per second and the ratio stand-in / direct.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/ddraw/ddraw.h"
#include "platform/dshow/dshow.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "tools/moviegen/movie_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrames = 90;

const std::string& Movie() {
  static const std::string path = [] {
    const auto dir = std::filesystem::temp_directory_path() / "orbel-movie-bench";
    std::filesystem::create_directories(dir);
    orbel::moviegen::MovieSpec spec;
    spec.path = (dir / "busy640.avi").string();
    spec.width = kWidth;
    spec.height = kHeight;
    spec.frames = kFrames;
    spec.keyInterval = 30;
    spec.picture = orbel::moviegen::Picture::Busy;
    std::string error;
    if (!std::filesystem::exists(spec.path) && !orbel::moviegen::WriteMovie(spec, &error)) {
      std::fprintf(stderr, "cannot write the movie: %s\n", error.c_str());
      std::exit(1);
    }
    return spec.path;
  }();
  return path;
}

// ---- Through the stand-in -----------------------------------------------------------------------

void StandIn(benchmark::State& state) {
  using namespace plat;
  test::UseVirtualClock(1000);
  IDirectDraw7* dd = nullptr;
  IDirectDraw4* dd4 = nullptr;
  IGraphBuilder* graph = nullptr;
  IAMMultiMediaStream* stream = nullptr;
  IMediaStream* media = nullptr;
  IDirectDrawMediaStream* video = nullptr;
  IDirectDrawStreamSample* sample = nullptr;
  CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_ALL, IID_IDirectDraw7, reinterpret_cast<void**>(&dd));
  dd->Initialize(nullptr);
  dd->QueryInterface(IID_IDirectDraw4, reinterpret_cast<void**>(&dd4));
  CoCreateInstance(CLSID_FilterGraph, nullptr, 3, IID_IGraphBuilder, reinterpret_cast<void**>(&graph));
  CoCreateInstance(CLSID_AMMultiMediaStream, nullptr, 1, IID_IAMMultiMediaStream, reinterpret_cast<void**>(&stream));
  stream->Initialize(STREAMTYPE_READ, AMMSF_NOGRAPHTHREAD, graph);
  stream->AddMediaStream(dd4, MSPID_PrimaryVideo, 0, nullptr);
  const std::string& path = Movie();
  const std::u16string name(path.begin(), path.end());
  if (stream->OpenFile(name.c_str(), 0) != S_OK) {
    state.SkipWithError("the stand-in refused the movie");
    return;
  }
  stream->GetMediaStream(MSPID_PrimaryVideo, &media);
  media->QueryInterface(IID_IDirectDrawMediaStream, reinterpret_cast<void**>(&video));
  IDirectDraw* v1 = nullptr;
  dd->QueryInterface(IID_IDirectDraw, reinterpret_cast<void**>(&v1));
  DDSURFACEDESC desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
  desc.dwWidth = kWidth;
  desc.dwHeight = kHeight;
  desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
  desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
  desc.ddpfPixelFormat.dwRGBBitCount = 32;
  desc.ddpfPixelFormat.dwRBitMask = 0xFF0000;
  desc.ddpfPixelFormat.dwGBitMask = 0xFF00;
  desc.ddpfPixelFormat.dwBBitMask = 0xFF;
  IDirectDrawSurface* surface = nullptr;
  v1->CreateSurface(&desc, &surface, nullptr);
  video->CreateSample(surface, nullptr, 0, &sample);
  stream->SetState(STREAMSTATE_RUN);
  int64_t frames = 0;
  for (auto _ : state) {
    stream->Seek(0);
    while (sample->Update(0, nullptr, nullptr, 0) == S_OK) ++frames;
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
  sample->Release();
  surface->Release();
  v1->Release();
  video->Release();
  media->Release();
  stream->Release();
  graph->Release();
  dd4->Release();
  dd->Release();
  test::UseRealClock();
}

// ---- libavformat, libavcodec and libswscale directly --------------------------------------------

void Direct(benchmark::State& state) {
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, Movie().c_str(), nullptr, nullptr) < 0 ||
      avformat_find_stream_info(format, nullptr) < 0) {
    state.SkipWithError("cannot open the movie");
    return;
  }
  const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  const AVCodec* codec = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
  AVCodecContext* decoder = avcodec_alloc_context3(codec);
  avcodec_parameters_to_context(decoder, format->streams[index]->codecpar);
  decoder->thread_count = 1;
  avcodec_open2(decoder, codec, nullptr);
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  SwsContext* scaler = nullptr;
  // The converters write past a row's end: the buffer keeps room after the last row.
  const int pitch = kWidth * 4;
  std::vector<uint8_t> pixels(static_cast<size_t>(pitch) * kHeight + 64);
  int64_t frames = 0;
  const auto take = [&] {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      scaler = sws_getCachedContext(scaler, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                    kWidth, kHeight, AV_PIX_FMT_BGR0, SWS_BILINEAR, nullptr, nullptr, nullptr);
      uint8_t* rows[4] = {pixels.data(), nullptr, nullptr, nullptr};
      const int pitches[4] = {pitch, 0, 0, 0};
      sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, rows, pitches);
      ++frames;
    }
  };
  for (auto _ : state) {
    av_seek_frame(format, index, 0, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(decoder);
    while (av_read_frame(format, packet) >= 0) {
      if (packet->stream_index == index && avcodec_send_packet(decoder, packet) >= 0) take();
      av_packet_unref(packet);
    }
    avcodec_send_packet(decoder, nullptr);
    take();
    benchmark::DoNotOptimize(pixels.data());
  }
  state.counters["fps"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  state.counters["frames"] = static_cast<double>(frames) / static_cast<double>(state.iterations());
  sws_freeContext(scaler);
  av_frame_free(&frame);
  av_packet_free(&packet);
  avcodec_free_context(&decoder);
  avformat_close_input(&format);
}

std::map<std::string, double> gFps;

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // With --benchmark_repetitions the ratio uses the medians.
      if (!run.error_occurred && (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")) {
        const auto fps = run.counters.find("fps");
        if (fps != run.counters.end()) gFps[run.run_name.function_name] = fps->second;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

BENCHMARK(StandIn)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(Direct)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (gFps.count("StandIn") != 0 && gFps.count("Direct") != 0) {
    std::printf("\n640x480 MPEG-4: stand-in %.1f fps, direct %.1f fps, ratio %.2f\n", gFps["StandIn"],
                gFps["Direct"], gFps["StandIn"] / gFps["Direct"]);
  }
  benchmark::Shutdown();
  return 0;
}
