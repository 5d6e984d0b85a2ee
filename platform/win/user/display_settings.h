// The display's mode: ChangeDisplaySettingsA (the road without DirectDraw) and the shared bookkeeping
// of the mode the desktop had before any program switched it, which DirectDraw's SetDisplayMode /
// RestoreDisplayMode use too. A switch goes through the host (ApplyDisplayMode): a real host shows a
// full-screen window scaled to fit instead of changing the monitor's mode.
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

constexpr DWORD DM_BITSPERPEL = 0x40000;
constexpr DWORD DM_PELSWIDTH = 0x80000;
constexpr DWORD DM_PELSHEIGHT = 0x100000;
constexpr DWORD DM_DISPLAYFREQUENCY = 0x400000;

constexpr DWORD CDS_UPDATEREGISTRY = 0x1;
constexpr DWORD CDS_TEST = 0x2;
constexpr DWORD CDS_FULLSCREEN = 0x4;

constexpr LONG DISP_CHANGE_SUCCESSFUL = 0;
constexpr LONG DISP_CHANGE_RESTART = 1;
constexpr LONG DISP_CHANGE_FAILED = -1;
constexpr LONG DISP_CHANGE_BADMODE = -2;
constexpr LONG DISP_CHANGE_BADPARAM = -5;

struct DEVMODEA {
  char dmDeviceName[32];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;  // sizeof(DEVMODEA)
  WORD dmDriverExtra;
  DWORD dmFields;  // which of the fields below are given (DM_*)
  POINT dmPosition;
  DWORD dmDisplayOrientation;
  DWORD dmDisplayFixedOutput;
  short dmColor;
  short dmDuplex;
  short dmYResolution;
  short dmTTOption;
  short dmCollate;
  char dmFormName[32];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;   // pixels
  DWORD dmPelsHeight;  // pixels
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;  // Hz
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
};

// Switches the display to the given fields of `mode` (others kept); null restores the desktop's own
// mode. Depths 8, 16, 24 and 32; frequency 0 (default) or 60 Hz, else DISP_CHANGE_BADMODE.
// CDS_TEST only checks.
LONG ChangeDisplaySettingsA(DEVMODEA* mode, DWORD flags);

// For the display stand-ins (DirectDraw): switch to a mode, remembering the desktop's own mode on the
// first switch, and go back to it. False / nothing when the host refuses or nothing was switched.
bool SwitchDisplayMode(int width, int height, int bitsPerPixel);
void RestoreDesktopMode();
// Whether a program's switch is in force.
bool DisplayModeSwitched();

// A display that goes away for good ends the process: the platform says so on stderr, calls `notice`
// (the program's last line for its log, said once; it must not use windows or the display) and exits
// with status 1, the exit handlers run. Null: no notice.
void SetDisplayLostNotice(void (*notice)());

}  // namespace plat
