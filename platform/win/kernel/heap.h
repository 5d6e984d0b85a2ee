// The process heap: GetProcessHeap, HeapAlloc, HeapReAlloc, HeapFree, HeapSize over malloc.
// Each block remembers its requested size, so HEAP_ZERO_MEMORY zeroes exactly the grown tail.
// Only the process heap exists (no HeapCreate); a failed call returns null and keeps the old block.
#pragma once

#include <cstddef>

#include "platform/win/kernel/win_types.h"

namespace plat {

using SIZE_T = size_t;

constexpr DWORD HEAP_NO_SERIALIZE = 0x1;
constexpr DWORD HEAP_GENERATE_EXCEPTIONS = 0x4;  // accepted; failures are always reported by null
constexpr DWORD HEAP_ZERO_MEMORY = 0x8;
constexpr DWORD HEAP_REALLOC_IN_PLACE_ONLY = 0x10;

HANDLE GetProcessHeap();
// Null when `heap` is not the process heap or memory is short.
void* HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
// Resizes `memory` (moving it unless HEAP_REALLOC_IN_PLACE_ONLY); with HEAP_ZERO_MEMORY the bytes
// past the old size read as 0. On failure returns null and `memory` stays valid and unchanged.
void* HeapReAlloc(HANDLE heap, DWORD flags, void* memory, SIZE_T bytes);
// Null is accepted (TRUE).
BOOL HeapFree(HANDLE heap, DWORD flags, void* memory);
// The size the block was asked for; (SIZE_T)-1 on a bad heap or null block.
SIZE_T HeapSize(HANDLE heap, DWORD flags, const void* memory);

}  // namespace plat
