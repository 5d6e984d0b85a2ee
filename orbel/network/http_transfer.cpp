// HTTP transfers: the state block, creating a transfer, stepping one or all from the pump, ending and
// deleting them. The steps of each request kind are in http_steps.cpp.
// Depends on: the network data calls and handle state, tracked memory, the file stand-in, the log.
#include "orbel/network/http_transfer.h"

#include <cstdio>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/network/network_data.h"
#include "orbel/network/network_state.h"
#include "platform/win/kernel/file_io.h"

namespace orbel {

HttpStateBlock HttpState = {};

namespace {

constexpr int kGetRequestBuffer = 512;
constexpr int kOtherRequestBuffer = 256;

// The request text's length without its terminator, as the step will format it.
int RequestLength(int32_t kind, const char* host, const char* path, int port, int postDataLength) {
  switch (kind) {
    case kHttpGet: return std::snprintf(nullptr, 0, "GET %s HTTP/1.0\r\nHost: %s:%d\r\nConnection: close\r\n\r\n", path, host, port);
    case kHttpPost: return std::snprintf(nullptr, 0, "POST %s HTTP/1.0\nHost: %s:%d\nContent-Length: %d\n\n", path, host, port, postDataLength);
    default: return std::snprintf(nullptr, 0, "HEAD %s HTTP/1.0\n\n", path);
  }
}

int Refuse(const char* line) {
  LogAdd(line);
  return -1;
}

// Walks the table from slot 0, stopping after as many live slots as there were at the start.
template <typename Visit>
void WalkLiveTransfers(Visit visit) {
  const int live = HttpState.HttpHandleCount;
  int met = 0;
  for (int slot = 0; slot < kHttpHandleMax && met < live; ++slot) {
    if (HttpState.HttpHandleTable[slot] == nullptr) continue;
    ++met;
    visit(slot);
  }
}

}  // namespace

HttpHandleRecord* GetHttpHandleRecord(int handle) {
  if (handle < 0 || handle >= kHttpHandleMax) return nullptr;
  return HttpState.HttpHandleTable[handle];
}

int CreateHttpTransfer(int32_t kind, const char* host, const char* path, int port, int32_t netHandle,
                       plat::HANDLE file, void** bufferPointer, const void* postData, int postDataLength) {
  if (kind < kHttpGet || kind > kHttpHead || host == nullptr || path == nullptr) {
    return Refuse("HTTP 転送の設定が正しくありません\n");
  }
  if (kind != kHttpHead && file == nullptr && bufferPointer == nullptr) return Refuse("HTTP 転送の設定が正しくありません\n");
  if (kind == kHttpPost && (postDataLength < 0 || (postDataLength > 0 && postData == nullptr))) {
    return Refuse("HTTP 転送の設定が正しくありません\n");
  }
  HttpHandleRecord probe;
  const int limit = kind == kHttpGet ? kGetRequestBuffer : kOtherRequestBuffer;
  if (std::strlen(host) >= sizeof probe.Host || std::strlen(path) >= sizeof probe.Path ||
      RequestLength(kind, host, path, port, postDataLength) >= limit) {
    return Refuse("HTTP リクエストが長すぎます\n");
  }
  NetWorkHandleRecord* connection = NetWorkState.StartFlag != 0 ? LookupNetWorkHandle(netHandle) : nullptr;
  if (connection == nullptr || connection->UseFlag == 0 || connection->FramedFlag != 0) {
    return Refuse("有効なネットワークハンドルではありません in CreateHttpTransfer\n");
  }
  int slot = 0;
  while (slot < kHttpHandleMax && HttpState.HttpHandleTable[slot] != nullptr) ++slot;
  if (slot == kHttpHandleMax) return Refuse("空きHTTPハンドルがありませんでした\n");

  auto* record = static_cast<HttpHandleRecord*>(MemCalloc(sizeof(HttpHandleRecord), "", 0));
  void* postCopy = nullptr;
  if (kind == kHttpPost && postDataLength > 0) postCopy = MemAlloc(static_cast<uint32_t>(postDataLength), "", 0);
  if (record == nullptr || (kind == kHttpPost && postDataLength > 0 && postCopy == nullptr)) {
    MemFree(record);
    MemFree(postCopy);
    return Refuse("HTTP 転送用のメモリの確保に失敗しました\n");
  }
  if (postCopy != nullptr) std::memcpy(postCopy, postData, static_cast<size_t>(postDataLength));
  record->RequestKind = kind;
  record->ResultStatus = -1;
  record->ResultCode = -1;
  record->NetHandle = netHandle;
  record->ToMemoryFlag = bufferPointer != nullptr ? 1 : 0;
  record->FileHandle = bufferPointer != nullptr ? nullptr : file;
  record->BufferPointerAddress = bufferPointer;
  record->ContentLength = -1;
  std::strcpy(record->Host, host);
  std::strcpy(record->Path, path);
  record->PostData = postCopy;
  record->PostDataLength = kind == kHttpPost ? postDataLength : 0;
  record->Port = port;
  // A block is stored there only by this transfer, so a failure never frees a block of the caller's.
  if (bufferPointer != nullptr) *bufferPointer = nullptr;
  // The transfer ends the connection itself; an automatic close would leave it running without end.
  connection->AutoCloseFlag = 0;
  HttpState.HttpHandleTable[slot] = record;
  ++HttpState.HttpHandleCount;
  return slot;
}

int ProcessHttpHandle(int handle) {
  HttpHandleRecord* record = GetHttpHandleRecord(handle);
  if (record == nullptr) return -1;
  if (record->ResultStatus != -1) return 0;
  if (NetWorkState.StartFlag == 0 || LookupNetWorkHandle(record->NetHandle) == nullptr) {
    // Its connection was closed under it: nothing more can come.
    EndHttpTransfer(handle, 2, 3);
    return 0;
  }
  const int connected = GetNetWorkAcceptState(record->NetHandle);
  const int waiting = GetNetWorkDataLength(record->NetHandle);
  if (connected == 0 && waiting == 0 && record->LineLength == 0) {
    // A body without a Content-Length ends with the stream: reaching that end here is success, as it
    // is when the body loop meets it first. A memory destination never had a block for such a body.
    const bool bodyByStream = record->RequestKind != kHttpHead && record->Step == 3 && record->ContentLength == -1 &&
                              record->ToMemoryFlag == 0;
    if (bodyByStream) {
      record->Step = 4;
      EndHttpTransfer(handle, 0, -1);
    } else {
      EndHttpTransfer(handle, 2, 3);
    }
    return 0;
  }
  switch (record->RequestKind) {
    case kHttpGet: return HttpGetStep(handle);
    case kHttpPost: return HttpPostStep(handle);
    case kHttpHead: return HttpHeadStep(handle);
    default: return 0;
  }
}

int ProcessAllHttpHandles() {
  WalkLiveTransfers([](int slot) { ProcessHttpHandle(slot); });
  return 0;
}

int EndHttpTransfer(int handle, int32_t status, int32_t code) {
  HttpHandleRecord* record = GetHttpHandleRecord(handle);
  if (record == nullptr) return -1;
  if (record->NetHandle != -1) {
    CloseNetWorkHandle(record->NetHandle);
    record->NetHandle = -1;
  }
  MemFree(record->PostData);
  record->PostData = nullptr;
  if (record->FileHandle != nullptr) {
    plat::CloseHandle(record->FileHandle);
    record->FileHandle = nullptr;
  }
  // The first end fixes both values: a later end must not add a code to a success.
  if (record->ResultStatus == -1) {
    record->ResultStatus = status;
    record->ResultCode = code;
  }
  if (record->BodyBlock != nullptr) {
    if (record->ResultStatus != 0) {
      MemFree(record->BodyBlock);
      if (*record->BufferPointerAddress == record->BodyBlock) *record->BufferPointerAddress = nullptr;
    }
    record->BodyBlock = nullptr;  // freed, or the caller's from now on
  }
  return 0;
}

int DeleteHttpHandle(int handle) {
  HttpHandleRecord* record = GetHttpHandleRecord(handle);
  if (record == nullptr) return -1;
  EndHttpTransfer(handle, 0, -1);
  MemFree(record);
  HttpState.HttpHandleTable[handle] = nullptr;
  --HttpState.HttpHandleCount;
  return 0;
}

uint32_t DeleteAllHttpHandles() {
  WalkLiveTransfers([](int slot) { DeleteHttpHandle(slot); });
  return 0;
}

}  // namespace orbel
