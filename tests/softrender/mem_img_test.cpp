// Memory images: layout of a new body, views and their release, fills, transfers from a GraphImage
// (palette, premultiplied layer, run table) and the refusals that keep bodies from leaking.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "orbel/core/memory.h"
#include "orbel/image/color_data.h"
#include "softrender_test_support.h"

namespace orbel {
namespace {

using testing::TestImage;

class MemImgTest : public testing::PlainBlitTest {};

// A 32-bit picture whose pixels the test fills.
struct Picture {
  GraphImage image{};
  Picture(int w, int h, bool alpha) {
    EXPECT_EQ(alpha ? MakeImage32Alpha(w, h, &image) : MakeImage32(w, h, &image), 0);
  }
  ~Picture() { FreeGraphImage(&image); }
  void Set(int x, int y, uint32_t v) {
    std::memcpy(static_cast<uint8_t*>(image.pixels) + y * image.pitch + 4 * x, &v, 4);
  }
  void Fill(uint32_t v) {
    for (uint32_t y = 0; y < image.height; ++y)
      for (uint32_t x = 0; x < image.width; ++x) Set(static_cast<int>(x), static_cast<int>(y), v);
  }
};

std::vector<uint8_t> RunRow(const MemImg* img, int row) {
  const MemImgRunTable* code = img->base->runTable;
  for (int y = 0; y < row; ++y) {
    while (*code++ != kRunEnd) {
    }
  }
  std::vector<uint8_t> out;
  do out.push_back(*code); while (*code++ != kRunEnd);
  return out;
}

TEST_F(MemImgTest, LayoutOfANewBody) {
  struct Case {
    int width, type, paletted, alpha;
    int pitch, shift, bytes, storedPaletted, storedAlpha;
  };
  const Case cases[] = {
      {100, kMemImgR5G6B5, 0, 0, 208, -1, 2, 0, 0},
      {64, kMemImgX8R8G8B8, 0, 0, 256, 8, 4, 0, 0},
      {64, kMemImgR5G6B5, 0, 1, 256, 8, 4, 0, 1},     // 16-bit with alpha takes 4 bytes
      {8, kMemImgR5G6B5, 0, 0, 16, 4, 2, 0, 0},
      {4, kMemImgR5G6B5, 0, 0, 16, -1, 2, 0, 0},      // row of 8 bytes padded to 16: no shift
      {10, kMemImgSingle8, 1, 1, 16, 4, 1, 0, 0},     // single channel: never paletted, no alpha
      {10, kMemImgSingle16, 1, 0, 32, 5, 2, 0, 0},
      {33, kMemImgX8R8G8B8, 1, 1, 48, -1, 1, 1, 0},   // paletted: one byte, alpha dropped
  };
  for (const Case& c : cases) {
    TestImage img(c.width, 3, c.type, c.paletted, c.alpha);
    const MemImgBase* b = img.base();
    SCOPED_TRACE(::testing::Message() << "width " << c.width << " type " << c.type);
    EXPECT_EQ(b->pitch, c.pitch);
    EXPECT_EQ(b->pitchShift, c.shift);
    EXPECT_EQ(b->pixelBytes, c.bytes);
    EXPECT_EQ(b->paletted, c.storedPaletted);
    EXPECT_EQ(b->alpha, c.storedAlpha);
    EXPECT_EQ(b->colorData->bytesPerPixel, c.bytes);
    EXPECT_EQ(b->palette != nullptr, c.storedPaletted == 1);
  }
  EXPECT_EQ(GetMemImgColorData(4, 0, 0), nullptr);
  EXPECT_EQ(GetMemImgDDPixelFormat(0, 0, 0)->greenMask, 0x07E0u);
  EXPECT_EQ(GetMemImgDDPixelFormat(0, 0, 0)->flags, kDDPixelFormatRGB);
  EXPECT_EQ(GetMemImgDDPixelFormat(2, 0, 0)->size, 0u);
}

TEST_F(MemImgTest, ViewsShareTheBodyUntilTheLastIsReleased) {
  const int before = GetMemoryBlockCount();
  std::vector<uint8_t> own(64 * 8 * 4);
  MemImg whole{};
  ASSERT_EQ(InitializeMemImg(&whole, 64, 8, -1, 0, kMemImgX8R8G8B8, 0, 0, 0, own.data()), 0);
  EXPECT_EQ(InitializeMemImg(&whole, 64, 8, -1, 0, kMemImgX8R8G8B8, 0, 0, 0, nullptr), -1);  // live header

  MemImg view{};
  ASSERT_EQ(DeriveMemImg(&view, &whole, 10, 2, 20, 5), 0);
  EXPECT_EQ(view.pixels, own.data() + 2 * 256 + 40);
  EXPECT_EQ(whole.base->refCount, 2);
  MemImg outside{};
  EXPECT_EQ(DeriveMemImg(&outside, &view, 5, 0, 16, 5), -1);  // views of views measure against the view
  EXPECT_EQ(outside.magic, 0u);
  EXPECT_EQ(DeriveMemImg(&view, &whole, 0, 0, 1, 1), -1);     // a live header is not overwritten

  MemImgBase* body = whole.base;
  TerminateMemImg(&whole);
  EXPECT_EQ(whole.magic, 0u);
  EXPECT_EQ(CheckValidMemImg(&whole), 0);
  EXPECT_EQ(body->refCount, 1);  // the view keeps the body
  TerminateMemImg(&view);
  TerminateMemImg(&view);  // a released header is ignored
  EXPECT_EQ(GetMemoryBlockCount(), before);
  own[5] = 7;  // the caller's buffer survives
}

// A view on a caller's body record allocates nothing; the record serves view after view, taking the
// new pixels each time and a new shape when the size changes, and refuses what it cannot hold.
TEST_F(MemImgTest, ViewsOnACallerBodyAllocateNothing) {
  std::vector<uint32_t> first(16 * 4, 0x00102030), second(16 * 4, 0x00405060);
  TestImage sprite(4, 2, kMemImgX8R8G8B8);
  sprite.Fill(0x00ABCDEF);
  const int before = GetMemoryBlockCount();
  MemImgBase body{};
  MemImg view{};
  for (int round = 0; round < 3; ++round) {
    // Rounds 0 and 1: a 4 x 2 view with a pitch of 16 pixels; round 2: 8 x 3 on the same memory.
    std::vector<uint32_t>& pixels = round == 1 ? second : first;
    const int w = round == 2 ? 8 : 4, h = round == 2 ? 3 : 2;
    ASSERT_EQ(InitializeMemImgOnBody(&view, &body, w, h, 64, 0, kMemImgX8R8G8B8, pixels.data()), 0) << round;
    EXPECT_EQ(GetMemoryBlockCount(), before) << round;
    EXPECT_EQ(view.width, w);
    EXPECT_EQ(view.height, h);
    EXPECT_EQ(body.pitch, 64);
    DrawMemImg(&view, sprite.img(), 1, 1, 0, nullptr);
    EXPECT_EQ(pixels[16 + 1], 0x00ABCDEFu) << round;  // drawn into this round's pixels
    EXPECT_EQ(pixels[16 * 2 + 1], round == 2 ? 0x00ABCDEFu : pixels[0]) << round;  // only a 3-row view reaches row 2
    TerminateMemImg(&view);
    std::fill(pixels.begin(), pixels.end(), round == 1 ? 0x00405060u : 0x00102030u);
  }
  EXPECT_EQ(InitializeMemImgOnBody(&view, &body, 4, 2, 8, 0, kMemImgX8R8G8B8, first.data()), -1);  // pitch short of a row
  EXPECT_EQ(InitializeMemImgOnBody(&view, &body, 4, 2, 64, 0, kMemImgX8R8G8B8, nullptr), -1);
  ASSERT_EQ(InitializeMemImgOnBody(&view, &body, 4, 2, 64, 0, kMemImgX8R8G8B8, first.data()), 0);
  EXPECT_EQ(InitializeMemImgOnBody(&view, &body, 4, 2, 64, 0, kMemImgX8R8G8B8, first.data()), -1);  // live header
  TerminateMemImg(&view);
  EXPECT_EQ(GetMemoryBlockCount(), before);
}

TEST_F(MemImgTest, CreateHelpersRefuseALiveHeaderWithoutLeaking) {
  const int before = GetMemoryBlockCount();
  MemImg img{};
  ASSERT_EQ(CreateMemImgScreenType(&img, 16, 16, -1), 0);
  EXPECT_EQ(img.base->colorType, kMemImgR5G6B5);  // 16-bit screen while no mode is set
  MemImgBase* body = img.base;
  EXPECT_EQ(CreateMemImgScreenType(&img, 8, 8, 1), -1);
  EXPECT_EQ(CreateMemImgDepth16(&img, 8, 8), -1);
  EXPECT_EQ(img.base, body);
  TerminateMemImg(&img);
  ASSERT_EQ(CreateMemImgDepth16(&img, 8, 8), 0);
  EXPECT_EQ(img.base->colorType, kMemImgSingle16);
  TerminateMemImg(&img);
  EXPECT_EQ(GetMemoryBlockCount(), before);
  EXPECT_EQ(InitializeMemImg(&img, -1, 8, -1, 0, 1, 0, 0, 0, nullptr), -1);
  EXPECT_EQ(InitializeMemImg(&img, 8, 8, 16, 0, 1, 0, 0, 0, nullptr), -1);  // pitch shorter than a row
  EXPECT_EQ(GetMemoryBlockCount(), before);
}

TEST_F(MemImgTest, FillIsClippedToTheView) {
  TestImage img(8, 4, kMemImgR5G6B5);
  img.Fill(0x1234);
  const plat::RECT r = {6, -2, 20, 2};
  FillMemImgRect(img.img(), &r, 0xABCDEF);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 8; ++x) EXPECT_EQ(img.Pixel(x, y), (x >= 6 && y < 2) ? 0xCDEFu : 0x1234u) << x << "," << y;
  }
}

TEST_F(MemImgTest, RunTableCodesAndValidity) {
  TestImage img(130, 2, kMemImgX8R8G8B8, 0, 0, 0x00FF00FF);
  Picture pic(130, 2, false);
  pic.Fill(0x00102030);
  for (int x = 0; x < 64; ++x) pic.Set(x, 1, 0x00FF00FF);  // 64 transparent, then opaque
  pic.Set(65, 1, 0x00FF00FF);
  ASSERT_GE(TransferImageToMemImg(&pic.image, nullptr, img.img(), 0, 0, 130, 2, 0, 0, 0), 0);
  EXPECT_EQ(img.base()->runTableValid, 1);
  EXPECT_EQ(RunRow(img.img(), 0), (std::vector<uint8_t>{0x7F, 0x7F, 0x41, 0xC0}));
  EXPECT_EQ(RunRow(img.img(), 1), (std::vector<uint8_t>{0x3F, 0x40, 0x00, 0x7F, 0xC0}));

  ASSERT_GE(TransferImageToMemImg(&pic.image, nullptr, img.img(), 0, 0, 129, 2, 0, 0, 0), 0);
  EXPECT_EQ(img.base()->runTableValid, 0);  // less than the whole image
  EXPECT_EQ(TransferImageToMemImg(&pic.image, nullptr, img.img(), 1, 0, 130, 2, 0, 0, 0), -1);  // past the picture
}

TEST_F(MemImgTest, TransferIntoAViewOfALargerBodyLeavesTheRunTableInvalid) {
  TestImage big(32, 8, kMemImgX8R8G8B8);
  MemImg view{};
  ASSERT_EQ(DeriveMemImg(&view, big.img(), 16, 0, 16, 8), 0);
  Picture pic(16, 8, false);
  pic.Fill(0x00808080);
  ASSERT_GE(TransferImageToMemImg(&pic.image, nullptr, &view, 0, 0, 16, 8, 0, 0, 0), 0);
  EXPECT_EQ(big.base()->runTableValid, 0);
  EXPECT_EQ(big.Pixel(16, 3), 0x00808080u & 0xFFFFFF);
  TerminateMemImg(&view);
}

TEST_F(MemImgTest, AlphaTransferClassifiesRunsAndPremultiplies) {
  TestImage img(3, 1, kMemImgX8R8G8B8, 0, 1);
  TestImage img16(3, 1, kMemImgR5G6B5, 0, 1);
  Picture pic(3, 1, true);
  pic.Set(0, 0, 0x00FFFFFF);
  pic.Set(1, 0, 0xFF804020);
  pic.Set(2, 0, 0x80FF8040);
  ASSERT_GE(TransferImageToMemImg(&pic.image, nullptr, img.img(), 0, 0, 3, 1, 0, 0, 0), 0);
  EXPECT_EQ(RunRow(img.img(), 0), (std::vector<uint8_t>{0x00, 0x40, 0x80, 0xC0}));
  EXPECT_EQ(img.base()->premulValid, 1);
  uint32_t v;
  std::memcpy(&v, img.img()->layer2 + 8, 4);
  EXPECT_EQ(v, 0x807F4020u);  // 255 * 128 >> 8, 128 * 128 >> 8, 64 * 128 >> 8, alpha 128

  ASSERT_GE(TransferImageToMemImg(&pic.image, nullptr, img16.img(), 0, 0, 3, 1, 0, 0, 0), 0);
  EXPECT_EQ(img16.Pixel(2, 0) & 0xFFFFFF, 0x80FC08u);  // colour (31, 32, 8), alpha in byte 2
  std::memcpy(&v, img16.img()->layer2 + 8, 4);
  EXPECT_EQ(v, (0x80u << 16) | (15u << 11) | (16u << 5) | 4u);
}

TEST_F(MemImgTest, PalettedTransferBuildsPaletteWords) {
  GraphImage pic{};
  SetColorData8Bit(&pic.format);
  pic.width = 4;
  pic.height = 1;
  pic.pitch = 4;
  uint8_t idx[4] = {0, 2, 5, 2};
  pic.pixels = idx;
  pic.format.palette[5] = {0x3F, 0x7F, 0xFF, 0};  // B, G, R
  TestImage img16(4, 1, kMemImgR5G6B5, 1, 0, 2);
  TestImage img32(4, 1, kMemImgX8R8G8B8, 1, 0, 2);
  ASSERT_GE(TransferImageToMemImg(&pic, nullptr, img16.img(), 0, 0, 4, 1, 0, 0, 0), 0);
  ASSERT_GE(TransferImageToMemImg(&pic, nullptr, img32.img(), 0, 0, 4, 1, 0, 0, 0), 0);
  EXPECT_EQ(img16.base()->paletteCount, 6);  // largest index + 1
  uint16_t w16;
  std::memcpy(&w16, img16.base()->palette + 10, 2);
  EXPECT_EQ(w16, (0xF8 << 8) | (0x7C << 3) | (0x3F >> 3));
  std::memcpy(&w16, img16.base()->palette2 + 10, 2);
  EXPECT_EQ(w16, (0xF8 << 8) | (0x7C << 3) | (0x3F >> 3));
  uint32_t w32;
  std::memcpy(&w32, img32.base()->palette + 20, 4);
  EXPECT_EQ(w32, 0xFF7F3Fu);
  EXPECT_EQ(img32.Pixel(2, 0), 5u);
  EXPECT_EQ(RunRow(img32.img(), 0), (std::vector<uint8_t>{0x40, 0x00, 0x40, 0x00, 0xC0}));
  pic.pixels = nullptr;
}

TEST_F(MemImgTest, CopyOutAndBlitThroughTheConverter) {
  TestImage img(4, 2, kMemImgX8R8G8B8);
  img.Set(1, 1, 0x00112233);
  Picture pic(4, 2, false);
  pic.Fill(0);
  CopyMemImgToImage(&pic.image, img.img(), 1, 1, 2, 1, 0, 0, 0, 0);
  uint32_t v;
  std::memcpy(&v, pic.image.pixels, 4);
  EXPECT_EQ(v & 0xFFFFFF, 0x112233u);

  TestImage dst(4, 2, kMemImgX8R8G8B8);
  const plat::RECT r = {1, 1, 2, 2};
  EXPECT_GE(BltMemImgRect(dst.img(), img.img(), &r, 3, 0), 0);
  EXPECT_EQ(dst.Pixel(3, 0) & 0xFFFFFF, 0x112233u);
  EXPECT_EQ(BltMemImgRect(dst.img(), img.img(), &r, 4, 0), -1);  // would land past the destination
}

}  // namespace
}  // namespace orbel
