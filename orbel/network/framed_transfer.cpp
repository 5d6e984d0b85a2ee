// Length-framed transfer: moves a framed handle's bytes between its socket and its two rings, block by
// block. On the wire each block is a 4-byte little-endian body length followed by the body; a block
// carries every byte queued when its header is begun (at most kMaxFramedBlockLength).
// Receiving takes everything the socket holds with one call into a staging buffer and splits it into
// headers and bodies, so small blocks cost one system call per batch; the body of a large block is
// received straight into the ring, or, when the socket already holds it whole, left there until the
// taker receives it straight into its own buffer (the next pass of anyone else moves it to the ring).
// Sending gives the header and the body (two pieces around the ring's end) to one gathering send.
// Nothing is ever left in the socket waiting for more bytes: a peer whose window is full would wait for
// those bytes to be read, and both ends would stall.
// Depends on: the handle state (network_state.h), the ring buffer, the WinSock stand-in, the log.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/ring_buffer.h"
#include "orbel/network/network_state.h"
#include "orbel/network/network_system.h"

namespace orbel {

int32_t RecvSocketBusy = 0;
int32_t SendSocketBusy = 0;

namespace {

constexpr int kHeaderBytes = 4;
// Small: a batch of small blocks fits, while a large block's body mostly skips the staging copy.
constexpr int kStageBytes = 4 << 10;
// A body with at least this much still to come is received straight into the ring.
constexpr int32_t kDirectBodyMin = kStageBytes;
// A complete block with at least this much body in the socket may be left there for its taker.
constexpr int32_t kKernelTailMin = 16 << 10;

// Receives are not re-entered (RecvSocketBusy), so one staging buffer serves every handle.
uint8_t g_recvStage[kStageBytes];

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

// Begins the block whose header is complete: checks its length and makes room for it. False when the
// length is refused or the ring cannot grow (the handle is then in error).
bool BeginIncomingBlock(NetWorkHandleRecord& record) {
  const uint32_t length = ReadLengthLE(record.RecvHeaderBytes);
  record.RecvHeaderHave = 0;
  if (length > kMaxFramedBlockLength) {
    // The peer's length is not trusted: refusing it beats allocating what it asks.
    LogFmtAdd("受信データの長さが不正です(データサイズ %u byte)", length);
    record.ErrorFlag = 1;
    return false;
  }
  record.RecvBlockLeft = static_cast<int32_t>(length);
  record.RecvBlockLength = static_cast<int32_t>(length);
  if (ReserveRingBuffer(&record.RecvRing, static_cast<int>(length)) != 0) {
    LogFmtAdd("受信データを保存するリングバッファのリサイズに失敗しました(データサイズ %d byte)", static_cast<int>(length));
    record.ErrorFlag = 1;
    return false;
  }
  return true;
}

// Counts body bytes that have been put into the ring; a block's bytes count for the user once its
// last byte is in.
void AccountBody(NetWorkHandleRecord& record, int count) {
  record.RecvBlockLeft -= count;
  if (record.RecvBlockLeft == 0) record.RecvCompleteLength += record.RecvBlockLength;
}

// Splits staged bytes into headers and bodies. False when a block could not begin (handle in error).
bool TakeStaged(NetWorkHandleRecord& record, const uint8_t* bytes, int size) {
  int at = 0;
  while (at < size) {
    if (record.RecvBlockLeft == 0) {
      const int take = std::min(kHeaderBytes - record.RecvHeaderHave, size - at);
      std::memcpy(record.RecvHeaderBytes + record.RecvHeaderHave, bytes + at, static_cast<size_t>(take));
      record.RecvHeaderHave += take;
      at += take;
      if (record.RecvHeaderHave < kHeaderBytes) return true;
      if (!BeginIncomingBlock(record)) return false;
      if (record.RecvBlockLength == 0) AccountBody(record, 0);  // an empty block completes at once
      continue;
    }
    const int take = std::min(record.RecvBlockLeft, size - at);
    PutRingBufferData(&record.RecvRing, bytes + at, take);  // room was made when the block began
    at += take;
    AccountBody(record, take);
  }
  return true;
}

// Receives up to `count` bytes at the ring's write position (room already made), in at most two pieces
// around the buffer's end. The bytes moved, or the first receive's failure; *asked: the bytes asked for.
int ReceiveIntoRing(NetWorkHandleRecord& record, int32_t count, int* asked) {
  RingBuffer& ring = record.RecvRing;
  NormalizeRingBufferPos(&ring);
  const uint32_t size = static_cast<uint32_t>(ring.bufferSize);
  const uint32_t write = ring.end;
  const uint32_t first = std::min(static_cast<uint32_t>(count), size - write);
  *asked = static_cast<int>(first);
  const int got = plat::recv(record.Socket, ring.buffer + write, static_cast<int>(first), 0);
  if (got <= 0) return got;
  ring.end = write + static_cast<uint32_t>(got);
  ring.dataSize += got;
  if (static_cast<uint32_t>(got) < first || got == count) return got;
  // The piece filled the space to the buffer's end: the rest goes to the start.
  ring.end = 0;
  *asked += count - got;
  const int second = plat::recv(record.Socket, ring.buffer, count - got, 0);
  if (second <= 0) return got;
  ring.end = static_cast<uint32_t>(second);
  ring.dataSize += second;
  return got + second;
}

// The socket holds the rest of the incoming block whole (one FIONREAD).
bool SocketHoldsBlockRest(const NetWorkHandleRecord& record) {
  plat::ULONG waiting = 0;
  return plat::ioctlsocket(record.Socket, plat::FIONREAD_WS, &waiting) == 0 &&
         waiting >= static_cast<plat::ULONG>(record.RecvBlockLeft);
}

// The socket could not give bytes of a block left in it (the connection failed): they are dropped from
// the complete count, so the counts stay true to what can be taken.
void DropKernelTail(NetWorkHandleRecord& record) {
  LogFmtAdd("ソケットに残した受信データ %d byte を受け取れなかったため破棄しました", record.RecvKernelLeft);
  record.RecvCompleteLength -= record.RecvKernelLeft;
  record.RecvKernelLeft = 0;
}

// Moves the block left in the socket into the ring (its room was made when it began). False when it
// must stay for now (the socket would block) or the handle went into error.
bool PullKernelTail(NetWorkHandleRecord& record) {
  if (ReserveRingBuffer(&record.RecvRing, record.RecvKernelLeft) != 0) {
    record.ErrorFlag = 1;
    return false;
  }
  while (record.RecvKernelLeft > 0) {
    int asked;
    const int got = ReceiveIntoRing(record, record.RecvKernelLeft, &asked);
    if (got < 0 && plat::WSAGetLastError() == plat::WSAEWOULDBLOCK) return false;
    if (got <= 0) {
      DropKernelTail(record);
      return true;
    }
    record.RecvKernelLeft -= got;
  }
  return true;
}

// The peer's end has been seen and every byte before it taken: whole blocks stay readable, an
// unfinished one is dropped, and the handle reads as closed from now on.
void FinishPeerClose(NetWorkHandleRecord& record) {
  int dropped = record.RecvHeaderHave;
  if (record.RecvBlockLeft > 0) {
    dropped = kHeaderBytes + record.RecvBlockLength - record.RecvBlockLeft;
    // What the ring holds beyond the complete blocks belongs to the unfinished block (the user may
    // already have taken part of it, which leaves the complete count below zero).
    RingBuffer& ring = record.RecvRing;
    const int32_t partial = ring.dataSize - std::max(record.RecvCompleteLength, 0);
    const uint32_t size = static_cast<uint32_t>(ring.bufferSize);
    ring.end = (ring.end + size - static_cast<uint32_t>(partial) % size) % size;
    ring.dataSize -= partial;
    record.RecvCompleteLength = std::max(record.RecvCompleteLength, 0);
  }
  if (dropped > 0) LogFmtAdd("接続が切断されたため受信途中のデータ %d byte を破棄しました", dropped);
  record.RecvHeaderHave = 0;
  record.RecvBlockLeft = 0;
  record.RecvBlockLength = 0;
  record.PeerClosedFlag = 2;
  record.ConnectFlag = 0;
  record.LostNoticeFlag = 0;
}

// One receive pass. `keepTail`: a block left in the socket stays there (the taker receives it next).
int ReceivePass(NetWorkHandleRecord& record, bool keepTail) {
  ProcessNetWorkMessage(0);
  if (!RecordUsable(record, "有効なネットワークハンドルではありません in RecvSocket\n",
                    "このネットワークハンドルにはエラーが発生しています in RecvSocket\n")) {
    return -1;
  }
  record.RecvEmptiedFlag = 0;
  if (record.FramedFlag == 0 || record.PeerClosedFlag == 2) return 0;
  if (record.RecvKernelLeft > 0) {
    // Nothing behind the block can be received before it.
    if (keepTail && record.PeerClosedFlag == 0) return 0;
    if (!PullKernelTail(record)) return record.ErrorFlag == 1 ? -1 : 0;
  }
  bool filled = false;  // the last receive filled what it asked: a read notice is owed
  for (;;) {
    int asked;
    int got;
    if (record.RecvBlockLeft >= kDirectBodyMin) {
      // A large block the socket already holds whole counts as complete and stays there for its taker,
      // saving a copy through the ring. Only after a filling receive: the read notice it owes brings the
      // pump's next pass, which moves the block into the ring if nobody took it, so the socket's window
      // cannot stay shut by it.
      if (filled && record.RecvBlockLeft >= kKernelTailMin && record.PeerClosedFlag == 0 &&
          SocketHoldsBlockRest(record)) {
        record.RecvKernelLeft = record.RecvBlockLeft;
        AccountBody(record, record.RecvBlockLeft);
        break;
      }
      got = ReceiveIntoRing(record, record.RecvBlockLeft, &asked);
      if (got > 0) AccountBody(record, got);
    } else {
      asked = kStageBytes;
      got = plat::recv(record.Socket, g_recvStage, kStageBytes, 0);
      if (got > 0 && !TakeStaged(record, g_recvStage, got)) return -1;
    }
    const bool wouldBlock = got < 0 && plat::WSAGetLastError() == plat::WSAEWOULDBLOCK;
    ProcessNetWorkMessage(0);
    if (got == 0) record.PeerClosedFlag = std::max(record.PeerClosedFlag, 1);  // orderly end of the stream
    if (got <= 0) {
      record.RecvEmptiedFlag = wouldBlock ? 1 : 0;
      break;
    }
    // A short receive emptied the socket. Once the peer has ended, read on to the end itself.
    if (got < asked && record.PeerClosedFlag == 0) {
      record.RecvEmptiedFlag = 1;
      break;
    }
    filled = got == asked;
  }
  if (record.PeerClosedFlag == 1) FinishPeerClose(record);
  return 0;
}

// Sends the owed header bytes and the block's body with one call. The pieces: the header's rest, then
// the body from the ring's read position in at most two pieces around the buffer's end.
int SendPass(NetWorkHandleRecord& record) {
  // A pass with nothing to send sends nothing, and every caller dispatches around it: it skips the
  // dispatch (a message peek) that would find the queue as the caller's last one left it.
  if (record.SendRing.dataSize != 0 && record.FramedFlag != 0) ProcessNetWorkMessage(0);
  if (!RecordUsable(record, "有効なネットワークハンドルではありません in SendSocket\n",
                    "このネットワークハンドルにはエラーが発生しています in SendSocket\n")) {
    return -1;
  }
  if (record.SendRing.dataSize == 0 || record.FramedFlag == 0) return 0;
  RingBuffer& ring = record.SendRing;
  for (;;) {
    const bool begins = record.SendBlockLeft == 0 && record.SendHeaderLeft == 0;
    if (begins) {
      const uint32_t queued = static_cast<uint32_t>(ring.dataSize);
      record.SendBlockLeft = std::min(queued, kMaxFramedBlockLength);
      record.SendHeaderLeft = kHeaderBytes;
    }
    uint8_t header[kHeaderBytes];
    WriteLengthLE(record.SendBlockLeft, header);
    plat::WSABUF pieces[3];
    plat::DWORD count = 0;
    const uint32_t headerLeft = static_cast<uint32_t>(record.SendHeaderLeft);
    if (headerLeft > 0) {
      pieces[count++] = plat::WSABUF{headerLeft, reinterpret_cast<char*>(header + (kHeaderBytes - headerLeft))};
    }
    NormalizeRingBufferPos(&ring);
    const uint32_t size = static_cast<uint32_t>(ring.bufferSize);
    const uint32_t toEnd = std::min(record.SendBlockLeft, size - ring.start);
    if (toEnd > 0) pieces[count++] = plat::WSABUF{toEnd, reinterpret_cast<char*>(ring.buffer + ring.start)};
    if (record.SendBlockLeft > toEnd) {
      pieces[count++] = plat::WSABUF{record.SendBlockLeft - toEnd, reinterpret_cast<char*>(ring.buffer)};
    }
    const uint32_t bodyOffered = record.SendBlockLeft;
    plat::DWORD sent = 0;
    if (plat::WSASend(record.Socket, pieces, count, &sent, 0, nullptr, nullptr) != 0) {
      // Nothing went: a block not yet begun on the wire begins afresh with what is queued then.
      if (begins) {
        record.SendBlockLeft = 0;
        record.SendHeaderLeft = 0;
      }
      return 0;
    }
    const uint32_t headerSent = std::min<uint32_t>(sent, headerLeft);
    record.SendHeaderLeft -= static_cast<int32_t>(headerSent);
    const uint32_t bodySent = sent - headerSent;
    ring.start = (ring.start + bodySent) % size;
    ring.dataSize -= static_cast<int32_t>(bodySent);
    record.SendBlockLeft -= bodySent;
    ProcessNetWorkMessage(0);
    // A send that took less than offered found the socket full: FD_WRITE brings the rest.
    if (sent < headerLeft + bodyOffered) return 0;
    if (record.SendBlockLeft != 0 || record.SendRing.dataSize == 0) return 0;
  }
}

}  // namespace

int SendFramedMessage(int32_t handle, const void* source, int length) {
  NetWorkHandleRecord* record = LookupNetWorkHandle(handle);
  if (record == nullptr) return -1;
  // Room first: once bytes are on the wire, the rest must be queued whatever happens.
  if (ReserveRingBuffer(&record->SendRing, length) != 0) return -1;
  // An empty message adds nothing to the stream, whatever the socket's state: it never leaves as a
  // block of its own, which a peer that takes each block as a message would read as an empty one.
  const bool idle = record->SendRing.dataSize == 0 && record->SendBlockLeft == 0 && record->SendHeaderLeft == 0;
  if (!idle || length == 0 || SendSocketBusy || static_cast<uint32_t>(length) > kMaxFramedBlockLength) {
    PutRingBufferData(&record->SendRing, source, length);
    SendSocket(handle);
    return 0;
  }
  // Nothing waits: the message leaves straight from the caller's bytes, as one block, and only what
  // the socket does not take is queued.
  uint8_t header[kHeaderBytes];
  WriteLengthLE(static_cast<uint32_t>(length), header);
  plat::WSABUF pieces[2] = {{kHeaderBytes, reinterpret_cast<char*>(header)},
                            {static_cast<plat::ULONG>(length), static_cast<char*>(const_cast<void*>(source))}};
  plat::DWORD sent = 0;
  if (plat::WSASend(record->Socket, pieces, 2, &sent, 0, nullptr, nullptr) != 0) sent = 0;
  if (sent == 0) {
    PutRingBufferData(&record->SendRing, source, length);  // a fresh block, begun by the next send
    return 0;
  }
  const uint32_t headerSent = std::min<uint32_t>(sent, kHeaderBytes);
  const uint32_t bodySent = sent - headerSent;
  record->SendHeaderLeft = static_cast<int32_t>(kHeaderBytes - headerSent);
  record->SendBlockLeft = static_cast<uint32_t>(length) - bodySent;
  PutRingBufferData(&record->SendRing, static_cast<const uint8_t*>(source) + bodySent,
                    length - static_cast<int>(bodySent));
  return 0;
}

int RecvSocket(int32_t handle) {
  if (NetWorkState.StartFlag == 0) return -1;
  NetWorkHandleRecord* record = LookupNetWorkHandle(handle);
  if (record == nullptr || RecvSocketBusy) return -1;
  BusyScope busy(RecvSocketBusy);
  record->RecvDeferredFlag = 0;  // this pass serves a notice turned away earlier
  return ReceivePass(*record, false);
}

int TakeFramedBytes(int32_t handle, void* destination, int length) {
  if (NetWorkState.StartFlag == 0) return -1;
  NetWorkHandleRecord* record = LookupNetWorkHandle(handle);
  if (record == nullptr || RecvSocketBusy) return -1;
  BusyScope busy(RecvSocketBusy);
  RingBuffer& ring = record->RecvRing;
  // A pass first only when the take may need bytes still in the socket. When the ring holds them, or
  // the block waiting in the socket for this take completes them, the pass after the take receives
  // what came meanwhile, and one just before it would find the socket as that one leaves it.
  const bool held = int64_t{ring.dataSize} >= length ||
                    (record->RecvKernelLeft > 0 && record->PeerClosedFlag == 0 &&
                     int64_t{ring.dataSize} + record->RecvKernelLeft >= length);
  if (!held) {
    record->RecvDeferredFlag = 0;  // this pass serves a notice turned away earlier
    if (ReceivePass(*record, true) == -1) return -1;
  }
  // A take that needs bytes behind the block left in the socket moves it into the ring and reads on.
  if (record->RecvKernelLeft > 0 && int64_t{ring.dataSize} + record->RecvKernelLeft < length &&
      ReceivePass(*record, false) == -1) {
    return -1;
  }
  if (int64_t{ring.dataSize} + record->RecvKernelLeft < length) return -1;
  const int fromRing = std::min(length, ring.dataSize);
  // The ring's bytes come first in the stream; the rest is received from the socket straight into place
  // before anything is taken, so that a receive that falls short leaves every byte in order.
  auto* out = static_cast<uint8_t*>(destination);
  int direct = 0;
  while (direct < length - fromRing) {
    const int got = plat::recv(record->Socket, out + fromRing + direct, length - fromRing - direct, 0);
    if (got <= 0) {
      const bool later = got < 0 && plat::WSAGetLastError() == plat::WSAEWOULDBLOCK;
      PutRingBufferData(&ring, out + fromRing, direct);  // room was made when the block began
      record->RecvKernelLeft -= direct;
      if (!later) DropKernelTail(*record);
      return -1;
    }
    direct += got;
  }
  record->RecvKernelLeft -= direct;
  GetRingBufferData(&ring, fromRing, destination, 0);
  record->RecvCompleteLength -= length;
  return 0;
}

int SendSocket(int32_t handle) {
  if (NetWorkState.StartFlag == 0) return -1;
  NetWorkHandleRecord* record = LookupNetWorkHandle(handle);
  if (record == nullptr || SendSocketBusy) return -1;
  BusyScope busy(SendSocketBusy);
  return SendPass(*record);
}

}  // namespace orbel
