// The image calls a game makes through orbel.h.
#include "orbel.h"

#include "orbel/core/memory.h"
#include "orbel/image/color_data.h"
#include "test_support.h"

namespace {

using ImagePublicApi = orbel::testing::VirtualClockTest;

TEST_F(ImagePublicApi, MakesFillsAndFreesAnImageThroughThePublicCalls) {
  const int blocksBefore = orbel::GetMemoryBlockCount();
  orbel::GraphImage image{};
  ASSERT_EQ(::MakeImage32(3, 2, &image), 0);
  EXPECT_EQ(image.width, 3u);
  EXPECT_EQ(image.height, 2u);
  EXPECT_EQ(image.format.bitDepth, 32);
  EXPECT_EQ(image.format.redMask, 0x00FF0000u);
  EXPECT_EQ(orbel::GetMemoryBlockCount(), blocksBefore + 1);
  EXPECT_EQ(::FreeGraphImage(&image), 0);
  EXPECT_EQ(image.pixels, nullptr);
  EXPECT_EQ(orbel::GetMemoryBlockCount(), blocksBefore);
}

TEST_F(ImagePublicApi, BuildsA565FormatFromMasks) {
  orbel::ColorData format{};
  ASSERT_EQ(::BuildColorFormat(&format, 16, 0xF800, 0x07E0, 0x001F, 0), 0);
  EXPECT_EQ(format.bytesPerPixel, 2);
  EXPECT_EQ(format.greenMask, 0x07E0u);
  EXPECT_EQ(format.noneMask, 0u);
}

}  // namespace
