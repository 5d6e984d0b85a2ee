// Theora pictures checked before they are kept or converted: the stock takes only pictures of the
// stream's coded frame in its chroma layout, the conversion only planes that hold the whole picture
// region, and a film with a frame that breaks this plays on without reading past a plane.
#include <cstdlib>
#include <cstring>

#include "movie_test_fixture.h"

namespace orbel::testing {
namespace {

// A picture as the decoder hands it out: each plane exactly as large as its own sizes and stride say
// (so a copy that trusted other sizes would read past it), filled with row numbers.
struct DecoderPicture {
  std::vector<uint8_t> y, u, v;
  yuv_buffer buffer{};

  DecoderPicture(int yWidth, int yHeight, int yStride, int uvWidth, int uvHeight, int uvStride) {
    buffer = {yWidth, yHeight, yStride, uvWidth, uvHeight, uvStride, nullptr, nullptr, nullptr};
    buffer.y = Fill(&y, yHeight, yStride);
    buffer.u = Fill(&u, uvHeight, uvStride);
    buffer.v = Fill(&v, uvHeight, uvStride);
  }
  // Row r holds r + 1; a negative stride makes the rows run bottom-up from the last one in memory.
  static unsigned char* Fill(std::vector<uint8_t>* plane, int height, int stride) {
    const int rowBytes = std::abs(stride);
    plane->assign(static_cast<size_t>(rowBytes) * height, 0);
    if (plane->empty()) return nullptr;
    unsigned char* first = plane->data() + (stride < 0 ? static_cast<size_t>(rowBytes) * (height - 1) : 0);
    for (int row = 0; row < height; ++row) std::memset(first + static_cast<ptrdiff_t>(row) * stride, row + 1, rowBytes);
    return first;
  }
};

theora_info Stream420(int width, int height) {
  theora_info info{};
  info.width = static_cast<ogg_uint32_t>(width);
  info.height = static_cast<ogg_uint32_t>(height);
  info.frame_width = info.width;
  info.frame_height = info.height;
  info.pixelformat = OC_PF_420;
  return info;
}

YuvPlanes SlotPlanes(const TheoraFrameStockSlot& s) {
  return {s.y, s.u, s.v, s.yWidth, s.uvWidth, s.yWidth, s.yHeight, s.uvWidth, s.uvHeight};
}

TEST(TheoraPictureStore, KeepsOnlyPicturesOfTheStreamAndConvertsNothingFromADroppedOne) {
  InitYuvToRgbTable();
  const theora_info info = Stream420(32, 16);
  const struct {
    const char* name;
    DecoderPicture picture;
    int stored;
  } cases[] = {
      {"a picture of the stream", {32, 16, 64, 16, 8, 32}, 1},
      {"bottom-up rows", {32, 16, -64, 16, 8, -32}, 1},
      {"no picture at all", {0, 0, 0, 0, 0, 0}, 0},
      {"a short luma plane", {32, 8, 64, 16, 8, 32}, 0},
      {"a short chroma plane", {32, 16, 64, 16, 4, 32}, 0},
      {"narrower chroma planes", {32, 16, 64, 8, 8, 32}, 0},
      {"a luma stride below the width", {32, 16, 16, 16, 8, 32}, 0},
      {"a chroma stride below the width", {32, 16, 64, 16, 8, 8}, 0},
      {"4:4:4 planes in a 4:2:0 stream", {32, 16, 32, 32, 16, 32}, 0},
      {"the stream's picture again", {32, 16, 32, 16, 8, 16}, 1},
  };
  TheoraFrameStockSlot slot{};
  std::vector<uint8_t> rgb(32 * 16 * 4);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(StoreTheoraPicture(info, c.picture.buffer, &slot), c.stored);
    const bool converted = ConvertYuvToBgrx(SlotPlanes(slot), {0, 0, 32, 16}, rgb.data(), 32 * 4);
    EXPECT_EQ(converted, c.stored == 1);
    if (c.stored == 0) {
      EXPECT_EQ(slot.yWidth + slot.yHeight + slot.uvWidth + slot.uvHeight, 0);
      continue;
    }
    EXPECT_EQ(slot.yWidth, 32);
    EXPECT_EQ(slot.yHeight, 16);
    EXPECT_EQ(slot.uvWidth, 16);
    EXPECT_EQ(slot.uvHeight, 8);
    // Packed top-down whatever the source's order: row r of each plane holds r + 1.
    EXPECT_EQ(slot.y[0], 1);
    EXPECT_EQ(slot.y[15 * 32 + 31], 16);
    EXPECT_EQ(slot.u[7 * 16], 8);
    EXPECT_EQ(slot.v[7 * 16 + 15], 8);
  }
  std::free(slot.y);
  std::free(slot.u);
  std::free(slot.v);
}

TEST(TheoraPictureStore, ConversionReadsOnlyRegionsThePlanesHold) {
  const std::vector<uint8_t> luma(8 * 4, 100), chroma(4 * 2, 128);
  const YuvPlanes planes420{luma.data(), chroma.data(), chroma.data(), 8, 4, 8, 4, 4, 2};
  YuvPlanes narrowChroma = planes420;  // chroma too small for the luma it goes with
  narrowChroma.uvWidth = 3;
  const struct {
    const char* name;
    const YuvPlanes& planes;
    PictureRegion region;
    bool covered;
  } cases[] = {
      {"the whole frame", planes420, {0, 0, 8, 4}, true},
      {"an odd corner", planes420, {3, 1, 5, 3}, true},
      {"one column past the right", planes420, {1, 0, 8, 4}, false},
      {"one row past the bottom", planes420, {0, 1, 8, 4}, false},
      {"an empty region", planes420, {0, 0, 0, 4}, false},
      {"a region before the start", planes420, {-2, 0, 4, 4}, false},
      {"chroma narrower than half the luma", narrowChroma, {0, 0, 8, 4}, false},
  };
  for (const auto& c : cases) EXPECT_EQ(PlanesCoverRegion(c.planes, c.region), c.covered) << c.name;
}

class TheoraFrameFilmTest : public MovieLibraryTest {
 protected:
  void SetUp() override {
    MovieLibraryTest::SetUp();
    ASSERT_EQ(Start({1, 32}), 0);
  }
  TheoraMovieRecord* Open(const std::string& name, const std::vector<uint8_t>& bytes) {
    WriteFileBytes(work_.path() / name, bytes);
    file_ = FileAccessOpen(name.c_str(), 0, 1, 0);
    return OpenTheoraMovie(&GetFileAccessFunctions(), file_, kMovieFrameStock);
  }
  void Close(TheoraMovieRecord* th) {
    CloseTheoraMovie(th);
    FileAccessClose(file_);
  }
  FileHandle file_ = 0;
};

size_t Count(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST_F(TheoraFrameFilmTest, AFirstFrameTheDecoderRefusesIsDroppedWithOneLineAndTheFilmPlaysOn) {
  MovieSpec spec;
  spec.frames = 12;
  spec.keyInterval = 4;
  const std::vector<uint8_t> film = MakeTheoraMovie(spec);
  // A film of the same size first, so that the decoder of the next one may be made in its memory: a
  // decoder that has decoded nothing yet must not hand out what that memory held.
  TheoraMovieRecord* before = Open("whole.ogv", film);
  ASSERT_NE(before, nullptr);
  for (int frame = 1; frame < 12; ++frame) {
    AdvanceTheoraMovieFrame(before, 1);
    ASSERT_EQ(ShownFrame(before), frame);
  }
  Close(before);

  // The first frame's packet is one the decoder refuses, so it never has a picture of that frame.
  TheoraMovieRecord* th = Open("damaged.ogv", ReplaceTheoraPacket(film, 3, {0x3F, 0xFF, 0xFF}));
  ASSERT_NE(th, nullptr);
  EXPECT_EQ(UpdateTheoraMovieFrameImage(th, 1, 0), 0);
  EXPECT_EQ(th->rgbConverted, 0);
  for (const int frame : {4, 9, 0, 8}) {
    SeekTheoraMovieFrame(th, frame);
    EXPECT_EQ(ShownFrame(th), frame == 0 ? -1 : frame) << frame;
  }
  Close(th);
  EXPECT_EQ(Count(LogText(), "Theora ムービーのフレームがストリームの情報と合わないため破棄しました"), 1u);
}

}  // namespace
}  // namespace orbel::testing
