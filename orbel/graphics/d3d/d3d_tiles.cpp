// Texture tiles: the tile table, cutting a graph into tiles, deleting them, moving image pixels and
// movie frames into their textures, restoring lost textures, and the texture pixel-format records.
#include <algorithm>
#include <cstring>

#include "orbel/core/library.h"
#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/d3d/d3d_internal.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/image/color_convert.h"
#include "orbel/movie/movie_system.h"
#include "platform/ddraw/ddraw.h"

namespace orbel {

Surface3DTable gSurface3DTable;

namespace {

void BuildTileVertices(Surface3DDataRecord* t, int textureWidth, int textureHeight) {
  const float invW = 1.0f / static_cast<float>(textureWidth);
  const float invH = 1.0f / static_cast<float>(textureHeight);
  for (int i = 0; i < 4; ++i) {
    const bool right = (i & 1) != 0;
    const bool bottom = (i & 2) != 0;
    VertexTex1& v = t->vertices[i];
    v.x = static_cast<float>(t->graphX + (right ? t->width : 0));
    v.y = static_cast<float>(t->graphY + (bottom ? t->height : 0));
    v.z = 0.0f;
    v.rhw = 1.0f;
    v.diffuse = 0xFFFFFFFFu;
    v.u = static_cast<float>(t->textureX + (right ? t->width : 0)) * invW;
    v.v = static_cast<float>(t->textureY + (bottom ? t->height : 0)) * invH;
  }
}

const ColorData* TileColorData(const Surface3DDataRecord* tile) {
  const SurfaceDataRecord* d = GetSurfaceDataRecord(tile->surfaceData);
  return d != nullptr ? D3D_GetTextureFormatInfo(static_cast<int>(d->formatCode)) : nullptr;
}

// A system-memory texture of a tile's size and format, for transfers that cannot lock the tile.
plat::IDirectDrawSurface7* CreateWorkTexture(int width, int height, int formatCode) {
  const plat::DDPIXELFORMAT* pf = D3D_GetTextureDDPixelFormat(formatCode);
  if (pf == nullptr || gScreen.directDraw == nullptr) return nullptr;
  plat::DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof(desc);
  desc.dwFlags = plat::DDSD_CAPS | plat::DDSD_WIDTH | plat::DDSD_HEIGHT | plat::DDSD_PIXELFORMAT;
  desc.ddsCaps.dwCaps = plat::DDSCAPS_TEXTURE | plat::DDSCAPS_SYSTEMMEMORY;
  desc.dwWidth = static_cast<plat::DWORD>(width);
  desc.dwHeight = static_cast<plat::DWORD>(height);
  desc.ddpfPixelFormat = *pf;
  plat::IDirectDrawSurface7* surface = nullptr;
  if (gScreen.directDraw->CreateSurface(&desc, &surface, nullptr) != plat::DD_OK) return nullptr;
  return surface;
}

}  // namespace

// ---- Formats ----------------------------------------------------------------------------------------

int TextureFormatCode(const GraphFormatBlock& f) {
  const int d = f.colorBitDepth != 16 ? 1 : 0;
  if (f.drawValid) return (f.alpha || f.alphaTest) ? 8 : 6 + d;
  if (f.alpha) return 2 + d;
  if (f.alphaTest) return 4 + d;
  return d;
}

const TexturePixelFormatRecord* D3D_GetTextureFormatByIndex(int n) {
  if (!D3DStarted() || n < 0 || n >= kTextureFormatCount) return nullptr;
  const TexturePixelFormatRecord* r = &gD3D.formats[n];
  return r->colorData.bitDepth != 0 ? r : nullptr;
}

const ColorData* D3D_GetTextureFormatInfo(int n) {
  const TexturePixelFormatRecord* r = D3D_GetTextureFormatByIndex(n);
  return r != nullptr ? &r->colorData : nullptr;
}

const plat::DDPIXELFORMAT* D3D_GetTextureDDPixelFormat(int n) {
  const TexturePixelFormatRecord* r = D3D_GetTextureFormatByIndex(n);
  return r != nullptr ? &r->format : nullptr;
}

const TexturePixelFormatRecord* D3D_GetTextureFormatForFlags(int alphaChannel, int alphaTest, int bits32,
                                                             int drawValid) {
  GraphFormatBlock f{};
  f.alpha = static_cast<uint8_t>(alphaChannel != 0);
  f.alphaTest = static_cast<uint8_t>(alphaTest != 0);
  f.drawValid = static_cast<uint8_t>(drawValid != 0);
  f.colorBitDepth = bits32 ? 32 : 16;
  return D3D_GetTextureFormatByIndex(TextureFormatCode(f));
}

TextureTileLimits CurrentTileLimits() {
  int screenWidth = 0;
  GetScreenPixelSize(&screenWidth, nullptr);
  TextureTileLimits limits{};
  limits.minSide = gD3D.minTextureSide;
  limits.maxSide = gD3D.maxTextureSide;
  limits.screenWidth = screenWidth > 0 ? screenWidth : 640;
  limits.squareOnly = (gD3D.deviceDesc.dpcTriCaps.dwTextureCaps & plat::D3DPTEXTURECAPS_SQUAREONLY) != 0;
  return limits;
}

// ---- The tile table ---------------------------------------------------------------------------------

int AddSurface3DData(int textureWidth, int textureHeight, int graphX, int graphY, int width, int height, int rootX,
                     int rootY, int graph, const Surface3DDataRecord* parent, int parentTextureX, int parentTextureY,
                     const GraphFormatBlock* format) {
  if (!D3DStarted()) return LogAdd("３Ｄグラフィックエンジンが初期化されていません\n");
  if (gSurface3DTable.IsFull()) return LogAdd("３Ｄグラフィックの数が許容量を越えました。\n");
  auto* t = static_cast<Surface3DDataRecord*>(MemCalloc(sizeof(Surface3DDataRecord), "Surface3DData", __LINE__));
  if (t == nullptr) return LogAdd("メモリの確保に失敗しました in AddSurface3DData \n");
  int surfaceData = -1;
  if (parent != nullptr) {
    surfaceData = parent->surfaceData;
    if (AddSurfaceDataRef(surfaceData) < 0) surfaceData = -1;
  } else {
    surfaceData = AddSurfaceData(1, textureWidth, textureHeight, gDrawState.transColor, format);
  }
  if (surfaceData == -1) {
    MemFree(t);
    return -1;
  }
  t->graphX = static_cast<uint16_t>(graphX);
  t->graphY = static_cast<uint16_t>(graphY);
  t->textureX = static_cast<uint16_t>(parentTextureX + (parent != nullptr ? parent->textureX : 0));
  t->textureY = static_cast<uint16_t>(parentTextureY + (parent != nullptr ? parent->textureY : 0));
  t->rootX = static_cast<uint16_t>(rootX + (parent != nullptr ? parent->rootX : 0));
  t->rootY = static_cast<uint16_t>(rootY + (parent != nullptr ? parent->rootY : 0));
  t->width = static_cast<uint16_t>(width);
  t->height = static_cast<uint16_t>(height);
  t->graph = graph;
  t->surfaceData = surfaceData;
  const SurfaceDataRecord* d = GetSurfaceDataRecord(surfaceData);
  BuildTileVertices(t, d->width, d->height);
  return gSurface3DTable.Insert(t);
}

int DeleteSurface3DData(int handle) {
  Surface3DDataRecord* t = gSurface3DTable.Lookup(handle);
  if (t == nullptr) return -1;
  if (ReleaseSurfaceDataRef(t->surfaceData) == 0) DeleteSurfaceData(t->surfaceData);
  gSurface3DTable.Remove(handle);
  if (t->deleteNotify != nullptr) *t->deleteNotify = 1;
  MemFree(t);
  return 0;
}

int UnlockSurface3DData(int handle, const plat::RECT* rect) {
  const Surface3DDataRecord* t = gSurface3DTable.Lookup(handle);
  return t == nullptr ? -1 : UnlockSurfaceData(t->surfaceData, rect);
}

// ---- Graphs -----------------------------------------------------------------------------------------

int D3D_CreateGraphSurface3D(GraphRecord* g) {
  if (!D3DStarted()) return -1;
  const int single = (g->format.drawValid || g->format.alphaForce) ? 1 : 0;
  GraphTilePlan plan[kMaxGraphTiles];
  const int count = PlanGraphTiles(g->width, g->height, single, CurrentTileLimits(), plan);
  if (count < 0) {
    LogFmtAdd("エラー：画像の分割数が最大数の %d を超えました", kMaxGraphTiles);
    return -1;
  }
  for (int k = 0; k < count; ++k) {
    const GraphTilePlan& p = plan[k];
    const int h = AddSurface3DData(p.textureWidth, p.textureHeight, p.x, p.y, p.usedWidth, p.usedHeight, p.x, p.y,
                                   g->handle, nullptr, 0, 0, &g->format);
    if (h == -1) {
      // The tiles made so far would otherwise stay in the table, counted nowhere.
      for (int i = 0; i < k; ++i) DeleteSurface3DData(g->parts[i]);
      g->partCount = 0;
      return -1;
    }
    g->parts[k] = h;
    memcpy(GetSurface3DData(h)->cornerFlags, p.cornerFlags, 4);
  }
  g->partCount = static_cast<uint32_t>(count);
  return 0;
}

int D3D_DeleteGraphSurface3D(GraphRecord* g) {
  if (!D3DStarted() && gSurface3DTable.count == 0) return -1;
  for (uint32_t i = 0; i < g->partCount; ++i) DeleteSurface3DData(g->parts[i]);
  g->partCount = 0;
  return 0;
}

// ---- Transfers --------------------------------------------------------------------------------------

int D3D_TransferImageToTexture(const GraphImage* image, const GraphImage* alphaImage, const plat::RECT* srcRect,
                               int textureX, int textureY, int tile, int alphaForce) {
  if (!D3DStarted()) return -1;
  D3D_FlushVertex();
  Surface3DDataRecord* t = GetSurface3DData(tile);
  if (t == nullptr) return -1;
  SurfaceDataRecord* d = GetSurfaceDataRecord(t->surfaceData);
  const ColorData* format = TileColorData(t);
  if (d == nullptr || format == nullptr) return -1;
  const int w = srcRect->right - srcRect->left;
  const int h = srcRect->bottom - srcRect->top;
  if (w <= 0 || h <= 0) return 0;
  plat::RECT dest = {textureX, textureY, textureX + w, textureY + h};

  int pitch = 0;
  void* pixels = nullptr;
  plat::IDirectDrawSurface7* work = nullptr;
  int destX = 0;
  int destY = 0;
  const int locked = LockGraphSurface(t->surfaceData, &pitch, &pixels, 1, &dest, nullptr);
  if (locked == -2) {
    // Someone else holds the texture locked: its pixels are theirs until they unlock, and a Load into
    // it would be refused. Give the lock count back and leave the texture alone.
    UnlockSurface3DData(tile, &dest);
    return -1;
  }
  if (locked < 0) {
    work = CreateWorkTexture(d->width, d->height, static_cast<int>(d->formatCode));
    if (work == nullptr) ErrorExitLibrary("テンポラリテクスチャサーフェスの作成に失敗しました");
    plat::DDSURFACEDESC2 desc{};
    desc.dwSize = sizeof(desc);
    if (work->Lock(nullptr, &desc, plat::DDLOCK_WAIT | plat::DDLOCK_WRITEONLY, nullptr) != plat::DD_OK) {
      work->Release();
      return -1;
    }
    pixels = desc.lpSurface;
    pitch = static_cast<int>(desc.lPitch);
    destX = textureX;
    destY = textureY;
  }
  const bool transparent = format->alphaWidth != 0 && alphaImage == nullptr && image->format.alphaWidth == 0;
  ConvertImageColor(pixels, pitch, format, image->pixels, static_cast<int>(image->pitch), &image->format,
                    alphaImage != nullptr ? alphaImage->pixels : nullptr,
                    alphaImage != nullptr ? static_cast<int>(alphaImage->pitch) : 0,
                    alphaImage != nullptr ? &alphaImage->format : nullptr, destX, destY, srcRect, 0, transparent ? 1 : 0,
                    d->transColor, GetImageConvertOption(), 0, alphaForce, 0, 0);
  if (work == nullptr) {
    UnlockSurface3DData(tile, &dest);
  } else {
    work->Unlock(nullptr);
    D3DDeviceRecord* dev = CurrentDevice();
    d->surface->Restore();
    plat::POINT at = {textureX, textureY};
    if (dev == nullptr || dev->device->Load(d->surface, &at, work, &dest, 0) != plat::D3D_OK) {
      work->Release();
      ErrorExitLibrary("作業用テクスチャサーフェスから描画用テクスチャサーフェスへの画像転送に失敗しました");
    }
    work->Release();
  }
  SetSurfaceDataColorKey(t->surfaceData);
  return 0;
}

int D3D_ReloadGraphImage(const GraphImage* image, const GraphImage* alphaImage, int srcX, int srcY, GraphRecord* g) {
  if (!D3DStarted()) return -1;
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
    if (t == nullptr) return -1;
    const plat::RECT src = {t->graphX + srcX, t->graphY + srcY, t->graphX + srcX + t->width,
                            t->graphY + srcY + t->height};
    if (D3D_TransferImageToTexture(image, alphaImage, &src, t->textureX, t->textureY, g->parts[i],
                                   g->format.alphaForce) != 0) {
      return -1;
    }
  }
  return 0;
}

int D3D_TransferGraphRect(const GraphImage* image, const GraphImage* alphaImage, const plat::RECT* srcRect, int x,
                          int y, GraphRecord* g) {
  if (!D3DStarted()) return -1;
  const int w = srcRect->right - srcRect->left;
  const int h = srcRect->bottom - srcRect->top;
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
    if (t == nullptr) return -1;
    // The rectangle placed at (x, y), cut to this tile.
    const int left = std::max<int>(x, t->graphX);
    const int top = std::max<int>(y, t->graphY);
    const int right = std::min<int>(x + w, t->graphX + t->width);
    const int bottom = std::min<int>(y + h, t->graphY + t->height);
    if (right <= left || bottom <= top) continue;
    const plat::RECT src = {srcRect->left + (left - x), srcRect->top + (top - y), srcRect->left + (right - x),
                            srcRect->top + (bottom - y)};
    if (D3D_TransferImageToTexture(image, alphaImage, &src, t->textureX + (left - t->graphX),
                                   t->textureY + (top - t->graphY), g->parts[i], 0) != 0) {
      return -1;
    }
  }
  return 0;
}

int D3D_UpdateMovieTexture(void* movie, GraphRecord* g) {
  if (!g->format.texture) TransferMovieFrameToSurface(movie, g);
  MovieGraphInfo info{};
  GetMovieGraphInfo(g->movie, &info);
  plat::IDirectDrawSurface7* source = info.directShowSurface ? GetMovieSampleSurface(movie) : GetMovieYuvSurface(movie);
  if (!info.directShowSurface && source != nullptr && UpdateMovieYuvSurface(movie) < 0) return 0;
  if (source != nullptr) {
    for (uint32_t i = 0; i < g->partCount; ++i) {
      const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
      plat::IDirectDrawSurface7* texture = TileTexture(t);
      if (texture == nullptr) continue;
      plat::RECT src = {t->rootX, t->rootY, t->rootX + t->width, t->rootY + t->height};
      plat::RECT dst = {t->textureX, t->textureY, t->textureX + t->width, t->textureY + t->height};
      texture->Blt(&dst, source, &src, 0, nullptr);
      SetSurfaceDataColorKey(t->surfaceData);
    }
    return 0;
  }
  const GraphImage* frame = nullptr;
  if (GetMovieFrameImage(movie, &frame) != 0 || frame == nullptr) return 0;
  GraphImage colour = *frame;
  GraphImage alpha{};
  if (info.alpha) {
    colour.width = static_cast<uint32_t>(static_cast<int>(frame->width) / 2);
    alpha = colour;
    alpha.pixels = static_cast<uint8_t*>(frame->pixels) + colour.width * frame->format.bytesPerPixel;
  }
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
    if (t == nullptr) continue;
    // Only what the frame holds: a graph larger than the frame keeps its other pixels.
    const int right = std::min<int>(t->rootX + t->width, static_cast<int>(colour.width));
    const int bottom = std::min<int>(t->rootY + t->height, static_cast<int>(colour.height));
    if (right <= t->rootX || bottom <= t->rootY) continue;
    const plat::RECT src = {t->rootX, t->rootY, right, bottom};
    D3D_TransferImageToTexture(&colour, info.alpha ? &alpha : nullptr, &src, t->textureX, t->textureY, g->parts[i], 0);
  }
  return 0;
}

// ---- Restore and fill -------------------------------------------------------------------------------

int D3D_RestoreGraphTextures(GraphRecord* g) {
  if (!D3DStarted()) return -1;
  int result = 0;
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
    if (t == nullptr) return -1;
    if (RestoreSurfaceDataSurface(t->surfaceData) != 0) result = -1;
  }
  return result;
}

int D3D_RestoreAllTextures() {
  // A full screen that loses the focus while the library is still starting releases Direct3D, and the
  // re-creation that brings it back on activation waits for a started library: get it back here, or
  // every draw of the run would find no device.
  if (gD3D.started && !D3DStarted() && !gLibrary.initialised && gScreen.directDraw != nullptr) D3D_GetDirect3D();
  if (!D3DStarted()) return -1;
  for (uint32_t slot = 0; slot < gSurface3DTable.areaEnd; ++slot) {
    const int h = gSurface3DTable.HandleAt(slot);
    if (h != -1) RestoreSurfaceDataSurface(gSurface3DTable.records[slot]->surfaceData);
  }
  return 0;
}

int D3D_FillGraphTextures(GraphRecord* g, int red, int green, int blue, int alpha) {
  if (gD3D.target2D) return 0;
  if (!D3DStarted()) return -1;
  for (uint32_t i = 0; i < g->partCount; ++i) {
    const Surface3DDataRecord* t = GetSurface3DData(g->parts[i]);
    if (t == nullptr) return -1;
    // Only the tile's own window: a derived graph shares its parent's texture.
    const plat::RECT window = {t->textureX, t->textureY, t->textureX + t->width, t->textureY + t->height};
    FillSurfaceDataColor(t->surfaceData, &window, red, green, blue, alpha);
  }
  return 0;
}

}  // namespace orbel
