// Tracked memory: a header in front of every block the library allocates, all live blocks in one list
// (newest first, ending in a static sentinel), a check copy of each header's fields to detect damage,
// and the "Alloc memory dump" listing of what is still held.
// Depends on: platform/win/kernel/heap.h (process heap), the log. Not locked: the list is used by the main
// thread only; the file worker threads allocate nothing.
#include "orbel/core/memory.h"

#include <atomic>
#include <cstring>

#include "orbel/core/log.h"
#include "orbel/core/string_routines.h"
#include "platform/win/kernel/heap.h"

namespace orbel {

namespace {

constexpr size_t kTagBytes = 16;
constexpr size_t kTagKeep = kTagBytes - 1;  // characters of a tag that are kept (its tail)
constexpr int kDumpDataBytes = 16;          // data bytes shown per record line

// The fields the check copy covers, Tag to Prev.
struct MemBlockFields {
  char tag[kTagBytes];
  uint16_t allocId;     // allocation counter when allocated or last reallocated
  int16_t line;         // caller's source line (-1 for the log's work buffers)
  uint32_t size;        // caller's bytes, without the header
  struct MemBlockHeader* next;  // next older block; the oldest points to the sentinel
  struct MemBlockHeader* prev;  // next newer block; null for the newest
};

struct MemBlockHeader {
  MemBlockFields f;
  unsigned char check[sizeof(MemBlockFields)];  // copy of `f`, refreshed whenever it changes
};

static_assert(sizeof(MemBlockHeader) == kMemBlockHeaderSize);
static_assert(sizeof(MemBlockHeader) % 16 == 0);

struct MemoryState {
  MemBlockHeader* head = nullptr;  // newest block; null until the first allocation
  MemBlockHeader sentinel{};       // ends the list
  std::atomic<uint16_t> allocCounter{0};
  std::atomic<int32_t> totalSize{0};   // bytes in live blocks
  std::atomic<int32_t> blockCount{0};  // live blocks
  int traceSize = 0;
  int traceAll = 0;
  int totalsEach = 0;
  int checkEach = 0;
};

constinit MemoryState g_memory;

inline MemBlockHeader* HeaderOf(void* block) {
  return reinterpret_cast<MemBlockHeader*>(static_cast<unsigned char*>(block) - sizeof(MemBlockHeader));
}
inline void* DataOf(MemBlockHeader* header) { return reinterpret_cast<unsigned char*>(header) + sizeof(MemBlockHeader); }

inline void RefreshCheck(MemBlockHeader* header) {
  if (header != nullptr) std::memcpy(header->check, &header->f, sizeof(header->f));
}

inline bool IsTraced(uint32_t size) {
  return g_memory.traceSize < 0 || static_cast<uint32_t>(g_memory.traceSize) == size || g_memory.traceAll == 1;
}

// Tag rule: the whole text when it has at most 15 characters, else its last 15.
void StoreTag(MemBlockHeader* header, const char* tag) {
  std::memset(header->f.tag, 0, kTagBytes);
  if (tag == nullptr) return;
  const size_t length = std::strlen(tag);
  const char* from = length > kTagKeep ? tag + (length - kTagKeep) : tag;
  std::memcpy(header->f.tag, from, length > kTagKeep ? kTagKeep : length);
}

void StoreIdentity(MemBlockHeader* header, uint32_t size, const char* tag, int line) {
  header->f.size = size;
  StoreTag(header, tag);
  header->f.line = static_cast<int16_t>(line);
  header->f.allocId = g_memory.allocCounter.fetch_add(1, std::memory_order_relaxed);
}

// One record line, built whole and written as one log text.
void LogMemoryRecord(const MemBlockHeader* header) {
  // The formatted head is at most about 110 bytes; the data part adds at most 16 + 3 + 48 + 2.
  char text[320];
  constexpr size_t kDataPartBytes = kDumpDataBytes * 4 + 8;
  const uint32_t size = header->f.size;
  const unsigned char* data = reinterpret_cast<const unsigned char*>(header) + sizeof(MemBlockHeader);
  FormatString(text, sizeof text - kDataPartBytes, "\tsize:%d(%.3fkb)  file:%s  line:%d  ID:%d  addr:%08x  data:<",
               static_cast<int>(size), static_cast<double>(size) * 0.0009765625, header->f.tag,
               static_cast<int>(static_cast<uint16_t>(header->f.line)), static_cast<int>(header->f.allocId),
               static_cast<unsigned>(reinterpret_cast<uintptr_t>(data) & 0xFFFFFFFFu));  // low 32 bits
  int length = static_cast<int>(std::strlen(text));
  const int shown = size < static_cast<uint32_t>(kDumpDataBytes) ? static_cast<int>(size) : kDumpDataBytes;
  for (int i = 0; i < shown; ++i) {
    const signed char c = static_cast<signed char>(data[i]);
    text[length++] = c < 0x20 ? '.' : static_cast<char>(c);
  }
  text[length++] = '>';
  text[length++] = ' ';
  text[length++] = '[';
  static const char kHex[] = "0123456789abcdef";
  for (int i = 0; i < shown; ++i) {
    text[length++] = kHex[data[i] >> 4];
    text[length++] = kHex[data[i] & 0xF];
    text[length++] = ' ';
  }
  // The blank after the last pair (or the "[" of an empty block) becomes the closing bracket.
  text[length - 1] = ']';
  text[length++] = '\n';
  text[length] = '\0';
  LogAdd(text);
}

void AfterOperation() {
  if (g_memory.totalsEach == 1) LogMemoryTotal();
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// Allocation

namespace {

// `flags` 0 or HEAP_ZERO_MEMORY. The heap zeroes a large block by mapping fresh pages, which take no
// memory until they are written.
void* AllocateTracked(uint32_t size, const char* tag, int line, plat::DWORD flags) {
  auto* header = static_cast<MemBlockHeader*>(
      plat::HeapAlloc(plat::GetProcessHeap(), flags, static_cast<size_t>(size) + sizeof(MemBlockHeader)));
  if (header == nullptr) {
    MemDump();
    MemCheckBroken();
    return nullptr;
  }
  StoreIdentity(header, size, tag, line);

  if (g_memory.head == nullptr) g_memory.head = &g_memory.sentinel;
  MemBlockHeader* older = g_memory.head;
  older->f.prev = header;
  header->f.next = older;
  header->f.prev = nullptr;
  g_memory.head = header;
  RefreshCheck(header);
  RefreshCheck(older);

  g_memory.totalSize.fetch_add(static_cast<int32_t>(size), std::memory_order_relaxed);
  g_memory.blockCount.fetch_add(1, std::memory_order_relaxed);

  if (IsTraced(size)) {
    LogAdd("mem alloc  ");
    LogMemoryRecord(header);
  }
  AfterOperation();
  if (g_memory.checkEach == 1) MemCheckBroken();
  return DataOf(header);
}

}  // namespace

void* MemAlloc(uint32_t size, const char* tag, int line) { return AllocateTracked(size, tag, line, 0); }

void* MemCalloc(uint32_t size, const char* tag, int line) {
  return AllocateTracked(size, tag, line, plat::HEAP_ZERO_MEMORY);
}

void* MemRealloc(void* block, uint32_t size, const char* tag, int line) {
  if (block == nullptr) return MemAlloc(size, tag, line);

  MemBlockHeader* old = HeaderOf(block);
  const bool wasHead = g_memory.head == old;
  const uint32_t oldSize = old->f.size;
  auto* header = static_cast<MemBlockHeader*>(plat::HeapReAlloc(
      plat::GetProcessHeap(), plat::HEAP_ZERO_MEMORY, old, static_cast<size_t>(size) + sizeof(MemBlockHeader)));
  if (header == nullptr) {
    MemDump();
    return nullptr;
  }
  StoreIdentity(header, size, tag, line);

  // The block may have moved: point its neighbours at the new place.
  header->f.next->f.prev = header;
  if (header->f.prev != nullptr) header->f.prev->f.next = header;
  if (wasHead) g_memory.head = header;

  g_memory.totalSize.fetch_add(static_cast<int32_t>(size - oldSize), std::memory_order_relaxed);
  RefreshCheck(header);
  RefreshCheck(header->f.next);
  RefreshCheck(header->f.prev);

  if (IsTraced(size)) {
    LogAdd("mem realloc  ");
    LogMemoryRecord(header);
  }
  AfterOperation();
  if (g_memory.checkEach == 1) MemCheckBroken();
  return DataOf(header);
}

void MemFree(void* block) {
  if (block == nullptr) return;
  MemBlockHeader* header = HeaderOf(block);
  g_memory.totalSize.fetch_sub(static_cast<int32_t>(header->f.size), std::memory_order_relaxed);
  g_memory.blockCount.fetch_sub(1, std::memory_order_relaxed);
  if (g_memory.checkEach == 1) MemCheckBroken();

  MemBlockHeader* next = header->f.next;
  MemBlockHeader* prev = header->f.prev;
  if (next != nullptr) next->f.prev = prev;
  if (prev != nullptr) prev->f.next = next;
  if (g_memory.head == header) g_memory.head = next;
  RefreshCheck(next);
  RefreshCheck(prev);

  if (IsTraced(header->f.size)) {
    LogAdd("mem free  ");
    LogMemoryRecord(header);
  }
  AfterOperation();
  plat::HeapFree(plat::GetProcessHeap(), 0, header);
}

// ---------------------------------------------------------------------------------------------------
// Checks and listings

int MemCheckBroken() {
  for (MemBlockHeader* h = g_memory.head; h != nullptr && h != &g_memory.sentinel; h = h->f.next) {
    if (std::memcmp(h->check, &h->f, sizeof(h->f)) != 0) {
      LogAdd("以下のメモリ確保情報が破損しました");
      LogMemoryRecord(h);
      return -1;
    }
  }
  return 0;
}

void MemDump() {
  LogAdd("\n");
  LogAdd("Alloc memory dump\n");
  for (MemBlockHeader* h = g_memory.head; h != nullptr && h != &g_memory.sentinel; h = h->f.next) {
    LogMemoryRecord(h);
  }
  LogMemoryTotal();
  LogAdd("\n");
}

void LogMemoryTotal() {
  const int32_t total = g_memory.totalSize.load(std::memory_order_relaxed);
  LogFmtAdd("\tTotal size:%d(%.3fkb)  Alloc num:%d", total, static_cast<double>(total) * 0.0009765625,
            g_memory.blockCount.load(std::memory_order_relaxed));
}

int GetMemoryBlockCount() { return g_memory.blockCount.load(std::memory_order_relaxed); }

int GetMemoryTotalSize() { return g_memory.totalSize.load(std::memory_order_relaxed); }

void SetMemoryTraceSettings(int traceSize, int traceAll, int totalsEach, int checkEach) {
  g_memory.traceSize = traceSize;
  g_memory.traceAll = traceAll;
  g_memory.totalsEach = totalsEach;
  g_memory.checkEach = checkEach;
}

}  // namespace orbel
