// Matrix, vector and rectangle maths: pure functions over Matrix4, Vector3 and plat::RECT; the
// perspective builder alone reads the screen size from the draw state.
#include "orbel/graphics/rect_math.h"

#include <cmath>  // sinf, cosf, sqrtf, fabsf

#include "orbel/graphics/draw_state.h"

namespace orbel {

namespace {

constexpr Matrix4 kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

Vector3 Cross(const Vector3& a, const Vector3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vector3 Normalize(const Vector3& v) {
  const float len = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / len, v.y / len, v.z / len};
}

}  // namespace

// ---- Matrices ---------------------------------------------------------------------------------------

int MakeIdentityMatrix(Matrix4* out) {
  *out = kIdentity;
  return 0;
}

int MakeMultiplyMatrix(Matrix4* out, const Matrix4* a, const Matrix4* b) {
  // Built in a temporary so that out may be one of the inputs.
  Matrix4 t;
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) {
      t.m[i][j] = a->m[i][0] * b->m[0][j] + a->m[i][1] * b->m[1][j] + a->m[i][2] * b->m[2][j] +
                  a->m[i][3] * b->m[3][j];
    }
  }
  if (out != nullptr) *out = t;
  return 0;
}

int MakePerspectiveMatrix(Matrix4* out, float fov, float zNear, float zFar, float aspect) {
  if (aspect < 0.0f) {
    int width = 0;
    int height = 0;
    GetScreenSizeAndDepth(&width, &height, nullptr);
    aspect = static_cast<float>(height) / static_cast<float>(width);
  }
  const float s = std::sin(fov * 0.5f);
  const float c = std::cos(fov * 0.5f);
  if (std::fabs(zFar - zNear) < 0.01f || std::fabs(s) < 0.01f) return -1;
  const float cot = c / s;
  const float q = zFar / (zFar - zNear);
  *out = Matrix4{};
  out->m[0][0] = aspect * cot;
  out->m[1][1] = cot;
  out->m[2][2] = q;
  out->m[2][3] = 1.0f;
  out->m[3][2] = -q * zNear;
  out->m[3][3] = 0.0f;
  return 0;
}

int MakeViewportMatrix(Matrix4* out, float centerX, float centerY, float width, float height) {
  *out = Matrix4{};
  out->m[0][0] = width * 0.5f;
  out->m[1][1] = height * -0.5f;
  out->m[2][2] = 1.0f;
  out->m[3][0] = centerX;
  out->m[3][1] = centerY;
  out->m[3][2] = 0.0f;
  out->m[3][3] = 1.0f;
  return 0;
}

// NOTE: a target equal to the eye or an up vector along the view direction divides by zero and
// yields NaNs; callers pass a proper camera.
int MakeLookAtMatrix(Matrix4* out, const Vector3* eye, const Vector3* target, const Vector3* up) {
  Vector3 d = {target->x - eye->x, target->y - eye->y, target->z - eye->z};
  Vector3 r = Cross(*up, d);
  Vector3 u = Cross(d, r);
  r = Normalize(r);
  u = Normalize(u);
  d = Normalize(d);
  out->m[0][0] = r.x;
  out->m[1][0] = r.y;
  out->m[2][0] = r.z;
  out->m[0][1] = u.x;
  out->m[1][1] = u.y;
  out->m[2][1] = u.z;
  out->m[0][2] = d.x;
  out->m[1][2] = d.y;
  out->m[2][2] = d.z;
  out->m[0][3] = 0.0f;
  out->m[1][3] = 0.0f;
  out->m[2][3] = 0.0f;
  out->m[3][0] = -VectorDot(&r, eye);
  out->m[3][1] = -VectorDot(&u, eye);
  out->m[3][2] = -VectorDot(&d, eye);
  out->m[3][3] = 1.0f;
  return 0;
}

float VectorDot(const Vector3* a, const Vector3* b) { return a->x * b->x + a->y * b->y + a->z * b->z; }

// ---- Rectangles -------------------------------------------------------------------------------------

int ClipRect(plat::RECT* rect, const plat::RECT* clip) {
  // The order matters: bottom and right are clamped before top and left, so a rectangle wholly
  // outside the clip collapses onto the nearest edge.
  if (rect->right < rect->left) rect->right = rect->left;
  if (rect->bottom < rect->top) rect->bottom = rect->top;

  if (rect->bottom > clip->bottom) rect->bottom = clip->bottom;
  else if (rect->bottom < clip->top) rect->bottom = clip->top;
  if (rect->top > clip->bottom) rect->top = clip->bottom;
  else if (rect->top < clip->top) rect->top = clip->top;

  if (rect->right > clip->right) rect->right = clip->right;
  else if (rect->right < clip->left) rect->right = clip->left;
  if (rect->left > clip->right) rect->left = clip->right;
  else if (rect->left < clip->left) rect->left = clip->left;
  return 0;
}

int OrderRect(plat::RECT* rect) {
  if (rect->left > rect->right) {
    const plat::LONG t = rect->left;
    rect->left = rect->right;
    rect->right = t;
  }
  if (rect->top > rect->bottom) {
    const plat::LONG t = rect->top;
    rect->top = rect->bottom;
    rect->bottom = t;
  }
  return 0;
}

int GetRectWidthHeight(const plat::RECT* rect, int* width, int* height) {
  if (width != nullptr) *width = rect->right - rect->left;
  if (height != nullptr) *height = rect->bottom - rect->top;
  return 0;
}

}  // namespace orbel
