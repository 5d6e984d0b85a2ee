// Kelvaron's rules without a screen: the shake and sink, the gauges and estimates with odd values,
// the cursor rule's repeat, the frame pause, the tables, and the values a battle leaves behind.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "assets.h"
#include "battle.h"
#include "frame_loop.h"
#include "game_state.h"
#include "menu.h"
#include "title_scenes.h"

namespace kelvaron {
namespace {

class BattleRules : public ::testing::Test {
 protected:
  void SetUp() override { SineTable = MakeSineTable(); }
  void TearDown() override {
    FreeSineTable(SineTable);
    SineTable = nullptr;
  }
};

TEST_F(BattleRules, TablesUseTheTunedDegreeFactor) {
  EXPECT_NEAR(SineTable[90], 1.0, 1e-9);
  EXPECT_LT(SineTable[90], 1.0);  // so a full fade peaks at 254
  EXPECT_EQ(ToPixels(255.0 * SineTable[90]), 254);
  EXPECT_NEAR(SineTable[180], -8.6e-8, 1e-8);
  double* cosine = MakeCosineTable();
  EXPECT_EQ(cosine[0], 1.0);
  FreeCosineTable(cosine);
  // The fade's first brightness values: degrees 0, 1 and 3.
  const int expected[] = {0, 4, 13};
  double angle = 0;
  for (int v : expected) {
    EXPECT_EQ(ToPixels(255.0 * SineTable[static_cast<int>(angle)]), v) << angle;
    angle += 1.5;
  }
}

TEST_F(BattleRules, ShakeSwingsTwentyCallsAndSinkStopsAt255) {
  ShakeAngle = ShakeOffset = 0;
  std::vector<int> offsets;
  int calls = 0;
  while (!StepPlayerShake()) {
    offsets.push_back(ToPixels(ShakeOffset));
    ASSERT_LT(++calls, 100);
  }
  EXPECT_EQ(calls, 19);
  EXPECT_EQ(ShakeOffset, 0.0);
  EXPECT_EQ(ShakeAngle, 0.0);
  const std::vector<int> firstFive = {16, 32, 44, 52, 54};
  EXPECT_EQ(std::vector<int>(offsets.begin(), offsets.begin() + 5), firstFive);
  EXPECT_EQ(offsets[9], 0);
  EXPECT_EQ(offsets[14], -54);

  SinkOffset = 0;
  int sinkCalls = 0;
  while (SinkOffset < 255) {
    StepPlayerSink();
    ++sinkCalls;
  }
  EXPECT_EQ(sinkCalls, 47);
  StepPlayerSink();
  EXPECT_EQ(SinkOffset, 255.0);
}

TEST_F(BattleRules, GaugesAndEstimatesWithNoValueStayDefined) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(GaugeLength(0, 0, 100), 0);     // an enemy of maximum HP 0: empty bar
  EXPECT_EQ(GaugeLength(50, 0, 100), 0);
  EXPECT_EQ(GaugeLength(55, 100, 120), 66);
  EXPECT_EQ(GaugeLength(-10, 100, 120), -12);
  EXPECT_EQ(ToPixels(std::nan("")), 0);
  EXPECT_EQ(ToPixels(inf), std::numeric_limits<int>::max());
  EXPECT_EQ(ToPixels(-inf), std::numeric_limits<int>::min());
  EXPECT_EQ(ToPixels(-0.9), 0);

  CurrentEnemy = EnemyRecord{};
  CurrentEnemy.hp = 60;
  CurrentEnemy.defence = 10;
  PlayerAttack = PlayerBaseAttack = 10;
  CounterReady = 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", KeystrokeEstimate(0));
  EXPECT_STREQ(text, "inf");  // attack equal to defence: what printf shows
  EXPECT_DOUBLE_EQ(KeystrokeEstimate(2), 7.0);  // (60 + 10) / 10
  CurrentEnemy.defence = 2;
  PlayerAttack = 22;
  CounterReady = 1;
  CurrentEnemy.hp = 30;
  EXPECT_DOUBLE_EQ(KeystrokeEstimate(0), 30.0 / 42.0);               // H < 2A - D: the counter ends it
  CurrentEnemy.hp = 100;
  EXPECT_DOUBLE_EQ(KeystrokeEstimate(1), (100.0 - 42.0) / 8.0 + 1);  // then base-attack hits
  CounterReady = 0;
}

TEST(MenuCursor, HoldRepeatsAfterThirtyThenEveryFourFramesAndWraps) {
  std::memset(KeyState, 0, sizeof KeyState);
  std::memset(PrevKeyState, 0, sizeof PrevKeyState);
  UpHoldFrames = DownHoldFrames = 0;
  int cursor = 0;
  std::vector<int> moves;
  for (int frame = 1; frame <= 44; ++frame) {
    KeyState[kKeyK] = frame == 1 ? kKeyPressed : 1;
    PrevKeyState[kKeyK] = KeyState[kKeyK];  // as the poll leaves them
    const int before = cursor;
    MoveCursorVertical(&cursor, 4);
    if (cursor != before) moves.push_back(frame * 10 + cursor);
  }
  EXPECT_EQ(moves, (std::vector<int>{11, 312, 353, 394, 430}));

  KeyState[kKeyI] = kKeyPressed;  // both keys: nothing moves
  MoveCursorVertical(&cursor, 4);
  EXPECT_EQ(cursor, 0);
  KeyState[kKeyK] = PrevKeyState[kKeyK] = 0;
  MoveCursorVertical(&cursor, 4);  // I alone at entry 0: the last entry
  EXPECT_EQ(cursor, 4);
  std::memset(KeyState, 0, sizeof KeyState);
  std::memset(PrevKeyState, 0, sizeof PrevKeyState);
}

TEST(FrameLoop, PauseFillsTheFrameToSixteenMillisecondsAtMost) {
  EXPECT_EQ(FrameRestMs(0), 16u);
  EXPECT_EQ(FrameRestMs(5), 11u);
  EXPECT_EQ(FrameRestMs(16), 0u);
  EXPECT_EQ(FrameRestMs(4000000000u), 0u);  // a clock far ahead never asks for a long sleep
  const uint32_t before = 0xFFFFFFF0u, after = 3;  // wrap between two readings
  EXPECT_EQ(FrameRestMs(after - before), 0u);
  EXPECT_EQ(FrameRestMs(0xFFFFFFFFu - 0xFFFFFFF8u), 9u);
}

// Values a battle left half-way (Esc in the shake, the sink, the see-through, the burst).
void LeaveWorkingValues() {
  EnemyHitDone = 1;
  SeeThroughPhase = 2;
  SinkOffset = 200;
  ShakeOffset = 30;
  ShakeAngle = 90;
  TurnBannerTimer = 40;
  BurstCounter = 7;
  CounterReady = 1;
  ChargePower = 55;
}

void ExpectWorkingValuesCleared(const char* how) {
  EXPECT_EQ(EnemyHitDone, 0) << how;
  EXPECT_EQ(SeeThroughPhase, 0u) << how;
  EXPECT_EQ(SinkOffset, 0.0) << how;
  EXPECT_EQ(ShakeOffset, 0.0) << how;
  EXPECT_EQ(ShakeAngle, 0.0) << how;
  EXPECT_EQ(TurnBannerTimer, 0u) << how;
  EXPECT_EQ(BurstCounter, 0) << how;
  EXPECT_EQ(CounterReady, 0) << how;
  EXPECT_EQ(ChargePower, 0.0) << how;
}

TEST_F(BattleRules, EscAndANewBattleClearWhatTheLastOneLeft) {
  std::memset(KeyState, 0, sizeof KeyState);
  LeaveWorkingValues();
  GameMode = 2;
  BattleState = 10;  // no state runs: only Esc acts
  PlayerHp = 20;
  PlayerMaxHp = 100;
  PlayerAttack = 31;
  PlayerBaseAttack = 10;
  KeyState[kKeyEscape] = kKeyPressed;
  BattleScene();
  EXPECT_EQ(GameMode, 1);
  EXPECT_EQ(PlayerHp, 100.0);
  EXPECT_EQ(PlayerAttack, 10.0);
  EXPECT_EQ(BattleState, 10u);
  ExpectWorkingValuesCleared("Esc");

  std::memset(KeyState, 0, sizeof KeyState);
  LeaveWorkingValues();
  StageCursor = 2;
  KeyState[kKeySpace] = kKeyPressed;
  StageSelectScene();
  EXPECT_EQ(GameMode, 2);
  EXPECT_EQ(BattleStage, 2u);
  EXPECT_EQ(EnemyIndex, 0u);
  EXPECT_EQ(BattleState, 0u);
  ExpectWorkingValuesCleared("a new battle");
  // Back to a fresh start for tests that play the game in this process.
  std::memset(KeyState, 0, sizeof KeyState);
  GameMode = 0;
  StageCursor = 0;
  BattleStage = BattleState = 0;
}

TEST_F(BattleRules, EscDuringTheEnemysAttackLeavesFullHpForTheNextBattle) {
  std::memset(KeyState, 0, sizeof KeyState);
  ClearBattleWorkingValues();
  PlayerHp = PlayerMaxHp = 100;
  PlayerAttack = PlayerBaseAttack = 10;
  PlayerDefence = 0;
  EnemyTable[0] = EnemyRecord{};
  EnemyTable[0].hp = EnemyTable[0].maxHp = 40;
  EnemyTable[0].attack = 30;
  CurrentEnemy = EnemyTable[0];
  GameMode = 2;
  BattleState = 6;
  for (int frame = 0; frame < 5; ++frame) BattleScene();  // the hit has landed, the shake runs
  ASSERT_EQ(PlayerHp, 70.0);
  ASSERT_EQ(BattleState, 6u);

  KeyState[kKeyEscape] = kKeyPressed;
  BattleScene();
  EXPECT_EQ(GameMode, 1);
  EXPECT_EQ(PlayerHp, 100.0) << "the hit landed a second time on the refilled HP";
  EXPECT_EQ(EnemyHitDone, 0);
  EXPECT_EQ(ShakeAngle, 0.0);

  // Stage select starts the next battle; it begins at full HP and the enemy's first attack takes 30.
  std::memset(KeyState, 0, sizeof KeyState);
  StageCursor = 0;
  KeyState[kKeySpace] = kKeyPressed;
  StageSelectScene();
  KeyState[kKeySpace] = 0;
  ASSERT_EQ(GameMode, 2);
  BattleScene();  // state 0
  EXPECT_EQ(BattleState, 1u);
  EXPECT_EQ(PlayerHp, 100.0);
  BattleState = 6;
  BattleScene();
  EXPECT_EQ(PlayerHp, 70.0);

  ClearBattleWorkingValues();
  EnemyTable[0] = EnemyRecord{};
  CurrentEnemy = EnemyRecord{};
  PlayerHp = 100;
  GameMode = 0;
  BattleStage = BattleState = 0;
}

TEST_F(BattleRules, SeeThroughPhaseActsFromTheNextFrame) {
  // A row whose last letter is typed in this frame: phase 2 is set, the menu returns next frame.
  std::memset(KeyState, 0, sizeof KeyState);
  BattleStage = 0;
  BattleState = 7;
  SeeThroughPhase = 0;
  CounterReady = 0;
  PlayerAttack = PlayerBaseAttack = 10;
  FlyingLetterCount = 2;
  FlyingLetters[1] = LetterRecord{4, 100, 176, 5, 1, 0, 0};  // S, on screen
  KeyState[LetterKeyTable[4]] = kKeyPressed;
  SeeThroughState();
  EXPECT_EQ(FlyingLetters[1].active, 0);
  EXPECT_EQ(PlayerAttack, 13.0);
  EXPECT_EQ(SeeThroughPhase, 2u);
  EXPECT_EQ(BattleState, 7u);
  KeyState[LetterKeyTable[4]] = 1;
  SeeThroughState();
  EXPECT_EQ(BattleState, 2u);
  EXPECT_EQ(CounterReady, 1);
  EXPECT_EQ(SeeThroughPhase, 0u);

  // A letter that crosses: the damage lands now, the shake starts next frame.
  BattleState = 7;
  PlayerHp = PlayerMaxHp = 100;
  PlayerDefence = 25;
  CurrentEnemy = EnemyRecord{};
  CurrentEnemy.attack = 45;
  FlyingLetters[1] = LetterRecord{4, 636, 176, 5, 1, 0, 0};
  ShakeAngle = 0;
  SeeThroughState();
  EXPECT_EQ(PlayerHp, 80.0);
  EXPECT_EQ(SeeThroughPhase, 1u);
  EXPECT_EQ(ShakeAngle, 0.0);
  SeeThroughState();
  EXPECT_EQ(ShakeAngle, 18.0);
  std::memset(KeyState, 0, sizeof KeyState);
}

}  // namespace
}  // namespace kelvaron
