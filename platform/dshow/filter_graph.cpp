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
    return AnswerQuery(iid, out,
                       {{&IID_IGraphBuilder, static_cast<IGraphBuilder*>(this), nullptr},
                        {&IID_IMediaControl, static_cast<IMediaControl*>(this), "QueryInterface(IID_IMediaControl)"},
                        {&IID_IMediaSeeking, static_cast<IMediaSeeking*>(this), "QueryInterface(IID_IMediaSeeking)"},
                        {&IID_IBasicAudio, static_cast<IBasicAudio*>(this), "QueryInterface(IID_IBasicAudio)"}},
                       [this] { AddRef(); });
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
