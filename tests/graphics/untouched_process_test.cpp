// A process no test has touched, as a game's: the stand-ins keep no call record there. The test binary
// starts itself again for the child test alone, which runs without a fixture (nothing resets the
// stand-ins), starts the library, draws on the Direct3D road and flips, then reports what was recorded.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "orbel.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/win/user/display_test_controls.h"
#include "test_support.h"

extern char** environ;

namespace orbel {
namespace {

constexpr char kChildVariable[] = "ORBEL_TEST_UNTOUCHED_CHILD";  // the child's lock folder
constexpr char kReportFormat[] = "untouched started %d devices %d d3d %zu display %zu\n";

// The calls a record holds; 0 when it is not kept (reading it then throws).
template <typename Read>
size_t RecordedCalls(Read read) {
  try {
    return read().size();
  } catch (const std::logic_error&) {
    return 0;
  }
}

TEST(UntouchedProcessChild, DrawsAndReportsTheCallRecords) {
  const char* folder = std::getenv(kChildVariable);
  if (folder == nullptr) GTEST_SKIP() << "the child of the UntouchedProcess test";
  // The test main cleared the variable; the double-start lock goes to the parent's folder.
  ::setenv("ORBEL_RUNTIME_DIR", folder, 1);
  ChangeWindowMode(1);
  const int started = InitLibraryLocked();
  DrawRectangle(10, 10, 100, 100, 0xFFFFFF, 1);
  FlipScreen();
  std::printf(kReportFormat, started, plat::test::GetD3DCounters().liveDevices,
              RecordedCalls(plat::test::D3DCalls), RecordedCalls(plat::test::DisplayCalls));
  std::fflush(stdout);
  EndLibraryLocked();
}

// The game pays nothing for the records: neither the Direct3D nor the display record is kept unless a
// test asks for it.
TEST(UntouchedProcess, KeepsNoCallRecords) {
  testing::ScopedWorkDir work;
  std::vector<std::string> env = {std::string(kChildVariable) + "=" + work.path().string(), "ORBEL_HOST=headless"};
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    if (entry.rfind("ORBEL_HOST=", 0) != 0) env.push_back(entry);
  }
  std::vector<char*> envp;
  for (std::string& entry : env) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string filter = "--gtest_filter=UntouchedProcessChild.*";
  char* argv[] = {self.data(), filter.data(), nullptr};
  int fromChild[2];
  ASSERT_EQ(::pipe(fromChild), 0);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
  posix_spawn_file_actions_addclose(&actions, fromChild[0]);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(fromChild[1]);
  FILE* output = ::fdopen(fromChild[0], "r");
  int started = -2, devices = -1;
  size_t d3dCalls = 0, displayCalls = 0;
  bool reported = false;
  char line[4096];
  while (std::fgets(line, sizeof line, output) != nullptr) {
    reported = reported || std::sscanf(line, kReportFormat, &started, &devices, &d3dCalls, &displayCalls) == 4;
  }
  std::fclose(output);
  int status = -1;
  if (spawned == 0) ::waitpid(pid, &status, 0);
  ASSERT_EQ(spawned, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(reported) << "the child gave no report";
  ASSERT_EQ(started, 0);
  ASSERT_GT(devices, 0) << "the child did not draw on the Direct3D road";
  EXPECT_EQ(d3dCalls, 0u) << "the Direct3D stand-in recorded calls";
  EXPECT_EQ(displayCalls, 0u) << "the display stand-in recorded calls";
}

}  // namespace
}  // namespace orbel
