// A process no test has touched, as a game's: the stand-ins keep no call record there. The test binary
// starts itself again for the child test alone, which runs without a fixture (nothing resets the
// stand-ins), starts the library, draws on the Direct3D road and flips, then reports what was recorded.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "orbel.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/win/user/display_test_controls.h"
#include "test_support.h"

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
  const std::filesystem::path output = work.path() / "output.txt";
  const int status = testing::RunSelf(
      "UntouchedProcessChild.*", {std::string(kChildVariable) + "=" + work.path().string(), "ORBEL_HOST=headless"},
      output);
  int started = -2, devices = -1;
  size_t d3dCalls = 0, displayCalls = 0;
  bool reported = false;
  std::istringstream lines(testing::ReadFileText(output));
  for (std::string line; std::getline(lines, line);) {
    reported = reported || std::sscanf(line.c_str(), kReportFormat, &started, &devices, &d3dCalls,
                                       &displayCalls) == 4;
  }
  EXPECT_EQ(status, 0);
  ASSERT_TRUE(reported) << "the child gave no report";
  ASSERT_EQ(started, 0);
  ASSERT_GT(devices, 0) << "the child did not draw on the Direct3D road";
  EXPECT_EQ(d3dCalls, 0u) << "the Direct3D stand-in recorded calls";
  EXPECT_EQ(displayCalls, 0u) << "the display stand-in recorded calls";
}

}  // namespace
}  // namespace orbel
