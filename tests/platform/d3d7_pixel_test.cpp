// The Direct3D stand-in's pixels: coverage (pixel centres, the top-left rule, the viewport), flat
// colours, texel-exact and bilinear sampling, addressing, the stage cascade, colour keys, the alpha
// test, Z and the blend factors, and each pixel format in and out.
#include <random>

#include "d3d7_test_fixture.h"
#include "platform/d3d/d3d7_formats.h"

namespace {

using namespace d3d_test;

uint32_t Rgb(IDirectDrawSurface7* s, int x, int y) { return test::ReadSurfacePixelRaw(s, x, y) & 0xFFFFFF; }

TEST_F(D3DTest, SharedEdgesAreDrawnOnceAndCentresDecideCoverage) {
  IDirectDrawSurface7* target = Target(40, 40, FormatX888());
  MakeDevice(target);
  Untextured();
  device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  device->SetRenderState(D3DRENDERSTATE_SRCBLEND, D3DBLEND_ONE);
  device->SetRenderState(D3DRENDERSTATE_DESTBLEND, D3DBLEND_ONE);
  // A fan of triangles around a sub-pixel centre, over a jittered ring: every pixel inside is added
  // to exactly once, with no gap and no double along the shared edges.
  const float cx = 20.3f, cy = 19.7f;
  std::vector<VertexDiffuse> fan;
  const float ring[8][2] = {{4.1f, 3.5f}, {20.0f, 2.25f}, {36.6f, 4.0f}, {37.5f, 20.0f},
                            {35.0f, 36.5f}, {20.5f, 37.75f}, {3.0f, 35.0f}, {2.5f, 20.0f}};
  for (int i = 0; i < 8; ++i) {
    const float* a = ring[i];
    const float* b = ring[(i + 1) % 8];
    fan.push_back({cx, cy, 0, 1, 0x00010101});
    fan.push_back({a[0], a[1], 0, 1, 0});
    fan.push_back({b[0], b[1], 0, 1, 0});
  }
  ASSERT_EQ(DrawList(fan), D3D_OK);
  int covered = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 40; ++x) {
      const uint32_t v = Rgb(target, x, y);
      ASSERT_TRUE(v == 0 || v == 0x010101) << x << "," << y << " drawn " << (v & 0xFF) << " times";
      covered += v != 0;
    }
  }
  EXPECT_GT(covered, 900);

  // An axis-aligned rectangle on pixel edges covers [left, right) x [top, bottom) of centres, whether
  // it is walked as a rectangle (no culling) or as two triangles (culling the other winding).
  for (DWORD cull : {D3DCULL_NONE, D3DCULL_CCW}) {
    Fill(target, nullptr, 0);
    device->SetRenderState(D3DRENDERSTATE_CULLMODE, cull);
    std::vector<VertexDiffuse> quad = {{2, 3, 0, 1, 0x00010101}, {6, 3, 0, 1, 0}, {2, 5.5f, 0, 1, 0},
                                       {2, 5.5f, 0, 1, 0x00010101}, {6, 3, 0, 1, 0}, {6, 5.5f, 0, 1, 0}};
    ASSERT_EQ(DrawList(quad), D3D_OK);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        const bool inside = x >= 2 && x < 6 && y >= 3 && y < 6;
        EXPECT_EQ(Rgb(target, x, y), inside ? 0x010101u : 0u) << "cull " << cull << " at " << x << "," << y;
      }
    }
  }
}

TEST_F(D3DTest, FlatColourComesFromEachTrianglesFirstVertexAndTheViewportClips) {
  IDirectDrawSurface7* target = Target(16, 16, FormatX888());
  MakeDevice(target);
  Untextured();
  // A strip: triangle 0 takes vertex 0's colour, triangle 1 vertex 1's.
  std::vector<VertexDiffuse> strip = {{0, 0, 0, 1, 0x112233}, {16, 0, 0, 1, 0x445566}, {0, 16, 0, 1, 0x778899},
                                      {16, 16, 0, 1, 0xAABBCC}};
  ASSERT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, kFvfDiffuse, strip.data(), 4, 0), D3D_OK);
  EXPECT_EQ(Rgb(target, 2, 2), 0x112233u);
  EXPECT_EQ(Rgb(target, 13, 13), 0x445566u);

  // Only the viewport is written, and a new render target keeps it.
  D3DVIEWPORT7 vp{4, 5, 6, 3, 0.0f, 1.0f};
  ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
  IDirectDrawSurface7* second = Target(16, 16, FormatX888());
  ASSERT_EQ(device->SetRenderTarget(second, 0), D3D_OK);
  std::vector<VertexDiffuse> all = {{-100, -100, 0, 1, 0xFFFFFF}, {300, -100, 0, 1, 0}, {-100, 300, 0, 1, 0}};
  ASSERT_EQ(DrawList(all), D3D_OK);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool inside = x >= 4 && x < 10 && y >= 5 && y < 8;
      EXPECT_EQ(Rgb(second, x, y), inside ? 0xFFFFFFu : 0u) << x << "," << y;
    }
  }
  // Indexed strips join rows with degenerate triangles, which draw nothing.
  Fill(second, nullptr, 0);
  std::vector<VertexTex1> grid = {{4, 5, 0, 1, 0x010203, 0, 0}, {10, 5, 0, 1, 0, 0, 0}, {4, 8, 0, 1, 0, 0, 0},
                                  {10, 8, 0, 1, 0, 0, 0}};
  std::vector<WORD> indices = {0, 1, 2, 2, 2, 3, 3, 1};
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  ASSERT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLESTRIP, kFvfTex1, grid.data(), 4, indices.data(), 8, 0), D3D_OK);
  EXPECT_EQ(Rgb(second, 5, 6), 0x010203u);
  EXPECT_EQ(Rgb(second, 9, 7), 0x000000u) << "the stale colours of vertices 2 and 3 are black";
}

TEST_F(D3DTest, HalfPixelShiftedQuadsMapTexelsOneToOneOnBothRoads) {
  for (bool fast : {true, false}) {
    test::UseD3DFastPaths(fast);
    IDirectDrawSurface7* target = Target(12, 10, Format8888());
    IDirectDrawSurface7* texture = Texture(8, 4, Format8888());
    std::vector<uint32_t> texels(32);
    for (int i = 0; i < 32; ++i) texels[i] = 0x01000000u * (i * 7 + 3) | static_cast<uint32_t>(i * 0x010203);
    PokeAll(texture, texels, 8);
    MakeDevice(target);
    TextureOnly(texture);
    // A graph of 6 x 3 cut from the texture at (1, 1), drawn at (3, 4).
    ASSERT_EQ(DrawList(Quad(2.5f, 3.5f, 8.5f, 6.5f, 1 / 8.0f, 1 / 4.0f, 7 / 8.0f, 1.0f)), D3D_OK);
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 12; ++x) {
        const bool inside = x >= 3 && x < 9 && y >= 4 && y < 7;
        const uint32_t want = inside ? texels[(y - 4 + 1) * 8 + (x - 3 + 1)] : 0;
        EXPECT_EQ(test::ReadSurfacePixelRaw(target, x, y), want) << "fast " << fast << " at " << x << "," << y;
      }
    }
    device->Release();
    device = nullptr;
  }
}

TEST_F(D3DTest, BilinearWeighsNeighboursWithIntegerWeightsAndAddressingRepeats) {
  IDirectDrawSurface7* target = Target(12, 2, FormatX888());
  IDirectDrawSurface7* texture = Texture(2, 1, FormatX888());
  PokeAll(texture, {0x000000, 0xFFFFFF}, 2);
  MakeDevice(target);
  TextureOnly(texture);
  device->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_LINEAR);
  device->SetTextureStageState(0, D3DTSS_MINFILTER, D3DTFN_LINEAR);
  ASSERT_EQ(DrawList(Quad(-0.5f, -0.5f, 3.5f, 0.5f, 0, 0, 1, 1)), D3D_OK);
  const uint32_t want[4] = {0x000000, 0x404040, 0xBFBFBF, 0xFFFFFF};
  for (int x = 0; x < 4; ++x) EXPECT_EQ(Rgb(target, x, 0), want[x]) << x;

  // Twelve pixels over three texture widths, point-sampled: each addressing mode repeats its way.
  IDirectDrawSurface7* strip = Texture(4, 1, FormatX888());
  PokeAll(strip, {0xA, 0xB, 0xC, 0xD}, 4);
  TextureOnly(strip);
  const struct {
    DWORD mode;
    const char* pattern;
  } cases[] = {{D3DTADDRESS_WRAP, "ABCDABCDABCD"}, {D3DTADDRESS_MIRROR, "DCBAABCDDCBA"}, {D3DTADDRESS_CLAMP, "AAAAABCDDDDD"}};
  for (const auto& c : cases) {
    device->SetTextureStageState(0, D3DTSS_ADDRESS, c.mode);
    ASSERT_EQ(DrawList(Quad(-0.5f, 0.5f, 11.5f, 1.5f, -1, 0, 2, 1)), D3D_OK);
    for (int x = 0; x < 12; ++x) {
      EXPECT_EQ(Rgb(target, x, 1), static_cast<uint32_t>(c.pattern[x] - 'A' + 0xA)) << "mode " << c.mode << " x " << x;
    }
  }
}

TEST_F(D3DTest, StageOperationsAndArguments) {
  IDirectDrawSurface7* target = Target(4, 4, FormatX888());
  MakeDevice(target);
  device->SetTexture(0, nullptr);
  device->SetRenderState(D3DRENDERSTATE_TEXTUREFACTOR, 0x80C04020);
  const std::vector<VertexDiffuse> quad = {{0, 0, 0, 1, 0x40408080}, {4, 0, 0, 1, 0}, {0, 4, 0, 1, 0},
                                           {0, 4, 0, 1, 0x40408080}, {4, 0, 0, 1, 0}, {4, 4, 0, 1, 0}};
  // arg1 = TFACTOR (C0 40 20, alpha 80), arg2 = DIFFUSE (40 80 80, alpha 40).
  const struct {
    DWORD op;
    DWORD arg1;
    uint32_t want;
  } cases[] = {
      {D3DTOP_SELECTARG1, D3DTA_TFACTOR, 0xC04020},
      {D3DTOP_SELECTARG2, D3DTA_TFACTOR, 0x408080},
      {D3DTOP_SELECTARG1, D3DTA_TFACTOR | D3DTA_COMPLEMENT, 0x3FBFDF},
      {D3DTOP_MODULATE, D3DTA_TFACTOR, 0x302010},
      {D3DTOP_MODULATE2X, D3DTA_TFACTOR, 0x604020},
      {D3DTOP_MODULATE4X, D3DTA_TFACTOR, 0xC18140},
      {D3DTOP_ADD, D3DTA_TFACTOR, 0xFFC0A0},
      {D3DTOP_SUBTRACT, D3DTA_TFACTOR, 0x800000},
      {D3DTOP_BLENDDIFFUSEALPHA, D3DTA_TFACTOR, 0x607068},
      {D3DTOP_SELECTARG1, D3DTA_SPECULAR, 0xFFFFFF},  // the 0x044 format has no specular: white
      {D3DTOP_SELECTARG1, D3DTA_TEXTURE, 0xFFFFFF},   // no texture bound: opaque white
  };
  for (const auto& c : cases) {
    device->SetTextureStageState(0, D3DTSS_COLOROP, c.op);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, c.arg1);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    ASSERT_EQ(DrawList(quad), D3D_OK);
    EXPECT_EQ(Rgb(target, 1, 1), c.want) << "op " << c.op << " arg " << c.arg1;
  }
  // Stage 1 blends by the alpha stage 0 left (TFACTOR's 0x80), then the cascade stops at a DISABLE.
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
  device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_BLENDCURRENTALPHA);
  device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
  device->SetTextureStageState(1, D3DTSS_COLORARG2, D3DTA_TFACTOR);
  device->SetTextureStageState(2, D3DTSS_COLOROP, D3DTOP_DISABLE);
  device->SetTextureStageState(3, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device->SetTextureStageState(3, D3DTSS_COLORARG1, D3DTA_TFACTOR);
  ASSERT_EQ(DrawList(quad), D3D_OK);
  EXPECT_EQ(Rgb(target, 1, 1), 0x806050u);
  // DISABLE at stage 0 gives the diffuse colour.
  device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_DISABLE);
  ASSERT_EQ(DrawList(quad), D3D_OK);
  EXPECT_EQ(Rgb(target, 1, 1), 0x408080u);
}

TEST_F(D3DTest, BlendFactorsOfTheBlendTable) {
  IDirectDrawSurface7* target = Target(4, 4, FormatX888());
  MakeDevice(target);
  Untextured();
  device->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, 1);
  const std::vector<VertexDiffuse> quad = {{0, 0, 0, 1, 0x80402010}, {4, 0, 0, 1, 0}, {0, 4, 0, 1, 0},
                                           {0, 4, 0, 1, 0x80402010}, {4, 0, 0, 1, 0}, {4, 4, 0, 1, 0}};
  const struct {
    DWORD src, dest;
    uint32_t want;  // source 0x80402010 over destination 0x204060
  } cases[] = {
      {D3DBLEND_SRCALPHA, D3DBLEND_INVSRCALPHA, 0x303038}, {D3DBLEND_ONE, D3DBLEND_ONE, 0x606070},
      {D3DBLEND_INVDESTCOLOR, D3DBLEND_ZERO, 0x38180A},    {D3DBLEND_ZERO, D3DBLEND_SRCCOLOR, 0x080806},
      {D3DBLEND_SRCALPHA, D3DBLEND_ONE, 0x405068},         {D3DBLEND_ONE, D3DBLEND_ZERO, 0x402010},
  };
  for (bool fast : {true, false}) {
    test::UseD3DFastPaths(fast);
    ASSERT_EQ(device->BeginScene(), D3D_OK);  // where the device takes up the switch
    for (const auto& c : cases) {
      Fill(target, nullptr, 0x204060);
      device->SetRenderState(D3DRENDERSTATE_SRCBLEND, c.src);
      device->SetRenderState(D3DRENDERSTATE_DESTBLEND, c.dest);
      ASSERT_EQ(DrawList(quad), D3D_OK);
      EXPECT_EQ(Rgb(target, 2, 2), c.want) << "fast " << fast << " src " << c.src << " dest " << c.dest;
    }
    ASSERT_EQ(device->EndScene(), D3D_OK);
  }
}

TEST_F(D3DTest, AlphaTestColourKeyAndZDiscardPixels) {
  IDirectDrawSurface7* target = Target(3, 3, FormatX888());
  IDirectDrawSurface7* texture = Texture(3, 1, Format8888());
  PokeAll(texture, {0x7F111111, 0x80222222, 0x81333333}, 3);
  MakeDevice(target);
  TextureOnly(texture);
  device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 1);
  device->SetRenderState(D3DRENDERSTATE_ALPHAREF, 0x80);
  const char* written[] = {"000", "100", "010", "110", "001", "101", "011", "111"};  // NEVER .. ALWAYS
  for (DWORD func = D3DCMP_NEVER; func <= D3DCMP_ALWAYS; ++func) {
    Fill(target, nullptr, 0);
    device->SetRenderState(D3DRENDERSTATE_ALPHAFUNC, func);
    ASSERT_EQ(DrawList(Quad(-0.5f, -0.5f, 2.5f, 0.5f, 0, 0, 1, 1)), D3D_OK);
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(Rgb(target, x, 0) != 0, written[func - 1][x] == '1') << "func " << func << " x " << x;
    }
  }
  device->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, 0);

  // The colour key drops texels whose raw value lies in the key's range, only while enabled.
  DDCOLORKEY key{0x80222222, 0x80222222};
  ASSERT_EQ(texture->SetColorKey(DDCKEY_SRCBLT, &key), DD_OK);
  for (DWORD enabled : {1u, 0u}) {
    Fill(target, nullptr, 0);
    device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, enabled);
    ASSERT_EQ(DrawList(Quad(-0.5f, -0.5f, 2.5f, 0.5f, 0, 0, 1, 1)), D3D_OK);
    EXPECT_EQ(Rgb(target, 0, 0), 0x111111u);
    EXPECT_EQ(Rgb(target, 1, 0), enabled ? 0u : 0x222222u);
  }
  device->SetRenderState(D3DRENDERSTATE_COLORKEYENABLE, 0);

  // Z: a 16-bit buffer attached to the target, cleared to the far plane.
  IDirectDrawSurface7* z = Surface(3, 3, test::MakeZBufferPixelFormat(16), DDSCAPS_ZBUFFER);
  ASSERT_EQ(target->AddAttachedSurface(z), DD_OK);
  DDBLTFX fx{};
  fx.dwSize = sizeof(fx);
  fx.dwFillDepth = 65535;
  ASSERT_EQ(z->Blt(nullptr, nullptr, nullptr, DDBLT_DEPTHFILL | DDBLT_WAIT, &fx), DD_OK);
  Untextured();
  device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
  device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 1);
  device->SetRenderState(D3DRENDERSTATE_ZFUNC, D3DCMP_LESSEQUAL);
  auto draw = [&](float depth, DWORD colour) {
    std::vector<VertexDiffuse> q = {{-1, -1, depth, 1, colour}, {4, -1, depth, 1, 0}, {-1, 4, depth, 1, 0}};
    ASSERT_EQ(DrawList(q), D3D_OK);
  };
  draw(0.5f, 0x000001);
  draw(0.25f, 0x000002);
  draw(0.75f, 0x000003);  // behind: rejected
  EXPECT_EQ(Rgb(target, 1, 1), 2u);
  EXPECT_EQ(Raw(z, 1, 1), 16384u);  // 0.25 of 65535, rounded
  device->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, 0);
  draw(0.1f, 0x000004);
  EXPECT_EQ(Rgb(target, 1, 1), 4u);
  EXPECT_EQ(Raw(z, 1, 1), 16384u);
  device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_FALSE);
  draw(0.9f, 0x000005);
  EXPECT_EQ(Rgb(target, 1, 1), 5u);
  target->DeleteAttachedSurface(0, z);
}

TEST_F(D3DTest, FormatsUnpackByReplicationAndPackByTruncation) {
  // Texels of each layout read into an 8:8:8:8 target.
  const struct {
    DDPIXELFORMAT format;
    uint32_t raw, argb;
  } in[] = {
      {Format565(), (1u << 11) | (63u << 5) | 3u, 0xFF08FF18},
      {Format555(), (16u << 10) | (8u << 5) | 1u, 0xFF844208},
      {Format1555(), 0x8000u | (31u << 10) | (1u << 5) | 16u, 0xFFFF0884},
      {Format1555(), (31u << 10), 0x00FF0000},
      {Format4444(), 0x8F31, 0x88FF3311},
      {FormatX888(), 0x12345678, 0xFF345678},
      {Format8888(), 0x12345678, 0x12345678},
  };
  IDirectDrawSurface7* wide = Target(1, 1, Format8888());
  MakeDevice(wide);
  for (const auto& c : in) {
    IDirectDrawSurface7* texture = Texture(1, 1, c.format);
    PokeAll(texture, {c.raw}, 1);
    TextureOnly(texture);
    ASSERT_EQ(DrawList(Quad(-0.5f, -0.5f, 0.5f, 0.5f, 0, 0, 1, 1)), D3D_OK);
    EXPECT_EQ(Raw(wide, 0, 0), c.argb) << std::hex << "raw " << c.raw;
  }
  device->Release();
  device = nullptr;

  // One colour, 0xC0A06030 with alpha 0xC0, written into targets of each layout.
  const struct {
    DDPIXELFORMAT format;
    uint32_t raw;
  } out[] = {{Format565(), 0xA306}, {Format555(), 0x5186},       {Format1555(), 0xD186},
             {Format4444(), 0xCA63}, {FormatX888(), 0xA06030}, {Format8888(), 0xC0A06030}};
  for (const auto& c : out) {
    IDirectDrawSurface7* target = Target(2, 2, c.format);
    MakeDevice(target);
    Untextured();
    std::vector<VertexDiffuse> t = {{-1, -1, 0, 1, 0xC0A06030}, {4, -1, 0, 1, 0}, {-1, 4, 0, 1, 0}};
    ASSERT_EQ(DrawList(t), D3D_OK);
    EXPECT_EQ(Raw(target, 0, 0), c.raw) << std::hex << c.format.dwRBitMask << " " << c.format.dwRGBAlphaBitMask;
    device->Release();
    device = nullptr;
  }
}

}  // namespace

namespace {

// Rows are unpacked eight texels a step where the layout allows; each must equal the one-texel rule.
TEST(D3DFormats, RowUnpackingMatchesTexelUnpacking) {
  using namespace plat::d3d;
  std::mt19937 rng(3);
  for (const DDPIXELFORMAT& format : {d3d_test::Format565(), d3d_test::Format555(), d3d_test::Format1555(),
                                      d3d_test::Format4444(), d3d_test::FormatX888(), d3d_test::Format8888(),
                                      plat::test::MakeRgbPixelFormat(16, 0x001F, 0x03E0, 0x7C00, 0)}) {
    PixelCode code;
    ASSERT_TRUE(MakePixelCode(format, &code));
    for (int n = 1; n <= 40; ++n) {
      std::vector<uint8_t> raw(static_cast<size_t>(n) * code.bytes);
      for (uint8_t& b : raw) b = static_cast<uint8_t>(rng());
      std::vector<uint32_t> row(static_cast<size_t>(n));
      UnpackRow(code, raw.data(), row.data(), n);
      for (int i = 0; i < n; ++i) {
        ASSERT_EQ(row[i], Unpack(code, LoadPixel(raw.data() + static_cast<size_t>(i) * code.bytes, code.bytes)))
            << "mask " << std::hex << format.dwRBitMask << " width " << std::dec << n << " texel " << i;
      }
    }
  }
  // Layouts the rasteriser cannot use are refused.
  PixelCode code;
  EXPECT_FALSE(MakePixelCode(plat::test::MakeZBufferPixelFormat(16), &code));
  EXPECT_FALSE(MakePixelCode(plat::test::MakeRgbPixelFormat(24, 0xFF0000, 0xFF00, 0xFF, 0), &code));
  EXPECT_FALSE(MakePixelCode(plat::test::MakeRgbPixelFormat(32, 0x3FF00000, 0xFFC00, 0x3FF, 0), &code));
}

}  // namespace
