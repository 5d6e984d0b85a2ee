// How the class table of CoCreateInstance makes the DirectShow objects (not for the library's use).
#pragma once

#include "platform/win/kernel/com.h"

namespace plat {

// A new filter graph as the asked-for interface (IID_IGraphBuilder and its other faces).
HRESULT CreateFilterGraph(REFIID iid, void** out);
// A new, uninitialised multimedia stream (IID_IAMMultiMediaStream).
HRESULT CreateMultiMediaStream(REFIID iid, void** out);

}  // namespace plat
