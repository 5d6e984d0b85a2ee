// Blend lookup tables of the software renderer: products a x b / 255, signed products p x d / 255,
// the six-bit blend table of 5:6:5 fields, and the blend-graph weight table. Static arrays, no heap.
// The first three are filled once by InitMemImgTables before any software draw; the weight table is
// rebuilt by MakeBlendGraphWeightTable whenever a blend graph is selected. No dependencies.
#pragma once

#include <cstdint>

namespace orbel {

// [a][b] = a * b / 255 (truncated). Row a maps a channel value (8-bit, or a 5/6-bit field) to x*a/255.
extern uint32_t BlendProductTable[256][256];
// [p][d + 256] = p * d / 255, truncated toward zero, for d = -255..255; slot 0 of each row unused.
// Enter a row at its centre with BlendSignedProductRow.
extern int32_t BlendSignedProductTable[256][512];
// [a][s][d] = (a * s + (63 - a) * d) / 63: blend of 5- or 6-bit fields with a six-bit weight a.
extern uint8_t BlendSixBitTable[64][64][64];
// [i] = the source weight (0-255, out of 256) of a blend-image byte i.
extern uint8_t BlendGraphWeightTable[256];

// Row p of the signed product table, entered at d = 0: row[d] for d = -255..255.
inline const int32_t* BlendSignedProductRow(int p) { return &BlendSignedProductTable[p][256]; }

// Fills the signed product, product and six-bit tables. Returns 0.
int InitMemImgTables();
// Rebuilds the weight table for threshold 0-255 and range 0-255 (a range of 0 gives a hard step).
void MakeBlendGraphWeightTable(int threshold, int range);

}  // namespace orbel
