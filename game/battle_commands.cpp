// Kelvaron's player turn: the command menu with its keystroke estimate (state 2), the typing attack
// (state 3), the special attack's charge and firing (state 4), and the letter to type.
#include <cmath>
#include <cstring>

#include "assets.h"
#include "battle.h"
#include "game_state.h"
#include "menu.h"
#include "orbel.h"

namespace kelvaron {

LetterRecord TargetLetter{0, 0, 0, 0, 0, 0, 0};
LetterRecord PreviousLetter{0, 0, 0, 0, 0, 0, 0};
uint8_t AttackLetterReady = 1;
int ChargeLetterState = 1;

// Key code of each letter, in the order of the alphabet strip: Q W E A S D Z X C | U I O P J K L M |
// R T Y F G H V B N.
const int LetterKeyTable[26] = {
    0x10, 0x11, 0x12, 0x1E, 0x1F, 0x20, 0x2C, 0x2D, 0x2E,  // stage 1
    0x16, 0x17, 0x18, 0x19, 0x24, 0x25, 0x26, 0x32,        // stage 2
    0x13, 0x14, 0x15, 0x21, 0x22, 0x23, 0x2F, 0x30, 0x31,  // stage 3
};
const int StageLetterBase[4] = {0, 9, 17, 0};
const int StageLetterRange[4] = {8, 7, 8, 25};

namespace {

constexpr const char* kCommandItems[] = {"攻撃／防御", "攻撃／見切り", "必殺技"};
constexpr const char* kEstimateLabel = "必殺打数";
constexpr const char* kEstimateFormat = "%.2f打";

// One more letter of the stage's set, never the one typed last.
int RandomStageLetter() {
  return StageLetterBase[BattleStage] + GetRandomNumber(StageLetterRange[BattleStage]);
}

// A beaten enemy bursts into copies of its picture.
void EnterEnemyDefeated() {
  for (auto& row : BurstGraphs)
    for (int& g : row) g = CurrentEnemy.graph;
  BattleState = 8;
}

bool TargetPressed() { return Pressed(LetterKeyTable[TargetLetter.letter]); }

void DrawTurnScene() {
  DrawEnemy();
  DrawEnemyHpGauge();
  DrawPlayerPanel();
  DrawPlayerHpGauge();
}

}  // namespace

void PickNextLetter() {
  int letter;
  do {
    letter = RandomStageLetter();
  } while (letter == PreviousLetter.letter);
  TargetLetter.letter = letter;
  TargetLetter.x = (640 - TargetLetter.width) >> 1;
  TargetLetter.y = 240 - TargetLetter.height - 32;
}

void DrawTargetLetter() { DrawGraphAt(TargetLetter.x, TargetLetter.y, AlphabetGraph[TargetLetter.letter], 1); }

double KeystrokeEstimate(int command) {
  const double h = CurrentEnemy.hp;
  const double d = CurrentEnemy.defence;
  if (command == 2) return (h + d) / PlayerAttack;
  if (CounterReady != 0) {
    const double f = 2.0 * PlayerAttack - d;
    return h < f ? h / f : (h - f) / (PlayerBaseAttack - d) + 1.0;
  }
  return h / (PlayerAttack - d);
}

void CommandSelectState() {
  DrawTurnScene();
  const int font = FontAt(3);
  const int menuX = (640 - TextWidthInFont("攻撃／見切り", font)) >> 1;
  DrawMenuItems(kCommandItems, 3, CommandCursor, menuX, 210, 20, 0, font);
  MoveCursorVertical(&CommandCursor, 2);

  const int labelWidth = GetTextWidthDefaultFont(kEstimateLabel, static_cast<int>(std::strlen(kEstimateLabel)), 0);
  DrawTextDefaultFont((640 - labelWidth) >> 1, 280, kEstimateLabel, ColorAt(4), 0);
  // printf shows a zero divisor's estimate as inf, -inf or nan; it is never made an integer.
  const double e = KeystrokeEstimate(CommandCursor);
  const int w = GetFormatTextWidthDefaultFont(kEstimateFormat, e);
  DrawFormatTextDefaultFont((640 - w) >> 1, 300, ColorAt(4), kEstimateFormat, e);
  DrawCommandPreview(CommandCursor);

  if (!Pressed(kKeySpace)) return;
  PlayEffect(SePush2);
  TypingTimer = 0;
  PreviousLetter.letter = -1;
  PickNextLetter();
  switch (CommandCursor) {
    case 0:
    case 1:
      PlayerDefence = CommandDefence[CommandCursor];
      ChosenCommand = static_cast<uint32_t>(CommandCursor);
      BattleState = 3;
      break;
    case 2:
      ChargePower = PlayerAttack;
      PlayerDefence = CommandDefence[2];
      ChosenCommand = 2;
      BattleState = 4;
      break;
    default:
      break;
  }
}

void AttackTypingState() {
  if (AttackLetterReady == 0) {
    PickNextLetter();
    AttackLetterReady = 1;
  }
  DrawTurnScene();
  DrawTargetLetter();
  if (TargetPressed()) {
    CurrentEnemy.hitFlash = 1;
    PreviousLetter = TargetLetter;
    AttackLetterReady = 0;
    const double defence = CurrentEnemy.defence;
    double damage;
    if (CounterReady != 0) {
      PlayEffect(SeKick);
      damage = 2.0 * PlayerAttack - defence;
      CounterReady = 0;
      PlayerAttack = PlayerBaseAttack;
    } else if (GetRandomNumber(999) < 900) {
      PlayEffect(SePunch);
      damage = PlayerAttack - defence;
    } else {
      PlayEffect(SeKick);
      damage = 3.0 * PlayerAttack - defence;
    }
    if (damage < 0) damage = 0;
    CurrentEnemy.hp -= damage;
    if (CurrentEnemy.hp <= 0) {
      if (EnemyIndex > 1) StopMusic();
      EnterEnemyDefeated();
      PlayerAttack = PlayerBaseAttack;
    }
  }
  ++TypingTimer;
  if (TypingTimer >= kTypingFrames && BattleState != 8) {
    BattleState = 5;
    PlayerAttack = PlayerBaseAttack;
  }
}

void SpecialChargeState() {
  if (ChargeLetterState == 0) {
    PickNextLetter();
    ChargeLetterState = 1;
  }
  DrawTurnScene();
  DrawTargetLetter();
  for (int code : LetterKeyTable)
    if (Pressed(code)) ChargeLetterState = -1;
  if (TargetPressed()) {
    PreviousLetter = TargetLetter;
    ChargeLetterState = 0;
    PlayEffect(SeCharge);
    ChargePower += GetRandomNumber(999) < 900 ? PlayerAttack : 3.0 * PlayerAttack;
  }
  double damage = ChargePower - CurrentEnemy.defence;
  if (damage < 0) damage = 0;
  if (CurrentEnemy.hp - damage <= 0) TypingTimer = kTypingFrames;
  ++TypingTimer;
  if (ChargeLetterState == -1) {  // a letter other than the target: the attack misfires now
    ChargeLetterState = 0;
    TypingTimer = kTypingFrames;
  }
  if (TypingTimer < kTypingFrames) return;
  CurrentEnemy.hitFlash = 1;
  PlayEffect(SeKillerShot);
  CurrentEnemy.hp -= damage;
  PlayerAttack = PlayerBaseAttack;
  TypingTimer = 0;
  if (CurrentEnemy.hp <= 0) {
    CurrentEnemy.hitFlash = 0;
    if (EnemyIndex > 1) StopMusic();
    EnterEnemyDefeated();
  } else {
    BattleState = 5;
  }
}

}  // namespace kelvaron
