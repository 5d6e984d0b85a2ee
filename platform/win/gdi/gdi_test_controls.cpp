// Test controls of the gdi stand-ins.
#include "platform/win/gdi/gdi_test_controls.h"

namespace plat::test {

namespace {
struct GdiTestState {
  bool failNextCreateDibSection = false;
  GdiDibCounters counters{0, 0};
};
GdiTestState& State() {
  static GdiTestState state;
  return state;
}
}  // namespace

void ResetGdi() { State().failNextCreateDibSection = false; }

void FailNextCreateDibSection() { State().failNextCreateDibSection = true; }

bool TakeCreateDibSectionFault() {
  bool fail = State().failNextCreateDibSection;
  State().failNextCreateDibSection = false;
  return fail;
}

GdiDibCounters& GetGdiDibCounters() { return State().counters; }

}  // namespace plat::test
