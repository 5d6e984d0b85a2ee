// The API lock: recursion, strict arrival-order hand-over with real threads (also for a thread arriving
// just as the lock is freed), and the locked entries that take no lock when they have nothing to do.
#include "orbel/core/api_lock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "core_runtime_fixture.h"
#include "orbel.h"
#include "orbel/core/library.h"
#include "wait_until.h"

namespace orbel {
namespace {

class ApiLockTest : public ::testing::Test {
 protected:
  void TearDown() override { TearDownApiLock(); }

  // Waits (real time) until `count` threads wait for the lock.
  static void WaitForQueueLength(int count) {
    ASSERT_TRUE(testing::WaitUntil([&] { return GetApiLockQueueLength() >= count; })) << "threads never queued";
  }
};

TEST_F(ApiLockTest, OwnerMayLockAgainAndOthersWaitUntilTheLastUnlock) {
  LockApi();
  LockApi();
  EXPECT_EQ(GetApiLockDepth(), 2);

  std::atomic<bool> acquired{false};
  std::thread other([&] {
    LockApi();
    acquired = true;
    UnlockApi();
  });
  WaitForQueueLength(1);
  UnlockApi();
  EXPECT_FALSE(testing::WaitUntil([&] { return acquired.load(); }, std::chrono::milliseconds(5)))
      << "handed over before the last unlock";
  UnlockApi();
  other.join();
  EXPECT_TRUE(acquired.load());
  EXPECT_EQ(GetApiLockDepth(), 0);
  EXPECT_EQ(GetApiLockQueueLength(), 0);
}

TEST_F(ApiLockTest, WaitingThreadsGetTheLockInArrivalOrderEvenWhenANewcomerArrivesAtRelease) {
  for (int round = 0; round < 20; ++round) {
    std::mutex orderMutex;
    std::vector<int> order;
    auto worker = [&](int id) {
      LockApi();
      {
        std::lock_guard<std::mutex> guard(orderMutex);
        order.push_back(id);
      }
      UnlockApi();
    };

    LockApi();
    std::vector<std::thread> threads;
    for (int id = 0; id < 3; ++id) {
      threads.emplace_back(worker, id);
      WaitForQueueLength(id + 1);
    }
    // The fourth thread races the release: it must still come last.
    std::atomic<bool> go{false};
    threads.emplace_back([&] {
      while (!go) std::this_thread::yield();
      worker(3);
    });
    go = true;
    UnlockApi();
    for (std::thread& thread : threads) thread.join();

    ASSERT_EQ(order, (std::vector<int>{0, 1, 2, 3})) << "round " << round;
    EXPECT_EQ(GetApiLockQueueLength(), 0);
  }
}

TEST_F(ApiLockTest, TearDownClosesEverythingAndALaterLockSetsItUpAgain) {
  LockApi();
  UnlockApi();
  EXPECT_EQ(IsApiLockSetUp(), 1);
  TearDownApiLock();
  EXPECT_EQ(IsApiLockSetUp(), 0);
  LockApi();
  EXPECT_EQ(IsApiLockSetUp(), 1);
  EXPECT_EQ(GetApiLockDepth(), 1);
  UnlockApi();
}

class LockedEntryTest : public testing::CoreRuntimeTest {};

TEST_F(LockedEntryTest, EndBeforeStartTakesNoLockAndStartWhenStartedReturnsAtOnce) {
  EXPECT_EQ(EndLibraryLocked(), 0);
  EXPECT_EQ(IsApiLockSetUp(), 0);

  ChangeWindowMode(1);
  ASSERT_EQ(InitLibraryLocked(), 0);
  EXPECT_EQ(GetApiLockDepth(), 0);

  // Held by another thread: a second start still returns at once instead of waiting for it.
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    LockApi();
    held = true;
    while (!release) std::this_thread::yield();
    UnlockApi();
  });
  EXPECT_TRUE(testing::WaitUntil([&] { return held.load(); }));
  EXPECT_EQ(InitLibraryLocked(), 0);
  release = true;
  holder.join();

  EXPECT_EQ(ProcessMessageLocked(), 0);
  EXPECT_EQ(EndLibraryLocked(), 0);
  EXPECT_EQ(IsApiLockSetUp(), 0);  // torn down after the end
  EXPECT_EQ(IsLibraryInitialised(), 0);
}

}  // namespace
}  // namespace orbel
