// Events, waits, critical sections and thread ids.
#include "platform/win/kernel/sync.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace plat {
namespace {

struct EventState {
  std::mutex mutex;
  std::condition_variable signalled;
  bool isSet = false;
  bool manualReset = true;
};

struct EventObject final : KernelObject {
  std::shared_ptr<EventState> state;

  DWORD Wait(DWORD timeoutMs) override {
    EventState& e = *state;
    std::unique_lock<std::mutex> lock(e.mutex);
    if (!clock::WaitFor(lock, e.signalled, timeoutMs, [&e] { return e.isSet; })) return WAIT_TIMEOUT;
    if (!e.manualReset) e.isSet = false;  // an auto-reset event releases one waiter per SetEvent
    return WAIT_OBJECT_0;
  }
};

struct SyncState {
  std::mutex mutex;
  std::unordered_map<std::string, std::weak_ptr<EventState>> named;
  bool failNextEvent = false;
};

SyncState& Sync() {
  static SyncState* state = new SyncState;
  return *state;
}

std::atomic<DWORD> nextThreadId{1};
thread_local DWORD currentThreadId = 0;

}  // namespace

struct CriticalSectionImpl {
  std::mutex mutex;
  std::condition_variable released;
  DWORD owner = 0;  // thread id, 0 when free
  long depth = 0;   // entries not yet left by the owner
};

// ---------------------------------------------------------------------------------------------
// Events and waits
// ---------------------------------------------------------------------------------------------

HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, const char* name) {
  SyncState& s = Sync();
  std::shared_ptr<EventState> state;
  bool existed = false;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.failNextEvent) {
      s.failNextEvent = false;
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    if (name != nullptr && name[0] != '\0') {
      auto& slot = s.named[name];
      state = slot.lock();
      existed = state != nullptr;
      if (!existed) {
        state = std::make_shared<EventState>();
        slot = state;
      }
    } else {
      state = std::make_shared<EventState>();
    }
  }
  if (!existed) {
    state->manualReset = manualReset != FALSE;
    state->isSet = initialState != FALSE;
  }
  auto* event = new EventObject;
  event->state = std::move(state);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : NO_ERROR);
  return event;
}

BOOL SetEvent(HANDLE handle) {
  auto event = handles::Find<EventObject>(handle);
  if (!event) return FALSE;
  EventState& e = *event->state;
  {
    std::lock_guard<std::mutex> lock(e.mutex);
    e.isSet = true;
  }
  if (e.manualReset) {
    e.signalled.notify_all();
  } else {
    e.signalled.notify_one();
  }
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  auto event = handles::Find<EventObject>(handle);
  if (!event) return FALSE;
  std::lock_guard<std::mutex> lock(event->state->mutex);
  event->state->isSet = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  // The reference keeps the object through the wait, should another thread close the handle.
  KernelObjectRef object(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  const DWORD result = object.get()->Wait(milliseconds);
  if (result == WAIT_FAILED) SetLastError(ERROR_INVALID_HANDLE);
  return result;
}

// ---------------------------------------------------------------------------------------------
// Critical sections
// ---------------------------------------------------------------------------------------------

void InitializeCriticalSection(CRITICAL_SECTION* section) {
  if (section == nullptr) return;
  section->impl = new CriticalSectionImpl;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
  if (section == nullptr || section->impl == nullptr) return;
  CriticalSectionImpl& cs = *section->impl;
  const DWORD self = GetCurrentThreadId();
  std::unique_lock<std::mutex> lock(cs.mutex);
  if (cs.owner != self) {
    cs.released.wait(lock, [&cs] { return cs.owner == 0; });
    cs.owner = self;
  }
  ++cs.depth;
}

BOOL TryEnterCriticalSection(CRITICAL_SECTION* section) {
  if (section == nullptr || section->impl == nullptr) return FALSE;
  CriticalSectionImpl& cs = *section->impl;
  const DWORD self = GetCurrentThreadId();
  std::lock_guard<std::mutex> lock(cs.mutex);
  if (cs.owner != 0 && cs.owner != self) return FALSE;
  cs.owner = self;
  ++cs.depth;
  return TRUE;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
  if (section == nullptr || section->impl == nullptr) return;
  CriticalSectionImpl& cs = *section->impl;
  {
    std::lock_guard<std::mutex> lock(cs.mutex);
    if (cs.owner != GetCurrentThreadId() || cs.depth == 0) return;
    if (--cs.depth != 0) return;
    cs.owner = 0;
  }
  cs.released.notify_one();
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
  if (section == nullptr) return;
  delete section->impl;
  section->impl = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Thread ids
// ---------------------------------------------------------------------------------------------

DWORD thread_ids::Allocate() {
  DWORD id = nextThreadId.fetch_add(1);
  // 0 means "no thread" and 0xFFFFFFFF "free" to callers; skip both should the counter ever wrap.
  while (id == 0 || id == 0xFFFFFFFFu) id = nextThreadId.fetch_add(1);
  return id;
}

void thread_ids::AdoptForCurrentThread(DWORD id) { currentThreadId = id; }

DWORD GetCurrentThreadId() {
  if (currentThreadId == 0) currentThreadId = thread_ids::Allocate();
  return currentThreadId;
}

namespace test {

void FailNextCreateEvent() {
  SyncState& s = Sync();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failNextEvent = true;
}

void ResetSync() {
  SyncState& s = Sync();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failNextEvent = false;
  for (auto it = s.named.begin(); it != s.named.end();) {
    it = it->second.expired() ? s.named.erase(it) : std::next(it);
  }
}

}  // namespace test
}  // namespace plat
