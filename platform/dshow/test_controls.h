// Test controls of the DirectShow stand-in: named-call failures (each answers the documented failure
// with `result`), a wait for asynchronous sample updates to come to rest, and counts of live objects.
// Only tests include this file; the library never does.
#pragma once

#include <string>

#include "platform/dshow/dshow.h"

namespace plat::test {

// The next `times` calls named `call` fail with `result` (times -1: until reset). Names:
// "CoCreateInstance(CLSID_FilterGraph)", "CoCreateInstance(CLSID_AMMultiMediaStream)", "Initialize",
// "AddMediaStream(MSPID_PrimaryVideo)", "AddMediaStream(MSPID_PrimaryAudio)", "OpenFile",
// "GetMediaStream", "GetFormat", "CreateSample", "GetSurface", "Update", "GetState", "SetState",
// "GetTime", "Seek", "Pause", and "QueryInterface(IID_<name>)" for IID_IMediaControl, IID_IMediaSeeking,
// IID_IBasicAudio, IID_IAMMediaStream and IID_IDirectDrawMediaStream. A failing "Update" fails before
// anything starts (no event is signalled). The DirectDraw faces fail through FailDisplayCall with
// "QueryInterface(IID_IDirectDraw4)", "QueryInterface(IID_IDirectDrawSurface4)" and
// "QueryInterface(IID_IDirectDrawSurface7)".
void FailMovieCall(const std::string& call, int times = 1, HRESULT result = E_FAIL);

// Returns once every asynchronous update has ended (its event signalled) or waits for a stream time
// that the clock has not reached, and every running movie's sound has been decoded ahead of what the
// mixer has played. Call it after moving the virtual clock, before looking at events.
void SettleMovieUpdates();

// Objects not yet released, for leak checks. `decoders` counts files held open.
struct MovieCounters {
  int graphs;
  int multiMediaStreams;
  int mediaStreams;
  int samples;
  int decoders;
};
MovieCounters GetMovieCounters();

// Clears every fault.
void ResetMovies();

}  // namespace plat::test
