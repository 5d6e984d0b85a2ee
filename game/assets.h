// Kelvaron's assets and tables, loaded once before the first frame: pictures, the 26 letter pieces,
// the sixteen enemies, the nine sound effects, the sine and cosine tables, the player's start values.
#pragma once

#include "data_files.h"

namespace kelvaron {

extern int MakerLogoGraph;
extern int TitleLogoGraph;
extern int TitlePlayerGraph;
extern int TitlePlayer2Graph;
extern int KeyboardGraph[4];
extern int AlphabetGraph[26];
extern int PlayerGraph;
extern int PlayerGraphWidth;   // px
extern int PlayerGraphHeight;  // px
extern EnemyRecord EnemyTable[16];
extern double* SineTable;
extern double* CosineTable;

extern int SeSelect, SePush, SePush2, SePush3, SePunch, SeKick, SeCharge, SeKillerShot, SeDamage;

// Loads everything. false when a data file under ./Data could not be opened (the game cannot run).
// `missing` receives the path of the first such file.
bool LoadGameData(const char** missing);
void LoadSoundEffects();
double* MakeSineTable();
double* MakeCosineTable();
void FreeSineTable(double* table);
void FreeCosineTable(double* table);

// Plays a sound effect the one way the game plays them: in the background, from the start.
void PlayEffect(int sound);

}  // namespace kelvaron
