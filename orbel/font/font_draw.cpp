// The public text draw with a font handle: the draw-call steps around a string (the mask hooks, the
// read-back and stretch of a memory-image front screen, the subtract bracket of texture-mode fonts) and
// the hand-off to the Direct3D side or the 2D back end, which in turn run the string engine
// (font_string.cpp). Kept apart from the engine so that the engine never calls up into a back end.
#include <algorithm>

#include "orbel/core/log.h"
#include "orbel/core/message_pump.h"
#include "orbel/font/font_record.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/draw_coordinates.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/mask_screen.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"

namespace orbel {

int DrawTextToFontHandle(int x, int y, const char* text, uint32_t color, int font, uint32_t edgeColor,
                         int vertical) {
  if (text == nullptr || text[0] == '\0') return 0;
  if (GetFontRecord(font) == nullptr) {
    LogAdd("フォントハンドル値が異常です\n");
    return -1;
  }
  WaitWhileInactive();
  // The wait restores graphics lost meanwhile, which makes every font again (the handle stays): its
  // record is looked up after it.
  const FontHandleRecord* f = GetFontRecord(font);
  if (f == nullptr) return -1;
  // A position no draw can place draws nothing, as text clipped away whole.
  if (!PlaceableEdge(x) || !PlaceableEdge(y)) return 0;
  const bool masked = IsMaskScreenActive() != 0;
  const bool frontScreen = DrawingToMemImgFront();
  const bool subtract = gDrawState.blendMode == kBlendSub && f->textureMode;
  // The rectangle the text can touch; the line height covers an edged font's lowest rows.
  const int extent = std::max(f->size + 3, f->lineHeight);
  const plat::RECT& areaNow = gDrawState.drawArea;
  const plat::RECT rect = vertical ? plat::RECT{x, y, x + extent, areaNow.bottom}
                                   : plat::RECT{x, y, areaNow.right, y + extent};
  if (masked || frontScreen || subtract) {
    if (x >= areaNow.right || (vertical && y >= areaNow.bottom)) return 0;
    if (masked) MaskDrawBegin(rect.left, rect.top, rect.right, rect.bottom);
  }
  if (frontScreen && gScreen.presentedSinceReadBack) ReadWindowToScreenImage();
  // Texture-mode fonts are drawn by the Direct3D side, in blend mode 3 inside the subtract bracket.
  int result;
  if (subtract) {
    const SubtractBracket saved = BeginSubtractBlendDraw(rect);
    result = D3D_DrawStringToTarget(x, y, text, color, font, edgeColor, vertical);
    EndSubtractBlendDraw(rect, saved);
  } else {
    result = f->textureMode ? D3D_DrawStringToTarget(x, y, text, color, font, edgeColor, vertical)
                            : DrawStringBackend2D(x, y, text, color, font, edgeColor, vertical);
  }
  if (masked) MaskDrawEnd(rect.left, rect.top, rect.right, rect.bottom);
  if (frontScreen) StretchScreenToWindow(&rect);
  return result;
}

}  // namespace orbel
