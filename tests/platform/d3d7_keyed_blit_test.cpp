// Unblended texel-for-texel blits of 16-bit textures into 16-bit targets: every texture layout into
// both targets, with the colour key (one value or a range) and every alpha comparison against random
// references, texture pieces of any width placed partly off the target. The fast-path row that serves
// them gives the general road's bytes on its SSE2 and AVX2 roads.
#include <random>

#include "d3d7_test_fixture.h"

namespace {

using namespace d3d_test;

TEST_F(D3DTest, UnblendedSixteenBitBlitsGiveTheGeneralRoadsBytes) {
  std::mt19937 rng(2024);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  const int roads = test::D3DAvx2Supported() ? 3 : 2;
  constexpr int kTexW = 64, kTexH = 32, kW = 90, kH = 40;  // texel for texel needs exact steps: power-of-two sides
  for (const DDPIXELFORMAT& targetFormat : {Format565(), Format555()}) {
    for (const DDPIXELFORMAT& textureFormat : {Format565(), Format555(), Format1555(), Format4444()}) {
      const std::string label = std::to_string(textureFormat.dwRGBAlphaBitMask) + "/" +
                                std::to_string(textureFormat.dwGBitMask) + " into " + std::to_string(targetFormat.dwGBitMask);
      // Texels of every value, and runs of one key colour, as a keyed picture has.
      const uint32_t used = textureFormat.dwRBitMask | textureFormat.dwGBitMask | textureFormat.dwBBitMask |
                            textureFormat.dwRGBAlphaBitMask;
      const uint32_t key = static_cast<uint32_t>(pick(0, 0xFFFF)) & used;
      std::vector<uint32_t> texels(kTexW * kTexH);
      for (uint32_t& t : texels) t = pick(0, 3) == 0 ? key : static_cast<uint32_t>(pick(0, 0xFFFF)) & used;
      IDirectDrawSurface7* texture = Texture(kTexW, kTexH, textureFormat);
      PokeAll(texture, texels, kTexW);

      test::ResetD3DFastPathHits();
      IDirectDrawSurface7* targets[3];
      IDirect3DDevice7* devices[3];
      for (int i = 0; i < roads; ++i) {
        targets[i] = Target(kW, kH, targetFormat);
        Fill(targets[i], nullptr, 0x5A5A);
        test::UseD3DFastPaths(i != 0);  // 0: the general road, 1: SSE2, 2: AVX2
        test::UseD3DAvx2(i == 2);
        ASSERT_EQ(d3d->CreateDevice(IID_IDirect3DHALDevice, targets[i], &devices[i]), D3D_OK);
      }
      constexpr int kDraws = 120;
      for (int draw = 0; draw < kDraws; ++draw) {
        const bool keyed = pick(0, 2) != 0, tested = pick(0, 2) != 0;
        DDCOLORKEY range{key, pick(0, 3) == 0 ? key + static_cast<uint32_t>(pick(0, 0x1200)) : key};
        const DWORD func = static_cast<DWORD>(pick(1, 8)), ref = static_cast<DWORD>(pick(0, 255));
        const int tx = pick(0, kTexW - 1), ty = pick(0, kTexH - 1);
        const int tw = pick(1, kTexW - tx), th = pick(1, kTexH - ty);
        const float x = static_cast<float>(pick(-tw + 1, kW - 1)) - 0.5f, y = static_cast<float>(pick(-th + 1, kH - 1)) - 0.5f;
        for (int i = 0; i < roads; ++i) {
          device = devices[i];
          texture->SetColorKey(DDCKEY_SRCBLT, &range);
          TextureOnly(texture);
          device->SetRenderState(D3DRENDERSTATE_CULLMODE, D3DCULL_NONE);
          device->SetRenderState(D3DRENDERSTATE_ZENABLE, 0);
          device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 0);
          device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, keyed);
          device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, tested);
          device->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, func);
          device->SetRenderState(D3DRENDERSTATE_ALPHAREF, ref);
          ASSERT_EQ(DrawList(Quad(x, y, x + static_cast<float>(tw), y + static_cast<float>(th), tx / float(kTexW),
                                  ty / float(kTexH), (tx + tw) / float(kTexW), (ty + th) / float(kTexH))),
                    D3D_OK);
        }
        device = nullptr;
        const test::SurfacePixels general = test::ReadSurface(targets[0]);
        for (int i = 1; i < roads; ++i) {
          ASSERT_EQ(general.bytes, test::ReadSurface(targets[i]).bytes)
              << (i == 1 ? "SSE2" : "AVX2") << " draw " << draw << ", " << label << ": key " << keyed << " ["
              << range.dwColorSpaceLowValue << ", " << range.dwColorSpaceHighValue << "], alpha test " << tested
              << " func " << func << " ref " << ref << ", texels " << tx << "," << ty << " " << tw << "x" << th
              << " at " << x << "," << y;
        }
      }
      // The row drew every draw of the fast devices (a draw wholly off the target draws nothing).
      EXPECT_GT(test::D3DFastPathHits("src_16_16_blit"), static_cast<uint64_t>((roads - 1) * kDraws * 3 / 4)) << label;
      EXPECT_EQ(test::D3DFastPathHits("point_blit"), 0u) << label;
      for (int i = 0; i < roads; ++i) devices[i]->Release();
    }
  }
}

}  // namespace
