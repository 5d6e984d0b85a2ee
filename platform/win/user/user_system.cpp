// System metrics from the desktop mode and the frame model, the recorded system settings
// (screen saver, screen-saver-running, foreground lock time-out) and the IME switch.
#include "platform/win/user/user_system.h"

#include <mutex>

#include "platform/win/user/window_state.h"
#include "platform/win/user/window_test_controls.h"

namespace plat {
namespace winstate {
namespace {

constexpr DWORD kDefaultForegroundLockTimeout = 200000;  // ms, the system's default

struct SystemSettings {
  std::mutex mutex;
  bool screenSaverActive = true;
  bool screenSaverRunning = false;
  DWORD foregroundLockTimeout = kDefaultForegroundLockTimeout;
  bool imeEnabled = true;
};

SystemSettings& Settings() {
  static SystemSettings settings;
  return settings;
}

}  // namespace

void ResetSystemSettings() {
  SystemSettings& s = Settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.screenSaverActive = true;
  s.screenSaverRunning = false;
  s.foregroundLockTimeout = kDefaultForegroundLockTimeout;
  s.imeEnabled = true;
}

}  // namespace winstate

using namespace winstate;

int GetSystemMetrics(int index) {
  host::DesktopMode mode;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    mode = DesktopLocked();
  }
  const RECT caption = FrameInsets(WS_POPUP | WS_CAPTION, 0, false);
  switch (index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN: return mode.width;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return mode.height;
    case SM_CYFULLSCREEN: return mode.height - (caption.top - caption.left);
    case SM_CYCAPTION: return caption.top - caption.left;
    case SM_CXBORDER:
    case SM_CYBORDER: return FrameInsets(WS_POPUP | WS_BORDER, 0, false).left;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return FrameInsets(WS_POPUP | WS_DLGFRAME, 0, false).left;
    case SM_CXFRAME:
    case SM_CYFRAME: return FrameInsets(WS_POPUP | WS_THICKFRAME, 0, false).left;
    case SM_CXEDGE:
    case SM_CYEDGE: return FrameInsets(WS_POPUP, WS_EX_CLIENTEDGE, false).left;
    case SM_CYMENU: return FrameInsets(WS_POPUP, 0, true).top;
    case SM_CYSMCAPTION: {
      const RECT tool = FrameInsets(WS_POPUP | WS_CAPTION, WS_EX_TOOLWINDOW, false);
      return tool.top - tool.left;
    }
    case SM_CMONITORS: return 1;
    default: return 0;
  }
}

BOOL SystemParametersInfoA(UINT action, UINT uiParam, void* pvParam, UINT) {
  SystemSettings& s = Settings();
  switch (action) {
    case SPI_GETSCREENSAVEACTIVE: {
      if (pvParam == nullptr) return FALSE;
      std::lock_guard<std::mutex> lock(s.mutex);
      *static_cast<BOOL*>(pvParam) = s.screenSaverActive ? TRUE : FALSE;
      return TRUE;
    }
    case SPI_SETSCREENSAVEACTIVE: {
      {
        std::lock_guard<std::mutex> lock(s.mutex);
        s.screenSaverActive = uiParam != 0;
      }
      std::lock_guard<std::mutex> lock(State().mutex);
      HostLocked().SetScreenSaverEnabled(uiParam != 0);
      return TRUE;
    }
    case SPI_SETSCREENSAVERRUNNING: {
      std::lock_guard<std::mutex> lock(s.mutex);
      if (pvParam != nullptr) *static_cast<BOOL*>(pvParam) = s.screenSaverRunning ? TRUE : FALSE;
      s.screenSaverRunning = uiParam != 0;
      return TRUE;
    }
    case SPI_GETWORKAREA: {
      if (pvParam == nullptr) return FALSE;
      const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
      *static_cast<RECT*>(pvParam) = RECT{0, 0, width, height};
      return TRUE;
    }
    case SPI_GETFOREGROUNDLOCKTIMEOUT: {
      if (pvParam == nullptr) return FALSE;
      std::lock_guard<std::mutex> lock(s.mutex);
      *static_cast<DWORD*>(pvParam) = s.foregroundLockTimeout;
      return TRUE;
    }
    case SPI_SETFOREGROUNDLOCKTIMEOUT: {
      std::lock_guard<std::mutex> lock(s.mutex);
      s.foregroundLockTimeout = static_cast<DWORD>(reinterpret_cast<uintptr_t>(pvParam));
      return TRUE;
    }
    default:
      return FALSE;
  }
}

BOOL WINNLSEnableIME(HWND, BOOL enable) {
  SystemSettings& s = Settings();
  std::lock_guard<std::mutex> lock(s.mutex);
  const BOOL previous = s.imeEnabled ? TRUE : FALSE;
  s.imeEnabled = enable != FALSE;
  return previous;
}

namespace test {

bool ScreenSaverActive() {
  std::lock_guard<std::mutex> lock(Settings().mutex);
  return Settings().screenSaverActive;
}

bool ScreenSaverRunning() {
  std::lock_guard<std::mutex> lock(Settings().mutex);
  return Settings().screenSaverRunning;
}

uint32_t ForegroundLockTimeout() {
  std::lock_guard<std::mutex> lock(Settings().mutex);
  return Settings().foregroundLockTimeout;
}

bool ImeEnabled() {
  std::lock_guard<std::mutex> lock(Settings().mutex);
  return Settings().imeEnabled;
}

}  // namespace test
}  // namespace plat
