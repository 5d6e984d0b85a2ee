// FindWindowA across processes: the test binary starts itself again as a helper that owns a window of a
// class, and the test looks for that class from here.
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win/user/message_queue.h"
#include "platform/test_controls.h"
#include "platform/win/user/window.h"
#include "test_support.h"

namespace {

using namespace plat;

constexpr const char* kHelperClassVariable = "ORBEL_TEST_FIND_HELPER_CLASS";
constexpr const char* kProbeClassVariable = "ORBEL_TEST_FIND_PROBE_CLASS";

LRESULT HelperProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// Helper mode, before main: create a window of the class, say "ready" on stdout, and keep the window
// until stdin closes.
[[maybe_unused]] const bool kHelperRan = [] {
  if (const char* probe = std::getenv(kProbeClassVariable)) {
    // Probe mode: report whether this process finds the class, and end.
    std::printf(FindWindowA(probe, nullptr) != nullptr ? "found\n" : "none!\n");
    std::fflush(stdout);
    std::_Exit(0);
  }
  const char* className = std::getenv(kHelperClassVariable);
  if (className == nullptr) return false;
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &HelperProc;
  wc.lpszClassName = className;
  const bool ok = RegisterClassExA(&wc) != 0 &&
                  CreateWindowExA(0, className, className, WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr,
                                  nullptr) != nullptr;
  std::printf(ok ? "ready\n" : "failed\n");
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  std::_Exit(0);
}();

class Helper {
 public:
  // `env`: "NAME=value" sets a variable in the helper, "NAME" alone removes it. `errors`: a file for the
  // helper's stderr.
  Helper(const std::string& className, const std::vector<std::string>& env,
         const char* variable = kHelperClassVariable, const std::string& errors = {}) {
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(toChild[0], 0);
      ::dup2(fromChild[1], 1);
      ::close(toChild[1]);
      ::close(fromChild[0]);
      if (!errors.empty()) {
        const int fd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd >= 0) ::dup2(fd, 2);
      }
      ::setenv(variable, className.c_str(), 1);
      for (const std::string& entry : env) {
        const size_t equals = entry.find('=');
        if (equals == std::string::npos) {
          ::unsetenv(entry.c_str());
        } else {
          ::setenv(entry.substr(0, equals).c_str(), entry.c_str() + equals + 1, 1);
        }
      }
      ::setenv("ORBEL_HOST", "headless", 1);
      char self[4096];
      const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
      if (n > 0) {
        self[n] = '\0';
        ::execl(self, self, "--gtest_list_tests", static_cast<char*>(nullptr));
      }
      std::_Exit(127);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    toChild_ = toChild[1];
    fromChild_ = fromChild[0];
    char line[16] = {};
    ssize_t got = 0;
    while (got < 6) {
      const ssize_t n = ::read(fromChild_, line + got, 6 - got);
      if (n <= 0) break;
      got += n;
    }
    first_ = std::string(line, static_cast<size_t>(got));
  }
  ~Helper() { Stop(); }
  bool ready() const { return first_ == "ready\n"; }
  const std::string& firstLine() const { return first_; }
  // Closes the helper's stdin and waits for it to end.
  void Stop() {
    if (pid_ <= 0) return;
    ::close(toChild_);
    ::close(fromChild_);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int toChild_ = -1;
  int fromChild_ = -1;
  std::string first_;
};

using WindowFind = orbel::testing::VirtualClockTest;

// The name of a class's lock file, as a process makes it in a folder of its own under `work`.
std::filesystem::path LockFileName(const std::filesystem::path& work, const char* className) {
  const std::filesystem::path folder = work / className;
  std::filesystem::create_directory(folder);
  Helper helper(className, {"ORBEL_RUNTIME_DIR=" + folder.string()});
  EXPECT_TRUE(helper.ready());
  return std::filesystem::directory_iterator(folder)->path().filename();
}

// A read lease on a file of its own at `path` (0666), held by another user where this process is root
// (else by this user) until this record goes: every open for writing then waits the system's lease-break
// time (45 s) unless it may fail at once.
class LeaseHolder {
 public:
  explicit LeaseHolder(const std::filesystem::path& path) {
    int ready[2], stop[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0) return;
    std::fflush(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(stop[1]);
      ::signal(SIGIO, SIG_IGN);  // the notice of a lease break, which this holder leaves unanswered
      const bool root = ::geteuid() == 0;
      const unsigned other = orbel::testing::kAnotherUser;
      bool held = !root || (::setgroups(0, nullptr) == 0 && ::setresgid(other, other, other) == 0 &&
                            ::setresuid(other, other, other) == 0);
      const int fd = held ? ::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666) : -1;
      held = fd >= 0 && ::fchmod(fd, 0666) == 0 && ::fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
      const char answer = held ? 'y' : 'n';
      if (::write(ready[1], &answer, 1) != 1) std::_Exit(1);
      char c;
      while (::read(stop[0], &c, 1) > 0) {
      }
      std::_Exit(0);
    }
    ::close(ready[1]);
    ::close(stop[0]);
    stop_ = stop[1];
    char answer = 'n';
    held_ = pid_ > 0 && ::read(ready[0], &answer, 1) == 1 && answer == 'y';
    ::close(ready[0]);
  }
  ~LeaseHolder() {
    if (stop_ >= 0) ::close(stop_);
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
  }
  bool held() const { return held_; }

 private:
  pid_t pid_ = -1;
  int stop_ = -1;
  bool held_ = false;
};

TEST_F(WindowFind, FindsAWindowOfAnotherProcessByClassWhileItLives) {
  const std::string lockDirectory = test::LockDirectory();
  const char* kGameClass = "Kelvaron打 -ケルヴァロンだ-";
  EXPECT_EQ(FindWindowA(kGameClass, nullptr), nullptr);
  Helper helper(kGameClass, {"ORBEL_RUNTIME_DIR=" + lockDirectory});
  ASSERT_TRUE(helper.ready());

  HWND found = FindWindowA(kGameClass, nullptr);
  EXPECT_NE(found, nullptr);
  EXPECT_FALSE(IsWindow(found)) << "another process's window is not ours to use";
  EXPECT_EQ(FindWindowA("K471305Q", nullptr), nullptr);
  EXPECT_EQ(FindWindowA(kGameClass, "a title"), nullptr) << "titles of other processes are not known";

  helper.Stop();
  EXPECT_EQ(FindWindowA(kGameClass, nullptr), nullptr);
}

TEST_F(WindowFind, OwnWindowsAreFoundByClassOrTitleAndTheLockFollowsThem) {
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &HelperProc;
  wc.lpszClassName = "K471305Q";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND w = CreateWindowExA(0, "K471305Q", "Orbel", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(FindWindowA("k471305q", nullptr), w);
  EXPECT_EQ(FindWindowA(nullptr, "Orbel"), w);
  EXPECT_EQ(FindWindowA("K471305Q", "Other"), nullptr);

  // While the window lives, a second process sees it; once it is gone, nothing is found.
  {
    Helper probe("k471305q", {"ORBEL_RUNTIME_DIR=" + test::LockDirectory()}, kProbeClassVariable);
    EXPECT_EQ(probe.firstLine(), "found\n");
  }
  DestroyWindow(w);
  EXPECT_EQ(FindWindowA("K471305Q", nullptr), nullptr);
  {
    Helper probe("K471305Q", {"ORBEL_RUNTIME_DIR=" + test::LockDirectory()}, kProbeClassVariable);
    EXPECT_EQ(probe.firstLine(), "none!\n");
  }
  test::ForceFindWindow(true);
  EXPECT_NE(FindWindowA("K471305Q", nullptr), nullptr);
  test::ForceFindWindow(false);

  // Where no lock file can be made, a child window of a class (never found by class) is not taken for
  // another process's window of that class.
  test::SetLockDirectory(test::LockDirectory() + "/missing");
  wc.lpszClassName = "K471305C";
  ASSERT_NE(RegisterClassExA(&wc), 0);
  HWND parent = CreateWindowExA(0, "K471305Q", "Orbel", WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(CreateWindowExA(0, "K471305C", "", WS_CHILD, 0, 0, 4, 4, parent, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(FindWindowA("K471305C", nullptr), nullptr);
}

// Another user can neither redirect the lock of a class nor hold it, where the lock lives: in the user's
// own folder, and in a folder ORBEL_RUNTIME_DIR names that all may write to. A link planted under the
// lock's name makes nothing; a file of the user's with a second name (a hard link another user made), a
// file of the user's that others may open (moved to the lock's name, held by one who opened it), or a
// file of another user's, held, is not taken for a window of the class, and the process says once
// that a second copy will not be detected. A second copy of the user's own program still finds the first.
TEST_F(WindowFind, AnotherUserCanNeitherRedirectNorHoldTheLock) {
  namespace fs = std::filesystem;
  using orbel::testing::GiveToAnotherUser;
  orbel::testing::ScopedWorkDir work;
  const bool root = ::geteuid() == 0;  // only root can plant another user's file
  auto lockName = [&](const char* className) { return LockFileName(work.path(), className); };
  const fs::path linkName = lockName("PlantedLinkClass");
  const fs::path linkedName = lockName("HardLinkedClass");
  const fs::path heldName = lockName("HeldElsewhereClass");
  const fs::path movedName = lockName("MovedFileClass");
  const fs::path copyName = lockName("SecondCopyClass");
  const std::string kNotDetected = "a second copy of this program will not be detected\n";

  for (const char* setting : {"XDG_RUNTIME_DIR", "ORBEL_RUNTIME_DIR"}) {
    SCOPED_TRACE(setting);
    const bool userFolder = setting[0] == 'X';
    const fs::path base = work.path() / setting;  // stands in for /tmp
    fs::create_directory(base);
    fs::permissions(base, fs::perms::all | fs::perms::sticky_bit);
    // Where the lock lives: the user's folder, made as a process makes it, or the folder named.
    const fs::path locks = userFolder ? base / ("orbel-" + std::to_string(::geteuid())) : base;
    fs::create_directories(locks);
    if (userFolder) fs::permissions(locks, fs::perms::owner_all);
    fs::create_symlink(base / "victim", locks / linkName);
    GiveToAnotherUser(locks / linkName);
    orbel::testing::WriteFileText(base / "runner's.txt", "");
    fs::permissions(base / "runner's.txt", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                               fs::perms::group_write | fs::perms::others_read | fs::perms::others_write);
    fs::create_hard_link(base / "runner's.txt", locks / linkedName);
    const int linked = ::open((locks / linkedName).c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_EQ(::flock(linked, LOCK_EX | LOCK_NB), 0) << "held as the other user's program would";
    // A file of the runner's that others may read, moved (not linked) to a lock's name and held shared
    // by whoever could open it before it moved.
    orbel::testing::WriteFileText(base / "runner's notes.txt", "");
    fs::permissions(base / "runner's notes.txt", fs::perms::owner_read | fs::perms::owner_write |
                                                     fs::perms::group_read | fs::perms::others_read);
    fs::rename(base / "runner's notes.txt", locks / movedName);
    const int moved = ::open((locks / movedName).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(moved, LOCK_SH | LOCK_NB), 0);
    int held = -1;
    if (root) {
      orbel::testing::WriteFileText(locks / heldName, "");
      fs::permissions(locks / heldName, fs::perms::all);
      ASSERT_TRUE(GiveToAnotherUser(locks / heldName));
      held = ::open((locks / heldName).c_str(), O_RDWR | O_CLOEXEC);
      ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    }
    const std::vector<std::string> env = {std::string(setting) + "=" + base.string(),
                                          userFolder ? "ORBEL_RUNTIME_DIR" : "XDG_RUNTIME_DIR"};

    Helper planted("PlantedLinkClass", env);
    EXPECT_TRUE(planted.ready());
    EXPECT_FALSE(fs::exists(fs::symlink_status(base / "victim"))) << "nothing made through the link";
    const fs::path errors = work.path() / (std::string(setting) + " errors.txt");
    {
      Helper probe("HardLinkedClass", env, kProbeClassVariable, errors.string());
      EXPECT_EQ(probe.firstLine(), "none!\n") << "a file with another name is no lock";
    }
    const std::string said = orbel::testing::ReadFileText(errors);
    EXPECT_NE(said.find(kNotDetected), std::string::npos) << said;
    EXPECT_EQ(said.find(kNotDetected), said.rfind(kNotDetected)) << "said once: " << said;
    {
      Helper probe("MovedFileClass", env, kProbeClassVariable);
      EXPECT_EQ(probe.firstLine(), "none!\n") << "a file others may open is no lock";
    }
    if (root) {
      Helper probe("HeldElsewhereClass", env, kProbeClassVariable);
      EXPECT_EQ(probe.firstLine(), "none!\n") << "another user's lock is no window of the user's";
    }
    Helper first("SecondCopyClass", env);
    ASSERT_TRUE(first.ready());
    EXPECT_TRUE(fs::is_regular_file(locks / copyName)) << "the lock lives in " << locks;
    Helper second("SecondCopyClass", env, kProbeClassVariable);
    EXPECT_EQ(second.firstLine(), "found\n");
    ::close(linked);
    ::close(moved);
    if (held >= 0) ::close(held);
  }
}

// With the user's folder taken (a link stands at its name) the locks go to the process's own folder, where
// no other copy looks: the process says so once, beside the refusal of the folder.
TEST_F(WindowFind, LocksKeptInAPrivateFolderAreSaidToMissASecondCopy) {
  namespace fs = std::filesystem;
  orbel::testing::ScopedWorkDir work;
  const fs::path base = work.path() / "tmp";
  fs::create_directories(work.path() / "elsewhere");
  fs::create_directory(base);
  fs::permissions(base, fs::perms::owner_all);
  const fs::path taken = base / ("orbel-" + std::to_string(::geteuid()));
  fs::create_directory_symlink(work.path() / "elsewhere", taken);
  const fs::path errors = work.path() / "errors.txt";
  {
    Helper first("TakenFolderClass", {"XDG_RUNTIME_DIR=" + base.string(), "ORBEL_RUNTIME_DIR", "TMPDIR"},
                 kHelperClassVariable, errors.string());
    ASSERT_TRUE(first.ready());
  }
  const std::string said = orbel::testing::ReadFileText(errors);
  EXPECT_NE(said.find("orbel: refused " + taken.string() + " "), std::string::npos) << said;
  const std::string kNotDetected = "a second copy of this program will not be detected\n";
  EXPECT_NE(said.find(kNotDetected), std::string::npos) << said;
  EXPECT_EQ(said.find(kNotDetected), said.rfind(kNotDetected)) << "said once: " << said;
}

// Under a umask without the owner's bits a lock file is still 0600, so a second copy opens it and finds
// the first.
TEST_F(WindowFind, ALockFileIsTheUsersToOpenWhateverTheUmask) {
  namespace fs = std::filesystem;
  orbel::testing::ScopedWorkDir work;
  const mode_t umask = ::umask(0477);
  Helper first("UmaskClass", {"ORBEL_RUNTIME_DIR=" + work.path().string()});
  ::umask(umask);
  ASSERT_TRUE(first.ready());
  struct stat st {};
  ASSERT_EQ(::stat(fs::directory_iterator(work.path())->path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  Helper second("UmaskClass", {"ORBEL_RUNTIME_DIR=" + work.path().string()}, kProbeClassVariable);
  EXPECT_EQ(second.firstLine(), "found\n");
}

// A lease another user holds on a file at the lock's name, in a folder all may write to, does not stall
// the start: a program and a second copy start at once (far within the 45 s the system gives a lease to
// break) and each says that the lock is refused.
TEST_F(WindowFind, ALeaseAtTheLocksNameStallsNoStart) {
  namespace fs = std::filesystem;
  orbel::testing::ScopedWorkDir work;
  const fs::path shared = work.path() / "shared";
  fs::create_directory(shared);
  fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
  const fs::path lock = shared / LockFileName(work.path(), "LeasedLockClass");
  LeaseHolder lease(lock);
  ASSERT_TRUE(lease.held());
  const std::vector<std::string> env = {"ORBEL_RUNTIME_DIR=" + shared.string()};
  const fs::path errors = work.path() / "errors.txt", probeErrors = work.path() / "probe errors.txt";
  auto seconds = [] {
    timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
  };
  const double start = seconds();
  {
    Helper first("LeasedLockClass", env, kHelperClassVariable, errors.string());
    EXPECT_TRUE(first.ready());
    Helper second("LeasedLockClass", env, kProbeClassVariable, probeErrors.string());
    EXPECT_EQ(second.firstLine(), "none!\n");
  }
  EXPECT_LT(seconds() - start, 10.0);
  const std::string refused = "orbel: refused the double-start lock " + lock.string() + " (";
  for (const fs::path& file : {errors, probeErrors}) {
    const std::string said = orbel::testing::ReadFileText(file);
    EXPECT_EQ(said.rfind(refused, 0), 0u) << said;
  }
}

// The folder ORBEL_RUNTIME_DIR names keeps the rule of a base: a link (named with a trailing '/', "//" or
// "/." too) and a folder others may write to without the sticky bit are refused (nothing is made in
// them, and the program starts saying why), one
// that cannot be opened is refused for the system's reason, and a folder of root's that all may write to
// but none may list (1733) serves: a second copy finds the first through it.
TEST_F(WindowFind, TheNamedLockFolderKeepsTheRuleOfABase) {
  namespace fs = std::filesystem;
  orbel::testing::ScopedWorkDir work;
  const fs::path target = work.path() / "target", open = work.path() / "open to all";
  const fs::path link = work.path() / "link", missing = work.path() / "missing";
  fs::create_directory(target);
  fs::create_directory(open);
  fs::permissions(open, fs::perms::all);
  fs::create_directory_symlink(target, link);
  const std::string kRule = "a link, not a folder, or one another user can change";
  const struct {
    fs::path named;
    std::string why;
    fs::path untouched;
  } cases[] = {{link, kRule, target},
               {link.string() + "/", kRule, target},
               {link.string() + "//", kRule, target},
               {link.string() + "/.", kRule, target},
               {open, kRule, open},
               {missing, "No such file or directory", {}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.named);
    const fs::path errors = work.path() / "errors.txt";
    Helper first("RuledFolderClass", {"ORBEL_RUNTIME_DIR=" + c.named.string()}, kHelperClassVariable,
                 errors.string());
    EXPECT_TRUE(first.ready());
    EXPECT_EQ(orbel::testing::ReadFileText(errors),
              "orbel: refused ORBEL_RUNTIME_DIR " + c.named.string() + " as the folder of the double-start locks (" +
                  c.why + "); a second copy of this program will not be detected\n");
    if (!c.untouched.empty()) {
      EXPECT_TRUE(fs::is_empty(c.untouched));
    }
  }

  if (::geteuid() != 0) return;  // a folder of root's that the user may not list takes root
  const fs::path home = work.path() / "home";
  fs::create_directories(home / "unlisted");
  fs::permissions(home / "unlisted", fs::perms::owner_all | fs::perms::group_write | fs::perms::group_exec |
                                         fs::perms::others_write | fs::perms::others_exec | fs::perms::sticky_bit);
  const std::string failures = orbel::testing::RunAsOrdinaryUser(home, [] {
    Helper first("UnlistedFolderClass", {"ORBEL_RUNTIME_DIR=unlisted"}, kHelperClassVariable, "errors.txt");
    Helper second("UnlistedFolderClass", {"ORBEL_RUNTIME_DIR=unlisted"}, kProbeClassVariable, "errors.txt");
    std::string failed = first.ready() ? "" : "the first copy did not start; ";
    if (second.firstLine() != "found\n") failed += "the second copy did not find the first; ";
    return failed + orbel::testing::ReadFileText("errors.txt");
  });
  EXPECT_EQ(failures, "");
}

}  // namespace
