// The GDI font stand-in: glyph bitmaps in GDI's row layouts, the size query, character codes decoded
// from the font's code page, metrics, and the host's Japanese faces through FreeType.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/win/gdi/gdi_dc.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/gdi/gdi_font.h"
#include "platform/win/gdi/glyph_source.h"
#include "platform/test_controls.h"

namespace plat {
namespace {

// Glyphs of a chosen size whose coverage rises by 40 a pixel from the top left; records what it was
// asked for. Character 0x20 (space) is empty.
class SyntheticSource : public GlyphSource {
 public:
  struct Face : GlyphFace {
    explicit Face(SyntheticSource* s) : source(s) {}
    FaceMetrics Metrics() const override {
      FaceMetrics m;
      m.height = 20;
      m.ascent = 16;
      m.descent = 4;
      m.averageWidth = 6;
      m.maxWidth = 13;
      m.weight = 600;
      return m;
    }
    bool Render(char32_t character, bool antialias, GlyphPicture* out) override {
      source->asked.push_back(character);
      source->antialias = antialias;
      out->advance = 12;
      if (character == U' ') return true;
      out->width = 10;
      out->height = 3;
      out->originX = 1;
      out->originY = 14;
      for (int i = 0; i < 30; ++i) out->coverage.push_back(static_cast<uint8_t>(i * 40 > 255 ? 255 : i * 40));
      return true;
    }
    SyntheticSource* source;
  };
  std::shared_ptr<GlyphFace> OpenFace(const FontRequest& request) override {
    requests.push_back(request);
    return std::make_shared<Face>(this);
  }
  std::vector<FontRequest> requests;
  std::vector<char32_t> asked;
  bool antialias = false;
};

class GdiFontTest : public ::testing::Test {
 protected:
  void TearDown() override { test::SetGlyphSource(nullptr); }

  // A memory DC with a new font selected; both freed by the test.
  HDC DcWithFont(int charset, const char* face, int height = 16, int weight = 600) {
    font_ = CreateFontA(height, 0, 0, 0, weight, 0, 0, 0, static_cast<DWORD>(charset), 0, 0,
                        NONANTIALIASED_QUALITY, FIXED_PITCH, face);
    EXPECT_NE(font_, nullptr);
    dc_ = CreateCompatibleDC(nullptr);
    old_ = SelectObject(dc_, font_);
    return dc_;
  }
  ~GdiFontTest() override {
    if (dc_ != nullptr) {
      SelectObject(dc_, old_);
      DeleteDC(dc_);
    }
    if (font_ != nullptr) DeleteObject(font_);
  }

  HFONT font_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

TEST_F(GdiFontTest, BitmapsComeInGdiRowLayouts) {
  SyntheticSource source;
  test::SetGlyphSource(&source);
  HDC dc = DcWithFont(SHIFTJIS_CHARSET, "ＭＳ ゴシック");
  GLYPHMETRICS gm{};
  const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

  // One bit a pixel, most significant first, rows of 4 bytes: coverage 128 and up is set.
  ASSERT_EQ(GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, 0, nullptr, &identity), 12u);
  EXPECT_EQ(gm.gmBlackBoxX, 10u);
  EXPECT_EQ(gm.gmBlackBoxY, 3u);
  EXPECT_EQ(gm.gmptGlyphOrigin.x, 1);
  EXPECT_EQ(gm.gmptGlyphOrigin.y, 14);
  EXPECT_EQ(gm.gmCellIncX, 12);
  std::vector<uint8_t> bits(16, 0xEE);
  EXPECT_EQ(GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, 4, bits.data(), &identity), GDI_ERROR) << "buffer too small";
  ASSERT_EQ(GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, 16, bits.data(), &identity), 12u);
  // Row 0 holds coverage 0, 40, ..., 240 (set from 160 = pixel 4); rows 1 and 2 are all 255.
  const uint8_t expectBits[12] = {0x0F, 0xC0, 0, 0, 0xFF, 0xC0, 0, 0, 0xFF, 0xC0, 0, 0};
  EXPECT_EQ(std::memcmp(bits.data(), expectBits, 12), 0);
  EXPECT_EQ(bits[12], 0xEE) << "nothing past the bitmap";

  // One byte a pixel, levels 0-16, rows padded to 4 bytes.
  ASSERT_EQ(GetGlyphOutlineA(dc, 'A', GGO_GRAY4_BITMAP, &gm, 0, nullptr, &identity), 36u);
  std::vector<uint8_t> gray(36);
  ASSERT_EQ(GetGlyphOutlineA(dc, 'A', GGO_GRAY4_BITMAP, &gm, 36, gray.data(), &identity), 36u);
  const uint8_t expectRow0[12] = {0, 3, 5, 8, 10, 13, 15, 16, 16, 16, 0, 0};
  EXPECT_EQ(std::memcmp(gray.data(), expectRow0, 12), 0);
  EXPECT_TRUE(source.antialias);

  // An empty glyph: a 1 x 1 black box with nothing set, and its advance.
  ASSERT_EQ(GetGlyphOutlineA(dc, ' ', GGO_BITMAP, &gm, 0, nullptr, &identity), 4u);
  EXPECT_EQ(gm.gmBlackBoxX, 1u);
  EXPECT_EQ(gm.gmBlackBoxY, 1u);
  EXPECT_EQ(gm.gmCellIncX, 12);
  std::vector<uint8_t> space(4, 0xFF);
  ASSERT_EQ(GetGlyphOutlineA(dc, ' ', GGO_BITMAP, &gm, 4, space.data(), &identity), 4u);
  EXPECT_EQ(space, std::vector<uint8_t>(4, 0));

  EXPECT_EQ(GetGlyphOutlineA(dc, 'A', 2 /* outline */, &gm, 0, nullptr, &identity), GDI_ERROR);
  // The size query and the bitmap of one glyph render it once per kind.
  EXPECT_EQ(std::count(source.asked.begin(), source.asked.end(), U'A'), 2);
}

TEST_F(GdiFontTest, CodesAreCharactersOfTheFontsCodePage) {
  SyntheticSource source;
  test::SetGlyphSource(&source);
  HDC dc = DcWithFont(SHIFTJIS_CHARSET, "");
  GLYPHMETRICS gm{};
  for (UINT code : {0x41u, 0x82A0u, 0xB1u, 0x8140u, 0xFFFFu}) GetGlyphOutlineA(dc, code, GGO_BITMAP, &gm, 0, nullptr, nullptr);
  // 'A', あ, half-width ｱ, the full-width space, and a code that is no character (the missing glyph).
  EXPECT_EQ(source.asked, (std::vector<char32_t>{U'A', U'\u3042', U'\uFF71', U'\u3000', 0}));
  SelectObject(dc, old_);
  DeleteObject(font_);

  font_ = CreateFontA(16, 0, 0, 0, 400, 1, 0, 0, HANGEUL_CHARSET, 0, 0, 3, 1, "Gulim");
  SelectObject(dc, font_);
  source.asked.clear();
  GetGlyphOutlineA(dc, 0xB0A1, GGO_BITMAP, &gm, 0, nullptr, nullptr);
  EXPECT_EQ(source.asked, (std::vector<char32_t>{U'\uAC00'}));
  ASSERT_EQ(source.requests.size(), 2u);
  EXPECT_EQ(source.requests[1].charset, 129);
  EXPECT_TRUE(source.requests[1].italic);
  EXPECT_EQ(source.requests[1].face, "Gulim");
  EXPECT_EQ(source.requests[1].weight, 400);

  TEXTMETRICA tm{};
  ASSERT_TRUE(GetTextMetricsA(dc, &tm));
  EXPECT_EQ(tm.tmHeight, 20);
  EXPECT_EQ(tm.tmAscent, 16);
  EXPECT_EQ(tm.tmMaxCharWidth, 13);
  EXPECT_EQ(tm.tmItalic, 1);
}

TEST_F(GdiFontTest, NoFontSelectedFails) {
  HDC dc = CreateCompatibleDC(nullptr);
  GLYPHMETRICS gm{};
  TEXTMETRICA tm{};
  EXPECT_EQ(GetGlyphOutlineA(dc, 'A', GGO_BITMAP, &gm, 0, nullptr, nullptr), GDI_ERROR);
  EXPECT_FALSE(GetTextMetricsA(dc, &tm));
  DeleteDC(dc);
}

// The host's Japanese faces (Debian's IPA fonts): structure only, since rasterisers differ.
TEST_F(GdiFontTest, JapaneseSystemFaceRendersThroughFreeType) {
  HDC dc = DcWithFont(SHIFTJIS_CHARSET, "ＭＳ ゴシック", 16, 600);
  TEXTMETRICA tm{};
  ASSERT_TRUE(GetTextMetricsA(dc, &tm));
  EXPECT_EQ(tm.tmHeight, 16);
  EXPECT_GT(tm.tmAscent, 8);
  EXPECT_LT(tm.tmAscent, 16);
  EXPECT_GE(tm.tmMaxCharWidth, 12);

  GLYPHMETRICS wide{};
  GLYPHMETRICS narrow{};
  const DWORD size = GetGlyphOutlineA(dc, 0x82A0 /* あ */, GGO_BITMAP, &wide, 0, nullptr, nullptr);
  ASSERT_NE(size, GDI_ERROR);
  EXPECT_GT(wide.gmBlackBoxX, 6u);
  EXPECT_GT(wide.gmBlackBoxY, 6u);
  std::vector<uint8_t> bits(size);
  ASSERT_EQ(GetGlyphOutlineA(dc, 0x82A0, GGO_BITMAP, &wide, size, bits.data(), nullptr), size);
  int set = 0;
  for (uint8_t b : bits) set += __builtin_popcount(b);
  EXPECT_GT(set, 10) << "the glyph has ink";
  // A monospaced Japanese face: ASCII takes half the width of kana (the bold pixel added to each).
  ASSERT_NE(GetGlyphOutlineA(dc, 'A', GGO_GRAY4_BITMAP, &narrow, 0, nullptr, nullptr), GDI_ERROR);
  EXPECT_EQ(wide.gmCellIncX - 1, 2 * (narrow.gmCellIncX - 1));
  // A character the face lacks still gives a glyph, never a failure.
  GLYPHMETRICS missing{};
  EXPECT_NE(GetGlyphOutlineA(dc, 0xF040 /* a user-defined code */, GGO_BITMAP, &missing, 0, nullptr, nullptr), GDI_ERROR);
}

// What a face draws for a few characters: each glyph's box, origin, advance and gray levels (empty
// when the face or a glyph fails). Kana, kanji and proportional Latin tell the Gothic faces from the
// Mincho ones and the fixed from the proportional.
std::vector<int> DrawnBy(const char* face) {
  HFONT font = CreateFontA(20, 0, 0, 0, 400, 0, 0, 0, SHIFTJIS_CHARSET, 0, 0, 0, 0, face);
  if (font == nullptr) return {};
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  std::vector<int> drawn;
  for (UINT code : {0x82A0u /* あ */, 0x8341u /* ア */, 0x8ABFu /* 漢 */, UINT{'A'}, UINT{'i'}}) {
    GLYPHMETRICS gm{};
    const DWORD size = GetGlyphOutlineA(dc, code, GGO_GRAY4_BITMAP, &gm, 0, nullptr, nullptr);
    std::vector<uint8_t> gray(size == GDI_ERROR ? 0 : size);
    if (size == GDI_ERROR || GetGlyphOutlineA(dc, code, GGO_GRAY4_BITMAP, &gm, size, gray.data(), nullptr) != size) {
      drawn.clear();
      break;
    }
    drawn.insert(drawn.end(), {static_cast<int>(gm.gmBlackBoxX), static_cast<int>(gm.gmBlackBoxY),
                               gm.gmptGlyphOrigin.x, gm.gmptGlyphOrigin.y, gm.gmCellIncX});
    drawn.insert(drawn.end(), gray.begin(), gray.end());
  }
  SelectObject(dc, old);
  DeleteDC(dc);
  DeleteObject(font);
  return drawn;
}

// The pairs that differ in `cases`: each Japanese name against its Latin family, and the families
// against each other (so that the comparison can tell the four faces apart). Empty when all hold.
std::string JapaneseNameMismatches() {
  const struct {
    const char* name;
    const char* family;
  } cases[] = {{"ＭＳ ゴシック", "IPAGothic"},
               {"ＭＳ Ｐゴシック", "IPAPGothic"},
               {"ＭＳ 明朝", "IPAMincho"},
               {"ＭＳ Ｐ明朝", "IPAPMincho"}};
  std::string mismatches;
  std::vector<std::vector<int>> families;
  for (const auto& c : cases) {
    families.push_back(DrawnBy(c.family));
    if (families.back().empty() || DrawnBy(c.name) != families.back()) {
      mismatches += std::string(c.family) + ": its Japanese name draws another face\n";
    }
  }
  for (size_t i = 0; i < families.size(); ++i) {
    for (size_t j = i + 1; j < families.size(); ++j) {
      if (families[i] == families[j]) mismatches += std::string(cases[i].family) + " draws as " + cases[j].family + "\n";
    }
  }
  return mismatches;
}

// The system's Japanese face names reach the IPA face that stands for each by themselves: in a
// process whose fontconfig knows the font folders and no alias rules, each draws exactly as the IPA
// face asked for by its Latin family name.
TEST(GdiFontDeath, JapaneseFaceNamesDrawAsTheirIpaFacesWithoutFontconfigAliases) {
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";  // a fresh process: fontconfig starts there
  EXPECT_EXIT(
      {
        char folder[] = "/tmp/orbel-fonts-XXXXXX";
        if (mkdtemp(folder) == nullptr) std::exit(2);
        const std::string config = std::string(folder) + "/fonts.conf";
        if (FILE* f = std::fopen(config.c_str(), "w")) {
          std::fprintf(f, "<?xml version=\"1.0\"?>\n<fontconfig><dir>/usr/share/fonts</dir>"
                          "<cachedir>%s/cache</cachedir></fontconfig>\n", folder);
          std::fclose(f);
        }
        setenv("FONTCONFIG_FILE", config.c_str(), 1);
        const std::string mismatches = JapaneseNameMismatches();
        std::filesystem::remove_all(folder);
        std::fputs(mismatches.c_str(), stderr);
        std::exit(mismatches.empty() ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace plat
