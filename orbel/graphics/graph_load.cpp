// Loading pictures into graphs, cutting a picture into a grid of graphs, and bringing graphs back
// after their pixels were lost, by reloading each from the file and directory kept in its record.
#include "orbel/graphics/graph_load.h"

#include <cstring>

#include "orbel/core/library_state.h"
#include "orbel/core/log.h"
#include "orbel/core/message_pump.h"
#include "orbel/file/file_access.h"
#include "orbel/font/font_system.h"
#include "orbel/graphics/backend_2d.h"
#include "orbel/graphics/d3d/d3d_system.h"
#include "orbel/graphics/direct_draw.h"
#include "orbel/graphics/display_mode.h"
#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/graph_pixels.h"
#include "orbel/graphics/graphics_manager.h"
#include "orbel/graphics/graphics_system.h"
#include "orbel/graphics/mask_screen.h"
#include "orbel/graphics/screen_present.h"
#include "orbel/graphics/screen_state.h"
#include "orbel/graphics/surface2d.h"
#include "orbel/image/color_data.h"
#include "orbel/image/image_loader.h"
#include "orbel/input/input_system.h"
#include "orbel/movie/movie_system.h"

namespace orbel {

namespace {

// Loads a picture and its "_a" alpha picture, mirrored when asked. -1, 0 (both) or 1 (no alpha).
int LoadPicture(const char* fileName, GraphImage* image, GraphImage* alphaImage, int mirror) {
  *image = GraphImage{};
  *alphaImage = GraphImage{};
  return LoadImageFileWithAlpha(fileName, nullptr, 0, 0, nullptr, 0, kAlphaFromFile, image, alphaImage, mirror);
}

void MirrorPictures(GraphImage* image, GraphImage* alphaImage) {
  ReverseImageHorizontal(image);
  if (alphaImage != nullptr && alphaImage->pixels != nullptr) ReverseImageHorizontal(alphaImage);
}

// The alpha image when one was loaded, else null.
const GraphImage* AlphaOrNull(const GraphImage* alphaImage) {
  return alphaImage->pixels != nullptr ? alphaImage : nullptr;
}

// A file no picture loader takes: played as a movie into a new graph.
int LoadMovieGraph(const char* fileName, int textureAllowed) {
  const FileHandle file = FileAccessOpen(fileName, 0, 0, 0);
  if (file == 0) {
    LogFmtAdd("グラフィックファイル %s がありません", fileName);
    return -1;
  }
  FileAccessClose(file);

  const int savedDepth = gNewGraph.colorBitDepth;
  const int savedMemImg = gNewGraph.memImg;
  const int savedUnmanaged = gNewGraph.unmanaged;
  const int saved3D = Is3DGraphCreation();
  int width = 0;
  int height = 0;
  const int movie = OpenMovie(fileName, &width, &height);
  if (movie == -1) {
    LogFmtAdd("右記のグラフィックファイルのロードに失敗しました：%s \n", fileName);
    return -1;
  }
  MovieGraphInfo info{};
  GetMovieGraphInfo(movie, &info);
  if (info.directShowSurface) {
    SetUseTextureGraphs(0);
    if (gScreen.directDraw == nullptr) SetSoftwareRenderMode(1);
  }
  gNewGraph.colorBitDepth = GetScreenColorBitDepth();
  gNewGraph.memImg = 1;
  gNewGraph.unmanaged = 1;
  const int graph = CreateGraphRecordSurfaces(width, height, textureAllowed, info.alpha, 0);
  if (graph == -1) LogFmtAdd("右記のグラフィックファイルの格納用グラフィック領域の作成に失敗しました：%s", fileName);
  gNewGraph.colorBitDepth = savedDepth;
  gNewGraph.memImg = savedMemImg;
  gNewGraph.unmanaged = savedUnmanaged;
  SetUseTextureGraphs(saved3D);
  if (graph == -1) {
    CloseMovie(movie);  // the graph that would own it was not made
    return -1;
  }
  GraphRecord* g = GetGraphRecord(graph);
  g->movie = movie;
  g->ownsMovie = 1;
  SetMovieFrameCallback(movie, g->format.texture ? D3D_UpdateMovieTexture : TransferMovieFrameToSurface, g);
  return graph;
}

// Copies `text` into a fixed field; false (field emptied) when it does not fit.
bool StoreField(char* field, size_t size, const char* text) {
  const size_t n = strlen(text);
  if (n >= size) {
    field[0] = '\0';
    return false;
  }
  memcpy(field, text, n + 1);
  return true;
}

}  // namespace

// ---- Loading ----------------------------------------------------------------------------------------

int LoadGraphFile(const char* fileName, int no3D) {
  if (!IsGraphicsManagerStarted() || fileName == nullptr) return -1;
  D3D_EndSceneCurrent();
  WaitWhileInactive();
  GraphImage image;
  GraphImage alphaImage;
  if (LoadPicture(fileName, &image, &alphaImage, 0) == -1) return LoadMovieGraph(fileName, no3D == 0);
  gDeferSurfaceLayers = true;
  const int graph = CreateGraphFromImage(&image, AlphaOrNull(&alphaImage), no3D == 0, 0, 0);
  gDeferSurfaceLayers = false;
  FreeGraphImage(&image);
  FreeGraphImage(&alphaImage);
  if (graph != -1) {
    BuildPendingGraphLayers(graph);
    SetGraphFileName(graph, fileName, -1);
  }
  return graph;
}

int CreateGraphFromImage(const GraphImage* image, const GraphImage* alphaImage, int textureAllowed, int mirror,
                         int mirrorBack) {
  if (image == nullptr || image->pixels == nullptr || image->width == 0 || image->height == 0) return -1;
  if (image->width > 0xFFFF || image->height > 0xFFFF) return -1;
  if (alphaImage != nullptr && alphaImage->pixels == nullptr) alphaImage = nullptr;
  if (alphaImage != nullptr && (alphaImage->width != image->width || alphaImage->height != image->height)) return -1;
  // The none-masks are recomputed on the images the caller lent; they describe the same pixels.
  UpdateColorDataNoneMask(const_cast<ColorData*>(&image->format));
  if (alphaImage != nullptr) UpdateColorDataNoneMask(const_cast<ColorData*>(&alphaImage->format));
  D3D_EndSceneCurrent();
  const uint32_t transColor = gDrawState.transColor;

  // With both flags the caller's images are mirrored for the creation and put back afterwards.
  GraphImage* mutableImage = const_cast<GraphImage*>(image);
  GraphImage* mutableAlpha = const_cast<GraphImage*>(alphaImage);
  const bool flip = mirror && mirrorBack;
  if (flip) MirrorPictures(mutableImage, mutableAlpha);
  const int alpha = (image->format.alphaWidth != 0 || alphaImage != nullptr) ? 1 : 0;
  const int paletted = (image->format.bytesPerPixel == 1 && image->format.alphaWidth == 0 && alphaImage == nullptr) ? 1 : 0;
  int graph = CreateGraphRecordSurfaces(static_cast<int>(image->width), static_cast<int>(image->height),
                                        textureAllowed, alpha, paletted);
  if (graph != -1 && TransferImageToGraphRect(image, alphaImage, 0, 0, graph, 0) != 0) {
    DeleteGraphHandle(graph, 0);
    graph = -1;
  }
  if (flip) MirrorPictures(mutableImage, mutableAlpha);
  gDrawState.transColor = transColor;
  return graph;
}

int CreateGraphFromImageNoAlpha(const GraphImage* image) { return CreateGraphFromImage(image, nullptr, 1, 0, 0); }

int CreateDivGraphFromGraphImage(GraphImage* image, GraphImage* alphaImage, int total, int xCount, int yCount,
                                 int width, int height, int* handles, int textureAllowed, int mirror,
                                 int mirrorBack) {
  for (int i = 0; i < total; ++i) handles[i] = -1;
  if (total <= 0) return 0;
  const int base = CreateGraphFromImage(image, alphaImage, textureAllowed, 0, mirrorBack);
  if (base == -1) return -1;
  int made = 0;
  for (int row = 0; row < yCount && made < total; ++row) {
    for (int col = 0; col < xCount && made < total; ++col) {
      const int x = mirror ? (xCount - 1 - col) * width : col * width;
      const int h = DeriveGraph(x, row * height, width, height, base);
      if (h == -1) {
        LogAdd("グラフィックの分割に失敗しました in CreateDivGraphFromGraphImage\n");
        for (int i = 0; i < made; ++i) {
          DeleteGraphHandle(handles[i], 0);
          handles[i] = -1;
        }
        DeleteGraphHandle(base, 0);
        return -1;
      }
      handles[made++] = h;
    }
  }
  DeleteGraphHandle(base, 0);
  return 0;
}

int LoadDivGraphFile(const char* fileName, int total, int xCount, int yCount, int width, int height, int* handles,
                     int no3D) {
  if (!IsGraphicsManagerStarted() || fileName == nullptr || handles == nullptr) return -1;
  D3D_EndSceneCurrent();
  WaitWhileInactive();
  if (total <= 0) return 0;
  GraphImage image;
  GraphImage alphaImage;
  if (LoadPicture(fileName, &image, &alphaImage, 0) == -1) {
    LogFmtAdd("右記のグラフィックファイルのロードに失敗しました：%s", fileName);
    return -1;
  }
  gDeferSurfaceLayers = true;
  const int result = CreateDivGraphFromGraphImage(&image, alphaImage.pixels != nullptr ? &alphaImage : nullptr, total,
                                                  xCount, yCount, width, height, handles, no3D == 0, 0, 0);
  gDeferSurfaceLayers = false;
  FreeGraphImage(&image);
  FreeGraphImage(&alphaImage);
  // Only the graphs made are named; entries not filled hold -1 (never a stale handle of the caller's).
  if (result == 0) {
    for (int i = 0; i < total && handles[i] != -1; ++i) {
      BuildPendingGraphLayers(handles[i]);
      SetGraphFileName(handles[i], fileName, -1);
    }
  }
  return result;
}

int SetGraphFileName(int graph, const char* fileName, int sourceGraph) {
  GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  g->directory[0] = '\0';
  g->unrestorable = 0;
  const GraphRecord* src = fileName == nullptr ? GetGraphRecord(sourceGraph) : nullptr;
  if (src != nullptr) {
    memcpy(g->fileName, src->fileName, sizeof(g->fileName));
    memcpy(g->directory, src->directory, sizeof(g->directory));
    g->unrestorable = src->unrestorable;
    if (g->directory[0] != '\0') return 0;
  } else if (!StoreField(g->fileName, sizeof(g->fileName), fileName != nullptr ? fileName : "")) {
    // A cut name would reload some other file: such a graph is never reloaded.
    g->unrestorable = 1;
  }
  char current[kFilePathMax] = {};
  FileAccessGetDir(current);
  if (!StoreField(g->directory, sizeof(g->directory), current)) g->unrestorable = 1;
  return 0;
}

int TransferImageToGraphRect(const GraphImage* image, const GraphImage* alphaImage, int srcX, int srcY, int graph,
                             int mirror) {
  GraphRecord* g = GetGraphRecord(graph);
  if (g == nullptr) return -1;
  g->sourceX = srcX;
  g->sourceY = srcY;
  g->mirror = mirror ? 1 : 0;
  if (g->format.texture) return D3D_ReloadGraphImage(image, alphaImage, srcX, srcY, g);
  const plat::RECT dest = {0, 0, g->width, g->height};
  return TransferImageTo2DGraph(&dest, image, alphaImage, srcX, srcY, g, 0);
}

// ---- Restoring --------------------------------------------------------------------------------------

int SetGraphRestoreHandler(int (*callback)()) {
  gDrawState.restoreCallback = callback != nullptr ? callback : RestoreGraphsFromFiles;
  return 0;
}

int HasRestoreCallback() { return gDrawState.restoreCallback != nullptr ? 1 : 0; }

int RestoreAllGraphs() {
  if (!IsGraphicsManagerStarted()) return 0;
  RestoreLostMainSurfaces();
  int lost = 0;
  for (uint32_t slot = 0; slot < gGraphTable.areaEnd; ++slot) {
    GraphRecord* g = gGraphTable.records[slot];
    if (g == nullptr) continue;
    if (g->format.texture) {
      // A lost texture comes back empty: its picture is reloaded like a 2D surface's.
      lost |= D3D_RestoreGraphTextures(g);
    } else {
      lost |= RestoreGraphSurfaces2D(g->handle);
    }
    if (g->movie != -1) RestoreMovieSurface(g->movie);
  }
  // Restored surfaces hold no pixels: bring the pictures back from their files.
  if (lost != 0) RestoreGraphsAfterLoss();
  return 0;
}

int RestoreGraphsAfterLoss() {
  uint32_t seen = 0;
  for (uint32_t slot = 0; slot < gGraphTable.areaEnd && seen < gGraphTable.count; ++slot) {
    GraphRecord* g = gGraphTable.records[slot];
    if (g == nullptr) continue;
    g->needsRestore = 1;
    ++seen;
  }
  if (gDrawState.restoreCallback != nullptr) gDrawState.restoreCallback();
  ReCreateAllFontHandles();
  return 0;
}

int RestoreGraphsFromFiles() {
  LogAdd("グラフィックを復帰します\n");
  char savedDir[kFilePathMax] = {};
  FileAccessGetDir(savedDir);
  GraphImage image{};
  GraphImage alphaImage{};
  const GraphRecord* previous = nullptr;
  bool loaded = false;
  for (uint32_t slot = 0; slot < gGraphTable.areaEnd; ++slot) {
    GraphRecord* g = gGraphTable.records[slot];
    if (g == nullptr || g->needsRestore != 1) continue;
    // Only a name cut to fit its field is skipped. A long folder name that fits (up to 255 characters)
    // is reloaded like any other: skipped, the graph's pixels would stay lost.
    if (g->unrestorable) {
      g->needsRestore = 0;  // its name did not fit: never reloaded
      continue;
    }
    if (g->fileName[0] == '\0') continue;
    g->needsRestore = 0;
    // Consecutive graphs cut from one file are reloaded from one load of it.
    const bool same = previous != nullptr && loaded && strcmp(previous->fileName, g->fileName) == 0 &&
                      strcmp(previous->directory, g->directory) == 0 && previous->mirror == g->mirror;
    if (!same) {
      FreeGraphImage(&image);
      FreeGraphImage(&alphaImage);
      FileAccessSetDir(g->directory);
      loaded = LoadPicture(g->fileName, &image, &alphaImage, g->mirror ? 1 : 0) != -1;
    }
    previous = g;
    if (!loaded) continue;
    TransferImageToGraphRect(&image, AlphaOrNull(&alphaImage), g->sourceX, g->sourceY, g->handle, g->mirror);
  }
  FreeGraphImage(&image);
  FreeGraphImage(&alphaImage);
  FileAccessSetDir(savedDir);
  return 0;
}

int RecreateAllAfterModeChange() {
  const bool windowless = gSettings.windowless != 0;
  if (!windowless) {
    D3D_ReleaseDirect3D();
    ReleaseMaskScreenBuffer();
    ReleaseMainSurfaces();
  }
  EndInputSystem();
  if (windowless) return 0;
  ReleaseAllSurfaceGraphs();
  ReleaseMainClipper();
  if (gScreen.gdiOutputRequest) {
    ReapplyDisplayMode();
    RestoreAllSurfaceGraphs();
    CreateMainClipper();
  } else {
    ReleaseDirectDraw();
    RecreateDirectDraw();
  }
  CreateMainSurfaces();
  ReapplyScreenPalette();
  SelectDrawScreenSurface(gDrawState.drawScreen, gDrawState.drawScreen);
  D3D_GetDirect3D();
  ClearTargetScreen();
  FlipScreen();
  RestoreGraphsAfterLoss();
  ReopenAllMovie();
  CreateMaskScreenInternal();
  D3D_SetTransformWorld(&gDrawState.worldMatrix, 0);
  D3D_SetTransformView(&gDrawState.viewMatrix);
  D3D_SetTransformProjection(&gDrawState.projectionMatrix);
  return 0;
}

}  // namespace orbel
