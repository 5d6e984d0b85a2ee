// Picture loading: the loader dispatch over a stream (user loaders first, then BMP, JPEG, PNG, BGRA,
// TGA, DDS), loading from a file of the file-access table or from memory with optional mirroring or DIB
// hand-off, and the road that also loads a picture's "_a" alpha companion.
// Depends on the stream sets (orbel/file), color_data and color_convert.
#pragma once

#include <cstddef>

#include "orbel/file/stream.h"
#include "orbel/image/color_data.h"

namespace plat {
struct BITMAPINFO;
}

namespace orbel {

// A loader: 0 when it accepted the stream and filled the (zeroed) record, anything else to refuse.
// It may read from any position; the dispatcher rewinds the stream before each loader.
using ImageLoaderFunction = int (*)(StreamData* stream, GraphImage* image);

constexpr int MaxUserImageLoaders = 10;

// User loaders are tried before the built-in ones, in the order added. -1 when the table is full.
int AddUserImageLoader(ImageLoaderFunction loader);
// Removes every user loader. Returns 0.
int ClearUserImageLoaders();

// The built-in loaders.
int LoadBmpImage(StreamData* stream, GraphImage* image);
int LoadJpegImage(StreamData* stream, GraphImage* image);
int LoadPngImage(StreamData* stream, GraphImage* image);
int LoadBgraImage(StreamData* stream, GraphImage* image);
int LoadTgaImage(StreamData* stream, GraphImage* image);
int LoadDdsImage(StreamData* stream, GraphImage* image);

// Offers the stream to every loader in turn (rewound, record zeroed each time). 0 when one accepted,
// -1 when all refused.
int DispatchImageLoaders(StreamData* stream, GraphImage* image);

// Loads a picture from the file `fileName` (fromMemory 0) or from `memory`/`memorySize` (fromMemory 1).
// mirror 1: the picture comes back mirrored left-right. wantDib 1: the picture is handed over as a DIB
// (a BITMAPINFO from MemAlloc in *dibHeader, the bits in *dibBits: the caller frees both) and `image`
// is not written; otherwise `image` receives the picture and owns its pixels. 0, or -1 on failure.
int LoadImageFromStream(const char* fileName, const void* memory, size_t memorySize, int fromMemory, int wantDib,
                        int mirror, GraphImage* image, plat::BITMAPINFO** dibHeader, void** dibBits);

// Alpha modes of LoadImageFileWithAlpha.
constexpr int kAlphaFromFile = 0;    // the file named by the "_a" rule
constexpr int kAlphaFromMemory = 1;  // the alpha memory block

// Loads a picture and its alpha picture. -1: the picture itself failed (nothing returned); 0: both
// loaded; 1: the picture loaded without an alpha picture (`alphaImage` untouched).
int LoadImageFileWithAlpha(const char* fileName, const void* memory, size_t memorySize, int fromMemory,
                           const void* alphaMemory, size_t alphaSize, int alphaMode, GraphImage* image,
                           GraphImage* alphaImage, int mirror);

// The alpha companion's name: the name up to the last '.' of its file-name part, "_a", then the rest
// ("title.png" -> "title_a.png"; "./Data/pic" -> "./Data/pic_a"). -1 when it does not fit `size`.
int MakeAlphaImageName(const char* name, char* out, size_t size);

}  // namespace orbel
