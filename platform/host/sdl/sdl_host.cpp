// The SDL host: one real SDL window per top-level window, showing its client area (black until frames
// are presented), SDL events turned into host events, message boxes through SDL_ShowMessageBox, the
// pointer and the screen saver. The only code that includes SDL.
// SDL wants its events pumped on the thread that started it: calls from other threads pump nothing.
// A display-mode switch is simulated: the desktop reports the new mode, and a window whose client area
// covers that whole desktop is shown full screen (a borderless window over the real display), its
// picture scaled to fit with the aspect kept; the real display's mode never changes.
// Pads and their rumble: sdl_pads.cpp. Input-method editing arrives as composition events.
// Every call into SDL's video is made inside the display gate (sdl_display_gate.h), but for the message
// boxes, which wait for the user; events are delivered outside it, since a listener may run the program's
// window procedure: an exit on another thread must wait for neither.
// LIMITATIONS: only the first display is used.
#include <SDL.h>
#include <pthread.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/host/host.h"
#include "platform/host/sdl/sdl_audio.h"
#include "platform/host/sdl/sdl_display_gate.h"
#include "platform/host/sdl/sdl_display_loss.h"
#include "platform/host/sdl/sdl_keys.h"
#include "platform/host/sdl/sdl_message_box.h"
#include "platform/host/sdl/sdl_pads.h"
#include "platform/host/text_encoding.h"
#include "platform/win/user/message_box.h"

namespace plat::host {
namespace {

// Recent geometry requests per window: SDL reports our own moves back, and those echoes must not look
// like the user's doing.
constexpr size_t kRecentRequests = 4;

struct SdlWindow {
  SDL_Window* window = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;  // ARGB8888: 0xXXRRGGBB, the frame's own layout
  int textureWidth = 0;
  int textureHeight = 0;
  std::array<SDL_Point, kRecentRequests> recentPositions{};
  std::array<SDL_Point, kRecentRequests> recentSizes{};
  size_t nextRecent = 0;
  bool known = false;       // at least one request recorded
  RECT client{};            // the client area the stand-in asked for (desktop coordinates)
  bool fullScreen = false;  // shown borderless over the display for a switched display mode
};

class SdlHost final : public Host {
 public:
  SdlHost() : thread_(pthread_self()) {}
  // Runs when another host is installed (tests), never at exit: the current host lives as long as the
  // process, so the exit handlers make no call to SDL or the display.
  ~SdlHost() override {
    CloseSdlAudio();
    DisplayGateLock gate(DisplayGate());
    for (auto& [hwnd, w] : windows_) Release(w);
    pads_.Stop();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }

  bool OpenAudio(const AudioOutput& output) override { return OpenSdlAudio(output); }
  void CloseAudio() override { CloseSdlAudio(); }
  std::string AudioDeviceName() const override { return SdlAudioDeviceName(); }

  // Starts SDL video; false, with SDL's reason in `whyNot`, when no display can be opened.
  bool Start(std::string* whyNot) {
    DisplayGateLock gate(DisplayGate());
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    // Ctrl+C and SIGTERM reach the program through the window stand-in as the close of its main window;
    // SDL would turn them into a quit event that no window of the library waits for.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    // A window's picture reaches an X display through Xlib alone (SDL's software renderer on the window's
    // own framebuffer): the GL driver reads the replies of a connection that broke on a road of its own
    // and crashes there before Xlib can report the loss.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Before SDL opens its display, so that a connection that breaks during the start ends as any loss.
    WatchForDisplayLoss();
    const auto fail = [&](const std::string& why) {
      *whyNot = why;
      SDL_QuitSubSystem(SDL_INIT_VIDEO);
      return false;
    };
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return fail(std::string("SDL: ") + SDL_GetError());
    // SDL falls back on drivers without a screen; those are no display for a real window.
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver == nullptr || SDL_strcasecmp(driver, "offscreen") == 0 || SDL_strcasecmp(driver, "dummy") == 0) {
      return fail("SDL found no display that answers");
    }
    softwareOnly_ = SDL_strcasecmp(driver, "x11") == 0;
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) return fail(std::string("SDL: ") + SDL_GetError());
    // X11 reports 24 bits for its 4-byte pixels; a desktop with 4-byte pixels is a 32-bit one.
    const int bytes = SDL_BYTESPERPIXEL(mode.format);
    mode_ = DesktopMode{mode.w, mode.h, bytes >= 4 ? 32 : bytes == 3 ? 24 : bytes == 2 ? 16 : 8};
    realMode_ = mode_;
    pads_.Start();  // a machine without pad support still gets its window
    return true;
  }

  bool SetDesktopMode(const DesktopMode& mode) override {
    DisplayGateLock gate(DisplayGate());
    if (!Host::SetDesktopMode(mode)) return false;
    for (auto& [hwnd, w] : windows_) {
      Place(w);
      Show(hwnd);
    }
    return true;
  }

  const char* Name() const override { return "sdl"; }
  DesktopMode Desktop() const override { return mode_; }

  bool CreateHostWindow(HWND hwnd, const WindowSpec& spec) override {
    DisplayGateLock gate(DisplayGate());
    Host::CreateHostWindow(hwnd, spec);
    SdlWindow w;
    const int width = std::max<int>(spec.client.right - spec.client.left, 1);
    const int height = std::max<int>(spec.client.bottom - spec.client.top, 1);
    Uint32 flags = SDL_WINDOW_HIDDEN;
    if (spec.resizable) flags |= SDL_WINDOW_RESIZABLE;
    if (spec.topmost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
    const std::string title = ShiftJisToUtf8(spec.title);
    w.window = SDL_CreateWindow(title.c_str(), spec.client.left, spec.client.top, width, height, flags);
    if (w.window == nullptr) {
      Host::DestroyHostWindow(hwnd);
      return false;
    }
    if (!softwareOnly_) w.renderer = SDL_CreateRenderer(w.window, -1, 0);
    if (w.renderer == nullptr) w.renderer = SDL_CreateRenderer(w.window, -1, SDL_RENDERER_SOFTWARE);
    if (w.renderer == nullptr) {  // a window that could show nothing is no window
      std::fprintf(stderr, "orbel: SDL cannot draw in a window: %s\n", SDL_GetError());
      Release(w);
      Host::DestroyHostWindow(hwnd);
      return false;
    }
    // Set before the sound device opens (the library opens it once it has a window): its exit handler
    // runs first, so that its thread has stopped before the gate stops a drawing thread.
    CloseDisplayGateAtExit();
    Remember(w, SDL_Point{spec.client.left, spec.client.top}, SDL_Point{width, height});
    w.client = spec.client;
    byId_[SDL_GetWindowID(w.window)] = hwnd;
    SdlWindow& stored = windows_[hwnd] = w;
    Place(stored);
    Show(hwnd);
    return true;
  }

  void DestroyHostWindow(HWND hwnd) override {
    DisplayGateLock gate(DisplayGate());
    Host::DestroyHostWindow(hwnd);
    auto it = windows_.find(hwnd);
    if (it == windows_.end()) return;
    byId_.erase(SDL_GetWindowID(it->second.window));
    Release(it->second);
    windows_.erase(it);
  }

  void ShowHostWindow(HWND hwnd, ShowState state) override {
    DisplayGateLock gate(DisplayGate());
    SdlWindow* w = Find(hwnd);
    if (w == nullptr) return;
    switch (state) {
      case ShowState::Hidden: SDL_HideWindow(w->window); break;
      case ShowState::Normal:
        SDL_ShowWindow(w->window);
        if (SDL_GetWindowFlags(w->window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_MAXIMIZED))
          SDL_RestoreWindow(w->window);
        break;
      case ShowState::Minimized: SDL_MinimizeWindow(w->window); break;
      case ShowState::Maximized:
        SDL_ShowWindow(w->window);
        SDL_MaximizeWindow(w->window);
        break;
    }
    Show(hwnd);
  }

  void MoveHostWindow(HWND hwnd, const RECT& client) override {
    DisplayGateLock gate(DisplayGate());
    Host::MoveHostWindow(hwnd, client);
    SdlWindow* w = Find(hwnd);
    if (w == nullptr) return;
    w->client = client;
    Place(*w);
    Show(hwnd);
  }

  void SetHostWindowTitle(HWND hwnd, const char* title) override {
    DisplayGateLock gate(DisplayGate());
    if (SdlWindow* w = Find(hwnd)) SDL_SetWindowTitle(w->window, ShiftJisToUtf8(title).c_str());
  }

  void RaiseHostWindow(HWND hwnd) override {
    DisplayGateLock gate(DisplayGate());
    if (SdlWindow* w = Find(hwnd); w != nullptr && (SDL_GetWindowFlags(w->window) & SDL_WINDOW_SHOWN))
      SDL_RaiseWindow(w->window);
  }

  void SetHostWindowTopmost(HWND hwnd, bool topmost) override {
    DisplayGateLock gate(DisplayGate());
    if (SdlWindow* w = Find(hwnd)) SDL_SetWindowAlwaysOnTop(w->window, topmost ? SDL_TRUE : SDL_FALSE);
  }

  void PresentFrame(HWND hwnd, int x, int y, const FrameView& view) override {
    DisplayGateLock gate(DisplayGate());
    Host::PresentFrame(hwnd, x, y, view);
    Show(hwnd);
  }

  void LinkFrame(HWND hwnd, int x, int y, const FrameView& view, const void* owner) override {
    DisplayGateLock gate(DisplayGate());
    Host::LinkFrame(hwnd, x, y, view, owner);
    Show(hwnd);
  }

  void FillFrame(HWND hwnd, const RECT& rect, uint32_t colour) override {
    DisplayGateLock gate(DisplayGate());
    Host::FillFrame(hwnd, rect, colour);
    Show(hwnd);
  }

  void PumpEvents() override {
    if (!pthread_equal(pthread_self(), thread_)) return;
    for (;;) {
      std::vector<Event> events;
      {
        DisplayGateLock gate(DisplayGate());
        SDL_Event e;
        if (!SDL_PollEvent(&e)) return;
        Translate(e);
        events.swap(translated_);
      }
      for (const Event& event : events) DeliverEvent(event);
    }
  }

  int ShowMessageBox(HWND hwnd, const char* text, const char* caption, UINT type) override {
    // A scripted run on a real display answers as the headless host does, without showing the box.
    if (const char* answer = std::getenv("ORBEL_MESSAGEBOX_ANSWER"); answer != nullptr && *answer != '\0') {
      return DefaultMessageBoxAnswer(type);
    }
    const MessageBoxChoices choices = ChoicesForType(type);
    const std::string utf8Text = ShiftJisToUtf8(text);
    const std::string utf8Caption = ShiftJisToUtf8(caption);
    SdlWindow* owner = Find(hwnd);
    // The box is drawn with the host's fonts; SDL's own box is the fall-back (on X11 it sets its text with
    // the server's fonts, which often have no Japanese).
    int answer = 0;
    if (ShowDrawnMessageBox(owner != nullptr ? owner->window : nullptr, utf8Caption, utf8Text, choices, &answer)) {
      return answer;
    }
    const int count = static_cast<int>(choices.buttons.size());
    SDL_MessageBoxButtonData data[3];
    for (int i = 0; i < count; ++i) {
      const MessageBoxButton& b = choices.buttons[static_cast<size_t>(i)];
      Uint32 flags = 0;
      if (i == choices.defaultIndex) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
      if (b.id == choices.escapeId && count > 1) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
      data[i] = SDL_MessageBoxButtonData{flags, b.id, b.label.c_str()};
    }
    SDL_MessageBoxData box{};
    box.flags = choices.icon == MessageBoxIcon::Error     ? SDL_MESSAGEBOX_ERROR
                : choices.icon == MessageBoxIcon::Warning ? SDL_MESSAGEBOX_WARNING
                                                          : SDL_MESSAGEBOX_INFORMATION;
    box.window = owner != nullptr ? owner->window : nullptr;
    box.title = utf8Caption.c_str();
    box.message = utf8Text.c_str();
    box.numbuttons = count;
    box.buttons = data;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) return DefaultMessageBoxAnswer(type);
    return pressed < 0 ? choices.escapeId : pressed;
  }

  void RumblePad(int pad, uint16_t low, uint16_t high) override {
    DisplayGateLock gate(DisplayGate());
    pads_.Rumble(pad, low, high);
  }

  void SetCursorVisible(bool visible) override {
    DisplayGateLock gate(DisplayGate());
    SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
  }
  void WarpCursor(int x, int y) override {
    DisplayGateLock gate(DisplayGate());
    SDL_WarpMouseGlobal(x, y);
  }
  void SetScreenSaverEnabled(bool enabled) override {
    DisplayGateLock gate(DisplayGate());
    if (enabled) SDL_EnableScreenSaver();
    else SDL_DisableScreenSaver();
  }

 private:
  static void Release(SdlWindow& w) {
    if (w.texture != nullptr) SDL_DestroyTexture(w.texture);
    if (w.renderer != nullptr) SDL_DestroyRenderer(w.renderer);
    if (w.window != nullptr) SDL_DestroyWindow(w.window);
    w = SdlWindow{};
  }

  SdlWindow* Find(HWND hwnd) {
    auto it = windows_.find(hwnd);
    return it == windows_.end() ? nullptr : &it->second;
  }

  HWND FromId(Uint32 id) const {
    auto it = byId_.find(id);
    return it == byId_.end() ? nullptr : it->second;
  }

  // Puts the SDL window where the stand-in's window is: over the whole real display when it covers a
  // switched desktop, else at its client rectangle.
  // Full screen is a borderless window the size of the display, the picture scaled to fit with its
  // aspect kept and centred (bars around it); the monitor's own mode is never changed, so leaving
  // full screen only puts the border and the window's own rectangle back.
  void Place(SdlWindow& w) {
    const bool switched = mode_.width != realMode_.width || mode_.height != realMode_.height ||
                          mode_.bitsPerPixel != realMode_.bitsPerPixel;
    const bool cover = switched && w.client.left == 0 && w.client.top == 0 && w.client.right == mode_.width &&
                       w.client.bottom == mode_.height;
    if (cover) {
      int display = SDL_GetWindowDisplayIndex(w.window);
      SDL_Rect bounds;
      if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0) bounds = SDL_Rect{0, 0, realMode_.width, realMode_.height};
      if (!w.fullScreen) SDL_SetWindowBordered(w.window, SDL_FALSE);
      w.fullScreen = true;
      Remember(w, SDL_Point{bounds.x, bounds.y}, SDL_Point{bounds.w, bounds.h});
      SDL_SetWindowPosition(w.window, bounds.x, bounds.y);
      SDL_SetWindowSize(w.window, bounds.w, bounds.h);
      if (w.renderer != nullptr) SDL_RenderSetLogicalSize(w.renderer, mode_.width, mode_.height);
      return;
    }
    if (w.fullScreen) {
      SDL_SetWindowBordered(w.window, SDL_TRUE);
      if (w.renderer != nullptr) SDL_RenderSetLogicalSize(w.renderer, 0, 0);
      w.fullScreen = false;
    }
    const int width = std::max<int>(w.client.right - w.client.left, 1);
    const int height = std::max<int>(w.client.bottom - w.client.top, 1);
    Remember(w, SDL_Point{w.client.left, w.client.top}, SDL_Point{width, height});
    SDL_SetWindowPosition(w.window, w.client.left, w.client.top);
    SDL_SetWindowSize(w.window, width, height);
  }

  static void Remember(SdlWindow& w, SDL_Point position, SDL_Point size) {
    w.recentPositions[w.nextRecent] = position;
    w.recentSizes[w.nextRecent] = size;
    w.nextRecent = (w.nextRecent + 1) % kRecentRequests;
    if (!w.known) {
      w.recentPositions.fill(position);
      w.recentSizes.fill(size);
      w.known = true;
    }
  }

  static bool Requested(const std::array<SDL_Point, kRecentRequests>& recent, int x, int y) {
    return std::any_of(recent.begin(), recent.end(), [&](const SDL_Point& p) { return p.x == x && p.y == y; });
  }

  // Draws the window's picture and presents it. A picture linked whole to a 32-bit primary goes to the
  // texture straight from the primary's pixels.
  void Show(HWND hwnd) {
    SdlWindow* w = Find(hwnd);
    if (w == nullptr || w->renderer == nullptr) return;
    const FrameView* linked = WholeFrameLink(hwnd);
    auto found = frames_.find(hwnd);
    const Frame* frame = linked != nullptr && found != frames_.end() ? &found->second : CaptureFrame(hwnd);
    if (frame == nullptr) return;
    if (frame->width > 0 && frame->height > 0) {
      if (w->texture == nullptr || w->textureWidth != frame->width || w->textureHeight != frame->height) {
        if (w->texture != nullptr) SDL_DestroyTexture(w->texture);
        w->texture = SDL_CreateTexture(w->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                       frame->width, frame->height);
        w->textureWidth = frame->width;
        w->textureHeight = frame->height;
      }
      if (w->texture != nullptr && linked != nullptr)
        SDL_UpdateTexture(w->texture, nullptr, linked->pixels, linked->pitch);
      else if (w->texture != nullptr)
        SDL_UpdateTexture(w->texture, nullptr, frame->pixels.data(), frame->width * 4);
    }
    SDL_SetRenderDrawColor(w->renderer, 0, 0, 0, 255);
    SDL_RenderClear(w->renderer);
    if (w->texture != nullptr) SDL_RenderCopy(w->renderer, w->texture, nullptr, nullptr);
    SDL_RenderPresent(w->renderer);
  }

  void WindowEvent(const SDL_WindowEvent& we) {
    const HWND hwnd = FromId(we.windowID);
    SdlWindow* w = Find(hwnd);
    if (w == nullptr) return;
    Event e;
    e.window = hwnd;
    switch (we.event) {
      case SDL_WINDOWEVENT_CLOSE: e.type = EventType::Close; break;
      case SDL_WINDOWEVENT_FOCUS_GAINED: e.type = EventType::FocusGained; break;
      case SDL_WINDOWEVENT_FOCUS_LOST: e.type = EventType::FocusLost; break;
      case SDL_WINDOWEVENT_EXPOSED:
        Show(hwnd);
        e.type = EventType::Exposed;
        break;
      case SDL_WINDOWEVENT_MOVED:
        if (w->fullScreen || Requested(w->recentPositions, we.data1, we.data2)) return;
        e.type = EventType::Moved;
        e.x = we.data1;
        e.y = we.data2;
        break;
      case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (w->fullScreen || Requested(w->recentSizes, we.data1, we.data2)) return;
        e.type = EventType::Resized;
        e.x = we.data1;
        e.y = we.data2;
        break;
      case SDL_WINDOWEVENT_MINIMIZED: e.type = EventType::Minimized; break;
      case SDL_WINDOWEVENT_MAXIMIZED: e.type = EventType::Maximized; break;
      case SDL_WINDOWEVENT_RESTORED: e.type = EventType::Restored; break;
      default: return;
    }
    translated_.push_back(e);
  }

  void Translate(const SDL_Event& sdl) {
    if (pads_.Handle(sdl, &translated_)) return;
    Event e;
    switch (sdl.type) {
      case SDL_WINDOWEVENT: WindowEvent(sdl.window); return;
      case SDL_KEYDOWN:
      case SDL_KEYUP: {
        const KeyCodes codes = KeyFromScancode(sdl.key.keysym.scancode);
        if (codes.virtualKey == 0) return;
        e.type = sdl.type == SDL_KEYDOWN ? EventType::KeyDown : EventType::KeyUp;
        e.window = FromId(sdl.key.windowID);
        e.key = codes.virtualKey;
        e.scanCode = codes.scanCode;
        e.extended = codes.extended;
        e.repeat = sdl.key.repeat != 0;
        break;
      }
      case SDL_TEXTINPUT: {
        // ASCII comes from the keys through TranslateMessage; only other text (IME) is sent here.
        const char* text = sdl.text.text;
        if (std::all_of(text, text + SDL_strlen(text), [](char c) { return (c & 0x80) == 0; })) return;
        e.type = EventType::Text;
        e.window = FromId(sdl.text.windowID);
        e.text = Utf8ToShiftJis(text);
        break;
      }
      case SDL_TEXTEDITING: {
        // The input method's text being composed; the cursor arrives in characters.
        e.type = EventType::Composition;
        e.window = FromId(sdl.edit.windowID);
        const std::string utf8 = sdl.edit.text;
        size_t prefix = 0;
        for (int chars = 0; prefix < utf8.size() && chars < sdl.edit.start; ++chars) {
          ++prefix;
          while (prefix < utf8.size() && (static_cast<unsigned char>(utf8[prefix]) & 0xC0) == 0x80) ++prefix;
        }
        e.text = Utf8ToShiftJis(utf8);
        e.cursor = static_cast<int>(Utf8ToShiftJis(utf8.substr(0, prefix)).size());
        break;
      }
      case SDL_MOUSEMOTION:
        e.type = EventType::MouseMove;
        e.window = FromId(sdl.motion.windowID);
        e.x = sdl.motion.x;
        e.y = sdl.motion.y;
        break;
      case SDL_MOUSEBUTTONDOWN:
      case SDL_MOUSEBUTTONUP:
        if (sdl.button.button == SDL_BUTTON_LEFT) e.button = 0;
        else if (sdl.button.button == SDL_BUTTON_RIGHT) e.button = 1;
        else if (sdl.button.button == SDL_BUTTON_MIDDLE) e.button = 2;
        else return;
        e.type = sdl.type == SDL_MOUSEBUTTONDOWN ? EventType::MouseButtonDown : EventType::MouseButtonUp;
        e.window = FromId(sdl.button.windowID);
        e.x = sdl.button.x;
        e.y = sdl.button.y;
        break;
      case SDL_MOUSEWHEEL: {
        e.type = EventType::MouseWheel;
        e.window = FromId(sdl.wheel.windowID);
        e.wheel = sdl.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -sdl.wheel.y : sdl.wheel.y;
        SDL_GetMouseState(&e.x, &e.y);
        break;
      }
      case SDL_DROPBEGIN:
        dropNames_.clear();
        return;
      case SDL_DROPFILE:
        if (sdl.drop.file != nullptr) {
          dropNames_.emplace_back(sdl.drop.file);
          SDL_free(sdl.drop.file);
        }
        return;
      case SDL_DROPCOMPLETE:
        if (dropNames_.empty()) return;
        e.type = EventType::DropFiles;
        e.window = FromId(sdl.drop.windowID);
        SDL_GetMouseState(&e.x, &e.y);
        e.names.swap(dropNames_);
        break;
      default:
        return;
    }
    translated_.push_back(e);
  }

  pthread_t thread_;
  bool softwareOnly_ = false;  // pictures go to the display through SDL's software renderer alone
  DesktopMode realMode_{0, 0, 0};  // the display as SDL found it
  std::unordered_map<HWND, SdlWindow> windows_;
  std::unordered_map<Uint32, HWND> byId_;
  std::vector<std::string> dropNames_;
  std::vector<Event> translated_;  // host events of the SDL event being translated, delivered after it
  SdlPads pads_;
};

}  // namespace

std::unique_ptr<Host> CreateSdlHost(std::string* whyNot) {
  auto host = std::make_unique<SdlHost>();
  if (!host->Start(whyNot)) return nullptr;
  return host;
}

}  // namespace plat::host

#if defined(__SANITIZE_ADDRESS__)
// Leak checking in the AddressSanitizer build: the system's message-bus library, which SDL loads, keeps a
// buffer to the end of the process. It would be reported at every end and is none of ours, so it is left
// out, silently.
extern "C" const char* __lsan_default_suppressions() { return "leak:libdbus-1.so\n"; }
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif
