// Reading the same 32 MiB through the file-access table from a plain file, a stored archive member and a
// coded (LZ) member, and decoding that LZ block beside zlib's inflate of the same data. After the runs it
// prints the throughput ratios and both coders' sizes.
#include <benchmark/benchmark.h>
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

    char pattern[] = "/tmp/orbel-file-bench-XXXXXX";
    work = mkdtemp(pattern);
    fs::current_path(work);
    for (const char* dir : {"PLAIN", "STORED", "CODED"}) {
      fs::create_directory(dir);
      std::ofstream(fs::path(dir) / "data.bin", std::ios::binary)
          .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    }
    orbel::QvaWriterOptions stored;
    stored.compress = false;
    orbel::WriteQvaArchiveFromDirectory("STORED", "STORED.QVA", stored);
    orbel::WriteQvaArchiveFromDirectory("CODED", "CODED.QVA", {});
    fs::remove_all("STORED");
    fs::remove_all("CODED");
    orbel::InitializeArchiveManager();
    orbel::SetFileAccessFunctions(nullptr);
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
BENCHMARK(BM_DecodeQvaLz)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZlibInflate)->Unit(benchmark::kMillisecond);

// Keeps every run's throughput so the ratios can be printed at the end.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      auto found = run.counters.find("bytes_per_second");
      if (found == run.counters.end()) continue;
      const std::string name = run.benchmark_name();
      rates[name.substr(0, name.find('/'))] = found->second.value / 1e6;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;  // MB/s
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
  const Fixture& f = Data();
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
