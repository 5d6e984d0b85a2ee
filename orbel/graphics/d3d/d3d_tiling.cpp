// Tile sides of texture graphs and the tile plan of a graph.
#include "orbel/graphics/d3d/d3d_tiling.h"

#include <cstddef>
#include <vector>

namespace orbel {

namespace {

int SmallestPowerOfTwoAtLeast(int n) {
  int p = 8;
  while (p < n) p *= 2;
  return p;
}

// Appends a side when there is room; the count goes on either way.
void Put(int* sides, int capacity, int* count, int side) {
  if (sides != nullptr && *count < capacity) sides[*count] = side;
  ++*count;
}

}  // namespace

int CalcTextureDivision(int size, int* sides, int capacity, int single, const TextureTileLimits& limits) {
  const int floor = limits.minSide < 32 ? 32 : limits.minSide;
  int count = 0;
  if (size <= floor) {
    int side = floor;
    while (side > limits.minSide && side / 2 >= size) side /= 2;
    Put(sides, capacity, &count, side);
    return count;
  }

  int cap = limits.maxSide;
  if (single != 1 && limits.screenWidth <= cap) cap = SmallestPowerOfTwoAtLeast(limits.screenWidth);
  int side = cap;
  while (side > floor && side > size) side /= 2;

  if ((single == 1 || size < limits.screenWidth) && side * 2 <= cap) {
    Put(sides, capacity, &count, side >= size ? side : side * 2);
    return count;
  }

  // Greedy: the largest side that fits what is left, doubling the last tile when a little is left.
  // The sides are kept whole here so that the merge below reads them whatever the caller's capacity.
  std::vector<int> local;
  int rest = size;
  for (;;) {
    local.push_back(side);
    rest -= side;
    if (rest < 1) break;
    if (rest > side * 3 / 4 && side < cap) {
      local.back() = side * 2;
      break;
    }
    while (rest < side && side > floor) side /= 2;
  }
  std::size_t n = local.size();
  if (n >= 2 && local[n - 1] == local[n - 2] && local[n - 1] * 2 <= cap) {
    local[n - 2] *= 2;
    --n;
  }
  for (std::size_t i = 0; i < n; ++i) Put(sides, capacity, &count, local[i]);
  return count;
}

void SetTileCornerFlags(float x, float y, float usedWidth, float usedHeight, int graphWidth, int graphHeight,
                        uint8_t flags[4]) {
  const double ratio = static_cast<double>(graphHeight) / graphWidth;
  const float xs[4] = {x, x + usedWidth, x, x + usedWidth};
  const float ys[4] = {y, y, y + usedHeight, y + usedHeight};
  for (int i = 0; i < 4; ++i) {
    flags[i] = (graphHeight - static_cast<double>(xs[i]) * ratio >= static_cast<double>(ys[i])) ? 1 : 0;
  }
}

int PlanGraphTiles(int width, int height, int single, const TextureTileLimits& limits,
                   GraphTilePlan out[kMaxGraphTiles]) {
  int columns[kMaxGraphTiles];
  int rows[kMaxGraphTiles];
  const int columnCount = CalcTextureDivision(width, columns, kMaxGraphTiles, single, limits);
  const int rowCount = CalcTextureDivision(height, rows, kMaxGraphTiles, single, limits);
  if (columnCount * rowCount > kMaxGraphTiles) return -1;

  int count = 0;
  int y = 0;
  for (int r = 0; r < rowCount; ++r) {
    int x = 0;
    for (int c = 0; c < columnCount; ++c) {
      out[count++] = GraphTilePlan{x, y, columns[c], rows[r], 0, 0, {}};
      x += columns[c];
    }
    y += rows[r];
  }

  if (limits.squareOnly) {
    // A long tile becomes a square of its shorter side, and the rest of it squares appended after the
    // list. Squares that would start at or past the graph's edge are not made: they would hold nothing
    // and give negative used sizes.
    const int cut = count;
    for (int i = 0; i < cut; ++i) {
      GraphTilePlan& t = out[i];
      if (t.textureWidth == t.textureHeight) continue;
      const bool wide = t.textureWidth > t.textureHeight;
      const int side = wide ? t.textureHeight : t.textureWidth;
      const int n = (wide ? t.textureWidth : t.textureHeight) / side;
      t.textureWidth = side;
      t.textureHeight = side;
      for (int k = 1; k < n; ++k) {
        const int sx = wide ? t.x + k * side : t.x;
        const int sy = wide ? t.y : t.y + k * side;
        if (sx >= width || sy >= height) break;
        if (count == kMaxGraphTiles) return -1;
        out[count++] = GraphTilePlan{sx, sy, side, side, 0, 0, {}};
      }
    }
  }

  for (int i = 0; i < count; ++i) {
    GraphTilePlan& t = out[i];
    t.usedWidth = width - t.x < t.textureWidth ? width - t.x : t.textureWidth;
    t.usedHeight = height - t.y < t.textureHeight ? height - t.y : t.textureHeight;
    if (t.usedWidth < 0) t.usedWidth = 0;
    if (t.usedHeight < 0) t.usedHeight = 0;
    SetTileCornerFlags(static_cast<float>(t.x), static_cast<float>(t.y), static_cast<float>(t.usedWidth),
                       static_cast<float>(t.usedHeight), width, height, t.cornerFlags);
  }
  return count;
}

}  // namespace orbel
