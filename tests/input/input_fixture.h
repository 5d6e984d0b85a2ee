// The input tests' fixtures: the library started in window mode on the headless host and the virtual
// clock (optionally with pads attached or DirectInput refused first), the log read back line by line,
// and the input state of a fresh process before each test.
#pragma once

#include <string>
#include <vector>

#include "platform/win/kernel/win_types.h"
#include "test_support.h"

namespace orbel::testing {

class InputTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Window mode, then the library started: InitLibrarySystem's result.
  int Start();
  // The log's lines without stamps and indent tabs.
  std::vector<std::string> LogLines() const;
  // The position of the first line equal to `text` at or after `from`, or -1.
  int FindLine(const std::string& text, int from = 0) const;
  // Pumps once and reads the keys.
  std::vector<uint8_t> ReadKeys();

  ScopedWorkDir work_;
  plat::HWND window_ = nullptr;
};

}  // namespace orbel::testing
