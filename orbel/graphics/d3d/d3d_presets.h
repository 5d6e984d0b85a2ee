// The constant tables of the Direct3D draw road: the blend-mode table (blend factors and stage-preset
// group of each blend mode) and the texture-stage presets the state apply writes, generated from their
// two rules; and the texture factor and alpha operations of a soft-edged blend graph. The numbers are
// Direct3D 7's own, as the device takes them.
#pragma once

#include <cstdint>

#include "orbel/graphics/draw_state.h"

namespace orbel {

// Direct3D 7 values stored in the tables.
namespace d3dv {
constexpr uint16_t kTopDisable = 1, kTopSelectArg1 = 2, kTopSelectArg2 = 3, kTopModulate = 4,
                   kTopModulate2x = 5, kTopModulate4x = 6, kTopAdd = 7, kTopSubtract = 10,
                   kTopBlendDiffuseAlpha = 12, kTopBlendCurrentAlpha = 16;
constexpr uint16_t kTaDiffuse = 0, kTaCurrent = 1, kTaTexture = 2, kTaTFactor = 3, kTaSpecular = 4,
                   kTaComplement = 0x10;
constexpr int32_t kBlendZero = 1, kBlendOne = 2, kBlendSrcColor = 3, kBlendSrcAlpha = 5, kBlendInvSrcAlpha = 6,
                  kBlendInvDestColor = 10;
}  // namespace d3dv

constexpr uint16_t kStageLeave = 0xFFFF;  // this stage state is not written
constexpr int kMaxPresetStages = 8;        // stages of a block, the terminator included

struct BlendModeRow {
  int32_t destBlend;    // D3DBLEND, -1: leave SRCBLEND and DESTBLEND as they are
  int32_t srcBlend;
  int32_t presetGroup;  // 0, 1 or 2
};
extern const BlendModeRow kBlendModeTable[kBlendModeCount];

struct StagePreset {
  uint16_t alphaArg1, alphaArg2, alphaOp;
  uint16_t colorArg1, colorArg2, colorOp;
};

// `count` stages, then the terminator (both operations DISABLE).
struct StagePresetBlock {
  uint32_t count;
  StagePreset stages[kMaxPresetStages];
};

// Index: alpha index (0 none, 1 alpha channel, 2 alpha test only) + 3 x blend on + 6 x diffuse
// modulation + 12 x blend graph + 24 x preset group (the group term is 0 with a blend graph).
constexpr int kStagePresetCount = 60;
int StagePresetIndex(int alphaChannel, int alphaTest, int blendOn, int diffuseModulation, int blendGraph,
                     int presetGroup);
const StagePresetBlock& GetStagePreset(int index);
// Presets of untextured draws: by preset group, and the one of blend mode 3 (subtraction).
const StagePresetBlock& GetUntexturedPreset(int presetGroup);
const StagePresetBlock& GetUntexturedSubtractPreset();

// A soft-edged blend graph (range above 1): the texture factor that shifts the blend graph's alpha by
// the threshold, and the alpha operations of stage 0 (ADD or SUBTRACT) and stage 1 (the steepness).
struct BlendGraphEdge {
  uint32_t textureFactor;
  uint16_t stage0AlphaOp;
  uint16_t stage1AlphaOp;
};
BlendGraphEdge BlendGraphSoftEdge(int threshold, int range);

}  // namespace orbel
