// Rectangle clipping and ordering, and the matrix builders' documented results.
#include <gtest/gtest.h>

#include "orbel/graphics/draw_state.h"
#include "orbel/graphics/rect_math.h"

namespace orbel {
namespace {

TEST(RectMath, ClipRectCollapsesOntoTheNearestEdge) {
  struct Case {
    plat::RECT in, out;
  };
  const plat::RECT screen = {0, 0, 640, 480};
  const Case cases[] = {
      {{10, 10, 5, 20}, {10, 10, 10, 20}},        // reversed right raised to left
      {{700, 10, 800, 20}, {640, 10, 640, 20}},   // wholly right of the clip
      {{-50, -40, -10, -5}, {0, 0, 0, 0}},        // wholly above-left
      {{-5, 470, 20, 500}, {0, 470, 20, 480}},    // overlapping two edges
      {{100, 600, 200, 700}, {100, 480, 200, 480}},
      {{1, 2, 3, 4}, {1, 2, 3, 4}},               // inside: unchanged
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.in.left << "," << c.in.top << "," << c.in.right << "," << c.in.bottom);
    plat::RECT r = c.in;
    EXPECT_EQ(ClipRect(&r, &screen), 0);
    EXPECT_EQ(r.left, c.out.left);
    EXPECT_EQ(r.top, c.out.top);
    EXPECT_EQ(r.right, c.out.right);
    EXPECT_EQ(r.bottom, c.out.bottom);
  }
}

TEST(RectMath, OrderRectAndWidthHeight) {
  plat::RECT r = {30, 40, 10, 5};
  OrderRect(&r);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 5);
  EXPECT_EQ(r.right, 30);
  EXPECT_EQ(r.bottom, 40);
  int w = -1;
  int h = -1;
  GetRectWidthHeight(&r, nullptr, &h);
  EXPECT_EQ(h, 35);
  EXPECT_EQ(w, -1);  // no width pointer: nothing written
  GetRectWidthHeight(&r, &w, nullptr);
  EXPECT_EQ(w, 20);
}

TEST(RectMath, PerspectiveRefusesDegenerateInputAndUsesScreenAspect) {
  InitDrawStateDefaults();
  Matrix4 m;
  MakeIdentityMatrix(&m);
  EXPECT_EQ(MakePerspectiveMatrix(&m, 1.0f, 1.0f, 1.005f, 1.0f), -1);
  EXPECT_EQ(m.m[0][0], 1.0f);  // untouched
  EXPECT_EQ(MakePerspectiveMatrix(&m, 0.0f, 1.0f, 100.0f, 1.0f), -1);  // sin(0) too small

  ASSERT_EQ(MakePerspectiveMatrix(&m, 1.0471976f, 1.0f, 101.0f, -1.0f), 0);
  const float cot = 1.7320508f;  // cot(30 degrees)
  EXPECT_NEAR(m.m[0][0], 0.75f * cot, 1e-5f);  // 480 / 640 with no mode set
  EXPECT_NEAR(m.m[1][1], cot, 1e-5f);
  EXPECT_NEAR(m.m[2][2], 101.0f / 100.0f, 1e-6f);
  EXPECT_NEAR(m.m[3][2], -1.01f, 1e-6f);
  EXPECT_EQ(m.m[2][3], 1.0f);
  EXPECT_EQ(m.m[3][3], 0.0f);
}

TEST(RectMath, MultiplyMayOverwriteItsInput) {
  Matrix4 a{};
  Matrix4 b{};
  for (int i = 0; i < 16; ++i) {
    a.m[i / 4][i % 4] = static_cast<float>(i + 1);
    b.m[i / 4][i % 4] = static_cast<float>((i * 7) % 5 - 2);
  }
  Matrix4 expected;
  MakeMultiplyMatrix(&expected, &a, &b);
  EXPECT_EQ(expected.m[1][2], 5 * b.m[0][2] + 6 * b.m[1][2] + 7 * b.m[2][2] + 8 * b.m[3][2]);
  Matrix4 inPlace = a;
  MakeMultiplyMatrix(&inPlace, &inPlace, &b);
  for (int i = 0; i < 4; ++i) {
    for (int j = 0; j < 4; ++j) EXPECT_EQ(inPlace.m[i][j], expected.m[i][j]) << i << "," << j;
  }
  EXPECT_EQ(MakeMultiplyMatrix(nullptr, &a, &b), 0);
}

TEST(RectMath, ViewportAndLookAtLayout) {
  Matrix4 v;
  MakeViewportMatrix(&v, 320.0f, 240.0f, 640.0f, 480.0f);
  EXPECT_EQ(v.m[0][0], 320.0f);
  EXPECT_EQ(v.m[1][1], -240.0f);
  EXPECT_EQ(v.m[3][0], 320.0f);
  EXPECT_EQ(v.m[3][1], 240.0f);
  EXPECT_EQ(v.m[3][3], 1.0f);

  // Eye behind the screen centre looking along +z with y up: r = +x, u = +y, d = +z.
  const Vector3 eye = {320.0f, 240.0f, -415.0f};
  const Vector3 target = {320.0f, 240.0f, 0.0f};
  const Vector3 up = {0.0f, 1.0f, 0.0f};
  Matrix4 m;
  MakeLookAtMatrix(&m, &eye, &target, &up);
  EXPECT_NEAR(m.m[0][0], 1.0f, 1e-6f);  // r in column 0
  EXPECT_NEAR(m.m[1][1], 1.0f, 1e-6f);  // u in column 1
  EXPECT_NEAR(m.m[2][2], 1.0f, 1e-6f);  // d in column 2
  EXPECT_NEAR(m.m[3][0], -320.0f, 1e-3f);
  EXPECT_NEAR(m.m[3][1], -240.0f, 1e-3f);
  EXPECT_NEAR(m.m[3][2], 415.0f, 1e-3f);
  EXPECT_EQ(m.m[3][3], 1.0f);
  const Vector3 a = {1, 2, 3};
  const Vector3 b = {4, -5, 6};
  EXPECT_EQ(VectorDot(&a, &b), 12.0f);
}

}  // namespace
}  // namespace orbel
