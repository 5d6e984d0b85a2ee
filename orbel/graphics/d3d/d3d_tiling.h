// How a texture graph is cut into power-of-two texture tiles: the tile sides along one axis, and the
// whole plan of a graph (positions, texture sizes, the part of each tile the graph uses, corner flags).
// Pure arithmetic over the device's texture size limits; making the tiles is d3d_tiles.cpp's.
#pragma once

#include <cstdint>

namespace orbel {

constexpr int kMaxGraphTiles = 64;  // a graph's parts list

// The texture sizes the tiling may use, set when the device starts.
struct TextureTileLimits {
  int minSide;      // smaller of the device's minimum texture width and height (32 when it reports 0)
  int maxSide;      // smaller of its maximum texture width and height (256 when it reports 0)
  int screenWidth;  // pixels; tiles of a graph narrower than the screen may grow to cover it
  bool squareOnly;  // the device takes square textures only
};

// One tile of a graph's plan.
struct GraphTilePlan {
  int x, y;              // position inside the graph, pixels
  int textureWidth;      // power-of-two texture size
  int textureHeight;
  int usedWidth;         // the part the graph uses, never negative
  int usedHeight;
  uint8_t cornerFlags[4];  // TL, TR, BL, BR: 1 when on or above the graph's bottom-left to top-right diagonal
};

// Tile sides along one axis of `size` pixels, in order, written to `sides` (room for `capacity`)
// when it is given. Returns the number of tiles, which may exceed the capacity.
int CalcTextureDivision(int size, int* sides, int capacity, int single, const TextureTileLimits& limits);

// The tiles of a width x height graph in row-major order (then the squares a square-only device
// adds). `single` asks for one tile per axis where the limits allow. Returns the tile count, or -1
// when more than kMaxGraphTiles tiles would be needed (nothing is written past `out`).
int PlanGraphTiles(int width, int height, int single, const TextureTileLimits& limits,
                   GraphTilePlan out[kMaxGraphTiles]);

// Corner flags of a tile at (x, y) using usedWidth x usedHeight inside a graph of the given size:
// flag n is 1 when the corner lies on or above the diagonal from bottom-left to top-right.
void SetTileCornerFlags(float x, float y, float usedWidth, float usedHeight, int graphWidth, int graphHeight,
                        uint8_t flags[4]);

}  // namespace orbel
