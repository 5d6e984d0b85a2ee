// Kelvaron's battle drawing: the enemy with its red hit flash, both HP gauges, the burst of a beaten
// enemy, the player's panel, the preview of the enemy's next attack, and the panel's shake and sink.
// Every quantity becomes pixels by truncation toward zero, each term on its own.
#include <cmath>
#include <limits>

#include "assets.h"
#include "battle.h"
#include "game_state.h"
#include "orbel.h"

namespace kelvaron {

namespace {

constexpr int kPlayerPanelY = 360;
constexpr int kPlayerTextX = 90;     // from the panel's left edge
constexpr int kPlayerGaugeLength = 120;

int CentredX(int width) { return (640 - width) >> 1; }

}  // namespace

int ToPixels(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (value <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

int GaugeLength(double hp, double maxHp, int length) {
  if (!(maxHp > 0)) return 0;
  return ToPixels(hp / maxHp * length);
}

void DrawEnemy() {
  if (CurrentEnemy.hitFlash > 0) {
    SetDrawBrightness(255, 0, 0);
    ++CurrentEnemy.hitFlash;
  }
  DrawGraphAt(CentredX(CurrentEnemy.width) + ToPixels(CurrentEnemy.xOffset), 240 - CurrentEnemy.height,
              CurrentEnemy.graph, 0);
  if (CurrentEnemy.hitFlash > 0) SetDrawBrightness(255, 255, 255);
  if (CurrentEnemy.hitFlash == 4) CurrentEnemy.hitFlash = 0;
}

void DrawEnemyHpGauge() {
  DrawRectangle(270, 245, 370, 247, ColorAt(2), 1);
  DrawRectangle(270, 245, 270 + GaugeLength(CurrentEnemy.hp, CurrentEnemy.maxHp, 100), 247, ColorAt(3), 1);
}

void DrawEnemyBurst(int counter) {
  if (counter > kBurstCounterCap) counter = kBurstCounterCap;  // keeps step * 24 within int
  if (counter < -kBurstCounterCap) counter = -kBurstCounterCap;
  const int cx = CentredX(CurrentEnemy.width);
  const int step = ToPixels(counter * 10.5 + 5.5);
  const int y = 240 - CurrentEnemy.height;
  for (int i = 1; i < 25; ++i) DrawGraphAt(cx + step * i, y, BurstGraphs[0][i], 1);
  for (int i = 1; i < 25; ++i) DrawGraphAt(cx - step * i, y, BurstGraphs[1][i], 1);
}

void DrawPlayerPanel() {
  const int px = CentredX(PlayerGraphWidth);
  const int sx = ToPixels(ShakeOffset);
  const int sy = ToPixels(SinkOffset);
  DrawGraphAt(px + sx, sy + kPlayerPanelY, PlayerGraph, 0);
  DrawTextDefaultFont(px + sx + kPlayerTextX, sy + 372, "[NAME ] ティキ", ColorAt(0), 0);
  DrawTextDefaultFont(px + sx + kPlayerTextX, sy + 392, "[JOB  ] 格闘家", ColorAt(0), 0);
  DrawTextDefaultFont(px + sx + kPlayerTextX, sy + 412, "[LEVEL]    255", ColorAt(0), 0);
}

void DrawPlayerHpGauge() {
  const int px = CentredX(PlayerGraphWidth);
  const int sx = ToPixels(ShakeOffset);
  const int sy = ToPixels(SinkOffset);
  DrawRectangle(px + sx + kPlayerTextX, sy + 432, px + sx + kPlayerTextX + kPlayerGaugeLength, sy + 445,
                ColorAt(2), 1);
  if (PlayerHp > 0)
    DrawRectangle(px + sx + kPlayerTextX, sy + 432,
                  px + GaugeLength(PlayerHp, PlayerMaxHp, kPlayerGaugeLength) + kPlayerTextX + sx, sy + 445,
                  ColorAt(3), 1);
}

void DrawCommandPreview(int command) {
  static const char* const kHelp[3] = {
      "通常攻撃・防御を行う",
      "見切ると次の攻撃がカウンター攻撃になる。見切った分だけ威力が増す",
      "必殺溜め攻撃を行う。誤打で暴発。カウンターと併用可",
  };
  if (command < 0 || command > 2) return;
  DrawTextDefaultFont(50, 340, kHelp[command], ColorAt(3), 0);
  double loss = CurrentEnemy.attack - CommandDefence[command];
  if (loss < 0) loss = 0;
  const double rest = PlayerHp - loss;
  const int px = CentredX(PlayerGraphWidth);
  DrawRectangle(px + GaugeLength(rest, PlayerMaxHp, kPlayerGaugeLength) + kPlayerTextX, 432,
                px + GaugeLength(PlayerHp, PlayerMaxHp, kPlayerGaugeLength) + kPlayerTextX, 445, ColorAt(2), 0);
}

bool StepPlayerShake() {
  ShakeAngle += 18;
  if (ShakeAngle == 360) {
    ShakeAngle = 0;
    ShakeOffset = 0;
    return true;
  }
  // A shake left half-way (an angle past 359) would index past the table: wrap it into range.
  const int degree = static_cast<int>(ShakeAngle) % 360;
  ShakeOffset = 55 * SineTable[degree];
  return false;
}

void StepPlayerSink() {
  SinkOffset += 5.5;
  if (SinkOffset > 255) SinkOffset = 255;
}

}  // namespace kelvaron
