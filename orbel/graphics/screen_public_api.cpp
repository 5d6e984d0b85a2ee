// The public forwarders of the screen: mode, pixel format, colours, draw screen, brightness, clear and
// flip. They pass their arguments unchanged and return the implementation's result.
#include "orbel.h"

#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"

int SetScreenMode(int width, int height, int colorBitDepth, int refreshRate) {
  return orbel::SetScreenMode(width, height, colorBitDepth, refreshRate);
}

const void* GetScreenColorData() { return orbel::GetScreenColorData(); }

uint32_t MakeColor(int red, int green, int blue) { return orbel::MakeColor(red, green, blue); }

int SelectDrawScreen(int screen) { return orbel::SelectDrawScreen(screen); }

int SetDrawBrightness(int red, int green, int blue) { return orbel::SetDrawBrightness(red, green, blue); }

int ClearTargetScreen() { return orbel::ClearTargetScreen(); }

int FlipScreen() { return orbel::FlipScreen(); }
