// The data calls on a network handle (the public Network section forwards to these). Each returns -1
// without a log line when the network is not started or the handle fails its check, and -1 with a log
// line naming the call when the record is not in use or is in error.
#pragma once

#include <cstdint>

namespace orbel {

// Framed: 0 when `length` bytes were taken, -1 when fewer are held. Raw: recv's result.
int NetWorkRecv(int32_t handle, void* destination, int length);
// As NetWorkRecv, the bytes staying where they are.
int NetWorkRecvToPeek(int32_t handle, void* destination, int length);
// Framed: 0 when queued. Raw: send's result. -1 on a lost connection (no line).
int NetWorkSend(int32_t handle, const void* source, int length);
// Framed: bytes of complete blocks not yet taken. Raw: 1 bytes wait, 0 orderly end, -1 nothing yet.
int GetNetWorkDataLength(int32_t handle);
// 1 connected, 0 not (the loss then counts as reported).
int GetNetWorkAcceptState(int32_t handle);
// Takes one line ending in LF (the LF dropped, a CR before it kept) into `destination` (255 bytes at
// least). 0, or -1 when no complete line waits. A line of 255 bytes or more, or one holding a NUL byte,
// is dropped with a log line (through its line feed, which may come later), and the next line is sought.
int NetWorkRecvLine(int32_t handle, char* destination);
int CloseNetWorkHandle(int32_t handle);

}  // namespace orbel
