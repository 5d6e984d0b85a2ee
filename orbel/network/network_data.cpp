// The data calls on a network handle: take, peek at and send bytes, ask how much has arrived and
// whether the connection stands, and take one text line. Framed handles work on their rings (kept
// filled and emptied by RecvSocket / SendSocket), raw handles straight on the socket.
// Depends on: the handle state, the framed transfer, the ring buffer, the string routines, the log.
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/ring_buffer.h"
#include "orbel/core/string_routines.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_state.h"
#include "orbel/network/network_system.h"

namespace orbel {

namespace {

constexpr int kLineBufferSize = 256;
constexpr int kLinePeekMax = kLineBufferSize - 1;

// The checks after the dispatch, with the operation's own name in the lines.
NetWorkHandleRecord* CheckRecord(int32_t handle, const char* name, const char* errorName) {
  NetWorkHandleRecord* record = LookupNetWorkHandle(handle);
  if (record == nullptr || record->UseFlag == 0) {
    LogFmtAdd("有効なネットワークハンドルではありません in %s", name);
    return nullptr;
  }
  if (record->ErrorFlag == 1) {
    LogFmtAdd("このネットワークハンドルにはエラーが発生しています in %s", errorName);
    return nullptr;
  }
  return record;
}

// The common opening: start flag and handle check (-1 without a line), the dispatch, the record checks.
NetWorkHandleRecord* OpenDataCall(int32_t handle, const char* name, const char* errorName = nullptr) {
  if (NetWorkState.StartFlag == 0 || LookupNetWorkHandle(handle) == nullptr) return nullptr;
  ProcessNetWorkMessage(0);
  return CheckRecord(handle, name, errorName != nullptr ? errorName : name);
}

int TakeOrPeek(int32_t handle, void* destination, int length, bool peek) {
  if (length < 0) return -1;
  NetWorkHandleRecord* record = OpenDataCall(handle, peek ? "NetWorkRecvToPeek" : "NetWorkRecv");
  if (record == nullptr) return -1;
  if (record->FramedFlag == 1 && !peek) {
    // Its own receive pass first: a large block may wait in the socket to be received straight here.
    const int32_t inSocket = record->RecvKernelLeft;
    if (TakeFramedBytes(handle, destination, length) != 0) return -1;
    // Bytes taken from the socket re-armed its read notice, which brings what follows; otherwise the
    // pass takes what came meanwhile, unless the last pass emptied the socket and no read notice has
    // come since (when one comes, the pump's pass serves it).
    if (record->RecvKernelLeft == inSocket && (record->RecvDeferredFlag != 0 || record->RecvEmptiedFlag == 0)) {
      RecvSocket(handle);
    }
    return 0;
  }
  if (RecvSocket(handle) == -1) return -1;
  if (record->FramedFlag == 0) {
    return plat::recv(record->Socket, destination, length, peek ? plat::MSG_PEEK_WS : 0);
  }
  if (record->RecvRing.dataSize < length) return -1;
  GetRingBufferData(&record->RecvRing, length, destination, 1);
  RecvSocket(handle);
  return 0;
}

// Takes `count` bytes that a peek has just shown: false when they could not all be taken.
bool TakeShownBytes(int32_t handle, bool framed, char* into, int count) {
  const int result = NetWorkRecv(handle, into, count);
  return framed ? result == 0 : result == count;
}

}  // namespace

int NetWorkRecv(int32_t handle, void* destination, int length) {
  return TakeOrPeek(handle, destination, length, false);
}

int NetWorkRecvToPeek(int32_t handle, void* destination, int length) {
  return TakeOrPeek(handle, destination, length, true);
}

int NetWorkSend(int32_t handle, const void* source, int length) {
  if (length < 0) return -1;
  NetWorkHandleRecord* record = OpenDataCall(handle, "NetWorkSend");
  if (record == nullptr || record->ConnectFlag == 0) return -1;
  SendSocket(handle);  // what already waits goes first
  if (record->FramedFlag == 0) return plat::send(record->Socket, source, length, 0);
  // The ring keeps what it holds when it cannot grow, so a refused send loses nothing queued before.
  if (SendFramedMessage(handle, source, length) != 0) {
    LogFmtAdd("送信データ %d byte の追加に失敗しました in NewWorkSend", length);
    return -1;
  }
  return 0;
}

int GetNetWorkDataLength(int32_t handle) {
  if (NetWorkState.StartFlag == 0 || LookupNetWorkHandle(handle) == nullptr) return -1;
  ProcessNetWorkMessage(0);
  RecvSocket(handle);
  SendSocket(handle);
  NetWorkHandleRecord* record = CheckRecord(handle, "GetNetWorkDataLength", "GetNetWorkDataLength");
  if (record == nullptr) return -1;
  if (record->FramedFlag == 1) return record->RecvCompleteLength;
  char probe;
  const int seen = NetWorkRecvToPeek(handle, &probe, 1);
  if (seen < 0) return seen;
  return seen > 0 ? 1 : 0;
}

int GetNetWorkAcceptState(int32_t handle) {
  NetWorkHandleRecord* record = OpenDataCall(handle, "GetNetWorkAcceptState", "GetNetWorkAcceptStateh");
  if (record == nullptr) return -1;
  if (record->ConnectFlag == 0 && record->LostNoticeFlag == 0) record->LostNoticeFlag = 1;
  return record->ConnectFlag == 1 ? 1 : 0;
}

int NetWorkRecvLine(int32_t handle, char* destination) {
  char text[kLineBufferSize] = {};
  for (;;) {
    NetWorkHandleRecord* record = NetWorkState.StartFlag != 0 ? LookupNetWorkHandle(handle) : nullptr;
    if (record == nullptr) return -1;
    int peeked;
    if (record->FramedFlag == 1) {
      // A framed peek succeeds with 0 and fails when fewer bytes are held than asked, so ask for what is
      // held (at most a line's worth): a short last line is found too.
      RecvSocket(handle);
      record = LookupNetWorkHandle(handle);
      if (record == nullptr) return -1;
      peeked = record->RecvRing.dataSize < kLinePeekMax ? record->RecvRing.dataSize : kLinePeekMax;
      if (peeked <= 0 || NetWorkRecvToPeek(handle, text, peeked) != 0) return -1;
    } else {
      peeked = NetWorkRecvToPeek(handle, text, kLinePeekMax);
      if (peeked < 1) return -1;
    }
    record = LookupNetWorkHandle(handle);
    if (record == nullptr) return -1;
    const bool framed = record->FramedFlag == 1;
    const auto* lineFeed = static_cast<const char*>(std::memchr(text, '\n', static_cast<size_t>(peeked)));
    const int through = lineFeed != nullptr ? static_cast<int>(lineFeed - text) + 1 : peeked;
    if (record->LineSkipFlag == 1) {
      // The rest of a dropped line: taken as it comes, up to its line feed.
      if (lineFeed != nullptr) record->LineSkipFlag = 0;
      if (!TakeShownBytes(handle, framed, text, through) || lineFeed == nullptr) return -1;
      continue;
    }
    if (lineFeed == nullptr) {
      if (peeked < kLinePeekMax) return -1;  // the line's end has not come yet
      // No destination holds this line, and leaving it would hide every line after it for good.
      LogFmtAdd("受信した行が長すぎるため破棄しました(%d byte 以上)", kLinePeekMax);
      record->LineSkipFlag = 1;
      if (!TakeShownBytes(handle, framed, text, peeked)) return -1;
      continue;
    }
    if (std::memchr(text, '\0', static_cast<size_t>(through - 1)) != nullptr) {
      LogAdd("受信した行に NUL 文字が含まれていたため破棄しました\n");
      if (!TakeShownBytes(handle, framed, text, through)) return -1;
      continue;
    }
    text[through - 1] = '\0';
    StrCopy(destination, text);
    NetWorkRecv(handle, text, through);
    return 0;
  }
}

}  // namespace orbel
