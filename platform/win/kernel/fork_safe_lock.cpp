// The locks a forked child finds free, through one set of fork handlers: the prepare handler takes each
// lock (waiting for those held only over work in memory, trying the others without waiting); the parent
// gives back what it took; the child gives back what it took and makes the others anew.
#include "platform/win/kernel/fork_safe_lock.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <new>

namespace plat {
namespace {

constexpr int kMostLocks = 8;

struct ForkSafeLock {
  std::atomic<std::mutex*> mutex{nullptr};  // published once the entry is complete
  bool wait = false;                        // the fork waits for it
  void (*afterHeldByAnother)() = nullptr;
};

ForkSafeLock gLocks[kMostLocks];
std::atomic<int> gReserved{0};

// What the forking thread took for its fork: the handlers of one fork run on that thread (in the child,
// on its copy), so forks from two threads at once keep apart.
thread_local int tSeen = 0;
thread_local bool tTaken[kMostLocks];

void TakeLocks() {
  tSeen = std::min(gReserved.load(), kMostLocks);
  for (int i = 0; i < tSeen; ++i) {
    std::mutex* mutex = gLocks[i].mutex.load();
    tTaken[i] = false;
    if (mutex == nullptr) continue;
    if (gLocks[i].wait) {
      mutex->lock();
      tTaken[i] = true;
    } else {
      tTaken[i] = mutex->try_lock();
    }
  }
}

void GiveBackInParent() {
  for (int i = 0; i < tSeen; ++i) {
    if (tTaken[i]) gLocks[i].mutex.load()->unlock();
  }
}

void FreeInChild() {
  for (int i = 0; i < tSeen; ++i) {
    std::mutex* mutex = gLocks[i].mutex.load();
    if (mutex == nullptr) continue;
    if (tTaken[i]) {
      mutex->unlock();
      continue;
    }
    new (mutex) std::mutex;  // its holder is not in this process
    if (gLocks[i].afterHeldByAnother != nullptr) gLocks[i].afterHeldByAnother();
  }
}

void Register(std::mutex* mutex, bool wait, void (*afterHeldByAnother)()) {
  static const bool handlersSet = ::pthread_atfork(&TakeLocks, &GiveBackInParent, &FreeInChild) == 0;
  if (!handlersSet) return;
  const int slot = gReserved.fetch_add(1);
  if (slot >= kMostLocks) return;  // more locks than this process was built for: left as they are
  gLocks[slot].wait = wait;
  gLocks[slot].afterHeldByAnother = afterHeldByAnother;
  gLocks[slot].mutex.store(mutex);
}

}  // namespace

void TakeAroundFork(std::mutex* mutex) { Register(mutex, true, nullptr); }

void KeepFreeInForkedChild(std::mutex* mutex, void (*afterHeldByAnother)()) {
  Register(mutex, false, afterHeldByAnother);
}

}  // namespace plat
