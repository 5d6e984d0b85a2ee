// The core runtime's test helpers.
#include "core_runtime_fixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "orbel/core/api_lock.h"
#include "orbel/core/drop_files.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/system_report.h"
#include "orbel/core/window_mode.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/input/input_state.h"
#include "orbel/input/input_system.h"
#include "orbel/network/network_system.h"
#include "platform/win/kernel/clock_test_controls.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace orbel::testing {

void ResetCoreRuntimeState() {
  ClearDragFileNames();
  ResetLibraryStateForTest();
  ResetGraphicsStateForTest();
  ResetSystemReportForTest();
  TearDownApiLock();
  std::memset(&InputCharQueue, 0, sizeof InputCharQueue);
  std::memset(&InputImeState, 0, sizeof InputImeState);
  ResetInputStateForTest();
  std::memset(&HttpState, 0, sizeof HttpState);
  SetLogStartupDirectory("");
}

void CoreRuntimeTest::SetUp() {
  VirtualClockTest::SetUp();
  ResetCoreRuntimeState();
}

void CoreRuntimeTest::TearDown() {
  if (IsLibraryInitialised()) EndLibrarySystem();
  ResetCoreRuntimeState();
  VirtualClockTest::TearDown();
}

int CoreRuntimeTest::StartWindowed() {
  ChangeWindowMode(1);
  return InitLibrarySystem();
}

void WindowedLibraryTest::SetUp() {
  CoreRuntimeTest::SetUp();
  ASSERT_EQ(StartWindowed(), 0);
  window_ = GetMainWindowHandle();
  InitKeyInputBuffer();
}

std::string CoreRuntimeTest::LogText() const { return ReadFileText(work_.path() / "Log.txt"); }

std::vector<std::string> CoreRuntimeTest::LogTexts() const {
  return ReadLogMessages(work_.path() / "Log.txt");
}

int CoreRuntimeTest::FindLine(const std::string& text, int from) const {
  const std::vector<std::string> lines = LogTexts();
  for (int i = from; i < static_cast<int>(lines.size()); ++i) {
    if (lines[i] == text) return i;
  }
  return -1;
}

void LogFileTest::SetUp() {
  VirtualClockTest::SetUp();
  plat::test::UseVirtualClock(5000, 0);  // readings do not move the clock: stamps are exact
  SetLogOutsideWindowMode(0);
  SetLogFileSettings(0, 0, 0);
  SetLogStartupDirectory(work_.path().c_str());
  StartLogFile();
  plat::test::ClearDebugOutput();
}

void LogFileTest::TearDown() {
  SetLogStartupDirectory("");
  SetLogFileSettings(0, 0, 0);
  SetLogOutsideWindowMode(0);
  VirtualClockTest::TearDown();
}

ScopedTimeZone::ScopedTimeZone(const char* zone) {
  const char* old = std::getenv("TZ");
  had_ = old != nullptr;
  if (had_) saved_ = old;
  setenv("TZ", zone, 1);
  tzset();
}

ScopedTimeZone::~ScopedTimeZone() {
  if (had_) setenv("TZ", saved_.c_str(), 1); else unsetenv("TZ");
  tzset();
}

plat::FILETIME FileTimeOf(uint64_t ticks) {
  return plat::FILETIME{static_cast<plat::DWORD>(ticks & 0xFFFFFFFF), static_cast<plat::DWORD>(ticks >> 32)};
}

std::vector<int> DrainInputQueue() {
  std::vector<int> codes;
  while (InputCharQueue.readIndex != InputCharQueue.writeIndex) {
    codes.push_back(InputCharQueue.data[InputCharQueue.readIndex]);
    InputCharQueue.readIndex = (InputCharQueue.readIndex + 1) % kInputCharQueueSize;
  }
  return codes;
}

}  // namespace orbel::testing
