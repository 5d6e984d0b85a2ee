// SIGTERM, SIGHUP and SIGINT as a close of the main window: the handlers, the watcher thread that turns a
// signal into the host's close event (through the injected event queue, which every pump delivers on
// either host), the 2 s of grace, and the exit handler that raises the signal again once the others ran.
// Nothing the watcher does waits on what the program may hold up: its stderr lines are written only when
// they can be at once, and the log's line is written by the thread that pumps as the close arrives. Nor
// does the end: the log's line and the streams' flush are each waited for a moment at most, and no line
// of the watcher's stops a background job.
// Depends on: POSIX signals, a pipe and a timerfd; the window stand-in's injected host events.
// NOTE: the grace period is real time on purpose (a timerfd on the monotonic clock, never the plat
// clock): a program on the virtual clock must end on a person's time scale too.
#include "platform/win/user/end_signals.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/win/user/window_state.h"

namespace plat {
namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
constexpr int kGraceSeconds = 2;
// The end's last words, each written on a thread of its own and waited for so long at most: the log's
// line of the watcher's end and then the streams' flush take less than a second together, so that the
// end comes within 3 s of the signal; after the program's own end, the flush has a second of its own.
constexpr auto kNoticeWait = std::chrono::milliseconds(700);
constexpr auto kFlushWaitAfterNotice = std::chrono::milliseconds(100);
constexpr auto kFlushWait = std::chrono::milliseconds(1000);

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
// Set as the watcher ends the process itself: nobody reads the pipe from then on, so a further signal
// ends the process in its handler.
std::atomic<bool> gWatcherEnding{false};
// The signal whose log line is still to be written; 0 while none is due.
std::atomic<int> gNoticeDue{0};

const char* SignalName(int signal) {
  switch (signal) {
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    case SIGINT: return "SIGINT";
    default: return "a signal";
  }
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

void OnEndSignal(int signal) {
  if (gWatcherEnding.load()) RaiseDefault(signal);  // the watcher's own end is not waited for
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(gPipeWrite.load(), &number, 1);
  errno = saved;
}

// Keeps the writes of this thread (and of those it starts) from ending or stopping the process: one to a
// closed pipe (stderr piped to a reader that the same Ctrl-C ended) fails instead of raising SIGPIPE, and
// one to the terminal of a background job under `stty tostop` goes through instead of raising SIGTTOU,
// which would stop every thread, the watcher and its deadline too.
void BlockPipeAndJobSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  sigaddset(&set, SIGTTOU);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

// Runs `work` on a thread of its own and waits for it `wait` at most: whatever it waits on (the log's
// lock, a stream's lock that a thread stuck writing to stderr holds, a pipe nobody reads) cannot hold the
// end back. When no thread can be made, the work is left out.
void RunBriefly(void (*work)(), std::chrono::milliseconds wait) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  try {
    std::thread([done, work] {
      BlockPipeAndJobSignals();
      work();
      done->set_value();
    }).detach();
  } catch (const std::system_error&) {
    return;
  }
  finished.wait_for(wait);
}

void FlushStreams() { std::fflush(nullptr); }

// The last exit handler: registered before any other of the library's, so it runs after all of them.
// The handlers after this one (stdio's own flush among them) never run, so the streams are flushed here.
void SayTheSignalInTheStatus() {
  const int signal = gReceived.load();
  if (signal == 0) return;
  RunBriefly(&FlushStreams, gWatcherEnding.load() ? kFlushWaitAfterNotice : kFlushWait);
  RaiseDefault(signal);
}

// A descriptor of 0-2 that is closed as the process starts would be taken by the next one opened (the
// display's connection, say), and lines meant for stderr would go into that: each is opened onto
// /dev/null first.
void OpenClosedStandardDescriptors() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", O_RDWR);  // the lowest free number: this one
    if (opened > fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

__attribute__((constructor)) void PrepareTheEnd() {
  OpenClosedStandardDescriptors();
  std::atexit(&SayTheSignalInTheStatus);
}

void NoteExiting() { gExiting.store(true); }

// A forked child has no watcher: the signals the library still handles act there as they did before it
// took them. One that the program has since ignored or handled itself keeps what the program set.
void ForgetHandlersInChild() {
  gReceived.store(0);
  gNoticeDue.store(0);
  const uint64_t ours = gOurs.exchange(0);
  for (int signal : kEndSignals) {
    if ((ours >> signal & 1u) == 0) continue;
    struct sigaction current{};
    if (::sigaction(signal, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO) != 0 ||
        current.sa_handler != &OnEndSignal) {
      continue;
    }
    struct sigaction action{};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
  }
}

// Writes `line` on stderr now or not at all: a pipe that nobody reads, or a terminal stopped by Ctrl-S,
// must not hold the watcher. A pipe or a terminal is written through an open of its own that does not
// wait (stderr's own flags are shared with every process that holds it, so they stay as they are), a
// socket by a send that does not wait; a file or another device takes the line as it is. Past stdio,
// whose lock a thread stuck in an exit may hold.
void WriteWithoutWaiting(const char* line, size_t length) {
  struct stat st{};
  if (::fstat(STDERR_FILENO, &st) != 0) return;
  if (S_ISSOCK(st.st_mode)) {
    ::send(STDERR_FILENO, line, length, MSG_DONTWAIT | MSG_NOSIGNAL);
    return;
  }
  int fd = STDERR_FILENO;
  if (S_ISFIFO(st.st_mode) || (S_ISCHR(st.st_mode) && ::isatty(STDERR_FILENO) == 1)) {
    fd = ::open("/proc/self/fd/2", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;  // a pipe whose reader has gone, or no /proc: the line is dropped
  }
  [[maybe_unused]] const ssize_t written = ::write(fd, line, length);
  if (fd != STDERR_FILENO) ::close(fd);
}

void Say(const char* format, int signal) {
  char line[128];
  const int length = std::snprintf(line, sizeof line, format, SignalName(signal));
  if (length > 0) WriteWithoutWaiting(line, static_cast<size_t>(length));
}

// The log's line of the signal that is due, once.
void WriteDueNotice() {
  const int signal = gNoticeDue.exchange(0);
  if (signal == 0) return;
  EndSignalNotice notice;
  {
    EndSignalState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    notice = s.notice;
  }
  if (notice != nullptr) notice(SignalName(signal));
}

// Ends the process now, its exit handlers run. The log's line of a signal whose close never reached the
// window is written first, waited for a moment at most: whatever the log waits on (a line another thread
// is writing, its file, stderr when the debugger output is copied there) cannot hold the end back.
[[noreturn]] void EndNow(int signal) {
  gWatcherEnding.store(true);
  gReceived.store(signal);
  if (gNoticeDue.load() != 0) RunBriefly(&WriteDueNotice, kNoticeWait);
  std::exit(128 + signal);
}

// The first signal: turned into a close of the main window with its log line due, the grace period
// started, and then said.
void TakeFirstSignal(int signal, int timer) {
  gReceived.store(signal);
  if (gExiting.load()) {  // already ending: the status will say the signal
    Say("orbel: received %s; the program ends\n", signal);
    return;
  }
  HWND window;
  {
    EndSignalState& s = State();
    std::lock_guard<std::mutex> lock(s.mutex);
    window = s.window;
  }
  if (window != nullptr) {
    gNoticeDue.store(signal);
    host::Event close;
    close.type = host::EventType::Close;
    close.window = window;
    winstate::QueueInjectedEvent(close);
    itimerspec grace{};
    grace.it_value.tv_sec = kGraceSeconds;
    ::timerfd_settime(timer, 0, &grace, nullptr);
  }
  Say("orbel: received %s; the program ends\n", signal);
  if (window == nullptr) EndNow(signal);
}

[[noreturn]] void Watch(int pipeRead, int timer) {
  BlockPipeAndJobSignals();
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

void WriteEndSignalNotice() { WriteDueNotice(); }

void SetEndSignalWindow(HWND window, EndSignalNotice notice) {
  if (window == nullptr) WriteDueNotice();  // the window goes before its close arrived
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
