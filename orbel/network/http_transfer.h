// HTTP/1.0 transfers over raw network handles: the transfer record, its creation (the connection-
// making side's part), the per-pump steps of GET, POST and HEAD, and the end and deletion of a transfer.
// The body goes to a file handle or to a memory block allocated at the Content-Length line.
#pragma once

#include <cstdint>

#include "orbel/network/network_system.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

constexpr int32_t kHttpGet = 0;
constexpr int32_t kHttpPost = 1;
constexpr int32_t kHttpHead = 2;
// The largest body a memory destination accepts; a longer Content-Length ends the transfer (2, 2).
constexpr int32_t kHttpMaxMemoryBody = 64 << 20;  // bytes

struct HttpHandleRecord {
  int32_t RequestKind;          // kHttpGet, kHttpPost, kHttpHead
  int32_t Step;
  int32_t ResultStatus;         // -1 running, 0 done, 2 failed; set once
  int32_t ResultCode;           // -1 none, 0 other status, 1 404, 2 no room for the body, 3 connection gone
  int32_t NetHandle;            // -1 once closed
  int32_t ToMemoryFlag;
  plat::HANDLE FileHandle;      // null when none; closed by the end
  void** BufferPointerAddress;  // the caller's pointer variable that receives the body block
  int32_t ContentLength;        // -1 until a Content-Length line came
  int32_t ReceivedLength;       // body bytes so far
  char Host[128];
  char Path[256];
  void* PostData;               // tracked copy of a POST body; freed by the end
  int32_t PostDataLength;
  int32_t Port;
  void* BodyBlock;              // the block this transfer allocated, until it is handed to the caller
  // Reply bytes taken from the connection and not yet used: the rest of a line, or the first body
  // bytes that came with the header's end. Taking them, rather than peeking, leaves no byte in the
  // socket to wait for more (a full window would then stall the server for good).
  char LineBuffer[256];
  int32_t LineLength;           // bytes held in LineBuffer
  int32_t HeaderBytes;          // reply bytes taken as lines so far (status line included)
};

// The longest reply line (without its line feed) and the largest reply header a transfer takes; a
// longer one, or a line holding a NUL byte, ends the transfer as a malformed reply (2, 0).
constexpr int32_t kHttpMaxLineBytes = 254;
constexpr int32_t kHttpMaxHeaderBytes = 64 << 10;

// Makes a transfer on a connected raw handle, which it owns from then on (closed by the transfer's end;
// the pump no longer closes it on a lost connection). `file` (GET/POST) receives the body, or, when
// `bufferPointer` is set, a block allocated to the Content-Length whose address is stored there (the
// variable is nulled now and must outlive the transfer). POST sends a copy of `postData`. Refused (-1,
// logged) when no slot is free, the handle is not a live raw handle, a destination is missing or the
// request does not fit its buffer (512 bytes for GET, 256 for POST and HEAD). The HTTP handle (0..99).
int CreateHttpTransfer(int32_t kind, const char* host, const char* path, int port, int32_t netHandle,
                       plat::HANDLE file, void** bufferPointer, const void* postData, int postDataLength);
int HttpGetStep(int handle);
int HttpPostStep(int handle);
int HttpHeadStep(int handle);
// Closes the network handle, the file and the POST copy, fixes the result (the first end's), and frees
// this transfer's body block unless the transfer succeeded. -1 for an empty slot.
int EndHttpTransfer(int handle, int32_t status, int32_t code);
int DeleteHttpHandle(int handle);
// The record in slot `handle`, or null (tests and the steps).
HttpHandleRecord* GetHttpHandleRecord(int handle);

}  // namespace orbel
