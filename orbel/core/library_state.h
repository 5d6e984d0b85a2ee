// The core runtime's shared state: the library flags of start-up and shut-down, the settings made before
// start-up (which survive the state reset at window creation), and the run-time state of the main window,
// its menu, tool bar, cursor and pause picture (which that reset clears). One instance of each.
// Depends on: platform/win/kernel/win_types.h. Leaves out: the API lock (api_lock.h), the system report's
// results (system_report.h), tracked memory and the log (their own modules), which the reset never clears.
#pragma once

#include <climits>
#include <cstdint>

#include "orbel/image/color_data.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

// ---- Constants -------------------------------------------------------------------------------------

constexpr const char kDefaultWindowClassName[] = "K471305Q";
constexpr const char kDefaultWindowTitle[] = "Orbel";
constexpr int kWindowTextSize = 256;      // title and class name, with the terminator
constexpr int kMenuItemMax = 128;         // registered menu items
constexpr int kSelectedMenuItemMax = 64;  // command IDs waiting for the application
constexpr int kToolBarButtonMax = 64;
constexpr int kMenuItemNameSize = 128;

using WindowProcedure = plat::LRESULT (*)(plat::HWND, plat::UINT, plat::WPARAM, plat::LPARAM);

// ---- Library flags ---------------------------------------------------------------------------------

struct LibraryFlags {
  int initialised;          // 1 once start-up has completed
  int initialising;         // 1 while InitLibrarySystem runs
  int ending;               // 1 once EndLibrarySystem began; 4 after WM_CLOSE arrived outside it
  int endSequenceRunning;   // 1 while EndLibrarySystem runs (a fatal error then skips straight to exit)
  int quit;                 // 1 once the main window is gone or WM_QUIT was seen
  int comStarted;           // 1 between a successful CoInitialize and CoUninitialize
  int performanceCounter;   // 1 while the performance counter is the clock's source
  uint64_t counterFrequency;          // counts per second of the performance counter
  char startupDirectory[PATH_MAX];    // the current directory at start-up, restored at the end
};

extern LibraryFlags gLibrary;

// ---- Settings made before start-up -----------------------------------------------------------------

struct MenuItemRecord {
  plat::HMENU menu;       // the (sub)menu holding the item
  int16_t position;       // position in that menu
  uint16_t commandId;
  char name[kMenuItemNameSize];
};

struct LibrarySettings {
  // Subsystems start-up skips; never set by a public call of this build.
  int noInput;
  int noSound;
  int noGraphics;
  int windowless;              // run without a main window
  plat::HWND outsideWindow;    // a window the application supplies; null in this build
  WindowProcedure outsideWindowProc;  // that window's previous procedure

  // Window shape and identity.
  int windowMode;              // 1 window, 0 full screen
  char title[kWindowTextSize];       // empty until set
  char className[kWindowTextSize];   // empty until set or taken at window creation
  int styleNumber;             // 0-7, row of the window style table
  double windowScale;          // client size over screen size; 0 or below counts as 1.0
  int explicitSize;            // the client size below was requested
  int explicitWidth;
  int explicitHeight;
  int explicitPosition;        // the position below was requested
  int explicitX;
  int explicitY;
  int userResizable;
  int sizable;                 // adds WS_THICKFRAME
  int hiddenStart;             // create the window hidden
  int doubleStartAllowed;      // a second running copy may go on
  int runInBackground;         // keep running while inactive
  int windowModeChangeAllowed; // Alt+Enter and the maximise button switch modes
  int iconId;                  // 0: the system application icon
  plat::HACCEL accelerator;
  int backgroundColorSet;      // paint the client area in this colour before start-up
  int backgroundRed;
  int backgroundGreen;
  int backgroundBlue;
  plat::HRGN region;           // window region, null when none

  // Menu and its callbacks.
  plat::HMENU menu;            // null when none
  int menuInUse;
  int menuAlwaysShown;         // show the menu in full screen too (never set in this build)
  void (*menuCallback)(plat::WPARAM commandParam);
  void (*namedMenuCallback)(const char* itemName, int commandId);
};

extern LibrarySettings gSettings;

// ---- Run-time state of the main window (cleared at window creation) --------------------------------

struct ToolBarButtonRecord {
  uint32_t commandId;
  uint32_t image;
  uint32_t type;     // 0 plain push button, 3 separator
  uint32_t state;
  uint32_t clicked;  // set by WM_COMMAND
};

struct MainWindowState {
  plat::HWND window;           // null while there is no window
  plat::HINSTANCE instance;
  int beingCreated;            // CreateMainWindow is building the window
  int closePosted;             // the library posted WM_CLOSE
  int active;                  // the application is active
  int modeChangeRequest;       // the pump is to switch between window and full screen
  int modeChangeInProgress;
  int displayChanged;          // a WM_DISPLAYCHANGE was handled
  int painting;                // WM_PAINT is drawing
  int windowStyleApplied;      // the window-mode style was applied once (adds WS_VISIBLE)
  plat::RECT clientRect;       // client area in desktop coordinates
  int desktopWidth;            // recorded at window creation
  int desktopHeight;
  int desktopDepth;
  uint32_t timerPeriod;        // the minimum timer period raised at creation
  int timerPeriodRaised;       // 1 while that period is to be lowered again
  int screenSaverSwitchedOff;  // 1 while the screen saver is to be switched back on

  // Menu.
  int menuAttached;
  int menuHidden;
  int menuDisplayed;           // the last CheckMenuDisplay result acted upon
  int mouseInTop;              // the mouse is in the top 60 pixels (full screen)
  uint32_t selectedMenuItems[kSelectedMenuItemMax];
  int selectedMenuItemCount;
  MenuItemRecord menuItems[kMenuItemMax];
  int menuItemCount;

  // Tool bar (no public call of this build creates one).
  int toolBarExists;
  plat::HWND toolBarWindow;
  plat::HBITMAP toolBarBitmap;
  ToolBarButtonRecord toolBarButtons[kToolBarButtonMax];
  int toolBarButtonCount;

  // Cursor.
  int cursorSetting;           // what the application asked for
  int cursorShown;             // what was last applied

  // Pause picture drawn while inactive (no public call of this build sets one).
  int pauseExists;
  GraphImage pauseImage;
  int pauseGraph;

  // Message pump.
  int pumpGuard;               // 1 while the key-input service runs inside the pump
  int pumpMessageCounter;      // messages of the current call, reset at 5
};

extern MainWindowState gWindow;

// The thread that created the main window; the pump and the mode switch act only on it.
extern uint32_t MainThreadId;
// 2 when the OEM code page is 949, else 1 (Shift-JIS); set at window creation.
extern int LibraryCharSetIndex;

// Clears the run-time window state (settings, flags of start-up, the lock and reports are kept).
void ResetMainWindowState();
// Back to the state of a fresh process: settings, flags and window state (tests).
void ResetLibraryStateForTest();

// ---- Settings made before start-up (internal; no public call of this build sets most of them) -----

void SetWindowModeChangeAllowed(int allowed);
void SetRunInBackground(int on);
void SetDoubleStartAllowed(int allowed);
void SetWindowStyleNumber(int number);
void SetWindowExtendRate(double scale);
void SetHiddenStart(int on);
void SetSkipSubsystems(int noInput, int noSound, int noGraphics);
int GetQuitMessageFlag();
int GetRunInBackground();

}  // namespace orbel
