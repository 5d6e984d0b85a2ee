// Kelvaron played whole, in-process and headless on the virtual clock: a player that reads the game's
// state each frame and answers with keys (delivered as the host delivers them) goes through the
// title, stage select, four won stages using every command, a lost battle, Esc from a battle and
// EXIT. The test checks the scenes and states, the music, the HP arithmetic, the captured frames
// where the layout puts pictures, and the log's closing memory dump.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "assets.h"
#include "battle.h"
#include "frame_loop.h"
#include "game_state.h"
#include "orbel.h"
#include "orbel/core/main_window.h"
#include "platform/d3d/d3d7_test_controls.h"
#include "platform/host/host.h"
#include "platform/win/user/user_keys.h"
#include "platform/win/user/window_test_controls.h"
#include "test_support.h"
#include "title_scenes.h"

namespace kelvaron {
namespace {

namespace fs = std::filesystem;
using plat::UINT;

constexpr char kLetterOrder[] = "QWEASDZXCUIOPJKLMRTYFGHVBN";

struct Turn {
  int command;
  int hits;  // letter presses allowed in the typing state; -1 as many as it takes
};
struct Visit {
  int stage;
  std::vector<std::vector<Turn>> enemies;  // the turns of each enemy; the last one repeats
  bool escape;
};

const std::vector<Visit>& Plan() {
  static const std::vector<Visit> plan = {
      // Stage 1: one hit and a see-through arms the counter, the counter ends enemy 1; the special
      // beats enemy 2; plain attacks the rest.
      {0, {{{1, 1}, {0, -1}}, {{2, -1}}, {{0, -1}}, {{0, -1}}}, false},
      {1, {{{0, -1}}}, false},
      {2, {{{0, -1}}}, false},
      {3, {{{0, -1}}}, false},
      // Stage 4 again, with a special that nobody charges: the enemy's attacks win.
      {3, {{{2, 0}}}, false},
      {0, {{{0, -1}}}, true},
  };
  return plan;
}

struct Snapshot {
  int mode;
  uint32_t state;
  uint32_t enemy;
  double playerHp;
  double enemyHp;
  uint8_t counter;
  uint32_t command;
};

struct Player {
  std::vector<Snapshot> frames;
  std::vector<std::string> music;
  std::set<UINT> down;
  size_t visit = 0;
  int prevMode = 0;
  uint32_t prevEnemy = 99;
  size_t turn = 0;
  Turn typing{0, -1};  // the turn being typed
  int hits = 0;
  int cooldown = 0;
  bool lettersDown = false;
  std::vector<double> hpAfterEnemyAttack;
  int victories = 0;
  std::vector<std::string> capturedFrames;
  std::set<std::string> captureDone;
  std::string frameDir;
  std::vector<std::string> pictureFaults;
};
Player* player = nullptr;

void SetKeys(const std::set<UINT>& want) {
  for (UINT k : std::set<UINT>(player->down))
    if (want.count(k) == 0) {
      plat::host::Event e;
      e.type = plat::host::EventType::KeyUp;
      e.key = k;
      plat::host::DeliverEvent(e);
      player->down.erase(k);
    }
  for (UINT k : want)
    if (player->down.count(k) == 0) {
      plat::host::Event e;
      e.type = plat::host::EventType::KeyDown;
      e.key = k;
      plat::host::DeliverEvent(e);
      player->down.insert(k);
    }
}

std::set<UINT> StageLetters() {
  std::set<UINT> keys;
  for (int i = 0; i <= StageLetterRange[BattleStage]; ++i)
    keys.insert(static_cast<UINT>(kLetterOrder[StageLetterBase[BattleStage] + i]));
  return keys;
}

// One press: down for a poll, then a few frames of nothing so the game has answered before the next.
void Press(UINT key) {
  SetKeys({key});
  player->cooldown = 3;
}

// ---- Looking at the picture -------------------------------------------------------------------

const plat::host::Frame* Screen() {
  return plat::host::Current().CaptureFrame(orbel::GetMainWindowHandle());
}

bool NotBlack(uint32_t pixel) { return (pixel & 0xFFFFFF) != 0; }
// The cream face of a letter piece (no enemy is that pale).
bool kLetterFace(uint32_t pixel) {
  return ((pixel >> 16) & 0xFF) > 224 && ((pixel >> 8) & 0xFF) > 216 && (pixel & 0xFF) > 176;
}

// Pixels of a rectangle that pass a test.
int LitPixels(const plat::host::Frame& f, int x1, int y1, int x2, int y2, bool (*lit)(uint32_t)) {
  int count = 0;
  for (int y = std::max(0, y1); y < std::min(f.height, y2); ++y)
    for (int x = std::max(0, x1); x < std::min(f.width, x2); ++x)
      if (lit(f.pixels[static_cast<size_t>(y) * f.width + x])) ++count;
  return count;
}

// Saves the frame once under `name` and checks that the rectangle holds a picture.
void CheckPicture(const char* name, int x1, int y1, int x2, int y2, int minimumLit,
                  bool (*lit)(uint32_t) = NotBlack) {
  if (player->captureDone.count(name) != 0) return;
  player->captureDone.insert(name);
  const plat::host::Frame* f = Screen();
  if (f == nullptr || f->width != 640 || f->height != 480) {
    player->pictureFaults.push_back(std::string(name) + ": no 640x480 frame");
    return;
  }
  plat::host::SaveFramePng(*f, (player->frameDir + "/" + name + ".png").c_str());
  player->capturedFrames.push_back(name);
  const int count = LitPixels(*f, x1, y1, x2, y2, lit);
  if (count < minimumLit)
    player->pictureFaults.push_back(std::string(name) + ": " + std::to_string(count) + " lit pixels");
}

void LookAtTheScreen() {
  const size_t n = player->frames.size();
  const Snapshot& s = player->frames.back();
  if (n > 1) {  // the picture shows the scene that ran in this frame: the one the frame began in
    const Snapshot& before = player->frames[n - 2];
    if (before.mode != s.mode || before.state != s.state) return;
  }
  if (n == 1) CheckPicture("title-first", 0, 0, 640, 480, 0);
  if (n == 61) CheckPicture("title-middle", 160, 180, 480, 300, 30000);  // logo over the white box
  if (s.mode == 1 && n > 130) CheckPicture("stage-select", 120, 64, 520, 184, 40000);  // the game's logo
  if (s.mode == 1 && n > 130) CheckPicture("stage-select-keyboard", 200, 240, 440, 296, 4000);
  if (s.mode == 2 && s.state == 3) CheckPicture("battle-typing", 311, 176, 328, 208, 150, kLetterFace);
  if (s.mode == 2 && s.state == 2) CheckPicture("battle-command", 200, 360, 440, 480, 20000);  // the panel
  if (s.mode == 2 && s.state == 8) {
    const int right = ((640 - CurrentEnemy.width) >> 1) + CurrentEnemy.width;
    if (BurstCounter > 10) CheckPicture("victory-burst", right + 20, 0, 640, 240, 500);  // spread copies
  }
}

// ---- Golden frames ----------------------------------------------------------------------------

// The frames compared exactly with tests/game/golden/<name>.png. ORBEL_UPDATE_GOLDEN=1 rewrites the
// goldens from this run (review the diff before committing).
const char* const kGoldenFrames[] = {"title-middle", "stage-select", "battle-command", "battle-typing",
                                     "victory-burst"};

bool ReadRgb(const fs::path& path, std::vector<uint8_t>* rgb, int* width, int* height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb->resize(PNG_IMAGE_SIZE(image));
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  return png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr) != 0;
}

// "" when the two pictures are equal, else where they first differ and how many pixels do.
std::string CompareWithGolden(const fs::path& actual, const fs::path& golden) {
  std::vector<uint8_t> a, g;
  int aw = 0, ah = 0, gw = 0, gh = 0;
  if (!ReadRgb(actual, &a, &aw, &ah)) return "cannot read " + actual.string();
  if (!ReadRgb(golden, &g, &gw, &gh)) return "no golden " + golden.string();
  if (aw != gw || ah != gh) return "size differs";
  int bad = 0, first = -1;
  for (int i = 0; i < aw * ah; ++i)
    if (std::memcmp(&a[i * 3], &g[i * 3], 3) != 0) {
      if (first < 0) first = i;
      ++bad;
    }
  if (bad == 0) return "";
  return std::to_string(bad) + " pixels differ, the first at (" + std::to_string(first % aw) + ", " +
         std::to_string(first / aw) + "); the actual frame is " + actual.string();
}

// ---- The player's choices ----------------------------------------------------------------------

void Decide() {
  Player& p = *player;
  if (p.cooldown > 0) {
    --p.cooldown;
    SetKeys({});
    return;
  }
  if (GameMode == 1) {
    const int target = p.visit < Plan().size() ? Plan()[p.visit].stage : 4;
    if (StageCursor != target) {
      Press(target > StageCursor ? 'K' : 'I');
    } else {
      Press(plat::VK_SPACE);
    }
    return;
  }
  if (GameMode != 2 || p.visit >= Plan().size()) return SetKeys({});
  const Visit& visit = Plan()[p.visit];
  const auto& turns = visit.enemies[std::min<size_t>(EnemyIndex, visit.enemies.size() - 1)];
  const Turn& turn = turns[std::min(p.turn, turns.size() - 1)];
  switch (BattleState) {
    case 1:
    case 8:
    case 9:
      return Press(plat::VK_SPACE);
    case 2:
      if (visit.escape) return Press(plat::VK_ESCAPE);
      if (CommandCursor != turn.command) return Press('K');
      p.hits = 0;
      p.typing = turn;
      ++p.turn;
      return Press(plat::VK_SPACE);
    case 3:
    case 4:
    case 7:
      if (p.lettersDown || (BattleState != 7 && p.typing.hits >= 0 && p.hits >= p.typing.hits)) {
        p.lettersDown = false;
        return SetKeys({});
      }
      ++p.hits;
      p.lettersDown = true;
      return SetKeys(StageLetters());
    default:
      return SetKeys({});
  }
}

void AfterFrame() {
  Player& p = *player;
  const Snapshot s{GameMode, BattleState, EnemyIndex, PlayerHp, CurrentEnemy.hp, CounterReady, ChosenCommand};
  const Snapshot prev = p.frames.empty() ? s : p.frames.back();
  p.frames.push_back(s);
  if (prev.mode == 2 && prev.state == 6 && s.state != 6) p.hpAfterEnemyAttack.push_back(s.playerHp);
  if (prev.mode == 2 && s.mode == 1) {
    if (prev.state == 8) ++p.victories;
    ++p.visit;
  }
  if (s.mode == 2 && s.enemy != p.prevEnemy) p.turn = 0;
  // Linger on stage select and on the burst, as a player looking at them would.
  if ((s.mode == 1 && prev.mode != 1) || (s.mode == 2 && s.state == 8 && prev.state != 8)) p.cooldown = 24;
  p.prevEnemy = s.mode == 2 ? s.enemy : 99;
  LookAtTheScreen();
  Decide();
}

void MusicStarted(const char* path) {
  const std::string name = fs::path(path).filename().string();
  player->music.push_back(name + (IsMusicPlaying() != 0 ? "" : " (silent)"));
}
void MusicStopped() { player->music.push_back("stop"); }

// The game's folder as the working directory: its data and assets, linked into a fresh directory. The
// parameter is the road: 1 Direct3D (the default), 0 a machine whose DirectDraw refuses Direct3D.
class GamePlay : public orbel::testing::VirtualClockTest, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    VirtualClockTest::SetUp();
    if (!GetParam()) plat::test::RefuseDirect3D(true);
    fs::create_symlink(fs::path(KELVARON_GAME_DIR) / "Data", work_.path() / "Data");
    fs::create_symlink(fs::path(KELVARON_GAME_DIR) / "Material", work_.path() / "Material");
    ::setenv("ORBEL_RUNTIME_DIR", work_.path().c_str(), 1);
    plat::test::SetMessageBoxAnswer(7);  // IDNO: a window
  }
  orbel::testing::ScopedWorkDir work_;
};

TEST_P(GamePlay, WholeGameFromTitleToExit) {
  Player p;
  // Each road has frames and golden frames of its own: Direct3D blends round differently.
  const std::string road = GetParam() ? "direct3d" : "";
  p.frameDir = (fs::path(ORBEL_BINARY_DIR) / "game-frames" / road).string();
  fs::create_directories(p.frameDir);
  player = &p;
  Hooks = GameHooks{AfterFrame, MusicStarted, MusicStopped};
  const int result = WinMain(nullptr, nullptr, nullptr, 1);
  Hooks = GameHooks{};
  player = nullptr;

  EXPECT_EQ(result, 0);
  ASSERT_GT(p.frames.size(), 200u);
  // The title runs exactly 121 frames; stage select follows.
  for (size_t f = 0; f < 120; ++f) ASSERT_EQ(p.frames[f].mode, 0) << "frame " << f + 1;
  EXPECT_EQ(p.frames[120].mode, 1);
  EXPECT_EQ(p.visit, Plan().size()) << "the game ended before the plan did";
  if (std::getenv("KELVARON_TRACE") != nullptr)
    for (size_t f = 0; f < p.frames.size(); ++f)
      if (f == 0 || p.frames[f].state != p.frames[f - 1].state || p.frames[f].mode != p.frames[f - 1].mode)
        std::printf("%zu mode %d state %u enemy %u hp %.1f enemyHp %.1f cmd %u counter %d\n", f + 1,
                    p.frames[f].mode, p.frames[f].state, p.frames[f].enemy, p.frames[f].playerHp,
                    p.frames[f].enemyHp, p.frames[f].command, p.frames[f].counter);
  EXPECT_EQ(p.frames.back().mode, -1);  // EXIT
  EXPECT_EQ(p.victories, 4);

  std::set<uint32_t> states, commands;
  bool counterUsed = false;
  for (size_t f = 1; f < p.frames.size(); ++f) {
    const Snapshot& s = p.frames[f];
    if (s.mode != 2) continue;
    states.insert(s.state);
    if (s.state == 3 || s.state == 4) commands.insert(s.command);
    if (p.frames[f - 1].counter == 1 && s.counter == 0 && s.state != 0) counterUsed = true;
  }
  EXPECT_EQ(states, (std::set<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(commands, (std::set<uint32_t>{0, 1, 2}));
  EXPECT_TRUE(counterUsed);
  // The lost battle: special 4 points against defence 6, then 78 per attack with no defence.
  EXPECT_EQ(p.hpAfterEnemyAttack, (std::vector<double>{22.0, 0.0}));

  std::vector<std::string> music = {"oukasiro.mp3"};
  for (int stage = 1; stage <= 4; ++stage) {
    const std::string n = std::to_string(stage);
    for (const char* m : {"stop", "", "stop", "", "stop", "oukasiro.mp3"}) music.push_back(m);
    music[music.size() - 5] = "stage" + n + ".ogg";
    music[music.size() - 3] = "boss" + n + ".ogg";
  }
  for (const char* m : {"stop", "stage4.ogg", "stop", "oukasiro.mp3"}) music.push_back(m);  // the defeat
  for (const char* m : {"stop", "stage1.ogg", "stop", "oukasiro.mp3"}) music.push_back(m);  // Esc
  EXPECT_EQ(p.music, music);

  EXPECT_TRUE(p.pictureFaults.empty()) << ::testing::PrintToString(p.pictureFaults);
  EXPECT_EQ(p.capturedFrames.size(), 7u) << ::testing::PrintToString(p.capturedFrames);
  const fs::path goldenDir = fs::path(ORBEL_TEST_DATA_DIR) / "game" / "golden" / road;
  const char* update = std::getenv("ORBEL_UPDATE_GOLDEN");
  const bool regenerate = update != nullptr && std::string(update) == "1";
  for (const char* name : kGoldenFrames) {
    const fs::path actual = fs::path(p.frameDir) / (std::string(name) + ".png");
    const fs::path golden = goldenDir / (std::string(name) + ".png");
    if (regenerate) {
      fs::create_directories(goldenDir);
      fs::copy_file(actual, golden, fs::copy_options::overwrite_existing);
    }
    EXPECT_EQ(CompareWithGolden(actual, golden), "") << name;
  }

  const std::string log = orbel::testing::ReadFileText(work_.path() / "Log.txt");
  EXPECT_NE(log.find(GetParam() ? "３Ｄグラフィック描画機能を使用します" : "３Ｄグラフィック描画機能は使用しません"), std::string::npos);
  const size_t dump = log.rfind("Alloc memory dump");
  ASSERT_NE(dump, std::string::npos);
  EXPECT_NE(log.find("Alloc num:0", dump), std::string::npos) << log.substr(dump);
}

}  // namespace
INSTANTIATE_TEST_SUITE_P(Roads, GamePlay, ::testing::Values(1, 0),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param ? "Direct3D" : "DirectDraw");
                         });

}  // namespace kelvaron

namespace kelvaron {
namespace {

// Without its data the game says which file is missing and ends cleanly: no frame is run.
class GameStart : public orbel::testing::VirtualClockTest {};

TEST_F(GameStart, AMissingDataFileEndsTheGameWithAMessage) {
  orbel::testing::ScopedWorkDir work;
  fs::create_directories("Data/Color");
  orbel::testing::WriteFileText("Data/Color/color.txt", "C0\r\nR: 1\r\nG: 2\r\nB: 3\r\n");
  ::setenv("ORBEL_RUNTIME_DIR", work.path().c_str(), 1);
  plat::test::SetMessageBoxAnswer(7);
  int frames = 0;
  static int* counter = nullptr;
  counter = &frames;
  Hooks = GameHooks{[] { ++*counter; }, nullptr, nullptr};
  testing::internal::CaptureStderr();
  const int result = WinMain(nullptr, nullptr, nullptr, 1);
  const std::string message = testing::internal::GetCapturedStderr();
  Hooks = GameHooks{};
  EXPECT_EQ(result, -1);
  EXPECT_EQ(frames, 0);
  EXPECT_NE(message.find("cannot read ./Data/Font/font.txt"), std::string::npos) << message;
  EXPECT_EQ(ColorTable, nullptr) << "the tables are freed";
  EXPECT_EQ(SineTable, nullptr);
  const std::string log = orbel::testing::ReadFileText(work.path() / "Log.txt");
  EXPECT_NE(log.find("Alloc num:0", log.rfind("Alloc memory dump")), std::string::npos);
}

// Runs of the game one after another in one process, as the suite makes them: each begins at the title
// on its own road and shows the logo fading in, whatever the run before left (here a run that ended
// after a few frames, half way into its fade).
TEST_F(GameStart, EachRunInOneProcessBeginsAtTheTitleOnItsRoad) {
  orbel::testing::ScopedWorkDir work;
  fs::create_symlink(fs::path(KELVARON_GAME_DIR) / "Data", work.path() / "Data");
  fs::create_symlink(fs::path(KELVARON_GAME_DIR) / "Material", work.path() / "Material");
  ::setenv("ORBEL_RUNTIME_DIR", work.path().c_str(), 1);
  plat::test::SetMessageBoxAnswer(7);
  struct Run {
    int frames = 0;
    int firstMode = 99;
    double firstFade = -1;
    int logoPixels = 0;
  };
  static Run* run = nullptr;
  for (int direct3D : {1, 0, 1}) {
    SCOPED_TRACE(direct3D ? "Direct3D" : "DirectDraw");
    Run r;
    run = &r;
    plat::test::RefuseDirect3D(direct3D == 0);
    Hooks = GameHooks{[] {
                        if (++run->frames == 1) {
                          run->firstMode = GameMode;
                          run->firstFade = TitleFadeAngle;
                        }
                        if (run->frames < 40) return;
                        const plat::host::Frame* f = Screen();
                        if (f != nullptr && f->width == 640 && f->height == 480)
                          run->logoPixels = LitPixels(*f, 160, 180, 480, 300, NotBlack);
                        GameMode = -1;
                      },
                      nullptr, nullptr};
    const int result = WinMain(nullptr, nullptr, nullptr, 1);
    Hooks = GameHooks{};
    run = nullptr;
    EXPECT_EQ(result, 0);
    EXPECT_EQ(r.frames, 40);
    EXPECT_EQ(r.firstMode, 0);
    EXPECT_EQ(r.firstFade, 1.5);
    EXPECT_GT(r.logoPixels, 10000);
    const std::string log = orbel::testing::ReadFileText(work.path() / "Log.txt");
    EXPECT_NE(log.find(direct3D ? "３Ｄグラフィック描画機能を使用します" : "３Ｄグラフィック描画機能は使用しません"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace kelvaron
