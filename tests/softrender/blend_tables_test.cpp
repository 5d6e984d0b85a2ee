// Blend lookup tables: the documented entries, the six-bit table's ends and the weight ramps.
#include <gtest/gtest.h>

#include <string>

#include "orbel/softrender/blend_tables.h"

namespace orbel {
namespace {

class BlendTables : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { InitMemImgTables(); }
};

TEST_F(BlendTables, ProductAndSignedProductEntries) {
  EXPECT_EQ(BlendProductTable[255][255], 255u);
  EXPECT_EQ(BlendProductTable[128][255], 128u);
  EXPECT_EQ(BlendProductTable[1][254], 0u);
  EXPECT_EQ(BlendProductTable[0][200], 0u);
  EXPECT_EQ(BlendSignedProductRow(255)[-255], -255);
  EXPECT_EQ(BlendSignedProductRow(1)[-254], 0);  // truncated toward zero, not floored to -1
  EXPECT_EQ(BlendSignedProductRow(128)[-255], -128);
  EXPECT_EQ(BlendSignedProductRow(128)[255], 128);
  // Row 255 is the identity over the whole signed range.
  for (int d = -255; d <= 255; ++d) ASSERT_EQ(BlendSignedProductRow(255)[d], d) << "d=" << d;
}

TEST_F(BlendTables, SixBitTableEndsSelectSourceOrDestination) {
  for (int s = 0; s < 64; ++s) {
    for (int d = 0; d < 64; ++d) {
      ASSERT_EQ(BlendSixBitTable[63][s][d], s) << s << "," << d;
      ASSERT_EQ(BlendSixBitTable[0][s][d], d) << s << "," << d;
    }
  }
  EXPECT_EQ(BlendSixBitTable[32][63][0], 32);  // 32 * 63 / 63
  EXPECT_EQ(BlendSixBitTable[31][31][0], 15);  // 961 / 63 truncated
}

TEST_F(BlendTables, WeightTableRamps) {
  struct Case {
    int threshold, range;
    int expect0, expect127, expect128, expect129, expect255;
  };
  const Case cases[] = {
      {0, 0, 255, 255, 255, 255, 255},   {0, 255, 255, 255, 255, 255, 255},  // threshold 0: all source
      {128, 0, 0, 0, 128, 255, 255},                                         // hard step at the threshold
      {128, 255, 0, 127, 128, 129, 255},                                     // identity ramp
      {255, 0, 0, 0, 0, 0, 1},           {255, 255, 0, 0, 0, 0, 1},          // threshold 255: almost nothing
  };
  for (const Case& c : cases) {
    MakeBlendGraphWeightTable(c.threshold, c.range);
    const std::string where = "threshold " + std::to_string(c.threshold) + " range " + std::to_string(c.range);
    EXPECT_EQ(BlendGraphWeightTable[0], c.expect0) << where;
    EXPECT_EQ(BlendGraphWeightTable[127], c.expect127) << where;
    EXPECT_EQ(BlendGraphWeightTable[128], c.expect128) << where;
    EXPECT_EQ(BlendGraphWeightTable[129], c.expect129) << where;
    EXPECT_EQ(BlendGraphWeightTable[255], c.expect255) << where;
  }
  MakeBlendGraphWeightTable(128, 255);
  for (int i = 0; i < 256; ++i) ASSERT_EQ(BlendGraphWeightTable[i], i);
}

}  // namespace
}  // namespace orbel
