// Decoding a 3-minute MP3 and a 3-minute Ogg Vorbis file to PCM through the library's converter, beside
// libmpg123 and libvorbisfile called directly on the same bytes. The files are made on first use with
// sox (pink noise, 44,100 Hz stereo), lame (192 kbit/s) and oggenc (quality 5) under the build tree.
#include <benchmark/benchmark.h>
#include <mpg123.h>
#include <vorbis/vorbisfile.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "orbel/file/stream.h"
#include "orbel/sound/pcm_converter.h"

namespace {

const std::filesystem::path kDir = std::filesystem::temp_directory_path() / "orbel-sound-bench";

// The bytes of the named 3-minute file, made once.
const std::vector<uint8_t>& File(const char* name) {
  static std::vector<uint8_t> mp3, ogg;
  const bool isMp3 = std::strcmp(name, "mp3") == 0;
  std::vector<uint8_t>& bytes = isMp3 ? mp3 : ogg;
  if (!bytes.empty()) return bytes;
  std::filesystem::create_directories(kDir);
  const std::string wav = (kDir / "source.wav").string();
  const std::string out = (kDir / (std::string("music.") + name)).string();
  if (!std::filesystem::exists(out)) {
    std::string command = "sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth 180 pinknoise vol 0.3 && ";
    command += isMp3 ? "lame --quiet -b 192 '" + wav + "' '" + out + "'" : "oggenc -Q -q 5 -o '" + out + "' '" + wav + "'";
    if (std::system(command.c_str()) != 0) {
      std::fprintf(stderr, "cannot make %s (sox, lame and oggenc are needed)\n", out.c_str());
      std::exit(1);
    }
  }
  std::ifstream in(out, std::ios::binary);
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return bytes;
}

std::vector<uint8_t> gPcm(1 << 16);

// The library: the converter over a memory stream, read in 64 KiB pieces to the end.
void ThroughLibrary(benchmark::State& state, const char* name) {
  const std::vector<uint8_t>& file = File(name);
  for (auto _ : state) {
    orbel::StreamData s{orbel::GetMemStreamFunctions(), orbel::MemStreamOpen(file.data(), file.size())};
    orbel::PcmConverterRecord conv;
    if (orbel::SetupPcmConverter(&s, &conv) != 0) {
      state.SkipWithError("the converter refused the file");
      break;
    }
    int64_t total = 0;
    for (int32_t n; (n = orbel::ReadPcmConverter(&conv, gPcm.data(), gPcm.size())) > 0;) total += n;
    orbel::TerminatePcmConverter(&conv);
    orbel::MemStreamClose(s.handle);
    state.counters["pcm_bytes"] = static_cast<double>(total);
  }
}

void Mp3ThroughLibrary(benchmark::State& state) { ThroughLibrary(state, "mp3"); }
void OggThroughLibrary(benchmark::State& state) { ThroughLibrary(state, "ogg"); }

// libmpg123 in feed mode, the whole file fed at once, as 16-bit output.
void Mp3Direct(benchmark::State& state) {
  const std::vector<uint8_t>& file = File("mp3");
  mpg123_init();
  for (auto _ : state) {
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_open_feed(h);
    mpg123_feed(h, file.data(), file.size());
    int64_t total = 0;
    for (;;) {
      size_t done = 0;
      const int r = mpg123_read(h, gPcm.data(), gPcm.size(), &done);
      total += static_cast<int64_t>(done);
      if (r != MPG123_OK && r != MPG123_NEW_FORMAT) break;
    }
    mpg123_delete(h);
    state.counters["pcm_bytes"] = static_cast<double>(total);
  }
}

// libvorbisfile from memory through its callbacks.
struct MemoryFile {
  const std::vector<uint8_t>* bytes;
  size_t at;
};
size_t MemRead(void* p, size_t size, size_t count, void* source) {
  auto* m = static_cast<MemoryFile*>(source);
  const size_t n = std::min(size * count, m->bytes->size() - m->at);
  std::memcpy(p, m->bytes->data() + m->at, n);
  m->at += n;
  return size ? n / size : 0;
}
int MemSeek(void* source, ogg_int64_t offset, int whence) {
  auto* m = static_cast<MemoryFile*>(source);
  const int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? static_cast<int64_t>(m->at) : static_cast<int64_t>(m->bytes->size());
  const int64_t to = base + offset;
  if (to < 0 || to > static_cast<int64_t>(m->bytes->size())) return -1;
  m->at = static_cast<size_t>(to);
  return 0;
}
long MemTell(void* source) { return static_cast<long>(static_cast<MemoryFile*>(source)->at); }

void OggDirect(benchmark::State& state) {
  const std::vector<uint8_t>& file = File("ogg");
  for (auto _ : state) {
    MemoryFile m{&file, 0};
    OggVorbis_File vf;
    const ov_callbacks callbacks = {MemRead, MemSeek, nullptr, MemTell};
    ov_open_callbacks(&m, &vf, nullptr, 0, callbacks);
    int64_t total = 0;
    int bitstream = 0;
    for (long n; (n = ov_read(&vf, reinterpret_cast<char*>(gPcm.data()), 4096, 0, 2, 1, &bitstream)) > 0;) total += n;
    ov_clear(&vf);
    state.counters["pcm_bytes"] = static_cast<double>(total);
  }
}

}  // namespace

BENCHMARK(Mp3ThroughLibrary)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(Mp3Direct)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(OggThroughLibrary)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(OggDirect)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
