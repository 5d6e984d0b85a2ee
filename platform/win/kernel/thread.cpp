// Threads over detached pthreads. The handle and the running thread share one state record, so either
// may go first; ExitThread unwinds the thread with pthread_exit, and a guard on the thread's start
// frame records the exit code on every way out.
#include "platform/win/kernel/thread.h"

#include <pthread.h>
#include <unistd.h>

#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/kernel/process_folder.h"
#include "platform/win/kernel/sync.h"

namespace plat {
namespace {

struct ThreadState {
  std::mutex mutex;
  std::condition_variable ended;
  bool running = true;
  DWORD exitCode = STILL_ACTIVE;
};

struct ThreadObject final : KernelObject {
  std::shared_ptr<ThreadState> state;
  DWORD id = 0;

  DWORD Wait(DWORD timeoutMs) override {
    ThreadState& t = *state;
    std::unique_lock<std::mutex> lock(t.mutex);
    return clock::WaitFor(lock, t.ended, timeoutMs, [&t] { return !t.running; }) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }
};

struct StartBlock {
  std::shared_ptr<ThreadState> state;
  LPTHREAD_START_ROUTINE routine;
  void* parameter;
  DWORD id;
};

// The state of the calling thread when CreateThread made it; ExitThread stores its code there.
thread_local ThreadState* currentThread = nullptr;

struct ThreadServiceState {
  std::mutex mutex;
  bool failNextCreate = false;  // one-shot test fault
};

ThreadServiceState& Threads() {
  static ThreadServiceState* state = new ThreadServiceState;
  return *state;
}

// Marks the thread ended when its start frame is left, by return or by ExitThread's unwinding.
struct EndGuard {
  ThreadState* state;
  ~EndGuard() {
    {
      std::lock_guard<std::mutex> lock(state->mutex);
      state->running = false;
    }
    state->ended.notify_all();
  }
};

void* ThreadStart(void* raw) {
  std::unique_ptr<StartBlock> block(static_cast<StartBlock*>(raw));
  std::shared_ptr<ThreadState> state = block->state;  // keeps the record alive past the guard
  thread_ids::AdoptForCurrentThread(block->id);
  currentThread = state.get();
  LPTHREAD_START_ROUTINE routine = block->routine;
  void* parameter = block->parameter;
  block.reset();
  EndGuard guard{state.get()};
  const DWORD code = routine(parameter);
  std::lock_guard<std::mutex> lock(state->mutex);
  state->exitCode = code;
  return nullptr;
}

}  // namespace

HANDLE CreateThread(SECURITY_ATTRIBUTES*, size_t stackSize, LPTHREAD_START_ROUTINE startAddress, void* parameter,
                    DWORD creationFlags, DWORD* threadId) {
  if (startAddress == nullptr || (creationFlags & CREATE_SUSPENDED) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  {
    ThreadServiceState& s = Threads();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (s.failNextCreate) {
      s.failNextCreate = false;
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
  }
  auto state = std::make_shared<ThreadState>();
  const DWORD id = thread_ids::Allocate();
  auto* block = new StartBlock{state, startAddress, parameter, id};

  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  const size_t minimumStack = static_cast<size_t>(PTHREAD_STACK_MIN);
  if (stackSize != 0) pthread_attr_setstacksize(&attr, stackSize < minimumStack ? minimumStack : stackSize);
  // The id goes out before the thread runs, so a routine that reads it from its parameter sees it.
  const DWORD previousId = threadId != nullptr ? *threadId : 0;
  if (threadId != nullptr) *threadId = id;
  pthread_t thread;
  const int rc = pthread_create(&thread, &attr, ThreadStart, block);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete block;
    if (threadId != nullptr) *threadId = previousId;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* handle = new ThreadObject;
  handle->state = std::move(state);
  handle->id = id;
  return handle;
}

BOOL GetExitCodeThread(HANDLE handle, DWORD* exitCode) {
  auto thread = handles::Find<ThreadObject>(handle);
  if (!thread) return FALSE;
  if (exitCode == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(thread->state->mutex);
  *exitCode = thread->state->running ? STILL_ACTIVE : thread->state->exitCode;
  return TRUE;
}

void ExitThread(DWORD exitCode) {
  if (currentThread != nullptr) {
    std::lock_guard<std::mutex> lock(currentThread->mutex);
    currentThread->exitCode = exitCode;
  }
  pthread_exit(nullptr);
}

void ExitProcess(UINT exitCode) {
  std::fflush(nullptr);
  RemoveOwnProcessFolder();  // no exit handler runs to remove it
  _exit(static_cast<int>(exitCode & 0xFF));
}

namespace test {

void FailNextCreateThread() {
  ThreadServiceState& s = Threads();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failNextCreate = true;
}

void ResetThreads() {
  ThreadServiceState& s = Threads();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failNextCreate = false;
}

}  // namespace test
}  // namespace plat
