// Kelvaron's entry and frame loop. Start-up asks for full screen, starts the library at 640x480 in
// 16-bit colour and runs one frame per turn: pump, clear, scene, key poll, wait (at least 16 ms a
// frame, by sleeping), frame-rate figure, flip. The scene of a frame sees the poll of the frame before.
#include "frame_loop.h"

#include <cstdio>
#include <cstring>

#include "assets.h"
#include "battle.h"
#include "data_files.h"
#include "game_state.h"
#include "menu.h"
#include "orbel.h"
#include "title_scenes.h"

namespace kelvaron {

int GameMode = 0;
uint8_t KeyState[256] = {};
uint8_t PrevKeyState[256] = {};
uint32_t FrameCount = 0;
uint32_t LastFrameTime = 0;
uint32_t FrameTimes[60] = {};
uint32_t LastFpsTime = 0;
int AverageFrameTime = 0;
GameHooks Hooks;

namespace {

constexpr uint32_t kFrameMs = 16;
constexpr unsigned kMessageBoxYesNoQuestion = 0x24;  // MB_YESNO | MB_ICONQUESTION
constexpr unsigned kMessageBoxError = 0x10;          // MB_OK | MB_ICONERROR
constexpr int kAnswerNo = 7;                         // IDNO

// Tells the player which data file is missing: on stderr and in a message box.
void ReportMissingData(const char* path) {
  std::fprintf(stderr, "kelvaron: cannot read %s (run the game from its folder)\n", path);
  char text[320];
  std::snprintf(text, sizeof text, "データファイルを読み込めません。\n%s", path);
  MessageBoxA(nullptr, text, "Kelvaron打", kMessageBoxError);
}

}  // namespace

void AskFullScreen() {
  if (MessageBoxA(nullptr, "フルスクリーンモードで起動しますか？", "スクリーン設定", kMessageBoxYesNoQuestion) ==
      kAnswerNo)
    ChangeWindowMode(1);
}

void ClearKeyState() {
  std::memset(KeyState, 0, sizeof KeyState);
  std::memset(PrevKeyState, 0, sizeof PrevKeyState);
}

void UpdateKeyState() {
  CopyAllKeyStates(KeyState);
  for (int code = 0; code < 256; ++code) {
    if (PrevKeyState[code] == 0 && KeyState[code] == 1) KeyState[code] = kKeyPressed;
    PrevKeyState[code] = KeyState[code];
  }
}

uint32_t FrameRestMs(uint32_t elapsedMs) { return elapsedMs >= kFrameMs ? 0 : kFrameMs - elapsedMs; }

void WaitFrame() {
  const uint32_t rest = FrameRestMs(GetNowMilliCount() - LastFrameTime);
  if (rest > 0) Sleep(rest);
  LastFrameTime = GetNowMilliCount();
}

void UpdateFps() {
  const uint32_t now = GetNowMilliCount();
  FrameTimes[FrameCount % 60] = now - LastFpsTime;
  LastFpsTime = now;
  if (FrameCount % 60 == 59) {
    uint64_t sum = 0;
    for (uint32_t t : FrameTimes) sum += t;
    AverageFrameTime = static_cast<int>(sum / 60);
  }
  if (AverageFrameTime != 0)
    DrawFormatTextDefaultFont(0, 0, ColorAt(0), "FPS:%.1f", 1000.0 / AverageFrameTime);
}

void RunScene() {
  switch (GameMode) {
    case 0: TitleScene(); break;
    case 1: StageSelectScene(); break;
    case 2: BattleScene(); break;
    default: break;
  }
}

void StartGameState() {
  GameMode = 0;
  FrameCount = 0;
  std::memset(FrameTimes, 0, sizeof FrameTimes);
  AverageFrameTime = 0;
  TitleFadeAngle = 0.0;
  StageCursor = 0;
  UpHoldFrames = DownHoldFrames = LeftHoldFrames = RightHoldFrames = 0;
  BattleState = 0;
  BattleStage = 0;
  EnemyIndex = 0;
  CurrentEnemy = EnemyRecord{};
  ChosenCommand = 0;
  CommandCursor = 0;
  ClearBattleWorkingValues();
  AttackLetterReady = 1;
  ChargeLetterState = 1;
}

bool GameMainLoop() {
  // A second run in the same process (a test, a bench) begins at the title as the first did, not at
  // the EXIT that ended the run before.
  StartGameState();
  const char* missing = nullptr;
  const bool loaded = LoadGameData(&missing);
  if (!loaded) ReportMissingData(missing);
  // The first interval is measured from here, not from the clock's zero.
  LastFrameTime = GetNowMilliCount();
  LastFpsTime = LastFrameTime;
  while (loaded) {
    if (ProcessMessageLocked() != 0 || GameMode < 0 || KeyState[kKeyF12] != 0) break;
    ClearTargetScreen();
    RunScene();
    UpdateKeyState();
    WaitFrame();
    UpdateFps();
    ++FrameCount;
    FlipScreen();
    if (Hooks.afterFrame != nullptr) Hooks.afterFrame();
  }
  FreeColorTable();
  FreeFontTable();
  FreeSineTable(SineTable);
  SineTable = nullptr;
  FreeCosineTable(CosineTable);
  CosineTable = nullptr;
  return loaded;
}

}  // namespace kelvaron

int WinMain(void*, void*, char*, int) {
  using namespace kelvaron;
  SetMainWindowTitle("Kelvaron打 -ケルヴァロンだ-");
  AskFullScreen();
  if (InitLibraryLocked() == -1) return -1;
  SetScreenMode(640, 480, 16, 60);
  SelectDrawScreen(-2);
  const bool played = GameMainLoop();
  EndLibraryLocked();
  return played ? 0 : -1;
}
