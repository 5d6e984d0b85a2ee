// The soft-image handle table and its operations. Depends on handle_table, the tracked allocator,
// color_data and the loaders. Logs nothing; invalid handles give -1 and change nothing.
#include "orbel/image/soft_image.h"

#include <cstring>  // memset

#include "orbel/core/memory.h"
#include "orbel/graphics/handle_table.h"
#include "orbel/image/image_loader.h"

namespace orbel {

namespace {
using SoftImageTable = HandleTable<SoftImageRecord, kHandleKindSoftImage, kSoftImageHandleLimit>;
SoftImageTable g_softImages = {};
}  // namespace

int AddSoftImage(GraphImage* image) {
  if (g_softImages.IsFull()) {
    FreeGraphImage(image);
    return -1;
  }
  auto* record = static_cast<SoftImageRecord*>(MemCalloc(sizeof(SoftImageRecord), "SoftImage", __LINE__));
  if (record == nullptr) {
    FreeGraphImage(image);
    return -1;
  }
  record->image = *image;
  memset(image, 0, sizeof(*image));
  return g_softImages.Insert(record);
}

int LoadSoftImage(const char* fileName) {
  GraphImage image;
  if (LoadImageFromStream(fileName, nullptr, 0, 0, 0, 0, &image, nullptr, nullptr) != 0) return -1;
  return AddSoftImage(&image);
}

int MakeSoftImage(int width, int height, int withAlpha) {
  if (width <= 0 || height <= 0) return -1;
  GraphImage image{};
  int made = withAlpha ? MakeImage32Alpha(width, height, &image) : MakeImage32(width, height, &image);
  if (made != 0) {
    FreeGraphImage(&image);
    return -1;
  }
  memset(image.pixels, 0, static_cast<size_t>(image.pitch) * image.height);
  return AddSoftImage(&image);
}

GraphImage* GetSoftImage(int handle) {
  SoftImageRecord* record = g_softImages.Lookup(handle);
  return record ? &record->image : nullptr;
}

int GetSoftImageSize(int handle, int* width, int* height) {
  SoftImageRecord* record = g_softImages.Lookup(handle);
  if (record == nullptr) return -1;
  if (width) *width = static_cast<int>(record->image.width);
  if (height) *height = static_cast<int>(record->image.height);
  return 0;
}

int DeleteSoftImageHandle(int handle) {
  SoftImageRecord* record = g_softImages.Lookup(handle);
  if (record == nullptr) return -1;
  FreeGraphImage(&record->image);
  g_softImages.Remove(handle);
  MemFree(record);
  return 0;
}

int DeleteAllSoftImages() {
  g_softImages.DeleteAll([](int32_t handle) { DeleteSoftImageHandle(handle); });
  return 0;
}

int GetSoftImageCount() { return static_cast<int>(g_softImages.count); }

}  // namespace orbel
