// The growable byte ring: bytes run from the read position to the write position and wrap at the
// buffer's end. Growth makes a new tracked block of (held + needed + 1000) bytes with the held bytes
// moved to its front in order; if that block cannot be had, the ring keeps its old block and data.
// Depends on: tracked memory, the log.
#include "orbel/core/ring_buffer.h"

#include <cstdint>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"

namespace orbel {

namespace {

constexpr int64_t kGrowthSlack = 1000;  // bytes added beyond what a growth needs

// Copies `length` bytes out of the ring starting at `from`, in two pieces when they wrap.
void CopyOut(const RingBuffer* ring, uint32_t from, void* destination, uint32_t length) {
  const uint32_t size = static_cast<uint32_t>(ring->bufferSize);
  auto* out = static_cast<uint8_t*>(destination);
  if (from + length <= size) {
    std::memcpy(out, ring->buffer + from, length);
  } else {
    const uint32_t first = size - from;
    std::memcpy(out, ring->buffer + from, first);
    std::memcpy(out + first, ring->buffer, length - first);
  }
}

}  // namespace

void NormalizeRingBufferPos(RingBuffer* ring) {
  if (ring->start == static_cast<uint32_t>(ring->bufferSize)) ring->start = 0;
  if (ring->end == static_cast<uint32_t>(ring->bufferSize)) ring->end = 0;
}

int ReserveRingBuffer(RingBuffer* ring, int n) {
  NormalizeRingBufferPos(ring);
  const int64_t needed = int64_t{ring->dataSize} + n;
  if (int64_t{ring->bufferSize} >= needed) return 0;

  const int64_t newSize = needed + kGrowthSlack;
  uint8_t* grown = nullptr;
  if (newSize <= INT32_MAX) grown = static_cast<uint8_t*>(MemAlloc(static_cast<uint32_t>(newSize), "", 0));
  if (grown == nullptr) {
    // The held bytes stay where they are: a failed growth must not lose queued data.
    LogFmtAdd("リングバッファの再確保に失敗しました(確保しようとしたサイズ %d byte)", static_cast<int>(newSize));
    return -1;
  }
  if (ring->dataSize > 0) CopyOut(ring, ring->start, grown, static_cast<uint32_t>(ring->dataSize));
  MemFree(ring->buffer);
  ring->buffer = grown;
  ring->start = 0;
  ring->end = static_cast<uint32_t>(ring->dataSize);
  ring->bufferSize = static_cast<int32_t>(newSize);
  return 0;
}

int PutRingBufferData(RingBuffer* ring, const void* data, int length) {
  if (length < 0 || ReserveRingBuffer(ring, length) != 0) {
    LogFmtAdd("リングバッファへのデータの追加に失敗しました(追加する長さ %d byte)", length);
    return -1;
  }
  if (length == 0) return 0;
  const uint32_t size = static_cast<uint32_t>(ring->bufferSize);
  const uint32_t count = static_cast<uint32_t>(length);
  const auto* in = static_cast<const uint8_t*>(data);
  if (ring->end + count <= size) {
    std::memcpy(ring->buffer + ring->end, in, count);
  } else {
    const uint32_t first = size - ring->end;
    std::memcpy(ring->buffer + ring->end, in, first);
    std::memcpy(ring->buffer, in + first, count - first);
  }
  ring->end = (ring->end + count) % size;
  ring->dataSize += length;
  return 0;
}

int GetRingBufferData(RingBuffer* ring, int length, void* destination, int peek) {
  if (length < 0 || ring->dataSize < length) return -1;
  NormalizeRingBufferPos(ring);
  if (length == 0) return 0;
  const uint32_t count = static_cast<uint32_t>(length);
  CopyOut(ring, ring->start, destination, count);
  if (peek == 0) {
    ring->start = (ring->start + count) % static_cast<uint32_t>(ring->bufferSize);
    ring->dataSize -= length;
  }
  return 0;
}

int TerminateRingBuffer(RingBuffer* ring) {
  MemFree(ring->buffer);
  *ring = RingBuffer{};
  return 0;
}

}  // namespace orbel
