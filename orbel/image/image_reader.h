// What every picture loader reads through: exact reads from a library stream, the size of what is
// left, a whole-rest-of-stream read into a tracked block, a bounded little-endian byte reader for
// header fields, and the checked size arithmetic with the limits every loader applies.
// Internal to orbel/image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "orbel/core/memory.h"
#include "orbel/file/stream.h"

namespace orbel {

// Pictures beyond these are refused as malformed: pixels per side, and bytes of one decoded block.
constexpr uint32_t kMaxImageSide = 1u << 16;
constexpr uint64_t kMaxImageBytes = 1ull << 28;

// a * b * c when it fits kMaxImageBytes, else false.
inline bool CheckedImageBytes(uint64_t a, uint64_t b, uint64_t c, uint32_t* out) {
  uint64_t ab, abc;
  if (__builtin_mul_overflow(a, b, &ab) || __builtin_mul_overflow(ab, c, &abc) || abc > kMaxImageBytes) return false;
  *out = static_cast<uint32_t>(abc);
  return true;
}

// A block from the tracked allocator, freed unless released.
class TrackedBlock {
 public:
  TrackedBlock() = default;
  ~TrackedBlock() { MemFree(block_); }
  TrackedBlock(const TrackedBlock&) = delete;
  TrackedBlock& operator=(const TrackedBlock&) = delete;
  // A new block of `size` bytes (the old one freed); false when out of memory.
  bool Allocate(uint32_t size, bool clear = false) {
    MemFree(block_);
    block_ = clear ? MemCalloc(size ? size : 1, "image", __LINE__) : MemAlloc(size ? size : 1, "image", __LINE__);
    size_ = block_ ? size : 0;
    return block_ != nullptr;
  }
  uint8_t* data() const { return static_cast<uint8_t*>(block_); }
  uint32_t size() const { return size_; }
  void* Release() {
    void* b = block_;
    block_ = nullptr;
    size_ = 0;
    return b;
  }
  void Reset() { MemFree(Release()); }

 private:
  void* block_ = nullptr;
  uint32_t size_ = 0;
};

// Exactly `size` bytes from the stream (read with block size 1); false on a short read.
inline bool StreamReadExact(StreamData* s, void* buffer, size_t size) {
  if (size == 0) return true;
  return s->functions.Read(buffer, 1, size, s->handle) == size;
}

// Bytes from the current position to the end (the position is kept); -1 when the stream cannot say.
inline int64_t StreamBytesLeft(StreamData* s) {
  int32_t here = s->functions.Tell(s->handle);
  if (here < 0 || s->functions.Seek(s->handle, 0, 2) != 0) return -1;
  int32_t end = s->functions.Tell(s->handle);
  if (s->functions.Seek(s->handle, here, 0) != 0 || end < here) return -1;
  return static_cast<int64_t>(end) - here;
}

// Everything from the current position to the end into `out` (at most `limit` bytes); false when the
// rest is larger than the limit, memory runs out or the read comes up short.
inline bool StreamReadRest(StreamData* s, TrackedBlock* out, uint64_t limit = kMaxImageBytes) {
  int64_t left = StreamBytesLeft(s);
  if (left < 0 || static_cast<uint64_t>(left) > limit) return false;
  if (!out->Allocate(static_cast<uint32_t>(left))) return false;
  return StreamReadExact(s, out->data(), static_cast<size_t>(left));
}

// A cursor over bytes in memory. Getters past the end yield 0 and mark the reader failed, so a
// truncated header turns into fields the next check refuses.
class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t U8() { return pos_ < size_ ? data_[pos_++] : Fail(); }
  uint16_t U16() {
    if (size_ - pos_ < 2) return Fail();
    uint16_t v = static_cast<uint16_t>(data_[pos_] | data_[pos_ + 1] << 8);
    pos_ += 2;
    return v;
  }
  uint32_t U32() {
    if (size_ - pos_ < 4) return Fail();
    uint32_t v = static_cast<uint32_t>(data_[pos_] | data_[pos_ + 1] << 8 | data_[pos_ + 2] << 16) |
                 static_cast<uint32_t>(data_[pos_ + 3]) << 24;
    pos_ += 4;
    return v;
  }
  int32_t I32() { return static_cast<int32_t>(U32()); }
  bool Skip(size_t n) {
    if (size_ - pos_ < n) return Fail(), false;
    pos_ += n;
    return true;
  }
  size_t position() const { return pos_; }
  size_t remaining() const { return size_ - pos_; }
  bool failed() const { return failed_; }

 private:
  uint8_t Fail() {
    failed_ = true;
    pos_ = size_;
    return 0;
  }
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool failed_ = false;
};

}  // namespace orbel
