// The network subsystem as the core runtime sees it: the HTTP transfer table that start-up clears and the
// pump walks, the per-frame network and HTTP steps, the socket notice the window procedure hands on, and
// the end calls of shut-down.
#pragma once

#include <cstdint>

namespace orbel {

struct HttpHandleRecord;  // one HTTP transfer; defined by the network subsystem

constexpr int kHttpHandleMax = 100;

struct HttpStateBlock {
  HttpHandleRecord* HttpHandleTable[kHttpHandleMax];  // null when free; the HTTP handle is the index
  int32_t HttpHandleCount;                             // live transfers
};

extern HttpStateBlock HttpState;

// Deletes every HTTP handle (first step of shut-down).
uint32_t DeleteAllHttpHandles();
// Closes every network handle and the network window and ends WinSock.
uint32_t EndNetWork();
// Dispatches the hidden network window's messages; with 1 also closes finished connections.
int ProcessNetWorkMessage(int closeFinished);
// WM_USER + 0x105: wParam is the socket, lParam the event.
int ProcessSocketMessage(uintptr_t socket, intptr_t event);
// Steps the transfer in one slot; -1 for an empty slot.
int ProcessHttpHandle(int slot);
// Steps every live transfer.
int ProcessAllHttpHandles();

}  // namespace orbel
