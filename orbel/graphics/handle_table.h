// The handle value scheme and the per-kind handle table every resource kind keeps (graphs, surfaces,
// sounds, fonts, soft images, ...). A handle is one 32-bit integer: bit 31 clear, bits 27-30 the kind,
// bits 16-26 a check number copied from the record, bits 0-15 the table index.
// The table owns slots, not records: callers allocate and free records and release what they own.
#pragma once

#include <cstdint>
#include <cstring>

namespace orbel {

// ---- Value scheme -----------------------------------------------------------------------------------

constexpr int32_t kHandleKindMask = 0x78000000;
constexpr int32_t kHandleCheckMask = 0x07FF0000;
constexpr int32_t kHandleIndexMask = 0x0000FFFF;
constexpr uint32_t kHandleCheckMax = 2047;  // check numbers run 0..2047 and repeat

// Kind masks and table limits.
constexpr int32_t kHandleKindGraph = 0x08000000;
constexpr int32_t kHandleKindSound = 0x10000000;
constexpr int32_t kHandleKindMovie = 0x18000000;
constexpr int32_t kHandleKindFont = 0x20000000;
constexpr int32_t kHandleKindSurface2D = 0x28000000;
constexpr int32_t kHandleKindSurface3D = 0x30000000;
constexpr int32_t kHandleKindSurfaceData = 0x38000000;
constexpr int32_t kHandleKindMaskImage = 0x40000000;  // mask handles
constexpr int32_t kHandleKindNetwork = 0x48000000;
constexpr int32_t kHandleKindKeyInput = 0x50000000;
constexpr int32_t kHandleKindMusic = 0x58000000;
constexpr int32_t kHandleKindLight = 0x60000000;
constexpr int32_t kHandleKindSoftImage = 0x70000000;

constexpr uint32_t kGraphHandleLimit = 32768;
constexpr uint32_t kSoundHandleLimit = 4096;
constexpr uint32_t kMovieHandleLimit = 100;
constexpr uint32_t kFontHandleLimit = 40;
constexpr uint32_t kSurface2DHandleLimit = 32768;
constexpr uint32_t kSurface3DHandleLimit = 65536;
constexpr uint32_t kSurfaceDataHandleLimit = 65536;
constexpr uint32_t kMaskHandleLimit = 512;
constexpr uint32_t kNetworkHandleLimit = 4097;
constexpr uint32_t kKeyInputHandleLimit = 256;
constexpr uint32_t kMusicHandleLimit = 256;
constexpr uint32_t kLightHandleLimit = 4096;
constexpr uint32_t kSoftImageHandleLimit = 8192;

// ((check | (kind >> 16)) << 16) | index.
constexpr int32_t MakeHandle(uint32_t check, int32_t kind, uint32_t index) {
  return static_cast<int32_t>(((check | (static_cast<uint32_t>(kind) >> 16)) << 16) | index);
}
constexpr int32_t HandleKind(int32_t handle) { return handle & kHandleKindMask; }
constexpr uint32_t HandleIndex(int32_t handle) { return static_cast<uint32_t>(handle & kHandleIndexMask); }
constexpr uint32_t HandleCheck(int32_t handle) {
  return static_cast<uint32_t>(handle & kHandleCheckMask) >> 16;
}

// ---- Per-kind table ---------------------------------------------------------------------------------

// One kind's table: a plain global block (zero-initialised storage is an empty table). `Record` must
// have a `uint32_t check` field holding the check number of its handle.
template <typename Record, int32_t Kind, uint32_t Limit>
struct HandleTable {
  static constexpr int32_t kKind = Kind;
  static constexpr uint32_t kLimit = Limit;
  static_assert(Limit <= 0x10000, "index must fit in 16 bits");

  Record* records[Limit];  // null = free slot
  uint32_t count;          // live records
  uint32_t areaEnd;        // one past the highest slot that may be in use
  uint32_t checkCounter;   // check number the next record receives

  bool IsFull() const { return count >= Limit; }

  // Empties every slot (records are not freed: the owner deletes them first). The check counter is
  // kept so that handles issued before stay stale afterwards.
  void Clear() {
    memset(records, 0, sizeof(records));
    count = 0;
    areaEnd = 0;
  }

  // The record of a live handle of this kind, or null. Tests, in order: not negative, kind, index
  // below the limit, slot in use, check number.
  Record* Lookup(int32_t handle) const {
    if (handle < 0 || HandleKind(handle) != Kind) return nullptr;
    uint32_t index = HandleIndex(handle);
    if (index >= Limit) return nullptr;
    Record* r = records[index];
    if (r == nullptr || (r->check << 16) != static_cast<uint32_t>(handle & kHandleCheckMask)) return nullptr;
    return r;
  }

  // Stores a record: the slot at the area end while it is below the limit, else the lowest free
  // slot. Gives the record its check number and returns its handle, or -1 when the table is full.
  int32_t Insert(Record* record) {
    if (IsFull()) return -1;
    uint32_t slot = areaEnd;
    if (slot >= Limit) {
      slot = 0;
      while (slot < Limit && records[slot] != nullptr) ++slot;
      if (slot >= Limit) return -1;
    }
    records[slot] = record;
    record->check = checkCounter;
    checkCounter = checkCounter + 1 > kHandleCheckMax ? 0 : checkCounter + 1;
    ++count;
    if (slot >= areaEnd) areaEnd = slot + 1;
    return MakeHandle(record->check, Kind, slot);
  }

  // Takes a live handle's record out of its slot and returns it (the caller frees it), or null when
  // the handle is not live. The area end drops past the empty slots below a removed top slot.
  Record* Remove(int32_t handle) {
    Record* r = Lookup(handle);
    if (r == nullptr) return nullptr;
    uint32_t slot = HandleIndex(handle);
    uint32_t oldCount = count--;
    if (slot == areaEnd - 1) {
      if (oldCount == 1) {
        areaEnd = 0;
      } else {
        uint32_t end = slot;
        while (end > 0 && records[end - 1] == nullptr) --end;
        areaEnd = end;
      }
    }
    records[slot] = nullptr;
    return r;
  }

  // The handle of the record in `slot`, or -1 when the slot is empty or out of range.
  int32_t HandleAt(uint32_t slot) const {
    if (slot >= Limit || records[slot] == nullptr) return -1;
    return MakeHandle(records[slot]->check, Kind, slot);
  }

  // Deletes every live record through `deleteHandle(handle)`, re-reading the area end after each.
  template <typename DeleteFn>
  void DeleteAll(DeleteFn deleteHandle) {
    for (uint32_t slot = 0; slot < areaEnd; ++slot) {
      int32_t h = HandleAt(slot);
      if (h != -1) deleteHandle(h);
    }
  }
};

}  // namespace orbel
