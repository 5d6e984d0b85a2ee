// The filter graph: one object with four faces over the engine that runs the file a multimedia stream
// opens on it. Only Pause does anything of its own; seeking and volume are never asked for.
#include "platform/dshow/dshow_factory.h"
#include "platform/dshow/dshow_internal.h"

namespace plat::dshow {
namespace {

class FilterGraph final : public IGraphBuilder, public IMediaControl, public IMediaSeeking, public IBasicAudio {
 public:
  FilterGraph() : engine_(std::make_shared<MovieEngine>()) { CountObject(&DShowState::graphs, 1); }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    HRESULT forced;
    if (iid == IID_IGraphBuilder) {
      *out = static_cast<IGraphBuilder*>(this);
    } else if (iid == IID_IMediaControl) {
      if (Faulted("QueryInterface(IID_IMediaControl)", &forced)) return forced;
      *out = static_cast<IMediaControl*>(this);
    } else if (iid == IID_IMediaSeeking) {
      if (Faulted("QueryInterface(IID_IMediaSeeking)", &forced)) return forced;
      *out = static_cast<IMediaSeeking*>(this);
    } else if (iid == IID_IBasicAudio) {
      if (Faulted("QueryInterface(IID_IBasicAudio)", &forced)) return forced;
      *out = static_cast<IBasicAudio*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  HRESULT Pause() override {
    HRESULT forced;
    if (Faulted("Pause", &forced)) return forced;
    std::lock_guard<std::mutex> lock(engine_->mutex);
    engine_->HoldLocked();
    return S_OK;
  }

  const std::shared_ptr<MovieEngine>& engine() const { return engine_; }

 private:
  ~FilterGraph() override { CountObject(&DShowState::graphs, -1); }
  std::shared_ptr<MovieEngine> engine_;
  ULONG refs_ = 1;
};

}  // namespace

std::shared_ptr<MovieEngine> EngineOfGraph(IGraphBuilder* graph) { return static_cast<FilterGraph*>(graph)->engine(); }

HRESULT MakeFilterGraph(IGraphBuilder** out) {
  *out = new FilterGraph();
  return S_OK;
}

}  // namespace plat::dshow

namespace plat {

HRESULT CreateFilterGraph(REFIID iid, void** out) {
  HRESULT forced;
  if (dshow::Faulted("CoCreateInstance(CLSID_FilterGraph)", &forced)) return forced;
  IGraphBuilder* graph = nullptr;
  dshow::MakeFilterGraph(&graph);
  const HRESULT result = graph->QueryInterface(iid, out);
  graph->Release();
  return result;
}

}  // namespace plat
