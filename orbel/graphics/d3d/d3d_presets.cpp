// The blend-mode table, the stage presets built from their rules at first use, and the soft-edge maths.
#include "orbel/graphics/d3d/d3d_presets.h"

namespace orbel {

using namespace d3dv;

const BlendModeRow kBlendModeTable[kBlendModeCount] = {
    {-1, -1, 0},                                   // kBlendNone
    {kBlendInvSrcAlpha, kBlendSrcAlpha, 0},        // kBlendAlpha
    {kBlendOne, kBlendSrcAlpha, 0},                // kBlendAdd
    {kBlendZero, kBlendInvDestColor, 0},           // kBlendSub: the invert step of subtraction
    {kBlendSrcColor, kBlendZero, 0},               // kBlendMul
    {kBlendOne, kBlendSrcAlpha, 0},                // kBlendAddInSubtract
    {-1, -1, 0},                                   // kBlendAsNone
    {-1, -1, 0},                                   // kBlendFactorsLeft
    {kBlendOne, kBlendZero, 0},                    // kBlendDestKept
    {kBlendZero, kBlendInvDestColor, 0},           // kBlendInvertDest
    {kBlendInvSrcAlpha, kBlendSrcAlpha, 2},        // kBlendInvert
    {kBlendSrcColor, kBlendZero, 1},               // kBlendMulAlpha
};

namespace {

constexpr StagePreset kTerminator = {kStageLeave, kStageLeave, kTopDisable, kStageLeave, kStageLeave, kTopDisable};

StagePreset Stage(uint16_t colorOp, uint16_t colorArg1, uint16_t colorArg2, uint16_t alphaOp, uint16_t alphaArg1,
                  uint16_t alphaArg2) {
  return StagePreset{alphaArg1, alphaArg2, alphaOp, colorArg1, colorArg2, colorOp};
}

void Finish(StagePresetBlock* block, uint32_t count) {
  block->count = count;
  for (uint32_t i = count; i < kMaxPresetStages; ++i) block->stages[i] = kTerminator;
}

// Blocks without a blend graph: stage 0 picks the (complemented, in group 2) texture colour, modulated
// by the vertex colour when asked; group 1 blends the result towards the texture factor by its alpha.
void BuildPlainBlock(StagePresetBlock* block, int alphaIndex, int blendOn, int modulate, int group) {
  const uint16_t tex = static_cast<uint16_t>(kTaTexture | (group == 2 ? kTaComplement : 0));
  StagePreset s0 = modulate ? Stage(kTopModulate, tex, kTaDiffuse, 0, 0, 0)
                            : Stage(kTopSelectArg1, tex, kStageLeave, 0, 0, 0);
  if (alphaIndex == 0) {
    s0.alphaOp = kTopSelectArg2, s0.alphaArg1 = kStageLeave, s0.alphaArg2 = kTaDiffuse;
  } else if (blendOn == 0) {
    s0.alphaOp = kTopSelectArg1, s0.alphaArg1 = kTaTexture, s0.alphaArg2 = kStageLeave;
  } else {
    s0.alphaOp = kTopModulate, s0.alphaArg1 = kTaTexture, s0.alphaArg2 = kTaDiffuse;
  }
  block->stages[0] = s0;
  if (group == 1) {
    block->stages[1] = Stage(kTopBlendCurrentAlpha, kTaCurrent, kTaTFactor, kTopSelectArg1, kTaCurrent, kStageLeave);
    Finish(block, 2);
  } else {
    Finish(block, 1);
  }
}

// Blend-graph blocks: stage 0 takes the blend graph's alpha shifted by the texture factor; the graph's
// texture comes in on stage 1 (stage 2 with an alpha channel, stage 1 then carrying the specular alpha),
// and the vertex alpha last when blending is on.
void BuildBlendGraphBlock(StagePresetBlock* block, int alphaIndex, int blendOn, int modulate) {
  enum Colour { kTex, kCur };
  struct Step {
    Colour colour;
    uint16_t alphaArg1, alphaArg2;
  };
  const Step specular = {kCur, kTaSpecular, kTaCurrent};
  const Step texture = {kTex, kTaTexture, kTaCurrent};
  const Step diffuse = {kCur, kTaDiffuse, kTaCurrent};
  Step steps[3];
  int n = 0;
  if (alphaIndex == 0) {
    steps[n++] = blendOn ? Step{kTex, kTaDiffuse, kTaCurrent} : Step{kTex, kTaCurrent, kTaDiffuse};
  } else {
    if (alphaIndex == 1) steps[n++] = specular;
    steps[n++] = texture;
    if (blendOn) steps[n++] = diffuse;
  }
  block->stages[0] = Stage(kTopSelectArg2, kStageLeave, kTaDiffuse, kTopAdd, kTaTexture, kTaTFactor);
  for (int i = 0; i < n; ++i) {
    StagePreset s = steps[i].colour == kCur ? Stage(kTopSelectArg1, kTaCurrent, kStageLeave, 0, 0, 0)
                    : modulate              ? Stage(kTopModulate, kTaTexture, kTaDiffuse, 0, 0, 0)
                                            : Stage(kTopSelectArg1, kTaTexture, kStageLeave, 0, 0, 0);
    s.alphaOp = kTopModulate;
    s.alphaArg1 = steps[i].alphaArg1;
    s.alphaArg2 = steps[i].alphaArg2;
    block->stages[1 + i] = s;
  }
  Finish(block, static_cast<uint32_t>(1 + n));
}

struct PresetTables {
  StagePresetBlock blocks[kStagePresetCount];
  StagePresetBlock untextured[3];
  StagePresetBlock untexturedSubtract;

  PresetTables() : blocks{}, untextured{}, untexturedSubtract{} {
    for (int group = 0; group < 3; ++group) {
      for (int modulate = 0; modulate < 2; ++modulate) {
        for (int blendOn = 0; blendOn < 2; ++blendOn) {
          for (int alphaIndex = 0; alphaIndex < 3; ++alphaIndex) {
            const int plain = alphaIndex + 3 * blendOn + 6 * modulate;
            BuildPlainBlock(&blocks[plain + 24 * group], alphaIndex, blendOn, modulate, group);
            if (group == 0) BuildBlendGraphBlock(&blocks[plain + 12], alphaIndex, blendOn, modulate);
          }
        }
      }
    }
    // Indices 36-47 (a blend graph in group 1) are never selected: empty blocks.
    for (int i = 36; i < 48; ++i) Finish(&blocks[i], 0);
    const uint16_t colour[3][3] = {{kTopSelectArg2, kStageLeave, kTaDiffuse},
                                   {kTopBlendDiffuseAlpha, kTaDiffuse, kTaTFactor},
                                   {kTopSelectArg1, kTaDiffuse | kTaComplement, kStageLeave}};
    for (int group = 0; group < 3; ++group) {
      untextured[group].stages[0] =
          Stage(colour[group][0], colour[group][1], colour[group][2], kTopSelectArg2, kStageLeave, kTaDiffuse);
      Finish(&untextured[group], 1);
    }
    untexturedSubtract.stages[0] = Stage(kTopSelectArg1, kTaDiffuse, kStageLeave, kTopSelectArg2, kStageLeave, kTaDiffuse);
    Finish(&untexturedSubtract, 1);
  }
};

const PresetTables& Tables() {
  static const PresetTables tables;
  return tables;
}

}  // namespace

int StagePresetIndex(int alphaChannel, int alphaTest, int blendOn, int diffuseModulation, int blendGraph,
                     int presetGroup) {
  const int alphaIndex = alphaChannel ? 1 : (alphaTest ? 2 : 0);
  const int base = alphaIndex + 3 * (blendOn ? 1 : 0) + 6 * (diffuseModulation ? 1 : 0);
  return blendGraph ? base + 12 : base + 24 * presetGroup;
}

const StagePresetBlock& GetStagePreset(int index) { return Tables().blocks[index]; }
const StagePresetBlock& GetUntexturedPreset(int presetGroup) { return Tables().untextured[presetGroup]; }
const StagePresetBlock& GetUntexturedSubtractPreset() { return Tables().untexturedSubtract; }

BlendGraphEdge BlendGraphSoftEdge(int threshold, int range) {
  int k = 512, s = 256, f = 255;
  uint16_t steepness = kTopModulate;
  if (range <= 64) {
    k = 1280, s = 1024, f = 64, steepness = kTopModulate4x;
  } else if (range <= 128) {
    k = 768, s = 512, f = 128, steepness = kTopModulate2x;
  }
  const int t = k - (threshold * k) / 255;
  BlendGraphEdge edge{};
  edge.stage1AlphaOp = steepness;
  if (t < s) {
    const int a = (t * 255) / s;
    edge.textureFactor = static_cast<uint32_t>(255 - a) << 24 | 0xFFFFFFu;
    edge.stage0AlphaOp = kTopSubtract;
  } else {
    const int a = ((t - s) * f) / 256;
    edge.textureFactor = static_cast<uint32_t>(a) << 24 | 0xFFFFFFu;
    edge.stage0AlphaOp = kTopAdd;
  }
  return edge;
}

}  // namespace orbel
