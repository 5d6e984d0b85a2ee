// Reading the same 32 MiB through the file-access table from a plain file, a stored archive member and a
// coded (LZ) member beside POSIX read of the plain file, decoding that LZ block beside zlib's inflate of
// the same data, opening a plain file through the archive-aware and the plain sets, and opening and
// reading tiny coded members beside gzopen/gzread of the same files. After the runs it prints the
// throughput ratios and both coders' sizes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "orbel/file/file_access.h"
#include "orbel/file/qva_archive.h"
#include "orbel/file/qva_format.h"
#include "orbel/file/qva_writer.h"

namespace {

namespace fs = std::filesystem;
constexpr size_t kDataSize = 32u << 20;
constexpr size_t kChunk = 64u << 10;
constexpr int kTinyFiles = 64;      // tiny members, as a game's scripts and tables
constexpr size_t kTinySize = 1500;  // bytes each

// Game-like data: 64 KiB pieces of text, noise (already compressed pictures and sounds), smooth image
// rows and sparse tables, in turn.
std::vector<uint8_t> MakeData() {
  std::vector<uint8_t> data(kDataSize);
  uint32_t state = 12345;
  auto next = [&state] {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  static const char* const kWords[] = {"the ", "enemy ", "attacks ", "with ", "a ", "sword ", "\r\n", "stage01,", "42,"};
  for (size_t start = 0; start < kDataSize; start += kChunk) {
    uint8_t* p = data.data() + start;
    switch ((start / kChunk) % 4) {
      case 0:
        for (size_t i = 0; i < kChunk;) {
          for (const char* w = kWords[next() % 9]; *w != '\0' && i < kChunk; ++w) p[i++] = static_cast<uint8_t>(*w);
        }
        break;
      case 1:
        for (size_t i = 0; i < kChunk; ++i) p[i] = static_cast<uint8_t>(next() >> 13);
        break;
      case 2:
        for (size_t i = 0; i < kChunk; ++i) p[i] = static_cast<uint8_t>((i % 1024) / 4 + ((i / 1024) & 7) + (next() & 1));
        break;
      default:
        for (size_t i = 0; i < kChunk; ++i) p[i] = (next() & 15) == 0 ? static_cast<uint8_t>(next()) : 0;
        break;
    }
  }
  return data;
}

struct Fixture {
  std::vector<uint8_t> data;
  std::vector<uint8_t> lzBlock;
  std::vector<uint8_t> zlibData;
  fs::path work;

  Fixture() {
    data = MakeData();
    lzBlock = orbel::EncodeQvaLz(data.data(), data.size());
    uLongf zlibSize = compressBound(data.size());
    zlibData.resize(zlibSize);
    compress2(zlibData.data(), &zlibSize, data.data(), data.size(), Z_DEFAULT_COMPRESSION);
    zlibData.resize(zlibSize);

    // Installed game data lives in a quiet directory, not in /tmp, which other programs change all the
    // time (a changed directory is listed again on every open that passes it). $ORBEL_BENCH_DIR
    // overrides the place.
    const char* base = std::getenv("ORBEL_BENCH_DIR");
    std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/var/tmp") + "/orbel-file-bench-XXXXXX";
    work = mkdtemp(pattern.data());
    fs::current_path(work);
    for (const char* dir : {"PLAIN", "STORED", "CODED"}) {
      fs::create_directory(dir);
      std::ofstream(fs::path(dir) / "data.bin", std::ios::binary)
          .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    // Tiny text files: LZ-coded in TINY.QVA, gzip files in GZ for zlib.
    fs::create_directory("TINY");
    fs::create_directory("GZ");
    for (int i = 0; i < kTinyFiles; ++i) {
      const std::vector<uint8_t> text(data.begin() + static_cast<ptrdiff_t>(i * kTinySize),
                                      data.begin() + static_cast<ptrdiff_t>((i + 1) * kTinySize));
      std::ofstream(TinyName("TINY", i, ".txt"), std::ios::binary)
          .write(reinterpret_cast<const char*>(text.data()), static_cast<std::streamsize>(text.size()));
      gzFile gz = gzopen(TinyName("GZ", i, ".txt.gz").c_str(), "wb");
      gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
      gzclose(gz);
    }
    orbel::QvaWriterOptions stored;
    stored.compress = false;
    orbel::WriteQvaArchiveFromDirectory("STORED", "STORED.QVA", stored);
    orbel::WriteQvaArchiveFromDirectory("CODED", "CODED.QVA", {});
    orbel::WriteQvaArchiveFromDirectory("TINY", "TINY.QVA", {});
    for (const char* dir : {"STORED", "CODED", "TINY"}) fs::remove_all(dir);
    // Installed data has not changed for a while: its directories carry old times, as after an install.
    for (const fs::path& dir : {work, work / "PLAIN", work / "GZ"}) {
      timespec old{};
      clock_gettime(CLOCK_REALTIME, &old);
      old.tv_sec -= 3600;
      const timespec times[2] = {old, old};
      utimensat(AT_FDCWD, dir.c_str(), times, 0);
    }
    orbel::InitializeArchiveManager();
    orbel::SetFileAccessFunctions(nullptr);
  }
  static std::string TinyName(const char* dir, int i, const char* extension) {
    return std::string(dir) + "/t" + std::to_string(i) + extension;
  }
  ~Fixture() {
    orbel::InitializeArchiveManager();
    std::error_code ignored;
    fs::remove_all(work, ignored);
  }
};

Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

void ReadThroughTable(benchmark::State& state, const char* path, int readAhead) {
  Data();
  std::vector<uint8_t> buffer(kChunk);
  for (auto _ : state) {
    const orbel::FileHandle file = orbel::FileAccessOpen(path, readAhead, 1, 0);
    size_t total = 0;
    for (size_t got; (got = orbel::FileAccessRead(buffer.data(), 1, buffer.size(), file)) != 0;) total += got;
    orbel::FileAccessClose(file);
    if (total != kDataSize) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataSize);
}

void BM_ReadPlainFile(benchmark::State& state) { ReadThroughTable(state, "PLAIN/data.bin", 0); }
void BM_ReadPlainFileReadAhead(benchmark::State& state) { ReadThroughTable(state, "PLAIN/data.bin", 1); }
void BM_ReadStoredMember(benchmark::State& state) { ReadThroughTable(state, "STORED/data.bin", 0); }
void BM_ReadCodedMember(benchmark::State& state) { ReadThroughTable(state, "CODED/data.bin", 0); }

void BM_PosixRead(benchmark::State& state) {
  Data();
  std::vector<uint8_t> buffer(kChunk);
  for (auto _ : state) {
    const int fd = open("PLAIN/data.bin", O_RDONLY);
    size_t total = 0;
    for (ssize_t got; (got = read(fd, buffer.data(), buffer.size())) > 0;) total += static_cast<size_t>(got);
    close(fd);
    if (total != kDataSize) state.SkipWithError("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataSize);
}

// Opens and closes a plain file through the default table, archive-aware (plainSet 0) or plain (1).
void BM_OpenPlain(benchmark::State& state, int plainSet) {
  Data();
  orbel::SetUsePlainFileAccess(plainSet);
  orbel::SetFileAccessFunctions(nullptr);
  for (auto _ : state) {
    const orbel::FileHandle file = orbel::FileAccessOpen("PLAIN/data.bin", 0, 1, 0);
    if (file == 0) state.SkipWithError("open failed");
    orbel::FileAccessClose(file);
  }
  orbel::SetUsePlainFileAccess(0);
  orbel::SetFileAccessFunctions(nullptr);
  state.counters["opens"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}
void BM_OpenPlainDefaultSet(benchmark::State& state) { BM_OpenPlain(state, 0); }
void BM_OpenPlainPlainSet(benchmark::State& state) { BM_OpenPlain(state, 1); }

// Opens, reads whole and closes every tiny file: coded archive members, or gzip files through zlib.
void BM_TinyCodedMembers(benchmark::State& state) {
  Data();
  std::vector<uint8_t> buffer(4096);
  for (auto _ : state) {
    for (int i = 0; i < kTinyFiles; ++i) {
      const orbel::FileHandle file = orbel::FileAccessOpen(Fixture::TinyName("TINY", i, ".txt").c_str(), 0, 1, 0);
      if (orbel::FileAccessRead(buffer.data(), 1, buffer.size(), file) != kTinySize) state.SkipWithError("short read");
      orbel::FileAccessClose(file);
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.counters["files"] = benchmark::Counter(kTinyFiles, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_TinyGzread(benchmark::State& state) {
  Data();
  std::vector<uint8_t> buffer(4096);
  for (auto _ : state) {
    for (int i = 0; i < kTinyFiles; ++i) {
      gzFile gz = gzopen(Fixture::TinyName("GZ", i, ".txt.gz").c_str(), "rb");
      if (gzread(gz, buffer.data(), static_cast<unsigned>(buffer.size())) != static_cast<int>(kTinySize))
        state.SkipWithError("short read");
      gzclose(gz);
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.counters["files"] = benchmark::Counter(kTinyFiles, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_DecodeQvaLz(benchmark::State& state) {
  Fixture& f = Data();
  std::vector<uint8_t> out(kDataSize);
  for (auto _ : state) {
    if (orbel::DecodeQvaLz(f.lzBlock.data(), f.lzBlock.size(), out.data(), out.size()) != int64_t{kDataSize})
      state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataSize);
}

void BM_ZlibInflate(benchmark::State& state) {
  Fixture& f = Data();
  std::vector<uint8_t> out(kDataSize);
  for (auto _ : state) {
    uLongf size = out.size();
    if (uncompress(out.data(), &size, f.zlibData.data(), f.zlibData.size()) != Z_OK || size != kDataSize)
      state.SkipWithError("inflate failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kDataSize);
}

BENCHMARK(BM_ReadPlainFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadPlainFileReadAhead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadStoredMember)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReadCodedMember)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PosixRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenPlainDefaultSet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_OpenPlainPlainSet)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_TinyCodedMembers)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_TinyGzread)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_DecodeQvaLz)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);

// Keeps every run's throughput so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      // With --benchmark_repetitions the ratios use the medians.
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name != "median") continue;
      const std::string name = run.run_name.str();
      const std::string key = name.substr(0, name.find('/'));
      for (const char* counter : {"opens", "files"}) {
        auto per = run.counters.find(counter);
        if (per != run.counters.end()) perSecond[key] = per->second.value;
      }
      auto found = run.counters.find("bytes_per_second");
      if (found == run.counters.end()) continue;
      rates[key] = found->second.value / 1e6;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;      // MB/s
  std::map<std::string, double> perSecond;  // opens or files a second
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto rate = [&reporter](const char* name) {
    auto found = reporter.rates.find(name);
    return found == reporter.rates.end() ? 0.0 : found->second;
  };
  auto each = [&reporter](const char* name) {
    auto found = reporter.perSecond.find(name);
    return found == reporter.perSecond.end() || found->second <= 0 ? 0.0 : 1e6 / found->second;  // us
  };
  const Fixture& f = Data();
  std::printf("\nplain open, archive-aware set %.2f us, plain set %.2f us: ratio %.2f\n", each("BM_OpenPlainDefaultSet"),
              each("BM_OpenPlainPlainSet"),
              each("BM_OpenPlainDefaultSet") > 0 ? each("BM_OpenPlainPlainSet") / each("BM_OpenPlainDefaultSet") : 0.0);
  std::printf("tiny coded member %.2f us, gzopen+gzread %.2f us per file: ratio %.2f\n", each("BM_TinyCodedMembers"),
              each("BM_TinyGzread"),
              each("BM_TinyCodedMembers") > 0 ? each("BM_TinyGzread") / each("BM_TinyCodedMembers") : 0.0);
  if (rate("BM_PosixRead") > 0)
    std::printf("stored member / POSIX read: %.2f (%.0f vs %.0f MB/s)\n", rate("BM_ReadStoredMember") / rate("BM_PosixRead"),
                rate("BM_ReadStoredMember"), rate("BM_PosixRead"));
  std::printf("\nthroughput (MB/s): plain %.0f, plain read-ahead %.0f, stored member %.0f, coded member %.0f\n",
              rate("BM_ReadPlainFile"), rate("BM_ReadPlainFileReadAhead"), rate("BM_ReadStoredMember"),
              rate("BM_ReadCodedMember"));
  if (rate("BM_ReadPlainFile") > 0) {
    std::printf("stored member / plain file: %.2f\n", rate("BM_ReadStoredMember") / rate("BM_ReadPlainFile"));
    std::printf("coded member / plain file:  %.2f\n", rate("BM_ReadCodedMember") / rate("BM_ReadPlainFile"));
  }
  if (rate("BM_ZlibInflate") > 0)
    std::printf("LZ decode / zlib inflate:   %.2f (%.0f vs %.0f MB/s)\n", rate("BM_DecodeQvaLz") / rate("BM_ZlibInflate"),
                rate("BM_DecodeQvaLz"), rate("BM_ZlibInflate"));
  std::printf("coded size / data: LZ %.3f, zlib %.3f\n", double(f.lzBlock.size()) / kDataSize,
              double(f.zlibData.size()) / kDataSize);
  benchmark::Shutdown();
  return 0;
}
