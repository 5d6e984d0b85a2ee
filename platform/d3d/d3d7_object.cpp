// The Direct3D object: device and format enumeration over the pretended driver, and device creation.
// QueryInterface(IID_IDirect3D7) on a DirectDraw object makes one; it keeps that object alive.
#include <cstring>
#include <string>

#include "platform/d3d/d3d7_internal.h"
#include "platform/ddraw/surface_view.h"

namespace plat::d3d {
namespace {

bool Configured(const test::D3DConfig& config, const GUID& type) {
  for (const test::D3DDeviceConfig& d : config.devices) {
    if (d.desc.deviceGUID == type) return true;
  }
  return false;
}

HRESULT EnumFormats(const std::vector<DDPIXELFORMAT>& formats, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) {
  for (const DDPIXELFORMAT& f : formats) {
    DDPIXELFORMAT lent = f;
    if (callback(&lent, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

class Direct3D7 final : public IDirect3D7 {
 public:
  explicit Direct3D7(IDirectDraw7* owner) : owner_(owner) {
    owner_->AddRef();
    std::lock_guard<std::mutex> lock(State().mutex);
    ++State().liveObjects;
  }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT EnumDevices(LPD3DENUMDEVICESCALLBACK7 callback, void* context) override {
    test::D3DCall call;
    call.call = "EnumDevices";
    HRESULT result = D3D_OK;
    if (!Faulted("EnumDevices", &result)) {
      if (callback == nullptr) {
        result = DDERR_INVALIDPARAMS;
      } else {
        for (const test::D3DDeviceConfig& d : Config().devices) {
          std::string description = d.description, name = d.name;
          D3DDEVICEDESC7 desc = d.desc;
          if (callback(description.data(), name.data(), &desc, context) == D3DENUMRET_CANCEL) break;
        }
      }
    }
    call.result = result;
    Record(std::move(call));
    return result;
  }

  HRESULT EnumZBufferFormats(REFCLSID device, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) override {
    test::D3DCall call;
    call.call = "EnumZBufferFormats";
    call.guid = device;
    HRESULT result = D3D_OK;
    if (!Faulted("EnumZBufferFormats", &result)) {
      const test::D3DConfig config = Config();
      if (callback == nullptr || !Configured(config, device)) {
        result = DDERR_INVALIDPARAMS;
      } else {
        result = EnumFormats(config.zBufferFormats, callback, context);
      }
    }
    call.result = result;
    Record(std::move(call));
    return result;
  }

  HRESULT CreateDevice(REFCLSID type, IDirectDrawSurface7* target, IDirect3DDevice7** out) override {
    test::D3DCall call;
    call.call = "CreateDevice";
    call.guid = type;
    call.surface = target;
    HRESULT result = D3D_OK;
    if (out != nullptr) *out = nullptr;
    if (!Faulted("CreateDevice", &result)) result = d3d::CreateDevice(this, type, target, out);
    call.result = result;
    Record(std::move(call));
    return result;
  }

 private:
  ~Direct3D7() override {
    owner_->Release();
    std::lock_guard<std::mutex> lock(State().mutex);
    --State().liveObjects;
  }

  IDirectDraw7* owner_;
  ULONG refs_ = 1;
};

}  // namespace

HRESULT CreateDirect3DObject(IDirectDraw7* owner, void** out) {
  if (out == nullptr) return E_POINTER;
  *out = nullptr;
  test::D3DCall call;
    call.call = "QueryInterface";
  HRESULT result = S_OK;
  bool refused;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    refused = State().refuse;
  }
  if (!Faulted("QueryInterface", &result)) {
    if (refused) {
      result = E_NOINTERFACE;
    } else {
      *out = static_cast<IDirect3D7*>(new Direct3D7(owner));
    }
  }
  call.result = result;
  Record(std::move(call));
  return result;
}

}  // namespace plat::d3d
