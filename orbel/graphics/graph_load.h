// Loading pictures into graphs (from files of the file-access table, or from decoded images), cutting
// one picture into a grid of graphs, and restoring graphs after their pixels were lost by reloading
// each one from the file and directory remembered in its record.
#pragma once

#include "orbel/graphics/graph_record.h"

namespace orbel {

struct GraphImage;

// Graph handle or -1. A file no picture loader accepts is opened as a movie.
int LoadGraphFile(const char* fileName, int no3D);
// Cuts the picture into up to `total` graphs of width x height, row by row; the handles go to
// `handles` (entries not made are set to -1). 0 or -1 (nothing made is left behind).
int LoadDivGraphFile(const char* fileName, int total, int xCount, int yCount, int width, int height,
                     int* handles, int no3D);
// CreateGraphFromImage, CreateGraphFromImageNoAlpha: graphics_system.h.
int CreateDivGraphFromGraphImage(GraphImage* image, GraphImage* alphaImage, int total, int xCount, int yCount,
                                 int width, int height, int* handles, int textureAllowed, int mirror,
                                 int mirrorBack);
// Remembers where the graph came from: `fileName` with the current directory, or (null name) the
// source graph's. 0 or -1.
int SetGraphFileName(int graph, const char* fileName, int sourceGraph);
int TransferImageToGraphRect(const GraphImage* image, const GraphImage* alphaImage, int srcX, int srcY,
                             int graph, int mirror);
// SetGraphRestoreHandler, HasRestoreCallback, RestoreAllGraphs, RecreateAllAfterModeChange:
// graphics_system.h.
int RestoreGraphsAfterLoss();
int RestoreGraphsFromFiles();

}  // namespace orbel
