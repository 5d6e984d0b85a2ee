// The steps of the three HTTP request kinds. Each call advances a transfer as far as the bytes already
// there allow and never waits: the request goes out, then the status line, one header line per call,
// and the body, read until the Content-Length is reached or, without one, until the stream ends.
// Reply lines are LF-terminated with any CR kept; only the number after the status line's first blank
// counts, and "Content-Length:" is matched with its case. Reply bytes are taken from the connection into
// the transfer's line buffer, never left waiting in the socket; a line longer than 254 bytes, a line
// holding a NUL byte or a header past 64 KiB ends the transfer as malformed.
// Depends on: the network data calls, the transfer records (http_transfer.cpp), the file stand-in.
#include <climits>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/core/string_routines.h"
#include "orbel/network/http_transfer.h"
#include "orbel/network/network_data.h"
#include "platform/win/kernel/file_io.h"

namespace orbel {

namespace {

constexpr int kGetTextBuffer = 512;
constexpr int kOtherTextBuffer = 256;
constexpr int kFileBufferSize = 4096;
constexpr char kContentLengthName[] = "Content-Length:";
constexpr int kContentLengthNameBytes = 15;

// Body bytes bound for files pass through these; steps never overlap, so one each is enough.
uint8_t HttpGetFileBuffer[kFileBufferSize];
uint8_t HttpPostFileBuffer[kFileBufferSize];

bool IsContentLengthLine(const char* line) {
  return MemCompareCount(line, kContentLengthName, kContentLengthNameBytes) == 0;
}

// The value of a Content-Length line: blanks, decimal digits, then only blanks or a CR. -1 when the
// value is missing, negative, malformed or beyond 32 bits.
int32_t ParseContentLength(const char* line) {
  const char* p = line + kContentLengthNameBytes;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p < '0' || *p > '9') return -1;
  int64_t value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX) return -1;
  }
  while (*p == ' ' || *p == '\t' || *p == '\r') ++p;
  return *p == '\0' ? static_cast<int32_t>(value) : -1;
}

// One header line of GET or POST (the line holds a colon). Takes a Content-Length line's value, once.
void TakeHeaderLine(int handle, HttpHandleRecord& r, const char* line) {
  if (!IsContentLengthLine(line) || r.ContentLength != -1) return;  // a repeated line changes nothing
  const int32_t length = ParseContentLength(line);
  if (length < 0) {
    EndHttpTransfer(handle, 2, 0);
    return;
  }
  r.ContentLength = length;
  if (r.ToMemoryFlag == 0) return;
  if (length > kHttpMaxMemoryBody) {
    EndHttpTransfer(handle, 2, 2);
    return;
  }
  r.BodyBlock = MemAlloc(static_cast<uint32_t>(length > 0 ? length : 1), "", 0);
  if (r.BodyBlock == nullptr) {
    EndHttpTransfer(handle, 2, 2);
    return;
  }
  *r.BufferPointerAddress = r.BodyBlock;
}

// Takes the next reply line into `text` (the line feed dropped, a carriage return kept): 1 when a line
// was taken, 0 when none is complete yet, -1 when the reply is malformed and the transfer has ended.
int TakeReplyLine(int handle, HttpHandleRecord& r, char* text) {
  for (;;) {
    const auto* lineFeed = static_cast<const char*>(std::memchr(r.LineBuffer, '\n', static_cast<size_t>(r.LineLength)));
    if (lineFeed != nullptr) {
      const int32_t length = static_cast<int32_t>(lineFeed - r.LineBuffer);
      if (std::memchr(r.LineBuffer, '\0', static_cast<size_t>(length)) != nullptr) {
        LogAdd("HTTP の応答の行に NUL 文字が含まれています\n");
        EndHttpTransfer(handle, 2, 0);
        return -1;
      }
      r.HeaderBytes += length + 1;
      if (r.HeaderBytes > kHttpMaxHeaderBytes) {
        LogFmtAdd("HTTP の応答ヘッダが大きすぎます(%d byte 以上)", kHttpMaxHeaderBytes + 1);
        EndHttpTransfer(handle, 2, 0);
        return -1;
      }
      std::memcpy(text, r.LineBuffer, static_cast<size_t>(length));
      text[length] = '\0';
      r.LineLength -= length + 1;
      std::memmove(r.LineBuffer, lineFeed + 1, static_cast<size_t>(r.LineLength));
      return 1;
    }
    if (r.LineLength > kHttpMaxLineBytes) {
      LogFmtAdd("HTTP の応答の行が長すぎます(%d byte 以上)", kHttpMaxLineBytes + 1);
      EndHttpTransfer(handle, 2, 0);
      return -1;
    }
    const int room = kHttpMaxLineBytes + 1 - r.LineLength;
    const int got = NetWorkRecv(r.NetHandle, r.LineBuffer + r.LineLength, room);
    if (got <= 0) return 0;
    r.LineLength += got;
  }
}

// Takes up to `most` body bytes: first those that came with the header, then from the connection.
// NetWorkRecv's result when the connection gives them (negative: nothing waits now).
int TakeBodyBytes(HttpHandleRecord& r, void* destination, int most) {
  if (r.LineLength == 0) return NetWorkRecv(r.NetHandle, destination, most);
  const int count = most < r.LineLength ? most : r.LineLength;
  std::memcpy(destination, r.LineBuffer, static_cast<size_t>(count));
  r.LineLength -= count;
  std::memmove(r.LineBuffer, r.LineBuffer + count, static_cast<size_t>(r.LineLength));
  return count;
}

// Writes received bytes to the destination file; false when the file took fewer.
bool WriteBodyToFile(HttpHandleRecord& r, const uint8_t* bytes, int count) {
  plat::DWORD written = 0;
  return plat::WriteFile(r.FileHandle, bytes, static_cast<plat::DWORD>(count), &written, nullptr) &&
         written == static_cast<plat::DWORD>(count);
}

// The body loop of GET and POST. POST without a Content-Length reads once per call.
int ReadBody(int handle, HttpHandleRecord& r, uint8_t* fileBuffer, bool oncePerCallWithoutLength) {
  for (;;) {
    if (r.ContentLength != -1 && r.ReceivedLength >= r.ContentLength) {
      // Complete, an empty body included: nothing more is to be read (or waited for).
      r.Step = 4;
      EndHttpTransfer(handle, 0, -1);
      return 0;
    }
    int count;
    if (r.ToMemoryFlag == 0) {
      count = TakeBodyBytes(r, fileBuffer, kFileBufferSize);
      if (count < 0) return 0;
      if (count > 0 && !WriteBodyToFile(r, fileBuffer, count)) {
        EndHttpTransfer(handle, 2, 2);  // no room for the body on disk
        return 0;
      }
    } else {
      if (r.ContentLength < 0) {
        // Without a length there is no block to hold the body. Its bytes are passed over so that the
        // server's close is seen and the transfer ends (2, 3) instead of waiting on them for ever.
        while (TakeBodyBytes(r, fileBuffer, kFileBufferSize) > 0) {
        }
        return 0;
      }
      count = TakeBodyBytes(r, static_cast<uint8_t*>(r.BodyBlock) + r.ReceivedLength,
                            r.ContentLength - r.ReceivedLength);
      if (count < 0) return 0;
    }
    r.ReceivedLength += count;
    const int connected = GetNetWorkAcceptState(r.NetHandle);
    const int waiting = GetNetWorkDataLength(r.NetHandle);
    const bool finished = (r.ContentLength != -1 && r.ReceivedLength >= r.ContentLength) ||
                          (r.ContentLength == -1 && connected == 0 && waiting == 0 && r.LineLength == 0);
    if (finished) {
      r.Step = 4;
      EndHttpTransfer(handle, 0, -1);
      return 0;
    }
    if (count == 0 || (oncePerCallWithoutLength && r.ContentLength == -1)) return 0;
  }
}

// Steps 1-4 shared by GET and POST, after the request went out.
int ReplySteps(int handle, HttpHandleRecord& r, char* text, bool logRefusal, uint8_t* fileBuffer) {
  if (r.Step == 1) {
    if (TakeReplyLine(handle, r, text) != 1) return 0;
    const int status = ParseIntAfterBlank(text);
    if (status != 200) {
      if (logRefusal) LogFmtAdd("接続に失敗しました (戻り値:%d)", status);
      EndHttpTransfer(handle, 2, status == 404 ? 1 : 0);
      return 0;
    }
    r.Step = 2;
  }
  if (r.Step == 2) {
    if (TakeReplyLine(handle, r, text) != 1) return 0;
    if (StrChr(text, ':') != nullptr) {
      TakeHeaderLine(handle, r, text);
      return 0;  // one header line per call
    }
    r.Step = 3;
  }
  if (r.Step == 3) return ReadBody(handle, r, fileBuffer, !logRefusal);
  if (r.Step == 4) EndHttpTransfer(handle, 0, -1);
  return 0;
}

}  // namespace

int HttpGetStep(int handle) {
  HttpHandleRecord* r = GetHttpHandleRecord(handle);
  if (r == nullptr) return -1;
  char text[kGetTextBuffer];
  if (r->Step == 0) {
    FormatString(text, sizeof text, "GET %s HTTP/1.0\r\nHost: %s:%d\r\nConnection: close\r\n\r\n", r->Path, r->Host,
                 r->Port);
    NetWorkSend(r->NetHandle, text, static_cast<int>(std::strlen(text)));
    r->Step = 1;
  }
  return ReplySteps(handle, *r, text, true, HttpGetFileBuffer);
}

int HttpPostStep(int handle) {
  HttpHandleRecord* r = GetHttpHandleRecord(handle);
  if (r == nullptr) return -1;
  char text[kOtherTextBuffer];
  if (r->Step == 0) {
    FormatString(text, sizeof text, "POST %s HTTP/1.0\nHost: %s:%d\nContent-Length: %d\n\n", r->Path, r->Host, r->Port,
                 r->PostDataLength);
    NetWorkSend(r->NetHandle, text, static_cast<int>(std::strlen(text)));
    NetWorkSend(r->NetHandle, r->PostData, r->PostDataLength);
    r->Step = 1;
  }
  return ReplySteps(handle, *r, text, false, HttpPostFileBuffer);
}

int HttpHeadStep(int handle) {
  HttpHandleRecord* r = GetHttpHandleRecord(handle);
  if (r == nullptr) return -1;
  char text[kOtherTextBuffer];
  if (r->Step == 0) {
    FormatString(text, sizeof text, "HEAD %s HTTP/1.0\n\n", r->Path);
    NetWorkSend(r->NetHandle, text, static_cast<int>(std::strlen(text)));
    r->Step = 1;
  }
  if (r->Step == 1) {
    if (TakeReplyLine(handle, *r, text) != 1) return 0;
    const int status = ParseIntAfterBlank(text);
    if (status != 200) {
      EndHttpTransfer(handle, 2, status == 404 ? 1 : 0);
      return 0;
    }
    r->Step = 2;
  }
  if (r->Step == 2) {
    if (TakeReplyLine(handle, *r, text) != 1 || !IsContentLengthLine(text)) return 0;
    const int32_t length = ParseContentLength(text);
    if (length < 0) {
      EndHttpTransfer(handle, 2, 0);
      return 0;
    }
    r->ContentLength = length;
    r->Step = 3;
    EndHttpTransfer(handle, 0, -1);
    return 0;
  }
  if (r->Step == 3) EndHttpTransfer(handle, 0, -1);
  return 0;
}

}  // namespace orbel
