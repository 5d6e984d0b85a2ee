// Kelvaron's data files under ./Data: the shared line reader, the colour and font tables and the enemy
// records. Files are Shift-JIS text with CR LF line ends, read as Windows text mode reads them.
#pragma once

#include <cstdint>
#include <cstdio>

namespace kelvaron {

inline constexpr int kLineBufferSize = 255;  // bytes with the NUL: at most 254 of text per piece

struct EnemyRecord {
  uint32_t used;
  char name[260];
  double hp;
  double maxHp;
  double attack;
  double defence;
  int graph;
  int width;   // as written in the file (px)
  int height;  // as written in the file (px)
  char bgm[260];
  double xOffset;  // px
  int hitFlash;
};

extern uint32_t* ColorTable;
extern int ColorCount;
extern int* FontTable;
extern int FontCount;

// Reads one line (a piece of at most 254 bytes) and drops its line feed; CR LF reads as LF. At the
// end of the file the buffer keeps what it held and false is returned.
bool ReadTextLine(char* buffer, std::FILE* file);
// The value of a line after its label: "" when the line is shorter than the label.
const char* ValueAfterLabel(const char* line, int labelWidth);
// Decimal conversion as atoi does it, saturating at the int range.
int ParseNumber(const char* text);
// ParseNumber brought into [lowest, highest]: the range a value's drawing and rules can use.
int ParseNumberInRange(const char* text, int lowest, int highest);

// Each returns false when its file cannot be opened; the table is then empty.
bool LoadColorFile(const char* path);
bool LoadFontFile(const char* path);
void FreeColorTable();
void FreeFontTable();
// Reads one enemy file and loads its picture. `opened` (may be null) tells whether the file opened.
EnemyRecord LoadEnemyFile(const char* path, bool* opened);

// Table entries with a fallback for indices the file did not define: white, and the default font (-1).
uint32_t ColorAt(int index);
int FontAt(int index);

}  // namespace kelvaron
