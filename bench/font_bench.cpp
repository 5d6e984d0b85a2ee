// Cost of text: a frame of 1,000 strings of 20 Japanese characters drawn with a warm glyph cache onto a
// 640 x 480 screen (software rendering, 16 and 32 bits, plain and antialiased fonts of size 16), and the
// cost of one cold glyph (rendered into the cache on first use). Beside each, two FreeType peers with the
// same face at the same size: the cold one renders every glyph again for every character (FT_Load_Char
// with rendering, the glyph's bits copied into a 32-bit frame), the cached one renders each glyph once
// into a simple cache (its coverage bytes) and blits it per character into a frame of the same depth,
// storing the colour where a plain glyph has ink and blending the coverage over the frame for
// antialiased text, as a user's own text cache does. Prints ms per frame (us per cold glyph) and the
// ratios peer time / ours; then each frame of ours run in turn with the cached peer's, 101 times, with
// the medians of both and of the per-turn ratio, which a loaded machine disturbs least.
// Depends on Google Benchmark, FreeType and fontconfig (the face file of the default face).
#include <benchmark/benchmark.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <iconv.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "include/orbel.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_state.h"

namespace {

constexpr int kW = 640;
constexpr int kH = 480;
constexpr int kStrings = 1000;
constexpr int kChars = 20;
constexpr int kSize = 16;

// Hiragana: Shift-JIS 0x829F-0x82F1 is U+3041-U+3093 in order.
struct Text {
  std::string sjis;
  std::u32string unicode;
  int x, y;
};

const std::vector<Text>& Strings() {
  static const std::vector<Text> texts = [] {
    std::mt19937 rng(11);
    std::vector<Text> t(kStrings);
    for (Text& s : t) {
      for (int i = 0; i < kChars; ++i) {
        const int k = static_cast<int>(rng() % 83);
        s.sjis += static_cast<char>(0x82);
        s.sjis += static_cast<char>(0x9F + k);
        s.unicode += static_cast<char32_t>(0x3041 + k);
      }
      s.x = static_cast<int>(rng() % (kW - kChars * kSize / 2));
      s.y = static_cast<int>(rng() % (kH - kSize));
    }
    return t;
  }();
  return texts;
}

// Level-1 kanji in Shift-JIS order (lead bytes 0x89-0x97) with their code points (through iconv), each
// used once by the cold runs.
struct Kanji {
  std::string sjis;
  char32_t unicode;
};

const std::vector<Kanji>& KanjiList() {
  static const std::vector<Kanji> list = [] {
    std::vector<Kanji> k;
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    for (int lead = 0x89; lead <= 0x97; ++lead) {
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
        char32_t out = 0;
        char* inp = in;
        char* outp = reinterpret_cast<char*>(&out);
        size_t inLeft = 2;
        size_t outLeft = sizeof out;
        if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<size_t>(-1)) k.push_back({std::string(in, 2), out});
      }
    }
    iconv_close(cd);
    return k;
  }();
  return list;
}

std::map<std::string, double> gTime;

class TableReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred && (run.run_type == Run::RT_Iteration || run.aggregate_name == "median")) {
        gTime[run.run_name.str()] = run.GetAdjustedRealTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

// ---- FreeType straight into a bitmap ----------------------------------------------------------------

FT_Library gFreeType = nullptr;
FT_Face gFace = nullptr;

bool OpenFace() {
  if (gFace != nullptr) return true;
  if (FcInit() == FcFalse || FT_Init_FreeType(&gFreeType) != 0) return false;
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("IPAGothic"));
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  FcChar8* file = nullptr;
  if (match == nullptr || FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return false;
  const bool opened = FT_New_Face(gFreeType, reinterpret_cast<const char*>(file), 0, &gFace) == 0;
  FcPatternDestroy(match);
  return opened && FT_Set_Pixel_Sizes(gFace, 0, kSize) == 0;
}

// One glyph rendered and its ink copied into the frame at the pen position; the advance.
int FreeTypeGlyph(char32_t c, bool antialias, uint32_t* frame, int penX, int top) {
  const FT_Int32 flags = FT_LOAD_RENDER | (antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
  if (FT_Load_Char(gFace, c, flags) != 0) return 0;
  const FT_GlyphSlot g = gFace->glyph;
  const FT_Bitmap& b = g->bitmap;
  const int x0 = penX + g->bitmap_left;
  const int y0 = top + kSize - 2 - g->bitmap_top;
  for (int y = 0; y < static_cast<int>(b.rows); ++y) {
    const int dy = y0 + y;
    if (dy < 0 || dy >= kH) continue;
    const uint8_t* row = b.buffer + static_cast<ptrdiff_t>(y) * b.pitch;
    for (int x = 0; x < static_cast<int>(b.width); ++x) {
      const int dx = x0 + x;
      if (dx < 0 || dx >= kW) continue;
      const int v = b.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255 : row[x];
      if (v != 0) frame[dy * kW + dx] = 0xFF000000u | static_cast<uint32_t>(v * 0x010101);
    }
  }
  return static_cast<int>(g->advance.x >> 6);
}

void FreeTypeFrames(benchmark::State& state, bool antialias) {
  if (!OpenFace()) {
    state.SkipWithError("no IPAGothic face");
    return;
  }
  std::vector<uint32_t> frame(kW * kH);
  for (auto _ : state) {
    std::fill(frame.begin(), frame.end(), 0);
    for (const Text& t : Strings()) {
      int pen = t.x;
      for (char32_t c : t.unicode) pen += FreeTypeGlyph(c, antialias, frame.data(), pen, t.y);
    }
    benchmark::DoNotOptimize(frame.data());
  }
}

// ---- FreeType glyphs cached once, blitted per character -----------------------------------------------

// One cached glyph: its coverage (mono glyphs spread to 0 / 255), box and advance.
struct CachedGlyph {
  int left = 0;
  int top = 0;
  int width = 0;
  int rows = 0;
  int advance = 0;
  std::vector<uint8_t> coverage;
};

// The hiragana the strings use, by code point from U+3041.
std::vector<CachedGlyph> BuildGlyphCache(bool antialias) {
  std::vector<CachedGlyph> cache(83);
  const FT_Int32 flags = FT_LOAD_RENDER | (antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
  for (int k = 0; k < 83; ++k) {
    if (FT_Load_Char(gFace, 0x3041 + k, flags) != 0) continue;
    const FT_GlyphSlot g = gFace->glyph;
    const FT_Bitmap& b = g->bitmap;
    CachedGlyph& c = cache[k];
    c.left = g->bitmap_left;
    c.top = kSize - 2 - g->bitmap_top;
    c.width = static_cast<int>(b.width);
    c.rows = static_cast<int>(b.rows);
    c.advance = static_cast<int>(g->advance.x >> 6);
    c.coverage.resize(static_cast<size_t>(c.width) * c.rows);
    for (int y = 0; y < c.rows; ++y) {
      const uint8_t* row = b.buffer + static_cast<ptrdiff_t>(y) * b.pitch;
      for (int x = 0; x < c.width; ++x) {
        c.coverage[y * c.width + x] =
            b.pixel_mode == FT_PIXEL_MODE_MONO ? static_cast<uint8_t>(((row[x >> 3] >> (7 - (x & 7))) & 1) * 255) : row[x];
      }
    }
  }
  return cache;
}

inline uint32_t Blend32(uint32_t d, uint32_t c, int a) {
  uint32_t out = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const uint32_t dc = (d >> shift) & 0xFF;
    const uint32_t cc = (c >> shift) & 0xFF;
    out |= ((dc * (256 - a) + cc * a) >> 8) << shift;
  }
  return out;
}

inline uint16_t Blend16(uint16_t d, uint16_t c, int a) {
  const auto field = [&](int shift, uint32_t mask) {
    const uint32_t dc = (d >> shift) & mask;
    const uint32_t cc = (c >> shift) & mask;
    return ((dc * (256 - a) + cc * a) >> 8) << shift;
  };
  return static_cast<uint16_t>(field(11, 31) | field(5, 63) | field(0, 31));
}

// One cached glyph drawn at the pen position, clipped to the frame.
template <typename Pixel>
void BlitCachedGlyph(const CachedGlyph& c, bool antialias, Pixel color, Pixel* frame, int penX, int top) {
  const int x0 = penX + c.left;
  const int y0 = top + c.top;
  const int xFrom = std::max(0, -x0);
  const int xTo = std::min(c.width, kW - x0);
  for (int y = std::max(0, -y0); y < c.rows && y0 + y < kH; ++y) {
    const uint8_t* cov = c.coverage.data() + y * c.width;
    Pixel* dst = frame + (y0 + y) * kW + x0;
    for (int x = xFrom; x < xTo; ++x) {
      const int a = cov[x];
      if (a == 0) continue;
      if (!antialias || a == 255) {
        dst[x] = color;
      } else if constexpr (sizeof(Pixel) == 2) {
        dst[x] = Blend16(dst[x], color, a);
      } else {
        dst[x] = Blend32(dst[x], color, a);
      }
    }
  }
}

// The cached peer's frame: glyphs rendered once into `cache`, blitted per character.
template <typename Pixel>
struct CachedPeer {
  explicit CachedPeer(bool antialias) : antialias(antialias), cache(BuildGlyphCache(antialias)), frame(kW * kH) {}
  void Frame() {
    const Pixel white = sizeof(Pixel) == 2 ? static_cast<Pixel>(0xFFFF) : static_cast<Pixel>(0xFFFFFF);
    std::fill(frame.begin(), frame.end(), 0);
    for (const Text& t : Strings()) {
      int pen = t.x;
      for (char32_t ch : t.unicode) {
        const CachedGlyph& c = cache[ch - 0x3041];
        BlitCachedGlyph(c, antialias, white, frame.data(), pen, t.y);
        pen += c.advance;
      }
    }
    benchmark::DoNotOptimize(frame.data());
  }
  bool antialias;
  std::vector<CachedGlyph> cache;
  std::vector<Pixel> frame;
};

template <typename Pixel>
void CachedFreeTypeFrames(benchmark::State& state, bool antialias) {
  if (!OpenFace()) {
    state.SkipWithError("no IPAGothic face");
    return;
  }
  CachedPeer<Pixel> peer(antialias);
  for (auto _ : state) peer.Frame();
}

void FreeTypeCold(benchmark::State& state) {
  if (!OpenFace()) {
    state.SkipWithError("no IPAGothic face");
    return;
  }
  std::vector<uint32_t> frame(kW * kH);
  size_t i = 0;
  for (auto _ : state) {
    const Kanji& k = KanjiList()[i++ % KanjiList().size()];
    benchmark::DoNotOptimize(FreeTypeGlyph(k.unicode, false, frame.data(), 0, 0));
  }
}

// ---- The library ------------------------------------------------------------------------------------

// Interleaved runs: ours and the cached peer's frame in turn; the medians of each and of their ratio.
struct Paired {
  double ours = 0;  // ms
  double peer = 0;
  double ratio = 0;  // peer / ours
};
std::map<std::string, Paired> gPaired;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <class Ours, class Peer>
Paired Interleaved(Ours ours, Peer peer) {
  constexpr int kRounds = 101;
  std::vector<double> a;
  std::vector<double> b;
  std::vector<double> r;
  const auto ms = [](auto f) {
    timespec start{};
    timespec end{};
    clock_gettime(CLOCK_MONOTONIC, &start);
    f();
    clock_gettime(CLOCK_MONOTONIC, &end);
    return static_cast<double>(end.tv_sec - start.tv_sec) * 1e3 + static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e6;
  };
  for (int i = 0; i < kRounds; ++i) {
    const double p = ms([&] { peer.Frame(); });
    const double o = ms(ours);
    a.push_back(o);
    b.push_back(p);
    r.push_back(p / o);
  }
  return {Median(a), Median(b), Median(r)};
}

int gBits = 0;

bool StartLibrary(int bits) {
  if (gBits == bits) return true;
  if (gBits != 0) EndLibraryLocked();
  gBits = 0;
  ChangeWindowMode(0);
  orbel::SetSoftwareRenderMode(1);
  if (orbel::SetScreenMode(kW, kH, bits, 0) < 0 || InitLibraryLocked() != 0) return false;
  gBits = bits;
  orbel::SelectDrawScreen(orbel::kDrawScreenBack);
  return true;
}

void LibraryFrames(benchmark::State& state, int bits, int type) {
  if (!StartLibrary(bits)) {
    state.SkipWithError("the library did not start");
    return;
  }
  const int font = CreateFontToHandle(nullptr, kSize, 6, type, -1, -1, 0, -1, -1);
  const uint32_t white = orbel::MakeColor(255, 255, 255);
  for (const Text& t : Strings()) DrawTextToFontHandle(t.x, t.y, t.sjis.c_str(), white, font, 0, 0);  // warm
  const auto frame = [&] {
    orbel::ClearTargetScreen();
    for (const Text& t : Strings()) DrawTextToFontHandle(t.x, t.y, t.sjis.c_str(), white, font, 0, 0);
  };
  for (auto _ : state) frame();
  // Interleaved with the cached peer, frame for frame, so that a loaded machine slows both alike.
  if (OpenFace()) {
    const std::string kind = std::to_string(bits) + (type == 0 ? "/plain" : "/antialiased");
    if (bits == 16) gPaired[kind] = Interleaved(frame, CachedPeer<uint16_t>(type != 0));
    else gPaired[kind] = Interleaved(frame, CachedPeer<uint32_t>(type != 0));
  }
  DeleteFontHandle(font);
}

// A glyph rendered into the cache on first use: a new font, and every kanji new to it.
void LibraryCold(benchmark::State& state) {
  if (!StartLibrary(32)) {
    state.SkipWithError("the library did not start");
    return;
  }
  const int font = CreateFontToHandle(nullptr, kSize, 6, 0, -1, -1, 0, -1, -1);
  size_t i = 0;
  for (auto _ : state) {
    const Kanji& k = KanjiList()[i++ % KanjiList().size()];
    benchmark::DoNotOptimize(GetTextWidthToFontHandle(k.sjis.c_str(), -1, font, 0));
  }
  DeleteFontHandle(font);
}

void PrintPaired() {
  std::printf("\n%-34s %10s %10s %10s\n", "interleaved with the cached peer", "ours ms", "peer ms", "median p/o");
  for (const auto& [kind, p] : gPaired) {
    std::printf("%-34s %10.3f %10.3f %10.2f\n", ("OrbelFrame/" + kind).c_str(), p.ours, p.peer, p.ratio);
  }
}

void PrintTable() {
  const auto time = [](const std::string& name) {
    const auto it = gTime.find(name);
    return it == gTime.end() ? -1.0 : it->second;
  };
  const auto row = [&](const std::string& ours, const std::string& cold, const std::string& cached) {
    const double a = time(ours);
    const double b = time(cold);
    const double c = cached.empty() ? -1.0 : time(cached);
    if (a <= 0) return std::printf("%-34s %10s\n", ours.c_str(), "failed"), void();
    std::printf("%-34s %10.3f", ours.c_str(), a);
    for (const double peer : {b, c}) {
      if (peer > 0) std::printf(" %10.3f %10.2f", peer, peer / a);
      else std::printf(" %10s %10s", "-", "-");
    }
    std::printf("\n");
  };
  std::printf("\n%-34s %10s %10s %10s %10s %10s\n", "run (ms per frame; cold: us)", "ours", "FT cold", "cold/ours",
              "FT cached", "cached/our");
  row("OrbelFrame/16/plain", "FreeTypeFrame/plain", "FreeTypeCachedFrame/16/plain");
  row("OrbelFrame/32/plain", "FreeTypeFrame/plain", "FreeTypeCachedFrame/32/plain");
  row("OrbelFrame/16/antialiased", "FreeTypeFrame/antialiased", "FreeTypeCachedFrame/16/antialiased");
  row("OrbelFrame/32/antialiased", "FreeTypeFrame/antialiased", "FreeTypeCachedFrame/32/antialiased");
  row("OrbelColdGlyph/iterations:2000", "FreeTypeColdGlyph/iterations:2000", "");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::RegisterBenchmark("FreeTypeFrame/plain", FreeTypeFrames, false)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("FreeTypeFrame/antialiased", FreeTypeFrames, true)->Unit(benchmark::kMillisecond);
  for (int bits : {16, 32}) {
    for (int type : {0, 2}) {
      const std::string kind = std::to_string(bits) + (type == 0 ? "/plain" : "/antialiased");
      const std::string cached = "FreeTypeCachedFrame/" + kind;
      if (bits == 16) {
        benchmark::RegisterBenchmark(cached.c_str(), CachedFreeTypeFrames<uint16_t>, type != 0)->Unit(benchmark::kMillisecond);
      } else {
        benchmark::RegisterBenchmark(cached.c_str(), CachedFreeTypeFrames<uint32_t>, type != 0)->Unit(benchmark::kMillisecond);
      }
      benchmark::RegisterBenchmark(("OrbelFrame/" + kind).c_str(), LibraryFrames, bits, type)->Unit(benchmark::kMillisecond);
    }
  }
  // Cold runs stop before the kanji run out, so every glyph is one the font has not seen.
  benchmark::RegisterBenchmark("OrbelColdGlyph", LibraryCold)->Iterations(2000)->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("FreeTypeColdGlyph", FreeTypeCold)->Iterations(2000)->Unit(benchmark::kMicrosecond);
  benchmark::Initialize(&argc, argv);
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  if (gBits != 0) EndLibraryLocked();
  PrintTable();
  PrintPaired();
  return 0;
}
