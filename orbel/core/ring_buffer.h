// A growable byte queue with read and write positions that wrap at the buffer's end; an all-zero record
// is an empty queue. The network layer keeps one for sending and one for receiving per connection.
#pragma once

#include <cstdint>

namespace orbel {

struct RingBuffer {
  uint8_t* buffer;     // tracked block, or null
  uint32_t start;      // read position
  uint32_t end;        // write position
  int32_t dataSize;    // bytes held
  int32_t bufferSize;  // bytes allocated
};

void NormalizeRingBufferPos(RingBuffer* ring);
// Makes room for n more bytes; -1 (data kept) when memory runs out.
int ReserveRingBuffer(RingBuffer* ring, int n);
int PutRingBufferData(RingBuffer* ring, const void* data, int length);
// Copies `length` bytes out; unless peeking they are consumed. -1 when fewer are held.
int GetRingBufferData(RingBuffer* ring, int length, void* destination, int peek);
int TerminateRingBuffer(RingBuffer* ring);

}  // namespace orbel
