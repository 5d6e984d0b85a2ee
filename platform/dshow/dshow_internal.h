// Inside the DirectShow stand-in: the playback engine that a filter graph, its multimedia stream, the
// video stream and its samples share (one open file, the stream clock, the sound), the service's state
// record (faults, live counts, the samples that test controls settle), and the makers of each object.
// Only platform/dshow includes this file.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/dshow/dshow.h"
#include "platform/dshow/movie_decoder.h"
#include "platform/dshow/movie_sound.h"

namespace plat::dshow {

// ---- Engine -------------------------------------------------------------------------------------

// What the frame due now is.
enum class Due { Frame, End, Wait };

// One file and its clock. Every member is guarded by `mutex`; `changed` is notified whenever the clock
// is run, held or moved, and whenever a sample's request changes, so waiting samples look again. While a
// film with sound runs, a feeder thread of the engine's own decodes its sound ahead of what the mixer
// plays, whether or not anybody updates a sample, so the sound keeps to the stream clock when the
// program stops drawing the film for a while.
class MovieEngine {
 public:
  MovieEngine();
  ~MovieEngine();
  MovieEngine(const MovieEngine&) = delete;
  MovieEngine& operator=(const MovieEngine&) = delete;

  std::mutex mutex;
  std::condition_variable changed;

  // Opens the file (a POSIX path) for the video stream and, with `sound`, the sound stream.
  HRESULT OpenLocked(const char* path, bool video, bool sound);
  bool OpenedLocked() const { return decoder_ != nullptr; }
  MovieDecoder* DecoderLocked() { return decoder_.get(); }

  bool RunningLocked() const { return running_; }
  STREAM_TIME TimeLocked() const;
  void RunLocked();
  void HoldLocked();
  void SeekLocked(STREAM_TIME time);
  // Moves the decoder to the frame due now. While running, that is the newest frame whose time has
  // come and that was not shown yet (Wait with *until, a stream time, when none has come; End once the
  // last frame's time is over); while held, the frame at the position.
  Due ChooseLocked(STREAM_TIME* until);

  // Returns once the feeder has made a pass after this call (at once when it has nothing to do).
  void SettleFeeder();

 private:
  // Decodes the sound up to the lead past the mixer's cursor; when the video packets kept for later
  // stop it, decodes the frames whose time has come.
  void FeedLocked();
  void Feed();  // the feeder thread

  std::unique_ptr<MovieDecoder> decoder_;
  std::shared_ptr<MovieSound> sound_;
  bool mixerOpen_ = false;
  bool running_ = false;
  STREAM_TIME position_ = 0;       // the stream time when the clock was last run, held or moved
  uint64_t runStartMicroseconds_ = 0;  // plat clock at that moment, while running
  bool frameUnshown_ = false;  // the feeder took a frame that no sample has shown yet
  std::thread feeder_;
  std::condition_variable fed_;  // notified after each pass of the feeder
  bool quit_ = false;
  uint64_t feeds_ = 0;  // passes of the feeder
};

// ---- Objects ------------------------------------------------------------------------------------

// The engine behind a filter graph made here (every IGraphBuilder is one of ours).
std::shared_ptr<MovieEngine> EngineOfGraph(IGraphBuilder* graph);
HRESULT MakeFilterGraph(IGraphBuilder** out);
// The primary video stream over an engine, rendering through `directDraw` (one more reference; may be
// null).
IMediaStream* MakeVideoStream(std::shared_ptr<MovieEngine> engine, IDirectDraw7* directDraw);
// A sample writing frames of `layout` into `rect` of `surface` (the sample takes one reference).
IDirectDrawStreamSample* MakeStreamSample(std::shared_ptr<MovieEngine> engine, IDirectDrawSurface7* surface,
                                          const RECT& rect, FramePixels layout);

// One face an object answers QueryInterface with; `fault` names the test control that can refuse it
// (null: none).
struct Face {
  const IID* iid;
  void* face;
  const char* fault;
};
// QueryInterface over a list of faces: the face asked for, with one more reference (`addRef`), or
// E_NOINTERFACE; a face's fault answers with its result.
template <typename AddRef>
HRESULT AnswerQuery(REFIID iid, void** out, std::initializer_list<Face> faces, AddRef addRef);

// ---- Service state ------------------------------------------------------------------------------

class StreamSampleBase;  // what the test controls settle (stream_sample.cpp)

struct Fault {
  int times = 0;  // -1: until reset
  HRESULT result = E_FAIL;
};

struct DShowState {
  std::mutex mutex;
  std::unordered_map<std::string, Fault> faults;
  int graphs = 0;
  int multiMediaStreams = 0;
  int mediaStreams = 0;
  int samples = 0;
  int decoders = 0;
  std::vector<StreamSampleBase*> liveSamples;
  std::vector<MovieEngine*> liveEngines;
};

DShowState& State();
// True (with *result) when a test wants the named call to fail now.
bool Faulted(const char* call, HRESULT* result);
void CountObject(int DShowState::*counter, int delta);

// What SettleMovieUpdates needs of a sample.
class StreamSampleBase {
 public:
  virtual void Settle() = 0;

 protected:
  ~StreamSampleBase() = default;
};

template <typename AddRef>
HRESULT AnswerQuery(REFIID iid, void** out, std::initializer_list<Face> faces, AddRef addRef) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  for (const Face& f : faces) {
    if (!(*f.iid == iid)) continue;
    HRESULT forced;
    if (f.fault != nullptr && Faulted(f.fault, &forced)) return forced;
    addRef();
    *out = f.face;
    return S_OK;
  }
  return E_NOINTERFACE;
}

}  // namespace plat::dshow
