// Soft images: decoded pictures (GraphImage) kept in system memory behind handles of kind 0x70000000,
// so callers can hold pictures without making graphs of them. Library shut-down deletes them all.
// Depends on the handle-table scheme, color_data and the picture loaders.
#pragma once

#include <cstdint>

#include "orbel/image/color_data.h"

namespace orbel {

// A soft image's record: the picture and the check number of its handle.
struct SoftImageRecord {
  GraphImage image;
  uint32_t check;
};

// Takes ownership of a decoded picture (the caller's record is zeroed) and returns its handle, or -1
// when the table is full or memory runs out (the picture is then freed).
int AddSoftImage(GraphImage* image);
// Loads a picture file (through the file-access table) into a new soft image; handle or -1.
int LoadSoftImage(const char* fileName);
// A new A8R8G8B8 soft image (with alpha) or X8R8G8B8 one, cleared to 0; handle or -1.
int MakeSoftImage(int width, int height, int withAlpha);
// The picture of a live handle, or null.
GraphImage* GetSoftImage(int handle);
// Size of a soft image; 0, or -1 for a bad handle.
int GetSoftImageSize(int handle, int* width, int* height);

// Frees the picture and the record; 0, or -1 when the handle is not a live soft-image handle.
int DeleteSoftImageHandle(int handle);
// Deletes every soft image still held. Returns 0.
int DeleteAllSoftImages();

// Live soft images (for shut-down checks and tests).
int GetSoftImageCount();

}  // namespace orbel
