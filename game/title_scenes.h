// Kelvaron's first two scenes: the maker logo's fade (mode 0) and stage select (mode 1).
#pragma once

namespace kelvaron {

extern double TitleFadeAngle;  // degrees
extern int StageCursor;        // 0-3 the stages, 4 EXIT

void TitleScene();
void StageSelectScene();

}  // namespace kelvaron
