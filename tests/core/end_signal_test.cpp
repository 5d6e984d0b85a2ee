// SIGTERM, SIGHUP and SIGINT sent to a program of the library: the test binary starts itself again as a
// child that starts the library headless on the real clock in a window, with a private folder made, and
// then pumps messages (or, for the grace period, never does). Each signal must reach its window as a
// close, the program must end by that signal once its exit handlers ran (the folder gone), and say so
// once on stderr and in Log.txt; a second signal or 2 s without a pump end it at once, whatever its
// stderr (a pipe nobody reads) holds up; a handler or an ignore the program set is left alone, before
// the window and, in a forked child, after it.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "orbel.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/process_folder.h"
#include "test_support.h"
#include "wait_until.h"

namespace orbel {
namespace {

namespace fs = std::filesystem;

constexpr char kChildVariable[] = "ORBEL_TEST_SIGNAL_CHILD";  // "<pump|still|own|fork> <folder>"
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

// The child: "pump" pumps until its window closes, "still" never pumps, "own" pumps with a SIGTERM
// handler of its own and SIGHUP ignored, set before the library starts; "fork" forks once its window
// is made and then pumps.
TEST(EndSignalChild, RunsTheLibrary) {
  const char* setting = std::getenv(kChildVariable);
  if (setting == nullptr) GTEST_SKIP() << "the child of the EndSignals tests";
  char how[16] = "";
  char folder[4096] = "";
  ASSERT_EQ(std::sscanf(setting, "%15s %4095s", how, folder), 2);
  const std::string mode = how;
  fs::current_path(folder);
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
// paused pager, a terminal stopped by Ctrl-S). With a pipe the stdout alone goes to the output file.
enum class Stderr { kOutput, kClosedPipe, kFullPipe };

// Fills the pipe whose write end is `fd` until a write would wait; the end is left blocking, as a
// program's stderr is.
bool FillPipe(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  const std::string block(4096, 'x');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  const bool full = errno == EAGAIN;
  return ::fcntl(fd, F_SETFL, flags) == 0 && full;
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
  if (stderrTo == Stderr::kClosedPipe) {
    ::close(fds[0]);
  } else {
    child->stderrReader = fds[0];
    ASSERT_TRUE(FillPipe(fds[1])) << name;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, child->output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, fds[1], 2);
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
  ::close(fds[1]);
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

// Waits for the child's end (10 s of grace over the 2 s it may take) and checks what every end shares:
// ended by `signal`, nothing of its private folder left, no sanitizer report.
void Finish(Child& child, int signal) {
  child.reaped = true;
  ASSERT_TRUE(testing::WaitForChild(child.pid, &child.status, 10)) << child.name << ": did not end\n" << child.Said();
  child.endedAfter = RealSeconds() - child.signalledAt;
  const std::string said = child.Said();
  EXPECT_TRUE(WIFSIGNALED(child.status) && WTERMSIG(child.status) == signal)
      << child.name << ": " << (WIFSIGNALED(child.status) ? "ended by signal " : "exited with ")
      << (WIFSIGNALED(child.status) ? WTERMSIG(child.status) : WEXITSTATUS(child.status)) << "\n" << said;
  EXPECT_EQ(said.find("Sanitizer"), std::string::npos) << child.name << "\n" << said;
  const fs::path user = child.folder / ("orbel-" + std::to_string(::geteuid()));
  ASSERT_TRUE(fs::is_directory(user)) << child.name;
  EXPECT_EQ(testing::ProcessFoldersLeft(child.folder), "") << child.name;
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

}  // namespace
}  // namespace orbel
