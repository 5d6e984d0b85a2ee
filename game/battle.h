// Kelvaron's battle: its variables (one battle at a time), the letter records, and the state and
// drawing functions of battle_scene.cpp, battle_commands.cpp, battle_enemy_attack.cpp and
// battle_drawing.cpp.
#pragma once

#include <cstdint>

#include "data_files.h"

namespace kelvaron {

struct LetterRecord {
  int letter;  // 0-25 into LetterKeyTable and AlphabetGraph; -1 in PreviousLetter after a command
  int x;       // px
  int y;       // px
  int speed;   // px per frame (flying letters)
  uint8_t active;
  int width;   // px
  int height;  // px
};

inline constexpr const char* kTitleMusic = "./Material/BGM/oukasiro.mp3";
inline constexpr uint32_t kTypingFrames = 420;
inline constexpr uint32_t kTurnBannerFrames = 60;
inline constexpr int kBurstCounterCap = 100000;  // frames of the burst counted at most

extern uint32_t BattleState;
extern uint32_t BattleStage;
extern uint32_t EnemyIndex;
extern EnemyRecord CurrentEnemy;
extern double PlayerHp;
extern double PlayerMaxHp;
extern double PlayerAttack;
extern double PlayerBaseAttack;
extern double PlayerDefence;
extern double CommandDefence[3];
extern uint32_t ChosenCommand;
extern int CommandCursor;
extern uint8_t CounterReady;
extern double ChargePower;
extern uint32_t TypingTimer;
extern uint32_t TurnBannerTimer;
extern uint8_t EnemyHitDone;
extern uint32_t SeeThroughPhase;
extern double ShakeAngle;   // degrees
extern double ShakeOffset;  // px
extern double SinkOffset;   // px
extern int BurstCounter;
extern int BurstGraphs[2][25];
extern LetterRecord TargetLetter;
extern LetterRecord PreviousLetter;
extern uint8_t AttackLetterReady;
extern int ChargeLetterState;
extern LetterRecord FlyingLetters[100];
extern int FlyingLetterCount;

extern const int LetterKeyTable[26];
extern const int StageLetterBase[4];
extern const int StageLetterRange[4];

// ---- Scene and states (battle_scene.cpp) ----
void BattleScene();
void BattleStartState();
void EnemyAppearState();
void EnemyTurnState();
void EnemyDefeatedState();
void PlayerDefeatedState();
// Clears the values a state leaves behind, so a battle left by Esc hands nothing to the next one.
void ClearBattleWorkingValues();
void DrawBanner(const char* text);
// Music through the game: the hooks see every start and stop.
void StartMusic(const char* path);
void StopMusic();

// ---- Commands and player attacks (battle_commands.cpp) ----
void CommandSelectState();
void AttackTypingState();
void SpecialChargeState();
void PickNextLetter();
void DrawTargetLetter();
// The keystroke estimate shown under "必殺打数" for a command.
double KeystrokeEstimate(int command);

// ---- Enemy attack and see-through (battle_enemy_attack.cpp) ----
void EnemyAttackState();
void SeeThroughState();
void SpawnFlyingLetters();

// ---- Drawing (battle_drawing.cpp) ----
void DrawEnemy();
void DrawEnemyHpGauge();
void DrawEnemyBurst(int counter);
void DrawPlayerPanel();
void DrawPlayerHpGauge();
void DrawCommandPreview(int command);
bool StepPlayerShake();
void StepPlayerSink();
// A quantity of play as pixels: truncated toward zero; no value (NaN) gives 0 and infinities clamp.
int ToPixels(double value);
// The enemy gauge's filled length for hp of maxHp over `length` px: empty when maxHp is not above 0.
int GaugeLength(double hp, double maxHp, int length);

}  // namespace kelvaron
