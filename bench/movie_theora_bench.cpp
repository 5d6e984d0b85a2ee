// Playing a 640x480 Theora film frame by frame through the library (the decode thread with its stock,
// the conversion of each frame into the RGB image), beside libtheora's 1.0 decoder called directly on
// the same bytes with each frame converted through the same tables on one thread. The film (300 frames,
// a moving pattern, a key frame every 30) is made at start with libtheora's encoder. Prints frames per
// second of both and their ratio.
#include <benchmark/benchmark.h>
#include <ogg/ogg.h>
#include <theora/theora.h>
#include <theora/theoraenc.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "orbel/movie/movie_record.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrames = 300;

void Append(std::vector<uint8_t>* out, const ogg_page& page) {
  out->insert(out->end(), page.header, page.header + page.header_len);
  out->insert(out->end(), page.body, page.body + page.body_len);
}

// Frame i: diagonal bands that drift and a bright square that crosses the picture.
void Paint(int i, th_ycbcr_buffer planes) {
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const bool square = std::abs(x - (i * 2) % kWidth) < 40 && std::abs(y - kHeight / 2) < 40;
      planes[0].data[y * planes[0].stride + x] =
          static_cast<unsigned char>(square ? 230 : 40 + ((x + y + i * 3) / 8 % 2) * 90 + (x * 60 / kWidth));
    }
  for (int p = 1; p < 3; ++p)
    for (int y = 0; y < kHeight / 2; ++y)
      for (int x = 0; x < kWidth / 2; ++x)
        planes[p].data[y * planes[p].stride + x] = static_cast<unsigned char>(p == 1 ? 100 + (x + i) % 56 : 150 - y % 40);
}

const std::vector<uint8_t>& Film() {
  static std::vector<uint8_t> film;
  if (!film.empty()) return film;
  th_info info;
  th_info_init(&info);
  info.frame_width = kWidth;
  info.frame_height = kHeight;
  info.pic_width = kWidth;
  info.pic_height = kHeight;
  info.fps_numerator = 30;
  info.fps_denominator = 1;
  info.pixel_fmt = TH_PF_420;
  info.quality = 48;
  info.keyframe_granule_shift = 6;
  th_enc_ctx* enc = th_encode_alloc(&info);
  ogg_uint32_t keys = 30;
  th_encode_ctl(enc, TH_ENCCTL_SET_KEYFRAME_FREQUENCY_FORCE, &keys, sizeof(keys));
  ogg_stream_state stream;
  ogg_stream_init(&stream, 1);
  th_comment comment;
  th_comment_init(&comment);
  ogg_packet packet;
  ogg_page page;
  while (th_encode_flushheader(enc, &comment, &packet) > 0) {
    ogg_stream_packetin(&stream, &packet);
    while (ogg_stream_flush(&stream, &page) != 0) Append(&film, page);
  }
  std::vector<unsigned char> storage[3] = {std::vector<unsigned char>(kWidth * kHeight),
                                           std::vector<unsigned char>(kWidth * kHeight / 4),
                                           std::vector<unsigned char>(kWidth * kHeight / 4)};
  th_ycbcr_buffer planes;
  for (int p = 0; p < 3; ++p) {
    planes[p].width = p == 0 ? kWidth : kWidth / 2;
    planes[p].height = p == 0 ? kHeight : kHeight / 2;
    planes[p].stride = planes[p].width;
    planes[p].data = storage[p].data();
  }
  for (int i = 0; i < kFrames; ++i) {
    Paint(i, planes);
    th_encode_ycbcr_in(enc, planes);
    while (th_encode_packetout(enc, i + 1 == kFrames, &packet) > 0) ogg_stream_packetin(&stream, &packet);
    while (ogg_stream_pageout(&stream, &page) != 0) Append(&film, page);
  }
  while (ogg_stream_flush(&stream, &page) != 0) Append(&film, page);
  ogg_stream_clear(&stream);
  th_comment_clear(&comment);
  th_encode_free(enc);
  th_info_clear(&info);
  return film;
}

// ---- The library ---------------------------------------------------------------------------------------

struct MemoryFile {
  const uint8_t* data;
  size_t size;
  size_t position;
};
MemoryFile* File(orbel::FileHandle h) { return reinterpret_cast<MemoryFile*>(h); }
size_t Read(void* buffer, size_t block, size_t count, orbel::FileHandle h) {
  MemoryFile* f = File(h);
  const size_t n = std::min(count, (f->size - f->position) / block);
  std::memcpy(buffer, f->data + f->position, n * block);
  f->position += n * block;
  return n;
}
int Seek(orbel::FileHandle h, int32_t offset, int origin) {
  MemoryFile* f = File(h);
  f->position = static_cast<size_t>(origin == 0 ? offset : static_cast<int64_t>(f->position) + offset);
  return 0;
}
int Eof(orbel::FileHandle h) { return File(h)->position >= File(h)->size ? -1 : 0; }

void ThroughLibrary(benchmark::State& state) {
  orbel::InitYuvToRgbTable();
  const std::vector<uint8_t>& film = Film();
  MemoryFile file{film.data(), film.size(), 0};
  orbel::FileAccessFunctionTable table{};
  table.Read = Read;
  table.Seek = Seek;
  table.Eof = Eof;
  orbel::TheoraMovieRecord* th = orbel::OpenTheoraMovie(&table, reinterpret_cast<orbel::FileHandle>(&file), 10);
  if (th == nullptr) {
    state.SkipWithError("the film did not open");
    return;
  }
  for (auto _ : state) {
    // One pass over the film: each frame made current and converted, as a drawn movie graph does.
    for (int i = 0; i < kFrames; ++i) {
      orbel::AdvanceTheoraMovieFrame(th, 1);
      if (orbel::UpdateTheoraMovieFrameImage(th, 1, 0) != 1) state.SkipWithError("a frame was missing");
    }
    benchmark::DoNotOptimize(th->rgbImage.pixels);
  }
  state.counters["fps"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
  orbel::CloseTheoraMovie(th);
}

// ---- libtheora directly, the same tables ---------------------------------------------------------------

void Convert(const yuv_buffer& yuv, uint8_t* out, int pitch) {
  const orbel::YuvToRgbTables& t = orbel::GetYuvToRgbTables();
  const uint8_t* clamp = t.clamp + orbel::kClampOffset;
  for (int y = 0; y < yuv.y_height; y += 2) {
    for (int x = 0; x < yuv.y_width; x += 2) {
      const int cb = yuv.u[(y / 2) * yuv.uv_stride + x / 2];
      const int cr = yuv.v[(y / 2) * yuv.uv_stride + x / 2];
      const int r = t.crToRed[cr];
      const int g = t.cbToGreen[cb] + t.crToGreen[cr];
      const int b = t.cbToBlue[cb];
      for (int k = 0; k < 4; ++k) {
        const int px = x + (k & 1);
        const int py = y + (k >> 1);
        const int l = t.luma[yuv.y[py * yuv.y_stride + px]];
        uint8_t* d = out + py * pitch + px * 4;
        d[0] = clamp[(l + b) / 16384];
        d[1] = clamp[(l + g) / 16384];
        d[2] = clamp[(l + r) / 16384];
        d[3] = 255;
      }
    }
  }
}

void Direct(benchmark::State& state) {
  orbel::InitYuvToRgbTable();
  const std::vector<uint8_t>& film = Film();
  std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 4);
  for (auto _ : state) {
    ogg_sync_state sync;
    ogg_stream_state stream;
    ogg_page page;
    ogg_packet packet;
    theora_info info;
    theora_comment comment;
    theora_state decoder;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(film.size()));
    std::memcpy(buffer, film.data(), film.size());
    ogg_sync_wrote(&sync, static_cast<long>(film.size()));
    theora_info_init(&info);
    theora_comment_init(&comment);
    bool streaming = false;
    int headers = 0;
    int frames = 0;
    while (ogg_sync_pageout(&sync, &page) > 0) {
      if (!streaming) {
        ogg_stream_init(&stream, ogg_page_serialno(&page));
        streaming = true;
      }
      ogg_stream_pagein(&stream, &page);
      while (ogg_stream_packetout(&stream, &packet) > 0) {
        if (headers < 3) {
          theora_decode_header(&info, &comment, &packet);
          if (++headers == 3) theora_decode_init(&decoder, &info);
          continue;
        }
        theora_decode_packetin(&decoder, &packet);
        yuv_buffer yuv;
        theora_decode_YUVout(&decoder, &yuv);
        Convert(yuv, rgb.data(), kWidth * 4);
        ++frames;
      }
    }
    if (frames != kFrames) state.SkipWithError("frames missing");
    benchmark::DoNotOptimize(rgb.data());
    theora_clear(&decoder);
    ogg_stream_clear(&stream);
    theora_comment_clear(&comment);
    theora_info_clear(&info);
    ogg_sync_clear(&sync);
  }
  state.counters["fps"] = benchmark::Counter(kFrames, benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(ThroughLibrary)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();
BENCHMARK(Direct)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      auto found = run.counters.find("fps");
      if (found != run.counters.end()) fps[run.run_name.function_name] = found->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> fps;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const double library = reporter.fps["ThroughLibrary"];
  const double direct = reporter.fps["Direct"];
  std::printf("\n640x480 Theora, decode + convert: library %.1f fps, libtheora + same tables %.1f fps: ratio %.2f\n",
              library, direct, direct > 0 ? library / direct : 0.0);
  return 0;
}
