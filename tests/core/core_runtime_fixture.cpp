// The core runtime's test fixture.
#include "core_runtime_fixture.h"

#include <cstring>

#include "orbel/core/api_lock.h"
#include "orbel/core/drop_files.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/system_report.h"
#include "orbel/input/input_system.h"
#include "orbel/network/network_system.h"

namespace orbel::testing {

void ResetCoreRuntimeState() {
  ClearDragFileNames();
  ResetLibraryStateForTest();
  ResetSystemReportForTest();
  TearDownApiLock();
  std::memset(&InputCharQueue, 0, sizeof InputCharQueue);
  std::memset(&InputImeState, 0, sizeof InputImeState);
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

std::string CoreRuntimeTest::LogText() const { return ReadFileText(work_.path() / "Log.txt"); }

std::vector<std::string> CoreRuntimeTest::LogLines() const {
  const std::string text = LogText();
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    const size_t colon = line.find(':');
    if (colon != std::string::npos && line.find_first_not_of("0123456789") == colon) line.erase(0, colon + 1);
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

std::vector<std::string> CoreRuntimeTest::LogTexts() const {
  std::vector<std::string> lines = LogLines();
  for (std::string& line : lines) line.erase(0, line.find_first_not_of('\t') == std::string::npos ? line.size() : line.find_first_not_of('\t'));
  return lines;
}

int CoreRuntimeTest::FindLine(const std::string& text, int from) const {
  const std::vector<std::string> lines = LogTexts();
  for (int i = from; i < static_cast<int>(lines.size()); ++i) {
    if (lines[i] == text) return i;
  }
  return -1;
}

}  // namespace orbel::testing
