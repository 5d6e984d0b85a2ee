// Network handles: the state block, the handle check, the dispatch of the network window's messages,
// the socket message, accepting (shared with adoption), closing one handle, the shut-down of the
// layer and the network error line.
// Depends on: the WinSock and message-queue stand-ins, the ring buffer, list, tracked memory, log.
#include <cstdarg>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/core/string_routines.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/network/network_state.h"
#include "orbel/network/network_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/message_queue.h"

namespace orbel {

NetWorkStateBlock NetWorkState = {};

namespace {

constexpr plat::DWORD kFlushWindowMs = 1000;  // each of the two flushes of a close

// Walks the live list, newest first; `visit` gets the node and may close its record.
template <typename Visit>
void WalkLiveList(Visit visit) {
  for (ListNode* node = NetWorkState.LiveHead.next; node != nullptr && node->next != nullptr;) {
    ListNode* next = node->next;
    visit(node);
    node = next;
  }
}

NetWorkHandleRecord* RecordOfSocket(plat::SOCKET socket) {
  NetWorkHandleRecord* found = nullptr;
  WalkLiveList([&](ListNode* node) {
    auto* record = static_cast<NetWorkHandleRecord*>(node->data);
    if (found == nullptr && record->Socket == socket) found = record;
  });
  return found;
}

int LowestFreeSlot() {
  for (int slot = 0; slot < kNetWorkListenSlot; ++slot) {
    if (NetWorkState.HandleTable[slot] == nullptr) return slot;
  }
  return -1;
}

bool ShouldCloseNow(const NetWorkHandleRecord& r) {
  return r.UseFlag == 1 && (r.ErrorFlag == 1 || (r.ConnectFlag == 0 && r.LostNoticeFlag == 1 && r.AutoCloseFlag == 1));
}

// Serves what a pump turn owes beyond the messages: notices turned away while another handle's
// transfer ran, bytes still queued for sending, and a connection left waiting for want of a slot.
void ServeDeferredWork() {
  WalkLiveList([](ListNode* node) {
    auto* record = static_cast<NetWorkHandleRecord*>(node->data);
    if (record->UseFlag != 1 || record->FramedFlag != 1) return;
    if (record->RecvDeferredFlag) {
      record->RecvDeferredFlag = 0;
      RecvSocket(node->key);
    }
    // Queued bytes are offered on every pump turn, not only on a write notice: the socket often has
    // room again long before the notice has made its way through the queue.
    if (record->SendDeferredFlag || record->SendRing.dataSize > 0) {
      record->SendDeferredFlag = 0;
      SendSocket(node->key);
    }
  });
  if (NetWorkState.AcceptDeferredFlag && LowestFreeSlot() >= 0) {
    NetWorkState.AcceptDeferredFlag = 0;
    AcceptNetWork();
  }
}

}  // namespace

// ---- Handles ----------------------------------------------------------------------------------------

int32_t MakeNetWorkHandle(int32_t checkNumber, int slot) {
  return MakeHandle(static_cast<uint32_t>(checkNumber), kHandleKindNetwork, static_cast<uint32_t>(slot));
}

int32_t TakeCheckNumber() {
  const int32_t check = NetWorkState.CheckCounter;
  NetWorkState.CheckCounter = check >= static_cast<int32_t>(kHandleCheckMax) ? 0 : check + 1;
  return check;
}

NetWorkHandleRecord* LookupNetWorkHandle(int32_t handle) {
  if (handle < 0 || HandleKind(handle) != kHandleKindNetwork) return nullptr;
  const uint32_t slot = HandleIndex(handle);
  if (slot >= static_cast<uint32_t>(kNetWorkSlotCount)) return nullptr;
  NetWorkHandleRecord* record = NetWorkState.HandleTable[slot];
  if (record == nullptr || static_cast<uint32_t>(record->CheckNumber) != HandleCheck(handle)) return nullptr;
  return record;
}

// ---- Dispatch and the socket message ----------------------------------------------------------------

int ProcessNetWorkMessage(int closeFinished) {
  if (NetWorkState.NetWorkWindow == nullptr || NetWorkState.StartFlag == 0) return 0;
  if (closeFinished == 1) {
    WalkLiveList([](ListNode* node) {
      if (ShouldCloseNow(*static_cast<NetWorkHandleRecord*>(node->data))) CloseNetWorkHandle(node->key);
    });
    ServeDeferredWork();
  }
  plat::MSG msg;
  while (NetWorkState.StartFlag != 0 &&
         plat::PeekMessageA(&msg, NetWorkState.NetWorkWindow, 0, 0, plat::PM_REMOVE)) {
    plat::TranslateMessage(&msg);
    plat::DispatchMessageA(&msg);
  }
  return 0;
}

int ProcessSocketMessage(uintptr_t socket, intptr_t event) {
  NetWorkHandleRecord* record = NetWorkState.StartFlag != 0 ? RecordOfSocket(socket) : nullptr;
  if (record == nullptr) {
    LogAdd("通信エラー No.1\n");
    return 0;
  }
  const int32_t handle = record->LiveNode.key;
  const uint32_t word = static_cast<uint32_t>(event);
  switch (word & 0xFFFF) {
    case plat::FD_READ:
      // Remembered, and served by the pump's next turn unless a call on the handle receives first
      // (every data call does). Notices are dispatched inside every network call: receiving at once
      // would run a receive for each message another handle's sends let through.
      record->RecvDeferredFlag = 1;
      return 1;
    case plat::FD_WRITE:
      if (SendSocketBusy) record->SendDeferredFlag = 1;
      else SendSocket(handle);
      return 1;
    case plat::FD_ACCEPT:
      return AcceptNetWork();
    case plat::FD_CONNECT:
      if ((word >> 16) == 0) record->ConnectFlag = 1;
      return 1;
    case plat::FD_CLOSE:
      if (record->FramedFlag == 1 && record->UseFlag == 1 && record->ErrorFlag == 0) {
        // Bytes may still wait behind the close: the receive takes the whole blocks among them and
        // then ends the connection (dropping an unfinished block).
        if (record->PeerClosedFlag == 2) return 1;  // the receive met the end first
        record->PeerClosedFlag = 1;
        if (RecvSocketBusy) record->RecvDeferredFlag = 1;
        else RecvSocket(handle);
        return 1;
      }
      record->ConnectFlag = 0;
      record->LostNoticeFlag = 0;
      return 1;
    default:
      return 1;
  }
}

// ---- Accepting --------------------------------------------------------------------------------------

int BeginConnectionRecord() {
  const int slot = LowestFreeSlot();
  if (slot < 0) {
    LogAdd("空きソケットデータがなかったので accept を拒否しました \n");
    return -1;
  }
  auto* record = static_cast<NetWorkHandleRecord*>(MemCalloc(sizeof(NetWorkHandleRecord), "", 0));
  if (record == nullptr) {
    LogAdd("ソケット用のメモリの確保に失敗しました\n");
    return -1;
  }
  // Zero-filled: empty rings, all framing counters 0, no socket.
  record->UseFlag = 1;
  record->ConnectFlag = 1;
  record->FramedFlag = NetWorkState.RawModeSetting == 0 ? 1 : 0;
  record->AutoCloseFlag = NetWorkState.KeepLostHandleSetting == 0 ? 1 : 0;
  ListInsertNode(&NetWorkState.LiveHead, &record->LiveNode, MakeNetWorkHandle(NetWorkState.CheckCounter, slot), record);
  NetWorkState.HandleTable[slot] = record;
  return slot;
}

int UndoConnectionRecord(int slot) {
  NetWorkHandleRecord* record = NetWorkState.HandleTable[slot];
  ListUnlinkNode(&record->LiveNode);
  if (record->Socket != 0 && record->Socket != plat::INVALID_SOCKET) plat::closesocket(record->Socket);
  TerminateRingBuffer(&record->RecvRing);
  TerminateRingBuffer(&record->SendRing);
  record->UseFlag = 0;
  MemFree(record);
  NetWorkState.HandleTable[slot] = nullptr;
  return -1;
}

int32_t FinishConnectionRecord(int slot, plat::SOCKET socket, const plat::SOCKADDR_IN& peer,
                               const char* selectFailureText) {
  NetWorkHandleRecord* record = NetWorkState.HandleTable[slot];
  record->Socket = socket;
  std::memcpy(record->PeerAddress, peer.sin_addr, sizeof record->PeerAddress);
  record->PeerPort = peer.sin_port;
  if (plat::WSAAsyncSelect(socket, NetWorkState.NetWorkWindow, kSocketNoticeMessage, kConnectionEvents) ==
      plat::SOCKET_ERROR) {
    LogNetworkError("%s", selectFailureText);
    return UndoConnectionRecord(slot);
  }
  record->CheckNumber = TakeCheckNumber();
  ++NetWorkState.HandleCount;
  return record->LiveNode.key;
}

int AcceptNetWork() {
  if (NetWorkState.StartFlag == 0) return -1;
  ProcessNetWorkMessage(0);
  NetWorkHandleRecord* listener = NetWorkState.HandleTable[kNetWorkListenSlot];
  if (listener == nullptr) return -1;
  const int slot = BeginConnectionRecord();
  if (slot < 0) {
    // The connection stays queued and accept is what re-enables FD_ACCEPT: the pump retries once a
    // slot is free, so the listener does not go deaf.
    NetWorkState.AcceptDeferredFlag = 1;
    return -1;
  }
  plat::SOCKADDR_IN peer{};
  int length = sizeof peer;
  const plat::SOCKET socket = plat::accept(listener->Socket, &peer, &length);
  if (socket == plat::INVALID_SOCKET) {
    LogNetworkError("acceptに失敗しました");
    return UndoConnectionRecord(slot);
  }
  return FinishConnectionRecord(slot, socket, peer, "WSAAsyncSelectのエラー in AcceptNetWork") == -1 ? -1 : 1;
}

// ---- Closing and shut-down --------------------------------------------------------------------------

int CloseNetWorkHandle(int32_t handle) {
  if (NetWorkState.StartFlag == 0) return -1;
  NetWorkHandleRecord* record = LookupNetWorkHandle(handle);
  if (record == nullptr || record->UseFlag == 0) return -1;
  ProcessNetWorkMessage(0);

  // Let a block that is arriving complete and queued bytes leave, each for at most a second. A handle
  // in error can move nothing more (and each try would log), and once the peer's close has been seen
  // nothing can arrive or leave: such a handle closes at once.
  if (record->ErrorFlag == 0) {
    const plat::DWORD recvStart = plat::timeGetTime();
    while (record->RecvBlockLeft != 0 && record->ConnectFlag != 0 &&
           plat::timeGetTime() - recvStart < kFlushWindowMs) {
      ProcessNetWorkMessage(0);
      if (RecvSocket(handle) == -1) break;
    }
    const plat::DWORD sendStart = plat::timeGetTime();
    while (record->SendRing.dataSize > 0 && record->ConnectFlag != 0 &&
           plat::timeGetTime() - sendStart < kFlushWindowMs) {
      ProcessNetWorkMessage(0);
      if (SendSocket(handle) == -1) break;
    }
  }

  plat::WSAAsyncSelect(record->Socket, NetWorkState.NetWorkWindow, 0, 0);
  plat::closesocket(record->Socket);
  record->Socket = 0;
  TerminateRingBuffer(&record->RecvRing);
  TerminateRingBuffer(&record->SendRing);
  record->UseFlag = 0;
  record->ConnectFlag = 0;
  ListUnlinkNode(&record->LiveNode);
  NetWorkState.HandleTable[HandleIndex(handle)] = nullptr;
  MemFree(record);
  --NetWorkState.HandleCount;
  return 0;
}

uint32_t EndNetWork() {
  if (NetWorkState.StartFlag == 0) return 0;
  LogAdd("ネットワーク関連の終了処理を行います \n");
  for (int slot = 0; slot < kNetWorkSlotCount; ++slot) {
    if (NetWorkHandleRecord* record = NetWorkState.HandleTable[slot]) {
      CloseNetWorkHandle(MakeNetWorkHandle(record->CheckNumber, slot));
    }
  }
  if (NetWorkState.NetWorkWindow != nullptr) {
    plat::PostMessageA(NetWorkState.NetWorkWindow, plat::WM_CLOSE, 0, 0);
    if (NetWorkState.WindowGoneFlag == 0) ProcessNetWorkMessage(0);
  }
  std::memset(&NetWorkState, 0, sizeof NetWorkState);
  RecvSocketBusy = 0;
  SendSocketBusy = 0;
  plat::WSACleanup();
  LogAdd("ネットワーク関連の終了処理は完了しました\n");
  return 0;
}

int LogNetworkError(const char* format, ...) {
  const int error = plat::WSAGetLastError();
  char text[1024];
  va_list args;
  va_start(args, format);
  FormatStringV(text, sizeof text, format, args);
  va_end(args);
  return LogFmtAdd("ネットワークログ。%s[%d]", text, error);
}

}  // namespace orbel
