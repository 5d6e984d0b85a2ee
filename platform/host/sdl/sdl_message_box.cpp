// The SDL host's own message box: a small window of its own with the icon its type asks for, the text
// set by the host's fonts and a row of buttons with Japanese labels, run modally until a button answers.
#include "platform/host/sdl/sdl_message_box.h"

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/win/gdi/glyph_source.h"
#include "platform/win/kernel/clock.h"
#include "platform/win/user/message_box.h"

namespace plat::host {

namespace {

constexpr uint32_t kBackground = 0xFFEEEEEE;
constexpr uint32_t kInk = 0xFF202020;
constexpr uint32_t kButtonFace = 0xFFDCDCDC;
constexpr uint32_t kButtonFocused = 0xFFB8CFEF;
constexpr uint32_t kButtonEdge = 0xFF7A7A7A;
constexpr int kMargin = 22;
constexpr int kButtonWidth = 88;
constexpr int kButtonHeight = 28;
constexpr int kButtonGap = 12;
constexpr int kButtonPadding = 12;  // each side of a label wider than the usual button
constexpr int kIconSide = 32;
constexpr int kIconGap = 14;        // between the icon and the text
constexpr uint32_t kIconBlue = 0xFF2F6FD0;
constexpr uint32_t kIconYellow = 0xFFF2C01E;
constexpr uint32_t kIconRed = 0xFFD83A2E;
constexpr uint32_t kIconWhite = 0xFFFFFFFF;

// UTF-8 to code points, one line a vector; a broken sequence becomes U+FFFD.
std::vector<std::u32string> Lines(const std::string& text) {
  std::vector<std::u32string> lines(1);
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    char32_t value = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    bool good = length != 0 && i + static_cast<size_t>(length) <= text.size();
    for (int k = 1; good && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
      good = (next & 0xC0) == 0x80;
      value = value << 6 | (next & 0x3F);
    }
    i += good ? static_cast<size_t>(length) : 1;
    if (!good) value = 0xFFFD;
    if (value == U'\n') {
      lines.emplace_back();
    } else if (value != U'\r') {
      lines.back().push_back(value);
    }
  }
  return lines;
}

struct Canvas {
  int width;
  int height;
  std::vector<uint32_t>& pixels;

  void Fill(const SDL_Rect& r, uint32_t colour) {
    for (int y = std::max(r.y, 0); y < std::min(r.y + r.h, height); ++y)
      for (int x = std::max(r.x, 0); x < std::min(r.x + r.w, width); ++x) pixels[static_cast<size_t>(y) * width + x] = colour;
  }
  // Ink mixed in by coverage 0-255.
  void Blend(int x, int y, uint32_t ink, int coverage) {
    if (x < 0 || y < 0 || x >= width || y >= height || coverage == 0) return;
    uint32_t& d = pixels[static_cast<size_t>(y) * width + x];
    uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
      const int a = static_cast<int>((ink >> shift) & 0xFF);
      const int b = static_cast<int>((d >> shift) & 0xFF);
      out |= static_cast<uint32_t>(b + (a - b) * coverage / 255) << shift;
    }
    d = out;
  }
  // Paints a shape given by `inside`(x, y) in pixel units, anti-aliased by 4x4 samples a pixel.
  template <typename Inside>
  void Cover(const SDL_Rect& box, uint32_t ink, Inside inside) {
    for (int y = box.y; y < box.y + box.h; ++y)
      for (int x = box.x; x < box.x + box.w; ++x) {
        int hits = 0;
        for (int sy = 0; sy < 4; ++sy)
          for (int sx = 0; sx < 4; ++sx) hits += inside(x + (sx + 0.5) / 4.0, y + (sy + 0.5) / 4.0) ? 1 : 0;
        Blend(x, y, ink, hits * 255 / 16);
      }
  }
};

// Width of a line in pixels.
int Measure(GlyphFace& face, const std::u32string& line) {
  int width = 0;
  GlyphPicture glyph;
  for (char32_t c : line) {
    if (face.Render(c, true, &glyph)) width += glyph.advance;
  }
  return width;
}

void Write(GlyphFace& face, Canvas& canvas, int x, int baseline, const std::u32string& line, uint32_t ink) {
  GlyphPicture glyph;
  for (char32_t c : line) {
    if (!face.Render(c, true, &glyph)) continue;
    for (int gy = 0; gy < glyph.height; ++gy)
      for (int gx = 0; gx < glyph.width; ++gx)
        canvas.Blend(x + glyph.originX + gx, baseline - glyph.originY + gy, ink,
                     glyph.coverage[static_cast<size_t>(gy) * glyph.width + gx]);
    x += glyph.advance;
  }
}

std::shared_ptr<GlyphFace> OpenBoxFace(int height, int weight) {
  FontRequest request;
  request.height = height;
  request.weight = weight;
  request.charset = 128;
  return SystemGlyphSource().OpenFace(request);
}
std::shared_ptr<GlyphFace> BoxFace() { return OpenBoxFace(17, 400); }

// One character's picture centred on (cx, cy).
void WriteCentred(GlyphFace& face, Canvas& canvas, int cx, int cy, char32_t c, uint32_t ink) {
  GlyphPicture glyph;
  if (!face.Render(c, true, &glyph)) return;
  const int left = cx - glyph.width / 2;
  const int top = cy - glyph.height / 2;
  for (int gy = 0; gy < glyph.height; ++gy)
    for (int gx = 0; gx < glyph.width; ++gx)
      canvas.Blend(left + gx, top + gy, ink, glyph.coverage[static_cast<size_t>(gy) * glyph.width + gx]);
}

// The icon in the square of side kIconSide at (left, top): a blue disc with "i" or "?", a yellow
// triangle with "!", a red disc with "×".
void DrawIcon(Canvas& canvas, int left, int top, MessageBoxIcon icon) {
  if (icon == MessageBoxIcon::None) return;
  const SDL_Rect box{left, top, kIconSide, kIconSide};
  const double cx = left + kIconSide / 2.0;
  const double cy = top + kIconSide / 2.0;
  const double radius = kIconSide / 2.0 - 0.5;
  const auto disc = [cx, cy, radius](double x, double y) {
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius;
  };
  std::shared_ptr<GlyphFace> face = OpenBoxFace(24, 700);
  switch (icon) {
    case MessageBoxIcon::Information:
    case MessageBoxIcon::Question:
      canvas.Cover(box, kIconBlue, disc);
      if (face) WriteCentred(*face, canvas, left + kIconSide / 2, top + kIconSide / 2,
                             icon == MessageBoxIcon::Question ? U'?' : U'i', kIconWhite);
      break;
    case MessageBoxIcon::Warning: {
      // Apex at the top middle, base along the bottom: inside when on the inner side of all three edges.
      const double ax = cx, ay = top + 1.0, bx = left + kIconSide - 0.5, by = top + kIconSide - 1.5,
                   qx = left + 0.5, qy = by;
      const auto side = [](double x0, double y0, double x1, double y1, double x, double y) {
        return (x1 - x0) * (y - y0) - (y1 - y0) * (x - x0);
      };
      canvas.Cover(box, kIconYellow, [=](double x, double y) {
        return side(ax, ay, bx, by, x, y) >= 0 && side(bx, by, qx, qy, x, y) >= 0 && side(qx, qy, ax, ay, x, y) >= 0;
      });
      if (face) WriteCentred(*face, canvas, left + kIconSide / 2, top + kIconSide / 2 + 4, U'!', kInk);
      break;
    }
    case MessageBoxIcon::Error: {
      canvas.Cover(box, kIconRed, disc);
      // A cross of two bars 4 pixels thick.
      const double arm = kIconSide * 0.24;
      canvas.Cover(box, kIconWhite, [=](double x, double y) {
        const double dx = x - cx, dy = y - cy;
        return std::fabs(dx) <= arm && std::fabs(dy) <= arm &&
               (std::fabs(dx - dy) <= 2.8 || std::fabs(dx + dy) <= 2.8);
      });
      break;
    }
    case MessageBoxIcon::None:
      break;
  }
}

std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

int ButtonWidth(GlyphFace* face, const std::u32string& label) {
  if (face == nullptr) return kButtonWidth;
  return std::max(kButtonWidth, Measure(*face, label) + 2 * kButtonPadding);
}

}  // namespace

MessageBoxChoices ChoicesForType(unsigned type) {
  MessageBoxChoices c;
  // Labels are UTF-8 (u8 literals keep that encoding whatever the execution character set).
  const MessageBoxButton ok{IDOK, "OK"}, cancel{IDCANCEL, Utf8(u8"キャンセル")};
  const MessageBoxButton yes{IDYES, Utf8(u8"はい(Y)"), 'y'}, no{IDNO, Utf8(u8"いいえ(N)"), 'n'};
  const MessageBoxButton retry{IDRETRY, Utf8(u8"再試行(R)"), 'r'};
  switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: c.buttons = {ok, cancel}; break;
    case MB_ABORTRETRYIGNORE:
      c.buttons = {{IDABORT, Utf8(u8"中止(A)"), 'a'}, retry, {IDIGNORE, Utf8(u8"無視(I)"), 'i'}};
      break;
    case MB_YESNOCANCEL: c.buttons = {yes, no, cancel}; break;
    case MB_YESNO: c.buttons = {yes, no}; break;
    case MB_RETRYCANCEL: c.buttons = {retry, cancel}; break;
    default: c.buttons = {ok}; break;
  }
  switch (type & MB_ICONMASK) {
    case MB_ICONHAND: c.icon = MessageBoxIcon::Error; break;
    case MB_ICONQUESTION: c.icon = MessageBoxIcon::Question; break;
    case MB_ICONEXCLAMATION: c.icon = MessageBoxIcon::Warning; break;
    case MB_ICONASTERISK: c.icon = MessageBoxIcon::Information; break;
    default: c.icon = MessageBoxIcon::None; break;
  }
  const int count = static_cast<int>(c.buttons.size());
  c.defaultIndex = (type & MB_DEFBUTTON2) && count > 1 ? 1 : 0;
  // Escape and closing the box answer No or Cancel, or the only button.
  c.escapeId = count > 1 ? (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL : c.buttons[0].id;
  return c;
}

MessageBoxPicture DrawMessageBox(const std::string& text, const std::vector<MessageBoxButton>& buttons,
                                 MessageBoxIcon icon, int focus) {
  MessageBoxPicture picture;
  std::shared_ptr<GlyphFace> face = BoxFace();
  const std::vector<std::u32string> lines = Lines(text);
  const FaceMetrics metrics = face ? face->Metrics() : FaceMetrics{};
  const int lineHeight = metrics.height + 5;
  int textWidth = 0;
  if (face) {
    for (const std::u32string& line : lines) textWidth = std::max(textWidth, Measure(*face, line));
  }
  std::vector<std::u32string> labels;
  std::vector<int> widths;
  int rowWidth = 0;
  for (const MessageBoxButton& b : buttons) {
    labels.push_back(Lines(b.label)[0]);
    widths.push_back(ButtonWidth(face.get(), labels.back()));
    rowWidth += widths.back() + (widths.size() > 1 ? kButtonGap : 0);
  }
  const int iconWidth = icon != MessageBoxIcon::None ? kIconSide + kIconGap : 0;
  const int textHeight = std::max(static_cast<int>(lines.size()) * lineHeight, iconWidth > 0 ? kIconSide : 0);
  picture.width = std::max({iconWidth + textWidth, rowWidth, 240}) + 2 * kMargin;
  picture.height = kMargin + textHeight + kMargin + kButtonHeight + kMargin;
  picture.pixels.assign(static_cast<size_t>(picture.width) * picture.height, kBackground);
  Canvas canvas{picture.width, picture.height, picture.pixels};

  // The icon at the left, the text centred in the room beside it, both centred on the text band.
  const int textLeft = (picture.width - iconWidth - textWidth) / 2;
  DrawIcon(canvas, textLeft, kMargin + (textHeight - kIconSide) / 2, icon);
  if (face) {
    int baseline = kMargin + (textHeight - static_cast<int>(lines.size()) * lineHeight) / 2 + metrics.ascent;
    for (const std::u32string& line : lines) {
      Write(*face, canvas, textLeft + iconWidth + (textWidth - Measure(*face, line)) / 2, baseline, line, kInk);
      baseline += lineHeight;
    }
  }
  int x = (picture.width - rowWidth) / 2;
  const int y = picture.height - kMargin - kButtonHeight;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const SDL_Rect r{x, y, widths[i], kButtonHeight};
    picture.buttons.push_back(r);
    canvas.Fill(r, kButtonEdge);
    const bool focused = static_cast<int>(i) == focus;
    canvas.Fill(SDL_Rect{r.x + 1, r.y + 1, r.w - 2, r.h - 2}, focused ? kButtonFocused : kButtonFace);
    if (face) {
      Write(*face, canvas, r.x + (r.w - Measure(*face, labels[i])) / 2,
            r.y + (r.h - metrics.height) / 2 + metrics.ascent, labels[i], kInk);
    }
    x += r.w + kButtonGap;
  }
  return picture;
}

bool ShowDrawnMessageBox(SDL_Window* owner, const std::string& title, const std::string& text,
                         const MessageBoxChoices& choices, int* answer) {
  const std::vector<MessageBoxButton>& buttons = choices.buttons;
  const int escapeId = choices.escapeId;
  if (buttons.empty() || BoxFace() == nullptr) return false;
  int focus = std::clamp(choices.defaultIndex, 0, static_cast<int>(buttons.size()) - 1);
  MessageBoxPicture picture = DrawMessageBox(text, buttons, choices.icon, focus);

  int x = SDL_WINDOWPOS_CENTERED;
  int y = SDL_WINDOWPOS_CENTERED;
  if (owner != nullptr) {
    int ox = 0, oy = 0, ow = 0, oh = 0;
    SDL_GetWindowPosition(owner, &ox, &oy);
    SDL_GetWindowSize(owner, &ow, &oh);
    x = ox + (ow - picture.width) / 2;
    y = oy + (oh - picture.height) / 2;
  }
  SDL_Window* window = SDL_CreateWindow(title.c_str(), x, y, picture.width, picture.height,
                                        SDL_WINDOW_ALWAYS_ON_TOP | SDL_WINDOW_SKIP_TASKBAR);
  if (window == nullptr) return false;
  SDL_Renderer* renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE);
  SDL_Texture* texture = renderer ? SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                                      picture.width, picture.height)
                                  : nullptr;
  if (texture == nullptr) {
    if (renderer != nullptr) SDL_DestroyRenderer(renderer);
    SDL_DestroyWindow(window);
    return false;
  }
  const Uint32 windowId = SDL_GetWindowID(window);
  SDL_RaiseWindow(window);

  int chosen = 0;
  bool answered = false;
  bool redraw = true;
  while (!answered) {
    if (redraw) {
      picture = DrawMessageBox(text, buttons, choices.icon, focus);
      SDL_UpdateTexture(texture, nullptr, picture.pixels.data(), picture.width * 4);
      SDL_RenderClear(renderer);
      SDL_RenderCopy(renderer, texture, nullptr, nullptr);
      SDL_RenderPresent(renderer);
      redraw = false;
    }
    // The application's own quit answers as Escape and stays queued for the application; every other
    // event is the box's.
    SDL_PumpEvents();
    if (SDL_HasEvent(SDL_QUIT)) {
      chosen = escapeId;
      break;
    }
    SDL_Event e;
    if (SDL_PeepEvents(&e, 1, SDL_GETEVENT, SDL_QUIT + 1, SDL_LASTEVENT) <= 0) {
      // Polled, not waited for: while a thread waits for events, SDL wakes it by sending an event to the
      // box's window through a second connection, a request that can reach the server after the answered
      // box's window has gone; the server then refuses it and Xlib ends the process on that error.
      Sleep(10);
      continue;
    }
    const int count = static_cast<int>(buttons.size());
    switch (e.type) {
      case SDL_WINDOWEVENT:
        if (e.window.windowID == windowId && e.window.event == SDL_WINDOWEVENT_CLOSE) {
          chosen = escapeId;
          answered = true;
        } else if (e.window.windowID == windowId && e.window.event == SDL_WINDOWEVENT_EXPOSED) {
          redraw = true;
        }
        break;
      case SDL_MOUSEBUTTONUP:
        if (e.button.windowID != windowId || e.button.button != SDL_BUTTON_LEFT) break;
        for (int i = 0; i < count; ++i) {
          const SDL_Point p{e.button.x, e.button.y};
          if (SDL_PointInRect(&p, &picture.buttons[static_cast<size_t>(i)])) {
            chosen = buttons[static_cast<size_t>(i)].id;
            answered = true;
          }
        }
        break;
      case SDL_KEYDOWN: {
        // A modal box takes the keys whichever window has them.
        const SDL_Keycode key = e.key.keysym.sym;
        if (key == SDLK_RETURN || key == SDLK_KP_ENTER || key == SDLK_SPACE) {
          chosen = buttons[static_cast<size_t>(focus)].id;
          answered = true;
        } else if (key == SDLK_ESCAPE) {
          chosen = escapeId;
          answered = true;
        } else if (key == SDLK_LEFT) {
          focus = (focus + count - 1) % count;
          redraw = true;
        } else if (key == SDLK_RIGHT || key == SDLK_TAB) {
          focus = (focus + 1) % count;
          redraw = true;
        } else if (key >= 'a' && key <= 'z') {
          for (const MessageBoxButton& b : buttons) {
            if (b.key != 0 && b.key == key) {
              chosen = b.id;
              answered = true;
              break;
            }
          }
        }
        break;
      }
      default: break;
    }
  }
  SDL_DestroyTexture(texture);
  SDL_DestroyRenderer(renderer);
  SDL_DestroyWindow(window);
  *answer = chosen;
  return true;
}

}  // namespace plat::host
