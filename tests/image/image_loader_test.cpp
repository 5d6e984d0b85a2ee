// The loader dispatch and the loading roads: user loaders, rewinding between loaders, plain files and
// QVA archive members, mirroring, the DIB hand-off, the "_a" alpha companion, and soft images.
#include "orbel/image/image_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "orbel/core/memory.h"
#include "orbel/file/file_access.h"
#include "orbel/file/qva_writer.h"
#include "orbel/image/soft_image.h"
#include "platform/win/gdi/gdi_dib.h"
#include "tests/image/image_writers.h"

namespace orbel {
namespace {

using namespace orbel::testing;

// A 3 x 2 24-bit BMP whose pixels are base + 1..6 in reading order.
Bytes SmallBmp(uint32_t base = 0) {
  return EncodeBmp(BmpOf(3, 2, 24, {base + 1, base + 2, base + 3, base + 4, base + 5, base + 6}));
}

class ImageLoading : public LoggedTest {
 protected:
  void SetUp() override {
    LoggedTest::SetUp();
    SetUsePlainFileAccess(0);
    InitializeArchiveManager();
    SetFileAccessFunctions(nullptr);
    ClearUserImageLoaders();
    blocks_ = GetMemoryBlockCount();
  }
  void TearDown() override {
    FreeGraphImage(&image_);
    FreeGraphImage(&alpha_);
    DeleteAllSoftImages();
    ClearUserImageLoaders();
    InitializeArchiveManager();  // closes cached archives
    EXPECT_EQ(GetMemoryBlockCount(), blocks_);
    TerminateArchiveManager();
    SetFileAccessFunctions(nullptr);
    LoggedTest::TearDown();
  }

  GraphImage image_{};
  GraphImage alpha_{};
  int blocks_ = 0;
};

// User loaders that record what they were handed.
int g_calls = 0;
bool g_sawZeroedRecordAtStart = true;
int RefuseAfterDirtying(StreamData* s, GraphImage* image) {
  ++g_calls;
  GraphImage zero{};
  g_sawZeroedRecordAtStart &= memcmp(image, &zero, sizeof(zero)) == 0 && s->functions.Tell(s->handle) == 0;
  image->width = 99;  // leave a mess: the next loader must still get a zeroed record
  s->functions.Seek(s->handle, 0, 2);
  return -1;
}
int AcceptAsOnePixel(StreamData*, GraphImage* image) {
  ++g_calls;
  MakeImage32(1, 1, image);
  return 0;
}

TEST_F(ImageLoading, UserLoadersComeFirstAndEveryLoaderStartsClean) {
  g_calls = 0;
  ASSERT_EQ(AddUserImageLoader(RefuseAfterDirtying), 0);
  ASSERT_EQ(AddUserImageLoader(RefuseAfterDirtying), 0);
  ASSERT_EQ(LoadFromBytes(SmallBmp(), &image_), 0);
  EXPECT_EQ(g_calls, 2);
  EXPECT_TRUE(g_sawZeroedRecordAtStart);
  EXPECT_EQ(Pixels(image_), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6})) << "BMP still read from the start";
  FreeGraphImage(&image_);

  ASSERT_EQ(AddUserImageLoader(AcceptAsOnePixel), 0);
  ASSERT_EQ(LoadFromBytes(SmallBmp(), &image_), 0);
  EXPECT_EQ(image_.width, 1u) << "an accepting user loader stops the search before BMP";
  for (int i = 3; i < MaxUserImageLoaders; ++i) EXPECT_EQ(AddUserImageLoader(RefuseAfterDirtying), 0);
  EXPECT_EQ(AddUserImageLoader(RefuseAfterDirtying), -1) << "the table holds 10";

  ClearUserImageLoaders();
  g_calls = 0;
  ASSERT_EQ(AddUserImageLoader(RefuseAfterDirtying), 0);
  FreeGraphImage(&image_);
  EXPECT_EQ(LoadFromBytes(Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c'}, &image_), -1);
  EXPECT_EQ(g_calls, 1);
  EXPECT_EQ(image_.pixels, nullptr) << "the caller's record is not written on failure";
}

TEST_F(ImageLoading, FilesArchivesAndMirroring) {
  std::filesystem::create_directories("Data");
  WriteFileBytes("Data/pic.bmp", SmallBmp());
  ASSERT_EQ(LoadImageFromStream("./Data/pic.bmp", nullptr, 0, 0, 0, 1, &image_, nullptr, nullptr), 0);
  EXPECT_EQ(Pixels(image_), (std::vector<uint32_t>{3, 2, 1, 6, 5, 4})) << "mirrored left-right";
  FreeGraphImage(&image_);
  EXPECT_EQ(LoadImageFromStream("./Data/none.bmp", nullptr, 0, 0, 0, 0, &image_, nullptr, nullptr), -1);

  // The same picture (and a PNG) from an archive that stands in for the directory.
  WriteFileBytes("Data/pic.png", EncodePng({.width = 2, .colorType = 2, .rows = {1, 2, 3, 4, 5, 6}}));
  std::string error;
  ASSERT_EQ(WriteQvaArchiveFromDirectory("Data", "Data.QVA", {}, &error), 0) << error;
  std::filesystem::remove_all("Data");
  ASSERT_EQ(LoadImageFromStream("./Data/pic.bmp", nullptr, 0, 0, 0, 0, &image_, nullptr, nullptr), 0);
  EXPECT_EQ(Pixels(image_), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
  FreeGraphImage(&image_);
  ASSERT_EQ(LoadImageFromStream("Data\\PIC.PNG", nullptr, 0, 0, 0, 0, &image_, nullptr, nullptr), 0);
  EXPECT_EQ(Pixels(image_), (std::vector<uint32_t>{0x010203, 0x040506}));
}

TEST_F(ImageLoading, DibHandOff) {
  Bytes bmp = SmallBmp();
  plat::BITMAPINFO* header = nullptr;
  void* bits = nullptr;
  ASSERT_EQ(LoadImageFromStream(nullptr, bmp.data(), bmp.size(), 1, 1, 0, nullptr, &header, &bits), 0);
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header->bmiHeader.biBitCount, 24);
  EXPECT_EQ(header->bmiHeader.biHeight, -2) << "top-down";
  EXPECT_EQ(static_cast<uint8_t*>(bits)[12], 4) << "second row starts at 12 bytes";
  MemFree(bits);
  MemFree(header);

  // A 32-bit picture is converted into new 24-bit bits.
  Bytes bgra = EncodeBgra(0x08080808, 2, 1, {1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_EQ(LoadImageFromStream(nullptr, bgra.data(), bgra.size(), 1, 1, 0, nullptr, &header, &bits), 0);
  EXPECT_EQ(static_cast<uint8_t*>(bits)[3], 5);
  MemFree(bits);
  MemFree(header);
}

TEST_F(ImageLoading, AlphaCompanionNames) {
  struct Case {
    const char* name;
    const char* alpha;
  } cases[] = {
      {"./Material/Graphic/title.png", "./Material/Graphic/title_a.png"},
      {"./Data/pic", "./Data/pic_a"},
      {"pic", "pic_a"},
      {"a.b/c.d.bmp", "a.b/c.d_a.bmp"},
      {"dir.x\\file", "dir.x\\file_a"},
      {"dir/a.\x95\\b", "dir/a_a.\x95\\b"},  // a '\\' second byte is no separator
  };
  char out[260];
  for (const Case& c : cases) {
    ASSERT_EQ(MakeAlphaImageName(c.name, out, sizeof(out)), 0) << c.name;
    EXPECT_STREQ(out, c.alpha);
  }
  std::string tooLong(258, 'x');
  EXPECT_EQ(MakeAlphaImageName(tooLong.c_str(), out, sizeof(out)), -1);
}

TEST_F(ImageLoading, AlphaCompanionRoad) {
  WriteFileBytes("pic.bmp", SmallBmp());
  EXPECT_EQ(LoadImageFileWithAlpha("pic.bmp", nullptr, 0, 0, nullptr, 0, kAlphaFromFile, &image_, &alpha_, 0), 1);
  EXPECT_EQ(alpha_.pixels, nullptr) << "no companion: alpha record untouched";
  FreeGraphImage(&image_);

  WriteFileBytes("pic_a.bmp", SmallBmp(0x10));
  ASSERT_EQ(LoadImageFileWithAlpha("pic.bmp", nullptr, 0, 0, nullptr, 0, kAlphaFromFile, &image_, &alpha_, 1), 0);
  EXPECT_EQ(Pixels(image_), (std::vector<uint32_t>{3, 2, 1, 6, 5, 4}));
  EXPECT_EQ(Pixels(alpha_), (std::vector<uint32_t>{0x13, 0x12, 0x11, 0x16, 0x15, 0x14})) << "both mirrored";
  FreeGraphImage(&image_);
  FreeGraphImage(&alpha_);

  Bytes picture = SmallBmp(), alpha = SmallBmp(0x20);
  ASSERT_EQ(LoadImageFileWithAlpha(nullptr, picture.data(), picture.size(), 1, alpha.data(), alpha.size(),
                                   kAlphaFromMemory, &image_, &alpha_, 0),
            0);
  EXPECT_EQ(RawPixel(alpha_, 0, 0), 0x21u);
  FreeGraphImage(&image_);
  FreeGraphImage(&alpha_);
  EXPECT_EQ(LoadImageFileWithAlpha(nullptr, picture.data(), picture.size(), 1, nullptr, 0, kAlphaFromMemory, &image_,
                                   &alpha_, 0),
            1);
  FreeGraphImage(&image_);
  EXPECT_EQ(LoadImageFileWithAlpha("pic.bmp", nullptr, 0, 0, nullptr, 0, 7, &image_, &alpha_, 0), 1);
  FreeGraphImage(&image_);
  EXPECT_EQ(LoadImageFileWithAlpha("nothing.bmp", nullptr, 0, 0, nullptr, 0, kAlphaFromFile, &image_, &alpha_, 0), -1);
  EXPECT_EQ(image_.pixels, nullptr);
}

TEST_F(ImageLoading, SoftImages) {
  WriteFileBytes("pic.bmp", SmallBmp());
  int a = LoadSoftImage("pic.bmp");
  int b = MakeSoftImage(4, 4, 1);
  int c = MakeSoftImage(2, 2, 0);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(a & 0x78000000, 0x70000000);
  EXPECT_EQ(GetSoftImageCount(), 3);
  int w = 0, h = 0;
  EXPECT_EQ(GetSoftImageSize(a, &w, &h), 0);
  EXPECT_EQ(w * 10 + h, 32);
  EXPECT_EQ(RawPixel(*GetSoftImage(b), 3, 3), 0u);

  EXPECT_EQ(DeleteSoftImageHandle(b), 0);
  EXPECT_EQ(DeleteSoftImageHandle(b), -1) << "twice";
  EXPECT_EQ(GetSoftImage(b), nullptr);
  EXPECT_EQ(DeleteSoftImageHandle(a ^ 0x00010000), -1) << "stale check number";
  EXPECT_EQ(DeleteSoftImageHandle(c & ~0x70000000), -1) << "wrong kind";
  EXPECT_EQ(DeleteSoftImageHandle(-1), -1);
  EXPECT_EQ(LoadSoftImage("missing.bmp"), -1);
  EXPECT_EQ(GetSoftImageCount(), 2);
  EXPECT_EQ(DeleteAllSoftImages(), 0);
  EXPECT_EQ(GetSoftImageCount(), 0);
  EXPECT_EQ(DeleteAllSoftImages(), 0);
}

}  // namespace
}  // namespace orbel
