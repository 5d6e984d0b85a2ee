// The host's fonts as a glyph source: fontconfig finds the file for a face name, FreeType renders.
// The usual Japanese system faces ("ＭＳ ゴシック", "ＭＳ 明朝", their proportional forms, and the
// empty default face) are looked for as the IPA faces Debian ships; other names go to fontconfig as
// they are, with the language of the character set. A height above 0 is the cell height (ascent +
// descent), as on the system the library was made for. Bold (weight 600 and more) on a face without
// a bold style is made by widening the outline by a pixel; italic by a shear of 0.2. One FreeType face is
// kept per file, size and style, so fonts made twice share it.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

#include "platform/host/text_encoding.h"
#include "platform/win/gdi/glyph_source.h"

namespace plat {

namespace {

// Japanese face names of the system the library was written for, and what stands for them here.
// The names are compared with the request's Shift-JIS bytes, the encoding these literals compile to;
// the families are the fontconfig names of Debian's IPA faces, so no alias rule of fontconfig is needed.
struct FaceAlias {
  const char* name;  // Shift-JIS
  const char* family;
};
constexpr FaceAlias kAliases[] = {
    {"", "IPAGothic"},
    {"ＭＳ ゴシック", "IPAGothic"},
    {"MS Gothic", "IPAGothic"},
    {"ＭＳ Ｐゴシック", "IPAPGothic"},
    {"MS PGothic", "IPAPGothic"},
    {"MS UI Gothic", "IPAPGothic"},
    {"ＭＳ 明朝", "IPAMincho"},
    {"MS Mincho", "IPAMincho"},
    {"ＭＳ Ｐ明朝", "IPAPMincho"},
    {"MS PMincho", "IPAPMincho"},
};

struct FaceFile {
  std::string path;
  int index = 0;
};

// fontconfig, started once. It is never finalised, not even at exit: a program may call exit() on one
// thread while another makes a font, and fontconfig's end would pull its caches from under that one.
bool StartFontConfig() {
  static const bool started = FcInit() != FcFalse;
  return started;
}

// Finds the font file for a family name (UTF-8) and language; false when fontconfig finds nothing.
bool MatchFaceFile(const std::string& family, const char* language, int weight, bool italic, FaceFile* out) {
#if defined(__SANITIZE_ADDRESS__)
  // fontconfig reaches a pattern's elements by their offset from the pattern, which the leak checker
  // cannot follow: what its start keeps to the end, and a pattern alive as another thread calls exit(),
  // would read as leaked. Its allocations made here are passed by.
  __lsan::ScopedDisabler patternsByOffset;
#endif
  if (!StartFontConfig()) return false;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  if (!family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (language != nullptr) {
    FcLangSet* languages = FcLangSetCreate();
    FcLangSetAdd(languages, reinterpret_cast<const FcChar8*>(language));
    FcPatternAddLangSet(pattern, FC_LANG, languages);
    FcLangSetDestroy(languages);
  }
  FcPatternAddInteger(pattern, FC_WEIGHT, weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;
  FcChar8* file = nullptr;
  int index = 0;
  const bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file != nullptr;
  if (found) {
    out->path = reinterpret_cast<const char*>(file);
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    out->index = index;
  }
  FcPatternDestroy(match);
  return found;
}

FT_Library Library() {
  static FT_Library library = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) return static_cast<FT_Library>(nullptr);
    return l;
  }();
  return library;
}

// FreeType is not thread-safe; the library draws text on one thread, but keep it safe regardless.
std::mutex g_freeTypeLock;

class FreeTypeFace : public GlyphFace {
 public:
  FreeTypeFace(FT_Face face, int cellHeight, bool emboldened, bool sheared, int weight)
      : face_(face), cellHeight_(cellHeight), embolden_(emboldened), shear_(sheared), weight_(weight) {}
  ~FreeTypeFace() override {
    std::lock_guard<std::mutex> lock(g_freeTypeLock);
    FT_Done_Face(face_);
  }
  FreeTypeFace(const FreeTypeFace&) = delete;
  FreeTypeFace& operator=(const FreeTypeFace&) = delete;

  FaceMetrics Metrics() const override {
    std::lock_guard<std::mutex> lock(g_freeTypeLock);
    const FT_Size_Metrics& s = face_->size->metrics;
    FaceMetrics m;
    m.ascent = static_cast<int>((s.ascender + 32) >> 6);
    // A cell height asked for is the line height exactly; the descent takes what rounding left over.
    m.height = cellHeight_ > 0 ? cellHeight_ : m.ascent + static_cast<int>((-s.descender + 32) >> 6);
    m.descent = m.height - m.ascent;
    m.maxWidth = static_cast<int>((s.max_advance + 32) >> 6) + (embolden_ ? 1 : 0);
    m.averageWidth = (HalfWidth() > 0 ? HalfWidth() : m.maxWidth / 2) + (embolden_ ? 1 : 0);
    m.weight = weight_;
    return m;
  }

  // The advance in whole pixels. Japanese faces set half-width and full-width characters on one grid,
  // as a monospaced font must: an advance within a tenth of a half width (or of two) is exactly that.
  int Advance(FT_GlyphSlot slot) {
    const int rounded = static_cast<int>((slot->advance.x + 32) >> 6);
    const int half = HalfWidth();
    if (half <= 0) return rounded;
    const double exact = static_cast<double>(slot->linearHoriAdvance) / 65536.0;
    for (int cells : {1, 2}) {
      const double grid = halfExact_ * cells;
      if (exact > grid * 0.9 && exact < grid * 1.1) return half * cells;
    }
    return rounded;
  }

  // The rounded advance of '0', once; 0 when the face has none. Called with the FreeType lock held.
  int HalfWidth() const {
    if (half_ < 0) {
      half_ = 0;
      const FT_UInt zero = FT_Get_Char_Index(face_, '0');
      if (zero != 0 && FT_Load_Glyph(face_, zero, FT_LOAD_NO_BITMAP) == 0) {
        halfExact_ = static_cast<double>(face_->glyph->linearHoriAdvance) / 65536.0;
        half_ = static_cast<int>(halfExact_ + 0.5);
      }
    }
    return half_;
  }

  bool Render(char32_t character, bool antialias, GlyphPicture* out) override {
    std::lock_guard<std::mutex> lock(g_freeTypeLock);
    HalfWidth();  // loads a glyph of its own: before this one
    const FT_UInt index = character == 0 ? 0 : FT_Get_Char_Index(face_, character);
    const FT_Int32 target = antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO;
    if (FT_Load_Glyph(face_, index, FT_LOAD_NO_BITMAP | target) != 0) return false;
    FT_GlyphSlot slot = face_->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (embolden_) FT_Outline_EmboldenXY(&slot->outline, 64, 0);
      if (shear_) {
        FT_Matrix shear = {0x10000, 0x3333, 0, 0x10000};
        FT_Outline_Transform(&slot->outline, &shear);
      }
    }
    if (FT_Render_Glyph(slot, antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) != 0) return false;
    const FT_Bitmap& bitmap = slot->bitmap;
    out->width = static_cast<int>(bitmap.width);
    out->height = static_cast<int>(bitmap.rows);
    out->originX = slot->bitmap_left;
    out->originY = slot->bitmap_top;
    out->advance = Advance(slot) + (embolden_ ? 1 : 0);
    out->coverage.assign(static_cast<size_t>(out->width) * static_cast<size_t>(out->height), 0);
    for (int y = 0; y < out->height; ++y) {
      const uint8_t* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
      uint8_t* dst = out->coverage.data() + static_cast<size_t>(y) * static_cast<size_t>(out->width);
      for (int x = 0; x < out->width; ++x) {
        if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
          dst[x] = (row[x / 8] & (0x80 >> (x % 8))) != 0 ? 255 : 0;
        } else {
          dst[x] = row[x];
        }
      }
    }
    return true;
  }

 private:
  FT_Face face_;
  mutable int half_ = -1;
  mutable double halfExact_ = 0;
  int cellHeight_;
  bool embolden_;
  bool shear_;
  int weight_;
};

class SystemSource : public GlyphSource {
 public:
  std::shared_ptr<GlyphFace> OpenFace(const FontRequest& request) override {
    std::string family = host::ShiftJisToUtf8(request.face);
    for (const FaceAlias& alias : kAliases) {
      if (request.face == alias.name) family = alias.family;
    }
    const char* language = request.charset == 129 ? "ko" : "ja";
    FaceFile file;
    if (!MatchFaceFile(family, language, request.weight, request.italic, &file)) return nullptr;

    const int height = request.height == 0 ? 16 : request.height;
    const bool bold = request.weight >= 600;
    const auto key = std::make_tuple(file.path, file.index, height, bold, request.italic);
    std::lock_guard<std::mutex> lock(cacheLock_);
    if (auto it = faces_.find(key); it != faces_.end()) {
      if (auto face = it->second.lock()) return face;
    }
    FT_Face face = nullptr;
    {
      std::lock_guard<std::mutex> ftLock(g_freeTypeLock);
      if (Library() == nullptr || FT_New_Face(Library(), file.path.c_str(), file.index, &face) != 0) return nullptr;
      FT_Size_RequestRec size = {};
      size.type = height > 0 ? FT_SIZE_REQUEST_TYPE_CELL : FT_SIZE_REQUEST_TYPE_NOMINAL;
      size.height = static_cast<FT_Long>(height > 0 ? height : -height) * 64;
      if (FT_Request_Size(face, &size) != 0) {
        FT_Done_Face(face);
        return nullptr;
      }
    }
    // Styles the file lacks are made up (the face's own flags tell; fontconfig reports the request's).
    const bool embolden = bold && (face->style_flags & FT_STYLE_FLAG_BOLD) == 0;
    const bool shear = request.italic && (face->style_flags & FT_STYLE_FLAG_ITALIC) == 0;
    auto result = std::make_shared<FreeTypeFace>(face, height > 0 ? height : 0, embolden, shear, request.weight);
    faces_[key] = result;
    return result;
  }

 private:
  std::mutex cacheLock_;
  std::map<std::tuple<std::string, int, int, bool, bool>, std::weak_ptr<GlyphFace>> faces_;
};

}  // namespace

GlyphSource& SystemGlyphSource() {
  // Never destroyed: threads and exit handlers may use it until the process ends.
  static auto* source = new SystemSource;
  return *source;
}

}  // namespace plat
