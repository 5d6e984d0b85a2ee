// Kernel object lifetime: a handle closed while a call on it runs ends at once for new calls, and its
// object lives until the running call is done, as on Windows; under ThreadSanitizer the thread test
// shows no race between a call and a close on another thread.
#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/kernel_object.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/kernel/thread.h"
#include "test_support.h"

namespace {

using namespace plat;
using KernelObjectLife = orbel::testing::VirtualClockTest;

struct OtherKind final : KernelObject {};

struct Probe final : KernelObject {
  explicit Probe(bool* destroyed) : destroyed_(destroyed) {}
  ~Probe() override { *destroyed_ = true; }
  bool* destroyed_;
};

TEST_F(KernelObjectLife, CloseDuringACallEndsTheHandleAndTheLastCallEndsTheObject) {
  bool destroyed = false;
  HANDLE probe = new Probe(&destroyed);
  {
    auto first = handles::Find<Probe>(probe);   // a call running on the handle
    auto second = handles::Find<Probe>(probe);  // and another
    ASSERT_TRUE(first);
    EXPECT_TRUE(CloseHandle(probe));
    EXPECT_FALSE(destroyed) << "calls still run on it";
    EXPECT_FALSE(IsLiveKernelObject(probe));
    EXPECT_FALSE(handles::Find<Probe>(probe)) << "a new call finds the handle closed";
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CloseHandle(probe)) << "closed once only";
    first = {};
    EXPECT_FALSE(destroyed);
  }
  EXPECT_TRUE(destroyed) << "the last call ended";

  destroyed = false;
  probe = new Probe(&destroyed);
  EXPECT_FALSE(handles::Find<OtherKind>(probe)) << "a handle of another kind is refused";
  EXPECT_TRUE(CloseHandle(probe));
  EXPECT_TRUE(destroyed) << "no call running: destroyed at the close";
}

// A thread sets an event; the main thread, seeing it set, closes the handle at once. The close must
// not free the event under the SetEvent still running (ThreadSanitizer reports it when it does).
TEST_F(KernelObjectLife, EventClosedRightAfterAnotherThreadSetsIt) {
  for (int round = 0; round < 200; ++round) {
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    HANDLE thread = CreateThread(
        nullptr, 0, [](void* e) -> DWORD { return SetEvent(static_cast<HANDLE>(e)) ? 0 : 1; }, event, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(CloseHandle(event));
    ASSERT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
    DWORD code = 1;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 0u) << "SetEvent succeeded: the handle was open when it was called";
    CloseHandle(thread);
  }
}

}  // namespace
