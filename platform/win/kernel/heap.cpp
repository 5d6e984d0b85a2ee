// The process heap over malloc. A 16-byte prefix before each block keeps the requested size (for
// HeapSize and the zeroed tail of HeapReAlloc) and a mark that catches frees of foreign or freed
// pointers. The prefix keeps the caller's pointer 16-byte aligned, as malloc's is.
#include "platform/win/kernel/heap.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "platform/win/kernel/file_io.h"
#include "platform/win/kernel/kernel_test_controls.h"

namespace plat {
namespace {

constexpr uint32_t kLiveMark = 0x48455031u;  // "HEP1"
constexpr uint32_t kFreedMark = 0x46524545u;  // "FREE"

struct alignas(16) BlockPrefix {
  size_t size;  // bytes the caller asked for
  uint32_t mark;
  uint32_t reserved;
};
static_assert(sizeof(BlockPrefix) == 16);

struct ProcessHeapObject final : KernelObject {};

struct HeapState {
  std::atomic<int> failAfter{-1};  // successful allocations left before one fails; -1: never
  std::atomic<long> liveBlocks{0};
};

HeapState& Heap() {
  static HeapState state;
  return state;
}

// Consumes the one-shot failure control; true when this allocation must fail.
bool InjectedFailure() {
  std::atomic<int>& left = Heap().failAfter;
  int value = left.load();
  while (value >= 0) {
    if (left.compare_exchange_weak(value, value - 1)) return value == 0;
  }
  return false;
}

BlockPrefix* PrefixOf(const void* memory) {
  return reinterpret_cast<BlockPrefix*>(static_cast<char*>(const_cast<void*>(memory)) - sizeof(BlockPrefix));
}

bool IsLiveBlock(const void* memory) {
  return memory != nullptr && PrefixOf(memory)->mark == kLiveMark;
}

}  // namespace

HANDLE GetProcessHeap() {
  static ProcessHeapObject* heap = new ProcessHeapObject;  // lives for the whole process
  return heap;
}

void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes) {
  if (heap != GetProcessHeap()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  size_t total = 0;
  if (__builtin_add_overflow(bytes, sizeof(BlockPrefix), &total) || InjectedFailure()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* raw = (flags & HEAP_ZERO_MEMORY) ? std::calloc(1, total) : std::malloc(total);
  if (raw == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* prefix = static_cast<BlockPrefix*>(raw);
  prefix->size = bytes;
  prefix->mark = kLiveMark;
  prefix->reserved = 0;
  Heap().liveBlocks.fetch_add(1, std::memory_order_relaxed);
  return prefix + 1;
}

void* HeapReAlloc(HANDLE heap, DWORD flags, void* memory, SIZE_T bytes) {
  if (heap != GetProcessHeap()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!IsLiveBlock(memory)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  BlockPrefix* prefix = PrefixOf(memory);
  const size_t oldSize = prefix->size;
  if (flags & HEAP_REALLOC_IN_PLACE_ONLY) {
    if (bytes > oldSize) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    prefix->size = bytes;
    return memory;
  }
  size_t total = 0;
  if (__builtin_add_overflow(bytes, sizeof(BlockPrefix), &total) || InjectedFailure()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // realloc leaves the old block untouched when it fails, which is the promise made to the caller.
  auto* moved = static_cast<BlockPrefix*>(std::realloc(prefix, total));
  if (moved == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  moved->size = bytes;
  char* data = reinterpret_cast<char*>(moved + 1);
  if ((flags & HEAP_ZERO_MEMORY) && bytes > oldSize) std::memset(data + oldSize, 0, bytes - oldSize);
  return data;
}

BOOL HeapFree(HANDLE heap, DWORD, void* memory) {
  if (heap != GetProcessHeap()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (memory == nullptr) return TRUE;
  if (!IsLiveBlock(memory)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  BlockPrefix* prefix = PrefixOf(memory);
  prefix->mark = kFreedMark;
  std::free(prefix);
  Heap().liveBlocks.fetch_sub(1, std::memory_order_relaxed);
  return TRUE;
}

SIZE_T HeapSize(HANDLE heap, DWORD, const void* memory) {
  if (heap != GetProcessHeap() || !IsLiveBlock(memory)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return static_cast<SIZE_T>(-1);
  }
  return PrefixOf(memory)->size;
}

namespace test {

void FailHeapAllocation(int successesFirst) { Heap().failAfter.store(successesFirst < 0 ? -1 : successesFirst); }

long HeapLiveBlocks() { return Heap().liveBlocks.load(); }

void ResetHeap() { Heap().failAfter.store(-1); }

}  // namespace test
}  // namespace plat
