// The connection-making side of the network layer. The library itself never opens a connection; these
// internal entries start the layer, listen on 127.0.0.1, hand an already connected socket to the layer
// (the same road as an accepted one) and choose the mode of the handles made from then on.
// Not part of the public interface.
#pragma once

#include <cstdint>

#include "platform/winsock/winsock.h"

namespace orbel {

// Starts WinSock, creates the network window and sets the start flag. 0 (also when started), or -1.
int StartNetWork();
// Handles made from now on are raw (1) or framed (0).
void SetNetWorkRawMode(int raw);
// Handles made from now on stay open after their loss was reported (1), or are closed by the pump (0).
void SetKeepLostNetWorkHandle(int keep);
// Listens on 127.0.0.1:`port` (0: a free port) into the listening slot, starting the layer when needed.
// The port listened on, or -1 (also when a listener exists).
int PrepareListenNetWork(int port);
// Makes a network handle of a connected socket, as accepting does (lowest free slot, flags by the
// settings, peer address, selection). The socket belongs to the layer from then on, also on failure.
// The handle, or -1.
int32_t AdoptNetWorkSocket(plat::SOCKET socket);
// Connects to 127.0.0.1:`port` and adopts the socket: the handle, or -1.
int32_t ConnectNetWorkLoopback(int port);
// The handle of the newest live record (what an accept just made), or -1.
int32_t GetLastMadeNetWorkHandle();

}  // namespace orbel
