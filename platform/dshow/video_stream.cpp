// The primary video stream: its three faces, the frame format, and samples over the caller's surface
// or one of its own.
#include "platform/dshow/dshow_internal.h"

namespace plat::dshow {
namespace {

// The layout frames are written in for an RGB surface format; false for formats we do not write.
bool LayoutOf(const DDPIXELFORMAT& f, FramePixels* out) {
  if (!(f.dwFlags & DDPF_RGB) || (f.dwFlags & (DDPF_FOURCC | DDPF_PALETTEINDEXED8))) return false;
  const DWORD r = f.dwRBitMask, g = f.dwGBitMask, b = f.dwBBitMask;
  switch (f.dwRGBBitCount) {
    case 32:
      if (r == 0xFF0000 && g == 0xFF00 && b == 0xFF) return *out = FramePixels::Bgrx32, true;
      if (r == 0xFF && g == 0xFF00 && b == 0xFF0000) return *out = FramePixels::Rgbx32, true;
      return false;
    case 24:
      if (r == 0xFF0000 && g == 0xFF00 && b == 0xFF) return *out = FramePixels::Bgr24, true;
      if (r == 0xFF && g == 0xFF00 && b == 0xFF0000) return *out = FramePixels::Rgb24, true;
      return false;
    case 16:
      if (r == 0xF800 && g == 0x07E0 && b == 0x001F) return *out = FramePixels::Rgb565, true;
      if (r == 0x7C00 && g == 0x03E0 && b == 0x001F) return *out = FramePixels::Rgb555, true;
      return false;
    default: return false;
  }
}

DDPIXELFORMAT Xrgb32() {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof(f);
  f.dwFlags = DDPF_RGB;
  f.dwRGBBitCount = 32;
  f.dwRBitMask = 0xFF0000;
  f.dwGBitMask = 0xFF00;
  f.dwBBitMask = 0xFF;
  return f;
}

class VideoStream final : public IMediaStream, public IAMMediaStream, public IDirectDrawMediaStream {
 public:
  VideoStream(std::shared_ptr<MovieEngine> engine, IDirectDraw7* directDraw)
      : engine_(std::move(engine)), directDraw_(directDraw) {
    if (directDraw_ != nullptr) directDraw_->AddRef();
    CountObject(&DShowState::mediaStreams, 1);
  }

  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT QueryInterface(REFIID iid, void** out) override {
    return AnswerQuery(iid, out,
                       {{&IID_IMediaStream, static_cast<IMediaStream*>(this), nullptr},
                        {&IID_IAMMediaStream, static_cast<IAMMediaStream*>(this), "QueryInterface(IID_IAMMediaStream)"},
                        {&IID_IDirectDrawMediaStream, static_cast<IDirectDrawMediaStream*>(this),
                         "QueryInterface(IID_IDirectDrawMediaStream)"}},
                       [this] { AddRef(); });
  }

  HRESULT GetFormat(DDSURFACEDESC* current, IDirectDrawPalette** palette, DDSURFACEDESC* desired,
                    DWORD* flags) override {
    HRESULT forced;
    if (Faulted("GetFormat", &forced)) return forced;
    if (palette != nullptr) *palette = nullptr;
    if (flags != nullptr) *flags = 0;
    int width = 0;
    int height = 0;
    {
      std::lock_guard<std::mutex> lock(engine_->mutex);
      if (!engine_->OpenedLocked()) return MS_E_NOSTREAM;
      width = engine_->DecoderLocked()->Width();
      height = engine_->DecoderLocked()->Height();
    }
    for (DDSURFACEDESC* desc : {current, desired}) {
      if (desc == nullptr) continue;
      if (desc->dwSize != sizeof(DDSURFACEDESC)) return E_INVALIDARG;
      *desc = DDSURFACEDESC{};
      desc->dwSize = sizeof(DDSURFACEDESC);
      desc->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
      desc->dwWidth = static_cast<DWORD>(width);
      desc->dwHeight = static_cast<DWORD>(height);
      desc->ddpfPixelFormat = FrameFormat();
      desc->ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    }
    return S_OK;
  }

  HRESULT CreateSample(IDirectDrawSurface* surface, const RECT* rect, DWORD, IDirectDrawStreamSample** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    HRESULT forced;
    if (Faulted("CreateSample", &forced)) return forced;
    int width = 0;
    int height = 0;
    {
      std::lock_guard<std::mutex> lock(engine_->mutex);
      if (!engine_->OpenedLocked() || !engine_->DecoderLocked()->HasVideo()) return MS_E_NOSTREAM;
      width = engine_->DecoderLocked()->Width();
      height = engine_->DecoderLocked()->Height();
    }
    // Every surface's version-1 face is its version-7 face (platform/ddraw): no QueryInterface, which a
    // test may have set to fail for the caller's own asking.
    IDirectDrawSurface7* target = static_cast<IDirectDrawSurface7*>(surface);
    if (target != nullptr) {
      target->AddRef();
    } else if (const HRESULT made = MakeOwnSurface(width, height, &target); made != S_OK) {
      return made;
    }
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    target->GetSurfaceDesc(&desc);
    FramePixels layout{};
    const RECT place = rect != nullptr ? *rect : RECT{0, 0, width, height};
    HRESULT result = S_OK;
    if (!LayoutOf(desc.ddpfPixelFormat, &layout)) {
      result = DDERR_INVALIDPIXELFORMAT;
    } else if (desc.dwWidth < static_cast<DWORD>(width) || desc.dwHeight < static_cast<DWORD>(height)) {
      result = MS_E_INCOMPATIBLE;
    } else if (place.right - place.left != width || place.bottom - place.top != height || place.left < 0 ||
               place.top < 0 || place.right > static_cast<LONG>(desc.dwWidth) ||
               place.bottom > static_cast<LONG>(desc.dwHeight)) {
      result = E_INVALIDARG;
    } else {
      *out = MakeStreamSample(engine_, target, place, layout);
    }
    target->Release();
    return result;
  }

 private:
  ~VideoStream() override {
    if (directDraw_ != nullptr) directDraw_->Release();
    CountObject(&DShowState::mediaStreams, -1);
  }

  // The display's format when frames can be written in it, else 32-bit XRGB.
  DDPIXELFORMAT FrameFormat() const {
    DDSURFACEDESC2 mode{};
    mode.dwSize = sizeof(mode);
    FramePixels layout;
    if (directDraw_ != nullptr && directDraw_->GetDisplayMode(&mode) == DD_OK && LayoutOf(mode.ddpfPixelFormat, &layout)) {
      return mode.ddpfPixelFormat;
    }
    return Xrgb32();
  }

  // A system-memory surface of the frame size, through the stream's DirectDraw object or a new one.
  HRESULT MakeOwnSurface(int width, int height, IDirectDrawSurface7** out) {
    IDirectDraw7* object = directDraw_;
    if (object != nullptr) {
      object->AddRef();
    } else {
      HRESULT made = CoCreateInstance(CLSID_DirectDraw7, nullptr, CLSCTX_INPROC_SERVER, IID_IDirectDraw7,
                                      reinterpret_cast<void**>(&object));
      if (made == S_OK && (made = object->Initialize(nullptr)) != DD_OK) object->Release();
      if (made != S_OK) return MS_E_SAMPLEALLOC;
    }
    DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PIXELFORMAT;
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddpfPixelFormat = FrameFormat();
    const HRESULT result = object->CreateSurface(&desc, out, nullptr);
    object->Release();
    return result == DD_OK ? S_OK : MS_E_SAMPLEALLOC;
  }

  std::shared_ptr<MovieEngine> engine_;
  IDirectDraw7* directDraw_;  // referenced; may be null
  ULONG refs_ = 1;
};

}  // namespace

IMediaStream* MakeVideoStream(std::shared_ptr<MovieEngine> engine, IDirectDraw7* directDraw) {
  return new VideoStream(std::move(engine), directDraw);
}

}  // namespace plat::dshow
