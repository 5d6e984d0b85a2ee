// SIGTERM, SIGHUP and SIGINT sent to a program of the library: the test binary starts itself again as a
// child that starts the library headless on the real clock in a window, with a private folder made, and
// then pumps messages (or, for the grace period, never does). Each signal must reach its window as a
// close, the program must end by that signal once its exit handlers ran (the folder gone), and say so
// once on stderr and in Log.txt; a second signal or 2 s without a pump end it at once, whatever its
// stderr (a pipe nobody reads, with the log copied there too, or a background job's terminal) holds up;
// a program started with stderr closed writes no line into another file; a handler or an ignore the
// program set is left alone, before the window and, in a forked child, after it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "orbel.h"
#include "orbel/core/log.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/process_folder.h"
#include "test_support.h"
#include "wait_until.h"

namespace orbel {
namespace {

namespace fs = std::filesystem;

// "<pump|still|own|fork|logging|closed-stderr>[-debug] <folder>"
constexpr char kChildVariable[] = "ORBEL_TEST_SIGNAL_CHILD";
constexpr char kClosedLine[] = "ウインドウを閉じようとしています";  // the library's WM_CLOSE

volatile sig_atomic_t gOwnHandlerRan = 0;
void OwnHandler(int) { gOwnHandlerRan = 1; }

void Print(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

// What a signal does in this process: "ignored", "own" (OwnHandler), "default" or "another".
const char* Disposition(int signal) {
  struct sigaction current{};
  if (::sigaction(signal, nullptr, &current) != 0) return "unknown";
  if ((current.sa_flags & SA_SIGINFO) != 0) return "another";
  if (current.sa_handler == SIG_IGN) return "ignored";
  if (current.sa_handler == SIG_DFL) return "default";
  return current.sa_handler == &OwnHandler ? "own" : "another";
}

// Forks with SIGINT ignored and SIGTERM given a handler of the program's, both after the window was
// made; the forked child says what it has and ends.
void ForkAndReport() {
  ::signal(SIGINT, SIG_IGN);
  struct sigaction own{};
  own.sa_handler = &OwnHandler;
  sigemptyset(&own.sa_mask);
  ::sigaction(SIGTERM, &own, nullptr);
  std::fflush(stdout);
  const pid_t child = ::fork();
  if (child == 0) {
    std::printf("forked: SIGINT %s, SIGTERM %s, SIGHUP %s\n", Disposition(SIGINT), Disposition(SIGTERM),
                Disposition(SIGHUP));
    std::fflush(stdout);
    std::_Exit(0);
  }
  int status = 0;
  if (child > 0) ::waitpid(child, &status, 0);
}

// What descriptor 2 is: "/dev/null", "closed" or "another file".
const char* StderrKind() {
  struct stat st{};
  if (::fstat(STDERR_FILENO, &st) != 0) return "closed";
  struct stat null{};
  const bool isNull = ::stat("/dev/null", &null) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == null.st_rdev;
  return isNull ? "/dev/null" : "another file";
}

// The child: "pump" pumps until its window closes, "still" never pumps, "logging" pumps and logs a line
// at every turn, "own" pumps with a SIGTERM handler of its own and SIGHUP ignored, set before the library
// starts; "fork" forks once its window is made and then pumps; "closed-stderr" says what its stderr is,
// opens a file as the first thing it opens (as a display's connection would be) and then pumps. With
// "-debug" the log is copied to stderr.
TEST(EndSignalChild, RunsTheLibrary) {
  const char* setting = std::getenv(kChildVariable);
  if (setting == nullptr) GTEST_SKIP() << "the child of the EndSignals tests";
  char how[32] = "";
  char folder[4096] = "";
  ASSERT_EQ(std::sscanf(setting, "%31s %4095s", how, folder), 2);
  std::string mode = how;
  if (mode.ends_with("-debug")) {
    mode.resize(mode.size() - 6);
    ::setenv("ORBEL_DEBUG_OUTPUT", "1", 1);
  }
  fs::current_path(folder);
  if (mode == "closed-stderr") {
    std::printf("stderr: %s\n", StderrKind());
    ASSERT_GE(::open("other.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600), 0);  // kept open to the end
  }
  // As a program started from a terminal, whatever the test runner left ignored or blocked.
  sigset_t ends;
  sigemptyset(&ends);
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    ::signal(signal, SIG_DFL);
    sigaddset(&ends, signal);
  }
  ::sigprocmask(SIG_UNBLOCK, &ends, nullptr);
  if (mode == "own") {
    struct sigaction own{};
    own.sa_handler = &OwnHandler;
    sigemptyset(&own.sa_mask);
    ::sigaction(SIGTERM, &own, nullptr);
    ::signal(SIGHUP, SIG_IGN);
  }
  ASSERT_FALSE(plat::ProcessFolder().empty());  // made now, to be removed at the exit
  ChangeWindowMode(1);
  ASSERT_EQ(InitLibraryLocked(), 0);
  if (mode == "fork") ForkAndReport();
  Print("ready");
  if (mode == "still") {
    for (;;) ::pause();
  }
  bool told = false;
  while (ProcessMessageLocked() == 0) {
    if (gOwnHandlerRan != 0 && !told) {
      Print("own handler ran");
      told = true;
    }
    if (mode == "logging") LogAdd("a line of every turn\n");
    plat::Sleep(10);
  }
  Print("window closed");
  EndLibraryLocked();
  std::exit(0);
}

double RealSeconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct Child {
  std::string name;
  pid_t pid = -1;
  fs::path folder;
  fs::path output;
  int stderrReader = -1;  // the read end of a stderr pipe that nobody reads, held open
  int stderrWriter = -1;  // its write end, kept to fill the pipe once the child is ready
  int status = 0;
  double signalledAt = 0;  // real seconds of the first signal
  double endedAfter = 0;   // real seconds from the first signal to the end
  bool reaped = false;

  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  // A child left running by a failed assertion goes with the test.
  ~Child() {
    if (pid > 0 && !reaped) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
    if (stderrReader >= 0) ::close(stderrReader);
    if (stderrWriter >= 0) ::close(stderrWriter);
  }

  std::string Said() const { return testing::ReadFileText(output); }
  // How often the output holds `line` as a whole line.
  int Lines(const std::string& line) const {
    const std::string said = "\n" + Said();
    int count = 0;
    for (size_t at = said.find("\n" + line + "\n"); at != std::string::npos; at = said.find("\n" + line + "\n", at + 1))
      ++count;
    return count;
  }
  bool Shows(const std::string& line) const { return Lines(line) > 0; }
  void Signal(int signal) {
    if (signalledAt == 0) signalledAt = RealSeconds();
    ::kill(pid, signal);
  }
};

// Where a child's stderr goes: with its stdout to the output file; a pipe whose reader has gone (a
// terminal's Ctrl-C ends the `| tee` behind the program too); a pipe filled up that nobody reads (a
// paused pager, a terminal stopped by Ctrl-S), from the start or once the child is ready (so that a write
// of its own waits there); nowhere (descriptor 2 closed, as some launchers start programs). With a pipe,
// or none, the stdout alone goes to the output file.
enum class Stderr { kOutput, kClosedPipe, kFullPipe, kFilledOnceReady, kClosed };

// Fills the pipe whose write end is `fd` until a write would wait, through an open of its own that does
// not wait: the end itself, shared with the child, stays blocking, as a program's stderr is.
bool FillPipe(int fd) {
  const int own = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (own < 0) return false;
  const std::string block(4096, 'x');
  while (::write(own, block.data(), block.size()) > 0) {
  }
  const bool full = errno == EAGAIN;
  ::close(own);
  return full;
}

// Starts this executable as the child, in a folder of its own that also serves as its base for temporary
// files and locks.
void Start(const fs::path& work, const std::string& name, const std::string& mode, Child* child,
           Stderr stderrTo = Stderr::kOutput) {
  child->name = name;
  child->folder = work / name;
  fs::create_directory(child->folder);
  fs::permissions(child->folder, fs::perms::owner_all);
  child->output = work / (name + ".txt");
  const std::vector<std::string> changes = {std::string(kChildVariable) + "=" + mode + " " + child->folder.string(),
                                            "XDG_RUNTIME_DIR=" + child->folder.string(), "TMPDIR"};
  const std::string filter = "EndSignalChild.RunsTheLibrary";
  if (stderrTo == Stderr::kOutput) {
    child->pid = testing::StartSelf(filter, changes, child->output);
    ASSERT_GT(child->pid, 0) << name;
    return;
  }
  std::vector<std::string> env = testing::EnvironmentWith(changes);
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string filterArgument = "--gtest_filter=" + filter;
  char* argv[] = {self.data(), filterArgument.data(), nullptr};
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  if (stderrTo == Stderr::kClosedPipe || stderrTo == Stderr::kClosed) {
    ::close(fds[0]);
  } else {
    child->stderrReader = fds[0];
    if (stderrTo == Stderr::kFullPipe) {
      ASSERT_TRUE(FillPipe(fds[1])) << name;
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, child->output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  if (stderrTo == Stderr::kClosed) {
    posix_spawn_file_actions_addclose(&actions, 2);
  } else {
    posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
  }
  // The child meets the closed pipe as a program does: SIGPIPE at its default.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t brokenPipe;
  sigemptyset(&brokenPipe);
  sigaddset(&brokenPipe, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &brokenPipe);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  const int spawned = posix_spawn(&child->pid, self.c_str(), &actions, &attributes, argv, envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (stderrTo == Stderr::kFilledOnceReady) {
    child->stderrWriter = fds[1];
  } else {
    ::close(fds[1]);
  }
  ASSERT_EQ(spawned, 0) << name;
}

// Waits until `signal` sent to the child has been delivered (no longer pending), so that the same
// signal sent again is not merged with it.
void AwaitDelivered(const Child& child, int signal) {
  const std::string status = "/proc/" + std::to_string(child.pid) + "/status";
  auto pending = [&] {
    const std::string text = testing::ReadFileText(status);
    const size_t at = text.find("ShdPnd:");
    if (at == std::string::npos) return false;
    return (std::strtoull(text.c_str() + at + 7, nullptr, 16) >> (signal - 1) & 1u) != 0;
  };
  ASSERT_TRUE(testing::WaitUntil([&] { return !pending(); })) << child.name;
}

// Waits until the child's library has started (its main window made).
void AwaitReady(const Child& child) {
  ASSERT_TRUE(testing::WaitUntil([&] { return child.Shows("ready"); }, std::chrono::seconds(120)))
      << child.name << ": the library did not start\n"
      << child.Said();
}

// Checks what every end shares, once the child's status is known: ended by `signal`, nothing of its
// private folder left, no sanitizer report.
void CheckEnd(const Child& child, int signal) {
  const std::string said = child.Said();
  EXPECT_TRUE(WIFSIGNALED(child.status) && WTERMSIG(child.status) == signal)
      << child.name << ": " << (WIFSIGNALED(child.status) ? "ended by signal " : "exited with ")
      << (WIFSIGNALED(child.status) ? WTERMSIG(child.status) : WEXITSTATUS(child.status)) << "\n" << said;
  EXPECT_EQ(said.find("Sanitizer"), std::string::npos) << child.name << "\n" << said;
  const fs::path user = child.folder / ("orbel-" + std::to_string(::geteuid()));
  ASSERT_TRUE(fs::is_directory(user)) << child.name;
  EXPECT_EQ(testing::ProcessFoldersLeft(child.folder), "") << child.name;
}

// Waits for the child's end (10 s of grace over the 2 s it may take) and checks it.
void Finish(Child& child, int signal) {
  child.reaped = true;
  ASSERT_TRUE(testing::WaitForChild(child.pid, &child.status, 10)) << child.name << ": did not end\n" << child.Said();
  child.endedAfter = RealSeconds() - child.signalledAt;
  CheckEnd(child, signal);
}

// The log's signal line, and whether the window's close came after it.
void CheckLog(const Child& child, const std::string& signalName, bool closed) {
  const std::vector<std::string> log = testing::ReadLogMessages(child.folder / "Log.txt");
  const std::string notice = "シグナル " + signalName + " を受け取りました、ソフトを終了します";
  auto at = std::find(log.begin(), log.end(), notice);
  ASSERT_NE(at, log.end()) << child.name << ": Log.txt does not say the signal";
  EXPECT_EQ(std::count(log.begin(), log.end(), notice), 1) << child.name;
  EXPECT_EQ(std::find(at, log.end(), kClosedLine) != log.end(), closed) << child.name;
}

TEST(EndSignals, EachClosesTheWindowOfAPumpingProgramWhichThenEndsByIt) {
  testing::ScopedWorkDir work;
  struct Case {
    int signal;
    std::string name;
    Stderr stderrTo;
  };
  const std::vector<Case> cases = {{SIGTERM, "SIGTERM", Stderr::kOutput},   {SIGHUP, "SIGHUP", Stderr::kOutput},
                                   {SIGINT, "SIGINT", Stderr::kOutput},     {SIGINT, "SIGINT", Stderr::kClosedPipe},
                                   {SIGTERM, "SIGTERM", Stderr::kFullPipe}, {SIGHUP, "SIGHUP", Stderr::kFullPipe},
                                   {SIGINT, "SIGINT", Stderr::kFullPipe}};
  const char* const kStderrNames[] = {"", "-stderr-closed", "-stderr-full"};
  std::vector<Child> children(cases.size());
  for (size_t i = 0; i < cases.size(); ++i)
    Start(work.path(), cases[i].name + kStderrNames[static_cast<int>(cases[i].stderrTo)], "pump", &children[i],
          cases[i].stderrTo);
  for (const Child& child : children) AwaitReady(child);
  for (size_t i = 0; i < cases.size(); ++i) children[i].Signal(cases[i].signal);
  for (size_t i = 0; i < cases.size(); ++i) {
    Child& child = children[i];
    const std::string& name = cases[i].name;
    Finish(child, cases[i].signal);
    EXPECT_TRUE(child.Shows("window closed")) << child.name << ": the window was not closed\n" << child.Said();
    if (cases[i].stderrTo == Stderr::kOutput) {
      EXPECT_EQ(child.Lines("orbel: received " + name + "; the program ends"), 1) << child.Said();
      EXPECT_EQ(child.Said().find("it ends now"), std::string::npos) << child.Said();
    }
    CheckLog(child, name, true);
  }
}

TEST(EndSignals, AProgramThatDoesNotPumpEndsTwoSecondsLaterAndASecondSignalEndsItAtOnce) {
  testing::ScopedWorkDir work;
  Child waited, twice, waitedFull, twiceFull;
  Start(work.path(), "waited", "still", &waited);
  Start(work.path(), "twice", "still", &twice);
  Start(work.path(), "waited-stderr-full", "still", &waitedFull, Stderr::kFullPipe);
  Start(work.path(), "twice-stderr-full", "still", &twiceFull, Stderr::kFullPipe);
  for (const Child* child : {&waited, &twice, &waitedFull, &twiceFull}) AwaitReady(*child);
  waited.Signal(SIGTERM);
  twice.Signal(SIGINT);
  waitedFull.Signal(SIGTERM);
  twiceFull.Signal(SIGINT);
  ASSERT_TRUE(testing::WaitUntil([&] { return twice.Shows("orbel: received SIGINT; the program ends"); }))
      << twice.Said();
  twice.Signal(SIGINT);
  AwaitDelivered(twiceFull, SIGINT);
  twiceFull.Signal(SIGINT);

  // The quick ends first: an end is timed when it is reaped.
  for (Child* child : {&twice, &twiceFull}) {
    Finish(*child, SIGINT);
    EXPECT_LT(child->endedAfter, 2.0) << child->name << ": the second signal waited for the 2 s";
    CheckLog(*child, "SIGINT", false);
  }
  EXPECT_EQ(twice.Lines("orbel: received SIGINT; the program ends"), 1) << twice.Said();
  EXPECT_EQ(twice.Lines("orbel: received SIGINT again; the program ends now"), 1) << twice.Said();
  EXPECT_EQ(twice.Said().find("did not end within"), std::string::npos) << twice.Said();

  for (Child* child : {&waited, &waitedFull}) {
    Finish(*child, SIGTERM);
    EXPECT_GE(child->endedAfter, 1.95) << child->name << ": the program was not given its 2 s";
    CheckLog(*child, "SIGTERM", false);
  }
  EXPECT_EQ(waited.Lines("orbel: received SIGTERM; the program ends"), 1) << waited.Said();
  EXPECT_EQ(waited.Lines("orbel: the program did not end within 2 s of SIGTERM; it ends now"), 1) << waited.Said();
}

// SIGHUP ignored and SIGTERM with a handler of the program's: both stay its own; SIGINT, left at its
// default, still closes the window.
TEST(EndSignals, AHandlerOrAnIgnoreThatTheProgramSetIsLeftAlone) {
  testing::ScopedWorkDir work;
  Child child;
  Start(work.path(), "own", "own", &child);
  AwaitReady(child);
  ::kill(child.pid, SIGHUP);
  ::kill(child.pid, SIGTERM);
  ASSERT_TRUE(testing::WaitUntil([&] { return child.Shows("own handler ran"); })) << child.Said();
  child.Signal(SIGINT);
  Finish(child, SIGINT);
  EXPECT_TRUE(child.Shows("window closed")) << child.Said();
  const std::string said = child.Said();
  EXPECT_EQ(said.find("SIGHUP"), std::string::npos) << said;
  EXPECT_EQ(said.find("SIGTERM"), std::string::npos) << said;
  EXPECT_EQ(child.Lines("orbel: received SIGINT; the program ends"), 1) << said;
}

// A child forked after the window was made keeps what the program set since (SIGINT ignored, a
// SIGTERM handler of its own); only the signal the library still handles goes back to its default.
TEST(EndSignals, AForkedChildKeepsWhatTheProgramSetAfterTheWindow) {
  testing::ScopedWorkDir work;
  Child child;
  Start(work.path(), "fork", "fork", &child);
  AwaitReady(child);
  EXPECT_TRUE(child.Shows("forked: SIGINT ignored, SIGTERM own, SIGHUP default")) << child.Said();
  child.Signal(SIGHUP);
  Finish(child, SIGHUP);
}

// The log copied to stderr, and stderr a pipe that fills up once the program has started and that nobody
// reads: the program's own writes wait there (the log's line of the signal as the pump delivers the
// close, a line of every turn), as any program's do, but one signal still ends it within the 2 s of grace
// and the second its log line is given, by the signal, with its folder removed.
TEST(EndSignals, OneSignalEndsAProgramWhoseLogCopyToStderrWaits) {
  testing::ScopedWorkDir work;
  std::vector<std::string> modes = {"pump-debug", "still-debug", "logging-debug"};
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer holds a signal that comes to a thread inside an intercepted write until the write
  // returns, which here it never does: the signal never reaches the library.
  modes.pop_back();
#endif
  std::vector<Child> children(modes.size());
  for (size_t i = 0; i < modes.size(); ++i)
    Start(work.path(), modes[i], modes[i], &children[i], Stderr::kFilledOnceReady);
  for (Child& child : children) {
    AwaitReady(child);
    ASSERT_TRUE(FillPipe(child.stderrWriter)) << child.name;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the logging child is held up in its next line
  for (Child& child : children) child.Signal(SIGTERM);
  for (Child& child : children) {
    Finish(child, SIGTERM);
    EXPECT_LT(child.endedAfter, 3.5) << child.name;
  }
  // The line reached Log.txt before its copy to stderr waited (the logging child's own line held the
  // log when the signal came).
  CheckLog(children[0], "SIGTERM", false);
  CheckLog(children[1], "SIGTERM", false);
}

// Started with descriptor 2 closed, the program finds it open onto /dev/null, so the file it opens first
// does not take its number and no line of the library's goes there; the signal closes its window.
TEST(EndSignals, AProgramStartedWithStderrClosedWritesNoLineIntoAnotherFile) {
  testing::ScopedWorkDir work;
  Child child;
  Start(work.path(), "closed-stderr", "closed-stderr", &child, Stderr::kClosed);
  AwaitReady(child);
  EXPECT_TRUE(child.Shows("stderr: /dev/null")) << child.Said();
  child.Signal(SIGTERM);
  Finish(child, SIGTERM);
  EXPECT_TRUE(child.Shows("window closed")) << child.Said();
  EXPECT_EQ(testing::ReadFileText(child.folder / "other.txt"), "");
  CheckLog(child, "SIGTERM", true);
}

// A session of its own on a pseudo-terminal with `tostop` set, led by a process that stands for the
// shell: it starts the child as a background job (a process group of its own, stderr the terminal) and
// reports the job's pid and then its wait status through a pipe.
class BackgroundJob {
 public:
  BackgroundJob() = default;
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;
  ~BackgroundJob() {
    if (job_ > 0 && !ended_) ::kill(job_, SIGKILL);
    if (leader_ > 0) {
      ::kill(leader_, SIGKILL);
      ::waitpid(leader_, nullptr, 0);
    }
    for (int fd : {terminal_, report_}) {
      if (fd >= 0) ::close(fd);
    }
  }

  // Starts `child` in the folder `work`, as Start does; its pid is the job's.
  void Start(const fs::path& work, const std::string& mode, Child* child) {
    child->name = mode;
    child->folder = work / mode;
    fs::create_directory(child->folder);
    fs::permissions(child->folder, fs::perms::owner_all);
    child->output = work / (mode + ".txt");
    child->reaped = true;  // not this process's child: the job's leader reaps it
    std::vector<std::string> env = testing::EnvironmentWith(
        {std::string(kChildVariable) + "=" + mode + " " + child->folder.string(),
         "XDG_RUNTIME_DIR=" + child->folder.string(), "TMPDIR"});
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=EndSignalChild.RunsTheLibrary";
    char* argv[] = {self.data(), filter.data(), nullptr};

    terminal_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal_, 0);
    ASSERT_EQ(::grantpt(terminal_), 0);
    ASSERT_EQ(::unlockpt(terminal_), 0);
    char name[128];
    ASSERT_EQ(::ptsname_r(terminal_, name, sizeof name), 0);
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    const int out = ::open(child->output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(out, 0);
    leader_ = ::fork();
    if (leader_ == 0) Lead(name, out, report[1], self.c_str(), argv, envp.data());
    ::close(out);
    ::close(report[1]);
    report_ = report[0];
    ASSERT_GT(leader_, 0);
    ASSERT_TRUE(Read(&job_, 30)) << "the job did not start";
    child->pid = job_;
  }

  // The job's wait status, waited for `seconds` at most.
  bool AwaitEnd(int seconds, int* status) { return ended_ = Read(status, seconds); }
  // The job's state as the system shows it ('T': stopped).
  char State() const {
    const std::string text = testing::ReadFileText("/proc/" + std::to_string(job_) + "/stat");
    const size_t at = text.rfind(')');
    return at != std::string::npos && at + 2 < text.size() ? text[at + 2] : '?';
  }
  // What the job wrote on the terminal.
  std::string Shown() const {
    std::string text;
    char buffer[4096];
    pollfd fd{terminal_, POLLIN, 0};
    while (::poll(&fd, 1, 0) == 1 && (fd.revents & POLLIN) != 0) {
      const ssize_t n = ::read(terminal_, buffer, sizeof buffer);
      if (n <= 0) break;
      text.append(buffer, static_cast<size_t>(n));
    }
    return text;
  }

 private:
  // The leader, in the forked process: async-signal-safe calls only.
  [[noreturn]] static void Lead(const char* terminal, int out, int report, const char* self, char* const argv[],
                                char* const envp[]) {
    ::setsid();
    const int tty = ::open(terminal, O_RDWR);  // the session's controlling terminal
    termios mode{};
    if (tty < 0 || ::tcgetattr(tty, &mode) != 0) ::_exit(1);
    mode.c_lflag |= TOSTOP;
    if (::tcsetattr(tty, TCSANOW, &mode) != 0) ::_exit(1);
    const pid_t job = ::fork();
    if (job == 0) {
      ::setpgid(0, 0);
      ::dup2(out, 1);
      ::dup2(tty, 2);
      ::close(tty);
      struct sigaction fallback{};
      fallback.sa_handler = SIG_DFL;
      ::sigaction(SIGTTOU, &fallback, nullptr);
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      ::execve(self, argv, envp);
      ::_exit(127);
    }
    ::setpgid(job, job);
    [[maybe_unused]] ssize_t written = ::write(report, &job, sizeof job);
    int status = 0;
    ::waitpid(job, &status, 0);
    written = ::write(report, &status, sizeof status);
    ::_exit(0);
  }

  template <typename Value>
  bool Read(Value* value, int seconds) {
    pollfd fd{report_, POLLIN, 0};
    return ::poll(&fd, 1, seconds * 1000) == 1 && ::read(report_, value, sizeof *value) == sizeof *value;
  }

  pid_t leader_ = -1;
  pid_t job_ = -1;
  bool ended_ = false;
  int terminal_ = -1;
  int report_ = -1;
};

// A background job under `stty tostop`: the signal's line on the terminal neither stops it (the whole
// process, its deadline too) nor is lost, and one SIGTERM closes its window.
TEST(EndSignals, OneSignalEndsABackgroundJobOfATerminalWithTostop) {
  testing::ScopedWorkDir work;
  Child child;
  BackgroundJob job;
  job.Start(work.path(), "pump", &child);
  AwaitReady(child);
  child.Signal(SIGTERM);
  ASSERT_TRUE(job.AwaitEnd(10, &child.status))
      << "the job did not end; its state: " << job.State() << "\n" << child.Said();
  CheckEnd(child, SIGTERM);
  EXPECT_TRUE(child.Shows("window closed")) << child.Said();
  EXPECT_NE(job.Shown().find("orbel: received SIGTERM; the program ends"), std::string::npos);
  CheckLog(child, "SIGTERM", true);
}

}  // namespace
}  // namespace orbel
