// Events and waits on the virtual clock, recursive critical sections across threads, thread ids.
#include <atomic>
#include <vector>

#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/kernel_test_controls.h"
#include "platform/win/kernel/sync.h"
#include "platform/test_controls.h"
#include "platform/win/kernel/thread.h"
#include "test_support.h"

namespace {

using namespace plat;
using KernelEvent = orbel::testing::VirtualClockTest;
using KernelCriticalSection = orbel::testing::VirtualClockTest;
using KernelThreadId = orbel::testing::VirtualClockTest;

TEST_F(KernelEvent, ManualAndAutoResetStates) {
  struct Case {
    BOOL manual, initial;
    DWORD firstWait, secondWait;  // two polls after creation
  };
  const Case cases[] = {
      {TRUE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
      {TRUE, TRUE, WAIT_OBJECT_0, WAIT_OBJECT_0},    // manual stays set
      {FALSE, TRUE, WAIT_OBJECT_0, WAIT_TIMEOUT},    // auto releases one wait
      {FALSE, FALSE, WAIT_TIMEOUT, WAIT_TIMEOUT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "manual " << c.manual << " initial " << c.initial);
    HANDLE event = CreateEventA(nullptr, c.manual, c.initial, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.firstWait);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.secondWait);
    EXPECT_TRUE(SetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(event, 0), c.manual ? WAIT_OBJECT_0 : WAIT_TIMEOUT);
    EXPECT_TRUE(ResetEvent(event));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(event));
  }
}

TEST_F(KernelEvent, TimedWaitEndsOnVirtualDeadline) {
  test::UseVirtualClock(5000, 1000);  // each reading moves time 1 ms, so the wait ends quickly
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  const DWORD start = timeGetTime();
  EXPECT_EQ(WaitForSingleObject(event, 100), WAIT_TIMEOUT);
  const DWORD waited = timeGetTime() - start;
  EXPECT_GE(waited, 100u);
  EXPECT_LT(waited, 150u);
  CloseHandle(event);
}

TEST_F(KernelEvent, SetFromAnotherThreadReleasesInfiniteWait) {
  struct Shared {
    HANDLE request;
    HANDLE done;
    std::atomic<int> served{0};
  } shared{CreateEventA(nullptr, TRUE, FALSE, nullptr), CreateEventA(nullptr, TRUE, TRUE, nullptr)};
  // The worker handshake of the threaded file reader: take a request, reset both, serve, set done.
  HANDLE worker = CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        auto* s = static_cast<Shared*>(p);
        for (int i = 0; i < 3; ++i) {
          if (WaitForSingleObject(s->request, INFINITE) != WAIT_OBJECT_0) return 2;
          ResetEvent(s->request);
          s->served.fetch_add(1);
          SetEvent(s->done);
        }
        return 0;
      },
      &shared, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  for (int i = 0; i < 3; ++i) {
    ResetEvent(shared.done);
    SetEvent(shared.request);
    ASSERT_EQ(WaitForSingleObject(shared.done, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(shared.served.load(), i + 1);
  }
  EXPECT_EQ(WaitForSingleObject(worker, INFINITE), WAIT_OBJECT_0);
  DWORD code = 99;
  EXPECT_TRUE(GetExitCodeThread(worker, &code));
  EXPECT_EQ(code, 0u);
  for (HANDLE h : {worker, shared.request, shared.done}) CloseHandle(h);
}

TEST_F(KernelEvent, NamedEventsAndBadHandles) {
  HANDLE a = CreateEventA(nullptr, TRUE, FALSE, "orbel-test-event");
  EXPECT_EQ(GetLastError(), NO_ERROR);
  HANDLE b = CreateEventA(nullptr, FALSE, TRUE, "orbel-test-event");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_TIMEOUT);  // the first creation's state holds
  SetEvent(a);
  EXPECT_EQ(WaitForSingleObject(b, 0), WAIT_OBJECT_0);
  CloseHandle(a);
  CloseHandle(b);

  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_FALSE(SetEvent(a));  // closed
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  test::FailNextCreateEvent();
  EXPECT_EQ(CreateEventA(nullptr, TRUE, FALSE, nullptr), nullptr);
  HANDLE c = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_NE(c, nullptr);
  CloseHandle(c);
}

struct SectionProbe {
  CRITICAL_SECTION* section;
  HANDLE go;       // set by the main thread for each step
  HANDLE stepped;  // set by the probe after each step
  std::atomic<int> result{-1};
  std::atomic<int> steps{0};
};

// Runs on a second thread: each time `go` is set, tries the section (TryEnter, and Leave as a
// non-owner), reports, and on the last step blocks in Enter until it is free.
DWORD ProbeSection(void* p) {
  auto* probe = static_cast<SectionProbe*>(p);
  for (;;) {
    WaitForSingleObject(probe->go, INFINITE);
    ResetEvent(probe->go);
    const int step = probe->steps.load();
    if (step == 2) {
      EnterCriticalSection(probe->section);
      probe->result = 1;
      LeaveCriticalSection(probe->section);
      SetEvent(probe->stepped);
      return 0;
    }
    LeaveCriticalSection(probe->section);  // not the owner: must change nothing
    const BOOL got = TryEnterCriticalSection(probe->section);
    if (got) LeaveCriticalSection(probe->section);
    probe->result = got;
    probe->steps = step + 1;
    SetEvent(probe->stepped);
  }
}

TEST_F(KernelCriticalSection, RecursionHoldsUntilLastLeave) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  SectionProbe probe;
  probe.section = &section;
  probe.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  probe.stepped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = CreateThread(nullptr, 0, ProbeSection, &probe, 0, nullptr);
  ASSERT_NE(thread, nullptr);

  auto step = [&] {
    ResetEvent(probe.stepped);
    SetEvent(probe.go);
    WaitForSingleObject(probe.stepped, INFINITE);
    return probe.result.load();
  };
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  EXPECT_TRUE(TryEnterCriticalSection(&section));  // the owner may enter again
  LeaveCriticalSection(&section);
  EXPECT_EQ(step(), 0);  // held twice: the other thread is kept out, and its Leave did nothing
  LeaveCriticalSection(&section);
  EXPECT_EQ(step(), 0);  // still held once
  LeaveCriticalSection(&section);
  EXPECT_EQ(step(), 1);  // free: the other thread gets in
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  for (HANDLE h : {thread, probe.go, probe.stepped}) CloseHandle(h);
  DeleteCriticalSection(&section);
}

TEST_F(KernelCriticalSection, ExcludesConcurrentIncrements) {
  struct Counter {
    CRITICAL_SECTION section;
    long value = 0;
  } counter;
  InitializeCriticalSection(&counter.section);
  std::vector<HANDLE> threads;
  for (int t = 0; t < 4; ++t) {
    threads.push_back(CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
          auto* c = static_cast<Counter*>(p);
          for (int i = 0; i < 20000; ++i) {
            EnterCriticalSection(&c->section);
            EnterCriticalSection(&c->section);
            const long v = c->value;
            c->value = v + 1;
            LeaveCriticalSection(&c->section);
            LeaveCriticalSection(&c->section);
          }
          return 0;
        },
        &counter, 0, nullptr));
  }
  for (HANDLE h : threads) {
    EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
    CloseHandle(h);
  }
  EXPECT_EQ(counter.value, 80000);
  DeleteCriticalSection(&counter.section);
}

TEST_F(KernelThreadId, IdsAreNonZeroStableAndDistinct) {
  const DWORD mine = GetCurrentThreadId();
  EXPECT_NE(mine, 0u);
  EXPECT_NE(mine, 0xFFFFFFFFu);
  EXPECT_EQ(GetCurrentThreadId(), mine);
  struct Seen {
    DWORD inside = 0;
  } seen;
  DWORD reported = 0;
  HANDLE thread = CreateThread(
      nullptr, 0,
      [](void* p) -> DWORD {
        static_cast<Seen*>(p)->inside = GetCurrentThreadId();
        return 0;
      },
      &seen, 0, &reported);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
  EXPECT_EQ(seen.inside, reported);
  EXPECT_NE(reported, mine);
  EXPECT_NE(reported, 0u);
}

}  // namespace
