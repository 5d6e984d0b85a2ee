// The API lock: a recursive lock with strict first-come hand-over. A thread that finds the lock taken, or
// free while others wait, writes itself behind the last waiting entry and sleeps on that entry's event;
// only the head of the queue may take a free lock. When the head leaves, its event rotates to the slot
// just behind the last waiting entry, so no event is created or destroyed while the lock is in use.
// Depends on: platform/win/kernel/sync.h, file_io.h (CloseHandle), clock.h (Sleep).
#include "orbel/core/api_lock.h"

#include <cstdint>

#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/sync.h"

namespace orbel {

namespace {

struct ApiLockEntry {
  uint32_t threadId;    // 0 while the slot is vacant
  plat::HANDLE event;   // manual reset, owned by the slot for the lock's life
};

struct ApiLockState {
  int depth;            // recursion count of the owner
  int locked;           // 1 while some thread owns the lock
  uint32_t owner;       // owner's thread id; 0xFFFFFFFF after the last release
  ApiLockEntry queue[kApiLockQueueSize];
  int setUp;            // the events and the guard exist
  int queueLength;      // waiting threads
  plat::CRITICAL_SECTION guard;
};

ApiLockState g_lock = {};

constexpr uint32_t kNoOwner = 0xFFFFFFFFu;

void SetUpLock() {
  // Not itself guarded: the first call comes from the application's thread at start-up.
  g_lock.setUp = 1;
  for (ApiLockEntry& entry : g_lock.queue) {
    entry.threadId = 0;
    entry.event = plat::CreateEventA(nullptr, plat::TRUE, plat::FALSE, nullptr);
  }
  plat::InitializeCriticalSection(&g_lock.guard);
}

// The head entry leaves the queue; its event moves behind the last waiting entry. Inside the guard.
void LeaveQueueHead() {
  if (g_lock.queueLength == 1) {
    g_lock.queueLength = 0;
    return;
  }
  const plat::HANDLE headEvent = g_lock.queue[0].event;
  for (int i = 1; i < g_lock.queueLength; ++i) g_lock.queue[i - 1] = g_lock.queue[i];
  g_lock.queue[g_lock.queueLength - 1].threadId = 0;
  g_lock.queue[g_lock.queueLength - 1].event = headEvent;
  --g_lock.queueLength;
}

}  // namespace

void LockApi() {
  if (!g_lock.setUp) SetUpLock();
  const uint32_t self = plat::GetCurrentThreadId();

  for (;;) {
    plat::EnterCriticalSection(&g_lock.guard);
    bool take = false;
    if (g_lock.locked) {
      take = g_lock.owner == self;
    } else if (g_lock.queueLength == 0 || g_lock.owner == self) {
      take = true;
    } else if (g_lock.queue[0].threadId == self) {
      LeaveQueueHead();
      take = true;
    }

    if (take) {
      ++g_lock.depth;
      g_lock.locked = 1;
      g_lock.owner = self;
      plat::LeaveCriticalSection(&g_lock.guard);
      return;
    }

    if (g_lock.queueLength == kApiLockQueueSize) {
      // Every entry is taken: poll until one is free.
      plat::LeaveCriticalSection(&g_lock.guard);
      plat::Sleep(1);
      continue;
    }

    ApiLockEntry& entry = g_lock.queue[g_lock.queueLength];
    entry.threadId = self;
    const plat::HANDLE event = entry.event;
    ++g_lock.queueLength;
    plat::LeaveCriticalSection(&g_lock.guard);
    plat::WaitForSingleObject(event, plat::INFINITE);
    plat::ResetEvent(event);
  }
}

void UnlockApi() {
  plat::EnterCriticalSection(&g_lock.guard);
  bool wake = false;
  if (g_lock.depth == 1) {
    g_lock.locked = 0;
    g_lock.owner = kNoOwner;
    wake = g_lock.queueLength >= 1;
  }
  --g_lock.depth;
  const plat::HANDLE headEvent = g_lock.queue[0].event;
  plat::LeaveCriticalSection(&g_lock.guard);

  if (wake) {
    plat::SetEvent(headEvent);
    plat::Sleep(0);  // let the woken thread run
  }
}

void TearDownApiLock() {
  if (!g_lock.setUp) return;
  g_lock.setUp = 0;
  for (ApiLockEntry& entry : g_lock.queue) {
    if (entry.event) plat::CloseHandle(entry.event);
    entry.event = nullptr;
    entry.threadId = 0;
  }
  plat::DeleteCriticalSection(&g_lock.guard);
  g_lock.depth = 0;
  g_lock.locked = 0;
  g_lock.owner = kNoOwner;
  g_lock.queueLength = 0;
}

int GetApiLockQueueLength() {
  if (!g_lock.setUp) return 0;
  plat::EnterCriticalSection(&g_lock.guard);
  const int length = g_lock.queueLength;
  plat::LeaveCriticalSection(&g_lock.guard);
  return length;
}

int GetApiLockDepth() {
  if (!g_lock.setUp) return 0;
  plat::EnterCriticalSection(&g_lock.guard);
  const int depth = g_lock.depth;
  plat::LeaveCriticalSection(&g_lock.guard);
  return depth;
}

int IsApiLockSetUp() { return g_lock.setUp; }

}  // namespace orbel
