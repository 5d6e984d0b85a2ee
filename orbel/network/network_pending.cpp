// PENDING: stands in for the network subsystem until it is built; delete this file then.
// No connection or transfer can exist, so every step does nothing. The HTTP state block is real because
// start-up clears it and the pump walks it.
#include "orbel/network/network_system.h"

namespace orbel {

HttpStateBlock HttpState = {};

uint32_t DeleteAllHttpHandles() { return 0; }
uint32_t EndNetWork() { return 0; }
int ProcessNetWorkMessage(int) { return 0; }
int ProcessSocketMessage(uintptr_t, intptr_t) { return 0; }
int ProcessHttpHandle(int slot) {
  if (slot < 0 || slot >= kHttpHandleMax || HttpState.HttpHandleTable[slot] == nullptr) return -1;
  return 0;
}
int ProcessAllHttpHandles() { return 0; }

}  // namespace orbel
