// Draw-screen selection and the draw area (graph sizes, kept and reset areas, the camera), colour values
// on an 8-bit screen, the draw origin set by the mask-screen switch, mask handles, and the mask hooks on
// the software and DirectDraw roads.
#include <gtest/gtest.h>

#include <cstring>

#include "graph_test_fixture.h"
#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/graphics/mask_screen.h"
#include "orbel/graphics/screen_state.h"
#include "platform/ddraw/test_controls.h"

namespace orbel {
namespace {

using ScreenSelectTest = testing::GraphLibraryTest;

void ExpectArea(int left, int top, int right, int bottom) {
  EXPECT_EQ(gDrawState.drawArea.left, left);
  EXPECT_EQ(gDrawState.drawArea.top, top);
  EXPECT_EQ(gDrawState.drawArea.right, right);
  EXPECT_EQ(gDrawState.drawArea.bottom, bottom);
}

TEST_F(ScreenSelectTest, DrawAreaFollowsTheSelectedScreen) {
  ASSERT_EQ(Start({0, 32}), 0);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  SetDrawClipArea(100, 100, 100, 200);
  EXPECT_EQ(gDrawState.drawAreaEmpty, 1u);
  SetDrawClipArea(200, 50, 100, 10);  // corners given the wrong way round
  EXPECT_EQ(gDrawState.drawAreaEmpty, 0u);
  ExpectArea(100, 10, 200, 50);

  SetNewGraphDrawValidFlag(1);
  const int a = MakeEmptyGraph(64, 32, 1);
  const int b = MakeEmptyGraph(64, 32, 1);
  const int c = MakeEmptyGraph(16, 16, 1);
  SetNewGraphDrawValidFlag(0);
  ASSERT_NE(a, -1);
  ASSERT_NE(c, -1);
  ASSERT_EQ(SelectDrawScreen(a), 0);
  ExpectArea(0, 0, 64, 32);  // another size: the whole graph
  SetDrawClipArea(-10, 5, 1000, 20);
  ExpectArea(0, 5, 64, 20);  // clamped to the graph
  ASSERT_EQ(SelectDrawScreen(b), 0);
  ExpectArea(0, 5, 64, 20);  // the same size keeps the area
  ASSERT_EQ(SelectDrawScreen(c), 0);
  ExpectArea(0, 0, 16, 16);
  ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
  ExpectArea(0, 0, 640, 480);

  // A stale graph handle is refused and the screen stays as it was.
  DeleteGraphHandle(c, 0);
  EXPECT_EQ(SelectDrawScreen(c), -1);
  EXPECT_EQ(GetSelectedDrawScreen(), kDrawScreenBack);

  // The camera shows the screen 1:1 at z = 0: the eye is (h / 2) x sqrt(3) in front of it.
  EXPECT_NEAR(gDrawState.viewMatrix.m[3][2], 240.0f * 1.7320509f, 1e-2f);
  EXPECT_NEAR(gDrawState.viewMatrix.m[3][0], -320.0f, 1e-3f);
}

TEST_F(ScreenSelectTest, SelectionBeforeTheManagerStartsIsRefused) {
  EXPECT_EQ(SelectDrawScreen(kDrawScreenBack), -1);
}

TEST_F(ScreenSelectTest, EightBitColoursComeFromThePalette) {
  gDrawState.screenDepth = 8;
  ColorPaletteEntry* palette = gScreen.displayColorData.palette;
  std::memset(palette, 0xFF, sizeof gScreen.displayColorData.palette);
  palette[3] = {10, 10, 10, 0};  // blue, green, red, alpha
  palette[5] = {12, 12, 12, 0};
  palette[9] = {200, 100, 50, 0};
  EXPECT_EQ(MakeColor(11, 11, 11), 3u);  // equally near 3 and 5: the lower index
  EXPECT_EQ(MakeColor(50, 100, 200), 9u);
  int r = 0;
  int g = 0;
  int b = 0;
  EXPECT_EQ(SplitColor(9, &r, &g, &b), 0);
  EXPECT_EQ(r, 50);
  EXPECT_EQ(g, 100);
  EXPECT_EQ(b, 200);
  EXPECT_EQ(SplitColor(256, &r, &g, &b), -1);
}

TEST_F(ScreenSelectTest, DrawOriginIsTheClientAreaForTheWindowFrontScreen) {
  struct {
    const char* name;
    int software;
  } const cases[] = {{"DirectDraw", 0}, {"software", 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGraphicsStateForTest();
    ASSERT_EQ(Start({c.software, 16}), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenFront), 0);
    // A software screen is its own memory image: no desktop offset.
    EXPECT_EQ(gDrawState.drawOriginX, c.software ? 0 : gWindow.clientRect.left);
    EXPECT_EQ(gDrawState.drawOriginY, c.software ? 0 : gWindow.clientRect.top);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    EXPECT_EQ(gDrawState.drawOriginX, 0);
    EXPECT_EQ(gDrawState.drawOriginY, 0);
    ASSERT_EQ(EndLibrarySystem(), 0);
  }
  EXPECT_NE(gWindow.clientRect.left + gWindow.clientRect.top, 0);  // the DirectDraw case tested a real offset
}

TEST_F(ScreenSelectTest, MaskHandlesAndTheUseSwitch) {
  ASSERT_EQ(Start({0, 16}), 0);
  EXPECT_EQ(SetMaskScreenUse(1), -1);  // no mask buffer
  EXPECT_EQ(GetMaskScreenUse(), 0);

  const int blocks = GetMemoryBlockCount();
  const int mask = MakeMaskData(8, 8);
  ASSERT_NE(mask, -1);
  const int refused[] = {-1, MakeHandle(0, kHandleKindMaskImage, 512), MakeHandle(0, kHandleKindGraph, 0),
                         MakeHandle(HandleCheck(mask) + 1, kHandleKindMaskImage, HandleIndex(mask))};
  for (const int handle : refused) EXPECT_EQ(DeleteMaskData(handle), -1) << std::hex << handle;
  EXPECT_EQ(DeleteMaskData(mask), 0);
  EXPECT_EQ(DeleteMaskData(mask), -1);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
  MakeMaskData(4, 4);
  EXPECT_EQ(DeleteAllMaskData(), 0);
  EXPECT_EQ(GetMemoryBlockCount(), blocks);
}

TEST_F(ScreenSelectTest, MaskBufferPitchIsRoundedAndZeroed) {
  ASSERT_EQ(Start({1, 16}), 0);
  ASSERT_EQ(SetScreenMode(642, 480, 16, -1), 0);
  ASSERT_EQ(CreateMaskScreenBuffer(1), 0);
  int pitch = 0;
  const uint8_t* buffer = GetMaskScreenBuffer(&pitch);
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(pitch, 644);
  bool zero = true;
  for (int i = 0; i < pitch * 480; ++i) zero = zero && buffer[i] == 0;
  EXPECT_TRUE(zero);
  EXPECT_NE(GetMaskMemImg(), nullptr);
  ASSERT_EQ(DeleteMaskScreenInternal(), 0);
  EXPECT_EQ(GetMaskScreenBuffer(nullptr), nullptr);
}

// A masked draw: only the pixels the mask lets through change; outside the draw area nothing happens.
TEST_F(ScreenSelectTest, MaskHooksLetOnlyUnmaskedPixelsThrough) {
  struct {
    const char* name;
    int software;
  } const cases[] = {{"software", 1}, {"DirectDraw", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ResetGraphicsStateForTest();
    ASSERT_EQ(Start({c.software, 16}), 0);
    ASSERT_EQ(SelectDrawScreen(kDrawScreenBack), 0);
    const uint32_t red = MakeColor(255, 0, 0);
    const uint32_t blue = MakeColor(0, 0, 255);
    auto fillBack = [&](plat::RECT rect, uint32_t value) {
      if (c.software) return FillMemImgRect(&gScreen.backImage, &rect, value);
      plat::DDBLTFX fx{};
      fx.dwSize = sizeof fx;
      fx.dwFillColor = value;
      gScreen.backSurface->Blt(&rect, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx);
    };
    auto backPixel = [&](int x, int y) { return testing::BackPixel(x, y); };
    fillBack({0, 0, 640, 480}, red);

    ASSERT_EQ(CreateMaskScreen(), 0);
    ASSERT_EQ(SetMaskScreenUse(1), 0);
    EXPECT_EQ(IsMaskScreenActive(), 1);
    int pitch = 0;
    uint8_t* mask = GetMaskScreenBuffer(&pitch);
    for (int y = 0; y < 100; ++y) std::memset(mask + y * pitch, 1, 50);  // hide x < 50

    ASSERT_EQ(MaskDrawBegin(0, 0, 100, 100), 0);
    // The draw itself lands in the work buffer.
    const plat::RECT drawn = {0, 0, 100, 100};
    if (c.software) {
      FillMemImgRect(GetMaskMemImg(), &drawn, blue);
    } else {
      plat::DDBLTFX fx{};
      fx.dwSize = sizeof fx;
      fx.dwFillColor = blue;
      plat::RECT r = drawn;
      GetMaskSurface()->Blt(&r, nullptr, nullptr, plat::DDBLT_COLORFILL | plat::DDBLT_WAIT, &fx);
    }
    ASSERT_EQ(MaskDrawEnd(0, 0, 100, 100), 0);
    EXPECT_EQ(backPixel(10, 10), 0xFF0000u);   // masked
    EXPECT_EQ(backPixel(60, 10), 0x0000FFu);   // let through
    EXPECT_EQ(backPixel(99, 99), 0x0000FFu);
    EXPECT_EQ(backPixel(100, 10), 0xFF0000u);  // outside the rectangle

    // Outside the draw area the hooks do nothing.
    SetDrawClipArea(200, 200, 300, 300);
    EXPECT_EQ(MaskDrawBegin(0, 0, 100, 100), 0);
    EXPECT_EQ(MaskDrawEnd(0, 0, 100, 100), 0);
    EXPECT_EQ(backPixel(60, 10), 0x0000FFu);
    ASSERT_EQ(EndLibrarySystem(), 0);
    EXPECT_EQ(GetMemoryBlockCount(), 0);
  }
}

}  // namespace
}  // namespace orbel
