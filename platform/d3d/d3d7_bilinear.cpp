#include "platform/d3d/d3d7_fast_paths.h"
#include "platform/d3d/d3d7_span_steps.h"
namespace plat::d3d {
bool BilinearStretch(const DrawSetup&, const RectangleWalk&) { return false; }
void BilinearSpans(const DrawSetup& d, const SpanInput& span) { ShadeSpan(d, span); }
}
