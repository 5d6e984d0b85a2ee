// The host list and the choice by ORBEL_HOST, the current host, event listeners, and the defaults of
// the optional host operations (a simulated desktop mode, one client picture per window, the
// environment's message-box answer), and the end of the process when a display is lost.
// Depends on the drivers' create functions only (never on their headers).
#include "platform/host/host.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/win/user/message_box.h"
#include "platform/win/gdi/pixel_rows.h"

namespace plat::host {

// The drivers' create functions (host/headless, host/sdl).
std::unique_ptr<Host> CreateSdlHost(std::string* whyNot);
std::unique_ptr<Host> CreateHeadlessHost(std::string* whyNot);
std::unique_ptr<Host> CreateNoDisplayHost();

namespace {

struct HostRegistry {
  std::mutex mutex;
  std::unique_ptr<Host> current;
  std::vector<EventListener> listeners;
};

HostRegistry& Registry() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* registry = new HostRegistry;
  return *registry;
}

// Where the host looks for its display, for the line that says none could be opened: the display
// variable's setting, or that none is set.
std::string DisplayName() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return std::string(variable) + "=" + value;
  }
  return {};
}

// The host when none can serve: it says why in one line on stderr, and no window can be made on it, so
// the program's start fails through its own error road instead of running on where nobody sees it.
std::unique_ptr<Host> NoHost(const std::string& why) {
  std::fprintf(stderr, "orbel: %s\n", why.c_str());
  std::fflush(stderr);
  return CreateNoDisplayHost();
}

std::string KnownHosts() {
  std::string names;
  for (const HostEntry& entry : HostList()) names += (names.empty() ? "" : ", ") + std::string(entry.name);
  return names;
}

// ORBEL_HOST names the host; without it, a real window on the display the environment names. The
// headless host serves only when asked for: a program that finds no display says so and makes no window.
std::unique_ptr<Host> ChooseHost() {
  const char* wanted = std::getenv("ORBEL_HOST");
  const bool named = wanted != nullptr && *wanted != '\0';
  std::string why;
  if (named && strcasecmp(wanted, "sdl") != 0) {
    if (std::unique_ptr<Host> host = CreateHostByName(wanted, &why)) return host;
    return NoHost(std::string("ORBEL_HOST=") + wanted + ": " + why + " (known hosts: " + KnownHosts() +
                  "); no window can be made");
  }
  const std::string display = DisplayName();
  if (!named && display.empty()) {
    why = "neither DISPLAY nor WAYLAND_DISPLAY is set";
  } else if (std::unique_ptr<Host> host = CreateHostByName("sdl", &why)) {
    return host;
  } else if (!display.empty()) {
    why = display + ": " + why;
  }
  return NoHost("no display could be opened (" + why + "); ORBEL_HOST=headless runs the program without a window");
}

}  // namespace

// ---- Host list ----------------------------------------------------------------------------------

const std::vector<HostEntry>& HostList() {
  static const std::vector<HostEntry> list = {
      {"sdl", "a real window, keyboard and mouse through SDL2", &CreateSdlHost},
      {"headless", "an in-memory desktop; input from tests or a script", &CreateHeadlessHost},
  };
  return list;
}

std::unique_ptr<Host> CreateHostByName(const char* name, std::string* whyNot) {
  std::string why = "not a known host";
  std::unique_ptr<Host> host;
  for (const HostEntry& entry : HostList()) {
    if (name != nullptr && strcasecmp(entry.name, name) == 0) host = entry.create(&why);
  }
  if (!host && whyNot != nullptr) *whyNot = why;
  return host;
}

Host& Current() {
  HostRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (!r.current) r.current = ChooseHost();
  return *r.current;
}

void Install(std::unique_ptr<Host> host) {
  HostRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.current = std::move(host);
}

// ---- Listeners ----------------------------------------------------------------------------------

void AddEventListener(EventListener listener) {
  HostRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  if (std::find(r.listeners.begin(), r.listeners.end(), listener) == r.listeners.end())
    r.listeners.push_back(listener);
}

void RemoveEventListener(EventListener listener) {
  HostRegistry& r = Registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.listeners.erase(std::remove(r.listeners.begin(), r.listeners.end(), listener), r.listeners.end());
}

void DeliverEvent(const Event& event) {
  std::vector<EventListener> listeners;
  {
    HostRegistry& r = Registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    listeners = r.listeners;
  }
  for (EventListener listener : listeners) listener(event);
}

// ---- The end of the display ---------------------------------------------------------------------

namespace {
std::atomic<DisplayLostNotice> gDisplayLostNotice{nullptr};
std::atomic<bool> gDisplayLost{false};
}  // namespace

void SetDisplayLostNotice(DisplayLostNotice notice) { gDisplayLostNotice.store(notice); }

void EndForLostDisplay(const char* display) {
  // Another connection found broken on the way out (by an exit handler) ends it at once.
  if (gDisplayLost.exchange(true)) _exit(kDisplayLostStatus);
  std::fprintf(stderr, "orbel: the connection to the display %s was lost; the program ends\n",
               display != nullptr ? display : "");
  std::fflush(stderr);
  if (DisplayLostNotice notice = gDisplayLostNotice.load()) notice();
  std::exit(kDisplayLostStatus);
}

// ---- Defaults -----------------------------------------------------------------------------------

int DefaultMessageBoxAnswer(UINT type) {
  bool yes = true;
  if (const char* answer = std::getenv("ORBEL_MESSAGEBOX_ANSWER"); answer != nullptr && *answer != '\0') {
    if (strcasecmp(answer, "no") == 0) {
      yes = false;
    } else if (strcasecmp(answer, "yes") != 0) {
      std::fprintf(stderr, "ORBEL_MESSAGEBOX_ANSWER: %s is neither yes nor no\n", answer);
      std::abort();
    }
  }
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: return yes ? IDOK : IDCANCEL;
    case MB_ABORTRETRYIGNORE: return yes ? IDABORT : IDRETRY;
    case MB_YESNOCANCEL:
    case MB_YESNO: return yes ? IDYES : IDNO;
    case MB_RETRYCANCEL: return yes ? IDRETRY : IDCANCEL;
    default: return IDOK;
  }
}

bool Host::SetDesktopMode(const DesktopMode& mode) {
  const bool depthOk = mode.bitsPerPixel == 8 || mode.bitsPerPixel == 16 || mode.bitsPerPixel == 24 ||
                       mode.bitsPerPixel == 32;
  if (!depthOk || mode.width <= 0 || mode.height <= 0 || mode.width > 16384 || mode.height > 16384)
    return false;
  mode_ = mode;
  return true;
}

namespace {

// Resizes a picture, keeping what fits at the top left and filling the rest with black.
void ResizeFrame(Frame& frame, int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (frame.width == width && frame.height == height) return;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height), 0u);
  const int keepW = std::min(width, frame.width);
  const int keepH = std::min(height, frame.height);
  for (int y = 0; y < keepH; ++y) {
    std::memcpy(&pixels[static_cast<size_t>(y) * width], &frame.pixels[static_cast<size_t>(y) * frame.width],
                static_cast<size_t>(keepW) * sizeof(uint32_t));
  }
  frame.width = width;
  frame.height = height;
  frame.pixels.swap(pixels);
}

}  // namespace

bool Host::CreateHostWindow(HWND window, const WindowSpec& spec) {
  Frame& frame = frames_[window];
  ResizeFrame(frame, spec.client.right - spec.client.left, spec.client.bottom - spec.client.top);
  return true;
}

void Host::DestroyHostWindow(HWND window) {
  links_.erase(window);
  frames_.erase(window);
}

void Host::MoveHostWindow(HWND window, const RECT& client) {
  auto it = frames_.find(window);
  if (it == frames_.end()) return;
  SettleFrame(window);
  ResizeFrame(it->second, client.right - client.left, client.bottom - client.top);
}

namespace {

// Copies a view to (x, y) of a picture, clipped to it.
void CopyViewIntoFrame(Frame& frame, int x, int y, const FrameView& view) {
  if (view.pixels == nullptr || view.width <= 0 || view.height <= 0) return;
  int srcX = 0, srcY = 0, w = view.width, h = view.height;
  if (x < 0) { srcX = -x; w += x; x = 0; }
  if (y < 0) { srcY = -y; h += y; y = 0; }
  w = std::min(w, frame.width - x);
  h = std::min(h, frame.height - y);
  if (w <= 0 || h <= 0) return;
  const size_t srcBytes = view.bitsPerPixel == 16 ? 2u : 4u;
  for (int row = 0; row < h; ++row) {
    const uint8_t* src = view.pixels + static_cast<size_t>(srcY + row) * static_cast<size_t>(view.pitch) +
                         static_cast<size_t>(srcX) * srcBytes;
    uint32_t* dst = &frame.pixels[static_cast<size_t>(y + row) * frame.width + x];
    if (view.bitsPerPixel == 16) {
      WidenRow16To32(src, dst, w, view.redMask, view.greenMask, view.blueMask);
    } else {
      CopyPixelRow(reinterpret_cast<uint8_t*>(dst), src, static_cast<size_t>(w) * 4u);
    }
  }
}

// Whether a view placed at (x, y) covers every pixel of another placed at (ox, oy).
bool Covers(int x, int y, const FrameView& view, int ox, int oy, const FrameView& other) {
  return x <= ox && y <= oy && x + view.width >= ox + other.width && y + view.height >= oy + other.height;
}

}  // namespace

void Host::SettleFrame(HWND window) const {
  auto link = links_.find(window);
  if (link == links_.end()) return;
  const FrameLink settled = link->second;
  links_.erase(link);
  auto it = frames_.find(window);
  if (it != frames_.end()) CopyViewIntoFrame(it->second, settled.x, settled.y, settled.view);
}

const FrameView* Host::WholeFrameLink(HWND window) const {
  auto link = links_.find(window);
  auto it = frames_.find(window);
  if (link == links_.end() || it == frames_.end()) return nullptr;
  const FrameLink& l = link->second;
  const bool whole = l.x == 0 && l.y == 0 && l.view.width == it->second.width && l.view.height == it->second.height;
  return whole && l.view.bitsPerPixel == 32 ? &l.view : nullptr;
}

void Host::PresentFrame(HWND window, int x, int y, const FrameView& view) {
  auto it = frames_.find(window);
  if (it == frames_.end() || view.pixels == nullptr || view.width <= 0 || view.height <= 0) return;
  auto link = links_.find(window);
  if (link != links_.end()) {
    // A present over the whole link makes it moot; otherwise what it shows comes in first.
    if (Covers(x, y, view, link->second.x, link->second.y, link->second.view)) links_.erase(link);
    else SettleFrame(window);
  }
  CopyViewIntoFrame(it->second, x, y, view);
}

void Host::LinkFrame(HWND window, int x, int y, const FrameView& view, const void* owner) {
  if (frames_.find(window) == frames_.end() || view.pixels == nullptr || view.width <= 0 || view.height <= 0)
    return;
  auto link = links_.find(window);
  if (link != links_.end()) {
    const FrameLink& old = link->second;
    const bool sameSource = old.owner == owner && old.view.pitch == view.pitch &&
                            old.view.bitsPerPixel == view.bitsPerPixel &&
                            reinterpret_cast<uintptr_t>(old.view.pixels) +
                                    static_cast<uintptr_t>(static_cast<intptr_t>(y - old.y) * view.pitch +
                                                           static_cast<intptr_t>(x - old.x) * (view.bitsPerPixel / 8)) ==
                                reinterpret_cast<uintptr_t>(view.pixels);
    // The same pixels already linked over a larger area: they show this present too.
    if (sameSource && Covers(old.x, old.y, old.view, x, y, view)) return;
    if (!Covers(x, y, view, old.x, old.y, old.view)) SettleFrame(window);
  }
  links_[window] = FrameLink{view, x, y, owner};
}

void Host::ReleaseFrameSource(const void* owner) {
  std::vector<HWND> linked;
  for (const auto& [window, link] : links_) {
    if (link.owner == owner) linked.push_back(window);
  }
  for (HWND window : linked) SettleFrame(window);
}

void Host::FillFrame(HWND window, const RECT& rect, uint32_t colour) {
  auto it = frames_.find(window);
  if (it == frames_.end()) return;
  SettleFrame(window);
  Frame& frame = it->second;
  const int left = std::max<int>(rect.left, 0), top = std::max<int>(rect.top, 0);
  const int right = std::min<int>(rect.right, frame.width), bottom = std::min<int>(rect.bottom, frame.height);
  for (int y = top; y < bottom; ++y) {
    uint32_t* row = &frame.pixels[static_cast<size_t>(y) * frame.width];
    std::fill(row + left, row + std::max(left, right), colour);
  }
}

const Frame* Host::CaptureFrame(HWND window) const {
  auto it = frames_.find(window);
  if (it == frames_.end()) return nullptr;
  SettleFrame(window);
  return &it->second;
}

int Host::ShowMessageBox(HWND, const char*, const char*, UINT type) { return DefaultMessageBoxAnswer(type); }

}  // namespace plat::host
