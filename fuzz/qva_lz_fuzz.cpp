// Fuzz target of the QVA LZ decoder: the input is an LZ block (head and codes) decoded into a buffer of
// its stated size; the input is also coded by the writer's coder and must decode back unchanged.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "orbel/file/qva_format.h"
#include "orbel/file/qva_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr int64_t kMaxOutput = 1 << 22;  // larger blocks are refused rather than allocated
  const int64_t decodedSize = orbel::DecodeQvaLz(data, size, nullptr, 0);
  if (decodedSize >= 0 && decodedSize <= kMaxOutput) {
    std::vector<uint8_t> out(static_cast<size_t>(decodedSize));
    const int64_t result = orbel::DecodeQvaLz(data, size, out.data(), out.size());
    if (result != -1 && result != decodedSize) std::abort();
  }

  const std::vector<uint8_t> block = orbel::EncodeQvaLz(data, size);
  std::vector<uint8_t> back(size);
  if (orbel::DecodeQvaLz(block.data(), block.size(), back.data(), back.size()) != static_cast<int64_t>(size)) std::abort();
  if (size != 0 && std::memcmp(back.data(), data, size) != 0) std::abort();
  return 0;
}
