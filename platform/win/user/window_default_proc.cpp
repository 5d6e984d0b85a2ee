// DefWindowProcA: what a window does with a message its procedure passes on. Closing destroys the
// window, the system menu's close / minimise / maximise / restore commands act, and painting validates
// the window so that WM_PAINT stops coming. Everything else answers 0.
#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/user/message_queue.h"

namespace plat {

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE: SendMessageA(window, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(window, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(window, SW_MAXIMIZE); break;
        case SC_RESTORE: ShowWindow(window, SW_RESTORE); break;
        default: break;
      }
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      if (BeginPaint(window, &paint) != nullptr) EndPaint(window, &paint);
      return 0;
    }
    default:
      return 0;
  }
}

}  // namespace plat
