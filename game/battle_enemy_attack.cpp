// Kelvaron's enemy turn: the attack that lands (state 6) and the see-through (state 7), in which a row
// of letters flies in from the left and each must be typed before it crosses the screen.
#include "assets.h"
#include "battle.h"
#include "game_state.h"
#include "orbel.h"

namespace kelvaron {

LetterRecord FlyingLetters[100] = {};
int FlyingLetterCount = 0;

namespace {

constexpr int kFlyingSpeed = 5;     // px per frame
constexpr int kFlyingSpacing = 96;  // px between neighbours
constexpr int kLetterPieceWidth = 17;

double EnemyAttackDamage() {
  const double damage = CurrentEnemy.attack - PlayerDefence;
  return damage < 0 ? 0 : damage;
}

int RandomStageLetter() {
  return StageLetterBase[BattleStage] + GetRandomNumber(StageLetterRange[BattleStage]);
}

void DrawTurnScene() {
  DrawEnemy();
  DrawEnemyHpGauge();
  DrawPlayerPanel();
  DrawPlayerHpGauge();
}

// One frame of the flying row: move, draw, take typed letters, and let the first crossing one land.
void FlyLetters() {
  for (int i = 0; i < FlyingLetterCount; ++i) {
    LetterRecord& l = FlyingLetters[i];
    if (l.active == 0) continue;
    l.x += l.speed;
    if (l.x > -kLetterPieceWidth) {
      DrawGraphAt(l.x, l.y, AlphabetGraph[l.letter], 1);
      if (Pressed(LetterKeyTable[l.letter])) {
        l.active = 0;
        PlayEffect(SePunch);
        PlayerAttack += 3;
      }
    }
    if (l.x >= 640) {
      l.active = 0;
      PlayerHp -= EnemyAttackDamage();
      if (PlayerHp <= 0) PlayerHp = 0;
      PlayEffect(SeDamage);
      for (int j = 0; j < FlyingLetterCount; ++j) FlyingLetters[j].active = 0;
      PlayerAttack = PlayerBaseAttack;
      SeeThroughPhase = 1;
    }
  }
  if (SeeThroughPhase != 0) return;
  for (int i = 0; i < FlyingLetterCount; ++i)
    if (FlyingLetters[i].active != 0) return;
  SeeThroughPhase = 2;
}

}  // namespace

void SpawnFlyingLetters() {
  FlyingLetterCount = GetRandomNumber(10) + static_cast<int>(EnemyIndex) + 5;
  FlyingLetters[0].letter = RandomStageLetter();
  for (int i = 1; i < FlyingLetterCount; ++i) {
    LetterRecord& l = FlyingLetters[i];
    do {
      l.letter = RandomStageLetter();
    } while (l.letter == FlyingLetters[i - 1].letter);
    l.active = 1;
    l.speed = kFlyingSpeed;
    l.x = -32 - kFlyingSpacing * i;
    l.y = 240 - TargetLetter.height - 32;
  }
}

void EnemyAttackState() {
  DrawTurnScene();
  if (EnemyHitDone == 0) {
    PlayEffect(SeDamage);
    PlayerHp -= EnemyAttackDamage();
    EnemyHitDone = 1;
  }
  if (!StepPlayerShake()) return;
  if (PlayerHp <= 0) {
    PlayerHp = 0;
    BattleState = 9;
    StopMusic();
  } else {
    BattleState = 2;
  }
  EnemyHitDone = 0;
}

// The phase is read once at the start of the frame: a phase set while the letters fly acts from the
// next frame, so the shake starts the frame after a crossing and the menu returns the frame after the
// row is cleared.
void SeeThroughState() {
  DrawTurnScene();
  switch (SeeThroughPhase) {
    case 0:
      FlyLetters();
      break;
    case 1:
      if (!StepPlayerShake()) break;
      BattleState = PlayerHp <= 0 ? 9 : 2;
      if (PlayerHp <= 0) StopMusic();
      SeeThroughPhase = 0;
      break;
    case 2:
      BattleState = 2;
      CounterReady = 1;
      SeeThroughPhase = 0;
      break;
    default:
      break;
  }
}

}  // namespace kelvaron
