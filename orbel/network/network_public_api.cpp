// The public forwarders of the network subsystem: they pass their arguments unchanged and return the
// implementation's result.
#include "orbel.h"

#include "orbel/network/network_data.h"

int NetWorkRecv(int netHandle, void* buffer, int length) { return orbel::NetWorkRecv(netHandle, buffer, length); }

int NetWorkRecvToPeek(int netHandle, void* buffer, int length) {
  return orbel::NetWorkRecvToPeek(netHandle, buffer, length);
}

int NetWorkSend(int netHandle, const void* buffer, int length) { return orbel::NetWorkSend(netHandle, buffer, length); }

int GetNetWorkDataLength(int netHandle) { return orbel::GetNetWorkDataLength(netHandle); }

int GetNetWorkAcceptState(int netHandle) { return orbel::GetNetWorkAcceptState(netHandle); }

int NetWorkRecvLine(int netHandle, char* buffer) { return orbel::NetWorkRecvLine(netHandle, buffer); }

int CloseNetWorkHandle(int netHandle) { return orbel::CloseNetWorkHandle(netHandle); }
