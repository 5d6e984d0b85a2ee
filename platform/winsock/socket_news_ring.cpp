// News of the selected sockets without a system call: each one has a multishot poll on an io_uring,
// which puts a completion (the socket's id and its ready events) into memory shared with the kernel
// each time the socket is woken, so a peek only compares two counters and collecting reads memory.
// Where the kernel offers no io_uring with multishot polls, the epoll set and its watcher serve.
// All calls are made with the registry lock held. Depends on: Linux's io_uring interface.
#include <cerrno>
#include <cstring>
#include <linux/io_uring.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/winsock/socket_registry.h"

namespace plat::winsock {
namespace {

constexpr unsigned kSubmitEntries = 64;
constexpr unsigned kCompletionEntries = 4096;  // arrivals between two peeks; more end a poll, which is renewed
constexpr uint32_t kPollEvents = POLLIN | POLLOUT | POLLRDHUP;
constexpr uint64_t kProbeTag = ~uint64_t{0};

struct NewsRing {
  int fd = -1;
  unsigned* sqTail = nullptr;
  unsigned* sqFlags = nullptr;
  unsigned* sqMask = nullptr;
  unsigned* sqArray = nullptr;
  io_uring_sqe* sqes = nullptr;
  unsigned* cqHead = nullptr;
  unsigned* cqTail = nullptr;
  unsigned* cqMask = nullptr;
  io_uring_cqe* cqes = nullptr;
};

NewsRing g_ring;

unsigned LoadAcquire(const unsigned* p) { return __atomic_load_n(p, __ATOMIC_ACQUIRE); }
void StoreRelease(unsigned* p, unsigned v) { __atomic_store_n(p, v, __ATOMIC_RELEASE); }

template <typename T>
T* At(void* base, unsigned offset) {
  return reinterpret_cast<T*>(static_cast<char*>(base) + offset);
}

// Queues one request and hands it to the kernel. False when the kernel did not take it.
bool Submit(NewsRing& r, uint8_t opcode, int fd, uint64_t tag, uint64_t target) {
  const unsigned tail = *r.sqTail;
  const unsigned index = tail & *r.sqMask;
  io_uring_sqe& sqe = r.sqes[index];
  std::memset(&sqe, 0, sizeof sqe);
  sqe.opcode = opcode;
  sqe.fd = fd;
  sqe.user_data = tag;
  if (opcode == IORING_OP_POLL_ADD) {
    sqe.poll32_events = kPollEvents;
    sqe.len = IORING_POLL_ADD_MULTI;
  } else {
    sqe.addr = target;  // the poll to remove
  }
  r.sqArray[index] = index;
  StoreRelease(r.sqTail, tail + 1);
  return ::syscall(__NR_io_uring_enter, r.fd, 1, 0, 0, nullptr, 0) == 1;
}

// A multishot poll of an eventfd that is then written must report once and go on: the kernel offers
// what the sockets need.
bool ProbeMultishot(NewsRing& r) {
  const int probe = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (probe < 0) return false;
  bool ok = Submit(r, IORING_OP_POLL_ADD, probe, kProbeTag, 0);
  const uint64_t one = 1;
  ok = ok && ::write(probe, &one, sizeof one) == sizeof one &&
       ::syscall(__NR_io_uring_enter, r.fd, 0, 1, IORING_ENTER_GETEVENTS, nullptr, 0) >= 0 &&
       LoadAcquire(r.cqTail) != *r.cqHead;
  if (ok) {
    const io_uring_cqe& cqe = r.cqes[*r.cqHead & *r.cqMask];
    ok = cqe.res > 0 && (cqe.flags & IORING_CQE_F_MORE) != 0;
  }
  Submit(r, IORING_OP_POLL_REMOVE, -1, kProbeTag, kProbeTag);
  ::syscall(__NR_io_uring_enter, r.fd, 0, 0, IORING_ENTER_GETEVENTS, nullptr, 0);
  StoreRelease(r.cqHead, LoadAcquire(r.cqTail));  // the probe's completions are of no interest
  ::close(probe);
  return ok;
}

}  // namespace

bool StartNewsRing() {
  io_uring_params params{};
  params.flags = IORING_SETUP_CQSIZE;
  params.cq_entries = kCompletionEntries;
  const int fd = static_cast<int>(::syscall(__NR_io_uring_setup, kSubmitEntries, &params));
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
  r.sqFlags = At<unsigned>(sq, params.sq_off.flags);
  r.sqMask = At<unsigned>(sq, params.sq_off.ring_mask);
  r.sqArray = At<unsigned>(sq, params.sq_off.array);
  r.sqes = static_cast<io_uring_sqe*>(sqes);
  r.cqHead = At<unsigned>(cq, params.cq_off.head);
  r.cqTail = At<unsigned>(cq, params.cq_off.tail);
  r.cqMask = At<unsigned>(cq, params.cq_off.ring_mask);
  r.cqes = At<io_uring_cqe>(cq, params.cq_off.cqes);
  if (!ProbeMultishot(r)) {
    r.fd = -1;
    ::close(fd);
    return false;
  }
  return true;
}

// Completions that found the ring full wait in the kernel (and keep later ones back) until a call into
// the ring moves them in: an overflow counts as news.
bool NewsRingHasNews() {
  return LoadAcquire(g_ring.cqHead) != LoadAcquire(g_ring.cqTail) ||
         (LoadAcquire(g_ring.sqFlags) & IORING_SQ_CQ_OVERFLOW) != 0;
}

bool RingWatch(int fd, uint64_t tag) { return Submit(g_ring, IORING_OP_POLL_ADD, fd, tag, 0); }

void RingUnwatch(uint64_t tag) {
  Submit(g_ring, IORING_OP_POLL_REMOVE, -1, 0, tag);
}

void ConsumeNewsRing(const std::function<void(uint64_t tag, int result, bool more)>& take) {
  NewsRing& r = g_ring;
  for (;;) {
    unsigned head = *r.cqHead;
    const unsigned tail = LoadAcquire(r.cqTail);
    for (; head != tail; ++head) {
      const io_uring_cqe& cqe = r.cqes[head & *r.cqMask];
      if (cqe.user_data == 0 || cqe.user_data == kProbeTag) continue;  // removals' own completions
      take(cqe.user_data, cqe.res, (cqe.flags & IORING_CQE_F_MORE) != 0);
    }
    StoreRelease(r.cqHead, head);
    // Completions that found the ring full are moved in by a call into the ring, now that it has room.
    if ((LoadAcquire(r.sqFlags) & IORING_SQ_CQ_OVERFLOW) == 0) return;
    ::syscall(__NR_io_uring_enter, r.fd, 0, 0, IORING_ENTER_GETEVENTS, nullptr, 0);
  }
}

}  // namespace plat::winsock
