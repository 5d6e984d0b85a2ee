// PENDING: stands in for the Direct3D side until it is built; delete this file then.
// D3D_Initialize asks the DirectDraw object for Direct3D, which it does not offer, and fails with the
// log lines of a machine without Direct3D; every other call answers "Direct3D is off" (-1, or 0 for the
// calls that have nothing to do while it is off). The graphics then run on 2D surfaces.
#include "orbel/core/log.h"
#include "orbel/graphics/d3d_system.h"

namespace orbel {

int D3D_Initialize() {
  LogAdd("Direct3D 関連の初期化を行います\n");
  LogAdd("Ｄｉｒｅｃｔ３Ｄオブジェクトを取得します\n");
  LogAdd("Direct3Dオブジェクトの作成に失敗しました\n");
  return -1;
}
int D3D_Terminate() { return -1; }
int D3D_ReleaseDirect3D() { return -1; }
int D3D_GetDirect3D() { return 0; }  // nothing to re-make while Direct3D never started
int D3D_FlushVertex() { return 0; }
int D3D_EndSceneCurrent() { return 0; }
int D3D_DeleteAllSurface3D() { return -1; }
int D3D_RestoreAllTextures() { return -1; }

int D3D_SelectDrawScreen(int) { return 0; }
int D3D_SetDrawArea(const plat::RECT*) { return 0; }
int D3D_SetGraphFilter(int) { return 0; }
int D3D_SetBlendGraphParam(int, int, int) { return 0; }
int D3D_RefreshDrawColor() { return 0; }
int D3D_SetTransformWorld(const Matrix4*, int) { return 0; }
int D3D_SetTransformView(const Matrix4*) { return 0; }
int D3D_SetTransformProjection(const Matrix4*) { return 0; }
int D3D_ClearTargetScreen() { return -1; }

int D3D_DrawGraphAt(int, int, float, float, int, int, int) { return -1; }
int D3D_DrawStretchGraph(int, int, int, int, float, float, float, float, int, int, int) { return -1; }
int D3D_DrawQuadGraph(float, float, float, float, float, float, float, float, int, int) { return -1; }
int D3D_DrawFillBox(int, int, int, int, uint32_t) { return -1; }
int D3D_DrawLineBox(int, int, int, int, uint32_t) { return -1; }
int D3D_DrawStringToTarget(int, int, const char*, uint32_t, int, uint32_t, int) { return -1; }
const ColorData* D3D_GetTextureFormatForFlags(int, int) { return nullptr; }
int D3D_CreateGraphSurface3D(GraphRecord*) { return -1; }
int D3D_DeleteGraphSurface3D(GraphRecord*) { return -1; }
int D3D_DeriveGraphSurface3D(GraphRecord*, int, int, int, int, const GraphRecord*) { return -1; }
int D3D_RestoreGraphTextures(GraphRecord*) { return -1; }
int D3D_ReloadGraphImage(const GraphImage*, const GraphImage*, int, int, GraphRecord*) { return -1; }
int D3D_TransferGraphRect(const GraphImage*, const GraphImage*, const plat::RECT*, int, int, GraphRecord*) {
  return -1;
}
int D3D_FillGraphTextures(GraphRecord*, int, int, int, int) { return -1; }
int D3D_UpdateMovieTexture(void*, GraphRecord*) { return -1; }
int D3D_GetDrawScreenGraph(int, int, int, int, GraphRecord*, int) { return -1; }

}  // namespace orbel
