// The memory stream set: reads a caller's block of memory through the six stream operations. The block
// is not owned; the stream record comes from the tracked heap. A short last block counts as one block,
// the one difference from the file set a loader can see.
#include "orbel/file/stream.h"

#include <cstring>

#include "orbel/core/memory.h"

namespace orbel {
namespace {

struct MemStream {
  const uint8_t* data;  // first byte of the caller's block
  uint32_t size;        // bytes
  uint32_t position;    // next byte to read, 0..size
  uint32_t endFlag;     // 1 after a read found no data left
};

MemStream* FromHandle(StreamHandle handle) { return reinterpret_cast<MemStream*>(handle); }

int32_t MemStreamTell(StreamHandle handle) {
  MemStream* stream = FromHandle(handle);
  return stream == nullptr ? -1 : static_cast<int32_t>(stream->position);
}

int MemStreamSeek(StreamHandle handle, int32_t offset, int origin) {
  MemStream* stream = FromHandle(handle);
  if (stream == nullptr) return -1;
  int64_t target = offset;
  if (origin == 1) target += stream->position;
  if (origin == 2) target += stream->size;
  if (target < 0) target = 0;
  if (target > stream->size) target = stream->size;
  stream->position = static_cast<uint32_t>(target);
  stream->endFlag = 0;
  return 0;
}

size_t MemStreamRead(void* buffer, size_t blockSize, size_t count, StreamHandle handle) {
  MemStream* stream = FromHandle(handle);
  if (stream == nullptr || blockSize == 0 || count == 0) return 0;
  if (stream->position >= stream->size) {
    stream->endFlag = 1;
    return 0;
  }
  const size_t left = stream->size - stream->position;
  if (count > left / blockSize) count = left / blockSize;
  const uint8_t* from = stream->data + stream->position;
  stream->endFlag = 0;
  if (count > 0) {
    const size_t bytes = blockSize * count;
    std::memcpy(buffer, from, bytes);
    stream->position += static_cast<uint32_t>(bytes);
    return count;
  }
  // Less than one whole block is left: deliver it and count it as one block.
  std::memcpy(buffer, from, left);
  stream->position = stream->size;
  return 1;
}

int MemStreamEof(StreamHandle handle) {
  MemStream* stream = FromHandle(handle);
  return stream == nullptr ? 1 : static_cast<int>(stream->endFlag);
}

int MemStreamIdleCheck(StreamHandle) { return 1; }

int CloseStream(StreamHandle handle) { return MemStreamClose(handle); }

constexpr StreamFunctionSet kMemStreamFunctions = {MemStreamTell, MemStreamSeek, MemStreamRead,
                                                   MemStreamEof,  MemStreamIdleCheck, CloseStream};

}  // namespace

StreamHandle MemStreamOpen(const void* data, size_t size) {
  // The record keeps the size in 32 bits; a larger block cannot be described.
  if (size > UINT32_MAX || (data == nullptr && size != 0)) return 0;
  auto* stream = static_cast<MemStream*>(MemAlloc(sizeof(MemStream), "", __LINE__));
  if (stream == nullptr) return 0;
  stream->data = static_cast<const uint8_t*>(data);
  stream->size = static_cast<uint32_t>(size);
  stream->position = 0;
  stream->endFlag = 0;
  return reinterpret_cast<StreamHandle>(stream);
}

int MemStreamClose(StreamHandle stream) {
  MemFree(FromHandle(stream));
  return 0;
}

const StreamFunctionSet& GetMemStreamFunctions() { return kMemStreamFunctions; }

}  // namespace orbel
