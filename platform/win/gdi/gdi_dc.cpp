// Window and screen DCs, stock and solid brushes, FillRect, DeleteObject and GetDeviceCaps. A window DC
// fills the host's picture of the client area; the screen DC only answers GetDeviceCaps.
#include "platform/win/gdi/gdi_dc.h"

#include <atomic>
#include <mutex>
#include <unordered_set>

#include "platform/win/user/window_state.h"

namespace plat {
namespace {

using namespace winstate;

// A DC handed out by GetDC / BeginPaint; `window` null for the screen.
struct ScreenOrWindowDc : DcObject {};

struct DcRegistry {
  std::mutex mutex;
  std::unordered_set<DcObject*> live;
};

DcRegistry& Dcs() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* registry = new DcRegistry;
  return *registry;
}

std::atomic<MemoryDcFillHandler> g_memoryFill{nullptr};

BrushObject* MakeStock(COLORREF colour, bool hollow) {
  auto* brush = new BrushObject;  // lives as long as the process
  brush->colour = colour;
  brush->hollow = hollow;
  brush->stock = true;
  return brush;
}

bool IsOurDc(HDC dc) {
  DcRegistry& r = Dcs();
  std::lock_guard<std::mutex> lock(r.mutex);
  return r.live.count(dc) != 0;
}

}  // namespace

HDC GetDC(HWND window) {
  if (window != nullptr && !IsWindow(window)) return nullptr;
  auto* dc = new ScreenOrWindowDc;
  dc->window = window;
  DcRegistry& r = Dcs();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.live.insert(dc);
  return dc;
}

int ReleaseDC(HWND, HDC dc) {
  DcRegistry& r = Dcs();
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.live.erase(dc) == 0) return 0;
  }
  delete dc;
  return 1;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  auto* brush = new BrushObject;
  brush->colour = colour & 0x00FFFFFFu;
  return brush;
}

HGDIOBJ GetStockObject(int index) {
  static BrushObject* const stock[] = {
      MakeStock(0xFFFFFF, false), MakeStock(0xC0C0C0, false), MakeStock(0x808080, false),
      MakeStock(0x404040, false), MakeStock(0x000000, false), MakeStock(0x000000, true),
  };
  if (index < WHITE_BRUSH || index > NULL_BRUSH) return nullptr;
  return stock[index];
}

BOOL DeleteObject(HGDIOBJ object) {
  if (object == nullptr) return FALSE;
  if (!object->stock) delete object;
  return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (dc == nullptr || rect == nullptr || brush == nullptr || brush->kind != GdiKind::Brush) return 0;
  const auto* solid = static_cast<const BrushObject*>(brush);
  if (solid->hollow) return 1;
  if (!IsOurDc(dc)) {
    MemoryDcFillHandler handler = g_memoryFill.load();
    return handler != nullptr && handler(dc, *rect, solid->colour) ? 1 : 0;
  }
  if (dc->window == nullptr) return 1;  // the screen: nothing of ours to paint
  // COLORREF is 0x00BBGGRR; pictures hold 0x00RRGGBB.
  const COLORREF c = solid->colour;
  const uint32_t pixel = ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
  std::lock_guard<std::mutex> lock(State().mutex);
  auto w = LookupLocked(dc->window);
  if (!w) return 0;
  if (w->hasHostWindow) HostLocked().FillFrame(dc->window, *rect, pixel);
  return 1;
}

int GetClipBox(HDC dc, RECT* rect) {
  if (rect == nullptr || !IsOurDc(dc)) return 0;
  RECT box{};
  if (dc->window == nullptr) {
    box.right = GetDeviceCaps(dc, HORZRES);
    box.bottom = GetDeviceCaps(dc, VERTRES);
  } else if (!GetClientRect(dc->window, &box)) {
    return 0;
  }
  *rect = box;
  return box.right > box.left && box.bottom > box.top ? SIMPLEREGION : NULLREGION;
}

void SetMemoryDcFillHandler(MemoryDcFillHandler handler) { g_memoryFill.store(handler); }

int GetDeviceCaps(HDC dc, int index) {
  if (dc == nullptr) return 0;
  host::DesktopMode mode;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    mode = DesktopLocked();
  }
  switch (index) {
    case HORZRES: return mode.width;
    case VERTRES: return mode.height;
    case BITSPIXEL: return mode.bitsPerPixel;
    case PLANES: return 1;
    case NUMCOLORS: return mode.bitsPerPixel <= 8 ? 1 << mode.bitsPerPixel : -1;
    case VREFRESH: return 60;
    default: return 0;
  }
}

}  // namespace plat
