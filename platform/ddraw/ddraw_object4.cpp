// The version-4 face of a DirectDraw object: a small object that keeps the real one alive and answers
// QueryInterface with its faces (movie streams take this face and ask it for the version-7 one).
#include "platform/ddraw/ddraw_internal.h"

namespace plat::ddraw {
namespace {

class DirectDraw4 final : public IDirectDraw4 {
 public:
  explicit DirectDraw4(IDirectDraw7* owner) : owner_(owner) { owner_->AddRef(); }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == IID_IDirectDraw4) {
      AddRef();
      *out = static_cast<IDirectDraw4*>(this);
      return S_OK;
    }
    return owner_->QueryInterface(iid, out);
  }

 private:
  ~DirectDraw4() override { owner_->Release(); }
  IDirectDraw7* owner_;
  ULONG refs_ = 1;
};

}  // namespace

IDirectDraw4* MakeDirectDraw4(IDirectDraw7* owner) { return new DirectDraw4(owner); }

}  // namespace plat::ddraw
