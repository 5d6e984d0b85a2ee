// Process folders: which user folder is trusted, what a killed process leaves and the next start removes,
// and a test process's lock folder, its own whatever the environment a user set. The test binary starts
// itself again as a child that holds a temporary file and a window (a lock file) and reports where.
#include "platform/win/kernel/process_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/win/kernel/find_file.h"
#include "platform/win/user/message_queue.h"
#include "platform/test_controls.h"
#include "platform/win/user/window.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace plat;

constexpr char kChildVariable[] = "PROCESS_FOLDER_CHILD";  // the class of the child's window
constexpr char kTempLine[] = "temp ";
constexpr char kLocksLine[] = "locks ";

int ModeOf(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

// This executable run again for ProcessFolderChild alone, its environment changed as EnvironmentWith
// does, its standard error written to `errors` when one is given. Reads the child's report; the child
// lives until its input is closed.
class Child {
 public:
  explicit Child(const std::vector<std::string>& env, const fs::path& errors = {}) {
    std::vector<std::string> entries = orbel::testing::EnvironmentWith(env);
    std::vector<char*> envp;
    for (std::string& entry : entries) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = fs::read_symlink("/proc/self/exe").string();
    std::string filter = "--gtest_filter=ProcessFolderChild.*";
    char* argv[] = {self.data(), filter.data(), nullptr};
    int toChild[2], fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);
    if (!errors.empty()) {
      posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    if (posix_spawn(&pid_, self.c_str(), &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    input_ = toChild[1];
    output_ = ::fdopen(fromChild[0], "r");
    // The report is two lines among the test runner's own; the child writes it before it waits.
    char line[4096];
    while (output_ != nullptr && (temp_.empty() || locks_.empty()) && std::fgets(line, sizeof line, output_)) {
      std::string text(line);
      if (!text.empty() && text.back() == '\n') text.pop_back();
      if (text.rfind(kTempLine, 0) == 0) temp_ = text.substr(sizeof kTempLine - 1);
      if (text.rfind(kLocksLine, 0) == 0) locks_ = text.substr(sizeof kLocksLine - 1);
    }
  }
  ~Child() { Stop(); }
  bool reported() const { return !temp_.empty() && !locks_.empty(); }
  const fs::path& temp() const { return temp_; }
  const fs::path& locks() const { return locks_; }

  // Ends the child as a kill does: no exit handler runs.
  void Kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    Stop();
  }
  // Closes the child's input and waits for it; its exit status, -1 when a signal ended it.
  int Stop() {
    if (input_ >= 0) ::close(input_);
    input_ = -1;
    if (output_ != nullptr) {
      char line[4096];
      while (std::fgets(line, sizeof line, output_) != nullptr) {
      }
      std::fclose(output_);
      output_ = nullptr;
    }
    if (pid_ > 0) {
      int status = 0;
      ::waitpid(pid_, &status, 0);
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      pid_ = -1;
    }
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  FILE* output_ = nullptr;
  fs::path temp_;
  fs::path locks_;
  int status_ = -1;
};

LRESULT ChildProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

// The child: after the fixture's reset, a temporary file and a window of the class it is given (its lock
// file), reported; then it waits for its input to close.
using ProcessFolderChild = orbel::testing::VirtualClockTest;

TEST_F(ProcessFolderChild, HoldsATemporaryFileAndAWindowUntilItsInputCloses) {
  const char* className = std::getenv(kChildVariable);
  if (className == nullptr) GTEST_SKIP() << "the child of the ProcessFolder tests";
  char folder[MAX_PATH];
  char name[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof folder, folder), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "tmp", 0, name), 0u);
  WNDCLASSEXA wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = ChildProc;
  wc.lpszClassName = className;
  ASSERT_NE(RegisterClassExA(&wc), 0);
  ASSERT_NE(CreateWindowExA(0, className, className, WS_POPUP, 0, 0, 8, 8, nullptr, nullptr, nullptr, nullptr),
            nullptr);
  std::printf("%s%s\n%s%s\n", kTempLine, orbel::testing::DiskPath(name).c_str(), kLocksLine,
              test::LockDirectory().c_str());
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
}

class ProcessFolder : public orbel::testing::VirtualClockTest {
 protected:
  orbel::testing::ScopedWorkDir work_;
};

TEST_F(ProcessFolder, AUserFolderIsTrustedOnlyWhenItIsTheUsersAlone) {
  enum Kind { kNone, kFolder, kLink, kFile };
  struct Case {
    const char* name;
    Kind kind;  // what stands at "<base>/orbel-<uid>" before the call
    int mode;
    bool trusted;
  };
  const Case cases[] = {
      {"missing", kNone, 0, true},
      {"private", kFolder, 0700, true},
      {"readable by others", kFolder, 0755, true},
      {"writable by the group", kFolder, 0770, false},
      {"writable by all", kFolder, 01777, false},
      {"a link to a private folder", kLink, 0700, false},
      {"a file", kFile, 0700, false},
  };
  for (const Case& c : cases) {
    const fs::path base = work_.path() / c.name;
    fs::create_directory(base);
    const fs::path folder = base / ("orbel-" + std::to_string(::geteuid()));
    const fs::path made = c.kind == kLink ? base / "elsewhere" : folder;
    if (c.kind == kFolder || c.kind == kLink) fs::create_directory(made);
    if (c.kind == kFile) orbel::testing::WriteFileText(made, "");
    if (c.kind != kNone) ::chmod(made.c_str(), static_cast<mode_t>(c.mode));
    if (c.kind == kLink) fs::create_directory_symlink(made, folder);
    EXPECT_EQ(UserFolder(base.string()), c.trusted ? folder.string() : "") << c.name;
    if (c.trusted) {
      EXPECT_EQ(ModeOf(folder), 0700) << c.name;
    }
  }
  // A folder of another user's is never the user's own (only a superuser can make one to try).
  const fs::path base = work_.path() / "another user's";
  const fs::path folder = base / ("orbel-" + std::to_string(::geteuid()));
  fs::create_directories(folder);
  ::chmod(folder.c_str(), 0700);
  if (::geteuid() == 0 && ::chown(folder.c_str(), 4242, 4242) == 0) {
    EXPECT_EQ(UserFolder(base.string()), "");
  }
}

// A killed process runs no exit handler: its temporary file and its lock folder stay until the next start,
// which removes them; the folders of processes still running stay, and a process that ends normally
// removes its own.
TEST_F(ProcessFolder, WhatAKilledProcessLeftIsRemovedAtTheNextStart) {
  const fs::path base = work_.path() / "runtime";
  fs::create_directory(base);
  const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + base.string(),
                                        std::string(kChildVariable) + "=ProcessFolderChildClass"};
  Child killed(env);
  ASSERT_TRUE(killed.reported());
  Child living(env);
  ASSERT_TRUE(living.reported());
  killed.Kill();
  ASSERT_TRUE(fs::exists(killed.temp())) << "nothing has started since";
  ASSERT_TRUE(fs::exists(killed.locks()));
  // What else it may have left: folders in folders, and links out of its folder, which are not followed.
  const fs::path left = killed.temp().parent_path();
  fs::create_directories(left / "a" / "b");
  orbel::testing::WriteFileText(left / "a" / "b" / "c.tmp", "c");
  const fs::path outside = work_.path() / "outside";
  fs::create_directory(outside);
  orbel::testing::WriteFileText(outside / "kept.txt", "kept");
  fs::create_directory_symlink(outside, left / "a" / "folder link");
  fs::create_symlink(outside / "kept.txt", left / "file link");

  Child next(env);
  ASSERT_TRUE(next.reported());
  EXPECT_FALSE(fs::exists(killed.temp())) << killed.temp();
  EXPECT_FALSE(fs::exists(left)) << "removed whole";
  EXPECT_EQ(orbel::testing::ReadFileText(outside / "kept.txt"), "kept");
  EXPECT_TRUE(fs::exists(living.temp())) << "a running process keeps its folder";
  EXPECT_EQ(next.Stop(), 0);
  EXPECT_FALSE(fs::exists(next.locks()));

  EXPECT_EQ(living.Stop(), 0);
  EXPECT_FALSE(fs::exists(living.temp()));
  EXPECT_FALSE(fs::exists(living.locks()));
}

// When another user has taken the name of the user's folder (with a link, or with a folder of theirs
// that all may write to), a process says so once on stderr and keeps its files in a private folder of
// its own beside it, made fresh; nothing is made in or through what was planted. The folder of such a
// process that was killed is swept by the next; other users' folders and links of that name never are.
TEST_F(ProcessFolder, ATakenUserFolderGivesWayToAPrivateFolderOfItsOwn) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's files takes root";
  using orbel::testing::GiveToAnotherUser;
  const std::string uid = std::to_string(::geteuid());
  for (const bool link : {true, false}) {
    SCOPED_TRACE(link ? "a link to another user's folder" : "another user's folder open to all");
    const fs::path root = work_.path() / (link ? "link" : "folder");
    const fs::path base = root / "tmp";  // stands in for /tmp
    fs::create_directories(base);
    fs::permissions(base, fs::perms::all | fs::perms::sticky_bit);
    const fs::path taken = base / ("orbel-" + uid);
    const fs::path planted = link ? root / "theirs" : taken;
    fs::create_directory(planted);
    ASSERT_TRUE(GiveToAnotherUser(planted));
    fs::permissions(planted, link ? fs::perms::owner_all : fs::perms::all | fs::perms::sticky_bit);
    if (link) {
      fs::create_directory_symlink(planted, taken);
      ASSERT_TRUE(GiveToAnotherUser(taken));
    }
    // Under the name a private folder takes: another user's folder, and a link to one of the user's.
    const fs::path decoy = base / ("orbel-" + uid + "-process-1-0000000000000000");
    fs::create_directory(decoy);
    orbel::testing::WriteFileText(decoy / "theirs.tmp", "");
    ASSERT_TRUE(GiveToAnotherUser(decoy));
    const fs::path ours = root / "ours";
    fs::create_directory(ours);
    orbel::testing::WriteFileText(ours / "ours.tmp", "");
    fs::create_directory_symlink(ours, base / ("orbel-" + uid + "-process-2-0000000000000000"));

    const fs::path errors = root / "errors.txt";
    const std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + base.string(),
                                          std::string(kChildVariable) + "=TakenFolderClass"};
    Child killed(env, errors);
    ASSERT_TRUE(killed.reported());
    const fs::path own = killed.temp().parent_path();
    EXPECT_EQ(own.parent_path(), base);
    EXPECT_EQ(own.filename().string().rfind("orbel-" + uid + "-process-", 0), 0u) << own;
    EXPECT_EQ(ModeOf(own), 0700);
    EXPECT_TRUE(fs::is_empty(planted)) << "nothing is made in what another user planted";
    killed.Kill();
    const std::string said = orbel::testing::ReadFileText(errors);
    EXPECT_NE(said.find("orbel: refused " + taken.string() + " "), std::string::npos) << said;
    EXPECT_EQ(said.find("orbel: refused", said.find("orbel: refused") + 1), std::string::npos) << said;

    Child next(env, errors);
    ASSERT_TRUE(next.reported());
    EXPECT_FALSE(fs::exists(own)) << "a killed process's private folder is swept";
    EXPECT_TRUE(fs::exists(decoy / "theirs.tmp"));
    EXPECT_TRUE(fs::exists(ours / "ours.tmp"));
    const fs::path nextOwn = next.temp().parent_path();
    EXPECT_EQ(next.Stop(), 0);
    EXPECT_FALSE(fs::exists(nextOwn));
    EXPECT_TRUE(fs::is_empty(planted));
  }
}

// Nothing another user could plant ahead is to be guessed: the numbers of temporary names made one after
// another in a folder are neither counted from 1 nor consecutive, and the suffix of a process's folder
// differs from process to process.
TEST_F(ProcessFolder, NamesAndFolderSuffixesCannotBeGuessed) {
  std::vector<UINT> numbers;
  char name[MAX_PATH];
  for (int i = 0; i < 8; ++i) {
    numbers.push_back(GetTempFileNameA(work_.path().c_str(), "tmp", 0, name));
    ASSERT_NE(numbers.back(), 0u);
  }
  int steps = 0;  // one in 65,535 by chance
  for (size_t i = 1; i < numbers.size(); ++i) steps += numbers[i] == numbers[i - 1] + 1;
  EXPECT_LE(steps, 1) << numbers[0] << ", " << numbers[1] << ", " << numbers[2] << ", ...";

  Child child({std::string(kChildVariable) + "=SuffixClass"});
  ASSERT_TRUE(child.reported());
  auto suffix = [](const fs::path& folder) {
    const std::string name = folder.filename().string();
    return name.substr(name.rfind('-') + 1);
  };
  const std::string here = suffix(plat::ProcessFolder());
  EXPECT_EQ(here.size(), 16u) << here;
  EXPECT_EQ(here.find_first_not_of("0123456789abcdef"), std::string::npos) << here;
  EXPECT_NE(here, suffix(child.temp().parent_path()));
}

// A user's settings do not reach a test process: with ORBEL_RUNTIME_DIR naming one folder for all, two
// test processes still keep their locks apart, and a headless script named for a scripted run is not
// played into the tests.
TEST_F(ProcessFolder, ATestProcessKeepsToItselfWhateverTheUserSet) {
  const fs::path shared = work_.path() / "shared";
  fs::create_directory(shared);
  const char* kClass = "ProcessFolderSharedClass";
  Child child({"ORBEL_RUNTIME_DIR=" + shared.string(), "ORBEL_HEADLESS_SCRIPT=" + (work_.path() / "none").string(),
               std::string(kChildVariable) + "=" + kClass});
  ASSERT_TRUE(child.reported()) << "the child started and reached its test";

  ::setenv("ORBEL_RUNTIME_DIR", shared.c_str(), 1);
  test::Reset();
  EXPECT_NE(fs::path(test::LockDirectory()), shared);
  EXPECT_EQ(FindWindowA(kClass, nullptr), nullptr) << "the child's window is not seen as a double start";
  ::unsetenv("ORBEL_RUNTIME_DIR");
  test::SetLockDirectory(child.locks().string());
  EXPECT_NE(FindWindowA(kClass, nullptr), nullptr) << "seen once this process looks in the child's folder";
  EXPECT_EQ(child.Stop(), 0);
}

}  // namespace
