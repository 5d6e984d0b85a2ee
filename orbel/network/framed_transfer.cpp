// Length-framed transfer: moves a framed handle's bytes between its socket and its two rings, block by
// block. On the wire each block is a 4-byte little-endian body length followed by the body; a block
// carries every byte queued when its header is begun (at most kMaxFramedBlockLength). Bytes go straight
// into and out of the rings, in at most two pieces around a ring's end.
// Depends on: the handle state (network_state.h), the ring buffer, the WinSock stand-in, the log.
#include <cstdint>

#include "orbel/core/log.h"
#include "orbel/core/ring_buffer.h"
#include "orbel/network/network_state.h"
#include "orbel/network/network_system.h"

namespace orbel {

int32_t RecvSocketBusy = 0;
int32_t SendSocketBusy = 0;

namespace {

constexpr int kHeaderBytes = 4;

uint32_t ReadLengthLE(const uint8_t* bytes) {
  return uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24;
}

void WriteLengthLE(uint32_t length, uint8_t* bytes) {
  for (int i = 0; i < kHeaderBytes; ++i) bytes[i] = static_cast<uint8_t>(length >> (8 * i));
}

// Clears a busy flag on every way out.
class BusyScope {
 public:
  explicit BusyScope(int32_t& flag) : flag_(flag) { flag_ = 1; }
  ~BusyScope() { flag_ = 0; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  int32_t& flag_;
};

// The opening's checks after the dispatch: the record in use and not in error.
bool RecordUsable(const NetWorkHandleRecord& record, const char* unusedLine, const char* errorLine) {
  if (record.UseFlag == 0) {
    LogAdd(unusedLine);
    return false;
  }
  if (record.ErrorFlag == 1) {
    LogAdd(errorLine);
    return false;
  }
  return true;
}

// Takes the next header off the socket. 1 when a block has begun, 0 when the header is not all there
// (nothing taken), -1 when the length is refused or the ring cannot grow (the handle is then in error).
int BeginIncomingBlock(NetWorkHandleRecord& record) {
  uint8_t header[kHeaderBytes];
  if (plat::recv(record.Socket, header, kHeaderBytes, plat::MSG_PEEK_WS) < kHeaderBytes) return 0;
  int taken = 0;
  while (taken < kHeaderBytes) {
    // The peek saw all four bytes, so these receives cannot come up short for long.
    const int got = plat::recv(record.Socket, header + taken, kHeaderBytes - taken, 0);
    if (got <= 0) return 0;
    taken += got;
  }
  const uint32_t length = ReadLengthLE(header);
  if (length > kMaxFramedBlockLength) {
    // The peer's length is not trusted: refusing it beats allocating what it asks.
    LogFmtAdd("受信データの長さが不正です(データサイズ %u byte)", length);
    record.ErrorFlag = 1;
    return -1;
  }
  record.RecvBlockLeft = static_cast<int32_t>(length);
  record.RecvBlockLength = static_cast<int32_t>(length);
  if (ReserveRingBuffer(&record.RecvRing, static_cast<int>(length)) != 0) {
    LogFmtAdd("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)", static_cast<int>(length));
    record.ErrorFlag = 1;
    return -1;
  }
  return 1;
}

// Receives what the socket holds of the current block's body, at the ring's write position. The bytes
// moved (0 when the receive failed or the block is empty).
int ReceiveBody(NetWorkHandleRecord& record) {
  RingBuffer& ring = record.RecvRing;
  const uint32_t left = static_cast<uint32_t>(record.RecvBlockLeft);
  if (left == 0) return 0;
  NormalizeRingBufferPos(&ring);
  const uint32_t size = static_cast<uint32_t>(ring.bufferSize);
  const uint32_t write = ring.end;
  if (write + left <= size) {
    const int got = plat::recv(record.Socket, ring.buffer + write, static_cast<int>(left), 0);
    if (got <= 0) return 0;
    ring.end = write + static_cast<uint32_t>(got);
    return got;
  }
  const uint32_t toEnd = size - write;
  const int first = plat::recv(record.Socket, ring.buffer + write, static_cast<int>(toEnd), 0);
  if (first <= 0) return 0;
  if (static_cast<uint32_t>(first) < toEnd) {
    ring.end = write + static_cast<uint32_t>(first);
    return first;
  }
  const int second = plat::recv(record.Socket, ring.buffer, static_cast<int>(left - toEnd), 0);
  if (second <= 0) {
    ring.end = 0;
    return first;
  }
  ring.end = static_cast<uint32_t>(second);
  return first + second;
}

// Sends what the socket takes of the current block's body from the ring's read position. The bytes
// moved, or -1 when the first send failed.
int SendBody(NetWorkHandleRecord& record) {
  RingBuffer& ring = record.SendRing;
  const uint32_t left = record.SendBlockLeft;
  NormalizeRingBufferPos(&ring);
  const uint32_t size = static_cast<uint32_t>(ring.bufferSize);
  const uint32_t read = ring.start;
  if (read + left <= size) {
    const int sent = plat::send(record.Socket, ring.buffer + read, static_cast<int>(left), 0);
    if (sent < 0) return -1;
    ring.start = read + static_cast<uint32_t>(sent);
    return sent;
  }
  const uint32_t toEnd = size - read;
  const int first = plat::send(record.Socket, ring.buffer + read, static_cast<int>(toEnd), 0);
  if (first < 0) return -1;
  if (static_cast<uint32_t>(first) < toEnd) {
    ring.start = read + static_cast<uint32_t>(first);
    return first;
  }
  const int second = plat::send(record.Socket, ring.buffer, static_cast<int>(left - toEnd), 0);
  if (second < 0) {
    ring.start = 0;
    return first;
  }
  ring.start = static_cast<uint32_t>(second);
  return first + second;
}

// Sends the header bytes still owed. True when the whole header is out.
bool SendHeaderRest(NetWorkHandleRecord& record) {
  uint8_t header[kHeaderBytes];
  WriteLengthLE(record.SendBlockLeft, header);
  const int sent = plat::send(record.Socket, header + (kHeaderBytes - record.SendHeaderLeft), record.SendHeaderLeft, 0);
  if (sent < 0) return false;
  record.SendHeaderLeft -= sent;
  return record.SendHeaderLeft == 0;
}

// Begins a block of everything queued (up to the cap) by sending its header. True when all four
// header bytes went.
bool BeginOutgoingBlock(NetWorkHandleRecord& record) {
  const uint32_t queued = static_cast<uint32_t>(record.SendRing.dataSize);
  record.SendBlockLeft = queued < kMaxFramedBlockLength ? queued : kMaxFramedBlockLength;
  uint8_t header[kHeaderBytes];
  WriteLengthLE(record.SendBlockLeft, header);
  const int sent = plat::send(record.Socket, header, kHeaderBytes, 0);
  if (sent < 0) {
    record.SendBlockLeft = 0;  // the next try begins afresh with what is queued then
    return false;
  }
  if (sent < kHeaderBytes) {
    record.SendHeaderLeft = kHeaderBytes - sent;
    return false;
  }
  return true;
}

int ReceivePass(NetWorkHandleRecord& record) {
  ProcessNetWorkMessage(0);
  if (!RecordUsable(record, "有効なネットワークハンドルではありません in RecvSocket\n",
                    "このネットワークハンドルにはエラーが発生しています in RecvSocket\n")) {
    return -1;
  }
  if (record.FramedFlag == 0) return 0;
  for (;;) {
    if (record.RecvBlockLeft == 0) {
      const int begun = BeginIncomingBlock(record);
      if (begun <= 0) return begun;
    }
    const int count = ReceiveBody(record);
    record.RecvRing.dataSize += count;
    record.RecvBlockLeft -= count;
    const bool complete = record.RecvBlockLeft == 0;
    if (complete) record.RecvCompleteLength += record.RecvBlockLength;
    ProcessNetWorkMessage(0);
    if (count == 0 || !complete) return 0;
  }
}

int SendPass(NetWorkHandleRecord& record) {
  ProcessNetWorkMessage(0);
  if (!RecordUsable(record, "有効なネットワークハンドルではありません in SendSocket\n",
                    "このネットワークハンドルにはエラーが発生しています in SendSocket\n")) {
    return -1;
  }
  if (record.SendRing.dataSize == 0 || record.FramedFlag == 0) return 0;
  for (;;) {
    if (record.SendHeaderLeft != 0) {
      if (!SendHeaderRest(record)) return 0;
    } else if (record.SendBlockLeft == 0) {
      if (!BeginOutgoingBlock(record)) return 0;
    }
    const int count = SendBody(record);
    if (count < 0) return 0;
    record.SendRing.dataSize -= count;
    record.SendBlockLeft -= static_cast<uint32_t>(count);
    ProcessNetWorkMessage(0);
    if (count == 0 || record.SendBlockLeft != 0 || record.SendRing.dataSize == 0) return 0;
  }
}

}  // namespace

int RecvSocket(int32_t handle) {
  if (NetWorkState.StartFlag == 0) return -1;
  NetWorkHandleRecord* record = LookupNetWorkHandle(handle);
  if (record == nullptr || RecvSocketBusy) return -1;
  BusyScope busy(RecvSocketBusy);
  return ReceivePass(*record);
}

int SendSocket(int32_t handle) {
  if (NetWorkState.StartFlag == 0) return -1;
  NetWorkHandleRecord* record = LookupNetWorkHandle(handle);
  if (record == nullptr || SendSocketBusy) return -1;
  BusyScope busy(SendSocketBusy);
  return SendPass(*record);
}

}  // namespace orbel
