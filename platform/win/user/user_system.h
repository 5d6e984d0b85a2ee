// System metrics and settings: GetSystemMetrics from the desktop mode and the frame model,
// SystemParametersInfoA for the settings the library reads and writes (recorded here; the screen-saver
// switch also reaches the host), and WINNLSEnableIME (recorded).
#pragma once

#include "platform/win/kernel/win_types.h"

namespace plat {

constexpr int SM_CXSCREEN = 0;
constexpr int SM_CYSCREEN = 1;
constexpr int SM_CYCAPTION = 4;
constexpr int SM_CXBORDER = 5;
constexpr int SM_CYBORDER = 6;
constexpr int SM_CXDLGFRAME = 7;
constexpr int SM_CYDLGFRAME = 8;
constexpr int SM_CYMENU = 15;
constexpr int SM_CXFULLSCREEN = 16;
constexpr int SM_CYFULLSCREEN = 17;
constexpr int SM_CXFRAME = 32;
constexpr int SM_CYFRAME = 33;
constexpr int SM_CXEDGE = 45;
constexpr int SM_CYEDGE = 46;
constexpr int SM_CYSMCAPTION = 51;
constexpr int SM_CXVIRTUALSCREEN = 78;
constexpr int SM_CYVIRTUALSCREEN = 79;
constexpr int SM_CMONITORS = 80;

constexpr UINT SPI_GETSCREENSAVEACTIVE = 0x0010;
constexpr UINT SPI_SETSCREENSAVEACTIVE = 0x0011;
constexpr UINT SPI_GETWORKAREA = 0x0030;
constexpr UINT SPI_SETSCREENSAVERRUNNING = 0x0061;
constexpr UINT SPI_GETFOREGROUNDLOCKTIMEOUT = 0x2000;
constexpr UINT SPI_SETFOREGROUNDLOCKTIMEOUT = 0x2001;
constexpr UINT SPIF_UPDATEINIFILE = 0x1;
constexpr UINT SPIF_SENDCHANGE = 0x2;
constexpr UINT SPIF_SENDWININICHANGE = 0x2;

// 0 for an unknown index.
int GetSystemMetrics(int index);
// SPI_GET/SETSCREENSAVEACTIVE (uiParam TRUE/FALSE; get writes a BOOL), SPI_GETWORKAREA (RECT),
// SPI_SETSCREENSAVERRUNNING (uiParam; previous state into a BOOL when pvParam is given),
// SPI_GETFOREGROUNDLOCKTIMEOUT (DWORD, ms) and SPI_SETFOREGROUNDLOCKTIMEOUT (the value is pvParam
// itself). FALSE for other actions or a missing output.
BOOL SystemParametersInfoA(UINT action, UINT uiParam, void* pvParam, UINT winIni);
// Switches the IME for the process; returns the previous state.
BOOL WINNLSEnableIME(HWND window, BOOL enable);

}  // namespace plat
