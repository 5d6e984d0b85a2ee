// Kelvaron's battle scene: Esc, the state table, the battle's variables, the banners, the music rules,
// and the states start (0), appear (1), enemy turn (5), enemy defeated (8) and player defeated (9).
#include <cstdio>
#include <cstring>

#include "assets.h"
#include "battle.h"
#include "game_state.h"
#include "menu.h"
#include "orbel.h"

namespace kelvaron {

uint32_t BattleState = 0;
uint32_t BattleStage = 0;
uint32_t EnemyIndex = 0;
EnemyRecord CurrentEnemy{};
double PlayerHp = 100.0;
double PlayerMaxHp = 100.0;
double PlayerAttack = 10.0;
double PlayerBaseAttack = 10.0;
double PlayerDefence = 0.0;
double CommandDefence[3] = {50.0, 25.0, 0.0};
uint32_t ChosenCommand = 0;
int CommandCursor = 0;
uint8_t CounterReady = 0;
double ChargePower = 0.0;
uint32_t TypingTimer = 0;
uint32_t TurnBannerTimer = 0;
uint8_t EnemyHitDone = 0;
uint32_t SeeThroughPhase = 0;
double ShakeAngle = 0.0;
double ShakeOffset = 0.0;
double SinkOffset = 0.0;
int BurstCounter = 0;
int BurstGraphs[2][25] = {};

namespace {

using StateFunction = void (*)();
constexpr StateFunction kStates[] = {
    BattleStartState, EnemyAppearState,  CommandSelectState, AttackTypingState, SpecialChargeState,
    EnemyTurnState,   EnemyAttackState,  SeeThroughState,    EnemyDefeatedState, PlayerDefeatedState,
};

// The enemy's name followed directly by a suffix.
void DrawNameBanner(const char* suffix) {
  char text[260 + 16];
  std::snprintf(text, sizeof text, "%s%s", CurrentEnemy.name, suffix);
  DrawBanner(text);
}

}  // namespace

void StartMusic(const char* path) {
  PlayMusicFile(path, 3);
  if (Hooks.musicStarted != nullptr) Hooks.musicStarted(path);
}

void StopMusic() {
  StopCurrentMusic();
  if (Hooks.musicStopped != nullptr) Hooks.musicStopped();
}

void DrawBanner(const char* text) {
  const int font = FontAt(3);
  const int w = TextWidthInFont(text, font);
  DrawTextInFont((640 - w) >> 1, 232, text, ColorAt(0), font);
}

void ClearBattleWorkingValues() {
  EnemyHitDone = 0;
  SeeThroughPhase = 0;
  SinkOffset = 0.0;
  ShakeOffset = 0.0;
  ShakeAngle = 0.0;
  TurnBannerTimer = 0;
  BurstCounter = 0;
  CounterReady = 0;
  ChargePower = 0.0;
}

void BattleScene() {
  const bool escape = Pressed(kKeyEscape);
  if (escape) {
    PlayerHp = PlayerMaxHp;
    PlayerAttack = PlayerBaseAttack;
    PlayEffect(SePush3);
    StopMusic();
    StartMusic(kTitleMusic);
    GameMode = 1;
  }
  if (BattleState < sizeof kStates / sizeof kStates[0]) kStates[BattleState]();
  // Cleared after the state has run its last frame: cleared before it, the enemy's attack would find
  // its hit not yet done and land again on the HP just refilled.
  if (escape) ClearBattleWorkingValues();
}

void BattleStartState() {
  CurrentEnemy = EnemyTable[(BattleStage * 4 + EnemyIndex) % 16];
  CurrentEnemy.hitFlash = 0;
  if (IsMusicPlaying() == 0) StartMusic(CurrentEnemy.bgm);
  BattleState = 1;
}

void EnemyAppearState() {
  DrawEnemy();
  DrawPlayerPanel();
  DrawPlayerHpGauge();
  DrawNameBanner("が現れた");
  if (Pressed(kKeySpace)) {
    PlayEffect(SePush2);
    BattleState = 2;
  }
}

void EnemyTurnState() {
  DrawEnemy();
  DrawEnemyHpGauge();
  DrawPlayerPanel();
  DrawPlayerHpGauge();
  DrawNameBanner("のターン");
  CurrentEnemy.hitFlash = 0;
  if (++TurnBannerTimer < kTurnBannerFrames) return;
  TurnBannerTimer = 0;
  switch (ChosenCommand) {
    case 0:
      PlayerDefence = CommandDefence[0];
      BattleState = 6;
      break;
    case 1:
      PlayerDefence = CommandDefence[1];
      SpawnFlyingLetters();
      BattleState = 7;
      break;
    case 2:
      PlayerDefence = CommandDefence[2];
      BattleState = 6;
      break;
    default:
      break;
  }
}

void EnemyDefeatedState() {
  DrawEnemyBurst(BurstCounter);
  // The copies have left the screen long before the cap; it keeps the burst's steps within int.
  if (BurstCounter < kBurstCounterCap) ++BurstCounter;
  DrawNameBanner("を倒した！");
  DrawPlayerPanel();
  DrawPlayerHpGauge();
  if (!Pressed(kKeySpace)) return;
  BurstCounter = 0;
  PlayEffect(SePush2);
  ++EnemyIndex;
  if (EnemyIndex < 4) {
    BattleState = 0;
  } else {
    PlayerHp = PlayerMaxHp;
    StartMusic(kTitleMusic);
    GameMode = 1;
  }
}

void PlayerDefeatedState() {
  DrawEnemy();
  DrawPlayerPanel();
  DrawPlayerHpGauge();
  StepPlayerSink();
  DrawBanner("戦いに敗れた");
  if (!Pressed(kKeySpace)) return;
  PlayEffect(SePush2);
  StartMusic(kTitleMusic);
  PlayerHp = PlayerMaxHp;
  PlayerAttack = PlayerBaseAttack;
  CounterReady = 0;
  SinkOffset = 0.0;
  GameMode = 1;
}

}  // namespace kelvaron
