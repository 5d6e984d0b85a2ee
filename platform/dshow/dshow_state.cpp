// The DirectShow stand-in's state record: faults set by tests, counts of live objects, the live samples;
// and the test controls over them.
#include <algorithm>

#include "platform/dshow/dshow_internal.h"
#include "platform/dshow/test_controls.h"

namespace plat::dshow {

DShowState& State() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* state = new DShowState;
  return *state;
}

bool Faulted(const char* call, HRESULT* result) {
  DShowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto found = s.faults.find(call);
  if (found == s.faults.end() || found->second.times == 0) return false;
  if (found->second.times > 0) --found->second.times;
  *result = found->second.result;
  return true;
}

void CountObject(int DShowState::*counter, int delta) {
  DShowState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.*counter += delta;
}

}  // namespace plat::dshow

namespace plat::test {

using plat::dshow::State;

void FailMovieCall(const std::string& call, int times, HRESULT result) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().faults[call] = dshow::Fault{times, result};
}

void SettleMovieUpdates() {
  // The caller's thread makes and releases samples and streams, so the lists cannot change while it
  // settles them.
  std::vector<dshow::MovieEngine*> engines;
  std::vector<dshow::StreamSampleBase*> samples;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    engines = State().liveEngines;
    samples = State().liveSamples;
  }
  for (dshow::MovieEngine* engine : engines) engine->SettleFeeder();
  for (dshow::StreamSampleBase* sample : samples) sample->Settle();
}

MovieCounters GetMovieCounters() {
  std::lock_guard<std::mutex> lock(State().mutex);
  const dshow::DShowState& s = State();
  return MovieCounters{s.graphs, s.multiMediaStreams, s.mediaStreams, s.samples, s.decoders};
}

void ResetMovies() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().faults.clear();
}

}  // namespace plat::test
