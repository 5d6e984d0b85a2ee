// The network layer's state: the handle record of one connection, the global block with its handle
// table, live list and settings, the handle check, and the calls the layer's files make on each other.
// Not for the game; the core runtime sees the layer through network_system.h.
#pragma once

#include <cstdint>

#include "orbel/core/list.h"
#include "orbel/core/ring_buffer.h"
#include "platform/win/kernel/win_types.h"
#include "platform/winsock/winsock.h"

namespace orbel {

constexpr int kNetWorkSlotCount = 4097;   // 0..4095 accepted or adopted connections, then the listener
constexpr int kNetWorkListenSlot = 4096;
constexpr plat::UINT kSocketNoticeMessage = 0x0400 + 0x105;  // WM_USER + 0x105
constexpr long kConnectionEvents = plat::FD_READ | plat::FD_WRITE | plat::FD_CLOSE;
// The largest framed block either side accepts. A peer's header is untrusted: a longer one is refused
// (the handle goes into error) instead of being allocated, and our own blocks never exceed it.
constexpr uint32_t kMaxFramedBlockLength = 16u << 20;  // bytes

struct NetWorkHandleRecord {
  int32_t UseFlag;
  int32_t ErrorFlag;           // receiving failed (no memory, bad length): every call fails, pump closes
  int32_t ConnectFlag;         // connected; cleared by the close notice
  int32_t LostNoticeFlag;      // GetNetWorkAcceptState has reported the loss
  int32_t FramedFlag;          // 1 length-framed, 0 raw
  int32_t AutoCloseFlag;       // the pump closes the handle once its loss was reported
  int32_t CheckNumber;         // 0..2047
  plat::SOCKET Socket;
  int32_t RecvBlockLeft;       // body bytes of the incoming block still to come; 0: a header is due
  RingBuffer RecvRing;         // received body bytes, headers removed
  int32_t RecvBlockLength;     // length of the incoming block
  int32_t RecvCompleteLength;  // bytes of complete blocks not yet taken
  RingBuffer SendRing;         // queued bytes not yet sent
  uint32_t SendBlockLeft;      // body bytes of the outgoing block still to send; 0: no block begun
  int32_t SendHeaderLeft;      // header bytes still to send, 0..4
  uint8_t PeerAddress[4];      // IPv4, network order
  int32_t PeerPort;            // the 16-bit port as the socket address holds it (network order), widened
  // Notices turned away while RecvSocket / SendSocket ran for another handle; the pump serves them.
  int32_t RecvDeferredFlag;
  int32_t SendDeferredFlag;
  // Header bytes of the incoming block taken from the socket so far (0..3), and the bytes themselves:
  // bytes are never left in the socket waiting for more, or a full window could stall both ends.
  int32_t RecvHeaderHave;
  uint8_t RecvHeaderBytes[4];
  // 0 open; 1 the peer's end was seen and the receive must finish it; 2 finished (unfinished block
  // dropped, ConnectFlag 0).
  int32_t PeerClosedFlag;
  // Body bytes of the last complete block still in the socket (0: none). A large block that the socket
  // already holds whole is counted complete and left there, so that taking it receives it straight into
  // the taker's buffer; any receive pass other than the taker's own moves it into the ring first.
  int32_t RecvKernelLeft;
  // The last receive pass ended on a receive that emptied the socket: until a read notice comes
  // (RecvDeferredFlag), a pass would find nothing.
  int32_t RecvEmptiedFlag;
  // NetWorkRecvLine is dropping a line too long for its destination: bytes go up to its line feed.
  int32_t LineSkipFlag;
  ListNode LiveNode;           // key: the handle; data: this record
};

struct NetWorkStateBlock {
  NetWorkHandleRecord* HandleTable[kNetWorkSlotCount];
  ListNode LiveHead;
  ListNode LiveTail;
  int32_t HandleCount;
  int32_t CheckCounter;           // check number of the next handle, 0..2047
  int32_t StartFlag;
  plat::HWND NetWorkWindow;
  int32_t RawModeSetting;         // handles made from now on are raw
  int32_t KeepLostHandleSetting;  // handles made from now on are not closed after a reported loss
  int32_t WindowGoneFlag;
  int32_t AcceptDeferredFlag;     // a waiting connection was refused for want of a slot
};

extern NetWorkStateBlock NetWorkState;
// Re-entry guards of RecvSocket and SendSocket, shared by all handles.
extern int32_t RecvSocketBusy;
extern int32_t SendSocketBusy;

int32_t MakeNetWorkHandle(int32_t checkNumber, int slot);
// The check number for the record being made; the counter moves on (0..2047, then 0 again).
int32_t TakeCheckNumber();
// The record of a handle that passes the handle check (kind, index, slot, check number), or null.
// Does not look at UseFlag.
NetWorkHandleRecord* LookupNetWorkHandle(int32_t handle);

// ---- Handles and socket messages (network_handles.cpp) ------------------------------------------
int AcceptNetWork();
int CloseNetWorkHandle(int32_t handle);
int LogNetworkError(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Accepting in two halves, shared with adoption. The first takes the lowest free slot of 0..4095 and
// makes a linked record there (the slot, or -1 logged); the second gives it its connected socket, peer
// and selection, and issues the handle (the handle, or -1 with the record undone and logged with
// `selectFailureText`).
int BeginConnectionRecord();
int32_t FinishConnectionRecord(int slot, plat::SOCKET socket, const plat::SOCKADDR_IN& peer,
                               const char* selectFailureText);
// Unlinks and frees a record that never became a handle, closing its socket.
int UndoConnectionRecord(int slot);

// ---- Framed transfer (framed_transfer.cpp) ------------------------------------------------------
int RecvSocket(int32_t handle);
int SendSocket(int32_t handle);
// Takes `length` received bytes of a framed handle (complete blocks or not) into `destination`: 0, or
// -1 when fewer are held (nothing taken) or the socket failed while giving the bytes (handle in error).
int TakeFramedBytes(int32_t handle, void* destination, int length);
// Queues a framed message (after what already waits); when nothing waits, sends it at once straight
// from `source` and queues only what the socket did not take. An empty message queues and sends nothing.
// -1 (nothing queued or sent) when the send ring cannot grow.
int SendFramedMessage(int32_t handle, const void* source, int length);

}  // namespace orbel
