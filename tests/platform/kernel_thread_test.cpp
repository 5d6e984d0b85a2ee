// Threads: exit codes (return, ExitThread from deep inside), STILL_ACTIVE while running, handles
// closed early, injected failure, and ExitProcess's exit status.
#include <cstdio>

#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/kernel/sync.h"
#include "platform/test_controls.h"
#include "platform/win/kernel/thread.h"
#include "test_support.h"

namespace {

using namespace plat;
using KernelThread = orbel::testing::VirtualClockTest;

struct Gate {
  HANDLE release;
  int destructorRan = 0;
};

struct CountOnDestroy {
  int* counter;
  ~CountOnDestroy() { ++*counter; }
};

// Ends the thread from `depth` frames down, each holding an object whose destructor must run.
void EndDeepInside(Gate* gate, int depth) {
  if (depth < 0) return;
  CountOnDestroy guard{&gate->destructorRan};
  if (depth > 0) {
    EndDeepInside(gate, depth - 1);
    return;
  }
  ExitThread(1);
}

TEST_F(KernelThread, ExitCodesByReturnAndExitThread) {
  struct Case {
    LPTHREAD_START_ROUTINE routine;
    DWORD expected;
    int destructors;  // frames unwound on the way out
  };
  const Case cases[] = {
      {[](void* p) -> DWORD {
         WaitForSingleObject(static_cast<Gate*>(p)->release, INFINITE);
         return 7;
       },
       7, 0},
      {[](void* p) -> DWORD {
         auto* gate = static_cast<Gate*>(p);
         WaitForSingleObject(gate->release, INFINITE);
         EndDeepInside(gate, 3);
         return 99;
       },
       1, 4},
      {[](void* p) -> DWORD {
         WaitForSingleObject(static_cast<Gate*>(p)->release, INFINITE);
         return 0xFFFFFFFFu;
       },
       0xFFFFFFFFu, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    Gate gate{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    HANDLE thread = CreateThread(nullptr, 0, c.routine, &gate, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD code = 0;
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
    SetEvent(gate.release);
    EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    ASSERT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, c.expected);
    EXPECT_EQ(gate.destructorRan, c.destructors);
    CloseHandle(thread);
    CloseHandle(gate.release);
  }
}

TEST_F(KernelThread, HandleMayCloseBeforeTheThreadEnds) {
  struct Shared {
    HANDLE release;
    HANDLE finished;
  } shared{CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* s = static_cast<Shared*>(p);
        WaitForSingleObject(s->release, INFINITE);
        SetEvent(s->finished);
        return 0;
      },
      &shared, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  SetEvent(shared.release);
  EXPECT_EQ(WaitForSingleObject(shared.finished, INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  EXPECT_FALSE(GetExitCodeThread(thread, &code));  // the handle is gone
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(shared.release);
  CloseHandle(shared.finished);
}

TEST_F(KernelThread, CreationFailures) {
  auto routine = [](void*) -> DWORD { return 0; };
  DWORD id = 1234;
  test::FailNextCreateThread();
  EXPECT_EQ(CreateThread(nullptr, 0, routine, nullptr, 0, &id), nullptr);
  EXPECT_EQ(id, 1234u);  // untouched on failure
  EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, &id), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  HANDLE thread = CreateThread(nullptr, 64 * 1024, routine, nullptr, 0, &id);  // the failure was one-shot
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 1234u);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

TEST(KernelThreadDeath, ExitProcessFlushesAndTruncatesTheStatus) {
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  const std::string path = std::string(ORBEL_BINARY_DIR) + "/exit-process-flush.txt";
  std::remove(path.c_str());
  EXPECT_EXIT(
      {
        FILE* file = std::fopen(path.c_str(), "w");
        std::fputs("buffered", file);  // still in stdio's buffer when the process ends
        ExitProcess(static_cast<UINT>(-1));
      },
      ::testing::ExitedWithCode(255), "");
  EXPECT_EQ(orbel::testing::ReadFileText(path), "buffered");
  std::remove(path.c_str());
  EXPECT_EXIT(ExitProcess(0x102), ::testing::ExitedWithCode(2), "");
}

}  // namespace
