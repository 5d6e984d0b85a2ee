// Kelvaron's data files: the line reader shared by the three loaders, the colour and font tables, the
// enemy records. Reads plain files with C stdio (never through archives), as Windows text mode would.
#include "data_files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "orbel.h"

namespace kelvaron {

uint32_t* ColorTable = nullptr;
int ColorCount = 0;
int* FontTable = nullptr;
int FontCount = 0;

namespace {

constexpr int kColorLabelWidth = 3;
constexpr int kFontLabelWidth = 10;
constexpr int kEnemyLabelWidth = 8;

// The ranges the drawing and the rules can use. Values outside are brought to the nearest end, so no
// number from a file reaches pixel arithmetic that would overflow.
constexpr int kMaxColorChannel = 255;  // MakeColor's own range: clamping keeps every colour as it was
constexpr int kMaxFontSize = 480;      // a letter as tall as the screen, either sign; -1 asks for the default
constexpr int kMaxFontThickness = 9;   // the heaviest weight; -1 asks for the default
constexpr int kMaxEnemyValue = 999999;   // HP, attack and defence
constexpr int kMaxEnemyPictureSide = 65536;  // the largest picture side the library loads

struct FontKeyword {
  const char* text;
  int type;
};
constexpr FontKeyword kFontKeywords[] = {
    {"QV_FONTTYPE_NORMAL", 0},
    {"QV_FONTTYPE_EDGE", 1},
    {"QV_FONTTYPE_ANTIALIASING", 2},
    {"QV_FONTTYPE_ANTIALIASING_EDGE", 3},
};

// Counts the pieces the reader would give, then rewinds.
int CountLines(std::FILE* file) {
  char line[kLineBufferSize] = {};
  int count = 0;
  while (ReadTextLine(line, file)) ++count;
  std::fseek(file, 0, SEEK_SET);
  return count;
}

void CopyValue(char* out, size_t size, const char* value) {
  std::snprintf(out, size, "%s", value);
}

}  // namespace

// ---- Line reader ----------------------------------------------------------------------------------

bool ReadTextLine(char* buffer, std::FILE* file) {
  char piece[kLineBufferSize];
  int length = 0;
  while (length < kLineBufferSize - 1) {
    int c = std::getc(file);
    if (c == EOF) break;
    if (c == '\r') {  // text mode: CR LF reads as LF, a lone CR stays
      const int next = std::getc(file);
      if (next == '\n') {
        c = '\n';
      } else if (next != EOF) {
        std::ungetc(next, file);
      }
    }
    piece[length++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  if (length == 0) return false;
  if (piece[length - 1] == '\n') --length;
  std::memcpy(buffer, piece, static_cast<size_t>(length));
  buffer[length] = '\0';
  return true;
}

const char* ValueAfterLabel(const char* line, int labelWidth) {
  return std::strlen(line) >= static_cast<size_t>(labelWidth) ? line + labelWidth : "";
}

int ParseNumber(const char* text) {
  errno = 0;
  const long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

int ParseNumberInRange(const char* text, int lowest, int highest) {
  const int value = ParseNumber(text);
  return value < lowest ? lowest : value > highest ? highest : value;
}

// ---- Colour and font tables -----------------------------------------------------------------------

bool LoadColorFile(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  const int count = CountLines(file) / 4;
  ColorTable = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) * static_cast<size_t>(count > 0 ? count : 1)));
  ColorCount = ColorTable != nullptr ? count : 0;
  char line[kLineBufferSize] = {};
  for (int i = 0; i < ColorCount; ++i) {
    ReadTextLine(line, file);
    int rgb[3];
    for (int& channel : rgb) {
      ReadTextLine(line, file);
      channel = ParseNumberInRange(ValueAfterLabel(line, kColorLabelWidth), 0, kMaxColorChannel);
    }
    ColorTable[i] = MakeColor(rgb[0], rgb[1], rgb[2]);
  }
  std::fclose(file);
  return true;
}

bool LoadFontFile(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  const int count = CountLines(file) / 5;
  FontTable = static_cast<int*>(std::malloc(sizeof(int) * static_cast<size_t>(count > 0 ? count : 1)));
  FontCount = FontTable != nullptr ? count : 0;
  char line[kLineBufferSize] = {};
  char face[kLineBufferSize] = {};
  int type = 0;  // a first font with no keyword is plain
  for (int i = 0; i < FontCount; ++i) {
    ReadTextLine(line, file);
    ReadTextLine(line, file);
    CopyValue(face, sizeof face, ValueAfterLabel(line, kFontLabelWidth));
    ReadTextLine(line, file);
    const int size = ParseNumberInRange(ValueAfterLabel(line, kFontLabelWidth), -kMaxFontSize, kMaxFontSize);
    ReadTextLine(line, file);
    const int thickness = ParseNumberInRange(ValueAfterLabel(line, kFontLabelWidth), -1, kMaxFontThickness);
    ReadTextLine(line, file);
    const char* keyword = ValueAfterLabel(line, kFontLabelWidth);
    for (const FontKeyword& k : kFontKeywords)
      if (std::strcmp(keyword, k.text) == 0) type = k.type;
    const bool defaultFace = std::strcmp(face, "NULL") == 0;
    FontTable[i] = CreateFontToHandle(defaultFace ? nullptr : face, size, thickness, type, -1, -1, 0, -1, -1);
  }
  std::fclose(file);
  return true;
}

void FreeColorTable() {
  std::free(ColorTable);
  ColorTable = nullptr;
  ColorCount = 0;
}

void FreeFontTable() {
  std::free(FontTable);
  FontTable = nullptr;
  FontCount = 0;
}

uint32_t ColorAt(int index) {
  if (index >= 0 && index < ColorCount) return ColorTable[index];
  return MakeColor(255, 255, 255);
}

int FontAt(int index) { return index >= 0 && index < FontCount ? FontTable[index] : -1; }

// ---- Enemy records --------------------------------------------------------------------------------

EnemyRecord LoadEnemyFile(const char* path, bool* opened) {
  EnemyRecord enemy{};
  enemy.graph = -1;
  std::FILE* file = std::fopen(path, "rb");
  if (opened != nullptr) *opened = file != nullptr;
  if (file == nullptr) return enemy;
  char line[kLineBufferSize] = {};
  auto next = [&]() {
    ReadTextLine(line, file);
    return ValueAfterLabel(line, kEnemyLabelWidth);
  };
  enemy.used = 1;
  CopyValue(enemy.name, sizeof enemy.name, next());
  enemy.hp = ParseNumberInRange(next(), 0, kMaxEnemyValue);
  enemy.maxHp = enemy.hp;
  enemy.attack = ParseNumberInRange(next(), -kMaxEnemyValue, kMaxEnemyValue);
  enemy.defence = ParseNumberInRange(next(), -kMaxEnemyValue, kMaxEnemyValue);
  enemy.graph = LoadGraphFile(next(), 0);
  enemy.width = ParseNumberInRange(next(), 0, kMaxEnemyPictureSide);
  enemy.height = ParseNumberInRange(next(), 0, kMaxEnemyPictureSide);
  CopyValue(enemy.bgm, sizeof enemy.bgm, next());
  enemy.xOffset = 0.0;
  enemy.hitFlash = 0;
  std::fclose(file);
  return enemy;
}

}  // namespace kelvaron
