// Blend lookup tables: filled once before any software draw (products, signed products, six-bit
// blends) and per selected blend graph (weights). See blend_tables.h for the layouts.
#include "orbel/softrender/blend_tables.h"

namespace orbel {

uint32_t BlendProductTable[256][256];
int32_t BlendSignedProductTable[256][512];
uint8_t BlendSixBitTable[64][64][64];
uint8_t BlendGraphWeightTable[256];

int InitMemImgTables() {
  // Integer division truncates toward zero, which is what the signed rows need.
  for (int p = 0; p < 256; ++p) {
    BlendSignedProductTable[p][0] = 0;
    for (int d = -255; d <= 255; ++d) BlendSignedProductTable[p][d + 256] = p * d / 255;
  }
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) BlendProductTable[a][b] = static_cast<uint32_t>(a * b / 255);
  }
  for (int a = 0; a < 64; ++a) {
    for (int s = 0; s < 64; ++s) {
      for (int d = 0; d < 64; ++d) BlendSixBitTable[a][s][d] = static_cast<uint8_t>((a * s + (63 - a) * d) / 63);
    }
  }
  return 0;
}

void MakeBlendGraphWeightTable(int threshold, int range) {
  // Out-of-range arguments would only skew the ramp, but keep them in the documented 0-255.
  threshold = threshold < 0 ? 0 : (threshold > 255 ? 255 : threshold);
  range = range < 0 ? 0 : (range > 255 ? 255 : range);
  const int k = 256 - ((65536 / (range + 1) + 256) * threshold) / 256;
  for (int i = 0; i < 256; ++i) {
    int t = (256 * i) / (range + 1) + k;
    BlendGraphWeightTable[i] = static_cast<uint8_t>(t < 0 ? 0 : (t > 255 ? 255 : t));
  }
}

}  // namespace orbel
