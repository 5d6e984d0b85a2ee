// SIGTERM, SIGHUP and SIGINT as a close of the main window: the handlers, the watcher thread that turns a
// signal into the host's close event (through the injected event queue, which every pump delivers on
// either host), the 2 s of grace, and the exit handler that raises the signal again once the others ran.
// Depends on: POSIX signals, a pipe and a timerfd; the window stand-in's injected host events.
// NOTE: the grace period is real time on purpose (a timerfd on the monotonic clock, never the plat
// clock): a program on the virtual clock must end on a person's time scale too.
#include "platform/win/user/end_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "platform/win/user/window_state.h"

namespace plat {
namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
constexpr int kGraceSeconds = 2;

struct EndSignalState {
  std::mutex mutex;
  HWND window = nullptr;  // the main window; null: none
  EndSignalNotice notice = nullptr;
  bool watching = false;  // the pipe, the timer and the watcher thread exist
  pid_t watcher = 0;      // the process whose thread watches (a forked child has none)
};

// Never destroyed: the watcher reads it until the process ends.
EndSignalState& State() {
  static auto* state = new EndSignalState;
  return *state;
}

// Written by the handlers (async-signal-safe: lock-free atomics and write()).
std::atomic<int> gPipeWrite{-1};
// The signals that carry our handler, one bit a signal number.
std::atomic<uint64_t> gOurs{0};
// The signal the status is to say; 0 while none came.
std::atomic<int> gReceived{0};
// Set by an exit handler registered as the watcher starts, so once an exit() under way has run those
// registered later: the watcher then leaves the end to it.
std::atomic<bool> gExiting{false};

const char* SignalName(int signal) {
  switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGINT: return "SIGINT";
    default: return "a signal";
  }
}

void OnEndSignal(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(gPipeWrite.load(), &number, 1);
  errno = saved;
}

// Keeps a write to a closed pipe (stderr piped to a reader that the same Ctrl-C ended) from ending the
// process with SIGPIPE on this thread: the write fails instead.
void BlockBrokenPipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// The default action of `signal`, now, on this thread (the process ends).
void RaiseDefault(int signal) {
  struct sigaction action{};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal);
}

// The last exit handler: registered before any other of the library's, so it runs after all of them.
void SayTheSignalInTheStatus() {
  const int signal = gReceived.load();
  if (signal == 0) return;
  BlockBrokenPipe();
  std::fflush(nullptr);  // the handlers after this one (stdio's own flush among them) never run
  RaiseDefault(signal);
}

__attribute__((constructor)) void RegisterStatusHandler() { std::atexit(&SayTheSignalInTheStatus); }

void NoteExiting() { gExiting.store(true); }

// A forked child has no watcher: the signals act there as they did before the library took them.
void ForgetHandlersInChild() {
  gReceived.store(0);
  const uint64_t ours = gOurs.exchange(0);
  for (int signal : kEndSignals) {
    if ((ours >> signal & 1u) == 0) continue;
    struct sigaction action{};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

// Written past stdio, whose lock a thread stuck in an exit may hold.
void Say(const char* format, int signal) {
  char line[128];
  const int length = std::snprintf(line, sizeof line, format, SignalName(signal));
  if (length <= 0) return;
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, static_cast<size_t>(length));
}

[[noreturn]] void EndNow(int signal) {
  gReceived.store(signal);
  std::exit(128 + signal);
}

// The first signal: said, logged and turned into a close of the main window, the grace period started.
void TakeFirstSignal(int signal, int timer) {
  gReceived.store(signal);
  Say("orbel: received %s; the program ends\n", signal);
  if (gExiting.load()) return;  // already ending: the status will say the signal
  HWND window;
  EndSignalNotice notice;
  {
    EndSignalState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    window = s.window;
    notice = s.notice;
  }
  if (window == nullptr) EndNow(signal);
  if (notice != nullptr) notice(SignalName(signal));
  host::Event close;
  close.type = host::EventType::Close;
  close.window = window;
  winstate::QueueInjectedEvent(close);
  itimerspec grace{};
  grace.it_value.tv_sec = kGraceSeconds;
  ::timerfd_settime(timer, 0, &grace, nullptr);
}

[[noreturn]] void Watch(int pipeRead, int timer) {
  BlockBrokenPipe();
  int first = 0;
  for (;;) {
    pollfd fds[2] = {{pipeRead, POLLIN, 0}, {timer, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;  // EINTR: a handler ran on this thread
    if ((fds[1].revents & POLLIN) != 0) {
      uint64_t expirations = 0;
      [[maybe_unused]] const ssize_t got = ::read(timer, &expirations, sizeof expirations);
      // An exit under way on another thread is left to finish; a second signal still ends it.
      if (!gExiting.load()) {
        Say("orbel: the program did not end within 2 s of %s; it ends now\n", first);
        EndNow(first);
      }
    }
    unsigned char number = 0;
    if ((fds[0].revents & POLLIN) == 0 || ::read(pipeRead, &number, 1) != 1) continue;
    const int signal = number;
    if (first == 0) {
      first = signal;
      TakeFirstSignal(signal, timer);
      continue;
    }
    Say("orbel: received %s again; the program ends now\n", signal);
    gReceived.store(signal);
    if (gExiting.load()) RaiseDefault(signal);  // an exit under way is not waited for
    EndNow(signal);
  }
}

bool StartWatcherLocked(EndSignalState& s) {
  if (s.watching) return s.watcher == ::getpid();
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  const int timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
  if (timer < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  gPipeWrite.store(fds[1]);
  std::atexit(&NoteExiting);
  ::pthread_atfork(nullptr, nullptr, &ForgetHandlersInChild);
  // Never joined or torn down: it blocks in poll until the process ends.
  std::thread(&Watch, fds[0], timer).detach();
  s.watching = true;
  s.watcher = ::getpid();
  return true;
}

}  // namespace

void SetEndSignalWindow(HWND window, EndSignalNotice notice) {
  EndSignalState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.window = window;
  s.notice = window != nullptr ? notice : nullptr;
  if (window == nullptr || !StartWatcherLocked(s)) return;
  for (int signal : kEndSignals) {
    if ((gOurs.load() >> signal & 1u) != 0) continue;
    struct sigaction current{};
    if (::sigaction(signal, nullptr, &current) != 0) continue;
    // A handler or SIG_IGN of the program's stays.
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction ours{};
    ours.sa_handler = &OnEndSignal;
    sigemptyset(&ours.sa_mask);
    ours.sa_flags = SA_RESTART;
    if (::sigaction(signal, &ours, nullptr) == 0) gOurs.fetch_or(uint64_t{1} << signal);
  }
}

}  // namespace plat
