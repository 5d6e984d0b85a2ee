// The SDL host's own message box: a small window of its own with the text set by the host's fonts and a
// row of buttons, run modally until a button answers.
#include "platform/host/sdl/sdl_message_box.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/win/glyph_source.h"

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

std::shared_ptr<GlyphFace> BoxFace() {
  FontRequest request;
  request.height = 17;
  request.weight = 400;
  request.charset = 128;
  return SystemGlyphSource().OpenFace(request);
}

}  // namespace

MessageBoxPicture DrawMessageBox(const std::string& text, const std::vector<MessageBoxButton>& buttons, int focus) {
  MessageBoxPicture picture;
  std::shared_ptr<GlyphFace> face = BoxFace();
  const std::vector<std::u32string> lines = Lines(text);
  const FaceMetrics metrics = face ? face->Metrics() : FaceMetrics{};
  const int lineHeight = metrics.height + 5;
  int textWidth = 0;
  if (face) {
    for (const std::u32string& line : lines) textWidth = std::max(textWidth, Measure(*face, line));
  }
  const int count = static_cast<int>(buttons.size());
  const int rowWidth = count * kButtonWidth + std::max(count - 1, 0) * kButtonGap;
  picture.width = std::max({textWidth, rowWidth, 240}) + 2 * kMargin;
  picture.height = kMargin + static_cast<int>(lines.size()) * lineHeight + kMargin + kButtonHeight + kMargin;
  picture.pixels.assign(static_cast<size_t>(picture.width) * picture.height, kBackground);
  Canvas canvas{picture.width, picture.height, picture.pixels};

  if (face) {
    int baseline = kMargin + metrics.ascent;
    for (const std::u32string& line : lines) {
      Write(*face, canvas, (picture.width - Measure(*face, line)) / 2, baseline, line, kInk);
      baseline += lineHeight;
    }
  }
  int x = (picture.width - rowWidth) / 2;
  const int y = picture.height - kMargin - kButtonHeight;
  for (int i = 0; i < count; ++i) {
    const SDL_Rect r{x, y, kButtonWidth, kButtonHeight};
    picture.buttons.push_back(r);
    canvas.Fill(r, kButtonEdge);
    canvas.Fill(SDL_Rect{r.x + 1, r.y + 1, r.w - 2, r.h - 2}, i == focus ? kButtonFocused : kButtonFace);
    if (face) {
      std::u32string label(buttons[static_cast<size_t>(i)].label.begin(), buttons[static_cast<size_t>(i)].label.end());
      Write(*face, canvas, r.x + (r.w - Measure(*face, label)) / 2, r.y + (r.h - metrics.height) / 2 + metrics.ascent,
            label, kInk);
    }
    x += kButtonWidth + kButtonGap;
  }
  return picture;
}

bool ShowDrawnMessageBox(SDL_Window* owner, const std::string& title, const std::string& text,
                         const std::vector<MessageBoxButton>& buttons, int defaultIndex, int escapeId,
                         int* answer) {
  if (buttons.empty() || BoxFace() == nullptr) return false;
  int focus = std::clamp(defaultIndex, 0, static_cast<int>(buttons.size()) - 1);
  MessageBoxPicture picture = DrawMessageBox(text, buttons, focus);

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
      picture = DrawMessageBox(text, buttons, focus);
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
      SDL_WaitEventTimeout(nullptr, 100);  // until something arrives, taking nothing
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
            if (!b.label.empty() && std::tolower(static_cast<unsigned char>(b.label[0])) == key) {
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
