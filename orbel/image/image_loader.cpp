// Loader dispatch, loading from files or memory (with mirroring and DIB hand-off), and the alpha
// companion road. Depends on the file-access table and stream sets, color_convert and the loaders.
// Logs nothing itself: loaders and the file layer log their own failures.
#include "orbel/image/image_loader.h"

#include <cstring>  // memset, strlen, memcpy

#include "orbel/core/memory.h"
#include "orbel/core/string_routines.h"
#include "orbel/file/file_access.h"
#include "orbel/image/color_convert.h"
#include "platform/win/gdi/gdi_dib.h"
#include "platform/win/kernel/win_types.h"

namespace orbel {

namespace {

struct UserImageLoaderTable {
  ImageLoaderFunction loaders[MaxUserImageLoaders];
  int count;
};
UserImageLoaderTable g_userLoaders = {};

// The built-in loaders, in the order they are offered a stream: strong signatures first, DDS last.
const ImageLoaderFunction ImageLoaderTable[] = {LoadBmpImage,  LoadJpegImage, LoadPngImage, LoadBgraImage,
                                                LoadTgaImage,  LoadDdsImage,  nullptr};

bool TryLoader(ImageLoaderFunction loader, StreamData* stream, GraphImage* image) {
  stream->functions.Seek(stream->handle, 0, 0);
  memset(image, 0, sizeof(*image));
  return loader(stream, image) == 0;
}

// Mirrors the decoded picture into a new block through the converter; frees the old block.
int MirrorImage(GraphImage* image) {
  uint64_t bytes = static_cast<uint64_t>(image->pitch) * image->height;
  if (bytes > 0xFFFFFFFFu) return -1;
  void* copy = MemAlloc(static_cast<uint32_t>(bytes ? bytes : 1), "mirror", __LINE__);
  if (copy == nullptr) return -1;
  plat::RECT rect{0, 0, static_cast<plat::LONG>(image->width), static_cast<plat::LONG>(image->height)};
  int pitch = static_cast<int>(image->pitch);
  // Only -1 is a failure: the palette road answers the largest index it copied.
  if (ConvertImageColor(copy, pitch, &image->format, image->pixels, pitch, &image->format, nullptr, 0, nullptr, 0,
                        0, &rect, 1, 0, 0, 0, 0, 0, 0, 0) == -1) {
    MemFree(copy);
    return -1;
  }
  MemFree(image->pixels);
  image->pixels = copy;
  return 0;
}

}  // namespace

// ---- User loaders -----------------------------------------------------------------------------------

int AddUserImageLoader(ImageLoaderFunction loader) {
  if (loader == nullptr || g_userLoaders.count >= MaxUserImageLoaders) return -1;
  g_userLoaders.loaders[g_userLoaders.count++] = loader;
  return 0;
}

int ClearUserImageLoaders() {
  g_userLoaders = {};
  return 0;
}

// ---- Dispatch ---------------------------------------------------------------------------------------

int DispatchImageLoaders(StreamData* stream, GraphImage* image) {
  for (int i = 0; i < g_userLoaders.count; ++i) {
    if (TryLoader(g_userLoaders.loaders[i], stream, image)) return 0;
  }
  for (const ImageLoaderFunction* l = ImageLoaderTable; *l != nullptr; ++l) {
    if (TryLoader(*l, stream, image)) return 0;
  }
  return -1;
}

int LoadImageFromStream(const char* fileName, const void* memory, size_t memorySize, int fromMemory, int wantDib,
                        int mirror, GraphImage* image, plat::BITMAPINFO** dibHeader, void** dibBits) {
  StreamData stream;
  if (fromMemory == 0) {
    if (fileName == nullptr) return -1;
    FileHandle file = FileAccessOpen(fileName, 0, 1, 0);
    if (file == 0) return -1;
    stream.functions = GetFileStreamFunctions();
    stream.handle = file;
  } else {
    if (memory == nullptr) return -1;
    StreamHandle mem = MemStreamOpen(memory, memorySize);
    if (mem == 0) return -1;
    stream.functions = GetMemStreamFunctions();
    stream.handle = mem;
  }

  GraphImage decoded;
  int result = DispatchImageLoaders(&stream, &decoded);
  if (fromMemory == 0) {
    FileAccessClose(stream.handle);
  } else {
    stream.functions.Close(stream.handle);
  }
  if (result != 0) return -1;

  if (mirror == 1 && MirrorImage(&decoded) != 0) {
    FreeGraphImage(&decoded);
    return -1;
  }

  if (wantDib != 0) {
    if (dibHeader == nullptr || dibBits == nullptr) {
      FreeGraphImage(&decoded);
      return -1;
    }
    auto* header = static_cast<plat::BITMAPINFO*>(MemAlloc(sizeof(plat::BITMAPINFO), "DIB header", __LINE__));
    if (header == nullptr) {
      FreeGraphImage(&decoded);
      return -1;
    }
    void* bits = nullptr;
    int made = ConvertImageToDIBBits(&decoded, header, &bits, 0, 0);
    if (made == -1) {
      MemFree(header);
      FreeGraphImage(&decoded);
      return -1;
    }
    if (made == 1) FreeGraphImage(&decoded);  // the bits are a new block; else they are the pixels
    *dibHeader = header;
    *dibBits = bits;
    return 0;
  }

  if (image != nullptr) {
    *image = decoded;
  } else {
    FreeGraphImage(&decoded);
  }
  return 0;
}

// ---- Alpha companion --------------------------------------------------------------------------------

int MakeAlphaImageName(const char* name, char* out, size_t size) {
  // The dot is searched in the file-name part only, so dotted directories ("./Data/pic") stay intact.
  // Shift-JIS aware: a '\\' may be the second byte of a double-byte character.
  size_t length = strlen(name);
  size_t nameStart = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsShiftJisLead(c) && i + 1 < length) {
      ++i;
      continue;
    }
    if (c == '/' || c == '\\') nameStart = i + 1;
  }
  size_t dot = length;
  for (size_t i = nameStart; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (IsShiftJisLead(c) && i + 1 < length) {
      ++i;
      continue;
    }
    if (c == '.') dot = i;
  }
  if (length + 3 > size) return -1;
  memcpy(out, name, dot);
  memcpy(out + dot, "_a", 2);
  memcpy(out + dot + 2, name + dot, length - dot + 1);
  return 0;
}

int LoadImageFileWithAlpha(const char* fileName, const void* memory, size_t memorySize, int fromMemory,
                           const void* alphaMemory, size_t alphaSize, int alphaMode, GraphImage* image,
                           GraphImage* alphaImage, int mirror) {
  if (LoadImageFromStream(fileName, memory, memorySize, fromMemory, 0, mirror, image, nullptr, nullptr) == -1) {
    return -1;
  }
  if (alphaMode == kAlphaFromMemory) {
    if (alphaMemory == nullptr) return 1;
    return LoadImageFromStream(nullptr, alphaMemory, alphaSize, 1, 0, mirror, alphaImage, nullptr, nullptr) == 0
               ? 0
               : 1;
  }
  if (alphaMode != kAlphaFromFile || fileName == nullptr) return 1;
  char alphaName[kFilePathMax];
  if (MakeAlphaImageName(fileName, alphaName, sizeof(alphaName)) != 0) return 1;
  return LoadImageFromStream(alphaName, nullptr, 0, 0, 0, mirror, alphaImage, nullptr, nullptr) == 0 ? 0 : 1;
}

}  // namespace orbel
