// Matrix, vector and rectangle maths shared by the graphics code: 4x4 float matrices in the Direct3D 7
// layout (row-major, vectors multiplied from the left, translation in row 3), a 3-vector dot product,
// and integer rectangles (left, top, right, bottom; right and bottom exclusive).
// Depends only on the draw state's screen size (for the perspective aspect).
#pragma once

#include "platform/win/kernel/win_types.h"

namespace orbel {

struct Matrix4 {
  float m[4][4];  // [row][column]
};

struct Vector3 {
  float x;
  float y;
  float z;
};

// ---- Matrices (each returns 0 unless said otherwise) --------------------------------------------------

int MakeIdentityMatrix(Matrix4* out);
// out = a * b; out may alias a or b; a null out stores nothing.
int MakeMultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b);
// Left-handed projection. aspect < 0 takes screen height / screen width. -1 (out untouched) when
// |zFar - zNear| < 0.01 or |sin(fov / 2)| < 0.01.
int MakePerspectiveMatrix(Matrix4* out, float fov, float zNear, float zFar, float aspect);
int MakeViewportMatrix(Matrix4* out, float centerX, float centerY, float width, float height);
// Left-handed view matrix: right, up and direction in columns 0-2, -dot products in row 3.
int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* target, const Vector3* up);
float VectorDot(const Vector3* a, const Vector3* b);

// ---- Rectangles -------------------------------------------------------------------------------------

// Clips `rect` in place to `clip`; a rectangle outside collapses onto the nearest clip edge with zero
// width or height. Never fails: callers test the result for emptiness. Returns 0.
int ClipRect(plat::RECT* rect, const plat::RECT* clip);
// Swaps left/right and top/bottom where reversed. Returns 0.
int OrderRect(plat::RECT* rect);
// Width and height, each written only when its pointer is given. Returns 0.
int GetRectWidthHeight(const plat::RECT* rect, int* width, int* height);

}  // namespace orbel
