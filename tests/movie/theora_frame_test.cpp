// Theora pictures checked before they are kept or converted: the stock takes only pictures of the
// stream's coded frame in its chroma layout, and the conversion only planes that hold the whole picture
// region. (A film whose frame the decoder refuses: theora_decode_test.cpp.)
#include <cstdlib>
#include <cstring>

#include "movie_test_fixture.h"

namespace orbel::testing {
namespace {

// A picture as the decoder hands it out: each plane exactly as large as its own sizes and stride say
// (so a copy that trusted other sizes would read past it). Row r holds r + 1; a negative stride makes
// the rows run bottom-up from the last one in memory.
struct DecoderPicture {
  std::vector<uint8_t> y, u, v;
  yuv_buffer buffer{};

  DecoderPicture(int yWidth, int yHeight, int yStride, int uvWidth, int uvHeight, int uvStride)
      : buffer{yWidth, yHeight, yStride, uvWidth, uvHeight, uvStride, Fill(&y, yHeight, yStride),
               Fill(&u, uvHeight, uvStride), Fill(&v, uvHeight, uvStride)} {}
  static unsigned char* Fill(std::vector<uint8_t>* plane, int height, int stride) {
    const int rowBytes = std::abs(stride);
    plane->assign(static_cast<size_t>(rowBytes) * height, 0);
    if (plane->empty()) return nullptr;
    unsigned char* first = plane->data() + (stride < 0 ? static_cast<size_t>(rowBytes) * (height - 1) : 0);
    for (int row = 0; row < height; ++row) std::memset(first + static_cast<ptrdiff_t>(row) * stride, row + 1, rowBytes);
    return first;
  }
};

theora_info Stream420(int width, int height) {
  theora_info info{};
  info.width = static_cast<ogg_uint32_t>(width);
  info.height = static_cast<ogg_uint32_t>(height);
  info.frame_width = info.width;
  info.frame_height = info.height;
  info.pixelformat = OC_PF_420;
  return info;
}

YuvPlanes SlotPlanes(const TheoraFrameStockSlot& s) {
  return {s.y, s.u, s.v, s.yWidth, s.uvWidth, s.yWidth, s.yHeight, s.uvWidth, s.uvHeight};
}

TEST(TheoraPictureStore, KeepsOnlyPicturesOfTheStreamAndConvertsNothingFromADroppedOne) {
  InitYuvToRgbTable();
  const theora_info info = Stream420(32, 16);
  const struct {
    const char* name;
    DecoderPicture picture;
    int stored;
  } cases[] = {
      {"a picture of the stream", {32, 16, 64, 16, 8, 32}, 1},
      {"bottom-up rows", {32, 16, -64, 16, 8, -32}, 1},
      {"no picture at all", {0, 0, 0, 0, 0, 0}, 0},
      {"a short luma plane", {32, 8, 64, 16, 8, 32}, 0},
      {"a short chroma plane", {32, 16, 64, 16, 4, 32}, 0},
      {"narrower chroma planes", {32, 16, 64, 8, 8, 32}, 0},
      {"a luma stride below the width", {32, 16, 16, 16, 8, 32}, 0},
      {"a chroma stride below the width", {32, 16, 64, 16, 8, 8}, 0},
      {"4:4:4 planes in a 4:2:0 stream", {32, 16, 32, 32, 16, 32}, 0},
      {"the stream's picture again", {32, 16, 32, 16, 8, 16}, 1},
  };
  TheoraFrameStockSlot slot{};
  std::vector<uint8_t> rgb(32 * 16 * 4);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(StoreTheoraPicture(info, c.picture.buffer, &slot), c.stored);
    const bool converted = ConvertYuvToBgrx(SlotPlanes(slot), {0, 0, 32, 16}, rgb.data(), 32 * 4);
    EXPECT_EQ(converted, c.stored == 1);
    if (c.stored == 0) {
      EXPECT_EQ(slot.yWidth + slot.yHeight + slot.uvWidth + slot.uvHeight, 0);
      continue;
    }
    EXPECT_EQ(slot.yWidth, 32);
    EXPECT_EQ(slot.yHeight, 16);
    EXPECT_EQ(slot.uvWidth, 16);
    EXPECT_EQ(slot.uvHeight, 8);
    // Packed top-down whatever the source's order: row r of each plane holds r + 1.
    EXPECT_EQ(slot.y[0], 1);
    EXPECT_EQ(slot.y[15 * 32 + 31], 16);
    EXPECT_EQ(slot.u[7 * 16], 8);
    EXPECT_EQ(slot.v[7 * 16 + 15], 8);
  }
  std::free(slot.y);
  std::free(slot.u);
  std::free(slot.v);
}

}  // namespace
}  // namespace orbel::testing
