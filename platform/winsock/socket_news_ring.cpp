// News of the epoll set without a system call: a multishot poll of the set, submitted once to an
// io_uring, puts a completion into memory shared with the kernel each time the set gains edges, so a
// peek only compares two counters. Where the kernel offers no io_uring (or no multishot poll), the
// caller falls back to the watcher thread.
// Depends on: the socket registry (the epoll set), Linux's io_uring interface.
#include <atomic>
#include <cstring>
#include <linux/io_uring.h>
#include <mutex>
#include <poll.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/winsock/socket_registry.h"

namespace plat::winsock {
namespace {

constexpr unsigned kRingEntries = 4;
constexpr uint64_t kPollTag = 1;

struct NewsRing {
  int fd = -1;
  unsigned* sqTail = nullptr;
  unsigned* sqMask = nullptr;
  unsigned* sqArray = nullptr;
  io_uring_sqe* sqes = nullptr;
  unsigned* cqHead = nullptr;
  unsigned* cqTail = nullptr;
  unsigned* cqMask = nullptr;
  io_uring_cqe* cqes = nullptr;
  std::mutex consume;  // completions are taken by one thread at a time
  bool failed = false;
};

NewsRing g_ring;

unsigned LoadAcquire(const unsigned* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }
void StoreRelease(unsigned* p, unsigned v) { __atomic_store_n(p, v, __ATOMIC_RELEASE); }

// Submits the multishot poll of the epoll set. False when the kernel refused it.
bool SubmitPoll(NewsRing& r, int epollFd) {
  const unsigned tail = *r.sqTail;
  const unsigned index = tail & *r.sqMask;
  io_uring_sqe& sqe = r.sqes[index];
  std::memset(&sqe, 0, sizeof sqe);
  sqe.opcode = IORING_OP_POLL_ADD;
  sqe.fd = epollFd;
  sqe.poll32_events = POLLIN;
  sqe.len = IORING_POLL_ADD_MULTI;
  sqe.user_data = kPollTag;
  r.sqArray[index] = index;
  StoreRelease(r.sqTail, tail + 1);
  return ::syscall(__NR_io_uring_enter, r.fd, 1, 0, 0, nullptr, 0) == 1;
}

template <typename T>
T* At(void* base, unsigned offset) {
  return reinterpret_cast<T*>(static_cast<char*>(base) + offset);
}

}  // namespace

bool StartNewsRing(int epollFd) {
  io_uring_params params{};
  const int fd = static_cast<int>(::syscall(__NR_io_uring_setup, kRingEntries, &params));
  if (fd < 0) return false;
  size_t sqSize = params.sq_off.array + params.sq_entries * sizeof(unsigned);
  size_t cqSize = params.cq_off.cqes + params.cq_entries * sizeof(io_uring_cqe);
  const bool single = (params.features & IORING_FEAT_SINGLE_MMAP) != 0;
  if (single) sqSize = cqSize = sqSize > cqSize ? sqSize : cqSize;
  void* sq = ::mmap(nullptr, sqSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQ_RING);
  void* cq = single ? sq
                    : ::mmap(nullptr, cqSize, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_CQ_RING);
  void* sqes = ::mmap(nullptr, params.sq_entries * sizeof(io_uring_sqe), PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_POPULATE, fd, IORING_OFF_SQES);
  if (sq == MAP_FAILED || cq == MAP_FAILED || sqes == MAP_FAILED) {
    ::close(fd);  // the mappings go with the process; a failed start happens once
    return false;
  }
  NewsRing& r = g_ring;
  r.fd = fd;
  r.sqTail = At<unsigned>(sq, params.sq_off.tail);
  r.sqMask = At<unsigned>(sq, params.sq_off.ring_mask);
  r.sqArray = At<unsigned>(sq, params.sq_off.array);
  r.sqes = static_cast<io_uring_sqe*>(sqes);
  r.cqHead = At<unsigned>(cq, params.cq_off.head);
  r.cqTail = At<unsigned>(cq, params.cq_off.tail);
  r.cqMask = At<unsigned>(cq, params.cq_off.ring_mask);
  r.cqes = At<io_uring_cqe>(cq, params.cq_off.cqes);
  if (!SubmitPoll(r, epollFd)) {
    r.fd = -1;
    ::close(fd);
    return false;
  }
  return true;
}

bool NewsRingHasNews() {
  const NewsRing& r = g_ring;
  return r.fd >= 0 && LoadAcquire(r.cqHead) != LoadAcquire(r.cqTail);
}

bool ConsumeNewsRing(int epollFd) {
  NewsRing& r = g_ring;
  std::lock_guard<std::mutex> lock(r.consume);
  if (r.fd < 0 || r.failed) return false;
  unsigned head = *r.cqHead;
  const unsigned tail = LoadAcquire(r.cqTail);
  bool ended = false;
  for (; head != tail; ++head) {
    const io_uring_cqe& cqe = r.cqes[head & *r.cqMask];
    if (cqe.res < 0) r.failed = true;  // multishot poll not offered: the caller falls back
    if ((cqe.flags & IORING_CQE_F_MORE) == 0) ended = true;
  }
  StoreRelease(r.cqHead, head);
  // A multishot poll may end (the kernel's choice, or an overflow): it is submitted again.
  if (ended && !r.failed && !SubmitPoll(r, epollFd)) r.failed = true;
  return !r.failed;
}

}  // namespace plat::winsock
