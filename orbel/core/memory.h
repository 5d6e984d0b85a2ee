// Tracked memory: every block the library allocates for itself carries a header that records its tag,
// allocation number, source line and size, and sits in one list so that shut-down can list what is
// still held ("Alloc memory dump") and a damaged header can be detected.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orbel {

// A block of `size` bytes, or null when memory runs out (the dump and a check then go to the log).
// `tag` may be null; only its last 15 characters are kept.
void* MemAlloc(uint32_t size, const char* tag = nullptr, int line = 0);
// As MemAlloc, with the block cleared to zero.
void* MemCalloc(uint32_t size, const char* tag = nullptr, int line = 0);
// Resizes a block (null allocates); a grown tail reads as zero. On failure null, the old block intact.
void* MemRealloc(void* block, uint32_t size, const char* tag = nullptr, int line = 0);
// Frees a block; null is ignored.
void MemFree(void* block);
// 0 when every header matches its check copy, -1 (logged) at the first damaged one.
int MemCheckBroken();
// Lists every live block in the log, newest first, then the totals.
void MemDump();
void LogMemoryTotal();

// Live blocks and bytes, for shut-down checks and tests.
int GetMemoryBlockCount();
int GetMemoryTotalSize();

// Bytes of the header in front of every block (a multiple of 16, so blocks stay 16-byte aligned).
inline constexpr size_t kMemBlockHeaderSize = 80;

// Tracing: an operation on a block of size S is logged when traceSize < 0, traceSize == S or traceAll
// is 1 (defaults 0, 0: only zero-size blocks); totalsEach logs the totals line after each operation,
// checkEach runs MemCheckBroken on each operation.
void SetMemoryTraceSettings(int traceSize, int traceAll, int totalsEach, int checkEach);

}  // namespace orbel
