// The public forwarders of the image subsystem: they pass their arguments unchanged and return the
// implementation's result.
#include "orbel.h"

#include "orbel/image/color_data.h"

int BuildColorFormat(orbel::ColorData* format, int bitDepth, uint32_t redMask, uint32_t greenMask,
                     uint32_t blueMask, uint32_t alphaMask) {
  return orbel::BuildColorFormat(format, bitDepth, redMask, greenMask, blueMask, alphaMask);
}

int MakeImage32(int width, int height, orbel::GraphImage* image) {
  return orbel::MakeImage32(width, height, image);
}

int FreeGraphImage(orbel::GraphImage* image) { return orbel::FreeGraphImage(image); }
