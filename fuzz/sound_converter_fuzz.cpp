// Fuzz target of the sound converters: any bytes go through the PCM converter from memory (PCM WAV,
// compressed WAV through the compression manager, Ogg Vorbis, MP3). An accepted source is read piece by
// piece with seeks chosen by the input's first bytes, then converted whole when its stated length is
// modest, so a converter that hands out more than it holds, never ends, or leaks is caught.
// Seeds: fuzz/corpus/sound_converter/. Run with -close_fd_mask=2: the decoders report to stderr.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "orbel/core/memory.h"
#include "orbel/file/stream.h"
#include "orbel/sound/pcm_converter.h"

namespace {
constexpr uint32_t kMaxStreamedBytes = 1u << 23;  // PCM read piece by piece per input
constexpr uint32_t kMaxWholeBytes = 1u << 24;     // stated length converted whole
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const uint8_t kEmpty = 0;
  const int blocks = orbel::GetMemoryBlockCount();
  orbel::StreamData source{orbel::GetMemStreamFunctions(), orbel::MemStreamOpen(size ? data : &kEmpty, size)};
  orbel::PcmConverterRecord conv;
  if (orbel::SetupPcmConverter(&source, &conv) == 0) {
    std::vector<uint8_t> piece(4099);
    uint32_t total = 0;
    for (int round = 0; round < 3 && total < kMaxStreamedBytes; ++round) {
      for (;;) {
        const int32_t n = orbel::ReadPcmConverter(&conv, piece.data(), static_cast<uint32_t>(piece.size()));
        if (n < 0 || n > static_cast<int32_t>(piece.size())) abort();
        if (n == 0) break;
        total += static_cast<uint32_t>(n);
        if (total >= kMaxStreamedBytes) break;
      }
      // Back to a sample the input names: the start, or somewhere inside.
      const uint32_t sample = size > 2 ? (data[round % size] | data[(round + 1) % size] << 8) * round : 0;
      orbel::SeekPcmConverter(&conv, sample);
    }
    if (orbel::GetPcmConverterLength(&conv) <= kMaxWholeBytes) {
      plat::WAVEFORMATEX format{};
      void* pcm = nullptr;
      uint32_t bytes = 0;
      if (orbel::ConvertWholeToPcm(&conv, &format, &pcm, &bytes) == 0) {
        if (bytes > orbel::GetPcmConverterLength(&conv) && conv.kind != orbel::kPcmKindWave) abort();
        orbel::MemFree(pcm);
      }
    }
    orbel::TerminatePcmConverter(&conv);
  }
  orbel::MemStreamClose(source.handle);
  if (orbel::GetMemoryBlockCount() != blocks) abort();  // a converter leaked a tracked block
  return 0;
}
