// Inside the Direct3D stand-in: the service's one state record (the pretended driver, the refusal
// switch, the call record, live counts), the object factory the DirectDraw object calls, and the
// helpers the files share. Only platform/d3d (and the DirectDraw object's QueryInterface) include it.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/d3d/d3d7.h"
#include "platform/d3d/d3d7_test_controls.h"

namespace plat::d3d {

struct D3DState {
  std::mutex mutex;  // guards the record and the counts; devices belong to the calling thread
  bool configured = false;
  test::D3DConfig config;  // valid once `configured`
  bool refuse = false;     // QueryInterface(IID_IDirect3D7) answers E_NOINTERFACE
  // Read without the mutex on every call: a program that no test watches pays one load for it.
  std::atomic<bool> recording{false};  // a test asked for the call record
  std::vector<test::D3DCall> calls;
  size_t recordedBytes = 0;  // vertices and indices copied into `calls`
  int liveObjects = 0;
  int liveDevices = 0;
  int drawsOutsideScene = 0;
  // Read by a device when it is made and when its scene begins, not by each draw.
  std::atomic<bool> fastPaths{true};  // the rasteriser's specialised loops (tests turn them off to compare)
  std::atomic<bool> avx2{true};       // their AVX2 road where the processor runs it (tests turn it off for SSE2)
  std::atomic<int> roadSwitchReads{0};
};

D3DState& State();
// The driver in force (the default one until a test sets another).
test::D3DConfig Config();
// Whether a test keeps the call record: callers skip building an entry when it does not.
bool Recording();
// Appends a call to the record when a test keeps one (the oldest half is dropped past a bound, as long
// runs would grow it).
void Record(test::D3DCall call);
// True (with the result to give) when a test wants `call` to fail.
bool Faulted(const char* call, HRESULT* result);

// The Direct3D object of a DirectDraw object (QueryInterface's road): it keeps `owner` alive.
HRESULT CreateDirect3DObject(IDirectDraw7* owner, void** out);
// A new device drawing into `target`, keeping `owner` (the Direct3D object) alive.
HRESULT CreateDevice(IDirect3D7* owner, const GUID& type, IDirectDrawSurface7* target, IDirect3DDevice7** out);

// The rasteriser's road switches, which a device reads when it is made and at BeginScene.
struct RoadSwitches {
  bool fastPaths;  // the specialised loops may be used
  bool avx2;       // and take their AVX2 road (the processor runs it and no test turned it off)
};
RoadSwitches ReadRoadSwitches();

// Bytes per vertex of a pre-transformed format, 0 for formats the rasteriser does not draw.
int VertexStride(DWORD fvf);

}  // namespace plat::d3d
