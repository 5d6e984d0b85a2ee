// Blend graphs on the Direct3D road: the two-texture vertices and stages the batched draws send, the
// four-corner road that draws each tile at once as a strip, and the pictures both give, weighed against
// the software renderer's weight table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "graph_test_fixture.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_record.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/softrender/blend_tables.h"
#include "platform/d3d/d3d7_test_controls.h"

namespace orbel {
namespace {

using testing::GraphRoad;

constexpr uint32_t kBackground = 0x203040;
constexpr int kSide = 64;

// The graph: a smooth pattern, so that a texel off by one shows.
uint32_t GraphColor(int x, int y) { return static_cast<uint32_t>((x * 4) << 16 | (y * 4) << 8 | 0x80); }

std::vector<plat::test::D3DCall> CallsNamed(const std::string& name) {
  std::vector<plat::test::D3DCall> out;
  for (const auto& c : plat::test::D3DCalls()) {
    if (c.call == name) out.push_back(c);
  }
  return out;
}

VertexTex2 Tex2Vertex(const plat::test::D3DCall& draw, int i) {
  VertexTex2 v{};
  memcpy(&v, draw.vertices.data() + sizeof(VertexTex2) * static_cast<size_t>(i), sizeof v);
  return v;
}

int Channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int s : {0, 8, 16}) {
    if (std::abs(Channel(a, s) - Channel(b, s)) > tolerance) return false;
  }
  return true;
}

// The software renderer's weighting of `src` over `dst` for a blend-image byte.
uint32_t SoftwareWeighted(uint32_t src, uint32_t dst, int blendByte) {
  const int w = BlendGraphWeightTable[blendByte];
  uint32_t out = 0;
  for (int s : {0, 8, 16}) {
    out |= static_cast<uint32_t>((Channel(src, s) * w + Channel(dst, s) * (255 - w)) / 255) << s;
  }
  return out;
}

class D3DBlendGraphTest : public testing::GraphLibraryTest {
 protected:
  void SetUp() override {
    GraphLibraryTest::SetUp();
    plat::test::RecordD3DCalls(true);
  }
  void StartD3D() {
    ASSERT_EQ(Start(GraphRoad{0, 32, 1}), 0);
    SelectDrawScreen(kDrawScreenBack);
    testing::Picture p;
    p.width = p.height = kSide;
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) p.pixels.push_back(0xFF000000u | GraphColor(x, y));
    }
    testing::WritePng("graph.png", p, false);
    graph_ = LoadGraphFile("graph.png", 0);
    ASSERT_NE(graph_, -1);
    ASSERT_EQ(GetGraphRecord(graph_)->format.texture, 1);
  }
  // A blend graph whose alpha is blendByte(x, y), white.
  template <typename F>
  int MakeBlendGraph(F blendByte) {
    testing::Picture p;
    p.width = p.height = kSide;
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) p.pixels.push_back(static_cast<uint32_t>(blendByte(x, y)) << 24 | 0xFFFFFFu);
    }
    testing::WritePng("blend.png", p, true);
    const int g = LoadGraphFile("blend.png", 0);
    EXPECT_NE(g, -1);
    EXPECT_EQ(GetGraphRecord(g)->format.alpha, 1);
    return g;
  }
  void FillBackground() { DrawRectangle(0, 0, 640, 480, MakeColor(0x20, 0x30, 0x40), 1); }

  int graph_ = -1;
};

// A draw at a point with a blend graph goes into the two-texture batch: the blend graph's texture on
// stage 0, the graph's on stage 1; per vertex the blend graph's coordinates first, then the graph's.
// A hard edge (range 0 or 1) is an alpha test at the threshold; leaving the blend graph goes back to
// one-texture vertices in their own array.
TEST_F(D3DBlendGraphTest, BatchedDrawsSendTwoTextureVerticesAndStages) {
  StartD3D();
  const int blend = MakeBlendGraph([](int x, int) { return x * 4; });
  FillBackground();
  D3D_EndSceneCurrent();
  plat::test::ClearD3DCalls();
  ASSERT_EQ(SetDrawBlendGraph(blend, 100, 0), 0);
  ASSERT_EQ(DrawGraphAt(10, 20, graph_, 0), 0);
  ASSERT_EQ(DrawGraphAt(200, 20, graph_, 0), 0);
  D3D_EndSceneCurrent();

  const auto draws = CallsNamed("DrawPrimitive");
  ASSERT_EQ(draws.size(), 1u) << "both draws share one batch";
  EXPECT_EQ(draws[0].args[0], plat::D3DPT_TRIANGLELIST);
  EXPECT_EQ(draws[0].args[1], kFvfTex2);
  ASSERT_EQ(draws[0].args[2], 12u);
  ASSERT_EQ(draws[0].vertices.size(), 12 * sizeof(VertexTex2));
  const VertexTex2 tl = Tex2Vertex(draws[0], 0);
  const VertexTex2 br = Tex2Vertex(draws[0], 3);
  EXPECT_FLOAT_EQ(tl.x, 9.5f);
  EXPECT_FLOAT_EQ(tl.y, 19.5f);
  EXPECT_FLOAT_EQ(br.x, 9.5f + kSide);
  EXPECT_EQ(tl.specular, 0xFFFFFFFFu);
  EXPECT_EQ(tl.diffuse, 0xFFFFFFFFu);
  EXPECT_FLOAT_EQ(tl.u0, 0.0f);
  EXPECT_FLOAT_EQ(tl.u1, 0.0f);
  EXPECT_FLOAT_EQ(br.u0, 1.0f);  // 64 of the blend graph's 64-texel texture
  EXPECT_FLOAT_EQ(br.v1, 1.0f);

  const GraphRecord* b = GetGraphRecord(blend);
  const GraphRecord* g = GetGraphRecord(graph_);
  plat::IDirectDrawSurface7* blendTexture = TileTexture(GetSurface3DData(b->parts[0]));
  plat::IDirectDrawSurface7* graphTexture = TileTexture(GetSurface3DData(g->parts[0]));
  bool blendOnStage0 = false;
  bool graphOnStage1 = false;
  for (const auto& c : CallsNamed("SetTexture")) {
    blendOnStage0 |= c.args[0] == 0 && c.surface == blendTexture;
    graphOnStage1 |= c.args[0] == 1 && c.surface == graphTexture;
  }
  EXPECT_TRUE(blendOnStage0);
  EXPECT_TRUE(graphOnStage1);
  std::vector<std::pair<uint32_t, uint32_t>> alpha;
  for (const auto& c : CallsNamed("SetRenderState")) {
    if (c.args[0] == plat::D3DRENDERSTATE_ALPHATESTENABLE || c.args[0] == plat::D3DRENDERSTATE_ALPHAREF ||
        c.args[0] == plat::D3DRENDERSTATE_ALPHAFUNC) {
      alpha.emplace_back(c.args[0], c.args[1]);
    }
  }
  EXPECT_NE(std::find(alpha.begin(), alpha.end(), std::pair<uint32_t, uint32_t>(plat::D3DRENDERSTATE_ALPHAREF, 100)),
            alpha.end());
  EXPECT_NE(std::find(alpha.begin(), alpha.end(),
                      std::pair<uint32_t, uint32_t>(plat::D3DRENDERSTATE_ALPHAFUNC, plat::D3DCMP_GREATEREQUAL)),
            alpha.end());

  // Without the blend graph the draw is one-texture again, from its own array.
  plat::test::ClearD3DCalls();
  SetDrawBlendGraph(-1, 0, 0);
  ASSERT_EQ(DrawGraphAt(10, 100, graph_, 0), 0);
  D3D_EndSceneCurrent();
  const auto plain = CallsNamed("DrawPrimitive");
  ASSERT_EQ(plain.size(), 1u);
  EXPECT_EQ(plain[0].args[1], kFvfTex1);
  EXPECT_EQ(plain[0].args[2], 6u);
  VertexTex1 first{};
  memcpy(&first, plain[0].vertices.data(), sizeof first);
  EXPECT_FLOAT_EQ(first.y, 99.5f);
  EXPECT_EQ(testing::BackPixel(10 + 5, 100 + 7), GraphColor(5, 7));
}

// The hard and the soft edge against the software renderer's weight table: the hard edge within the
// road tolerance, the soft ramp within a few levels. The stages give the ramp a slope of 1, 2 or 4
// only, so the ranges compared are those whose software slope (256 / (range + 1)) is one of these.
TEST_F(D3DBlendGraphTest, WeightedPicturesFollowTheSoftwareWeightTable) {
  StartD3D();
  // Odd bytes: never exactly the even thresholds below, where the software table gives a half weight.
  auto ramp = [](int x, int y) { return (x * 4 + y / 16) | 1; };
  const int blend = MakeBlendGraph(ramp);
  struct Case {
    int threshold, range, tolerance;
  };
  for (const Case c : {Case{128, 0, 2}, Case{40, 0, 2}, Case{128, 63, 6}, Case{128, 127, 4}, Case{100, 255, 4}}) {
    SCOPED_TRACE(::testing::Message() << "threshold " << c.threshold << " range " << c.range);
    SetDrawBlendGraph(-1, 0, 0);
    FillBackground();
    ASSERT_EQ(SetDrawBlendGraph(blend, c.threshold, c.range), 0);
    ASSERT_EQ(DrawGraphAt(100, 50, graph_, 0), 0);
    int wrong = 0;
    std::string first;
    for (int y = 0; y < kSide; ++y) {
      for (int x = 0; x < kSide; ++x) {
        const uint32_t want = SoftwareWeighted(GraphColor(x, y), kBackground, ramp(x, y));
        const uint32_t got = testing::BackPixel(100 + x, 50 + y);
        if (!Near(got, want, c.tolerance)) {
          if (wrong++ == 0) first = ::testing::PrintToString(x) + "," + ::testing::PrintToString(y);
        }
      }
    }
    EXPECT_EQ(wrong, 0) << "first at " << first;
    EXPECT_EQ(testing::BackPixel(99, 60), kBackground);
    EXPECT_EQ(testing::BackPixel(100 + kSide, 60), kBackground);
  }
}

// A turned quad with a blend graph: each tile goes out at once as a strip of four two-texture
// vertices, inside the scene; the blend graph's coordinates follow the graph's corners, so the half
// of the quad under the clear half of the blend graph shows the background.
TEST_F(D3DBlendGraphTest, FourCornerDrawsGoOutAsStripsWithBlendCoordinates) {
  StartD3D();
  const int blend = MakeBlendGraph([](int x, int) { return x < kSide / 2 ? 0 : 255; });
  FillBackground();
  D3D_EndSceneCurrent();
  plat::test::ClearD3DCalls();
  ASSERT_EQ(SetDrawBlendGraph(blend, 128, 0), 0);
  // A sheared parallelogram: TL (100, 100), TR (164, 100), BR (184, 164), BL (120, 164).
  ASSERT_EQ(DrawQuadGraph(100, 100, 164, 100, 184, 164, 120, 164, graph_, 0), 0);
  const auto strips = CallsNamed("DrawPrimitive");
  ASSERT_EQ(strips.size(), 1u) << "drawn at once, not batched";
  EXPECT_EQ(strips[0].args[0], plat::D3DPT_TRIANGLESTRIP);
  EXPECT_EQ(strips[0].args[1], kFvfTex2);
  EXPECT_EQ(strips[0].args[2], 4u);
  EXPECT_TRUE(strips[0].inScene);
  bool sawCorner[4] = {};
  for (int i = 0; i < 4; ++i) {
    const VertexTex2 v = Tex2Vertex(strips[0], i);
    EXPECT_EQ(v.specular, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(v.u0, v.u1) << "blend graph and graph have the same size";
    EXPECT_FLOAT_EQ(v.v0, v.v1);
    const int corner = (v.u1 > 0.5f ? 1 : 0) + (v.v1 > 0.5f ? 2 : 0);
    sawCorner[corner] = true;
    const float wantX[4] = {99.5f, 163.5f, 119.5f, 183.5f};
    const float wantY[4] = {99.5f, 99.5f, 163.5f, 163.5f};
    EXPECT_FLOAT_EQ(v.x, wantX[corner]) << corner;
    EXPECT_FLOAT_EQ(v.y, wantY[corner]) << corner;
  }
  for (bool s : sawCorner) EXPECT_TRUE(s);
  // The picture: row 32 of the graph runs from x = 110 + 0 to 110 + 63 on screen row 132.
  EXPECT_EQ(testing::BackPixel(112, 132), kBackground) << "under the clear half";
  EXPECT_EQ(testing::BackPixel(140, 132), kBackground);
  EXPECT_TRUE(Near(testing::BackPixel(150, 132), GraphColor(40, 32), 4)) << std::hex << testing::BackPixel(150, 132);
  EXPECT_TRUE(Near(testing::BackPixel(170, 132), GraphColor(60, 32), 4)) << std::hex << testing::BackPixel(170, 132);
  EXPECT_EQ(testing::BackPixel(176, 132), kBackground) << "right of the quad";

  // An upright rectangle is a stretched draw: batched as a list, with the blend graph's coordinates.
  D3D_EndSceneCurrent();
  plat::test::ClearD3DCalls();
  ASSERT_EQ(DrawQuadGraph(300, 100, 428, 100, 428, 164, 300, 164, graph_, 0), 0);
  D3D_EndSceneCurrent();
  const auto lists = CallsNamed("DrawPrimitive");
  ASSERT_EQ(lists.size(), 1u);
  EXPECT_EQ(lists[0].args[0], plat::D3DPT_TRIANGLELIST);
  EXPECT_EQ(lists[0].args[1], kFvfTex2);
  EXPECT_EQ(lists[0].args[2], 6u);
  EXPECT_FLOAT_EQ(Tex2Vertex(lists[0], 3).x, 427.5f);
  EXPECT_FLOAT_EQ(Tex2Vertex(lists[0], 3).u0, 1.0f);
  EXPECT_EQ(testing::BackPixel(310, 130), kBackground) << "under the clear half";
  EXPECT_EQ(testing::BackPixel(420, 130), GraphColor(60, 30));
}

// At threshold 255 no blend byte passes: the batched draw and the four-corner strip both draw nothing,
// as the software renderer's weights say.
TEST_F(D3DBlendGraphTest, TheTopThresholdDrawsNothingOnEitherRoad) {
  StartD3D();
  const int blend = MakeBlendGraph([](int, int) { return 255; });
  ASSERT_EQ(SetDrawBlendGraph(blend, 255, 0), 0);
  ASSERT_LE(BlendGraphWeightTable[255], 1) << "the software weight of the top byte";
  SetDrawBlendGraph(-1, 0, 0);
  FillBackground();
  ASSERT_EQ(SetDrawBlendGraph(blend, 255, 0), 0);
  ASSERT_EQ(DrawGraphAt(10, 10, graph_, 0), 0);
  ASSERT_EQ(DrawQuadGraph(100, 100, 164, 100, 184, 164, 120, 164, graph_, 0), 0);
  EXPECT_EQ(testing::BackPixel(40, 40), kBackground);
  EXPECT_EQ(testing::BackPixel(150, 132), kBackground);
  // At a low threshold both show the graph.
  ASSERT_EQ(SetDrawBlendGraph(blend, 10, 0), 0);
  ASSERT_EQ(DrawGraphAt(10, 10, graph_, 0), 0);
  ASSERT_EQ(DrawQuadGraph(100, 100, 164, 100, 184, 164, 120, 164, graph_, 0), 0);
  EXPECT_EQ(testing::BackPixel(40, 40), GraphColor(30, 30));
  EXPECT_TRUE(Near(testing::BackPixel(150, 132), GraphColor(40, 32), 4));
}

// A new graph of the same kind under the same blend graph changes only the bound texture: it goes to
// the stage where the blend preset samples the graph (after the blend graph, and one stage later for
// graphs with an alpha channel), so the second graph shows its own pixels weighted by the blend graph.
TEST_F(D3DBlendGraphTest, AnotherGraphUnderTheSameBlendGraphIsSampledWhereThePresetReadsIt) {
  StartD3D();
  const int blend = MakeBlendGraph([](int x, int) { return x < kSide / 2 ? 255 : 0; });
  for (bool alpha : {false, true}) {
    SCOPED_TRACE(alpha ? "alpha channel" : "opaque");
    int graphs[2];
    for (int i = 0; i < 2; ++i) {
      testing::Picture p;
      p.width = p.height = kSide;
      p.pixels.assign(kSide * kSide, i == 0 ? 0xFFE00000u : 0xFF00C000u);
      testing::WritePng("plain.png", p, alpha);
      graphs[i] = LoadGraphFile("plain.png", 0);
      ASSERT_EQ(GetGraphRecord(graphs[i])->format.alpha, alpha ? 1 : 0);
    }
    FillBackground();
    ASSERT_EQ(SetDrawBlendGraph(blend, 128, 0), 0);
    ASSERT_EQ(DrawGraphAt(0, 100, graphs[0], 1), 0);
    ASSERT_EQ(DrawGraphAt(100, 100, graphs[1], 1), 0);
    SetDrawBlendGraph(-1, 0, 0);
    EXPECT_EQ(testing::BackPixel(10, 110), 0xE00000u);
    EXPECT_EQ(testing::BackPixel(110, 110), 0x00C000u);
    EXPECT_EQ(testing::BackPixel(150, 110), kBackground) << "under the blend graph's clear half";
  }
}

}  // namespace
}  // namespace orbel
