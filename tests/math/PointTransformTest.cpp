#include "math/PointTransform.h"
#include "geometry/geometry_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

Matrix4 Translation(double t, double u, double v) {
  Matrix4 m;
  InitMatrix4(&m);
  m.m.m30 = t;
  m.m.m31 = u;
  m.m.m32 = v;
  return m;
}

TEST(PointTransform, IdentityLeavesEverythingAlone) {
  Matrix4 id;
  InitMatrix4(&id);
  double x = 1.25, y = -3.5, z = 7.0;
  TransformPoint(&x, &y, &z, &id);
  TransformPointH(&x, &y, &z, &id);
  TransformVector(&x, &y, &z, &id);
  EXPECT_EQ(x, 1.25);
  EXPECT_EQ(y, -3.5);
  EXPECT_EQ(z, 7.0);
  double a = 0.6, b = 0.0, c = 0.8;
  TransformNormal(&a, &b, &c, &id);
  EXPECT_DOUBLE_EQ(a, 0.6);
  EXPECT_DOUBLE_EQ(c, 0.8);
}

TEST(PointTransform, TranslationMovesPointsButNotVectors) {
  const Matrix4 m = Translation(1, 2, 3);
  XMatrix4 xm;
  Matrix4ToXMatrix4(&m, &xm);

  double x = 10, y = 20, z = 30;
  TransformPoint(&x, &y, &z, &m);
  EXPECT_EQ(x, 11);
  EXPECT_EQ(z, 33);
  x = 10, y = 20, z = 30;
  TransformXPoint(&x, &y, &z, &xm);
  EXPECT_EQ(y, 22);
  float fx = 10, fy = 20, fz = 30;
  TransformRPoint(&fx, &fy, &fz, &m);
  EXPECT_EQ(fz, 33.0f);
  Coordinate c{10, 20, 30};
  TransformCoordinate(&c, &m);
  EXPECT_EQ(c.x, 11.0f);
  DCoordinate d{10, 20, 30};
  TransformDCoordinate(&d, &m);
  EXPECT_EQ(d.y, 22.0);

  x = 10, y = 20, z = 30;
  TransformVector(&x, &y, &z, &m);
  EXPECT_EQ(x, 10);
  TransformPointR(&x, &y, &z, &m);
  EXPECT_EQ(y, 20);
  double a = 0, b = 3, cc = 0;
  TransformNormal(&a, &b, &cc, &m);
  EXPECT_EQ(b, 1.0);
}

TEST(PointTransform, SumsInTheFixedOrder) {
  // With these magnitudes the grouping ((x + y) + z) + t is observable.
  Matrix4 m;
  InitMatrix4(&m);
  m.m.m00 = 1e16;
  m.m.m10 = -1e16;
  m.m.m20 = 1.0;
  m.m.m30 = 1.0;
  double x = 1, y = 1, z = 1;
  TransformPoint(&x, &y, &z, &m);
  EXPECT_EQ(x, 2.0);
  m.m.m10 = 1.0;
  m.m.m20 = -1e16;
  m.m.m30 = 0.5;
  x = 1, y = 1, z = 1;
  TransformPoint(&x, &y, &z, &m);
  EXPECT_EQ(x, ((1e16 + 1.0) + -1e16) + 0.5);

  // Single-precision members compute in double and round once on store.
  m = Translation(0, 0, 0);
  m.m.m00 = 1.0 / 3.0;
  m.m.m30 = 1e-9;
  float fx = 3.0f, fy = 0, fz = 0;
  TransformRPoint(&fx, &fy, &fz, &m);
  EXPECT_EQ(fx, float((3.0 * (1.0 / 3.0) + 0.0 + 0.0) + 1e-9));
}

TEST(PointTransform, NormalsAreUnitOrFallBack) {
  Matrix4 m;
  InitMatrix4(&m);
  m.m.m00 = 2.0;  // non-uniform scale: the direction is scaled, not inverse-transposed
  double a = 1, b = 1, c = 0;
  TransformNormal(&a, &b, &c, &m);
  EXPECT_DOUBLE_EQ(a, 2 / std::sqrt(5.0));
  EXPECT_DOUBLE_EQ(b, 1 / std::sqrt(5.0));
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.matrix[i][j] = 0;
  a = 4, b = 5, c = 6;
  TransformNormal(&a, &b, &c, &m);
  EXPECT_EQ(a, 0.0);
  EXPECT_EQ(b, 0.0);
  EXPECT_EQ(c, 1.0);
}

TEST(PointTransform, HomogeneousDivide) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-5, 5);
  Matrix4 m;
  for (double& e : m.matrixData) e = u(rng);
  m.m.m03 = m.m.m13 = m.m.m23 = 0;
  m.m.m33 = 1;
  for (int i = 0; i < 50; ++i) {  // affine: exactly the plain transform
    double x = u(rng), y = u(rng), z = u(rng);
    double hx = x, hy = y, hz = z;
    TransformPoint(&x, &y, &z, &m);
    TransformPointH(&hx, &hy, &hz, &m);
    EXPECT_EQ(x, hx);
    EXPECT_EQ(y, hy);
    EXPECT_EQ(z, hz);
  }
  Matrix4 half = Translation(2, 4, 6);
  half.m.m33 = 2;
  double x = 2, y = 4, z = 6;
  TransformPointH(&x, &y, &z, &half);
  EXPECT_EQ(x, 2);
  EXPECT_EQ(y, 4);
  EXPECT_EQ(z, 6);
  DCoordinate d{2, 4, 6};
  TransformDCoordinateH(&d, &half);
  EXPECT_EQ(d.z, 6);
  Coordinate c{2, 4, 6};
  TransformCoordinateH(&c, &half);
  EXPECT_EQ(c.y, 4.0f);
  float fx = 2, fy = 4, fz = 6;
  TransformRPointH(&fx, &fy, &fz, &half);
  EXPECT_EQ(fx, 2.0f);

  Matrix4 flat = Translation(1, 1, 1);
  flat.m.m03 = 1;
  flat.m.m33 = -1;  // h = x - 1 = 0 for x = 1
  x = 1, y = 9, z = 9;
  TransformPointH(&x, &y, &z, &flat);
  EXPECT_EQ(x, 0);
  EXPECT_EQ(y, 0);
  EXPECT_EQ(z, 0);
}

TEST(PointTransform, ThreeByThreeAndCopies) {
  Matrix3 m3;
  for (int i = 0; i < 9; ++i) m3.matrixData[i] = i + 1;
  double x = 1, y = 0, z = 0;
  TransformPoint3(&x, &y, &z, &m3);
  EXPECT_EQ(x, 1);
  EXPECT_EQ(y, 2);
  EXPECT_EQ(z, 3);

  Matrix4 m4;
  for (int i = 0; i < 16; ++i) m4.matrixData[i] = 100 + i;
  CopyMatrix3To4(&m4, &m3);
  Matrix3 back;
  CopyMatrix4To3(&back, &m4);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(back.matrixData[i], m3.matrixData[i]);
  EXPECT_EQ(m4.m.m03, 0);
  EXPECT_EQ(m4.m.m30, 0);
  EXPECT_EQ(m4.m.m32, 0);
  EXPECT_EQ(m4.m.m33, 1);
  EXPECT_EQ(m4.m.m12, 6);

  RMatrix4 r4;
  for (int i = 0; i < 16; ++i) r4.matrixData[i] = float(i);
  RMatrix3 r3;
  CopyRMatrix4To3(&r3, &r4);
  EXPECT_EQ(r3.m.m21, 9.0f);
  CopyRMatrix3To4(&r4, &r3);
  EXPECT_EQ(r4.m.m13, 0.0f);
  EXPECT_EQ(r4.m.m33, 1.0f);
  EXPECT_EQ(r4.m.m21, 9.0f);
}

}  // namespace
