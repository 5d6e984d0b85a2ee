// Kelvaron's entry and frame loop: start-up with the full-screen question, one paced frame per turn,
// the key poll, the frame-rate figure and the orderly end.
#pragma once

#include <cstdint>

// The game's entry: 0 after a normal end, -1 when the library or the game's data cannot start.
int WinMain(void* instance, void* previousInstance, char* commandLine, int showCommand);

namespace kelvaron {

void AskFullScreen();
// The mode, frame counters, title fade, menu cursors and battle values as a fresh process has them
// (LoadGameData clears the keys).
void StartGameState();
// Loads the data and runs frames until the game ends. false when the data files could not be read.
bool GameMainLoop();
void ClearKeyState();
void UpdateKeyState();
void WaitFrame();
void UpdateFps();

// One frame of the scene `GameMode` names.
void RunScene();

// The pause WaitFrame asks for after a frame that took `elapsedMs`: 0 to 16 ms.
uint32_t FrameRestMs(uint32_t elapsedMs);

}  // namespace kelvaron
