// A fixture for the core runtime's tests: the virtual clock, a fresh working directory that becomes
// the start-up directory, and library state back to that of a fresh process before and after each test.
// Helpers read "Log.txt" as lines without their stamps.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

namespace orbel::testing {

class CoreRuntimeTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The log's lines, CR LF removed, each without its "%d:" stamp (indent tabs kept).
  std::vector<std::string> LogLines() const;
  // The log's lines with the indent tabs removed too.
  std::vector<std::string> LogTexts() const;
  std::string LogText() const;
  // The position of the first line (from `from`) equal to `text`, or -1.
  int FindLine(const std::string& text, int from = 0) const;

  ScopedWorkDir work_;
};

// Resets all core runtime state a test may have touched.
void ResetCoreRuntimeState();

}  // namespace orbel::testing
