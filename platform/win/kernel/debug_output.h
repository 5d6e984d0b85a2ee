// OutputDebugStringA: the debugger channel. Text goes to an in-memory sink that tests read (see
// kernel_test_controls.h), and to stderr as well when the environment sets ORBEL_DEBUG_OUTPUT=1.
// The sink keeps the most recent text only (a bounded window), so a long run cannot grow it forever.
#pragma once

namespace plat {

void OutputDebugStringA(const char* text);

}  // namespace plat
