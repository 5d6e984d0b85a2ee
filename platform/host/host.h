// What the stand-ins stand on: the host, which owns the real (or simulated) desktop, windows, input and
// frames. `Host` is the contract between the stand-ins and the hosts; every optional operation has a
// harmless default here, so a host overrides only what it supports and no stand-in tests for an ability.
// Hosts are chosen by name from a list of {name, create} entries through ORBEL_HOST (headless | sdl);
// without it, sdl on the display the environment names. The headless host serves only when asked for:
// when no display can be opened, or the name is unknown, one line on stderr says why and the host that
// stands in makes no window, so that the program's start fails through its own error road.
// No stand-in includes a file under host/headless or host/sdl; only host/sdl includes SDL.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/win/kernel/win_types.h"

namespace plat::host {

// ---- Desktop, frames and events ----------------------------------------------------------------
struct DesktopMode {
  int width;         // pixels
  int height;        // pixels
  int bitsPerPixel;  // 16, 24 or 32
};

// A client-area picture: 32-bit pixels, bytes B, G, R, X in memory (0xXXRRGGBB little-endian).
struct Frame {
  int width = 0;   // pixels
  int height = 0;  // pixels
  std::vector<uint32_t> pixels;  // width * height, rows top-down, no padding
};

// A read-only view of caller-owned pixels. `pitch` is in bytes. 32-bit views hold bytes B, G, R, X;
// 16-bit views hold RGB pixels with the given channel masks (each at most eight bits wide), widened
// as the GDI stand-in widens them.
struct FrameView {
  const uint8_t* pixels;
  int width;
  int height;
  int pitch;
  int bitsPerPixel = 32;  // 32 or 16
  uint32_t redMask = 0;   // 16-bit views only
  uint32_t greenMask = 0;
  uint32_t blueMask = 0;
};

// What a top-level window looks like to the host. Geometry is in desktop coordinates.
struct WindowSpec {
  std::string title;  // Shift-JIS
  RECT client;        // client area on the desktop
  bool visible;
  bool topmost;
  bool resizable;
};

enum class ShowState { Hidden, Normal, Minimized, Maximized };

enum class EventType : uint8_t {
  Close,            // the user asks to close the window
  FocusGained,      // the window got the keyboard focus
  FocusLost,
  KeyDown,          // key, scanCode, extended, repeat
  KeyUp,
  Text,             // text (Shift-JIS) that no key message produces (IME)
  MouseMove,        // x, y: client coordinates
  MouseButtonDown,  // button (0 left, 1 right, 2 middle), x, y
  MouseButtonUp,
  MouseWheel,       // wheel: signed steps (1 = one notch away from the user), x, y
  DropFiles,        // names (bytes as the file system has them), x, y
  Exposed,          // the client area must be repainted
  Moved,            // x, y: the client area's new desktop position
  Resized,          // x, y: the client area's new size
  Minimized,
  Maximized,
  Restored,
  Composition,      // text (Shift-JIS) being composed by an input method, cursor (bytes); empty ends it
  PadAdded,         // pad (host id), text: name (Shift-JIS), names[0]: identity, padCaps
  PadRemoved,       // pad
  PadButtonDown,    // pad, button (0..31)
  PadButtonUp,
  PadAxis,          // pad, axis (0 X, 1 Y, 2 Z, 3 Rx, 4 Ry, 5 Rz), value (-32768..32767)
  PadHat,           // pad, value: hundredths of a degree clockwise from up, -1 centred
};

// Capabilities of a pad (Event::padCaps).
constexpr UINT kPadHasZ = 0x1;
constexpr UINT kPadHasR = 0x2;
constexpr UINT kPadRumble = 0x4;

struct Event {
  EventType type = EventType::Close;
  HWND window = nullptr;  // null: the window that has the focus (else the front window)
  UINT key = 0;           // virtual-key code
  UINT scanCode = 0;
  bool extended = false;
  bool repeat = false;
  int x = 0;
  int y = 0;
  int button = 0;
  int wheel = 0;
  int pad = 0;       // the host's id of a pad
  int axis = 0;
  int value = 0;
  int cursor = 0;    // composition cursor, bytes
  UINT padCaps = 0;
  std::string text;
  std::vector<std::string> names;
};

// Receives the events a host delivers. The window stand-in listens; other stand-ins (input devices)
// may listen too. Listeners run on the thread that pumps, in the order they were added.
using EventListener = void (*)(const Event& event);
void AddEventListener(EventListener listener);
void RemoveEventListener(EventListener listener);
// Hands one event to every listener; hosts call it from PumpEvents.
void DeliverEvent(const Event& event);

// Message-box answer of a host without a real box: ORBEL_MESSAGEBOX_ANSWER = yes | no (default yes)
// mapped onto the box's buttons (yes: the first button, no: the second, or the only one).
int DefaultMessageBoxAnswer(UINT type);

// ---- Audio --------------------------------------------------------------------------------------
// The audio a host plays is pulled from one source: `render` fills `frames` frames of interleaved
// signed 16-bit samples at `rate` Hz with `channels` channels. It runs on the host's audio thread and
// must not wait for the library's threads.
struct AudioOutput {
  int rate;
  int channels;
  void (*render)(int16_t* samples, int frames, void* context);
  void* context;
};

// ---- The end of the display ---------------------------------------------------------------------
// When the connection to its display is lost for good, a host ends the process from the thread that found
// it (EndForLostDisplay): one line on stderr that names the display, the notice set here (once), then
// exit(kDisplayLostStatus), so that the exit handlers run (the process's folder goes, its locks with it).
// Nothing of a host is torn down at exit, so no call reaches the lost display again. The notice is the
// program's last word for its log: it must not use windows or the display.
constexpr int kDisplayLostStatus = 1;
using DisplayLostNotice = void (*)();
void SetDisplayLostNotice(DisplayLostNotice notice);
[[noreturn]] void EndForLostDisplay(const char* display);

// ---- The host contract --------------------------------------------------------------------------
class Host {
 public:
  virtual ~Host() = default;
  virtual const char* Name() const = 0;

  // Desktop.
  virtual DesktopMode Desktop() const = 0;
  // Switches the desktop to a mode; false when the host cannot. The default accepts any sane mode and
  // only remembers it (a simulated display).
  virtual bool SetDesktopMode(const DesktopMode& mode);

  // Top-level windows, keyed by the stand-in's handle. Defaults keep only the client frame.
  virtual bool CreateHostWindow(HWND window, const WindowSpec& spec);
  virtual void DestroyHostWindow(HWND window);
  virtual void ShowHostWindow(HWND /*window*/, ShowState /*state*/) {}
  // `client` is the client area on the desktop; the frame is resized to it (content kept top-left).
  virtual void MoveHostWindow(HWND window, const RECT& client);
  virtual void SetHostWindowTitle(HWND /*window*/, const char* /*titleShiftJis*/) {}
  virtual void RaiseHostWindow(HWND /*window*/) {}
  virtual void SetHostWindowTopmost(HWND /*window*/, bool /*topmost*/) {}

  // Delivers pending input and window events through DeliverEvent. Called before every queue peek;
  // a host whose events belong to one thread ignores calls from the others.
  virtual void PumpEvents() {}

  // Frames: the host keeps one client-area picture per window (black when created). Present copies
  // `view` to (x, y) of it, clipped; Fill paints a rectangle (client coordinates) with one 0xXXRRGGBB
  // colour. Hosts that show windows override Present/Fill to show the result (calling these first).
  virtual void PresentFrame(HWND window, int x, int y, const FrameView& view);
  virtual void FillFrame(HWND window, const RECT& rect, uint32_t colour);
  // Presents `view` by reference: the picture at (x, y) shows those pixels from now on, read when the
  // picture is next needed (captured, shown, or changed by another call), so a present costs no copy
  // of its own. The pixels must stay readable, and hold what the window shows, until `owner` calls
  // ReleaseFrameSource. A later link from the same owner that covers this one replaces it; one inside
  // it changes nothing; otherwise the earlier link is copied in first. Hosts that show windows
  // override it to show the result (calling this first).
  virtual void LinkFrame(HWND window, int x, int y, const FrameView& view, const void* owner);
  // Copies in every link of `owner` and forgets them: its pixels are about to change unseen or go.
  void ReleaseFrameSource(const void* owner);
  // The window's current picture, or null when the window has none.
  const Frame* CaptureFrame(HWND window) const;

  // A modal box; returns the IDOK.. IDNO answer. The default asks DefaultMessageBoxAnswer.
  virtual int ShowMessageBox(HWND window, const char* textShiftJis, const char* captionShiftJis,
                             UINT type);

  // Cursor and screen saver. Cursor positions are desktop coordinates.
  virtual void SetCursorVisible(bool /*visible*/) {}
  virtual void WarpCursor(int /*x*/, int /*y*/) {}
  virtual void SetScreenSaverEnabled(bool /*enabled*/) {}

  // Pads: motor strengths 0..65535 (low-frequency, high-frequency) until changed; 0, 0 stops.
  virtual void RumblePad(int /*pad*/, uint16_t /*low*/, uint16_t /*high*/) {}

  // Audio. OpenAudio starts pulling from `output` on a device of the host's and returns true; false
  // means the host has no audio device (the caller then paces itself by the clock). CloseAudio stops
  // the pulling and returns once no render call runs any more.
  virtual bool OpenAudio(const AudioOutput& /*output*/) { return false; }
  virtual void CloseAudio() {}
  // What the device is, for reports ("SDL pulseaudio", ...); empty without one.
  virtual std::string AudioDeviceName() const { return {}; }

 protected:
  // Copies the window's link into its picture and forgets it.
  void SettleFrame(HWND window) const;
  // The 32-bit view the window's whole picture is linked to, or null: a host that shows pictures can
  // take the pixels from there without completing the picture first.
  const FrameView* WholeFrameLink(HWND window) const;

  struct FrameLink {
    FrameView view;
    int x;
    int y;
    const void* owner;
  };
  // Pictures are completed from their links when read, so both change under const reads.
  mutable std::unordered_map<HWND, Frame> frames_;
  mutable std::unordered_map<HWND, FrameLink> links_;
  DesktopMode mode_{1920, 1080, 32};
};

// The current host, made on first use from ORBEL_HOST. Thread-safe to obtain; the host itself is used
// under the window stand-in's lock.
Host& Current();
// Replaces the current host (tests install a fresh headless one). Windows must be gone first.
void Install(std::unique_ptr<Host> host);

struct HostEntry {
  const char* name;
  const char* description;
  // Null when the host cannot start here (no display, ...), with the reason in `whyNot`.
  std::unique_ptr<Host> (*create)(std::string* whyNot);
};
// The known hosts, real ones first.
const std::vector<HostEntry>& HostList();
// Makes the host of that name, or null when unknown or unable to start (the reason in `whyNot`).
std::unique_ptr<Host> CreateHostByName(const char* name, std::string* whyNot = nullptr);

// Writes a frame as an 8-bit RGB PNG; false on failure.
bool SaveFramePng(const Frame& frame, const char* path);

}  // namespace plat::host
