// The stream sample: renders the frame due into its surface, at once (waiting on the plat clock when
// the next frame has not come yet) or asynchronously on a worker thread of its own, which signals the
// caller's event when the update has ended. The worker waits in short slices of the plat clock and never
// moves the clock itself, so virtual time passes only when the program lets it.
#include <algorithm>
#include <thread>

#include "platform/dshow/dshow_internal.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/kernel/sync.h"

namespace plat::dshow {
namespace {

class StreamSample final : public IDirectDrawStreamSample, public StreamSampleBase {
 public:
  StreamSample(std::shared_ptr<MovieEngine> engine, IDirectDrawSurface7* surface, const RECT& rect, FramePixels layout)
      : engine_(std::move(engine)), surface_(surface), rect_(rect), layout_(layout) {
    surface_->AddRef();
    CountObject(&DShowState::samples, 1);
    std::lock_guard<std::mutex> lock(State().mutex);
    State().liveSamples.push_back(this);
  }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetSurface(IDirectDrawSurface** surface, RECT* rect) override {
    HRESULT forced;
    if (surface != nullptr) *surface = nullptr;
    if (Faulted("GetSurface", &forced)) return forced;
    if (surface != nullptr) {
      surface_->AddRef();
      *surface = surface_;
    }
    if (rect != nullptr) *rect = rect_;
    return S_OK;
  }

  HRESULT Update(DWORD flags, HANDLE event, PAPCFUNC apc, uintptr_t) override {
    HRESULT forced;
    if (Faulted("Update", &forced)) return forced;
    if (apc != nullptr) return E_INVALIDARG;
    std::unique_lock<std::mutex> lock(engine_->mutex);
    EndPendingLocked();
    const bool async = event != nullptr || (flags & SSUPDATE_ASYNC);
    while (true) {
      STREAM_TIME until = 0;
      const Due due = engine_->ChooseLocked(&until);
      if (due == Due::End) return MS_S_ENDOFSTREAM;
      if (due == Due::Frame) return WriteFrameLocked();
      if (async) {
        // Nothing is due yet: the worker waits for it and signals the event.
        pending_ = true;
        event_ = event;
        if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
        engine_->changed.notify_all();
        return MS_S_PENDING;
      }
      // The caller's own wait: Sleep on the plat clock until the frame's time.
      const STREAM_TIME left = until - engine_->TimeLocked();
      lock.unlock();
      Sleep(static_cast<DWORD>(left <= 0 ? 0 : (left + 9999) / 10000));
      lock.lock();
    }
  }

  void Settle() override {
    std::unique_lock<std::mutex> lock(engine_->mutex);
    const uint64_t seen = looks_;
    ++settling_;
    engine_->changed.notify_all();
    engine_->changed.wait(lock, [&] { return !pending_ || (looks_ > seen && lastLookWaited_); });
    --settling_;
  }

 private:
  ~StreamSample() override {
    {
      std::lock_guard<std::mutex> lock(engine_->mutex);
      EndPendingLocked();
      quit_ = true;
      engine_->changed.notify_all();
    }
    if (worker_.joinable()) worker_.join();
    surface_->Release();
    CountObject(&DShowState::samples, -1);
    std::lock_guard<std::mutex> lock(State().mutex);
    auto& live = State().liveSamples;
    live.erase(std::remove(live.begin(), live.end(), static_cast<StreamSampleBase*>(this)), live.end());
  }

  // An update still pending ends without a frame: its event is signalled as for any end.
  void EndPendingLocked() {
    if (!pending_) return;
    pending_ = false;
    if (event_ != nullptr) SetEvent(event_);
    event_ = nullptr;
    engine_->changed.notify_all();
  }

  HRESULT WriteFrameLocked() {
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    const HRESULT locked = surface_->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
    if (locked != DD_OK) return locked;
    const int bytes = static_cast<int>(desc.ddpfPixelFormat.dwRGBBitCount / 8);
    auto* at = static_cast<uint8_t*>(desc.lpSurface) + static_cast<ptrdiff_t>(rect_.top) * desc.lPitch +
               static_cast<ptrdiff_t>(rect_.left) * bytes;
    const bool written = engine_->DecoderLocked()->ConvertCurrent(at, desc.lPitch, layout_);
    surface_->Unlock(nullptr);
    return written ? S_OK : E_FAIL;
  }

  // The worker: serves each asynchronous request until it ends, looking again whenever the engine
  // changes and every slice of the plat clock.
  void Work() {
    std::unique_lock<std::mutex> lock(engine_->mutex);
    while (!quit_) {
      if (!pending_) {
        engine_->changed.wait(lock, [&] { return quit_ || pending_; });
        continue;
      }
      STREAM_TIME until = 0;
      const Due due = engine_->ChooseLocked(&until);
      ++looks_;
      lastLookWaited_ = due == Due::Wait;
      if (due == Due::Wait) {
        if (settling_ > 0) engine_->changed.notify_all();
        clock::WaitSlice(lock, engine_->changed);
        continue;
      }
      // The event tells that the update has ended, whatever its outcome; the caller looks at the surface.
      if (due == Due::Frame) WriteFrameLocked();
      pending_ = false;
      if (event_ != nullptr) SetEvent(event_);
      event_ = nullptr;
      engine_->changed.notify_all();
    }
  }

  std::shared_ptr<MovieEngine> engine_;
  IDirectDrawSurface7* surface_;
  RECT rect_;
  FramePixels layout_;
  ULONG refs_ = 1;  // the caller's thread only

  // Guarded by engine_->mutex.
  bool pending_ = false;
  HANDLE event_ = nullptr;
  bool quit_ = false;
  uint64_t looks_ = 0;           // the worker's looks at the clock
  bool lastLookWaited_ = false;  // the last look found no frame due yet
  int settling_ = 0;             // test controls waiting for the worker to come to rest
  std::thread worker_;
};

}  // namespace

IDirectDrawStreamSample* MakeStreamSample(std::shared_ptr<MovieEngine> engine, IDirectDrawSurface7* surface,
                                          const RECT& rect, FramePixels layout) {
  return new StreamSample(std::move(engine), surface, rect, layout);
}

}  // namespace plat::dshow
