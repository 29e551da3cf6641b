#include "math/Quaternion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "EigenOracle.h"
#include "math/MatrixAlgebra.h"
#include "math/Transformations.h"

namespace {

using Eigen::Matrix3d;
using Eigen::Quaterniond;
using Eigen::Vector3d;
using Eigen::Vector4d;

constexpr double kPi = 3.141592653589793;

Quaterniond ToEigen(const Quaternion& q) { return Quaterniond(q.w, q.x, q.y, q.z); }
Quaternion FromEigen(const Quaterniond& q) { return {q.x(), q.y(), q.z(), q.w()}; }
Vector4d V(const Quaternion& q) { return Vector4d(q.x, q.y, q.z, q.w); }

Quaternion RandomQuaternion(oracle::Random& rnd) {
  return {rnd.Uniform(), rnd.Uniform(), rnd.Uniform(), rnd.Uniform()};
}
Quaternion RandomRotation(oracle::Random& rnd, double lo = -kPi, double hi = kPi) {
  return FromEigen(Quaterniond(Eigen::AngleAxisd(rnd.Uniform(lo, hi), rnd.UnitVector())));
}
// Distance between two unit quaternions as rotations (q and -q are the same).
double RotationGap(const Quaternion& a, const Quaternion& b) {
  return std::min((V(a) - V(b)).norm(), (V(a) + V(b)).norm());
}
Matrix3d Linear(const Matrix4& m) { return oracle::ToEigen(m).topLeftCorner<3, 3>(); }

TEST(Quaternion, ArithmeticMatchesEigen) {
  oracle::Random rnd;
  for (int k = 0; k < 300; ++k) {
    const Quaternion p = RandomQuaternion(rnd), q = RandomQuaternion(rnd);
    Quaternion r;
    MultiplyQuaternion(&p, &q, &r);
    EXPECT_LT((V(r) - V(FromEigen(ToEigen(p) * ToEigen(q)))).norm(), 1e-15);
    InvertQuaternion(&q, &r);
    EXPECT_LT((V(r) - V(FromEigen(ToEigen(q).inverse()))).norm(), 1e-13 * V(r).norm());
    DivideQuaternion(&p, &q, &r);
    MultiplyQuaternion(&r, &q, &r);
    EXPECT_LT((V(r) - V(p)).norm(), 1e-14);
    // The quotient survives divisors whose squared norm under- or overflows.
    for (double scale : {1e-200, 1e200}) {
      Quaternion s, d;
      ScaleQuaternion(scale, &q, &s);
      DivideQuaternion(&p, &s, &d);
      ScaleQuaternion(scale, &d, &d);
      MultiplyQuaternion(&d, &q, &d);
      EXPECT_LT((V(d) - V(p)).norm(), 1e-13) << scale;
    }
  }
  Quaternion p{1, 0, 0, 0}, q{0, 1, 0, 0}, r;
  MultiplyQuaternion(&p, &q, &p);  // in place
  EXPECT_EQ(V(p), Vector4d(0, 0, 1, 0));
  const Quaternion one{0, 0, 0, 1};
  MultiplyQuaternion(&one, &q, &r);
  EXPECT_EQ(V(r), V(q));
  MultiplyQuaternion(&q, &one, &r);
  EXPECT_EQ(V(r), V(q));
  q = {0, 0, 0, 2};
  InvertQuaternion(&q, &r);
  EXPECT_EQ(V(r), Vector4d(0, 0, 0, 0.5));
  q = {0, 0, 0, 0};
  DivideQuaternion(&one, &q, &r);
  EXPECT_EQ(V(r), Vector4d::Zero());
  q = {0, 0, 0.6, 0.8};
  SquareQuaternion(&q, &r);
  EXPECT_LT((V(r) - Vector4d(0, 0, 0.96, 0.28)).norm(), 4e-16);
}

TEST(Quaternion, SquareRootSquaresBackForEveryInput) {
  oracle::Random rnd;
  std::vector<Quaternion> inputs = {{0, 0, 0, 0}, {0, 0, 0, -4}, {0, 0, 0, 9},  {0, 0, 3, 0},
                                    {1e-300, 0, 0, -1e-300}, {0, 0, 0, -1e300}, {1, 2, 3, -1e-9}};
  for (int k = 0; k < 300; ++k) {
    Quaternion q = RandomQuaternion(rnd);
    if (k % 3 == 0) q.x = q.y = q.z = 0;  // real, often negative
    ScaleQuaternion(std::pow(10.0, rnd.Uniform(-150, 150)), &q, &q);
    inputs.push_back(q);
  }
  for (const Quaternion& q : inputs) {
    Quaternion root, back;
    SquareRouteQuaternion(&q, &root);
    SquareQuaternion(&root, &back);
    EXPECT_GE(root.w, 0);
    EXPECT_LE((V(back) - V(q)).norm(), 1e-15 * V(q).norm()) << V(q).transpose();
  }
}

TEST(Quaternion, ExponentialAndLogarithmOfRotations) {
  Quaternion q{0, 0, kPi / 2, 0}, r;
  ExponentiateQuaternion(&q, &r);
  EXPECT_LT((V(r) - Vector4d(0, 0, 1, 0)).norm(), 1e-16);
  q = {0, 0, 0, 5};
  ExponentiateQuaternion(&q, &r);
  EXPECT_EQ(V(r), Vector4d(0, 0, 0, 1));
  q = {0, 0, 1, 0};
  LogarithmQuaternion(&q, &r);
  EXPECT_EQ(V(r), Vector4d(0, 0, kPi / 2, 0));
  q = {0, 0, 0, 1};
  LogarithmQuaternion(&q, &r);
  EXPECT_EQ(V(r), Vector4d::Zero());

  oracle::Random rnd;
  for (int k = 0; k < 200; ++k) {
    const Vector3d axis = rnd.UnitVector();
    const double theta = rnd.Uniform(-6, 6);
    const Vector3d v = axis * (theta / 2);
    q = {v.x(), v.y(), v.z(), rnd.Uniform()};
    ExponentiateQuaternion(&q, &r);
    EXPECT_LT((V(r) - V(FromEigen(Quaterniond(Eigen::AngleAxisd(theta, axis))))).norm(), 1e-15);
    LogarithmQuaternion(&r, &r);
    EXPECT_LT((Vector3d(r.x, r.y, r.z) - v).norm(), 1e-14);
  }
}

TEST(Quaternion, NormalisingStepsAndTheirTolerances) {
  Quaternion q{0, 0, 0, 0}, r;
  NormalizeQuaternion(&q, &r);
  EXPECT_EQ(V(r), Vector4d(0, 0, 0, 1));
  q = {0.0005, 0, 0, 0};  // squared length 2.5e-7: too short
  NormalizeQuaternion(&q, &r);
  EXPECT_EQ(V(r), Vector4d(0, 0, 0, 1));
  q = {0.0011, 0, 0, 0};
  NormalizeQuaternion(&q, &r);
  EXPECT_EQ(V(r), Vector4d(1, 0, 0, 0));
  q = {0, 0, 3, 4};
  NormalizeQuaternion(&q, &r);
  EXPECT_LT((V(r) - Vector4d(0, 0, 0.6, 0.8)).norm(), 4e-16);

  Quaternion p{0, 0, 0, 1};
  q = {0, 0, 0, -1};
  BisectQuaternion(&p, &q, &p);  // opposite: perpendicular to p, in place
  EXPECT_EQ(V(p), Vector4d(0, 0, -1, 0));

  oracle::Random rnd;
  for (int k = 0; k < 100; ++k) {
    p = RandomRotation(rnd), q = RandomRotation(rnd);
    DoubleQuaternion(&p, &q, &r);  // p reflected through q
    EXPECT_NEAR(V(r).norm(), 1, 1e-14);
    EXPECT_NEAR(DotQuaternion(&r, &q), DotQuaternion(&p, &q), 1e-14);
    BisectQuaternion(&p, &q, &r);
    EXPECT_LT((V(r) - (V(p) + V(q)).normalized()).norm(), 1e-14);
  }
}

TEST(Quaternion, SlerpMatchesEigenWithoutShorterArcFlip) {
  oracle::Random rnd;
  Quaternion r;
  for (int k = 0; k < 200; ++k) {
    const Quaternion p = RandomRotation(rnd), q = RandomRotation(rnd);
    const double t = rnd.Uniform(0, 1);
    LinearInterpolateQuaternion(t, &p, &q, &r);
    const double dot = DotQuaternion(&p, &q);
    if (dot > 0) {
      EXPECT_LT((V(r) - V(FromEigen(ToEigen(p).slerp(t, ToEigen(q))))).norm(), 1e-13);
    } else if (dot > -0.99) {
      // The long way round: the midpoint is the bisector of p and q themselves.
      LinearInterpolateQuaternion(0.5, &p, &q, &r);
      EXPECT_LT((V(r) - (V(p) + V(q)).normalized()).norm(), 1e-13);
    }
  }
  const Quaternion p = RandomRotation(rnd), q = RandomRotation(rnd);
  LinearInterpolateQuaternion(-1, &p, &q, &r);
  EXPECT_EQ(V(r), V(p));
  LinearInterpolateQuaternion(2, &p, &q, &r);
  EXPECT_EQ(V(r), V(q));
  for (double t : {0.1, 0.5, 0.9}) {
    LinearInterpolateQuaternion(t, &p, &p, &r);
    EXPECT_LT((V(r) - V(p)).norm(), 1e-15);
  }
  Quaternion minus;
  ScaleQuaternion(-1, &p, &minus);
  LinearInterpolateQuaternion(0.5, &p, &minus, &r);
  EXPECT_LT((V(r) - Vector4d(-p.y, p.x, -p.w, p.z)).norm(), 1e-15);

  // Within 1e-6 of parallel the blend is linear (shorter than unit length);
  // just outside it the arc keeps unit length.
  const Quaternion a{0, 0, 0, 1};
  const double angle = std::acos(1 - 9e-7);
  const Quaternion near{std::sin(angle), 0, 0, 1 - 9e-7};
  LinearInterpolateQuaternion(0.5, &a, &near, &r);
  EXPECT_EQ(V(r), 0.5 * V(a) + 0.5 * V(near));
  const double wider = std::acos(1 - 2e-6);
  const Quaternion far{std::sin(wider), 0, 0, 1 - 2e-6};
  LinearInterpolateQuaternion(0.5, &a, &far, &r);
  EXPECT_NEAR(V(r).norm(), 1, 1e-12);
}

TEST(Quaternion, CubicRunsBetweenItsKeysWhateverTheNeighboursSigns) {
  oracle::Random rnd;
  for (int k = 0; k < 50; ++k) {
    Quaternion key[4];
    key[0] = RandomRotation(rnd);
    for (int i = 1; i < 4; ++i) {  // a smooth sequence of turns
      const Quaternion step = RandomRotation(rnd, -0.5, 0.5);
      MultiplyQuaternion(&key[i - 1], &step, &key[i]);
    }
    Quaternion r;
    BezierInteroplateQuaternion(0, &key[0], &key[1], &key[2], &key[3], &r);
    EXPECT_LT(RotationGap(r, key[1]), 1e-14);
    BezierInteroplateQuaternion(1, &key[0], &key[1], &key[2], &key[3], &r);
    EXPECT_LT(RotationGap(r, key[2]), 1e-14);
    const double t = rnd.Uniform(0, 1);
    BezierInteroplateQuaternion(t, &key[0], &key[1], &key[2], &key[3], &r);
    EXPECT_NEAR(V(r).norm(), 1, 1e-14);
    // -q0 and -q3 are the same rotations as q0 and q3, so the curve must not move.
    Quaternion n0, n3, flipped;
    ScaleQuaternion(-1, &key[0], &n0);
    ScaleQuaternion(-1, &key[3], &n3);
    BezierInteroplateQuaternion(t, &n0, &key[1], &key[2], &n3, &flipped);
    EXPECT_LT(RotationGap(r, flipped), 1e-14);
    BezierInteroplateQuaternion(t, &key[1], &key[1], &key[1], &key[1], &r);
    EXPECT_LT(RotationGap(r, key[1]), 1e-14);
  }
}

TEST(Quaternion, MatrixConversionsMatchEigenInBothConventions) {
  oracle::Random rnd;
  for (int k = 0; k < 300; ++k) {
    const Quaternion q = RandomRotation(rnd);
    const Matrix3d rot = ToEigen(q).toRotationMatrix();  // acts on column vectors
    Matrix4 m;
    Quaternion2Matrix4(&q, &m);
    EXPECT_LT((Linear(m) - rot.transpose()).norm(), 1e-15);
    Quaternion back;
    Matrix42Quaternion(&m, &back);
    // w comes first, from the trace: its accuracy falls as w^2 nears 0.
    EXPECT_LT(RotationGap(back, q), 1e-14 + 1e-15 / (q.w * q.w)) << V(q).transpose();

    Quaternion scaled;
    ScaleQuaternion(rnd.Uniform(0.1, 10), &q, &scaled);
    QuaternionToMatrix4(&scaled, &m);
    EXPECT_LT((Linear(m) - rot).norm(), 1e-14);
    Matrix4ToQuaternion(&m, &back);
    EXPECT_LT(RotationGap(back, q), 1e-14);
    EXPECT_EQ(m.m.m33, 1);
  }
  // Turns past 120 degrees have a trace that is not positive.
  for (int k = 0; k < 300; ++k) {
    const Quaternion q = RandomRotation(rnd, 2 * kPi / 3, kPi);
    Matrix4 m;
    QuaternionToMatrix4(&q, &m);
    ASSERT_LE(m.m.m00 + m.m.m11 + m.m.m22, 0);
    Quaternion back;
    Matrix4ToQuaternion(&m, &back);
    EXPECT_NEAR(V(back).norm(), 1, 1e-14);
    Matrix4 again;
    QuaternionToMatrix4(&back, &again);
    EXPECT_LT((Linear(again) - Linear(m)).norm(), 1e-14);
  }
  const Vector3d halfTurns[3] = {{1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}};
  const Quaternion axes[3] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}};
  for (int axis = 0; axis < 3; ++axis) {
    Matrix4 m;
    IdentityMatrix4(&m);
    for (int i = 0; i < 3; ++i) m.matrix[i][i] = halfTurns[axis](i);
    Quaternion q;
    const Quaternion& expected = axes[axis];
    Matrix42Quaternion(&m, &q);
    EXPECT_EQ(V(q), V(expected));
    Matrix4ToQuaternion(&m, &q);
    EXPECT_LT(RotationGap(q, expected), 1e-16);
  }
  Matrix4 m, z;
  const Quaternion zero{0, 0, 0, 0}, two{0, 0, 0, 2};
  QuaternionToMatrix4(&zero, &m);
  EXPECT_EQ(TestIdentityMatrix4(&m), 1);
  QuaternionToMatrix4(&two, &m);
  EXPECT_EQ(TestIdentityMatrix4(&m), 1);
  const double theta = 0.8;
  const Quaternion qz{0, 0, std::sin(theta / 2), std::cos(theta / 2)};
  Quaternion2Matrix4(&qz, &m);
  IdentityMatrix4(&z);
  ZRotateMatrix4(&z, std::sin(theta), std::cos(theta));
  EXPECT_LT((oracle::ToEigen(m) - oracle::ToEigen(z)).norm(), 1e-15);
  QuaternionToMatrix4(&qz, &m);
  EXPECT_LT((oracle::ToEigen(m) - oracle::ToEigen(z).transpose()).norm(), 1e-15);
}

template <class M>
M AnglesMatrix(double x, double y, double z) {
  M m;
  if constexpr (std::is_same_v<M, Matrix4>) {
    IdentityMatrix4(&m);
    XRotateMatrix4(&m, std::sin(x), std::cos(x));
    YRotateMatrix4(&m, std::sin(y), std::cos(y));
    ZRotateMatrix4(&m, std::sin(z), std::cos(z));
  } else {
    IdentityRMatrix4(&m);
    XRotateRMatrix4(&m, float(std::sin(x)), float(std::cos(x)));
    YRotateRMatrix4(&m, float(std::sin(y)), float(std::cos(y)));
    ZRotateRMatrix4(&m, float(std::sin(z)), float(std::cos(z)));
  }
  return m;
}

TEST(Quaternion, AnglesComeBackFromTheirMatrix) {
  double x, y, z;
  Matrix4 m = AnglesMatrix<Matrix4>(0.1, 0.2, 0.3);
  Matrix4ToAngles(&m, &x, &y, &z);
  EXPECT_LT((Vector3d(x, y, z) - Vector3d(0.1, 0.2, 0.3)).norm(), 1e-15);
  m = AnglesMatrix<Matrix4>(0.1, kPi / 2, 0.3);  // the pole: x and z merge
  Matrix4ToAngles(&m, &x, &y, &z);
  EXPECT_LT((Vector3d(x, y, z) - Vector3d(-0.2, kPi / 2, 0)).norm(), 1e-15);
  m.m.m02 = -std::nextafter(1.0, 2.0);  // rounding just past the pole
  Matrix4ToAngles(&m, &x, &y, &z);
  EXPECT_EQ(y, kPi / 2);

  oracle::Random rnd;
  for (int k = 0; k < 300; ++k) {
    const Vector3d a(rnd.Uniform(-3, 3), rnd.Uniform(-1.5, 1.5), rnd.Uniform(-3, 3));
    m = AnglesMatrix<Matrix4>(a.x(), a.y(), a.z());
    Matrix4ToAngles(&m, &x, &y, &z);
    EXPECT_LT((Vector3d(x, y, z) - a).norm(), 1e-13);
    // The angles rebuild the rotation Eigen composes from the same turns.
    const Matrix3d e = (Eigen::AngleAxisd(a.z(), Vector3d::UnitZ()) *
                        Eigen::AngleAxisd(a.y(), Vector3d::UnitY()) *
                        Eigen::AngleAxisd(a.x(), Vector3d::UnitX()))
                           .toRotationMatrix();
    EXPECT_LT((Linear(m) - e.transpose()).norm(), 4e-15);
    const RMatrix4 r = AnglesMatrix<RMatrix4>(a.x(), a.y(), a.z());
    RMatrix4ToAngles(&r, &x, &y, &z);
    EXPECT_LT((Vector3d(x, y, z) - a).norm(), 1e-5 / std::cos(a.y()));
  }
}

}  // namespace
