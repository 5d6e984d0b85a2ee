// Widening 16-bit rows: every value of each layout, at row lengths around the eight-pixel step.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/win/gdi/pixel_rows.h"

namespace {

uint32_t Expected(uint32_t v, const uint32_t masks[3]) {
  uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    const int shift = __builtin_ctz(masks[c]);
    const uint32_t max = masks[c] >> shift;
    out |= (((v & masks[c]) >> shift) * 255 + max / 2) / max << (16 - 8 * c);
  }
  return out;
}

TEST(PixelRows, EveryValueOfEachLayoutRoundsToNearest) {
  const uint32_t layouts[][3] = {{0xF800, 0x07E0, 0x001F}, {0x7C00, 0x03E0, 0x001F}, {0x0F00, 0x00F0, 0x000F}};
  std::vector<uint8_t> src(65536 * 2);
  for (uint32_t v = 0; v < 65536; ++v) src[2 * v] = static_cast<uint8_t>(v), src[2 * v + 1] = static_cast<uint8_t>(v >> 8);
  for (const auto& masks : layouts) {
    for (int offset : {0, 3}) {  // whole steps, and rows that start and end between them
      std::vector<uint32_t> dst(65537, 0xDEADBEEF);
      const int count = 65536 - 2 * offset;
      plat::WidenRow16To32(src.data() + 2 * offset, dst.data(), count, masks[0], masks[1], masks[2]);
      int wrong = 0;
      for (int i = 0; i < count; ++i) wrong += dst[i] != Expected(static_cast<uint32_t>(i + offset), masks) ? 1 : 0;
      EXPECT_EQ(wrong, 0) << std::hex << masks[0] << " offset " << offset;
      EXPECT_EQ(dst[count], 0xDEADBEEFu) << "nothing past the row";
    }
  }
}

}  // namespace
