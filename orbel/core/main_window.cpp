// The main window's creation and end, its size fit, its client rectangle and the foreground call.
// Depends on: platform/win window, queue, GDI DC, cursor, system settings and kernel calls; the message
// pump, window procedure, window mode and menu modules; the graphics screen size and draw state; the
// dropped-file table and the input subsystem's key-input handles.
// Leaves out: the keyboard and message hooks (never installed in this build).
#include "orbel/core/main_window.h"

#include <cstdio>
#include <cstring>

#include "orbel/core/clock_random.h"
#include "orbel/core/drop_files.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/menu.h"
#include "orbel/core/message_pump.h"
#include "orbel/core/string_routines.h"
#include "orbel/core/system_report.h"
#include "orbel/core/window_mode.h"
#include "orbel/core/window_proc.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/input/input_system.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/cursor.h"
#include "platform/win/user/display_settings.h"
#include "platform/win/user/end_signals.h"
#include "platform/win/kernel/debug_output.h"
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/menu.h"
#include "platform/win/user/message_queue.h"
#include "platform/win/kernel/sync.h"
#include "platform/win/kernel/system_info.h"
#include "platform/win/user/user_system.h"
#include "platform/win/user/window.h"

namespace orbel {

namespace {

// The log's last line when the display goes away and the platform ends the process.
void LogDisplayLost() { LogAdd("ディスプレイとの接続が切れました、ソフトを終了します\n"); }

// The log's line when SIGTERM, SIGHUP or SIGINT asks the program to end (as a close of the main window).
void LogEndSignal(const char* signalName) { LogFmtAdd("シグナル %s を受け取りました、ソフトを終了します", signalName); }

struct WindowStyleRow {
  plat::DWORD windowStyle;
  plat::DWORD windowExStyle;
  plat::DWORD fullScreenStyle;
  plat::DWORD fullScreenExStyle;
};

// 0x80CA0000 is popup, caption, system menu and minimise box; 0x300 client edge and window edge;
// full screen is a popup that stays on top.
constexpr WindowStyleRow kWindowStyles[8] = {
    {0x80CA0000, 0x300, 0x80000000, 0x8}, {0x80080000, 0x300, 0x80000000, 0x8},
    {0x80080000, 0x000, 0x80000000, 0x8}, {0x80CA0000, 0x080, 0x80000000, 0x8},
    {0x80080000, 0x080, 0x80000000, 0x8}, {0x80C80000, 0x100, 0x00000000, 0x0},
    {0x80CA0000, 0x300, 0x00000000, 0x0}, {0x80CB0000, 0x000, 0x00000000, 0x0},
};

constexpr double kBytesToMegabytes = 1.0 / 1048576.0;
constexpr uint32_t kTimerTestMs = 1000;
constexpr int kTimerTestChanges = 60;
constexpr uint32_t kCreationPumpMs = 200;

// Puts back what creation changed system-wide: the screen saver and the timer period.
void RestoreSystemSettings() {
  if (gWindow.screenSaverSwitchedOff) {
    plat::SystemParametersInfoA(plat::SPI_SETSCREENSAVEACTIVE, plat::TRUE, nullptr, plat::SPIF_SENDCHANGE);
    gWindow.screenSaverSwitchedOff = 0;
  }
  if (gWindow.timerPeriodRaised) {
    plat::timeEndPeriod(gWindow.timerPeriod);
    gWindow.timerPeriodRaised = 0;
  }
}

// A -1 exit of CreateMainWindow: quit flag set, the system settings as they were found.
int FailCreation() {
  gLibrary.quit = 1;
  gWindow.beingCreated = 0;
  RestoreSystemSettings();
  return -1;
}

void ReportMemory() {
  plat::MEMORYSTATUS status = {};
  status.dwLength = sizeof status;
  plat::GlobalMemoryStatus(&status);
  const double total = static_cast<double>(status.dwTotalPhys) * kBytesToMegabytes;
  const double available = static_cast<double>(status.dwAvailPhys) * kBytesToMegabytes;
  LogFmtAdd("メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", total, available);
  char debugLine[64];
  FormatString(debugLine, sizeof debugLine, "%.2fMB\n", available);
  plat::OutputDebugStringA(debugLine);
  SystemInfoBlock* info = GetSystemInfoBlock();
  info->availablePhysicalMemory = status.dwAvailPhys;
  info->totalPhysicalMemory = status.dwTotalPhys;
}

// Picks the clock: the performance counter unless the millisecond timer changes more often.
void TestTimers() {
  plat::LARGE_INTEGER frequency = {};
  plat::QueryPerformanceFrequency(&frequency);
  gLibrary.counterFrequency = static_cast<uint64_t>(frequency.QuadPart);
  gLibrary.performanceCounter = gLibrary.counterFrequency != 0;

  plat::TIMECAPS caps = {};
  plat::timeGetDevCaps(&caps, sizeof caps);
  if (plat::timeBeginPeriod(caps.wPeriodMin) == plat::TIMERR_NOERROR) {
    gWindow.timerPeriod = caps.wPeriodMin;
    gWindow.timerPeriodRaised = 1;
  }

  if (gLibrary.performanceCounter) {
    LogAdd("タイマーの精度を検査します\n");
    int timerChanges = 0;
    int counterChanges = 0;
    const uint32_t start = plat::timeGetTime();
    uint32_t lastTime = start;
    plat::LARGE_INTEGER lastCount = {};
    plat::QueryPerformanceCounter(&lastCount);
    while (plat::timeGetTime() - start < kTimerTestMs && timerChanges < kTimerTestChanges &&
           counterChanges < kTimerTestChanges) {
      if (PumpWindowMessage() != 0) break;
      plat::LARGE_INTEGER count = {};
      plat::QueryPerformanceCounter(&count);
      if (count.QuadPart != lastCount.QuadPart) {
        ++counterChanges;
        lastCount = count;
      }
      const uint32_t now = plat::timeGetTime();
      if (now != lastTime) {
        ++timerChanges;
        lastTime = now;
      }
    }

    char line[160];
    FormatString(line, sizeof line, "精度結果 更新回数 マルチメディアタイマー：%d  パフォーマンスカウンター：%d",
                 timerChanges, counterChanges);
    LogAdd(line);
    LogAdd("\n");
    if (timerChanges > counterChanges) {
      FormatString(line, sizeof line, "マルチメディアタイマーを使用します タイマー分解能 : %d.00 ms ",
                   static_cast<int>(caps.wPeriodMin));
      gLibrary.performanceCounter = 0;
    } else {
      FormatString(line, sizeof line, "パフォーマンスカウンターを使用します タイマー分解能 : %lf KHz ",
                   static_cast<double>(gLibrary.counterFrequency) * 0.001);
    }
    LogAdd(line);
    LogAdd("\n");
  }
  SetPerformanceCounterSource(gLibrary.performanceCounter, gLibrary.counterFrequency);
}

// Step of the double-start check; -1 when a second copy is refused.
int CheckDoubleStart() {
  LogAdd("ソフトの二重起動検査... ");
  if (plat::FindWindowA(gSettings.className, nullptr) != nullptr) {
    if (!gSettings.doubleStartAllowed) {
      LogAdd("二重起動されています、ソフトを終了します\n");
      return -1;
    }
    LogAdd("二重起動されていますが続行します\n");
  } else {
    LogAdd("二重起動はされていませんでした\n");
  }
  return 0;
}

int RegisterWindowClass() {
  plat::WNDCLASSEXA windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = plat::CS_HREDRAW | plat::CS_VREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = gWindow.instance;
  windowClass.hIcon = gSettings.iconId != 0 ? plat::LoadIconA(gWindow.instance, plat::MAKEINTRESOURCEA(gSettings.iconId))
                                            : plat::LoadIconA(nullptr, plat::IDI_APPLICATION);
  windowClass.hCursor = plat::LoadCursorA(nullptr, plat::IDC_ARROW);
  windowClass.hbrBackground = plat::GetStockObject(plat::NULL_BRUSH);
  windowClass.lpszClassName = gSettings.className;

  LogAdd("ウインドウクラスを登録します... ");
  if (plat::RegisterClassExA(&windowClass) == 0) {
    LogAdd("ウインドウクラスの登録に失敗しました\n");
    return -1;
  }
  LogAdd("登録に成功しました\n");
  return 0;
}

}  // namespace

void GetWindowStylePair(int styleNumber, int windowMode, plat::DWORD* style, plat::DWORD* exStyle) {
  const WindowStyleRow& row = kWindowStyles[(styleNumber >= 0 && styleNumber <= 7) ? styleNumber : 0];
  *style = windowMode ? row.windowStyle : row.fullScreenStyle;
  *exStyle = windowMode ? row.windowExStyle : row.fullScreenExStyle;
}

bool GetClientRectOnDesktop(plat::RECT* rect) {
  plat::RECT client = {};
  if (!plat::GetClientRect(gWindow.window, &client)) return false;
  plat::POINT topLeft = {client.left, client.top};
  plat::POINT bottomRight = {client.right, client.bottom};
  plat::ClientToScreen(gWindow.window, &topLeft);
  plat::ClientToScreen(gWindow.window, &bottomRight);
  *rect = {topLeft.x, topLeft.y, bottomRight.x, bottomRight.y};
  return true;
}

int GetDesktopColorDepth() {
  const plat::HDC screen = plat::GetDC(nullptr);
  const int depth = plat::GetDeviceCaps(screen, plat::BITSPIXEL) * plat::GetDeviceCaps(screen, plat::PLANES);
  plat::ReleaseDC(nullptr, screen);
  return depth;
}

plat::HWND GetMainWindowHandle() { return gWindow.window; }
int GetActiveFlag() { return gWindow.active; }
int GetWindowCloseFlag() { return gWindow.closePosted; }

int CreateMainWindow() {
  ResetMainWindowState();

  if (gSettings.className[0] == '\0') {
    StrCopy(gSettings.className, gSettings.title[0] != '\0' ? gSettings.title : kDefaultWindowClassName);
  }
  gWindow.instance = plat::GetModuleHandleA(nullptr);
  MainThreadId = plat::GetCurrentThreadId();
  plat::SetDisplayLostNotice(&LogDisplayLost);

  ReportMemory();

  gWindow.desktopWidth = plat::GetSystemMetrics(plat::SM_CXSCREEN);
  gWindow.desktopHeight = plat::GetSystemMetrics(plat::SM_CYSCREEN);
  gWindow.desktopDepth = GetDesktopColorDepth();
  int screenWidth = 0;
  int screenHeight = 0;
  GetScreenPixelSize(&screenWidth, &screenHeight);

  TestTimers();
  InitRandomSeed(plat::timeGetTime());

  // The screen saver goes off for the library's life; it is switched back on at the end only when it
  // was on before.
  plat::BOOL screenSaverActive = plat::TRUE;
  plat::SystemParametersInfoA(plat::SPI_GETSCREENSAVEACTIVE, 0, &screenSaverActive, 0);
  if (plat::SystemParametersInfoA(plat::SPI_SETSCREENSAVEACTIVE, plat::FALSE, nullptr, plat::SPIF_SENDCHANGE) &&
      screenSaverActive) {
    gWindow.screenSaverSwitchedOff = 1;
  }

  if (gSettings.windowless) return 0;

  if (CheckDoubleStart() == -1) return FailCreation();

  if (gSettings.menu != nullptr) {
    gWindow.menuItemCount = 0;
    RegisterMenuItems(gSettings.menu);
  }

  if (gSettings.outsideWindow != nullptr) {
    gSettings.outsideWindowProc =
        reinterpret_cast<WindowProcedure>(plat::GetWindowLongA(gSettings.outsideWindow, plat::GWL_WNDPROC));
    gWindow.window = gSettings.outsideWindow;
    gWindow.beingCreated = 1;
  } else {
    if (RegisterWindowClass() == -1) return FailCreation();
    gWindow.beingCreated = 1;

    if (gSettings.title[0] == '\0') StrCopy(gSettings.title, kDefaultWindowTitle);

    plat::DWORD style = 0;
    plat::DWORD exStyle = 0;
    GetWindowStylePair(gSettings.styleNumber, gSettings.windowMode, &style, &exStyle);
    int x = 0;
    int y = 0;
    int width = screenWidth;
    int height = screenHeight;
    plat::HMENU menu = nullptr;
    if (gSettings.windowMode) {
      LogAdd("ウインドウモード起動用のウインドウを作成します\n");
      if (gSettings.windowModeChangeAllowed) style |= plat::WS_MAXIMIZEBOX;
      if (gSettings.sizable) style |= plat::WS_THICKFRAME;
      if (gSettings.hiddenStart) exStyle |= plat::WS_EX_TRANSPARENT;
      plat::RECT rect = {0, 0, DoubleToInt(screenWidth * GetWindowExtendRate()),
                         DoubleToInt(screenHeight * GetWindowExtendRate())};
      if (gSettings.explicitSize) rect = {0, 0, gSettings.explicitWidth, gSettings.explicitHeight};
      plat::AdjustWindowRectEx(&rect, style, plat::FALSE, exStyle);
      width = rect.right - rect.left;
      height = rect.bottom - rect.top;
      if (gSettings.explicitPosition) {
        x = gSettings.explicitX;
        y = gSettings.explicitY;
      } else {
        x = (gWindow.desktopWidth - width) / 2;
        y = (gWindow.desktopHeight - height) / 2;
      }
      if (gSettings.menuInUse) menu = gSettings.menu;
    } else {
      LogAdd("フルスクリーンモード用のウインドウを作成します\n");
    }

    const plat::HWND window = plat::CreateWindowExA(exStyle, gSettings.className, gSettings.title, style, x, y,
                                                    width, height, nullptr, menu, gWindow.instance, nullptr);
    if (window == nullptr) {
      LogAdd("ウインドウの作成に失敗しました\n");
      plat::UnregisterClassA(gSettings.className, gWindow.instance);
      return FailCreation();
    }
    gWindow.window = window;
    if (menu != nullptr) gWindow.menuAttached = 1;
    LogAdd("ウインドウの作成に成功しました\n");

    if (gSettings.hiddenStart) {
      plat::ShowWindow(window, plat::SW_HIDE);
      LogAdd("ウインドウを表示します\n");
    } else {
      plat::ShowWindow(window, plat::SW_SHOW);
      plat::UpdateWindow(window);
    }
  }

  gWindow.closePosted = 0;
  gWindow.active = 1;
  plat::SetEndSignalWindow(gWindow.window, &LogEndSignal);

  if (!gSettings.windowMode) {
    LogAdd("カーソルを不可視にしました\n");
    plat::SetCursor(nullptr);
  }
  LogAdd("ＩＭＥを無効にしました\n");
  plat::WINNLSEnableIME(gWindow.window, plat::FALSE);
  if (gSettings.windowMode) GetClientRectOnDesktop(&gWindow.clientRect);
  LibraryCharSetIndex = plat::GetOEMCP() == 949 ? 2 : 1;
  SetMouseCursorVisible(gSettings.windowMode);

  gLibrary.ending = 0;
  if (gSettings.outsideWindow != nullptr) {
    gWindow.beingCreated = 0;
    return 0;
  }

  if (!gSettings.hiddenStart) plat::BringWindowToTop(gWindow.window);
  const uint32_t start = plat::timeGetTime();
  while (plat::timeGetTime() - start < kCreationPumpMs) PumpWindowMessage();
  if (!gSettings.hiddenStart) SetWindowClientSize();

  gWindow.beingCreated = 0;
  return 0;
}

int EndMainWindow() {
  if (gWindow.window == nullptr) return 0;

  if (!gSettings.windowless) {
    plat::WINNLSEnableIME(gWindow.window, plat::TRUE);
    SetMouseCursorVisible(1);

    if (gSettings.region != nullptr) {
      plat::DeleteObject(gSettings.region);
      gSettings.region = nullptr;
    }
    if (gSettings.menuInUse) {
      SetMenuVisible(0);
      plat::DestroyMenu(gSettings.menu);
      gSettings.menu = nullptr;
      gSettings.menuInUse = 0;
      gWindow.menuAttached = 0;
      gWindow.selectedMenuItemCount = 0;
      gWindow.menuItemCount = 0;
    }
    if (gWindow.toolBarExists && gSettings.windowMode) {
      DeleteAllToolBarButtons();
      plat::PostMessageA(gWindow.toolBarWindow, plat::WM_CLOSE, 0, 0);
      if (gWindow.toolBarBitmap != nullptr) plat::DeleteObject(gWindow.toolBarBitmap);
      gWindow.toolBarBitmap = nullptr;
      gWindow.toolBarExists = 0;
      SetWindowClientSize();
    }
    if (gSettings.outsideWindow == nullptr) {
      if (!gWindow.closePosted) {
        gWindow.closePosted = 1;
        plat::PostMessageA(gWindow.window, plat::WM_CLOSE, 0, 0);
      }
      while (PumpWindowMessage() == 0) {
      }
      plat::UnregisterClassA(gSettings.className, gWindow.instance);
    } else {
      plat::SetWindowLongA(gSettings.outsideWindow, plat::GWL_WNDPROC,
                           reinterpret_cast<plat::LONG_PTR>(gSettings.outsideWindowProc));
      gLibrary.quit = 1;
    }
    DeleteAllKeyInputHandles();
    if (gWindow.pauseExists) {
      FreeGraphImage(&gWindow.pauseImage);
      DeleteGraphHandle(gWindow.pauseGraph, 0);
      gWindow.pauseGraph = -1;
      gWindow.pauseExists = 0;
    }
    ClearDragFileNames();
  } else {
    gLibrary.quit = 1;
  }

  RestoreSystemSettings();
  gWindow.window = nullptr;
  plat::SetEndSignalWindow(nullptr, nullptr);
  return 0;
}

int SetWindowClientSize() {
  if (gWindow.window == nullptr) return 0;
  int screenWidth = 0;
  int screenHeight = 0;
  GetScreenPixelSize(&screenWidth, &screenHeight);
  if (gSettings.windowScale <= 0.0) gSettings.windowScale = 1.0;
  const double scale = gSettings.windowMode ? gSettings.windowScale : 1.0;
  const int targetWidth = DoubleToInt(screenWidth * scale);
  const int targetHeight = DoubleToInt(screenHeight * scale);

  plat::RECT outer = {};
  plat::RECT client = {};
  plat::GetWindowRect(gWindow.window, &outer);
  if (!plat::GetClientRect(gWindow.window, &client)) return 0;
  const int frameWidth = (outer.right - outer.left) - (client.right - client.left);
  const int frameHeight = (outer.bottom - outer.top) - (client.bottom - client.top);

  int clientWidth = targetWidth;
  int clientHeight = targetHeight;
  if (gSettings.userResizable || gSettings.explicitSize) {
    if (gSettings.explicitSize) {
      clientWidth = gSettings.explicitWidth;
      clientHeight = gSettings.explicitHeight;
      if (gSettings.userResizable && !gLibrary.initialising) gSettings.explicitSize = 0;
    } else {
      clientWidth = client.right - client.left;
      clientHeight = client.bottom - client.top;
    }
    if (clientWidth > targetWidth) clientWidth = targetWidth;
    if (clientHeight > targetHeight) clientHeight = targetHeight;
  }

  const int outerWidth = clientWidth + frameWidth;
  const int outerHeight = clientHeight + frameHeight + GetToolBarHeight();
  int x = outer.left;
  int y = outer.top;
  if (gSettings.explicitPosition) {
    x = gSettings.explicitX;
    y = gSettings.explicitY;
    if (!gLibrary.initialising) gSettings.explicitPosition = 0;
  }
  plat::MoveWindow(gWindow.window, x, y, outerWidth, outerHeight, plat::TRUE);

  if (gSettings.windowMode && !gWindow.windowStyleApplied) {
    gWindow.windowStyleApplied = 1;
    SetWindowStyleForMode();
  }
  return 0;
}

int RefreshClientRect(plat::LPARAM packedPosition) {
  if (gSettings.outsideWindow != nullptr || gWindow.window == nullptr) return 0;
  plat::RECT client = {};
  if (!plat::GetClientRect(gWindow.window, &client)) return 0;
  const int x = static_cast<int16_t>(packedPosition & 0xFFFF);
  const int y = static_cast<int16_t>((packedPosition >> 16) & 0xFFFF);
  gWindow.clientRect = {x, y, x + client.right - client.left, y + client.bottom - client.top};

  if (GetSelectedDrawScreen() == kDrawScreenFront) {
    const int maskUse = GetMaskScreenUse();
    SetMaskScreenUse(0);
    if (!GetUseBackSurfaceFlag()) SetDrawAreaRectRaw(&gWindow.clientRect);
    SetMaskScreenUse(maskUse);
  }
  plat::RECT area = {};
  GetDrawAreaRect(&area);
  SetDrawClipArea(area.left, area.top, area.right, area.bottom);
  return 0;
}

int ForceForegroundWindow(plat::HWND window, int topmost) {
  const plat::DWORD foregroundThread = plat::GetWindowThreadProcessId(plat::GetForegroundWindow(), nullptr);
  const plat::DWORD windowThread = plat::GetWindowThreadProcessId(window, nullptr);
  plat::AttachThreadInput(windowThread, foregroundThread, plat::TRUE);

  plat::DWORD lockTimeout = 0;
  plat::SystemParametersInfoA(plat::SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &lockTimeout, 0);
  plat::SystemParametersInfoA(plat::SPI_SETFOREGROUNDLOCKTIMEOUT, 0, nullptr, 0);
  plat::SetForegroundWindow(window);
  plat::SystemParametersInfoA(plat::SPI_SETFOREGROUNDLOCKTIMEOUT, 0,
                              reinterpret_cast<void*>(static_cast<uintptr_t>(lockTimeout)), 0);

  int result = plat::AttachThreadInput(windowThread, foregroundThread, plat::FALSE);
  if (topmost == 1) {
    result = plat::SetWindowPos(gWindow.window, plat::HWND_TOPMOST, 0, 0, 0, 0,
                                plat::SWP_NOSIZE | plat::SWP_NOMOVE | plat::SWP_NOACTIVATE);
  }
  return result;
}

int GetMainWindowSize(plat::RECT* rect) {
  const int toolBar = GetToolBarHeight();
  *rect = gWindow.clientRect;
  rect->top += toolBar;
  rect->bottom += toolBar;
  return 0;
}

}  // namespace orbel
