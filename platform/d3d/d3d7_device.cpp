// The Direct3D device: render and texture-stage states (stored in full; the rasteriser reads the ones
// that draw), bound textures and render target (referenced), viewport, stored transforms, scenes,
// the draw calls that turn lists, strips and indexed strips into triangles, and Load. While a test keeps
// the call record, every call goes into it with copies of the vertices and indices drawn.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>

#include "platform/d3d/d3d7_internal.h"
#include "platform/d3d/d3d7_raster.h"
#include "platform/ddraw/surface_view.h"

namespace plat::d3d {
namespace {

constexpr DWORD kMaxVertices = 65536;  // per draw: u16 indices reach no further

// The documented defaults of a new device.
void DefaultStates(DrawStates* s, bool hasZ) {
  std::memset(s, 0, sizeof(*s));
  DWORD* r = s->render;
  r[D3DRENDERSTATE_TEXTUREPERSPECTIVE] = 1;
  r[D3DRENDERSTATE_ZENABLE] = hasZ ? D3DZB_TRUE : D3DZB_FALSE;
  r[D3DRENDERSTATE_FILLMODE] = 3;  // solid
  r[D3DRENDERSTATE_SHADEMODE] = D3DSHADE_GOURAUD;
  r[D3DRENDERSTATE_ZWRITEENABLE] = 1;
  r[D3DRENDERSTATE_LASTPIXEL] = 1;
  r[D3DRENDERSTATE_SRCBLEND] = D3DBLEND_ONE;
  r[D3DRENDERSTATE_DESTBLEND] = D3DBLEND_ZERO;
  r[D3DRENDERSTATE_CULLMODE] = D3DCULL_CCW;
  r[D3DRENDERSTATE_ZFUNC] = D3DCMP_LESSEQUAL;
  r[D3DRENDERSTATE_ALPHAFUNC] = D3DCMP_ALWAYS;
  r[D3DRENDERSTATE_TEXTUREFACTOR] = 0xFFFFFFFF;
  r[D3DRENDERSTATE_CLIPPING] = 1;
  r[D3DRENDERSTATE_LIGHTING] = 1;
  r[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE] = D3DMCS_COLOR1;
  r[D3DRENDERSTATE_SPECULARMATERIALSOURCE] = D3DMCS_COLOR2;
  for (DWORD i = 0; i < kD3DMaxTextureStages; ++i) {
    DWORD* t = s->stage[i];
    t[D3DTSS_COLOROP] = i == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
    t[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
    t[D3DTSS_COLORARG2] = D3DTA_CURRENT;
    t[D3DTSS_ALPHAOP] = i == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
    t[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
    t[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
    t[D3DTSS_TEXCOORDINDEX] = i;
    t[D3DTSS_ADDRESS] = D3DTADDRESS_WRAP;
    t[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
    t[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
    t[D3DTSS_MAGFILTER] = D3DTFG_POINT;
    t[D3DTSS_MINFILTER] = D3DTFN_POINT;
    t[D3DTSS_MIPFILTER] = D3DTFP_NONE;
  }
}

// A surface the rasteriser can draw into: 16- or 32-bit RGB.
bool RenderableTarget(IDirectDrawSurface7* surface) {
  ddraw::SurfaceView v;
  if (!ddraw::IsLiveSurface(surface) || !ddraw::ViewSurface(surface, &v)) return false;
  const DDPIXELFORMAT& f = v.format;
  return (f.dwFlags & DDPF_RGB) != 0 && (f.dwRGBBitCount == 16 || f.dwRGBBitCount == 32);
}

DWORD TargetDepth(IDirectDrawSurface7* surface) {
  ddraw::SurfaceView v;
  ddraw::ViewSurface(surface, &v);
  return v.format.dwRGBBitCount;
}

RECT WholeSurface(IDirectDrawSurface7* surface) {
  ddraw::SurfaceView v;
  ddraw::ViewSurface(surface, &v);
  return RECT{0, 0, v.width, v.height};
}

class Device7 final : public IDirect3DDevice7 {
 public:
  Device7(IDirect3D7* owner, IDirectDrawSurface7* target, bool ownDepthTargetsOnly)
      : owner_(owner), target_(target), ownDepthTargetsOnly_(ownDepthTargetsOnly) {
    owner_->AddRef();
    target_->AddRef();
    ddraw::SurfaceView v;
    ddraw::ViewSurface(target, &v);
    depthBits_ = v.format.dwRGBBitCount;
    DefaultStates(&states_, v.zbuffer != nullptr);
    states_.viewport = D3DVIEWPORT7{0, 0, static_cast<DWORD>(v.width), static_cast<DWORD>(v.height), 0.0f, 1.0f};
    TakeRoadSwitches();
    std::lock_guard<std::mutex> lock(State().mutex);
    ++State().liveDevices;
  }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) override {
    auto call = Begin("EnumTextureFormats");
    HRESULT result = D3D_OK;
    if (!Faulted("EnumTextureFormats", &result)) {
      if (callback == nullptr) {
        result = DDERR_INVALIDPARAMS;
      } else {
        for (const DDPIXELFORMAT& f : Config().textureFormats) {
          DDPIXELFORMAT lent = f;
          if (callback(&lent, context) == D3DENUMRET_CANCEL) break;
        }
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT BeginScene() override {
    auto call = Begin("BeginScene");
    HRESULT result = D3D_OK;
    if (!Faulted("BeginScene", &result)) {
      if (inScene_) {
        result = D3DERR_SCENE_IN_SCENE;
      } else {
        inScene_ = true;
        TakeRoadSwitches();
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT EndScene() override {
    auto call = Begin("EndScene");
    HRESULT result = D3D_OK;
    if (!Faulted("EndScene", &result)) {
      if (!inScene_) {
        result = D3DERR_SCENE_NOT_IN_SCENE;
      } else {
        inScene_ = false;
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT SetRenderTarget(IDirectDrawSurface7* target, DWORD flags) override {
    auto call = Begin("SetRenderTarget");
    if (call) {
      call->surface = target;
      call->args = {flags};
    }
    HRESULT result = D3D_OK;
    if (!Faulted("SetRenderTarget", &result)) {
      if (!RenderableTarget(target)) {
        result = DDERR_INVALIDPARAMS;
      } else if (ownDepthTargetsOnly_ && TargetDepth(target) != depthBits_) {
        result = DDERR_INVALIDPIXELFORMAT;
      } else {
        target->AddRef();
        target_->Release();
        target_ = target;  // the viewport stays as it was
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT SetTransform(D3DTRANSFORMSTATETYPE type, D3DMATRIX* matrix) override {
    auto call = Begin("SetTransform");
    if (call) {
      call->args = {type};
      if (matrix != nullptr) call->matrix = *matrix;
    }
    HRESULT result = D3D_OK;
    if (!Faulted("SetTransform", &result)) {
      if (matrix == nullptr || type == 0) {
        result = DDERR_INVALIDPARAMS;
      } else {
        transforms_[type] = *matrix;
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT SetViewport(D3DVIEWPORT7* viewport) override {
    auto call = Begin("SetViewport");
    if (call && viewport != nullptr) call->viewport = *viewport;
    HRESULT result = D3D_OK;
    if (!Faulted("SetViewport", &result)) {
      const RECT bounds = WholeSurface(target_);
      // The viewport must lie on the render target, as on a real device.
      if (viewport == nullptr || viewport->dwWidth == 0 || viewport->dwHeight == 0 ||
          uint64_t{viewport->dwX} + viewport->dwWidth > static_cast<uint64_t>(bounds.right) ||
          uint64_t{viewport->dwY} + viewport->dwHeight > static_cast<uint64_t>(bounds.bottom)) {
        result = DDERR_INVALIDPARAMS;
      } else {
        states_.viewport = *viewport;
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
    auto call = Begin("SetRenderState");
    if (call) call->args = {state, value};
    HRESULT result = D3D_OK;
    char named[32];  // the per-state failure name, made without an allocation on this busy call
    std::snprintf(named, sizeof named, "SetRenderState:%u", static_cast<unsigned>(state));
    if (!Faulted("SetRenderState", &result) && !Faulted(named, &result)) {
      if (state == 0 || state >= kD3DRenderStateCount) {
        result = DDERR_INVALIDPARAMS;
      } else {
        states_.render[state] = value;
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT SetTexture(DWORD stage, IDirectDrawSurface7* texture) override {
    auto call = Begin("SetTexture");
    if (call) {
      call->args = {stage};
      call->surface = texture;
    }
    HRESULT result = D3D_OK;
    if (!Faulted("SetTexture", &result)) {
      if (stage >= kD3DMaxTextureStages || (texture != nullptr && !ddraw::IsLiveSurface(texture))) {
        result = DDERR_INVALIDPARAMS;
      } else {
        if (texture != nullptr) texture->AddRef();
        if (states_.textures[stage] != nullptr) states_.textures[stage]->Release();
        states_.textures[stage] = texture;
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
    auto call = Begin("SetTextureStageState");
    if (call) call->args = {stage, type, value};
    HRESULT result = D3D_OK;
    if (!Faulted("SetTextureStageState", &result)) {
      if (stage >= kD3DMaxTextureStages || type == 0 || type >= kD3DStageStateCount) {
        result = DDERR_INVALIDPARAMS;
      } else {
        states_.stage[stage][type] = value;
        if (type == D3DTSS_ADDRESS) {
          states_.stage[stage][D3DTSS_ADDRESSU] = value;
          states_.stage[stage][D3DTSS_ADDRESSV] = value;
        }
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, void* vertices, DWORD count, DWORD flags) override {
    auto call = Begin("DrawPrimitive");
    const int stride = VertexStride(fvf);
    if (call) {
      call->args = {type, fvf, count, flags};
      if (stride != 0 && vertices != nullptr && count <= kMaxVertices) {
        const auto* bytes = static_cast<const uint8_t*>(vertices);
        call->vertices.assign(bytes, bytes + static_cast<size_t>(count) * stride);
      }
    }
    HRESULT result = D3D_OK;
    if (!Faulted("DrawPrimitive", &result)) {
      if (stride == 0 || vertices == nullptr || count > kMaxVertices ||
          (type != D3DPT_TRIANGLELIST && type != D3DPT_TRIANGLESTRIP)) {
        result = DDERR_INVALIDPARAMS;
      } else {
        triangles_.clear();
        if (type == D3DPT_TRIANGLELIST) {
          for (DWORD i = 0; i + 3 <= count; i += 3) triangles_.push_back({{i, i + 1, i + 2}});
        } else {
          for (DWORD i = 0; i + 3 <= count; ++i) triangles_.push_back(StripTriangle(i, i, i + 1, i + 2));
        }
        result = Draw(fvf, static_cast<const uint8_t*>(vertices), count);
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD fvf, void* vertices, DWORD vertexCount, WORD* indices,
                               DWORD indexCount, DWORD flags) override {
    auto call = Begin("DrawIndexedPrimitive");
    const int stride = VertexStride(fvf);
    if (call) {
      call->args = {type, fvf, vertexCount, indexCount, flags};
      if (stride != 0 && vertices != nullptr && vertexCount <= kMaxVertices) {
        const auto* bytes = static_cast<const uint8_t*>(vertices);
        call->vertices.assign(bytes, bytes + static_cast<size_t>(vertexCount) * stride);
      }
      if (indices != nullptr && indexCount <= 3 * kMaxVertices) call->indices.assign(indices, indices + indexCount);
    }
    HRESULT result = D3D_OK;
    if (!Faulted("DrawIndexedPrimitive", &result)) {
      if (stride == 0 || vertices == nullptr || indices == nullptr || vertexCount > kMaxVertices ||
          indexCount > 3 * kMaxVertices || (type != D3DPT_TRIANGLELIST && type != D3DPT_TRIANGLESTRIP)) {
        result = DDERR_INVALIDPARAMS;
      } else {
        triangles_.clear();
        if (type == D3DPT_TRIANGLELIST) {
          for (DWORD i = 0; i + 3 <= indexCount; i += 3) {
            triangles_.push_back({{indices[i], indices[i + 1], indices[i + 2]}});
          }
        } else {
          for (DWORD i = 0; i + 3 <= indexCount; ++i) {
            triangles_.push_back(StripTriangle(i, indices[i], indices[i + 1], indices[i + 2]));
          }
        }
        result = Draw(fvf, static_cast<const uint8_t*>(vertices), vertexCount);
      }
    }
    return Finish(std::move(call), result);
  }

  HRESULT Load(IDirectDrawSurface7* dest, POINT* destPoint, IDirectDrawSurface7* source, RECT* sourceRect,
               DWORD flags) override;

 private:
  ~Device7() override {
    for (IDirectDrawSurface7*& t : states_.textures) {
      if (t != nullptr) t->Release();
      t = nullptr;
    }
    target_->Release();
    owner_->Release();
    std::lock_guard<std::mutex> lock(State().mutex);
    --State().liveDevices;
  }

  // The call's record entry, or nothing (and no copying) while no test keeps the record.
  std::optional<test::D3DCall> Begin(const char* name) const {
    if (!Recording()) return std::nullopt;
    test::D3DCall call;
    call.call = name;
    call.inScene = inScene_;
    return call;
  }

  static HRESULT Finish(std::optional<test::D3DCall> call, HRESULT result) {
    if (call) {
      call->result = result;
      Record(std::move(*call));
    }
    return result;
  }

  // Once a scene rather than once a draw: the switches are the same for every draw of a frame.
  void TakeRoadSwitches() {
    const RoadSwitches roads = ReadRoadSwitches();
    states_.fastPaths = roads.fastPaths;
    states_.avx2 = roads.avx2;
  }

  // Strip triangle i: odd ones are listed with their last two vertices swapped so that every
  // triangle of a strip has one winding; the first vertex stays the one the colours come from.
  static TriangleIndices StripTriangle(DWORD i, DWORD a, DWORD b, DWORD c) {
    return (i & 1) ? TriangleIndices{{a, c, b}} : TriangleIndices{{a, b, c}};
  }

  HRESULT Draw(DWORD fvf, const uint8_t* vertices, DWORD vertexCount) {
    if (!inScene_) {
      std::lock_guard<std::mutex> lock(State().mutex);
      ++State().drawsOutsideScene;
    }
    return DrawTriangles(states_, target_, fvf, vertices, vertexCount, triangles_.data(), triangles_.size());
  }

  IDirect3D7* owner_;
  IDirectDrawSurface7* target_;  // referenced
  bool ownDepthTargetsOnly_;
  DWORD depthBits_ = 0;  // of the target the device was made on
  DrawStates states_;
  std::map<DWORD, D3DMATRIX> transforms_;
  std::vector<TriangleIndices> triangles_;  // reused between draws
  bool inScene_ = false;
  ULONG refs_ = 1;
};

HRESULT Device7::Load(IDirectDrawSurface7* dest, POINT* destPoint, IDirectDrawSurface7* source, RECT* sourceRect,
                      DWORD flags) {
  auto call = Begin("Load");
  if (call) {
    call->surface = dest;
    call->source = source;
    call->args = {flags};
    if (destPoint != nullptr) call->point = *destPoint;
  }
  HRESULT result = D3D_OK;
  if (Faulted("Load", &result)) return Finish(std::move(call), result);
  ddraw::SurfaceView d, s;
  if (!ddraw::IsLiveSurface(dest) || !ddraw::IsLiveSurface(source) || !ddraw::ViewSurface(dest, &d) ||
      !ddraw::ViewSurface(source, &s)) {
    return Finish(std::move(call), DDERR_INVALIDPARAMS);
  }
  const RECT r = sourceRect != nullptr ? *sourceRect : RECT{0, 0, s.width, s.height};
  const POINT p = destPoint != nullptr ? *destPoint : POINT{0, 0};
  if (call) call->rect = r;
  if (d.format.dwRGBBitCount != s.format.dwRGBBitCount || d.format.dwRBitMask != s.format.dwRBitMask ||
      d.format.dwGBitMask != s.format.dwGBitMask || d.format.dwBBitMask != s.format.dwBBitMask ||
      d.format.dwRGBAlphaBitMask != s.format.dwRGBAlphaBitMask) {
    return Finish(std::move(call), DDERR_INVALIDPIXELFORMAT);
  }
  const int64_t w = int64_t{r.right} - r.left, h = int64_t{r.bottom} - r.top;
  if (r.left < 0 || r.top < 0 || w <= 0 || h <= 0 || r.right > s.width || r.bottom > s.height || p.x < 0 ||
      p.y < 0 || p.x + w > d.width || p.y + h > d.height) {
    return Finish(std::move(call), DDERR_INVALIDRECT);
  }
  if (d.locked || s.locked) return Finish(std::move(call), DDERR_SURFACEBUSY);
  if (d.lost || s.lost) return Finish(std::move(call), DDERR_SURFACELOST);
  const size_t rowBytes = static_cast<size_t>(w) * static_cast<size_t>(s.bytesPerPixel);
  for (int64_t y = 0; y < h; ++y) {
    const uint8_t* from = s.pixels + static_cast<size_t>(r.top + y) * s.pitch + static_cast<size_t>(r.left) * s.bytesPerPixel;
    uint8_t* to = d.pixels + static_cast<size_t>(p.y + y) * d.pitch + static_cast<size_t>(p.x) * d.bytesPerPixel;
    std::memmove(to, from, rowBytes);  // the same texture may be both
  }
  return Finish(std::move(call), D3D_OK);
}

}  // namespace

HRESULT CreateDevice(IDirect3D7* owner, const GUID& type, IDirectDrawSurface7* target, IDirect3DDevice7** out) {
  if (out == nullptr) return DDERR_INVALIDPARAMS;
  const test::D3DConfig config = Config();
  const test::D3DDeviceConfig* chosen = nullptr;
  for (const test::D3DDeviceConfig& d : config.devices) {
    if (d.desc.deviceGUID == type) chosen = &d;
  }
  if (chosen == nullptr) return D3DERR_INVALID_DEVICE;
  if (!RenderableTarget(target)) return DDERR_INVALIDPARAMS;
  const DWORD depthBit = TargetDepth(target) == 16 ? DDBD_16 : DDBD_32;
  if ((chosen->desc.dwDeviceRenderBitDepth & depthBit) == 0) return DDERR_INVALIDPIXELFORMAT;
  *out = new Device7(owner, target, chosen->ownDepthTargetsOnly);
  return D3D_OK;
}

}  // namespace plat::d3d
