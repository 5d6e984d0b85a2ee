// The multimedia stream: set up on a filter graph, given its video and sound streams, then opens the
// file by its UTF-16 name and runs, holds, moves and reads the stream clock.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/dshow/dshow_factory.h"
#include "platform/dshow/dshow_internal.h"
#include "platform/host/text_encoding.h"
#include "platform/win/kernel/posix_path.h"

namespace plat::dshow {
namespace {

class MultiMediaStream final : public IAMMultiMediaStream {
 public:
  MultiMediaStream() { CountObject(&DShowState::multiMediaStreams, 1); }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT Initialize(STREAM_TYPE type, DWORD, IGraphBuilder* graph) override {
    HRESULT forced;
    if (Faulted("Initialize", &forced)) return forced;
    if (graph_ != nullptr) return MS_E_SOURCEALREADYDEFINED;
    if (type != STREAMTYPE_READ) return MS_E_INVALIDSTREAMTYPE;
    if (graph != nullptr) {
      graph->AddRef();
      graph_ = graph;
    } else {
      MakeFilterGraph(&graph_);
    }
    engine_ = EngineOfGraph(graph_);
    return S_OK;
  }

  HRESULT AddMediaStream(IDirectDraw4* directDraw, const MSPID& purpose, DWORD flags, IMediaStream** out) override {
    if (out != nullptr) *out = nullptr;
    const bool video = purpose == MSPID_PrimaryVideo;
    HRESULT forced;
    if (Faulted(video ? "AddMediaStream(MSPID_PrimaryVideo)" : "AddMediaStream(MSPID_PrimaryAudio)", &forced)) {
      return forced;
    }
    if (engine_ == nullptr) return MS_E_NOTINIT;
    if (video) {
      if (video_ != nullptr) return MS_E_PURPOSEID;
      IDirectDraw7* object = nullptr;
      if (directDraw != nullptr &&
          directDraw->QueryInterface(IID_IDirectDraw7, reinterpret_cast<void**>(&object)) != S_OK) {
        return E_INVALIDARG;
      }
      video_ = MakeVideoStream(engine_, object);
      if (object != nullptr) object->Release();
      if (out != nullptr) {
        video_->AddRef();
        *out = video_;
      }
      return S_OK;
    }
    if (!(purpose == MSPID_PrimaryAudio) || sound_ || !(flags & AMMSF_ADDDEFAULTRENDERER)) return MS_E_PURPOSEID;
    sound_ = true;
    return S_OK;
  }

  HRESULT OpenFile(const WCHAR* fileName, DWORD) override {
    HRESULT forced;
    if (Faulted("OpenFile", &forced)) return forced;
    if (engine_ == nullptr) return MS_E_NOTINIT;
    if (fileName == nullptr) return E_POINTER;
    // The platform's path rules work on the library's Shift-JIS names.
    const std::string name = host::Utf8ToShiftJis(WideToUtf8(fileName));
    const PosixPath path(name.c_str());
    if (!path.ok()) return VFW_E_FILE_NOT_FOUND;
    // A film in the process's folder (a temporary copy) is opened here through the folder's handle, and
    // FFmpeg is handed the name of that open file in /proc/self/fd, which no other user can redirect.
    const PathAt at(path.c_str());
    int held = -1;
    char heldName[32];
    if (at.inProcessFolder()) {
      held = at.Open(O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      if (held < 0) return VFW_E_FILE_NOT_FOUND;
      std::snprintf(heldName, sizeof heldName, "/proc/self/fd/%d", held);
    }
    HRESULT result = MS_E_SOURCEALREADYDEFINED;
    {
      std::lock_guard<std::mutex> lock(engine_->mutex);
      if (!engine_->OpenedLocked()) {
        result = engine_->OpenLocked(held >= 0 ? heldName : path.c_str(), video_ != nullptr, sound_);
      }
    }
    if (held >= 0) ::close(held);  // FFmpeg holds a descriptor of its own
    return result;
  }

  HRESULT GetMediaStream(const MSPID& purpose, IMediaStream** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    HRESULT forced;
    if (Faulted("GetMediaStream", &forced)) return forced;
    if (!(purpose == MSPID_PrimaryVideo) || video_ == nullptr) return MS_E_NOSTREAM;
    video_->AddRef();
    *out = video_;
    return S_OK;
  }

  HRESULT GetState(STREAM_STATE* state) override {
    if (state == nullptr) return E_POINTER;
    HRESULT forced;
    if (Faulted("GetState", &forced)) return forced;
    *state = STREAMSTATE_STOP;
    if (engine_ == nullptr) return S_OK;
    std::lock_guard<std::mutex> lock(engine_->mutex);
    if (engine_->RunningLocked()) *state = STREAMSTATE_RUN;
    return S_OK;
  }

  HRESULT SetState(STREAM_STATE state) override {
    HRESULT forced;
    if (Faulted("SetState", &forced)) return forced;
    if (engine_ == nullptr) return MS_E_NOTINIT;
    if (state != STREAMSTATE_RUN && state != STREAMSTATE_STOP) return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(engine_->mutex);
    if (!engine_->OpenedLocked()) return MS_E_NOSTREAM;
    if (state == STREAMSTATE_RUN) {
      engine_->RunLocked();
    } else {
      engine_->HoldLocked();
    }
    return S_OK;
  }

  HRESULT GetTime(STREAM_TIME* time) override {
    if (time == nullptr) return E_POINTER;
    HRESULT forced;
    if (Faulted("GetTime", &forced)) return forced;
    *time = 0;
    if (engine_ == nullptr) return S_OK;
    std::lock_guard<std::mutex> lock(engine_->mutex);
    *time = engine_->TimeLocked();
    return S_OK;
  }

  HRESULT Seek(STREAM_TIME time) override {
    HRESULT forced;
    if (Faulted("Seek", &forced)) return forced;
    if (engine_ == nullptr) return MS_E_NOTINIT;
    std::lock_guard<std::mutex> lock(engine_->mutex);
    if (!engine_->OpenedLocked()) return MS_E_NOSTREAM;
    engine_->SeekLocked(time);
    return S_OK;
  }

 private:
  ~MultiMediaStream() override {
    if (video_ != nullptr) video_->Release();
    if (graph_ != nullptr) graph_->Release();
    CountObject(&DShowState::multiMediaStreams, -1);
  }

  IGraphBuilder* graph_ = nullptr;  // referenced
  std::shared_ptr<MovieEngine> engine_;
  IMediaStream* video_ = nullptr;  // referenced
  bool sound_ = false;
  ULONG refs_ = 1;
};

}  // namespace
}  // namespace plat::dshow

namespace plat {

HRESULT CreateMultiMediaStream(REFIID iid, void** out) {
  HRESULT forced;
  if (dshow::Faulted("CoCreateInstance(CLSID_AMMultiMediaStream)", &forced)) return forced;
  if (!(iid == IID_IAMMultiMediaStream)) return E_NOINTERFACE;
  *out = static_cast<IAMMultiMediaStream*>(new dshow::MultiMediaStream());
  return S_OK;
}

}  // namespace plat
