// The input tests' fixture.
#include "input_fixture.h"

#include <algorithm>
#include <cstring>

#include "orbel/core/api_lock.h"
#include "orbel/core/drop_files.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/main_window.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/system_report.h"
#include "orbel/core/window_mode.h"
#include "orbel/input/input_state.h"
#include "orbel/input/input_system.h"

namespace orbel::testing {

namespace {
void ResetEverything() {
  ClearDragFileNames();
  ResetLibraryStateForTest();
  ResetSystemReportForTest();
  TearDownApiLock();
  ResetInputStateForTest();
  std::memset(&InputCharQueue, 0, sizeof InputCharQueue);
  std::memset(&InputImeState, 0, sizeof InputImeState);
  SetLogStartupDirectory("");
}
}  // namespace

void InputTest::SetUp() {
  VirtualClockTest::SetUp();
  ResetEverything();
}

void InputTest::TearDown() {
  if (IsLibraryInitialised()) EndLibrarySystem();
  ResetEverything();
  VirtualClockTest::TearDown();
}

int InputTest::Start() {
  ChangeWindowMode(1);
  const int result = InitLibrarySystem();
  window_ = GetMainWindowHandle();
  return result;
}

std::vector<std::string> InputTest::LogLines() const {
  return ReadLogMessages(work_.path() / "Log.txt");
}

int InputTest::FindLine(const std::string& text, int from) const {
  const std::vector<std::string> lines = LogLines();
  for (int i = from; i < static_cast<int>(lines.size()); ++i) {
    if (lines[i] == text) return i;
  }
  return -1;
}

std::vector<uint8_t> InputTest::ReadKeys() {
  PumpWindowMessage();
  std::vector<uint8_t> keys(256, 0xCC);
  CopyAllKeyStates(keys.data());
  return keys;
}

}  // namespace orbel::testing
