// The per-thread message queues: posting, sending (directly on the owner thread, through the owner's
// queue from other threads), peeking with filters, WM_QUIT / WM_PAINT / WM_TIMER made on demand,
// dispatching, and window timers on the plat clock. See message_queue.h for the retrieval order.
#include "platform/win/user/message_queue.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/win/kernel/clock.h"
#include "platform/win/user/drag_drop.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace winstate {
namespace {

const HWND kThreadOnly = reinterpret_cast<HWND>(intptr_t{-1});
constexpr UINT kMinimumTimerMs = 10;
constexpr UINT_PTR kFirstThreadTimerId = 0x7F00;

// A message sent from another thread, waiting for the owner thread to run the procedure.
struct SentMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  LRESULT result = 0;
  bool done = false;
  std::mutex mutex;
  std::condition_variable cv;
};

struct Timer {
  HWND window;  // null for a thread timer
  UINT_PTR id;
  UINT elapseMs;
  TIMERPROC proc;
  uint64_t dueMicroseconds;
};

struct ThreadQueue {
  DWORD threadId = 0;
  std::mutex mutex;
  std::condition_variable cv;  // signalled on every post and send
  std::deque<MSG> posted;
  bool quitPending = false;
  int quitCode = 0;
  std::deque<std::shared_ptr<SentMessage>> sent;
  std::vector<Timer> timers;
  bool alive = true;
};

struct QueueRegistry {
  std::mutex mutex;
  std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues;
  UINT_PTR nextThreadTimerId = kFirstThreadTimerId;
};

// Never destroyed: threads may still end (and unregister) while the process exits.
QueueRegistry& Registry() {
  static auto* registry = new QueueRegistry;
  return *registry;
}

void FinishSent(SentMessage& sent, LRESULT result) {
  std::lock_guard<std::mutex> lock(sent.mutex);
  sent.result = result;
  sent.done = true;
  sent.cv.notify_all();
}

// The calling thread's queue; it unregisters (and releases its waiting senders) when the thread ends.
struct QueueHolder {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueHolder() {
    if (!queue) return;
    std::deque<std::shared_ptr<SentMessage>> orphans;
    {
      std::lock_guard<std::mutex> lock(queue->mutex);
      queue->alive = false;
      orphans.swap(queue->sent);
    }
    for (auto& sent : orphans) FinishSent(*sent, 0);
    QueueRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.queues.find(queue->threadId);
    if (it != r.queues.end() && it->second == queue) r.queues.erase(it);
  }
};

thread_local QueueHolder t_queue;
thread_local int t_pumpDepth = 0;
std::atomic<PeekHook> g_peekHook{nullptr};

ThreadQueue& OwnQueue() {
  if (!t_queue.queue) {
    auto queue = std::make_shared<ThreadQueue>();
    queue->threadId = GetCurrentThreadId();
    QueueRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.queues[queue->threadId] = queue;
    t_queue.queue = std::move(queue);
  }
  return *t_queue.queue;
}

std::shared_ptr<ThreadQueue> QueueOf(DWORD threadId) {
  QueueRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.queues.find(threadId);
  return it == r.queues.end() ? nullptr : it->second;
}

MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return MSG{window, message, wParam, lParam, timeGetTime(), CursorPos()};
}

bool Post(ThreadQueue& queue, const MSG& msg) {
  std::lock_guard<std::mutex> lock(queue.mutex);
  if (!queue.alive) return false;
  queue.posted.push_back(msg);
  queue.cv.notify_all();
  return true;
}

// The window's procedure and thread, or false for an unknown window.
bool ProcedureOf(HWND window, WNDPROC* proc, DWORD* threadId) {
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(window);
  if (!w) return false;
  *proc = w->proc;
  *threadId = w->threadId;
  return true;
}

std::vector<HWND> TopLevelWindows() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().zOrder;
}

// Runs the procedures of messages other threads sent to this one.
void DeliverSent(ThreadQueue& queue) {
  for (;;) {
    std::shared_ptr<SentMessage> sent;
    {
      std::lock_guard<std::mutex> lock(queue.mutex);
      if (queue.sent.empty()) return;
      sent = std::move(queue.sent.front());
      queue.sent.pop_front();
    }
    WNDPROC proc = nullptr;
    DWORD owner = 0;
    const bool known = ProcedureOf(sent->window, &proc, &owner);
    FinishSent(*sent, known && proc != nullptr ? proc(sent->window, sent->message, sent->wParam, sent->lParam) : 0);
  }
}

bool MatchesWindow(HWND messageWindow, HWND filter) {
  if (filter == nullptr) return true;
  if (filter == kThreadOnly) return messageWindow == nullptr;
  return messageWindow == filter;
}

bool MatchesRange(UINT message, UINT min, UINT max) {
  return (min == 0 && max == 0) || (message >= min && message <= max);
}

bool TakeTimer(ThreadQueue& queue, MSG* msg, HWND filter, UINT min, UINT max, bool remove) {
  if (!MatchesRange(WM_TIMER, min, max)) return false;
  std::lock_guard<std::mutex> lock(queue.mutex);
  if (queue.timers.empty()) return false;
  const uint64_t now = clock::NowMicroseconds();
  for (Timer& t : queue.timers) {
    if (!MatchesWindow(t.window, filter) || t.dueMicroseconds > now) continue;
    *msg = MakeMessage(t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc));
    if (remove) t.dueMicroseconds = now + uint64_t{t.elapseMs} * 1000;
    return true;
  }
  return false;
}

}  // namespace

void EnsureThreadQueue() { OwnQueue(); }

void SetPeekHook(PeekHook hook) { g_peekHook.store(hook); }

void PumpHostEvents() {
  if (t_pumpDepth > 0) return;
  ++t_pumpDepth;
  DeliverInjectedEvents();
  host::Host* host;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    host = &HostLocked();
  }
  host->PumpEvents();
  --t_pumpDepth;
}

void ForgetWindowMessages(DWORD threadId, HWND window) {
  std::shared_ptr<ThreadQueue> queue = QueueOf(threadId);
  if (!queue) return;
  std::vector<HDROP> drops;
  {
    std::lock_guard<std::mutex> lock(queue->mutex);
    auto& posted = queue->posted;
    for (const MSG& m : posted) {
      if (m.hwnd == window && m.message == WM_DROPFILES) drops.push_back(reinterpret_cast<HDROP>(m.wParam));
    }
    posted.erase(std::remove_if(posted.begin(), posted.end(), [&](const MSG& m) { return m.hwnd == window; }),
                 posted.end());
    auto& timers = queue->timers;
    timers.erase(std::remove_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window; }),
                 timers.end());
  }
  for (HDROP drop : drops) DragFinish(drop);
}

void ResetQueues() {
  ThreadQueue& queue = OwnQueue();
  std::vector<HDROP> drops;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    for (const MSG& m : queue.posted) {
      if (m.message == WM_DROPFILES) drops.push_back(reinterpret_cast<HDROP>(m.wParam));
    }
    queue.posted.clear();
    queue.timers.clear();
    queue.quitPending = false;
    queue.quitCode = 0;
  }
  for (HDROP drop : drops) DragFinish(drop);
}

// Posts a translated character so that it is the next message taken.
void PostCharFirst(HWND window, UINT message, WPARAM character, LPARAM lParam) {
  ThreadQueue& queue = OwnQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.posted.push_front(MakeMessage(window, message, character, lParam));
}

}  // namespace winstate

using namespace winstate;

BOOL PeekMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax, UINT remove) {
  if (msg == nullptr) return FALSE;
  PumpHostEvents();
  if (PeekHook hook = g_peekHook.load()) hook(window);
  ThreadQueue& queue = OwnQueue();
  DeliverSent(queue);
  const bool removing = (remove & PM_REMOVE) != 0;
  {
    std::unique_lock<std::mutex> lock(queue.mutex);
    for (auto it = queue.posted.begin(); it != queue.posted.end(); ++it) {
      if (!MatchesWindow(it->hwnd, window) || !MatchesRange(it->message, filterMin, filterMax)) continue;
      *msg = *it;
      if (removing) {
        queue.posted.erase(it);
        lock.unlock();
        if (msg->message >= WM_KEYFIRST && msg->message <= WM_KEYLAST) NoteKeyMessage(msg->message, msg->wParam);
      }
      return TRUE;
    }
    if (queue.quitPending && (window == nullptr || window == kThreadOnly) &&
        MatchesRange(WM_QUIT, filterMin, filterMax)) {
      *msg = MakeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(queue.quitCode), 0);
      if (removing) queue.quitPending = false;
      return TRUE;
    }
  }
  if (MatchesRange(WM_PAINT, filterMin, filterMax)) {
    if (HWND paint = FindWindowToPaint(queue.threadId, window)) {
      *msg = MakeMessage(paint, WM_PAINT, 0, 0);
      return TRUE;
    }
  }
  return TakeTimer(queue, msg, window, filterMin, filterMax, removing) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* msg, HWND window, UINT filterMin, UINT filterMax) {
  if (msg == nullptr) return -1;
  ThreadQueue& queue = OwnQueue();
  while (!PeekMessageA(msg, window, filterMin, filterMax, PM_REMOVE)) {
    if (clock::IsVirtual()) {
      Sleep(1);
    } else {
      std::unique_lock<std::mutex> lock(queue.mutex);
      if (queue.posted.empty() && queue.sent.empty()) clock::WaitSlice(lock, queue.cv);
    }
  }
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == nullptr) return Post(OwnQueue(), MakeMessage(nullptr, message, wParam, lParam)) ? TRUE : FALSE;
  if (window == HWND_BROADCAST) {
    for (HWND each : TopLevelWindows()) PostMessageA(each, message, wParam, lParam);
    return TRUE;
  }
  WNDPROC proc;
  DWORD threadId;
  if (!ProcedureOf(window, &proc, &threadId)) return FALSE;
  std::shared_ptr<ThreadQueue> queue = QueueOf(threadId);
  return queue && Post(*queue, MakeMessage(window, message, wParam, lParam)) ? TRUE : FALSE;
}

BOOL PostThreadMessageA(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam) {
  std::shared_ptr<ThreadQueue> queue = QueueOf(threadId);
  return queue && Post(*queue, MakeMessage(nullptr, message, wParam, lParam)) ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window == HWND_BROADCAST) {
    const DWORD self = GetCurrentThreadId();
    for (HWND each : TopLevelWindows()) {
      WNDPROC proc;
      DWORD threadId;
      if (!ProcedureOf(each, &proc, &threadId)) continue;
      if (threadId == self) {
        if (proc != nullptr) proc(each, message, wParam, lParam);
      } else {
        PostMessageA(each, message, wParam, lParam);
      }
    }
    return 0;
  }
  WNDPROC proc;
  DWORD threadId;
  if (!ProcedureOf(window, &proc, &threadId)) return 0;
  if (threadId == GetCurrentThreadId()) return proc != nullptr ? proc(window, message, wParam, lParam) : 0;

  std::shared_ptr<ThreadQueue> target = QueueOf(threadId);
  if (!target) return 0;
  auto sent = std::make_shared<SentMessage>();
  sent->window = window;
  sent->message = message;
  sent->wParam = wParam;
  sent->lParam = lParam;
  {
    std::lock_guard<std::mutex> lock(target->mutex);
    if (!target->alive) return 0;
    target->sent.push_back(sent);
    target->cv.notify_all();
  }
  // While waiting, serve what others send to this thread, so two threads sending to each other finish.
  ThreadQueue& own = OwnQueue();
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(sent->mutex);
      if (sent->done) return sent->result;
      clock::WaitSlice(lock, sent->cv);
      if (sent->done) return sent->result;
    }
    DeliverSent(own);
  }
}

void PostQuitMessage(int exitCode) {
  ThreadQueue& queue = OwnQueue();
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.quitPending = true;
  queue.quitCode = exitCode;
  queue.cv.notify_all();
}

BOOL TranslateMessage(const MSG* msg) {
  if (msg == nullptr) return FALSE;
  const UINT m = msg->message;
  if (m == WM_KEYUP || m == WM_SYSKEYUP) return TRUE;
  if (m != WM_KEYDOWN && m != WM_SYSKEYDOWN) return FALSE;
  const UINT vk = static_cast<UINT>(msg->wParam);
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool alt = GetKeyState(VK_MENU) < 0;
  char c = 0;
  if (ctrl && !alt) {
    // Control characters, as the US layout makes them.
    if (vk >= 'A' && vk <= 'Z') c = static_cast<char>(vk - 'A' + 1);
    else if (vk == VK_OEM_4) c = 0x1B;
    else if (vk == VK_OEM_5) c = 0x1C;
    else if (vk == VK_OEM_6) c = 0x1D;
    else if (vk == VK_RETURN) c = 0x0A;
    else if (vk == VK_BACK) c = 0x7F;
    else if (vk == VK_ESCAPE || vk == VK_SPACE || vk == VK_TAB) c = VirtualKeyToChar(vk, false, false);
  } else {
    c = VirtualKeyToChar(vk, GetKeyState(VK_SHIFT) < 0, (GetKeyState(VK_CAPITAL) & 1) != 0);
  }
  if (c != 0) {
    PostCharFirst(msg->hwnd, m == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR,
                  static_cast<WPARAM>(static_cast<unsigned char>(c)), msg->lParam);
  }
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (msg == nullptr) return 0;
  if (msg->message == WM_TIMER && msg->lParam != 0) {
    // Only a procedure that a live timer of this thread holds is called.
    const auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    bool known = false;
    {
      ThreadQueue& queue = OwnQueue();
      std::lock_guard<std::mutex> lock(queue.mutex);
      for (const Timer& t : queue.timers) known = known || (t.proc == proc && t.window == msg->hwnd);
    }
    if (known) proc(msg->hwnd, WM_TIMER, static_cast<UINT_PTR>(msg->wParam), timeGetTime());
    return 0;
  }
  if (msg->hwnd == nullptr) return 0;
  WNDPROC proc;
  DWORD threadId;
  if (!ProcedureOf(msg->hwnd, &proc, &threadId) || threadId != GetCurrentThreadId() || proc == nullptr) return 0;
  return proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

int TranslateAcceleratorA(HWND, HACCEL, MSG*) { return 0; }

BOOL IsDialogMessageA(HWND, MSG*) { return FALSE; }

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC procedure) {
  std::shared_ptr<ThreadQueue> queue;
  if (window != nullptr) {
    WNDPROC proc;
    DWORD threadId;
    if (!ProcedureOf(window, &proc, &threadId)) return 0;
    queue = QueueOf(threadId);
    if (!queue) return 0;
  } else {
    OwnQueue();
    queue = t_queue.queue;
    QueueRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    id = r.nextThreadTimerId++;
  }
  elapseMs = std::max(elapseMs, kMinimumTimerMs);
  const uint64_t due = clock::NowMicroseconds() + uint64_t{elapseMs} * 1000;
  std::lock_guard<std::mutex> lock(queue->mutex);
  for (Timer& t : queue->timers) {
    if (t.window == window && t.id == id) {
      t.elapseMs = elapseMs;
      t.proc = procedure;
      t.dueMicroseconds = due;
      return window != nullptr && id == 0 ? 1 : id;
    }
  }
  queue->timers.push_back(Timer{window, id, elapseMs, procedure, due});
  return window != nullptr && id == 0 ? 1 : id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  std::shared_ptr<ThreadQueue> queue;
  if (window != nullptr) {
    WNDPROC proc;
    DWORD threadId;
    if (!ProcedureOf(window, &proc, &threadId)) return FALSE;
    queue = QueueOf(threadId);
  } else {
    OwnQueue();
    queue = t_queue.queue;
  }
  if (!queue) return FALSE;
  std::lock_guard<std::mutex> lock(queue->mutex);
  auto& timers = queue->timers;
  auto it = std::find_if(timers.begin(), timers.end(), [&](const Timer& t) { return t.window == window && t.id == id; });
  if (it == timers.end()) return FALSE;
  timers.erase(it);
  return TRUE;
}

}  // namespace plat
