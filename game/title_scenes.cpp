// Kelvaron's title and stage select. The title fades the maker logo in and out over 121 frames, then
// starts the title music; stage select shows the logo, the stage menu, the keys of the highlighted
// stage and the two fighters, and starts a battle or ends the game on Space.
#include "title_scenes.h"

#include "assets.h"
#include "battle.h"
#include "game_state.h"
#include "menu.h"
#include "orbel.h"

namespace kelvaron {

double TitleFadeAngle = 0.0;
int StageCursor = 0;

namespace {

constexpr const char* kStageItems[] = {"STAGE1", "STAGE2", "STAGE3", "STAGE4", " EXIT "};
constexpr int kExitEntry = 4;
constexpr const char* kHelpLine =
    "十字キー：[I][J][K][L] 決定：[SPACE] タイトルへ：[ESC] 強制終了：[F12]";

}  // namespace

void TitleScene() {
  const int v = ToPixels(255.0 * SineTable[static_cast<int>(TitleFadeAngle)]);
  SetDrawBrightness(v, v, v);
  DrawRectangle(0, 0, 640, 480, ColorAt(0), 1);
  int w = 0, h = 0;
  GetGraphExtent(MakerLogoGraph, &w, &h);
  DrawGraphAt((640 - w) >> 1, (480 - h) >> 1, MakerLogoGraph, 0);
  TitleFadeAngle += 1.5;
  if (TitleFadeAngle > 180.0) {
    SetDrawBrightness(255, 255, 255);
    StartMusic(kTitleMusic);
    GameMode = 1;
  }
}

void StageSelectScene() {
  int w = 0;
  GetGraphExtent(TitleLogoGraph, &w, nullptr);
  DrawGraphAt(320 - (w >> 1), 64, TitleLogoGraph, 0);

  const int x = (640 - TextWidthInFont("STAGE1", FontAt(2))) >> 1;
  DrawMenuItems(kStageItems, 5, StageCursor, x, 300, 30, 0, FontAt(2));
  MoveCursorVertical(&StageCursor, kExitEntry);

  if (Pressed(kKeySpace)) {
    if (StageCursor >= kExitEntry) {
      PlayEffect(SePush3);
      GameMode = -1;
    } else {
      StopMusic();
      PlayEffect(SePush);
      GameMode = 2;
      BattleStage = static_cast<uint32_t>(StageCursor);
      EnemyIndex = 0;
      BattleState = 0;
      ClearBattleWorkingValues();
    }
  }

  int kw = 0, kh = 0;
  GetGraphExtent(KeyboardGraph[0], &kw, &kh);
  const int kx = (640 - kw) >> 1;
  if (StageCursor < kExitEntry) DrawGraphAt(kx, 240, KeyboardGraph[StageCursor], 0);

  int pw = 0, ph = 0;
  GetGraphExtent(TitlePlayerGraph, &pw, &ph);
  DrawGraphAt(160 - (pw >> 1), kh + 240 - ph, TitlePlayerGraph, 0);
  DrawGraphAt(480 - (pw >> 1), kh + 240 - ph, TitlePlayer2Graph, 0);
  DrawTextDefaultFont(0, 464, kHelpLine, ColorAt(4), 0);
}

}  // namespace kelvaron
