// Kelvaron's shared state: the mode, the key states and the frame timing that every scene reads,
// with the key codes the game uses. One frame loop owns them (frame_loop.cpp).
#pragma once

#include <cstdint>

namespace kelvaron {

// DirectInput key codes the game reads.
inline constexpr int kKeyEscape = 0x01;
inline constexpr int kKeyI = 0x17;
inline constexpr int kKeyK = 0x25;
inline constexpr int kKeySpace = 0x39;
inline constexpr int kKeyF12 = 0x58;
inline constexpr int kKeyLeft = 0xCB;
inline constexpr int kKeyRight = 0xCD;

// Key states: 0 up, 1 held, 2 pressed since the previous poll.
inline constexpr uint8_t kKeyPressed = 2;

extern int GameMode;              // 0 title, 1 stage select, 2 battle; negative ends the loop
extern uint8_t KeyState[256];
extern uint8_t PrevKeyState[256];
extern uint32_t FrameCount;       // frames completed since start
extern uint32_t LastFrameTime;    // ms clock at the end of the previous frame wait
extern uint32_t FrameTimes[60];   // ring of the last 60 frame intervals (ms)
extern uint32_t LastFpsTime;      // ms clock of the previous interval sample
extern int AverageFrameTime;      // ms; 0 means no figure yet

inline bool Pressed(int code) { return KeyState[code] == kKeyPressed; }

// Observers a test or a recorder may install; the game runs the same without them.
struct GameHooks {
  void (*afterFrame)() = nullptr;                // after each flip
  void (*musicStarted)(const char* path) = nullptr;  // PlayMusicFile by the game
  void (*musicStopped)() = nullptr;              // StopCurrentMusic by the game
};
extern GameHooks Hooks;

}  // namespace kelvaron
