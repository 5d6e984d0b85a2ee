// Test controls of the gdi stand-ins: one-shot faults and counts of live objects.
#pragma once

namespace plat::test {

// Clears the gdi faults (live-object counts are facts, not settings, and are kept).
void ResetGdi();

// The next CreateDIBSection fails (returns null).
void FailNextCreateDibSection();
// Consumes the fault set above; true when the current call must fail. Used by the stand-in.
bool TakeCreateDibSectionFault();

// Live DIB sections and memory DCs, for leak checks.
struct GdiDibCounters {
  int liveSections;
  int liveMemoryDcs;
};
GdiDibCounters& GetGdiDibCounters();

}  // namespace plat::test
