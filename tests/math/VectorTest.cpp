#include "math/Vector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "EigenOracle.h"

namespace {

using Eigen::Vector3d;

TEST(Vector, NormalizeFallbacksAndThreshold) {
  double a = 0, b = 0, c = 0;
  Normalize(&a, &b, &c);
  EXPECT_EQ(Vector3d(a, b, c), Vector3d(0, 0, 1));
  a = std::nan(""), b = 1, c = 1;
  Normalize(&a, &b, &c);
  EXPECT_EQ(Vector3d(a, b, c), Vector3d(0, 0, 1));
  float fa = 0, fb = 0, fc = 0;
  NormalizeR(&fa, &fb, &fc);
  EXPECT_EQ(fc, 1.0f);
  double u = 0, v = 0;
  Normalize2D(&u, &v);
  EXPECT_EQ(v, 1.0);
  float fu = 0, fv = 0;
  Normalize2DR(&fu, &fv);
  EXPECT_EQ(fv, 1.0f);

  a = 0.0005, b = 0, c = 0;
  EXPECT_EQ(CheckNormalize(&a, &b, &c), 0);
  EXPECT_EQ(a, 0.0005);
  a = 0.002;
  EXPECT_EQ(CheckNormalize(&a, &b, &c), 1);
  EXPECT_EQ(a, 1.0);
  fa = 0.0005f, fb = 0, fc = 0;
  EXPECT_EQ(CheckNormalizeR(&fa, &fb, &fc), 0);
  fa = 0.002f;
  EXPECT_EQ(CheckNormalizeR(&fa, &fb, &fc), 1);
  EXPECT_EQ(fa, 1.0f);
}

TEST(Vector, ProductsAndNormalisationMatchEigen) {
  oracle::Random rnd;
  for (int n = 0; n < 500; ++n) {
    const Vector3d p(rnd.Uniform(), rnd.Uniform(), rnd.Uniform());
    const Vector3d q(rnd.Uniform(), rnd.Uniform(), rnd.Uniform());
    double a, b, c;
    VectorProduct(p.x(), p.y(), p.z(), q.x(), q.y(), q.z(), &a, &b, &c);
    EXPECT_LT((Vector3d(a, b, c) - p.cross(q)).norm(), 1e-15);
    EXPECT_NEAR(DotProduct(p.x(), p.y(), p.z(), q.x(), q.y(), q.z()), p.dot(q), 1e-15);
    EXPECT_NEAR(DotProductR(float(p.x()), float(p.y()), float(p.z()), float(q.x()),
                            float(q.y()), float(q.z())),
                p.dot(q), 1e-6);
    AlignVectors(p.x(), p.y(), p.z(), q.x(), q.y(), q.z(), &a, &b, &c);
    EXPECT_LT((Vector3d(a, b, c) - p.cross(p.cross(q))).norm(), 1e-15);

    a = p.x(), b = p.y(), c = p.z();
    Normalize(&a, &b, &c);
    EXPECT_LT((Vector3d(a, b, c) - p.normalized()).norm(), 1e-15);
    float fa = float(p.x()), fb = float(p.y()), fc = float(p.z());
    NormalizeR(&fa, &fb, &fc);
    EXPECT_LT((Vector3d(fa, fb, fc) - p.normalized()).norm(), 3e-7);

    const double theta = rnd.Uniform(-3, 3);
    double n1 = p.x(), n2 = p.y();
    Rot(std::sin(theta), std::cos(theta), &n1, &n2);
    const Eigen::Vector2d turned = Eigen::Rotation2Dd(theta) * Eigen::Vector2d(p.x(), p.y());
    EXPECT_NEAR(n1, turned.x(), 1e-15);
    EXPECT_NEAR(n2, turned.y(), 1e-15);

    Matrix3 m = rnd.Matrix<Matrix3>();
    EXPECT_NEAR(Det(&m), oracle::ToEigen(m).determinant(), 1e-14);
  }
  // The R members stay in floats: 2^24 + 1 + 1 is 2^24 there, 2^24 + 2 in doubles.
  EXPECT_EQ(DotProductR(16777216.0f, 1, 1, 1, 1, 1), 16777216.0f);
  float fa = 16777216.0f, fb = 1, fc = 1;
  VectorProductR(0, 0, 1, fb, fa, 0, &fa, &fb, &fc);  // (-2^24, 1, 0)
  EXPECT_EQ(DotProductR(fa, fb, fc, -1, 1, 1), 16777216.0f);
  // Outputs may overwrite the inputs.
  double a = 1, b = 0, c = 0;
  VectorProduct(a, b, c, 0, 1, 0, &a, &b, &c);
  EXPECT_EQ(Vector3d(a, b, c), Vector3d(0, 0, 1));
  AlignVectors(0, 0, 1, 1, 2, 3, &a, &b, &c);
  EXPECT_EQ(Vector3d(a, b, c), Vector3d(-1, -2, 0));
}

TEST(Vector, AreasMeasureComponentSumsIn3D) {
  EXPECT_EQ(TriangleArea(0, 0, 1, 0, 0, 1), 0.5);
  EXPECT_EQ(TriangleArea(0, 0, 0, 1, 1, 0), 0.5);
  EXPECT_EQ(TriangleArea3(0, 0, 0, 1, 0, 0, 0, 1, 0), 0.5);
  EXPECT_EQ(TriangleArea3(0, 0, 0, 1, 0, 0, 0, 0, 1), 0.5);
  // Cross product (0, -1, 1): its components cancel although its length is not 0.
  EXPECT_EQ(TriangleArea3(0, 0, 0, 1, 0, 0, 0, 1, 1), 0.0);
  EXPECT_EQ(QuadrangleArea(0, 0, 1, 0, 1, 1, 0, 1), 1.0);
  EXPECT_EQ(QuadrangleArea3(0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0), 1.0);

  // In a coordinate plane the measure is the true area.
  oracle::Random rnd;
  for (int n = 0; n < 200; ++n) {
    const Vector3d p1(rnd.Uniform(), rnd.Uniform(), 0), p2(rnd.Uniform(), rnd.Uniform(), 0),
        p3(rnd.Uniform(), rnd.Uniform(), 0);
    const double area = 0.5 * (p2 - p1).cross(p3 - p1).norm();
    EXPECT_NEAR(TriangleArea(p1.x(), p1.y(), p2.x(), p2.y(), p3.x(), p3.y()), area, 1e-15);
    EXPECT_NEAR(TriangleArea3(p1.x(), p1.y(), 0, p2.x(), p2.y(), 0, p3.x(), p3.y(), 0), area,
                1e-15);
  }
}

TEST(Vector, AnglesSignsAndSinglePrecisionComparisons) {
  EXPECT_NEAR(CalcDotValue(90), 0, 1e-16);
  EXPECT_EQ(CalcAngle(1), 0);
  EXPECT_TRUE(std::isnan(CalcAngle(1.5)));
  for (double deg = 0; deg <= 180; deg += 7.5) EXPECT_NEAR(CalcAngle(CalcDotValue(deg)), deg, 1e-6);

  EXPECT_EQ(Sgn(0.0), 1);
  EXPECT_EQ(Sgn(-0.0), 1);
  EXPECT_EQ(Sgn(-1e-300), -1);
  EXPECT_EQ(Sgn(std::nan("")), -1);

  const float hi = std::ldexp(1.0f, -24), lo = -std::ldexp(1.0f, -25);
  EXPECT_EQ(Equal0(hi), 1);
  EXPECT_EQ(Equal0(std::nextafter(hi, 1.0f)), 0);
  EXPECT_EQ(Equal0(lo), 1);
  EXPECT_EQ(Equal0(std::nextafter(lo, -1.0f)), 0);
  EXPECT_EQ(Equal0(1e-9f), 1);
  EXPECT_EQ(Equal0(1e-6f), 0);
  EXPECT_EQ(Equal1(1.0f), 1);
  EXPECT_EQ(Equal1(std::nextafter(1.0f, 2.0f)), 0);
}

// Distance of a point to a segment, and its minimum over segment 1 by
// ternary search on the convex distance function: independent of the
// closed-form method under test.
double PointSegment(const Vector3d& x, const Vector3d& p, const Vector3d& d, double len) {
  const double s = std::clamp((x - p).dot(d), 0.0, len);
  return (x - (p + d * s)).norm();
}

double BruteDistance(const Vector3d& p1, const Vector3d& d1, double l1, const Vector3d& p2,
                     const Vector3d& d2, double l2) {
  double lo = 0, hi = l1;
  for (int i = 0; i < 200; ++i) {
    const double a = lo + (hi - lo) / 3, b = hi - (hi - lo) / 3;
    if (PointSegment(p1 + d1 * a, p2, d2, l2) < PointSegment(p1 + d1 * b, p2, d2, l2))
      hi = b;
    else
      lo = a;
  }
  return PointSegment(p1 + d1 * lo, p2, d2, l2);
}

TEST(Vector, SegmentDistanceMatchesBruteForce) {
  oracle::Random rnd;
  for (int n = 0; n < 300; ++n) {
    const Vector3d p1 = rnd.UnitVector() * 2, d1 = rnd.UnitVector();
    const Vector3d p2 = rnd.UnitVector(), d2 = n % 10 == 0 ? d1 : rnd.UnitVector();
    const double l1 = rnd.Uniform(0, 3), l2 = rnd.Uniform(0, 3);
    const double dist = LineDistance(p1.x(), p1.y(), p1.z(), d1.x(), d1.y(), d1.z(), l1, p2.x(),
                                     p2.y(), p2.z(), d2.x(), d2.y(), d2.z(), l2);
    EXPECT_NEAR(dist, BruteDistance(p1, d1, l1, p2, d2, l2), 1e-9) << n;

    Vector3d a = p1, b = p2;
    Line2Closest(&a.x(), &a.y(), &a.z(), d1.x(), d1.y(), d1.z(), l1, &b.x(), &b.y(), &b.z(),
                 d2.x(), d2.y(), d2.z(), l2);
    EXPECT_NEAR((a - b).norm(), dist, 1e-12);
    EXPECT_LT(PointSegment(a, p1, d1, l1), 1e-12);
    EXPECT_LT(PointSegment(b, p2, d2, l2), 1e-12);
  }
  // Parallel: from the start of segment 1, clamped onto segment 2 and back.
  EXPECT_DOUBLE_EQ(LineDistance(0, 1, 0, 1, 0, 0, 2, 5, 0, 0, 1, 0, 0, 1), std::sqrt(10.0));
  EXPECT_EQ(LineDistance(-1, 0, 0, 1, 0, 0, 2, 0, -1, 1, 0, 1, 0, 2), 1.0);
  EXPECT_EQ(LineDistance(-1, 0, 0, 1, 0, 0, 2, 0, -1, 0, 0, 1, 0, 2), 0.0);
}

TEST(Vector, Line1ClosestMovesOnlyForwardAlongSegment1) {
  double x = -1, y = 0, z = 0;
  Line1Closest(&x, &y, &z, 1, 0, 0, 5, 3, -1, 2, 0, 1, 0);
  EXPECT_EQ(Vector3d(x, y, z), Vector3d(3, 0, 0));
  x = -1, y = 0, z = 0;
  Line1Closest(&x, &y, &z, 1, 0, 0, 2, 3, -1, 2, 0, 1, 0);  // clamped to the length
  EXPECT_EQ(Vector3d(x, y, z), Vector3d(1, 0, 0));
  x = 5, y = 0, z = 0;
  Line1Closest(&x, &y, &z, 1, 0, 0, 2, 3, -1, 2, 0, 1, 0);  // closest point behind the start
  EXPECT_EQ(Vector3d(x, y, z), Vector3d(5, 0, 0));
  Line1Closest(&x, &y, &z, 1, 0, 0, 2, 0, 3, 0, 1, 0, 0);  // parallel
  EXPECT_EQ(Vector3d(x, y, z), Vector3d(5, 0, 0));
}

TEST(Vector, TriangleNormalsAndPlanes) {
  const Coordinate c1{0, 0, 0}, c2{1, 0, 0}, c3{0, 1, 0};
  double a, b, c, d;
  EXPECT_EQ(CalcNormal(&c1, &c2, &c3, &a, &b, &c), 1);
  EXPECT_EQ(Vector3d(a, b, c), Vector3d(0, 0, 1));
  CalcPlaneFormula(&c1, &c2, &c3, &a, &b, &c, &d);
  EXPECT_EQ(d, 0.0);
  CalcVector(&c1, &c3, &c2, &a, &b, &c);
  EXPECT_EQ(Vector3d(a, b, c), Vector3d(0, 0, -1));

  // Collinear and coincident points are degenerate; the plane falls back to z.
  const DCoordinate l1{1, 2, 3}, l2{2, 4, 6}, l3{4, 8, 12};
  EXPECT_EQ(CalcDNormal(&l1, &l2, &l3, &a, &b, &c), 0);
  EXPECT_EQ(CalcDVector2(&l1, &l2, &l3, &a, &b, &c), 0);
  CalcDPlaneFormula(&l1, &l2, &l3, &a, &b, &c, &d);
  EXPECT_EQ(Vector3d(a, b, c), Vector3d(0, 0, 1));
  EXPECT_EQ(d, -3.0);
  const Coordinate same{1, 2, 3};
  EXPECT_EQ(CalcNormal(&same, &same, &same, &a, &b, &c), 0);
  EXPECT_EQ(CalcVector2(&same, &same, &same, &a, &b, &c), 0);
  EXPECT_EQ(Vector3d(a, b, c), Vector3d(0, 0, 0));
  CalcPlaneFormula(&same, &same, &same, &a, &b, &c, &d);
  EXPECT_EQ(Eigen::Vector4d(a, b, c, d), Eigen::Vector4d(0, 0, 1, -3)) << "no NaN from a zero length";

  oracle::Random rnd;
  for (int n = 0; n < 200; ++n) {
    const Vector3d p[3] = {rnd.UnitVector(), rnd.UnitVector(), rnd.UnitVector()};
    const DCoordinate q[3] = {{p[0].x(), p[0].y(), p[0].z()},
                              {p[1].x(), p[1].y(), p[1].z()},
                              {p[2].x(), p[2].y(), p[2].z()}};
    if (CalcDNormal(&q[0], &q[1], &q[2], &a, &b, &c) == 0) continue;
    EXPECT_LT((Vector3d(a, b, c) - (p[1] - p[0]).cross(p[2] - p[0]).normalized()).norm(), 1e-12);
    CalcDPlaneFormula(&q[0], &q[1], &q[2], &a, &b, &c, &d);
    for (const Vector3d& v : p) EXPECT_NEAR(Vector3d(a, b, c).dot(v) + d, 0, 1e-14);
  }
}

}  // namespace
