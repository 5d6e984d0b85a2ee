// Kelvaron's assets: every picture and sound effect is loaded here, in one fixed order, before the
// first frame; only music is started later, by path. Missing pictures and sounds leave -1 handles,
// which the library refuses to draw or play.
#include "assets.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "battle.h"
#include "frame_loop.h"
#include "orbel.h"

namespace kelvaron {

int MakerLogoGraph = -1;
int TitleLogoGraph = -1;
int TitlePlayerGraph = -1;
int TitlePlayer2Graph = -1;
int KeyboardGraph[4] = {-1, -1, -1, -1};
int AlphabetGraph[26];
int PlayerGraph = -1;
int PlayerGraphWidth = 0;
int PlayerGraphHeight = 0;
EnemyRecord EnemyTable[16];
double* SineTable = nullptr;
double* CosineTable = nullptr;

int SeSelect = -1, SePush = -1, SePush2 = -1, SePush3 = -1, SePunch = -1, SeKick = -1, SeCharge = -1,
    SeKillerShot = -1, SeDamage = -1;

namespace {

// Whole degrees to radians with the factor the fade and shake were tuned with (not exactly pi/180).
constexpr double kDegreeFactor = 0.017453293;

struct EffectFile {
  int* handle;
  const char* path;
};

}  // namespace

void LoadSoundEffects() {
  const EffectFile effects[] = {
      {&SeSelect, "./Material/SE/select.wav"},   {&SePush, "./Material/SE/push.wav"},
      {&SePush2, "./Material/SE/push2.wav"},     {&SePush3, "./Material/SE/push3.wav"},
      {&SePunch, "./Material/SE/punch.wav"},     {&SeKick, "./Material/SE/kick.wav"},
      {&SeCharge, "./Material/SE/charge.wav"},   {&SeKillerShot, "./Material/SE/killer_shot.wav"},
      {&SeDamage, "./Material/SE/damage.wav"},
  };
  for (const EffectFile& e : effects) *e.handle = LoadSoundFile(e.path, 3, -1);
}

double* MakeSineTable() {
  double* table = static_cast<double*>(std::malloc(sizeof(double) * 360));
  if (table != nullptr)
    for (int i = 0; i < 360; ++i) table[i] = std::sin(i * kDegreeFactor);
  return table;
}

double* MakeCosineTable() {
  double* table = static_cast<double*>(std::malloc(sizeof(double) * 360));
  if (table != nullptr)
    for (int i = 0; i < 360; ++i) table[i] = std::cos(i * kDegreeFactor);
  return table;
}

void FreeSineTable(double* table) { std::free(table); }
void FreeCosineTable(double* table) { std::free(table); }

void PlayEffect(int sound) { PlaySoundHandle(sound, 1, 1); }

bool LoadGameData(const char** missing) {
  static const char* const kColorPath = "./Data/Color/color.txt";
  static const char* const kFontPath = "./Data/Font/font.txt";
  static char enemyPath[64];
  *missing = nullptr;
  if (!LoadColorFile(kColorPath)) *missing = kColorPath;
  if (!LoadFontFile(kFontPath) && *missing == nullptr) *missing = kFontPath;
  ClearKeyState();
  SineTable = MakeSineTable();
  CosineTable = MakeCosineTable();

  MakerLogoGraph = LoadGraphFile("./Material/Graphic/Title/lumivane.png", 0);
  TitleLogoGraph = LoadGraphFile("./Material/Graphic/Title/kelvaronDA.png", 0);
  TitlePlayerGraph = LoadGraphFile("./Material/Graphic/Title/player.png", 0);
  TitlePlayer2Graph = LoadGraphFile("./Material/Graphic/Title/player2.png", 0);
  char path[64];
  for (int i = 0; i < 4; ++i) {
    std::snprintf(path, sizeof path, "./Material/Graphic/Title/keyboard%d.png", i);
    KeyboardGraph[i] = LoadGraphFile(path, 0);
  }
  for (int& g : AlphabetGraph) g = -1;
  LoadDivGraphFile("./Material/Graphic/Battle/alphabet.png", 26, 26, 1, 17, 32, AlphabetGraph, 0);
  GetGraphExtent(AlphabetGraph[0], &TargetLetter.width, &TargetLetter.height);
  GetGraphExtent(AlphabetGraph[0], &PreviousLetter.width, &PreviousLetter.height);

  for (int k = 0; k < 16; ++k) {
    std::snprintf(path, sizeof path, "./Data/Enemy/enemy%02d.txt", k);
    bool opened = false;
    EnemyTable[k] = LoadEnemyFile(path, &opened);
    if (!opened && *missing == nullptr) {
      std::snprintf(enemyPath, sizeof enemyPath, "%s", path);
      *missing = enemyPath;
    }
  }
  LoadSoundEffects();

  PlayerMaxHp = 100.0;
  PlayerHp = PlayerMaxHp;
  PlayerBaseAttack = 10.0;
  PlayerAttack = PlayerBaseAttack;
  CommandDefence[0] = 50.0;
  CommandDefence[1] = 25.0;
  CommandDefence[2] = 0.0;

  PlayerGraph = LoadGraphFile("./Material/Graphic/Battle/player.png", 0);
  GetGraphExtent(PlayerGraph, &PlayerGraphWidth, &PlayerGraphHeight);
  return *missing == nullptr;
}

}  // namespace kelvaron
