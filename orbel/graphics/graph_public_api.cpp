// The public forwarders of graph loading and drawing: they pass their arguments unchanged and return
// the implementation's result.
#include "orbel.h"

#include "orbel/graphics/draw_calls.h"
#include "orbel/graphics/graph_load.h"
#include "orbel/graphics/graph_pixels.h"
#include "platform/ddraw/ddraw.h"

int LoadGraphFile(const char* fileName, int no3D) { return orbel::LoadGraphFile(fileName, no3D); }

int LoadDivGraphFile(const char* fileName, int total, int xCount, int yCount, int width, int height, int* handles,
                     int no3D) {
  return orbel::LoadDivGraphFile(fileName, total, xCount, yCount, width, height, handles, no3D);
}

int GetGraphExtent(int graph, int* width, int* height) { return orbel::GetGraphExtent(graph, width, height); }

int DrawGraphAt(int x, int y, int graph, int transparent) { return orbel::DrawGraphAt(x, y, graph, transparent); }

int DrawStretchGraph(int x1, int y1, int x2, int y2, int graph, int transparent) {
  return orbel::DrawStretchGraph(x1, y1, x2, y2, graph, transparent);
}

int DrawMirroredGraph(int x, int y, int graph, int transparent) {
  return orbel::DrawMirroredGraph(x, y, graph, transparent);
}

int DrawQuadGraph(float x1, float y1, float x2, float y2, float x3, float y3, float x4, float y4, int graph,
                  int transparent) {
  return orbel::DrawQuadGraph(x1, y1, x2, y2, x3, y3, x4, y4, graph, transparent);
}

int DrawGraphPart(int x, int y, int srcX, int srcY, int width, int height, int graph, int transparent, int mirror) {
  return orbel::DrawGraphPart(x, y, srcX, srcY, width, height, graph, transparent, mirror);
}

int DrawStretchGraphPart(int x1, int y1, int x2, int y2, int srcX, int srcY, int srcWidth, int srcHeight, int graph,
                         int transparent) {
  return orbel::DrawStretchGraphPart(x1, y1, x2, y2, srcX, srcY, srcWidth, srcHeight, graph, transparent);
}

int DrawRectangle(int x1, int y1, int x2, int y2, uint32_t color, int fill) {
  return orbel::DrawRectangle(x1, y1, x2, y2, color, fill);
}

int FillColorData32(void* pixelFormat, int bitCount, uint32_t redMask, uint32_t greenMask, uint32_t blueMask,
                    uint32_t alphaMask) {
  return orbel::FillColorData32(static_cast<plat::DDPIXELFORMAT*>(pixelFormat), bitCount, redMask, greenMask,
                                blueMask, alphaMask);
}
