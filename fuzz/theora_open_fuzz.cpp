// Fuzz target of the Theora open: the input is a file read through a file-access table over memory. It
// goes through the "OggS" probe, the header reader, the page and key-frame scan and, when it opens, a
// seek, a move forward and a move round past the end on the decode thread, each converted, then the
// close. Every Ogg page's checksum is set afresh first, so mutations reach past the framing; how large a
// coded frame may be is the library's own check. The corpus (fuzz/corpus/theora_open) holds small films
// made with the movie tests' encoder and the inputs that once found faults (regress_*).
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/ogg_page_checksums.h"
#include "orbel/movie/movie_record.h"

namespace {

struct MemoryFile {
  const uint8_t* data;
  size_t size;
  size_t position;
};

MemoryFile* File(orbel::FileHandle handle) { return reinterpret_cast<MemoryFile*>(handle); }

size_t Read(void* buffer, size_t blockSize, size_t count, orbel::FileHandle handle) {
  MemoryFile* f = File(handle);
  if (blockSize == 0) return 0;
  const size_t blocks = std::min(count, (f->size - f->position) / blockSize);
  if (blocks == 0) return 0;  // an empty input has no bytes to point at
  std::memcpy(buffer, f->data + f->position, blocks * blockSize);
  f->position += blocks * blockSize;
  return blocks;
}

int Seek(orbel::FileHandle handle, int32_t offset, int origin) {
  MemoryFile* f = File(handle);
  int64_t target = offset;
  if (origin == 1) target += static_cast<int64_t>(f->position);
  if (origin == 2) target += static_cast<int64_t>(f->size);
  if (target < 0 || target > static_cast<int64_t>(f->size)) return -1;
  f->position = static_cast<size_t>(target);
  return 0;
}

int Eof(orbel::FileHandle handle) { return File(handle)->position >= File(handle)->size ? -1 : 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool tables = (orbel::InitYuvToRgbTable(), true);
  (void)tables;
  const std::vector<uint8_t> bytes = fuzz::WithPageChecksums(data, size);
  MemoryFile file{bytes.data(), bytes.size(), 0};
  orbel::FileAccessFunctionTable table{};
  table.Read = Read;
  table.Seek = Seek;
  table.Eof = Eof;
  orbel::TheoraMovieRecord* th =
      orbel::OpenTheoraMovie(&table, reinterpret_cast<orbel::FileHandle>(&file), 3);
  if (th == nullptr) return 0;
  orbel::TheoraMovieInfo info{};
  orbel::GetTheoraMovieInfo(th, &info);
  orbel::SeekTheoraMovieFrame(th, info.frameCount / 2);
  orbel::UpdateTheoraMovieFrameImage(th, 1, 1);
  orbel::AdvanceTheoraMovieFrame(th, 2);
  orbel::UpdateTheoraMovieFrameImage(th, 1, 0);
  orbel::AdvanceTheoraMovieFrame(th, info.frameCount - 1);
  orbel::UpdateTheoraMovieFrameImage(th, 1, 0);
  orbel::CloseTheoraMovie(th);
  return 0;
}
