// Process folders: which base and which user folder serve, names swapped after their check, what a killed
// process leaves and the next start removes (however it was left, under any umask), and a test process's
// lock folder, its own whatever the environment a user set. The test binary starts itself again as a
// child that holds a temporary file and a window (a lock file) and reports where; what root would not
// see (it ignores modes) runs in a child as an ordinary user.
#include "platform/win/kernel/process_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "dshow_test_fixture.h"
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/file_test_controls.h"
#include "platform/win/kernel/find_file.h"
#include "platform/win/kernel/thread.h"
#include "platform/win/user/message_queue.h"
#include "platform/test_controls.h"
#include "platform/win/user/window.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using namespace plat;

constexpr char kChildVariable[] = "PROCESS_FOLDER_CHILD";  // the class of the child's window
constexpr char kSwapVariable[] = "PROCESS_FOLDER_SWAP";    // the base of the swapping child
constexpr char kExitVariable[] = "PROCESS_FOLDER_EXIT";    // set: the child ends through ExitProcess
constexpr char kTempSwapVariable[] = "PROCESS_FOLDER_TEMP_SWAP";  // the base of the temporary-file child
constexpr char kTempLine[] = "temp ";
constexpr char kLocksLine[] = "locks ";

int ModeOf(const fs::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
}

std::string UserFolderName() { return "orbel-" + std::to_string(::geteuid()); }

// The names in a folder, sorted.
std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

// What `run` writes on stderr.
std::string StderrOf(const std::function<void()>& run) {
  std::fflush(stderr);
  FILE* file = std::tmpfile();
  const int saved = ::dup(2);
  ::dup2(::fileno(file), 2);
  run();
  std::fflush(stderr);
  ::dup2(saved, 2);
  ::close(saved);
  std::rewind(file);
  std::string text;
  for (int c; (c = std::fgetc(file)) != EOF;) text.push_back(static_cast<char>(c));
  std::fclose(file);
  return text;
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

// The child of the ExitProcess test: makes its folder, then ends through ExitProcess.
TEST_F(ProcessFolderChild, EndsThroughExitProcess) {
  if (std::getenv(kExitVariable) == nullptr) GTEST_SKIP() << "the child of the ExitProcess test";
  ASSERT_FALSE(ProcessFolder().empty());
  ExitProcess(7);
}

// The child of the swap test: once its user's folder is checked, that folder is swapped for a link to
// another; the process then takes a class's lock and makes its folder, both in the folder it checked.
TEST_F(ProcessFolderChild, FindsItsFilesInTheFolderItCheckedThoughItWasSwapped) {
  const char* variable = std::getenv(kSwapVariable);
  if (variable == nullptr) GTEST_SKIP() << "the child of the swap test";
  const fs::path base = variable, checked = base / "checked", elsewhere = base / "elsewhere";
  bool swapped = false;
  test::SetFolderStepHook([&](const std::string& step) {
    if (step != "user") return;
    fs::rename(base / UserFolderName(), checked);
    fs::create_directory(elsewhere);
    fs::create_directory_symlink(elsewhere, base / UserFolderName());
    swapped = true;
  });
  test::SetLockDirectory("");  // where a program keeps its locks: the user's folder
  EXPECT_EQ(FindWindowA("SwappedFolderClass", nullptr), nullptr);
  const fs::path own = plat::ProcessFolder();
  ASSERT_TRUE(swapped) << "the folders were looked for before the swap could be set up";
  EXPECT_TRUE(fs::is_directory(checked / own.filename())) << own;
  bool locked = false;
  for (const std::string& name : Entries(checked)) locked |= name.size() > 5 && name.substr(name.size() - 5) == ".lock";
  EXPECT_TRUE(locked) << "the lock file is in the folder checked";
  EXPECT_TRUE(fs::is_empty(elsewhere)) << "nothing is made through the link swapped in";
}

// The child of the temporary-file test: once its folder is made, another user swaps the base's name for a
// folder of theirs that holds the same path. A temporary file is then made, written, handed to
// FFmpeg as a film (their own film planted at its name in their folder meanwhile) and removed, all in the
// folder checked; nothing of theirs is touched, nor made in their folder once the process's folder is gone.
using ProcessFolderTempChild = dshow_test::DShowTest;

TEST_F(ProcessFolderTempChild, KeepsItsTemporaryFilesInTheFolderItCheckedThoughTheBaseWasSwapped) {
  const char* variable = std::getenv(kTempSwapVariable);
  if (variable == nullptr) GTEST_SKIP() << "the child of the temporary-file test";
  const fs::path base = variable, checked = base.string() + " checked";
  char folder[MAX_PATH];
  ASSERT_GT(GetTempPathA(sizeof folder, folder), 0u);
  const fs::path inside = fs::path(plat::ProcessFolder()).lexically_relative(base);
  fs::rename(base, checked);
  fs::create_directories(base / inside);
  for (fs::path planted = base / inside; planted != base.parent_path(); planted = planted.parent_path()) {
    ::chmod(planted.c_str(), 0777);
    orbel::testing::GiveToAnotherUser(planted);
  }
  const fs::path ours = checked / inside, theirs = base / inside;

  char name[MAX_PATH];
  ASSERT_NE(GetTempFileNameA(folder, "tmp", 0, name), 0u);
  const fs::path file = orbel::testing::DiskPath(name).filename();
  EXPECT_TRUE(fs::is_regular_file(ours / file)) << "made in the folder checked";
  EXPECT_TRUE(fs::is_empty(theirs)) << "nothing made in their folder";
  const std::vector<uint8_t> film = orbel::testing::ReadFileBytes(dshow_test::TestMovies().mjpeg);
  HANDLE written = CreateFileA(name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(written, INVALID_HANDLE_VALUE);
  DWORD count = 0;
  EXPECT_TRUE(WriteFile(written, film.data(), static_cast<DWORD>(film.size()), &count, nullptr));
  CloseHandle(written);
  EXPECT_EQ(orbel::testing::ReadFileBytes(ours / file), film);

  fs::copy_file(dshow_test::TestMovies().mp4, theirs / file);  // a film of theirs, 64 wide, at the name
  ASSERT_EQ(OpenStream(name), S_OK);
  MakeSample();
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  ASSERT_EQ(surface->GetSurfaceDesc(&desc), DD_OK);
  EXPECT_EQ(desc.dwWidth, 40u) << "FFmpeg plays the user's copy, not the film planted at its name";
  Close();

  EXPECT_TRUE(DeleteFileA(name));
  EXPECT_FALSE(fs::exists(ours / file));
  EXPECT_TRUE(fs::exists(theirs / file)) << "their file is not removed";

  // Once the folder is removed (as at the exit), its name leads nowhere.
  plat::RemoveOwnProcessFolder();
  const std::string late = std::string(folder) + "late.tmp";
  EXPECT_EQ(CreateFileA(late.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(fs::exists(theirs / "late.tmp"));
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
    const fs::path folder = base / UserFolderName();
    const fs::path made = c.kind == kLink ? base / "elsewhere" : folder;
    if (c.kind == kFolder || c.kind == kLink) fs::create_directory(made);
    if (c.kind == kFile) orbel::testing::WriteFileText(made, "");
    if (c.kind != kNone) ::chmod(made.c_str(), static_cast<mode_t>(c.mode));
    if (c.kind == kLink) fs::create_directory_symlink(made, folder);
    ProcessFolders f;
    const std::string said = StderrOf([&] { EXPECT_TRUE(OpenUserFolder({base.string()}, &f)) << c.name; });
    EXPECT_EQ(f.userFolder, c.trusted ? folder.string() : "") << c.name;
    EXPECT_EQ(said.find("orbel: refused " + folder.string() + " ") != std::string::npos, !c.trusted) << said;
    if (c.trusted) {
      EXPECT_EQ(ModeOf(folder), 0700) << c.name;
    }
    CloseProcessFolders(&f);
  }
  // A folder of another user's is never the user's own (only a superuser can make one to try).
  const fs::path base = work_.path() / "another user's";
  const fs::path folder = base / UserFolderName();
  fs::create_directories(folder);
  ::chmod(folder.c_str(), 0700);
  if (orbel::testing::GiveToAnotherUser(folder)) {
    ProcessFolders f;
    StderrOf([&] { OpenUserFolder({base.string()}, &f); });
    EXPECT_EQ(f.userFolder, "");
    CloseProcessFolders(&f);
  }
}

// A base serves only when no other user can rename or remove the entries of the user's in it: a folder,
// not a link, of the user's or root's, sticky when others may write to it. A base refused is named in one
// line on stderr and the next one serves; a missing one gives way without a word; with none, that is said.
TEST_F(ProcessFolder, ABaseServesOnlyWhenNoOtherUserCanChangeItsEntries) {
  enum Kind { kMissing, kFolder, kLink, kFile };
  struct Case {
    const char* name;
    Kind kind;
    int mode;
    bool anothers;  // given to another user (root only)
    bool serves;
  };
  const Case cases[] = {
      {"missing", kMissing, 0, false, false},
      {"private", kFolder, 0700, false, true},
      {"readable by all", kFolder, 0755, false, true},
      {"sticky and open to all", kFolder, 01777, false, true},
      {"sticky and open to the group", kFolder, 01770, false, true},
      {"open to all", kFolder, 0777, false, false},
      {"open to the group", kFolder, 0770, false, false},
      {"a link to a private folder", kLink, 0700, false, false},
      {"a file", kFile, 0600, false, false},
      {"another user's, sticky and open to all", kFolder, 01777, true, false},
      {"another user's, private", kFolder, 0755, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path base = work_.path() / c.name;
    const fs::path next = work_.path() / (std::string(c.name) + " next");
    const fs::path made = c.kind == kLink ? work_.path() / (std::string(c.name) + " target") : base;
    if (c.kind == kFolder || c.kind == kLink) fs::create_directory(made);
    if (c.kind == kFile) orbel::testing::WriteFileText(made, "");
    if (c.kind != kMissing) ::chmod(made.c_str(), static_cast<mode_t>(c.mode));
    if (c.kind == kLink) fs::create_directory_symlink(made, base);
    if (c.anothers && !orbel::testing::GiveToAnotherUser(base)) continue;  // only root can give it away
    fs::create_directory(next);
    ProcessFolders f;
    const std::string said = StderrOf([&] { EXPECT_TRUE(OpenUserFolder({base.string(), next.string()}, &f)); });
    EXPECT_EQ(f.base, (c.serves ? base : next).string());
    EXPECT_EQ(f.userFolder, (fs::path(f.base) / UserFolderName()).string());
    EXPECT_EQ(said, c.serves || c.kind == kMissing ? ""
                                                   : "orbel: refused " + base.string() +
                                                         " as a folder for this process's files (a link, not a "
                                                         "folder, or one another user can change)\n");
    if (c.kind == kFolder || c.kind == kLink) {
      EXPECT_EQ(fs::is_empty(made), !c.serves) << "nothing is made in a base refused";
    }
    EXPECT_EQ(fs::is_empty(next), c.serves);
    CloseProcessFolders(&f);
  }
  // A link named with a trailing '/', "//" or "/." is judged as the link.
  const fs::path link = work_.path() / "a link to a private folder";
  for (const char* suffix : {"/", "//", "/."}) {
    SCOPED_TRACE(suffix);
    const fs::path next = work_.path() / "private next";
    ProcessFolders f;
    const std::string said =
        StderrOf([&] { EXPECT_TRUE(OpenUserFolder({link.string() + suffix, next.string()}, &f)); });
    EXPECT_EQ(f.base, next.string());
    EXPECT_EQ(said, "orbel: refused " + link.string() +
                        " as a folder for this process's files (a link, not a folder, or one another user can change)\n");
    EXPECT_TRUE(fs::is_empty(work_.path() / "a link to a private folder target"));
    CloseProcessFolders(&f);
  }
  ProcessFolders f;
  const fs::path missing = work_.path() / "none", file = work_.path() / "a file";
  const std::string said = StderrOf([&] { EXPECT_FALSE(OpenUserFolder({missing.string(), file.string()}, &f)); });
  EXPECT_NE(said.find("orbel: no folder can hold this process's files (tried " + missing.string() + ", " +
                      file.string() + ")"),
            std::string::npos)
      << said;
  EXPECT_FALSE(MakeProcessFolder(&f));
}

// A base is opened for search alone: a base of root's that all may write to but none may list (1733)
// serves as /tmp does. One that cannot be opened at all is refused with the system's reason. Where the
// user's folder in such a base is taken, no private folder is made there (one left by a killed process
// could never be found to be swept): the base gives way to the next, said in one line. As an ordinary
// user: root opens any folder.
TEST_F(ProcessFolder, ABaseIsOpenedForSearchAloneAndARefusalSaysWhy) {
  if (::geteuid() != 0) GTEST_SKIP() << "a base of root's takes root";
  const fs::path home = work_.path() / "home";
  fs::create_directories(home / "closed" / "base");
  fs::create_directory(home / "unlisted");
  ::chmod((home / "unlisted").c_str(), 01733);
  ::chmod((home / "closed").c_str(), 0700);
  const std::string taken = "orbel-" + std::to_string(orbel::testing::kAnotherUser);
  fs::create_directories(home / "unlisted, taken" / taken);  // root's, at the name of the user's folder
  ::chmod((home / "unlisted, taken").c_str(), 01733);
  const std::string failures = orbel::testing::RunAsOrdinaryUser(home, [] {
    std::string failed;
    auto check = [&](bool held, const std::string& what) { failed += held ? "" : what + "; "; };
    ProcessFolders unlisted;
    const std::string said = StderrOf([&] { OpenUserFolder({"unlisted"}, &unlisted); });
    check(said.empty() && unlisted.base == "unlisted" && unlisted.userFolder == "unlisted/" + UserFolderName(),
          "a 1733 base of root's serves (" + said + ")");
    check(MakeProcessFolder(&unlisted), "a process folder is made there");
    RemoveProcessFolder(&unlisted);
    CloseProcessFolders(&unlisted);
    ProcessFolders closed;
    const std::string refused = StderrOf([&] { OpenUserFolder({"closed/base"}, &closed); });
    const std::string why = "orbel: refused closed/base as a folder for this process's files (Permission denied)\n";
    check(refused.rfind(why, 0) == 0, "a base that cannot be reached is refused for its reason (" + refused + ")");
    CloseProcessFolders(&closed);
    ::mkdir("next", 0700);
    for (const char* start : {"a start", "the start after a kill"}) {
      ProcessFolders f;
      const std::string gaveWay = StderrOf([&] { OpenUserFolder({"unlisted, taken", "next"}, &f); });
      const std::string line = "orbel: refused unlisted, taken/" + UserFolderName() +
                               " (a link, another user's folder, or one others may write to), and unlisted, taken "
                               "cannot be listed";
      check(gaveWay.rfind(line, 0) == 0 && gaveWay.find('\n') == gaveWay.size() - 1,
            std::string("at ") + start + " the unlisted base with the user's folder taken is refused in one line (" +
                gaveWay + ")");
      check(f.base == "next" && MakeProcessFolder(&f), std::string("at ") + start + " the next base serves");
      CloseProcessFolders(&f);  // killed: its folder stays
    }
    return failed;
  });
  EXPECT_EQ(failures, "");
  EXPECT_EQ(Entries(home / "unlisted, taken"), std::vector<std::string>{taken}) << "nothing is left in it";

  const std::string tooLong = (work_.path() / std::string(PATH_MAX, 'x')).string();
  ProcessFolders f;
  const std::string said = StderrOf([&] { OpenUserFolder({tooLong}, &f); });
  EXPECT_NE(said.find("orbel: refused " + tooLong + " as a folder for this process's files (File name too long)\n"),
            std::string::npos)
      << said;
  CloseProcessFolders(&f);
}

// Each folder is used through the handle it was checked through, so a name swapped after a check (as
// another user could where a base let them) leads nowhere: the base swapped for another folder, the
// user's folder for a link (in a process of its own, which then takes a lock), and a process folder just
// made for a folder open to all (another user's, where the test can give it away) holding a file.
TEST_F(ProcessFolder, ANameSwappedAfterItsCheckLeadsNowhere) {
  {
    SCOPED_TRACE("the base");
    const fs::path base = work_.path() / "base", checked = work_.path() / "base checked";
    fs::create_directory(base);
    test::SetFolderStepHook([&](const std::string& step) {
      if (step != "base") return;
      fs::rename(base, checked);
      fs::create_directory(base);
    });
    ProcessFolders f;
    ASSERT_TRUE(OpenUserFolder({base.string()}, &f));
    ASSERT_TRUE(MakeProcessFolder(&f));
    EXPECT_TRUE(fs::is_directory(checked / UserFolderName() / f.name));
    EXPECT_TRUE(fs::is_empty(base));
    RemoveProcessFolder(&f);
    EXPECT_TRUE(fs::is_empty(checked / UserFolderName()));
    CloseProcessFolders(&f);
  }
  {
    SCOPED_TRACE("a process folder just made");
    const fs::path base = work_.path() / "made", user = base / UserFolderName();
    fs::create_directory(base);
    fs::path planted;
    test::SetFolderStepHook([&](const std::string& step) {
      if (step != "made" || !planted.empty()) return;
      planted = fs::directory_iterator(user)->path();  // the folder made, alone in the user's folder
      fs::rename(planted, work_.path() / "moved away");
      fs::create_directory(planted);
      orbel::testing::WriteFileText(planted / "theirs.tmp", "theirs");
      ::chmod(planted.c_str(), 0777);
      orbel::testing::GiveToAnotherUser(planted / "theirs.tmp");
      orbel::testing::GiveToAnotherUser(planted);
    });
    ProcessFolders f;
    ASSERT_TRUE(OpenUserFolder({base.string()}, &f));
    ASSERT_TRUE(MakeProcessFolder(&f));
    ASSERT_FALSE(planted.empty());
    EXPECT_NE(fs::path(f.path), planted);
    RemoveProcessFolder(&f);
    CloseProcessFolders(&f);
    EXPECT_EQ(orbel::testing::ReadFileText(planted / "theirs.tmp"), "theirs");
  }
  test::SetFolderStepHook(nullptr);
  const fs::path base = work_.path() / "user";
  fs::create_directory(base);
  const fs::path output = work_.path() / "child.txt";
  EXPECT_EQ(orbel::testing::RunSelf("ProcessFolderChild.FindsItsFilesInTheFolderItCheckedThoughItWasSwapped",
                                    {std::string(kSwapVariable) + "=" + base.string(), "XDG_RUNTIME_DIR=" + base.string()},
                                    output),
            0)
      << orbel::testing::ReadFileText(output);
}

// Temporary files are made, opened, handed to FFmpeg and removed through the process folder's handle: a
// base whose name is swapped for another user's folder after the check (as whoever controls its parent
// could) receives nothing, and the folder checked is removed at the exit.
TEST_F(ProcessFolder, TemporaryFilesStayInTheFolderCheckedThoughTheBaseIsSwapped) {
  const fs::path base = work_.path() / "runtime";
  fs::create_directory(base);
  const fs::path output = work_.path() / "child.txt";
  ASSERT_EQ(orbel::testing::RunSelf(
                "ProcessFolderTempChild.KeepsItsTemporaryFilesInTheFolderItCheckedThoughTheBaseWasSwapped",
                {std::string(kTempSwapVariable) + "=" + base.string(), "XDG_RUNTIME_DIR=" + base.string(), "TMPDIR"},
                output),
            0)
      << orbel::testing::ReadFileText(output);
  EXPECT_NE(orbel::testing::ReadFileText(output).find("[  PASSED  ] 1 test"), std::string::npos)
      << orbel::testing::ReadFileText(output);
  const fs::path checked = base.string() + " checked";
  EXPECT_EQ(Entries(checked / UserFolderName()), std::vector<std::string>{}) << "its folder went at the exit";
}

// A killed process's folder goes whole at the next start, however it was left: subfolders read-only,
// unsearchable, unreadable or closed, a chain of folders deeper than the descriptors the process has
// left, links (removed, not followed), and the private folder a process made in the base when the user's
// folder was taken. Nothing is left to walk again at the start after. As an ordinary user: root ignores
// modes.
TEST_F(ProcessFolder, AKilledProcesssFolderGoesWholeHoweverItWasLeft) {
  const fs::path home = work_.path() / "home";
  fs::create_directory(home);
  orbel::testing::WriteFileText(work_.path() / "outside.txt", "kept");
  const std::string failures = orbel::testing::RunAsOrdinaryUser(home, [] {
    constexpr int kChainDepth = 300;
    std::string failed;
    auto check = [&](bool held, const std::string& what) { failed += held ? "" : what + "; "; };
    const std::string base = "base", user = base + "/" + UserFolderName();
    ::mkdir(base.c_str(), 0700);
    ::mkdir(user.c_str(), 0700);
    const std::string stale = user + "/process-1-00000000000000aa";
    const std::string stalePrivate = base + "/" + UserFolderName() + "-process-1-00000000000000bb";
    for (const std::string& folder : {stale, stalePrivate}) {
      ::mkdir(folder.c_str(), 0700);
      for (const auto& [name, mode] : {std::pair{"read-only", 0500}, {"unsearchable", 0600}, {"unreadable", 0300},
                                       {"closed", 0}}) {
        const std::string sub = folder + "/" + name;
        ::mkdir(sub.c_str(), 0700);
        ::mkdir((sub + "/inner").c_str(), 0700);
        orbel::testing::WriteFileText(sub + "/inner/file", "x");
        orbel::testing::WriteFileText(sub + "/file", "x");
        ::chmod(sub.c_str(), static_cast<mode_t>(mode));
      }
      ::symlink("../../../../outside.txt", (folder + "/file link").c_str());
      ::symlink("..", (folder + "/folder link").c_str());
    }
    int fd = ::open(stale.c_str(), O_RDONLY | O_DIRECTORY);
    for (int depth = 0; depth < kChainDepth && fd >= 0; ++depth) {
      ::mkdirat(fd, "d", 0700);
      const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
      if (depth == kChainDepth / 2) ::fchmod(fd, 0300);
      ::close(fd);
      fd = next;
    }
    check(fd >= 0, "the chain was made");
    ::close(::openat(fd, "bottom", O_WRONLY | O_CREAT, 0600));
    ::close(fd);
    ::chmod(stale.c_str(), 0500);
    // Far fewer descriptors left than the chain is deep.
    int highest = 0;
    for (int open = 0; open < 65536; ++open) highest = ::fcntl(open, F_GETFD) >= 0 ? open : highest;
    const rlimit limit{static_cast<rlim_t>(highest + 16), static_cast<rlim_t>(highest + 16)};
    check(::setrlimit(RLIMIT_NOFILE, &limit) == 0, "the descriptors were limited");

    for (const char* start : {"the first start", "the start after"}) {
      ProcessFolders f;
      check(OpenUserFolder({base}, &f) && MakeProcessFolder(&f), std::string("a folder was made at ") + start);
      check(Entries(user) == std::vector<std::string>{f.name},
            std::string("only its own folder stays at ") + start + ", not " + Joined(Entries(user)) + " (" +
                Joined(Entries(stale)) + " in the first)");
      check(Entries(base) == std::vector<std::string>{UserFolderName()},
            std::string("the base is swept at ") + start + ", not " + Joined(Entries(base)));
      ::mkdir((f.path + "/unreadable").c_str(), 0300);  // and it is killed in turn
      CloseProcessFolders(&f);
    }
    return failed;
  });
  EXPECT_EQ(failures, "");
  EXPECT_EQ(orbel::testing::ReadFileText(work_.path() / "outside.txt"), "kept");
}

// Under a umask without the owner's bits the user's new folder still serves and every folder is 0700;
// what a killed process left then goes at the next start, and a temporary file is 0600. As an ordinary
// user: root opens a folder it cannot read.
TEST_F(ProcessFolder, AnyUmaskGivesPrivateFoldersAndLeavesNothingBehind) {
  const fs::path home = work_.path() / "home";
  fs::create_directory(home);
  const std::string failures = orbel::testing::RunAsOrdinaryUser(home, [] {
    std::string failed;
    auto check = [&](bool held, const std::string& what) { failed += held ? "" : what + "; "; };
    const std::string base = "base", user = base + "/" + UserFolderName();
    ::mkdir(base.c_str(), 0700);
    ::umask(0477);
    ProcessFolders killed;
    check(OpenUserFolder({base}, &killed) && killed.userFolder == user, "the user's new folder serves");
    check(MakeProcessFolder(&killed), "a process folder was made");
    check(ModeOf(user) == 0700 && ModeOf(killed.path) == 0700, "the folders are 0700");
    CloseProcessFolders(&killed);
    ProcessFolders next;
    check(OpenUserFolder({base}, &next) && MakeProcessFolder(&next), "the next start made its folder");
    check(Entries(user) == std::vector<std::string>{next.name}, "the killed process's folder is gone");
    RemoveProcessFolder(&next);
    CloseProcessFolders(&next);
    check(Entries(base) == std::vector<std::string>{UserFolderName()} && Entries(user).empty(), "nothing is left");
    return failed;
  });
  EXPECT_EQ(failures, "");

  const mode_t umask = ::umask(0477);
  char name[MAX_PATH];
  const UINT number = GetTempFileNameA(work_.path().c_str(), "tmp", 0, name);
  ::umask(umask);
  ASSERT_NE(number, 0u);
  EXPECT_EQ(ModeOf(orbel::testing::DiskPath(name)), 0600);
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

// ExitProcess runs no exit handler (a fatal error ends the library through it), yet the process's folder
// goes with the process.
TEST_F(ProcessFolder, ExitProcessTakesTheFolderAlong) {
  const fs::path base = work_.path() / "runtime";
  fs::create_directory(base);
  EXPECT_EQ(orbel::testing::RunSelf("ProcessFolderChild.EndsThroughExitProcess",
                                    {std::string(kExitVariable) + "=1", "XDG_RUNTIME_DIR=" + base.string(), "TMPDIR"}),
            7);
  ASSERT_TRUE(fs::is_directory(base / UserFolderName()));
  EXPECT_EQ(Entries((base / UserFolderName()).string()), std::vector<std::string>{});
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
// another in a folder are neither counted from 1 nor consecutive, and the suffixes of process folders
// made one after another are 64 random bits: each bit is seen both set and clear (a pid, a clock or a
// counter keeps its high bits; a random suffix fails this once in 2^41 runs).
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

  const fs::path base = work_.path() / "suffixes";
  fs::create_directory(base);
  uint64_t set = 0, clear = 0;
  for (int i = 0; i < 48; ++i) {
    ProcessFolders f;
    ASSERT_TRUE(OpenUserFolder({base.string()}, &f) && MakeProcessFolder(&f));
    const std::string suffix = f.name.substr(f.name.rfind('-') + 1);
    ASSERT_EQ(suffix.size(), 16u) << suffix;
    ASSERT_EQ(suffix.find_first_not_of("0123456789abcdef"), std::string::npos) << suffix;
    const uint64_t bits = std::stoull(suffix, nullptr, 16);
    set |= bits;
    clear |= ~bits;
    RemoveProcessFolder(&f);
    CloseProcessFolders(&f);
  }
  EXPECT_EQ(set, ~0ull) << std::hex << set;
  EXPECT_EQ(clear, ~0ull) << std::hex << clear;
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
