// The Direct3D road's constant tables: stage presets against their tables, the soft-edged blend graph,
// and the joined strips of the grid mesh.
#include <gtest/gtest.h>

#include <vector>

#include "orbel/graphics/d3d/d3d_grid_mesh.h"
#include "orbel/graphics/d3d/d3d_presets.h"

namespace orbel {
namespace {

using namespace d3dv;

void ExpectStage(const StagePreset& s, uint16_t colorOp, uint16_t colorArg1, uint16_t colorArg2, uint16_t alphaOp,
                 uint16_t alphaArg1, uint16_t alphaArg2, const char* what) {
  EXPECT_EQ(s.colorOp, colorOp) << what;
  EXPECT_EQ(s.colorArg1, colorArg1) << what;
  EXPECT_EQ(s.colorArg2, colorArg2) << what;
  EXPECT_EQ(s.alphaOp, alphaOp) << what;
  EXPECT_EQ(s.alphaArg1, alphaArg1) << what;
  EXPECT_EQ(s.alphaArg2, alphaArg2) << what;
}

TEST(StagePresets, BlocksWithoutABlendGraph) {
  const StagePresetBlock& plain = GetStagePreset(StagePresetIndex(0, 0, 0, 0, 0, 0));
  ASSERT_EQ(plain.count, 1u);
  ExpectStage(plain.stages[0], kTopSelectArg1, kTaTexture, kStageLeave, kTopSelectArg2, kStageLeave, kTaDiffuse,
              "plain stage 0");
  EXPECT_EQ(plain.stages[1].colorOp, kTopDisable);
  EXPECT_EQ(plain.stages[1].alphaOp, kTopDisable);

  // Alpha channel, blending, modulation, group 1 (multiply then alpha): index 34.
  ASSERT_EQ(StagePresetIndex(1, 0, 1, 1, 0, 1), 34);
  const StagePresetBlock& mul = GetStagePreset(34);
  ASSERT_EQ(mul.count, 2u);
  ExpectStage(mul.stages[0], kTopModulate, kTaTexture, kTaDiffuse, kTopModulate, kTaTexture, kTaDiffuse, "mul 0");
  ExpectStage(mul.stages[1], kTopBlendCurrentAlpha, kTaCurrent, kTaTFactor, kTopSelectArg1, kTaCurrent, kStageLeave,
              "mul 1");

  // Group 2 complements the texture colour; alpha test only and no blending selects the texture alpha.
  const StagePresetBlock& inverted = GetStagePreset(StagePresetIndex(0, 1, 0, 0, 0, 2));
  ExpectStage(inverted.stages[0], kTopSelectArg1, kTaTexture | kTaComplement, kStageLeave, kTopSelectArg1, kTaTexture,
              kStageLeave, "inverted");
  for (int i = 36; i < 48; ++i) EXPECT_EQ(GetStagePreset(i).count, 0u) << i;
}

TEST(StagePresets, BlendGraphBlocks) {
  // Alpha channel, blending, modulation: the fullest block.
  const StagePresetBlock& full = GetStagePreset(StagePresetIndex(1, 0, 1, 1, 1, 0));
  ASSERT_EQ(full.count, 4u);
  ExpectStage(full.stages[0], kTopSelectArg2, kStageLeave, kTaDiffuse, kTopAdd, kTaTexture, kTaTFactor, "bg 0");
  ExpectStage(full.stages[1], kTopSelectArg1, kTaCurrent, kStageLeave, kTopModulate, kTaSpecular, kTaCurrent, "bg 1");
  ExpectStage(full.stages[2], kTopModulate, kTaTexture, kTaDiffuse, kTopModulate, kTaTexture, kTaCurrent, "bg 2");
  ExpectStage(full.stages[3], kTopSelectArg1, kTaCurrent, kStageLeave, kTopModulate, kTaDiffuse, kTaCurrent, "bg 3");
  EXPECT_EQ(full.stages[4].alphaOp, kTopDisable);

  const StagePresetBlock& bare = GetStagePreset(StagePresetIndex(0, 0, 0, 0, 1, 2));  // group unused
  ASSERT_EQ(bare.count, 2u);
  ExpectStage(bare.stages[1], kTopSelectArg1, kTaTexture, kStageLeave, kTopModulate, kTaCurrent, kTaDiffuse, "bg bare");
}

TEST(StagePresets, UntexturedPresetsAndTheBlendModeTable) {
  ExpectStage(GetUntexturedPreset(1).stages[0], kTopBlendDiffuseAlpha, kTaDiffuse, kTaTFactor, kTopSelectArg2,
              kStageLeave, kTaDiffuse, "untextured group 1");
  ExpectStage(GetUntexturedSubtractPreset().stages[0], kTopSelectArg1, kTaDiffuse, kStageLeave, kTopSelectArg2,
              kStageLeave, kTaDiffuse, "untextured subtract");
  EXPECT_EQ(kBlendModeTable[3].srcBlend, kBlendInvDestColor);
  EXPECT_EQ(kBlendModeTable[10].presetGroup, 2);
  EXPECT_EQ(kBlendModeTable[11].presetGroup, 1);
}

TEST(BlendGraphSoftEdge, ThresholdShiftsTheBlendAlpha) {
  const BlendGraphEdge low = BlendGraphSoftEdge(0, 64);
  EXPECT_EQ(low.textureFactor, 0x40FFFFFFu);
  EXPECT_EQ(low.stage0AlphaOp, kTopAdd);
  EXPECT_EQ(low.stage1AlphaOp, kTopModulate4x);
  const BlendGraphEdge high = BlendGraphSoftEdge(255, 64);
  EXPECT_EQ(high.textureFactor, 0xFFFFFFFFu);
  EXPECT_EQ(high.stage0AlphaOp, kTopSubtract);
  EXPECT_EQ(BlendGraphSoftEdge(0, 100).stage1AlphaOp, kTopModulate2x);
  EXPECT_EQ(BlendGraphSoftEdge(0, 200).stage1AlphaOp, kTopModulate);
}

TEST(GridMesh, RowsJoinIntoListsOfAtMostAThousandIndices) {
  std::vector<std::vector<uint16_t>> lists;
  auto record = [&lists](const uint16_t* indices, int count) { lists.emplace_back(indices, indices + count); };
  ASSERT_EQ(BuildGridMeshStrips(300, 4, record), 0);
  ASSERT_EQ(lists.size(), 3u);
  EXPECT_EQ(lists[0].size(), 601u);
  EXPECT_EQ(lists[1].size(), 601u);
  EXPECT_EQ(lists[2].size(), 600u);

  lists.clear();
  ASSERT_EQ(BuildGridMeshStrips(200, 4, record), 0);
  ASSERT_EQ(lists.size(), 2u);
  ASSERT_EQ(lists[0].size(), 803u);
  EXPECT_EQ(lists[1].size(), 400u);
  // Row 0's last index repeated, then row 1's first twice: two degenerate triangles join the strips.
  EXPECT_EQ(lists[0][400], lists[0][399]);
  EXPECT_EQ(lists[0][401], 400);
  EXPECT_EQ(lists[0][402], 400);
  EXPECT_EQ(lists[0][403], 200);

  EXPECT_EQ(BuildGridMeshStrips(1, 4, record), -1);
  EXPECT_EQ(BuildGridMeshStrips(8, 1, record), -1);
  EXPECT_EQ(BuildGridMeshStrips(500, 2, record), -1);  // one row's strip would not fit a list
}

}  // namespace
}  // namespace orbel
