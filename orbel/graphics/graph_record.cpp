// Graph records, surface-data records, the new-graph settings and lights.
#include "orbel/graphics/graph_record.h"

#include <cmath>
#include <cstring>

#include "orbel/core/library.h"
#include "orbel/core/log.h"
#include "orbel/core/memory.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/screen_road.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/movie/movie_system.h"

namespace orbel {

GraphTable gGraphTable;
SurfaceDataTable gSurfaceDataTable;
LightTable gLightTable;
uint32_t gLightsChanged;

NewGraphSettings gNewGraph = {0, 0, 1, 0, 0, 0};

namespace {

// The screen depth a new graph follows (16 while no mode was set).
int ScreenDepth() { return GetScreenColorBitDepth(); }

// Texture graphs need a Direct3D device on a hardware screen.
bool TextureGraphsPossible() {
  return Is3DGraphCreation() != 0;
}

}  // namespace

// ---- New-graph settings -----------------------------------------------------------------------------

void ResetNewGraphSettings() { gNewGraph = {0, 0, 1, 0, 0, 0}; }

int SetNewGraphColorBitDepth(int depth) {
  gNewGraph.colorBitDepth = depth;
  return 0;
}
int GetNewGraphColorBitDepth() { return gNewGraph.colorBitDepth; }
int SetNewGraphDrawValidFlag(int flag) {
  gNewGraph.drawValid = flag;
  return 0;
}
int SetNewGraphAlphaTestFlag(int flag) {
  gNewGraph.alphaTest = flag;
  return 0;
}
int GetNewGraphAlphaTestFlag() { return gNewGraph.alphaTest; }
int SetNewGraphAlphaFlag(int flag) {
  gNewGraph.alpha = flag;
  return 0;
}
int GetNewGraphAlphaFlag() { return gNewGraph.alpha; }
int SetNewGraphMemImgFlag(int flag) {
  gNewGraph.memImg = SoftwareRendering() ? 1 : flag;
  return 0;
}
int SetNewGraphUseVideoMemory(int flag) {
  gNewGraph.memImg = SoftwareRendering() ? 1 : (flag != 1 ? 1 : 0);
  return 0;
}
int GetNewGraphMemImgFlag() { return gNewGraph.memImg; }
int SetNewGraphUnmanagedTexture(int flag) {
  gNewGraph.unmanaged = flag;
  return 0;
}
int GetNewGraphUnmanagedTexture() { return gNewGraph.unmanaged; }

// ---- Graphs -----------------------------------------------------------------------------------------

void ResetGraphTables() {
  gGraphTable.Clear();
  gSurfaceDataTable.Clear();
}

int AddGraphRecord(int width, int height, int textureAllowed, GraphRecord** out, int alpha, int paletted) {
  if (gGraphTable.IsFull()) ErrorExitLibrary("グラフィックの数が許容量を越えました終了します");
  auto* g = static_cast<GraphRecord*>(MemCalloc(sizeof(GraphRecord), "GraphRecord", __LINE__));
  if (g == nullptr) ErrorExitLibrary("メモリの確保に失敗しました");

  GraphFormatBlock& f = g->format;
  f.texture = (textureAllowed != 0 && TextureGraphsPossible()) ? 1 : 0;
  f.unmanaged = static_cast<uint8_t>(gNewGraph.unmanaged != 0);
  f.paletted = 0;
  if (gNewGraph.drawValid != 1) {
    f.alpha = static_cast<uint8_t>(alpha != 0);
    f.drawValid = 0;
    f.alphaTest = static_cast<uint8_t>(gNewGraph.alphaTest != 0);
  } else {
    f.drawValid = 1;
    f.alphaTest = 0;
    f.alpha = 0;
  }
  f.alphaForce = 0;
  if (f.texture) {
    int depth = gNewGraph.colorBitDepth;
    if (depth == 0) depth = f.alpha ? 32 : ScreenDepth();
    f.colorBitDepth = static_cast<uint8_t>(depth);
    f.memImg = 0;
  } else {
    const int depth = (gNewGraph.colorBitDepth == 0 || SoftwareRendering()) ? ScreenDepth() : gNewGraph.colorBitDepth;
    f.colorBitDepth = static_cast<uint8_t>(depth);
    f.memImg = static_cast<uint8_t>(gNewGraph.memImg != 0);
    f.paletted = static_cast<uint8_t>(paletted != 0);
    f.unmanaged = 0;
  }
  g->width = width;
  g->height = height;
  g->movie = -1;

  const int handle = gGraphTable.Insert(g);
  g->handle = handle;
  if (out != nullptr) *out = g;
  return handle;
}

int CreateGraphRecordSurfaces(int width, int height, int textureAllowed, int alpha, int paletted) {
  GraphRecord* g = nullptr;
  const int handle = AddGraphRecord(width, height, textureAllowed, &g, alpha, paletted);
  const int made = g->format.texture ? D3D_CreateGraphSurface3D(g) : CreateGraphSurface2D(g);
  if (made < 0) {
    LogAdd("グラフィックの作成に失敗しました\n");
    // The half-made record would hold a slot for good; repeated failures would fill the table.
    DeleteGraphHandle(handle, 0);
    return -1;
  }
  return handle;
}

int MakeEmptyGraph(int width, int height, int no3D) {
  if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF) return -1;
  return CreateGraphRecordSurfaces(width, height, no3D == 0, gNewGraph.alpha, 0);
}

int IsValidGraphHandle(int graph) { return gGraphTable.Lookup(graph) != nullptr ? 1 : 0; }
int GetGraphHandleValue(const GraphRecord* record) { return record->handle; }

int SetGraphDeleteNotify(int graph, int32_t* notify) {
  GraphRecord* g = gGraphTable.Lookup(graph);
  if (g == nullptr) return -1;
  g->deleteNotify = notify;
  if (notify != nullptr) *notify = 0;
  return 0;
}

int DeleteGraphHandle(int graph, int logFlag) {
  GraphRecord* g = gGraphTable.Lookup(graph);
  if (g == nullptr) return -1;
  // Derived graphs share their parent's movie: only the graph that opened it closes it.
  if (g->movie != -1 && g->ownsMovie) CloseMovie(g->movie);
  if (g->format.texture) {
    D3D_DeleteGraphSurface3D(g);
  } else {
    for (uint32_t i = 0; i < g->partCount; ++i) DeleteSurface2D(g->parts[i]);
  }
  if (logFlag) LogFmtAdd("グラフィック %s の削除", g->fileName);
  if (g->buffer != nullptr) MemFree(g->buffer);
  gGraphTable.Remove(graph);
  if (g->deleteNotify != nullptr) *g->deleteNotify = 1;
  MemFree(g);
  return 0;
}

int DeleteAllGraphs(int logFlag) {
  if (!IsGraphicsManagerStarted()) return 0;
  gGraphTable.DeleteAll([logFlag](int32_t h) { DeleteGraphHandle(h, logFlag); });
  return 0;
}

int GetGraphExtent(int graph, int* width, int* height) {
  if (graph == kDrawScreenBack || graph == kDrawScreenFront) return GetScreenPixelSize(width, height);
  const GraphRecord* g = gGraphTable.Lookup(graph);
  if (g == nullptr) return -1;
  if (width != nullptr) *width = g->width;
  if (height != nullptr) *height = g->height;
  return 0;
}

// ---- Surface data -----------------------------------------------------------------------------------

int AddSurfaceData(int refCount, int width, int height, uint32_t transColor, const GraphFormatBlock* format) {
  if (gSurfaceDataTable.IsFull()) {
    LogAdd("サーフェスのデータ数が許容量を越えました。\n");
    return -1;
  }
  auto* d = static_cast<SurfaceDataRecord*>(MemCalloc(sizeof(SurfaceDataRecord), "SurfaceData", __LINE__));
  if (d == nullptr) {
    LogAdd("サーフェス用データを保存するメモリ領域の確保に失敗しました\n");
    return -1;
  }
  d->format = *format;
  if (d->format.texture == 0) {
    // Alpha pixels are always a memory image, drawn by their alpha rather than an alpha test.
    if (d->format.alpha == 1) {
      d->format.memImg = 1;
      d->format.drawValid = 1;
      d->format.alphaTest = 0;
    }
  } else {
    d->format.memImg = 0;
    if (d->format.drawValid || d->format.alpha) d->format.alphaTest = 0;
  }
  d->memImgUse = (d->format.memImg == 1 || (SoftwareRendering() && GetDisplayColorBitDepth() != 8)) ? 1 : 0;
  d->width = static_cast<uint16_t>(width);
  d->height = static_cast<uint16_t>(height);
  d->transColor = transColor & 0xFFFFFF;
  d->refCount = refCount;

  const int handle = gSurfaceDataTable.Insert(d);
  if (MakeSurfaceDataImage(handle) != 0) {
    DeleteSurfaceData(handle);
    return -1;
  }
  SetSurfaceDataColorKey(handle);
  return handle;
}

int AddSurfaceDataRef(int handle) {
  SurfaceDataRecord* d = gSurfaceDataTable.Lookup(handle);
  if (d == nullptr) return -1;
  return ++d->refCount;
}

int ReleaseSurfaceDataRef(int handle) {
  SurfaceDataRecord* d = gSurfaceDataTable.Lookup(handle);
  if (d == nullptr) return -1;
  return --d->refCount;
}

// ---- Lights -----------------------------------------------------------------------------------------

int CreateLight() {
  if (gLightTable.IsFull()) return -1;  // the table has no fatal limit of its own
  auto* l = static_cast<LightRecord*>(MemCalloc(sizeof(LightRecord), "LightRecord", __LINE__));
  if (l == nullptr) ErrorExitLibrary("ライト用のメモリの確保に失敗しました");
  for (int i = 0; i < 4; ++i) {
    l->diffuse[i] = 1.0f;
    l->specular[i] = 1.0f;
    l->ambient[i] = 0.33f;
  }
  l->deviceIndex = -1;
  l->enabled = 1;
  l->changed = 1;
  l->handle = gLightTable.Insert(l);
  gLightsChanged = 1;
  return l->handle;
}

int CreateDirectionalLight(float x, float y, float z) {
  const int h = CreateLight();
  LightRecord* l = gLightTable.Lookup(h);
  if (l == nullptr) return -1;
  l->type = 3;
  const float len = std::sqrt(x * x + y * y + z * z);
  if (len > 0.0f) {
    l->direction[0] = x / len;
    l->direction[1] = y / len;
    l->direction[2] = z / len;
  }
  return h;
}

int DeleteLight(int light) {
  LightRecord* l = gLightTable.Remove(light);
  if (l == nullptr) return -1;
  if (l->deviceIndex != -1) gLightsChanged = 1;
  MemFree(l);
  return 0;
}

int DeleteAllLights() {
  gLightTable.DeleteAll([](int32_t h) { DeleteLight(h); });
  return 0;
}

}  // namespace orbel
