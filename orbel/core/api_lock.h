// The process-wide API lock: recursive per thread, handed to waiting threads strictly in arrival order.
// Each waiting thread sleeps on its own manual-reset event from a rotating queue of 4096 events; the lock
// is set up by its first use and torn down after the library end (or before a fatal exit).
// Depends on: platform/win/kernel/sync.h (events, critical section, thread id), clock.h (Sleep).
#pragma once

namespace orbel {

constexpr int kApiLockQueueSize = 4096;

// Returns when the calling thread owns the lock (once more, if it already did).
void LockApi();
// Gives up one level; at the last level hands the lock to the first waiting thread.
void UnlockApi();
// Closes every event and deletes the guard; a later LockApi sets everything up again. Nothing when the
// lock was never set up.
void TearDownApiLock();

// Introspection for tests: threads waiting, recursion depth, whether the events exist.
int GetApiLockQueueLength();
int GetApiLockDepth();
int IsApiLockSetUp();

}  // namespace orbel
