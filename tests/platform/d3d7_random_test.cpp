// The Direct3D stand-in under random input: hostile triangles (huge, degenerate, off-target, NaN and
// infinite coordinates) under random states never write outside the viewport, and the specialised
// loops give the same bytes as the general road on random scenes, where a batch also plans the sprite
// pieces it blits again and again.
#include <array>
#include <cmath>
#include <limits>
#include <random>

#include "d3d7_test_fixture.h"

namespace {

using namespace d3d_test;

class Scenes {
 public:
  explicit Scenes(uint32_t seed) : rng_(seed) {}

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  float Real(float lo, float hi) { return std::uniform_real_distribution<float>(lo, hi)(rng_); }
  bool Chance(int percent) { return Int(0, 99) < percent; }

  // A coordinate from a hostile mix.
  float Hostile(float lo, float hi) {
    switch (Int(0, 9)) {
      case 0: return std::numeric_limits<float>::quiet_NaN();
      case 1: return Chance(50) ? std::numeric_limits<float>::infinity() : -std::numeric_limits<float>::infinity();
      case 2: return (Chance(50) ? 1 : -1) * std::pow(10.0f, Real(4, 30));
      case 3: return (Chance(50) ? 1 : -1) * Real(16777000.0f, 16777300.0f);  // around the drawable limit
      default: return Real(lo, hi);
    }
  }

  DWORD Colour() { return static_cast<DWORD>(rng_()); }

  // Random render and stage states, a random texture on stage 0 and sometimes stage 1.
  void States(IDirect3DDevice7* device, const std::vector<IDirectDrawSurface7*>& textures) {
    static const DWORD kBlends[] = {D3DBLEND_ZERO, D3DBLEND_ONE, D3DBLEND_SRCCOLOR, D3DBLEND_INVSRCCOLOR,
                                    D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, D3DBLEND_DESTALPHA,
                                    D3DBLEND_INVDESTCOLOR, D3DBLEND_SRCALPHASAT, D3DBLEND_BOTHSRCALPHA};
    static const DWORD kOps[] = {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE, D3DTOP_MODULATE2X,
                                 D3DTOP_MODULATE4X, D3DTOP_ADD, D3DTOP_SUBTRACT, D3DTOP_BLENDDIFFUSEALPHA,
                                 D3DTOP_BLENDCURRENTALPHA, D3DTOP_BLENDTEXTUREALPHA};
    auto op = [&] { return kOps[Int(0, 9)]; };
    auto arg = [&] { return static_cast<DWORD>(Int(0, 4)) | (Chance(15) ? D3DTA_COMPLEMENT : 0); };
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, Chance(60));
    if (Chance(50)) {
      device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
      device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    } else {
      device->SetRenderState(D3DRENDERSTATE_SRCBLEND, kBlends[Int(0, 9)]);
      device->SetRenderState(D3DRENDERSTATE_DESTBLEND, kBlends[Int(0, 8)]);
    }
    device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, Chance(30));
    device->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, static_cast<DWORD>(Int(1, 8)));
    device->SetRenderState(D3DRENDERSTATE_ALPHAREF, static_cast<DWORD>(Int(0, 255)));
    device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, Chance(30));
    device->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, Colour());
    device->SetRenderState(D3DRENDERSTATE_ZENABLE, Chance(40));
    device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, Chance(70));
    device->SetRenderState(D3DRENDERSTATE_ZFUNC, static_cast<DWORD>(Int(1, 8)));
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, Chance(70) ? D3DCULL_NONE : static_cast<DWORD>(Int(2, 3)));
    const bool simple = Chance(50);  // the library's usual single stage
    for (DWORD s = 0; s < 3; ++s) {
      const bool on = s == 0 || (!simple && Chance(50));
      device->SetTexture(s, on && Chance(85) ? textures[Int(0, static_cast<int>(textures.size()) - 1)] : nullptr);
      device->SetTextureStageState(s, D3DTSS_COLOROP, on ? (simple ? D3DTOP_MODULATE : op()) : D3DTOP_DISABLE);
      device->SetTextureStageState(s, D3DTSS_COLORARG1, simple ? D3DTA_TEXTURE : arg());
      device->SetTextureStageState(s, D3DTSS_COLORARG2, simple ? D3DTA_DIFFUSE : arg());
      device->SetTextureStageState(s, D3DTSS_ALPHAOP, simple ? (Chance(50) ? D3DTOP_MODULATE : D3DTOP_SELECTARG1) : op());
      device->SetTextureStageState(s, D3DTSS_ALPHAARG1, simple ? D3DTA_TEXTURE : arg());
      device->SetTextureStageState(s, D3DTSS_ALPHAARG2, simple ? D3DTA_DIFFUSE : arg());
      device->SetTextureStageState(s, D3DTSS_TEXCOORDINDEX, static_cast<DWORD>(Int(0, 2)));
      device->SetTextureStageState(s, D3DTSS_ADDRESS, static_cast<DWORD>(Int(1, 4)));
      const DWORD filter = Chance(70) ? D3DTFG_POINT : D3DTFG_LINEAR;
      device->SetTextureStageState(s, D3DTSS_MAGFILTER, filter);
      device->SetTextureStageState(s, D3DTSS_MINFILTER, filter);
    }
  }

  std::mt19937 rng_;
};

// One texture of each layout, `side` texels square (0: random sizes) or `side` by `rows`.
std::vector<IDirectDrawSurface7*> KeyedTextures(D3DTest* test, Scenes* r,
                                                std::function<IDirectDrawSurface7*(int, int, const DDPIXELFORMAT&)> make,
                                                int side = 0, int rows = 0) {
  std::vector<IDirectDrawSurface7*> out;
  const DDPIXELFORMAT formats[] = {Format565(), Format1555(), Format4444(), FormatX888(), Format8888(), Format555()};
  for (const DDPIXELFORMAT& f : formats) {
    const int w = side != 0 ? side : 1 << r->Int(0, 5), h = rows != 0 ? rows : side != 0 ? side : 1 << r->Int(0, 5);
    IDirectDrawSurface7* t = make(w, h, f);
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof(d);
    t->Lock(nullptr, &d, DDLOCK_WAIT | DDLOCK_WRITEONLY, nullptr);
    int run = 0, kind = 0;  // texels left in the current run, and its alpha: mixed, clear or opaque
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        // Sprite-like alpha: runs of clear, of opaque and of mixed texels (so whole vector groups take
        // the clear and opaque shortcuts), and a few of the key colour.
        if (run-- == 0) {
          run = r->Int(1, 20);
          kind = r->Int(0, 2);
        }
        uint32_t v = r->Colour();
        if (kind == 1 || (kind == 0 && r->Chance(20))) v &= 0x00FFFFFF;
        if (kind == 2 || (kind == 0 && r->Chance(30))) v |= 0xFF000000;
        if (r->Chance(kind == 0 ? 10 : 2)) v = 0xFF00FF00;
        std::memcpy(static_cast<uint8_t*>(d.lpSurface) + y * d.lPitch + x * (f.dwRGBBitCount / 8), &v,
                    f.dwRGBBitCount / 8);
      }
    }
    t->Unlock(nullptr);
    DDCOLORKEY key{0xFF00FF00 & (f.dwRBitMask | f.dwGBitMask | f.dwBBitMask | f.dwRGBAlphaBitMask),
                   0xFF00FF00 & (f.dwRBitMask | f.dwGBitMask | f.dwBBitMask | f.dwRGBAlphaBitMask)};
    t->SetColorKey(DDCKEY_SRCBLT, &key);
    out.push_back(t);
  }
  (void)test;
  return out;
}

// Vertices of the largest format; the draw picks its stride.
void PutVertex(std::vector<uint8_t>* out, DWORD fvf, float x, float y, float z, DWORD diffuse, float u, float v,
               float u1, float v1) {
  VertexTex2 t{x, y, z, 1, diffuse, 0xFFFFFFFF, u, v, u1, v1};
  VertexTex1 t1{x, y, z, 1, diffuse, u, v};
  VertexDiffuse d{x, y, z, 1, diffuse};
  const uint8_t* p = fvf == kFvfTex2 ? reinterpret_cast<uint8_t*>(&t)
                                     : fvf == kFvfTex1 ? reinterpret_cast<uint8_t*>(&t1) : reinterpret_cast<uint8_t*>(&d);
  const size_t n = fvf == kFvfTex2 ? sizeof(t) : fvf == kFvfTex1 ? sizeof(t1) : sizeof(d);
  out->insert(out->end(), p, p + n);
}

// The library's sprite stage: the texel times the diffuse, the alpha the texel's or their product.
void SpriteStage(IDirect3DDevice7* dev, bool alphaModulates, DWORD filter) {
  dev->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
  dev->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
  dev->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
  dev->SetTextureStageState(0, D3DTSS_ALPHAOP, alphaModulates ? D3DTOP_MODULATE : D3DTOP_SELECTARG1);
  dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
  dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE);
  dev->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
  dev->SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
  dev->SetTextureStageState(0, D3DTSS_MINFILTER, filter);
  dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
}

TEST_F(D3DTest, HostileTrianglesNeverWriteOutsideTheViewport) {
  Scenes r(12345);
  for (const DDPIXELFORMAT& format : {FormatX888(), Format565()}) {
    IDirectDrawSurface7* target = Target(96, 80, format);
    IDirectDrawSurface7* z = Surface(96, 80, test::MakeZBufferPixelFormat(16), DDSCAPS_ZBUFFER);
    ASSERT_EQ(target->AddAttachedSurface(z), DD_OK);
    const DWORD guard = format.dwRGBBitCount == 16 ? 0x5A5A : 0x5A5A5A;
    Fill(target, nullptr, guard);
    Fill(z, nullptr, 0xA5A5);
    MakeDevice(target);
    D3DVIEWPORT7 vp{16, 12, 64, 56, 0.0f, 1.0f};
    ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
    const auto textures = KeyedTextures(this, &r, [&](int w, int h, const DDPIXELFORMAT& f) { return Texture(w, h, f); });
    int triangles = 0;
    while (triangles < 10000) {
      r.States(device, textures);
      const DWORD fvf = std::array<DWORD, 3>{kFvfDiffuse, kFvfTex1, kFvfTex2}[r.Int(0, 2)];
      std::vector<uint8_t> vertices;
      const int count = r.Int(3, 12);
      std::vector<float> xs, ys;
      for (int i = 0; i < count; ++i) {
        float x = r.Hostile(-60, 160), y = r.Hostile(-60, 140);
        if (i > 0 && r.Chance(15)) x = xs[r.Int(0, i - 1)], y = ys[r.Int(0, i - 1)];  // degenerate
        xs.push_back(x);
        ys.push_back(y);
        PutVertex(&vertices, fvf, x, y, r.Hostile(-0.5f, 1.5f), r.Colour(), r.Hostile(-3, 3), r.Hostile(-3, 3),
                  r.Hostile(-3, 3), r.Hostile(-3, 3));
      }
      HRESULT result;
      if (r.Chance(60)) {
        result = device->DrawPrimitive(D3DPT_TRIANGLELIST, fvf, vertices.data(), static_cast<DWORD>(count), 0);
        triangles += count / 3;
      } else if (r.Chance(50)) {
        result = device->DrawPrimitive(D3DPT_TRIANGLESTRIP, fvf, vertices.data(), static_cast<DWORD>(count), 0);
        triangles += count - 2;
      } else {
        std::vector<WORD> indices(static_cast<size_t>(r.Int(3, 20)));
        for (WORD& i : indices) i = static_cast<WORD>(r.Int(0, count + 2));  // some past the vertices
        result = device->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, fvf, vertices.data(), static_cast<DWORD>(count),
                                              indices.data(), static_cast<DWORD>(indices.size()), 0);
        triangles += static_cast<int>(indices.size()) - 2;
      }
      ASSERT_EQ(result, D3D_OK);
    }
    int inside = 0;
    for (int y = 0; y < 80; ++y) {
      for (int x = 0; x < 96; ++x) {
        const bool in = x >= 16 && x < 80 && y >= 12 && y < 68;
        if (in) {
          inside += Raw(target, x, y) != guard;
          continue;
        }
        ASSERT_EQ(Raw(target, x, y), guard) << "target written outside the viewport at " << x << "," << y;
        ASSERT_EQ(Raw(z, x, y), 0xA5A5u) << "Z written outside the viewport at " << x << "," << y;
      }
    }
    EXPECT_GT(inside, 64 * 56 / 2) << "the draws reached the viewport";
    target->DeleteAttachedSurface(0, z);
    device->Release();
    device = nullptr;
  }
}

// The general road against the specialised loops on their SSE2 road and, where the processor runs it,
// their AVX2 road.
TEST_F(D3DTest, SpecialisedLoopsGiveTheGeneralRoadsBytes) {
  Scenes r(777);
  const int roads = test::D3DAvx2Supported() ? 3 : 2;
  for (const DDPIXELFORMAT& format : {FormatX888(), Format565(), Format555(), Format8888(), Format4444()}) {
    IDirectDrawSurface7* targets[3] = {Target(64, 48, format), Target(64, 48, format), Target(64, 48, format)};
    const auto textures =
        KeyedTextures(this, &r, [&](int w, int h, const DDPIXELFORMAT& f) { return Texture(w, h, f); }, 16);
    IDirect3DDevice7* devices[3];
    for (int i = 0; i < roads; ++i) {
      Fill(targets[i], nullptr, 0x3C3C3C3C & (format.dwRBitMask | format.dwGBitMask | format.dwBBitMask));
      test::UseD3DFastPaths(i != 0);  // 0: the general road, 1: SSE2 loops, 2: AVX2 loops
      test::UseD3DAvx2(i == 2);       // each device keeps the road it was made on
      ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, targets[i], &devices[i]), D3D_OK);
    }
    for (int draw = 0; draw < 300; ++draw) {
      const uint32_t seed = static_cast<uint32_t>(r.rng_());
      std::vector<uint8_t> vertices;
      DWORD fvf = 0;
      for (int i = 0; i < roads; ++i) {
        Scenes same(seed);  // both devices get the same states and geometry
        same.States(devices[i], textures);
        if (same.Chance(35)) {
          // The library's single-stage presets: each side the texel, a constant or their product; the
          // alpha sometimes left to the diffuse; sometimes nothing textured at all.
          static const DWORD kPresetOps[] = {D3DTOP_SELECTARG1, D3DTOP_SELECTARG2, D3DTOP_MODULATE, D3DTOP_DISABLE};
          static const DWORD kPresetArgs[] = {D3DTA_TEXTURE, D3DTA_DIFFUSE, D3DTA_TFACTOR, D3DTA_CURRENT,
                                              D3DTA_DIFFUSE | D3DTA_ALPHAREPLICATE};
          IDirect3DDevice7* dev = devices[i];
          dev->SetTextureStageState(0, D3DTSS_COLOROP, kPresetOps[same.Int(0, 2)]);
          dev->SetTextureStageState(0, D3DTSS_COLORARG1, kPresetArgs[same.Int(0, 4)]);
          dev->SetTextureStageState(0, D3DTSS_COLORARG2, kPresetArgs[same.Int(0, 4)]);
          dev->SetTextureStageState(0, D3DTSS_ALPHAOP, kPresetOps[same.Int(0, 3)]);
          dev->SetTextureStageState(0, D3DTSS_ALPHAARG1, kPresetArgs[same.Int(0, 3)]);
          dev->SetTextureStageState(0, D3DTSS_ALPHAARG2, kPresetArgs[same.Int(0, 3)]);
          dev->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
          if (same.Chance(20)) dev->SetTexture(0, nullptr);
        }
        fvf = std::array<DWORD, 3>{kFvfTex1, kFvfTex1, kFvfTex2}[same.Int(0, 2)];
        vertices.clear();
        const DWORD colour = same.Chance(50) ? 0xFFFFFFFF : same.Colour();
        auto quad = [&](float x0, float y0, float w, float h, float u0, float v0, float u1, float v1) {
          const float corners[6][4] = {{x0, y0, u0, v0}, {x0 + w, y0, u1, v0}, {x0, y0 + h, u0, v1},
                                       {x0, y0 + h, u0, v1}, {x0 + w, y0, u1, v0}, {x0 + w, y0 + h, u1, v1}};
          for (const auto& c : corners) PutVertex(&vertices, fvf, c[0], c[1], 0.3f, colour, c[2], c[3], c[2], c[3]);
        };
        if (same.Chance(50)) {
          // The library's sprite: any piece of a texture, texel for texel, blended over the target
          // (the blit road) or at times copied (a keyed sprite), partly off the target at times.
          IDirect3DDevice7* dev = devices[i];
          dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, same.Chance(85));
          dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
          dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
          dev->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, same.Chance(15));
          dev->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, same.Chance(15));
          dev->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
          const int texture = same.Chance(60) ? 4 : same.Int(0, static_cast<int>(textures.size()) - 1);  // 4: 8:8:8:8
          dev->SetTexture(0, textures[texture]);
          SpriteStage(dev, same.Chance(50), D3DTFG_POINT);
          const int tx = same.Int(0, 15), ty = same.Int(0, 15), tw = same.Int(1, 16 - tx), th = same.Int(1, 16 - ty);
          quad(same.Int(-20, 70) - 0.5f, same.Int(-20, 50) - 0.5f, static_cast<float>(tw), static_cast<float>(th),
               tx / 16.0f, ty / 16.0f, (tx + tw) / 16.0f, (ty + th) / 16.0f);
        } else if (same.Chance(60)) {
          // A graph-like quad: on half pixels, often texel for texel, sometimes stretched.
          const int tw = same.Chance(70) ? 16 : 1 << same.Int(0, 5), th = same.Chance(70) ? 16 : 1 << same.Int(0, 5);
          const float x0 = same.Int(-20, 70) - 0.5f, y0 = same.Int(-20, 50) - 0.5f;
          const float sx = same.Chance(70) ? 1.0f : same.Real(0.3f, 3.0f);
          const float w = tw * sx, h = th * (same.Chance(70) ? 1.0f : same.Real(0.3f, 3.0f));
          // Mostly inside the texture, where rows are read as rows; sometimes hanging over its edges.
          const bool inside = same.Chance(60);
          const float u0 = (inside ? 0 : same.Int(-2, 2)) / static_cast<float>(tw);
          const float v0 = (inside ? 0 : same.Int(-2, 2)) / static_cast<float>(th);
          const float u1 = u0 + (same.Chance(80) ? 1.0f : -1.0f), v1 = v0 + 1.0f;
          quad(x0, y0, w, h, u0, v0, u1, v1);
        } else {
          for (int k = 0; k < 6; ++k) {
            PutVertex(&vertices, fvf, same.Real(-20, 84), same.Real(-20, 68), same.Real(0, 1), colour,
                      same.Real(-2, 2), same.Real(-2, 2), same.Real(-2, 2), same.Real(-2, 2));
          }
        }
        if (same.Chance(25)) {
          // The second triangle in colours of its own: what the stages make of a texel is per triangle.
          const DWORD other = same.Colour();
          std::memcpy(vertices.data() + 3 * (vertices.size() / 6) + 16, &other, 4);
        }
        ASSERT_EQ(devices[i]->DrawPrimitive(D3DPT_TRIANGLELIST, fvf, vertices.data(), 6, 0), D3D_OK);
      }
      const test::SurfacePixels general = test::ReadSurface(targets[0]);
      for (int i = 1; i < roads; ++i) {
        ASSERT_EQ(general.bytes, test::ReadSurface(targets[i]).bytes)
            << (i == 1 ? "SSE2" : "AVX2") << " draw " << draw << " on " << format.dwRGBBitCount << "-bit " << std::hex
            << format.dwRBitMask << "/" << format.dwRGBAlphaBitMask;
      }
    }
    for (int i = 0; i < roads; ++i) devices[i]->Release();
  }
  // Every row of the fast-path table drew some of these scenes, so each was held to the general road.
  for (const std::string& name : test::D3DFastPathNames()) EXPECT_GT(test::D3DFastPathHits(name), 0u) << name;
}

// The library's batches: many overlapping sprites in one call, often one piece of the texture again
// and again or pieces of one size in turn, now and then a stretched quad or a free triangle pair between
// them, give on every road the bytes of the general road drawing them one call each.
TEST_F(D3DTest, ABatchOfOverlappingSpritesDrawsInItsOrder) {
  Scenes r(2468);
  const int roads = test::D3DAvx2Supported() ? 3 : 2;
  IDirectDrawSurface7* targets[3];
  IDirect3DDevice7* devices[3];
  const auto textures = KeyedTextures(this, &r, [&](int w, int h, const DDPIXELFORMAT& f) { return Texture(w, h, f); }, 64, 24);
  for (int i = 0; i < roads; ++i) {
    targets[i] = Target(96, 48, FormatX888());
    Fill(targets[i], nullptr, 0x3C3C3C);
    test::UseD3DFastPaths(i != 0);
    test::UseD3DAvx2(i == 2);
    ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, targets[i], &devices[i]), D3D_OK);
    IDirect3DDevice7* dev = devices[i];
    dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
    dev->SetTexture(0, textures[4]);  // 8:8:8:8
    SpriteStage(dev, false, D3DTFG_POINT);
  }
  for (int call = 0; call < 80; ++call) {
    std::vector<uint8_t> vertices;
    auto quad = [&](float x0, float y0, float w, float h, float u0, float v0, float u1, float v1, DWORD colour) {
      const float corners[6][4] = {{x0, y0, u0, v0}, {x0 + w, y0, u1, v0}, {x0, y0 + h, u0, v1},
                                   {x0, y0 + h, u0, v1}, {x0 + w, y0, u1, v0}, {x0 + w, y0 + h, u1, v1}};
      for (const auto& c : corners) PutVertex(&vertices, kFvfTex1, c[0], c[1], 0.5f, colour, c[2], c[3], 0, 0);
    };
    const int quads = r.Int(2, 16);
    int tx = 0, ty = 0, tw = 64, th = 24;
    for (int q = 0; q < quads; ++q) {
      float x0 = r.Int(-8, 80) - 0.5f, y0 = r.Int(-8, 40) - 0.5f;
      const int kind = r.Int(0, 9);
      if (kind < 8) {
        // Texel for texel: the last piece, another of its size (the same corner offsets, other texture
        // coordinates) or any other, mostly whole on the target (runs of one piece are planned); tinted
        // ones take another rectangle routine.
        if (r.Chance(25)) {
          tx = r.Int(0, 30), ty = r.Int(0, 12), tw = r.Int(1, 64 - tx), th = r.Int(1, 24 - ty);
        } else if (r.Chance(15)) {
          tx = r.Int(0, 64 - tw), ty = r.Int(0, 24 - th);
        }
        if (r.Chance(70)) x0 = r.Int(0, 96 - tw) - 0.5f, y0 = r.Int(0, 48 - th) - 0.5f;
        quad(x0, y0, static_cast<float>(tw), static_cast<float>(th), tx / 64.0f, ty / 24.0f, (tx + tw) / 64.0f,
             (ty + th) / 24.0f, kind < 6 ? 0xFFFFFFFF : 0xFFFF8040);
      } else if (kind < 9) {
        quad(x0, y0, r.Real(4, 40), r.Real(4, 30), 0, 0, 1, 1, 0xFFFFFFFF);
      } else {
        for (int k = 0; k < 6; ++k) {
          PutVertex(&vertices, kFvfTex1, r.Real(-8, 104), r.Real(-8, 56), 0.5f, 0xFFFFFFFF, r.Real(0, 1), r.Real(0, 1), 0, 0);
        }
      }
    }
    for (int q = 0; q < quads; ++q) {
      ASSERT_EQ(devices[0]->DrawPrimitive(D3DPT_TRIANGLELIST, kFvfTex1, vertices.data() + q * 6 * sizeof(VertexTex1), 6, 0),
                D3D_OK);
    }
    for (int i = 1; i < roads; ++i) {
      ASSERT_EQ(devices[i]->DrawPrimitive(D3DPT_TRIANGLELIST, kFvfTex1, vertices.data(), static_cast<DWORD>(6 * quads), 0),
                D3D_OK);
    }
    const test::SurfacePixels general = test::ReadSurface(targets[0]);
    for (int i = 1; i < roads; ++i) {
      ASSERT_EQ(general.bytes, test::ReadSurface(targets[i]).bytes) << (i == 1 ? "SSE2" : "AVX2") << " call " << call;
    }
  }
  for (int i = 0; i < roads; ++i) devices[i]->Release();
}

// A batch chooses a piece of a texture to plan at its fourth blit in a row within one call, wherever on
// the target the blits fall: another piece restarts the count, while the chosen piece's blits and quads
// of other routines between them do not. Both blitting roads choose alike (the SSE2 road, having no
// plan, draws the piece as any blit); the general road blits nothing. All draw the same bytes.
TEST_F(D3DTest, ASpritePieceIsPlannedAtItsFourthBlitInARow) {
  IDirectDrawSurface7* texture = Texture(64, 16, Format8888());
  std::vector<uint32_t> texels(64 * 16);
  for (size_t i = 0; i < texels.size(); ++i) {
    texels[i] = static_cast<uint32_t>(i * 0x01030507u) | (i % 3 == 0 ? 0xFF000000u : 0);  // opaque and mixed
  }
  PokeAll(texture, texels, 64);
  // Calls as letters, '|' ending one: A and B two 16 x 8 pieces blitted, a the piece A tinted (another
  // rectangle routine), s the piece A stretched (drawn as spans).
  struct Case {
    const char* calls;
    uint64_t plans;
  };
  const Case kCases[] = {{"AAA", 0},      {"AAAA", 1},   {"AAAAAAAAA", 1}, {"AAABAAA", 0},      {"AAABAAAA", 1},
                         {"AAaAs", 0},    {"AAaAsA", 1}, {"AA|AA", 0},     {"AAAABBABB", 2}};
  const char* const kRoads[] = {"general", "SSE2", "AVX2"};
  const int roads = test::D3DAvx2Supported() ? 3 : 2;
  test::SurfacePixels general;
  for (int road = 0; road < roads; ++road) {
    test::UseD3DFastPaths(road != 0);
    test::UseD3DAvx2(road == 2);
    IDirectDrawSurface7* target = Target(96, 48, FormatX888());
    Fill(target, nullptr, 0x3C3C3C);
    MakeDevice(target);
    device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetTexture(0, texture);
    SpriteStage(device, false, D3DTFG_POINT);
    for (const Case& c : kCases) {
      test::ResetD3DFastPathHits();
      std::vector<uint8_t> vertices;
      auto quad = [&](float x0, float y0, float w, float h, int tx, DWORD colour) {
        const float u0 = tx / 64.0f, u1 = (tx + 16) / 64.0f, v0 = 0, v1 = 0.5f;
        const float corners[6][4] = {{x0, y0, u0, v0}, {x0 + w, y0, u1, v0}, {x0, y0 + h, u0, v1},
                                     {x0, y0 + h, u0, v1}, {x0 + w, y0, u1, v0}, {x0 + w, y0 + h, u1, v1}};
        for (const auto& k : corners) PutVertex(&vertices, kFvfTex1, k[0], k[1], 0.5f, colour, k[2], k[3], 0, 0);
      };
      auto draw = [&] {
        ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLELIST, kFvfTex1, vertices.data(),
                                        static_cast<DWORD>(vertices.size() / sizeof(VertexTex1)), 0),
                  D3D_OK);
        vertices.clear();
      };
      int blits = 0;
      for (int k = 0; c.calls[k] != 0; ++k) {
        // Each quad somewhere else on the target, whole.
        const float x0 = static_cast<float>(k * 23 % 80) - 0.5f, y0 = static_cast<float>(k * 13 % 28) - 0.5f;
        switch (c.calls[k]) {
          case 'A': quad(x0, y0, 16, 8, 0, 0xFFFFFFFF), ++blits; break;
          case 'B': quad(x0, y0, 16, 8, 16, 0xFFFFFFFF), ++blits; break;
          case 'a': quad(x0, y0, 16, 8, 0, 0xFFFF8040); break;
          case 's': quad(x0, y0, 16, 11, 0, 0xFFFFFFFF); break;
          case '|': draw(); break;
        }
      }
      draw();
      const bool blitting = road != 0;
      EXPECT_EQ(test::D3DFastPathHits("over_8888_x888_blit"), blitting ? static_cast<uint64_t>(blits) : 0u)
          << c.calls << " on " << kRoads[road];
      EXPECT_EQ(test::D3DBlitPlans(), blitting ? c.plans : 0u) << c.calls << " on " << kRoads[road];
    }
    device->Release();
    device = nullptr;
    if (road == 0) {
      general = test::ReadSurface(target);
    } else {
      EXPECT_EQ(general.bytes, test::ReadSurface(target).bytes) << kRoads[road];
    }
  }
}

// Rectangles stretched or shrunk by any factor and turned quads, bilinear or point-sampled, under every
// addressing mode, on a target wide enough for several strips of a stretch and long runs of vector
// samples.
TEST_F(D3DTest, StretchedAndTurnedQuadsGiveTheGeneralRoadsBytes) {
  Scenes r(4242);
  const int roads = test::D3DAvx2Supported() ? 3 : 2;
  constexpr int kWidth = 300, kHeight = 40;
  for (const DDPIXELFORMAT& format : {FormatX888(), Format565()}) {
    test::ResetD3DFastPathHits();
    IDirectDrawSurface7* targets[3];
    IDirect3DDevice7* devices[3];
    for (int i = 0; i < roads; ++i) {
      targets[i] = Target(kWidth, kHeight, format);
      Fill(targets[i], nullptr, 0x3C3C3C3C & (format.dwRBitMask | format.dwGBitMask | format.dwBBitMask));
      test::UseD3DFastPaths(i != 0);
      test::UseD3DAvx2(i == 2);
      ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, targets[i], &devices[i]), D3D_OK);
    }
    // Small, middling, and wider than the span of texels a stretch unpacks whole.
    const auto make = [&](int w, int h, const DDPIXELFORMAT& f) { return Texture(w, h, f); };
    auto textures = KeyedTextures(this, &r, make, 7);
    for (IDirectDrawSurface7* t : KeyedTextures(this, &r, make, 300)) textures.push_back(t);
    for (IDirectDrawSurface7* t : KeyedTextures(this, &r, make, 1500, 3)) textures.push_back(t);
    for (int draw = 0; draw < 300; ++draw) {
      const uint32_t seed = static_cast<uint32_t>(r.rng_());
      for (int i = 0; i < roads; ++i) {
        Scenes same(seed);
        IDirect3DDevice7* dev = devices[i];
        dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, same.Chance(60));
        dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, same.Chance(80) ? D3DBLEND_INVSRCALPHA : D3DBLEND_ONE);
        dev->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, same.Chance(20));
        dev->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, static_cast<DWORD>(same.Int(1, 8)));
        dev->SetRenderState(D3DRENDERSTATE_ALPHAREF, static_cast<DWORD>(same.Int(0, 255)));
        dev->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, 0);
        dev->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
        dev->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
        // Often 8:8:8:8 (every sixth texture), the library's sprites.
        const int texture = same.Chance(50) ? 4 + 6 * same.Int(0, 2) : same.Int(0, static_cast<int>(textures.size()) - 1);
        dev->SetTexture(0, textures[texture]);
        SpriteStage(dev, same.Chance(50), same.Chance(60) ? D3DTFG_LINEAR : D3DTFG_POINT);
        dev->SetTextureStageState(0, D3DTSS_ADDRESSU, static_cast<DWORD>(same.Int(1, 4)));
        dev->SetTextureStageState(0, D3DTSS_ADDRESSV, static_cast<DWORD>(same.Int(1, 4)));
        dev->SetTextureStageState(0, D3DTSS_BORDERCOLOR, same.Colour());
        const DWORD colour = same.Chance(50) ? 0xFFFFFFFF : same.Colour();
        std::vector<uint8_t> vertices;
        float x[4], y[4], u[4], v[4];  // corners: top left, top right, bottom left, bottom right
        const float u0 = same.Real(-1.5f, 1.5f), u1 = u0 + same.Real(-3.0f, 3.0f);
        const float v0 = same.Real(-1.5f, 1.5f), v1 = v0 + same.Real(-3.0f, 3.0f);
        const float us[4] = {u0, u1, u0, u1}, vs[4] = {v0, v0, v1, v1};
        if (same.Chance(60)) {
          // Stretched or shrunk, on whole, half or any pixel positions.
          const float left = same.Real(-40, 280), top = same.Real(-10, 35);
          const float w = same.Real(1, 420), h = same.Real(1, 60);
          const float xs[4] = {left, left + w, left, left + w}, ys[4] = {top, top, top + h, top + h};
          for (int k = 0; k < 4; ++k) x[k] = xs[k], y[k] = ys[k], u[k] = us[k], v[k] = vs[k];
        } else {
          const float cx = same.Real(-20, 320), cy = same.Real(-10, 50), half = same.Real(2, 150);
          const float a = same.Real(0, 6.3f), c = std::cos(a) * half, sn = std::sin(a) * half;
          const float dx[4] = {-c + sn, c + sn, -c - sn, c - sn}, dy[4] = {-sn - c, sn - c, -sn + c, sn + c};
          for (int k = 0; k < 4; ++k) x[k] = cx + dx[k], y[k] = cy + dy[k], u[k] = us[k], v[k] = vs[k];
        }
        for (const int k : {0, 1, 2, 2, 1, 3}) PutVertex(&vertices, kFvfTex1, x[k], y[k], 0.5f, colour, u[k], v[k], 0, 0);
        ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, kFvfTex1, vertices.data(), 6, 0), D3D_OK);
      }
      const test::SurfacePixels general = test::ReadSurface(targets[0]);
      for (int i = 1; i < roads; ++i) {
        ASSERT_EQ(general.bytes, test::ReadSurface(targets[i]).bytes)
            << (i == 1 ? "SSE2" : "AVX2") << " draw " << draw << " on " << format.dwRGBBitCount << "-bit";
      }
    }
    // More than ten draws a fast road for each routine (the hits of every road add up).
    const uint64_t least = 10u * static_cast<uint64_t>(roads - 1);
    EXPECT_GT(test::D3DFastPathHits("bilinear_stretch"), least);
    EXPECT_GT(test::D3DFastPathHits("bilinear_spans"), least);
    EXPECT_GT(test::D3DFastPathHits(format.dwRGBBitCount == 32 ? "over_8888_x888_spans" : "point_spans"), least);
    for (int i = 0; i < roads; ++i) devices[i]->Release();
  }
}

// Axis-aligned quads in the library's two vertex orders are walked as whole rectangles without culling;
// each gives the bytes its two triangles give when walked one by one (culling only the other winding),
// texel for texel, stretched or mirrored, on whole, half or any pixel positions, under random states;
// quads that only nearly are rectangles are walked as their triangles.
TEST_F(D3DTest, RectanglesGiveTheBytesOfTheirTwoTriangles) {
  Scenes r(9090);
  for (const DDPIXELFORMAT& format : {FormatX888(), Format565()}) {
    test::ResetD3DFastPathHits();
    IDirectDrawSurface7* targets[2] = {Target(64, 48, format), Target(64, 48, format)};
    const auto textures =
        KeyedTextures(this, &r, [&](int w, int h, const DDPIXELFORMAT& f) { return Texture(w, h, f); }, 16);
    IDirect3DDevice7* devices[2];
    for (int i = 0; i < 2; ++i) {
      Fill(targets[i], nullptr, 0x3C3C3C3C & (format.dwRBitMask | format.dwGBitMask | format.dwBBitMask));
      ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, targets[i], &devices[i]), D3D_OK);
    }
    for (int draw = 0; draw < 400; ++draw) {
      const uint32_t seed = static_cast<uint32_t>(r.rng_());
      for (int i = 0; i < 2; ++i) {
        Scenes same(seed);
        IDirect3DDevice7* dev = devices[i];
        dev->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, same.Chance(70));
        dev->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_SRCALPHA);
        dev->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_INVSRCALPHA);
        dev->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, same.Chance(15));
        dev->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, D3DCMP_GREATER);
        dev->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, same.Chance(15));
        dev->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
        // Untextured at times: then no plane checks the corners.
        dev->SetTexture(0, same.Chance(15) ? nullptr : textures[same.Chance(60) ? 4 : same.Int(0, static_cast<int>(textures.size()) - 1)]);
        SpriteStage(dev, same.Chance(50), same.Chance(70) ? D3DTFG_POINT : D3DTFG_LINEAR);
        dev->SetTextureStageState(0, D3DTSS_ADDRESS, static_cast<DWORD>(same.Int(1, 4)));
        const DWORD colour = same.Chance(60) ? 0xFFFFFFFF : same.Colour();
        const bool exact = same.Chance(60);
        const float x0 = exact ? same.Int(-10, 60) - 0.5f : same.Real(-10, 60);
        const float y0 = exact ? same.Int(-10, 44) - 0.5f : same.Real(-10, 44);
        const int tw = same.Int(1, 16), th = same.Int(1, 16), tx = same.Int(0, 16 - tw), ty = same.Int(0, 16 - th);
        const float w = exact ? static_cast<float>(tw) : same.Real(1, 40), h = exact ? static_cast<float>(th) : same.Real(1, 30);
        const float sx = same.Chance(20) ? -1.0f : 1.0f;  // mirrored: the right edge first
        const float xs[2] = {sx > 0 ? x0 : x0 + w, sx > 0 ? x0 + w : x0}, ys[2] = {y0, y0 + h};
        const float us[2] = {tx / 16.0f, (tx + tw) / 16.0f}, vs[2] = {ty / 16.0f, (ty + th) / 16.0f};
        // Sometimes not a rectangle after all: the bottom right corner moved off it or its texel off
        // the plane of the other three, or the second triangle's top right corner not the first's.
        // Those are walked as two triangles on both devices.
        const int bent = same.Int(0, 9);
        const float shift = same.Real(0.3f, 3.0f);
        const bool stripOrder = same.Chance(50);
        const std::array<int, 6> order = stripOrder ? std::array<int, 6>{0, 1, 2, 2, 1, 3} : std::array<int, 6>{0, 1, 2, 3, 2, 1};
        std::vector<uint8_t> vertices;
        for (int p = 0; p < 6; ++p) {
          // Corners: 0 top left, 1 top right, 2 bottom left, 3 bottom right.
          const int k = order[static_cast<size_t>(p)];
          const bool moved = (k == 3 && bent < 3) || (k == 1 && p >= 3 && bent == 3);
          PutVertex(&vertices, kFvfTex1, xs[k & 1] + (moved && (bent == 0 || bent == 3) ? shift * sx : 0),
                    ys[k >> 1] + (moved && bent == 1 ? shift : 0), 0.5f, colour, us[k & 1] + (moved && bent == 2 ? 0.1f : 0),
                    vs[k >> 1], 0, 0);
        }
        // Device 0 walks the rectangle; device 1 culls the winding the quad does not have, so walks
        // its two triangles.
        dev->SetRenderState(D3DRENDERSTATE_CULLMODE, i == 0 ? D3DCULL_NONE : sx > 0 ? D3DCULL_CCW : D3DCULL_CW);
        ASSERT_EQ(dev->DrawPrimitive(D3DPT_TRIANGLELIST, kFvfTex1, vertices.data(), 6, 0), D3D_OK);
      }
      ASSERT_EQ(test::ReadSurface(targets[0]).bytes, test::ReadSurface(targets[1]).bytes)
          << "draw " << draw << " on " << format.dwRGBBitCount << "-bit";
    }
    // The rectangles went by the rectangle rows.
    EXPECT_GT(test::D3DFastPathHits("over_8888_x888_blit") + test::D3DFastPathHits("point_blit"), 50u);
    EXPECT_GT(test::D3DFastPathHits("bilinear_stretch"), 10u);
    for (IDirect3DDevice7* dev : devices) dev->Release();
  }
}

}  // namespace
