// Helpers of the core runtime's tests: a fixture with the virtual clock, a fresh working directory that
// becomes the start-up directory and library state as in a fresh process, and one with the library
// started in it; a fixture that only writes "Log.txt" there; a scoped time zone; the input queue drained.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win/kernel/win_types.h"
#include "test_support.h"

namespace orbel::testing {

class CoreRuntimeTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Window mode, then the library started: InitLibrarySystem's result.
  static int StartWindowed();
  // The log's lines, CR LF removed, each without its "%d:" stamp and its indent tabs.
  std::vector<std::string> LogTexts() const;
  std::string LogText() const;
  // The position of the first line (from `from`) equal to `text`, or -1.
  int FindLine(const std::string& text, int from = 0) const;

  ScopedWorkDir work_;
};

// The library started in window mode, its main window and an empty key input buffer.
class WindowedLibraryTest : public CoreRuntimeTest {
 protected:
  void SetUp() override;
  plat::HWND window_ = nullptr;
};

// The virtual clock at 5000 ms, not moved by readings, and a fresh "Log.txt" in a fresh working
// directory, with the default log settings.
class LogFileTest : public VirtualClockTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string LogText() const { return ReadFileText(work_.path() / "Log.txt"); }

  ScopedWorkDir work_;
};

// Sets TZ for its life and restores the old value after.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone);
  ~ScopedTimeZone();

 private:
  bool had_;
  std::string saved_;
};

plat::FILETIME FileTimeOf(uint64_t ticks);

// Pops every code in the input character queue.
std::vector<int> DrainInputQueue();

// Resets all core runtime state a test may have touched.
void ResetCoreRuntimeState();

}  // namespace orbel::testing
