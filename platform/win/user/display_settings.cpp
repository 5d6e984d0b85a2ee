// ChangeDisplaySettingsA and the record of the desktop's own mode. A program's switch is remembered
// from the first change, so that a null change (or RestoreDisplayMode) goes back to what the user had.
#include "platform/win/user/display_settings.h"

#include <mutex>

#include "platform/win/user/display_test_controls.h"
#include "platform/win/user/window.h"
#include "platform/win/user/window_state.h"

namespace plat {
namespace {

struct DisplaySettingsState {
  std::mutex mutex;
  bool switched = false;
  host::DesktopMode desktop{0, 0, 0};  // the mode before the first switch
};

DisplaySettingsState& Settings() {
  static DisplaySettingsState state;
  return state;
}

host::DesktopMode CurrentDesktop() {
  std::lock_guard<std::mutex> lock(winstate::State().mutex);
  return winstate::DesktopLocked();
}

bool SaneMode(int width, int height, int bits) {
  return width > 0 && height > 0 && width <= 16384 && height <= 16384 &&
         (bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

}  // namespace

bool SwitchDisplayMode(int width, int height, int bitsPerPixel) {
  if (!SaneMode(width, height, bitsPerPixel)) return false;
  const host::DesktopMode before = CurrentDesktop();
  if (!ApplyDisplayMode(width, height, bitsPerPixel)) return false;
  DisplaySettingsState& s = Settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.switched) {
    s.switched = true;
    s.desktop = before;
  }
  return true;
}

void RestoreDesktopMode() {
  host::DesktopMode desktop;
  {
    DisplaySettingsState& s = Settings();
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.switched) return;
    s.switched = false;
    desktop = s.desktop;
  }
  ApplyDisplayMode(desktop.width, desktop.height, desktop.bitsPerPixel);
}

bool DisplayModeSwitched() {
  DisplaySettingsState& s = Settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.switched;
}

LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags) {
  test::RecordDisplayCall("ChangeDisplaySettingsA", flags);
  HRESULT forced;
  if (test::TakeDisplayFault("ChangeDisplaySettingsA", &forced)) return DISP_CHANGE_FAILED;
  if (mode == nullptr) {
    RestoreDesktopMode();
    return DISP_CHANGE_SUCCESSFUL;
  }
  const host::DesktopMode now = CurrentDesktop();
  const int width = (mode->dmFields & DM_PELSWIDTH) ? static_cast<int>(mode->dmPelsWidth) : now.width;
  const int height = (mode->dmFields & DM_PELSHEIGHT) ? static_cast<int>(mode->dmPelsHeight) : now.height;
  const int bits = (mode->dmFields & DM_BITSPERPEL) ? static_cast<int>(mode->dmBitsPerPel) : now.bitsPerPixel;
  const DWORD hz = (mode->dmFields & DM_DISPLAYFREQUENCY) ? mode->dmDisplayFrequency : 0;
  if (!SaneMode(width, height, bits) || (hz != 0 && hz != 60)) return DISP_CHANGE_BADMODE;
  if (flags & CDS_TEST) return DISP_CHANGE_SUCCESSFUL;
  return SwitchDisplayMode(width, height, bits) ? DISP_CHANGE_SUCCESSFUL : DISP_CHANGE_FAILED;
}

void SetDisplayLostNotice(void (*notice)()) { host::SetDisplayLostNotice(notice); }

}  // namespace plat

namespace plat::test {

void ResetDisplaySettings() {
  DisplaySettingsState& s = Settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.switched = false;
}

}  // namespace plat::test
