// The vector, matrix-algebra, transformation, quaternion and point-transform
// families, checked against Eigen as the independent reference on seeded random
// inputs, and the kit's own rules where it deliberately differs from a textbook.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <random>
#include <type_traits>
#include <vector>

#include "math/MatrixAlgebra.h"
#include "math/MatrixKernels.h"
#include "math/PointTransform.h"
#include "math/Quaternion.h"
#include "math/Transformations.h"
#include "math/Vector.h"

namespace {

using Eigen::Matrix3d;
using Eigen::Vector3d;
using Eigen::Vector4d;
using plm_math::Elem;
using plm_math::kOrder;
constexpr double kPi = 3.141592653589793;

template <class M>
using EigenOf = Eigen::Matrix<double, kOrder<M>, kOrder<M>, Eigen::RowMajor>;
template <class M>
EigenOf<M> ToEigen(const M& m) {
  using Map = Eigen::Map<const Eigen::Matrix<Elem<M>, kOrder<M>, kOrder<M>, Eigen::RowMajor>>;
  return Map(m.matrixData).template cast<double>();
}
template <class M>
Matrix3d Linear(const M& m) { return ToEigen(m).template topLeftCorner<3, 3>(); }
// Largest element difference relative to the reference's largest element.
template <class M, class E>
double RelativeError(const M& m, const E& reference) {
  const double scale = std::max(1.0, reference.cwiseAbs().maxCoeff());
  return (ToEigen(m) - reference).cwiseAbs().maxCoeff() / scale;
}

Eigen::Quaterniond ToEigen(const Quaternion& q) { return {q.w, q.x, q.y, q.z}; }
Quaternion FromEigen(const Eigen::Quaterniond& q) { return {q.x(), q.y(), q.z(), q.w()}; }
Vector4d V(const Quaternion& q) { return Vector4d(q.x, q.y, q.z, q.w); }
double Gap(const Quaternion& a, const Quaternion& b) { return (V(a) - V(b)).norm(); }
// Distance between two unit quaternions as rotations (q and -q are the same).
double RotationGap(const Quaternion& a, const Quaternion& b) {
  return std::min(Gap(a, b), (V(a) + V(b)).norm());
}
// Calls a quaternion member with its records by pointer; returns the record it writes.
template <class T>
auto Arg(const T& a) { if constexpr (std::is_arithmetic_v<T>) return a; else return &a; }
template <class R = Quaternion, class F, class... A>
R Call(F f, const A&... a) { R r; f(Arg(a)..., &r); return r; }

// The kit's translation matrix: the offset in row 3.
Matrix4 Translation(const Vector3d& t) {
  Matrix4 m;  // column-major view: the transpose
  Eigen::Map<Eigen::Matrix4d>(m.matrixData) = Eigen::Affine3d(Eigen::Translation3d(t)).matrix();
  return m;
}

struct Random {
  std::mt19937_64 engine{20240607};
  double Uniform(double lo = -1, double hi = 1) {
    return std::uniform_real_distribution<double>(lo, hi)(engine);
  }
  Vector3d Vector() { return Vector3d(Uniform(), Uniform(), Uniform()); }
  Vector3d UnitVector() {
    std::normal_distribution<double> g;
    return Vector3d(g(engine), g(engine), g(engine)).normalized();
  }
  template <class M>
  M Matrix() { M m; for (auto& v : m.matrixData) v = Elem<M>(Uniform()); return m; }
  Quaternion Quat() { return {Uniform(), Uniform(), Uniform(), Uniform()}; }
  Quaternion Rotation(double lo = -kPi, double hi = kPi) {
    return FromEigen(Eigen::Quaterniond(Eigen::AngleAxisd(Uniform(lo, hi), UnitVector())));
  }
};

// ------------------------------------------------------------------ vectors

TEST(Vector, FallBacksThresholdsAreasSignsAndSinglePrecisionComparisons) {
  double v[] = {0, 0, 0, std::nan(""), 1, 1, 0, 0};  // zero and NaN triples, a zero pair
  float f[] = {0, 0, 0, 0, 0};
  Normalize(&v[0], &v[1], &v[2]);
  Normalize(&v[3], &v[4], &v[5]);
  Normalize2D(&v[6], &v[7]);
  NormalizeR(&f[0], &f[1], &f[2]);
  Normalize2DR(&f[3], &f[4]);
  EXPECT_EQ(std::vector<double>(v, v + 8), (std::vector<double>{0, 0, 1, 0, 0, 1, 0, 1}));
  EXPECT_EQ(std::vector<float>(f, f + 5), (std::vector<float>{0, 0, 1, 0, 1}));
  for (double x : {0.0005, 0.002}) {  // only a squared length above 1e-6 is normalised
    double a = x, b = 0, c = 0;
    float fa = float(x), fb = 0, fc = 0;
    EXPECT_EQ(CheckNormalize(&a, &b, &c) + CheckNormalizeR(&fa, &fb, &fc), x > 0.001 ? 2 : 0);
    EXPECT_EQ(a + fa, x > 0.001 ? 2.0 : x + float(x));
  }
  EXPECT_EQ(TriangleArea(1, 1, 3, 1, 1, 4), 3.0);
  EXPECT_EQ(TriangleArea3(0, 0, 0, 1, 0, 0, 0, 0, 1), 0.5);
  // Cross product (0, -1, 1): its components cancel although its length is not 0.
  EXPECT_EQ(TriangleArea3(0, 0, 0, 1, 0, 0, 0, 1, 1), 0.0);
  EXPECT_EQ(QuadrangleArea(0, 0, 1, 0, 1, 1, 0, 1), 1.0);
  EXPECT_EQ(QuadrangleArea3(0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0), 1.0);
  EXPECT_TRUE(std::isnan(CalcAngle(1.5)));  // not clamped
  for (double deg = 0; deg <= 180; deg += 7.5) EXPECT_NEAR(CalcAngle(CalcDotValue(deg)), deg, 1e-6);
  const std::pair<double, int> signs[] = {{0.0, 1}, {-0.0, 1}, {-1e-300, -1}, {std::nan(""), -1}};
  for (const auto& [n, sign] : signs) EXPECT_EQ(Sgn(n), sign) << n;
  // Equal0 holds exactly where n + 1.0f rounds to 1.0f.
  const float hi = std::ldexp(1.0f, -24), lo = -std::ldexp(1.0f, -25);
  const std::pair<float, int> zeros[] = {{hi, 1}, {std::nextafter(hi, 1.0f), 0}, {lo, 1},
                                         {std::nextafter(lo, -1.0f), 0}, {1e-6f, 0}};
  for (const auto& [n, equal] : zeros) EXPECT_EQ(Equal0(n), equal) << n;
  EXPECT_EQ(Equal1(1.0f) - Equal1(std::nextafter(1.0f, 2.0f)), 1);
}

TEST(Vector, ProductsAndDeterminantsMatchEigen) {
  Random rnd;
  for (int n = 0; n < 500; ++n) {
    const Vector3d p = rnd.Vector(), q = rnd.Vector();
    const Eigen::Vector3f pf = p.cast<float>(), qf = q.cast<float>();
    Vector3d r;
    VectorProduct(p.x(), p.y(), p.z(), q.x(), q.y(), q.z(), &r.x(), &r.y(), &r.z());
    EXPECT_LT((r - p.cross(q)).norm(), 1e-15);
    AlignVectors(p.x(), p.y(), p.z(), q.x(), q.y(), q.z(), &r.x(), &r.y(), &r.z());
    EXPECT_LT((r - p.cross(p.cross(q))).norm(), 1e-15);
    EXPECT_NEAR(DotProduct(p.x(), p.y(), p.z(), q.x(), q.y(), q.z()), p.dot(q), 1e-15);
    EXPECT_NEAR(DotProductR(pf.x(), pf.y(), pf.z(), qf.x(), qf.y(), qf.z()), p.dot(q), 1e-6);
    const Matrix3 m = rnd.Matrix<Matrix3>();
    const RMatrix3 rm = rnd.Matrix<RMatrix3>();
    EXPECT_NEAR(Det(&m), ToEigen(m).determinant(), 1e-14);
    EXPECT_NEAR(DetR(&rm), ToEigen(rm).determinant(), 1e-6);
  }
  // The R members stay in floats: 2^24 + 1 + 1 is 2^24 there, 2^24 + 2 in doubles.
  EXPECT_EQ(DotProductR(16777216.0f, 1, 1, 1, 1, 1), 16777216.0f);
  float fa = 16777216.0f, fb = 1, fc = 1;
  VectorProductR(0, 0, 1, fb, fa, 0, &fa, &fb, &fc);  // (-2^24, 1, 0), outputs alias inputs
  EXPECT_EQ(DotProductR(fa, fb, fc, -1, 1, 1), 16777216.0f);
}

// Distance of a point to a segment, and its minimum over segment 1 by
// ternary search on the convex distance function: independent of the
// closed-form method under test.
double PointSegment(const Vector3d& x, const Vector3d& p, const Vector3d& d, double len) {
  return (x - (p + d * std::clamp((x - p).dot(d), 0.0, len))).norm();
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
  Random rnd;
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
    EXPECT_LT(PointSegment(a, p1, d1, l1) + PointSegment(b, p2, d2, l2), 1e-12);
  }
  double x = -1, y = 0, z = 0;  // Line1Closest moves the start to the point nearest line 2
  Line1Closest(&x, &y, &z, 1, 0, 0, 5, 3, -1, 2, 0, 1, 0);
  EXPECT_EQ(Vector3d(x, y, z), Vector3d(3, 0, 0));
}

TEST(Vector, TriangleNormalsAndPlanesIncludingDegenerateOnes) {
  const Coordinate c1{0, 0, 0}, c2{1, 0, 0}, c3{0, 1, 0}, same{1, 2, 3};
  const DCoordinate l1{1, 2, 3}, l2{2, 4, 6}, l3{4, 8, 12}, d1{2, 1, 1}, d2{2, 3, 1}, d3{2, 1, 4};
  Vector4d r;
  CalcVector(&c1, &c3, &c2, &r.x(), &r.y(), &r.z());  // clockwise from above: down
  EXPECT_EQ(r.head<3>(), Vector3d(0, 0, -1));
  CalcDPlaneFormula(&d1, &d2, &d3, &r.x(), &r.y(), &r.z(), &r.w());
  EXPECT_EQ(r, Vector4d(1, 0, 0, -2));
  // Collinear and coincident points are degenerate; the plane falls back to z.
  EXPECT_EQ(CalcDNormal(&l1, &l2, &l3, &r.x(), &r.y(), &r.z()), 0);
  EXPECT_EQ(CalcDVector2(&l1, &l2, &l3, &r.x(), &r.y(), &r.z()), 0);
  EXPECT_EQ(CalcNormal(&same, &same, &same, &r.x(), &r.y(), &r.z()), 0);
  EXPECT_EQ(CalcVector2(&same, &same, &same, &r.x(), &r.y(), &r.z()), 0);
  CalcDPlaneFormula(&l1, &l2, &l3, &r.x(), &r.y(), &r.z(), &r.w());
  EXPECT_EQ(r, Vector4d(0, 0, 1, -3));
  CalcPlaneFormula(&same, &same, &same, &r.x(), &r.y(), &r.z(), &r.w());
  EXPECT_EQ(r, Vector4d(0, 0, 1, -3)) << "no NaN from a zero length";
}

// ---------------------------------------------------------- matrix families

template <class M>
struct Family;
#define PLM_FAMILY(M)                                                                       \
  template <>                                                                               \
  struct Family<M> {                                                                        \
    static constexpr auto TestIdentity = TestIdentity##M, TestZero = TestZero##M;           \
    static constexpr auto Identity = Identity##M, Invert = Invert##M, Sense = Sense##M;     \
    static constexpr auto Append = Append##M, Insert = Insert##M, Normal = Normal##M;       \
    static constexpr auto Transpose = Transpose##M, Rotate = Rotate##M, ECS = ECS##M;       \
    static constexpr auto SwapXY = SwapXY##M, SwapXZ = SwapXZ##M, SwapYZ = SwapYZ##M;       \
    static constexpr auto XRotate = XRotate##M, YRotate = YRotate##M, ZRotate = ZRotate##M; \
    static constexpr auto NegateX = NegateX##M, NegateY = NegateY##M, NegateZ = NegateZ##M; \
    static constexpr auto Scale = Scale##M, Skew = Skew##M;                                 \
  };
PLM_FOR_EACH_MATRIX(PLM_FAMILY)
#undef PLM_FAMILY

template <class M>
class Families : public ::testing::Test {
 protected:
  using F = Family<M>;
  using T = Elem<M>;
  static constexpr int n = kOrder<M>;
  // Relative accuracy expected of one well-conditioned operation.
  static constexpr double tol = std::is_same_v<T, float> ? 2e-6 : 1e-14;
  Random rnd;

  static M Identity() { M m; F::Identity(&m); return m; }
  // Applies op to a random matrix and checks it was post-multiplied by the
  // elementary matrix with the given linear block (scale 0: exactly).
  template <class Op>
  void ExpectAppends(Op op, const Matrix3d& block, double scale = 1) {
    M m = rnd.template Matrix<M>();
    auto e = EigenOf<M>::Identity().eval();
    e.template topLeftCorner<3, 3>() = block;
    e = ToEigen(m) * e;
    op(&m);
    EXPECT_LE(RelativeError(m, e), tol * scale);
  }
};

using MatrixTypes = ::testing::Types<Matrix4, RMatrix4, Matrix3, RMatrix3>;
TYPED_TEST_SUITE(Families, MatrixTypes);

TYPED_TEST(Families, IdentityZeroAndProductsWithTheirRoundings) {
  using F = typename TestFixture::F;
  using T = typename TestFixture::T;
  const int n = this->n;
  // Single-precision rounding passes the identity test.
  const std::tuple<int, int, double, int> identities[] = {
      {0, 1, 1e-9, 1}, {n - 1, n - 1, 1 + 1e-9, 1}, {n - 1, 0, 1e-6, 0}, {1, 1, 0.999, 0}};
  for (const auto& [i, j, v, identity] : identities) {
    TypeParam m = this->Identity();
    m.matrix[i][j] = T(v);
    EXPECT_EQ(F::TestIdentity(&m), identity) << i << j;
  }
  // The zero test sums the linear block with signs, onto a bias.
  TypeParam m{};
  m.matrix[0][0] = 1, m.matrix[1][1] = -1;  // cancels
  m.matrix[2][2] = std::is_same_v<T, float> ? T(1e-8) : T(1e-16);  // lost against the bias
  if (n == 4) m.matrix[3][0] = m.matrix[0][3] = m.matrix[3][3] = 5;  // outside the block
  EXPECT_EQ(F::TestZero(&m), 1);
  m.matrix[2][1] = T(1e-3);
  EXPECT_EQ(F::TestZero(&m), 0);

  // Product rows sum left to right: big - big + 1 is 1, a reversed sum gives 0.
  TypeParam a{}, ones{};
  a.matrix[0][0] = std::is_same_v<T, float> ? T(1e8) : T(1e16);
  a.matrix[0][1] = -a.matrix[0][0], a.matrix[0][2] = 1;
  for (int j = 0; j < n; ++j) ones.matrix[j][0] = 1;
  F::Append(&a, &ones);
  EXPECT_EQ(a.matrix[0][0], T(1));
  for (int k = 0; k < 200; ++k) {
    a = this->rnd.template Matrix<TypeParam>();
    const TypeParam b = this->rnd.template Matrix<TypeParam>();
    m = a;
    F::Append(&m, &b);  // a then b: a * b for row vectors
    EXPECT_LT(RelativeError(m, ToEigen(a) * ToEigen(b)), this->tol * 4);
    m = a;
    F::Insert(&m, &b);
    EXPECT_LT(RelativeError(m, ToEigen(b) * ToEigen(a)), this->tol * 4);
    m = a;
    F::Append(&m, &m);  // squaring in place reads a copy
    EXPECT_LT(RelativeError(m, ToEigen(a) * ToEigen(a)), this->tol * 4);
    F::Transpose(&m, a);
    EXPECT_EQ(ToEigen(m), ToEigen(a).transpose());
  }
}

TYPED_TEST(Families, InverseSenseAndNormalMatchEigenAndSingularSourcesDoNotTrap) {
  using F = typename TestFixture::F;
  const int n = this->n;
  for (int k = 0; k < 300; ++k) {
    const TypeParam src = this->rnd.template Matrix<TypeParam>();
    const auto e = ToEigen(src);
    const double det3 = e.template topLeftCorner<3, 3>().determinant();
    EXPECT_TRUE(std::fabs(det3) < 1e-3 || F::Sense(&src) == (det3 > 0 ? 1 : 0)) << k;
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(e);
    const double cond = svd.singularValues()(0) / svd.singularValues().tail(1)(0);
    if (cond > 100) continue;
    TypeParam inv, m = src;
    F::Invert(&inv, src);
    EXPECT_LT(RelativeError(inv, e.inverse()), this->tol * 10 * cond) << k;
    F::Invert(&m, m);  // in place, and twice gives back the source
    EXPECT_EQ(ToEigen(m), ToEigen(inv));
    F::Invert(&m, m);
    EXPECT_LT(RelativeError(m, e), this->tol * 100 * cond) << k;
    m = src;
    F::Normal(&m);
    EXPECT_LT(RelativeError(m, e.inverse().transpose()), this->tol * 10 * cond) << k;
  }
  TypeParam m{}, inv;
  EXPECT_EQ(F::Sense(&m), 0);
  for (int i = 0; i < n; ++i) m.matrix[i][(i + 1) % n] = 2;  // column 0 only in the last row
  F::Invert(&inv, m);
  EXPECT_LT(RelativeError(inv, ToEigen(m).inverse()), this->tol);
  // A meaningless result is allowed, but no trap and no fake finite inverse.
  F::Invert(&inv, TypeParam{});
  EXPECT_FALSE(ToEigen(inv).allFinite());
}

// Row vectors: the kit's matrix of a rotation is the transpose of Eigen's.
Matrix3d RowRotation(double theta, const Vector3d& axis) {
  return Eigen::AngleAxisd(theta, axis.normalized()).toRotationMatrix().transpose();
}
Matrix3d Diagonal(double x, double y, double z) { return Vector3d(x, y, z).asDiagonal(); }

TYPED_TEST(Families, ElementaryStepsAppendTheirMatrices) {
  using F = typename TestFixture::F;
  using T = typename TestFixture::T;
  for (int k = 0; k < 100; ++k) {
    const double theta = this->rnd.Uniform(-4, 4);
    const T s = T(std::sin(theta)), c = T(std::cos(theta));
    const decltype(F::XRotate) axes[3] = {F::XRotate, F::YRotate, F::ZRotate};
    for (int i = 0; i < 3; ++i)
      this->ExpectAppends([&](auto m) { axes[i](m, s, c); }, RowRotation(theta, Vector3d::Unit(i)));
    // About any axis, not of unit length.
    const Vector3d a = this->rnd.UnitVector() * this->rnd.Uniform(0.5, 3);
    const Eigen::Matrix<T, 3, 1> at = a.template cast<T>();
    this->ExpectAppends([&](auto m) { F::Rotate(m, at.x(), at.y(), at.z(), T(theta)); },
                        RowRotation(double(T(theta)), at.template cast<double>()), 4);
  }
  this->ExpectAppends([](auto m) { F::Rotate(m, 0, 0, 0, 1); }, Matrix3d::Identity(), 0);
  this->ExpectAppends([](auto m) { F::Scale(m, 2, -3, T(0.5)); }, Diagonal(2, -3, 0.5));
  this->ExpectAppends([](auto m) { F::NegateX(m); }, Diagonal(-1, 1, 1));
  this->ExpectAppends([](auto m) { F::NegateY(m); }, Diagonal(1, -1, 1));
  this->ExpectAppends([](auto m) { F::NegateZ(m); }, Diagonal(1, 1, -1));
  this->ExpectAppends([](auto m) { F::Skew(m, T(0.75)); },
                      (Matrix3d() << 1, 0, 0, 0, 1, 0, 0.75, 0.75, 1).finished());
  // Tiny scales are held at 1e-10 with their sign, zero counting as positive.
  TypeParam m = this->Identity();
  F::Scale(&m, 0, T(-1e-12), 5);
  EXPECT_EQ(Linear(m), Diagonal(double(T(1e-10)), double(T(-1e-10)), 5));
  const decltype(F::SwapXY) swaps[3] = {F::SwapXY, F::SwapXZ, F::SwapYZ};
  for (int s = 0; s < 3; ++s) {  // exchange x and y, x and z, y and z, in place
    Matrix3d exchange = Matrix3d::Identity();
    exchange.col(s / 2).swap(exchange.col(s ? 2 : 1));
    this->ExpectAppends([&](auto m) { swaps[s](m, *m); }, exchange, 0);
  }

  // The entity frame of a direction follows the arbitrary-axis rule.
  this->ExpectAppends([](auto m) { F::ECS(m, 0, 0, 1); }, Matrix3d::Identity(), 0);
  this->ExpectAppends([](auto m) { F::ECS(m, 0, 0, 5); }, Matrix3d::Identity(), 0);
  const auto frame = [this](double x, double y, double z) {
    TypeParam m = this->Identity();
    F::ECS(&m, T(x), T(y), T(z));
    return Linear(m);
  };
  EXPECT_EQ(frame(0, 0, -1), Diagonal(-1, 1, -1));
  // Within 1/64 of the z axis the x axis comes from world y, beyond it from world z.
  EXPECT_NEAR(frame(0.0156, 0, 1)(0, 2), -0.0156, 1e-4);
  EXPECT_LT((frame(0.0157, 0, 1).row(0) - Vector3d::UnitY().transpose()).norm(), this->tol);
  for (int k = 0; k < 100; ++k) {  // a right-handed orthonormal frame with z along d
    const Vector3d d = this->rnd.UnitVector() * 3;
    const Matrix3d f = frame(d.x(), d.y(), d.z());
    EXPECT_LT((f * f.transpose() - Matrix3d::Identity()).norm(), this->tol);
    EXPECT_GT(f.determinant(), 0);
    EXPECT_LT((f.row(2).transpose() - d.normalized()).norm(), this->tol);
  }
}

TEST(Families, TranslateCarriesEveryRowAndRowsNormalizeWithTheirFallback) {
  Matrix4 m4 = Random().Matrix<Matrix4>();
  const Eigen::Matrix4d expected = ToEigen(m4) * ToEigen(Translation(Vector3d(1, -2, 0.5)));
  TranslateMatrix4(&m4, 1, -2, 0.5);
  EXPECT_LT(RelativeError(m4, expected), 1e-15);
  // A negligible row becomes (1, 0, 0); one whose squared length rounds to 1.0f stays as it was.
  Matrix3 m = {{2, 0, 0, 0, -1e-5, 0, 1 + 1e-9, 0, 0}}, near = {{1 + 1e-7, 0, 0, 0, 3, 4, 0, 0, 1}};
  RMatrix3 r = {{2, 0, 0, 0, 0, 0, 0, 3, 4}};
  NormalizeMatrix3(&m);
  NormalizeMatrix3(&near);
  NormalizeRMatrix3(&r);
  EXPECT_EQ(ToEigen(m), (Matrix3d() << 1, 0, 0, 1, 0, 0, 1 + 1e-9, 0, 0).finished());
  EXPECT_LT(RelativeError(near, (Matrix3d() << 1, 0, 0, 0, 0.6, 0.8, 0, 0, 1).finished()), 2e-16);
  EXPECT_LT(RelativeError(r, (Matrix3d() << 1, 0, 0, 1, 0, 0, 0, 0.6, 0.8).finished()), 1e-7);
}

// -------------------------------------------------------------- quaternions

TEST(Quaternion, ArithmeticMatchesEigen) {
  Random rnd;
  for (int k = 0; k < 300; ++k) {
    const Quaternion p = rnd.Quat(), q = rnd.Quat();
    EXPECT_LT(Gap(Call(MultiplyQuaternion, p, q), FromEigen(ToEigen(p) * ToEigen(q))), 1e-15);
    const Quaternion inv = Call(InvertQuaternion, q);
    EXPECT_LT(Gap(inv, FromEigen(ToEigen(q).inverse())), 1e-13 * V(inv).norm());
    EXPECT_LT((V(Call(DoubleQuaternion, p, q)) - (2 * V(p).dot(V(q)) * V(q) - V(p))).norm(), 1e-14);
    EXPECT_LT((V(Call(BisectQuaternion, p, q)) - (V(p) + V(q)).normalized()).norm(), 1e-14);
    // r * q gives back p, also for divisors whose squared norm under- or overflows.
    for (double scale : {1.0, 1e-200, 1e200}) {
      Quaternion r = Call(DivideQuaternion, p, Call(ScaleQuaternion, scale, q));
      r = Call(ScaleQuaternion, scale, r);
      MultiplyQuaternion(&r, &q, &r);  // in place
      EXPECT_LT(Gap(r, p), 1e-13) << scale;
    }
  }
  const Quaternion one{0, 0, 0, 1}, zero{0, 0, 0, 0};
  EXPECT_EQ(V(Call(DivideQuaternion, one, zero)), Vector4d::Zero());  // zero divisor: zero
  const Quaternion turn{0, 0, kPi / 4, 0}, w{0, 0, 0, 5};  // exp ignores w
  EXPECT_LT(Gap(Call(ExponentiateQuaternion, turn), {0, 0, std::sqrt(0.5), std::sqrt(0.5)}), 4e-16);
  EXPECT_EQ(V(Call(ExponentiateQuaternion, w)), Vector4d(0, 0, 0, 1));
  EXPECT_EQ(V(Call(LogarithmQuaternion, one)), Vector4d::Zero());
}

TEST(Quaternion, SquareRootSquaresBackForEveryInput) {
  Random rnd;
  std::vector<Quaternion> inputs = {{0, 0, 0, 0}, {0, 0, 0, -4}, {0, 0, 0, 9}, {0, 0, 3, 0},
                                    {1e-300, 0, 0, -1e-300}, {0, 0, 0, -1e300}, {1, 2, 3, -1e-9}};
  for (int k = 0; k < 300; ++k) {
    Quaternion q = rnd.Quat();
    if (k % 3 == 0) q.x = q.y = q.z = 0;  // real, often negative
    inputs.push_back(Call(ScaleQuaternion, std::pow(10.0, rnd.Uniform(-150, 150)), q));
  }
  for (const Quaternion& q : inputs) {
    const Quaternion root = Call(SquareRouteQuaternion, q);
    EXPECT_GE(root.w, 0);
    EXPECT_LE(Gap(Call(SquareQuaternion, root), q), 1e-15 * V(q).norm()) << V(q).transpose();
  }
}

TEST(Quaternion, InterpolationMatchesEigenWithoutShorterArcFlip) {
  Random rnd;
  for (int k = 0; k < 300; ++k) {
    // Close pairs (still outside the linear margin) as well as arbitrary ones.
    const Quaternion p = rnd.Rotation(), step = k % 2 ? rnd.Rotation(0.003, 0.01) : rnd.Rotation();
    const Quaternion q = Call(MultiplyQuaternion, p, step);
    const double t = rnd.Uniform(0, 1), dot = DotQuaternion(&p, &q);
    if (dot < -0.99) continue;
    // The long way round, the midpoint is the bisector of p and q themselves.
    const Quaternion expected = dot > 0 ? FromEigen(ToEigen(p).slerp(t, ToEigen(q)))
                                        : Call(BisectQuaternion, p, q);
    EXPECT_LT(Gap(Call(LinearInterpolateQuaternion, dot > 0 ? t : 0.5, p, q), expected), 1e-13);
  }
  Quaternion p = rnd.Rotation(), q = rnd.Rotation(), minus = Call(ScaleQuaternion, -1.0, p);
  EXPECT_EQ(V(Call(LinearInterpolateQuaternion, -1.0, p, q)), V(p));  // t clamped to [0, 1]
  EXPECT_EQ(V(Call(LinearInterpolateQuaternion, 2.0, p, q)), V(q));
  // Opposite ends run through the perpendicular (-y, x, -w, z), as the bisector does.
  const Vector4d perpendicular(-p.y, p.x, -p.w, p.z);
  EXPECT_LT((V(Call(LinearInterpolateQuaternion, 0.5, p, minus)) - perpendicular).norm(), 1e-15);
  BisectQuaternion(&p, &minus, &p);  // in place
  EXPECT_EQ(V(p), perpendicular);
  // A squared length at or below 1e-6 normalises to the identity rotation.
  for (double x : {0.0, 0.0005, 0.0011}) {
    EXPECT_EQ(V(Call(NormalizeQuaternion, Quaternion{x, 0, 0, 0})),
              x > 0.001 ? Vector4d(1, 0, 0, 0) : Vector4d(0, 0, 0, 1)) << x;
  }
  // Within 1e-6 of parallel the blend is linear (shorter than unit length);
  // just outside it the arc keeps unit length.
  const Quaternion a{0, 0, 0, 1}, near{std::sin(std::acos(1 - 9e-7)), 0, 0, 1 - 9e-7};
  EXPECT_EQ(V(Call(LinearInterpolateQuaternion, 0.5, a, near)), 0.5 * V(a) + 0.5 * V(near));
  const Quaternion far{std::sin(std::acos(1 - 2e-6)), 0, 0, 1 - 2e-6};
  EXPECT_NEAR(V(Call(LinearInterpolateQuaternion, 0.5, a, far)).norm(), 1, 1e-12);

  // The spherical cubic runs from key 1 to key 2 whatever the neighbours' signs.
  for (int k = 0; k < 50; ++k) {
    Quaternion key[4] = {rnd.Rotation()}, flip[4];  // a smooth sequence of turns
    for (int i = 1; i < 4; ++i)
      key[i] = Call(MultiplyQuaternion, key[i - 1], rnd.Rotation(-0.5, 0.5));
    // -q0 and -q3 are the same rotations as q0 and q3, so the curve must not move.
    for (int i = 0; i < 4; ++i) flip[i] = Call(ScaleQuaternion, i % 3 ? 1.0 : -1.0, key[i]);
    const auto curve = [](double t, const Quaternion* q) {
      return Call(BezierInteroplateQuaternion, t, q[0], q[1], q[2], q[3]);
    };
    const double t = rnd.Uniform(0, 1);
    EXPECT_LT(RotationGap(curve(t, key), curve(t, flip)), 1e-14);
    EXPECT_LT(RotationGap(curve(0, flip), key[1]) + RotationGap(curve(1, flip), key[2]), 1e-14);
  }
}

TEST(Quaternion, MatrixConversionsMatchEigenInBothConventionsAndRoundTrip) {
  Random rnd;
  for (int k = 0; k < 600; ++k) {
    // The second half turns past 120 degrees: a trace that is not positive.
    const Quaternion q = k < 300 ? rnd.Rotation() : rnd.Rotation(2 * kPi / 3, kPi);
    const Matrix3d rot = ToEigen(q).toRotationMatrix();  // acts on column vectors
    const Matrix4 rows = Call<Matrix4>(Quaternion2Matrix4, q);  // row vectors: the transpose
    EXPECT_LT((Linear(rows) - rot.transpose()).norm(), 1e-15);
    // w comes first, from the trace: its accuracy falls as w^2 nears 0.
    EXPECT_LT(RotationGap(Call(Matrix42Quaternion, rows), q), 1e-14 + 1e-15 / (q.w * q.w));
    // Any length is a rotation.
    const Quaternion scaled = Call(ScaleQuaternion, rnd.Uniform(0.1, 10), q);
    const Matrix4 m = Call<Matrix4>(QuaternionToMatrix4, scaled);
    EXPECT_LT((Linear(m) - rot).norm(), 1e-14);
    const Quaternion back = Call(Matrix4ToQuaternion, m);
    EXPECT_LT(RotationGap(back, q), 1e-14);
    EXPECT_LT((Linear(Call<Matrix4>(QuaternionToMatrix4, back)) - Linear(m)).norm(), 1e-14);
  }
  for (int axis = 0; axis < 3; ++axis) {  // half turns: a zero trace, w = 0
    Matrix4 m;
    Vector4d d = -Vector4d::Ones();
    d(axis) = d(3) = 1;
    Eigen::Map<Eigen::Matrix4d>(m.matrixData) = d.asDiagonal();
    EXPECT_EQ(V(Call(Matrix42Quaternion, m)), Vector4d::Unit(axis));
    EXPECT_EQ(V(Call(Matrix4ToQuaternion, m)).cwiseAbs(), Vector4d::Unit(axis));  // either sign
  }
  const Matrix4 zero = Call<Matrix4>(QuaternionToMatrix4, Quaternion{0, 0, 0, 0});
  EXPECT_EQ(ToEigen(zero), Eigen::Matrix4d::Identity());
}

// The matrix of XRotate(x), YRotate(y), ZRotate(z) in turn, for row vectors.
Matrix4 AnglesMatrix(const Vector3d& a) {
  Matrix4 m;
  Eigen::Map<Eigen::Matrix4d>(m.matrixData) =  // column-major: the transpose
      Eigen::Affine3d(Eigen::AngleAxisd(a.z(), Vector3d::UnitZ()) *
                      Eigen::AngleAxisd(a.y(), Vector3d::UnitY()) *
                      Eigen::AngleAxisd(a.x(), Vector3d::UnitX())).matrix();
  return m;
}

TEST(Quaternion, AnglesComeBackFromTheirMatrix) {
  Vector3d a;
  Matrix4 m = AnglesMatrix(Vector3d(0.1, kPi / 2, 0.3));  // the pole: x and z merge
  Matrix4ToAngles(&m, &a.x(), &a.y(), &a.z());
  EXPECT_LT((a - Vector3d(-0.2, kPi / 2, 0)).norm(), 1e-7);  // cos y is 1e-8 from rounding
  m.m.m02 = -std::nextafter(1.0, 2.0);  // rounding just past the pole is no NaN
  Matrix4ToAngles(&m, &a.x(), &a.y(), &a.z());
  EXPECT_EQ(a.y(), kPi / 2);
  Random rnd;
  for (int k = 0; k < 300; ++k) {
    const Vector3d angles(rnd.Uniform(-3, 3), rnd.Uniform(-1.5, 1.5), rnd.Uniform(-3, 3));
    m = AnglesMatrix(angles);
    Matrix4ToAngles(&m, &a.x(), &a.y(), &a.z());
    EXPECT_LT((a - angles).norm(), 1e-13);
    RMatrix4 r;
    for (int i = 0; i < 16; ++i) r.matrixData[i] = float(m.matrixData[i]);
    RMatrix4ToAngles(&r, &a.x(), &a.y(), &a.z());
    EXPECT_LT((a - angles).norm(), 1e-5 / std::cos(angles.y()));
  }
}

// ---------------------------------------------------------- point transforms

// Runs a point member on p, converted to the member's element type.
template <class T, class M>
Vector3d Apply(void (*f)(T*, T*, T*, const M*), const M& m, const Vector3d& p) {
  T x = T(p.x()), y = T(p.y()), z = T(p.z());
  f(&x, &y, &z, &m);
  return Vector3d(x, y, z);
}
template <class C>
Vector3d Apply(void (*f)(C*, const Matrix4*), const Matrix4& m, const Vector3d& p) {
  C c{decltype(c.x)(p.x()), decltype(c.x)(p.y()), decltype(c.x)(p.z())};
  f(&c, &m);
  return Vector3d(c.x, c.y, c.z);
}
// The results of every member with the homogeneous divide.
std::vector<Vector3d> WithDivide(const Matrix4& m, const Vector3d& p) {
  return {Apply(TransformPointH, m, p), Apply(TransformRPointH, m, p),
          Apply(TransformCoordinateH, m, p), Apply(TransformDCoordinateH, m, p)};
}

TEST(PointTransform, IdentityAndTranslationThroughEveryMember) {
  const Vector3d p(1.25, -3.5, 7);
  for (const Vector3d& t : {Vector3d(0, 0, 0), Vector3d(1, 2, 3)}) {
    const Matrix4 m = Translation(t);
    XMatrix4 x;
    for (int i = 0; i < 16; ++i) x.matrixData[i] = m.matrixData[i];
    for (const auto& point : WithDivide(m, p)) EXPECT_EQ(point, p + t);
    for (const auto& point : {Apply(TransformPoint, m, p), Apply(TransformRPoint, m, p),
                              Apply(TransformXPoint, x, p), Apply(TransformCoordinate, m, p),
                              Apply(TransformDCoordinate, m, p)})
      EXPECT_EQ(point, p + t);
    EXPECT_EQ(Apply(TransformVector, m, p), p);
    EXPECT_EQ(Apply(TransformPointR, m, p), p);
    EXPECT_EQ(Apply(TransformNormal, m, Vector3d(0, 3, 0)), Vector3d::UnitY());
  }
}

TEST(PointTransform, SumOrderNormalsAndTheHomogeneousDivide) {
  // With these magnitudes the grouping ((x + y) + z) + t is observable.
  Matrix4 m = Translation(Vector3d(1, 0, 0));
  const Vector3d ones(1, 1, 1);
  m.m.m00 = 1e16, m.m.m10 = -1e16, m.m.m20 = 1;
  EXPECT_EQ(Apply(TransformPoint, m, ones).x(), 2.0);
  m.m.m10 = 1, m.m.m20 = -1e16, m.m.m30 = 0.5;
  EXPECT_EQ(Apply(TransformPoint, m, ones).x(), ((1e16 + 1.0) + -1e16) + 0.5);
  EXPECT_EQ(Apply(TransformPointH, m, ones), Apply(TransformPoint, m, ones));  // h = 1: exactly
  // Single-precision members compute in double and round once on store.
  m = Translation(Vector3d(1e-9, 0, 0));
  m.m.m00 = 1.0 / 3.0;
  EXPECT_EQ(Apply(TransformRPoint, m, Vector3d(3, 0, 0)).x(), float(3.0 * (1.0 / 3.0) + 1e-9));
  m.m.m00 = 2.0;  // non-uniform scale: the direction is scaled, not inverse-transposed
  const Vector3d normal = Apply(TransformNormal, m, Vector3d(1, 1, 0));
  EXPECT_LT((normal - Vector3d(2, 1, 0).normalized()).norm(), 1e-16);
  for (int i = 0; i < 3; ++i) m.matrix[i][0] = m.matrix[i][1] = m.matrix[i][2] = 0;
  EXPECT_EQ(Apply(TransformNormal, m, Vector3d(4, 5, 6)), Vector3d::UnitZ());

  m = Translation(Vector3d(2, 4, 6));
  m.m.m33 = 2;  // h = 2: halved
  for (const auto& point : WithDivide(m, Vector3d(2, 4, 6))) EXPECT_EQ(point, Vector3d(2, 4, 6));
  m.m.m03 = 1, m.m.m33 = -1;  // h = x - 1 = 0 for x = 1: the origin
  for (const auto& point : WithDivide(m, Vector3d(1, 9, 9))) EXPECT_EQ(point, Vector3d::Zero());
}

TEST(PointTransform, ThreeByThreeAndCopies) {
  const Matrix3 m3 = {{1, 2, 3, 4, 5, 6, 7, 8, 9}};
  EXPECT_EQ(Apply(TransformPoint3, m3, Vector3d(1, 1, 1)), Vector3d(12, 15, 18));
  const auto copies = [](auto to3, auto to4, auto m4, auto m3) {
    for (int i = 0; i < 16; ++i) m4.matrixData[i] = 100 + i;
    to3(&m3, &m4);
    EXPECT_EQ(ToEigen(m3), Linear(m4));
    to4(&m4, &m3);  // the rest of the 4x4 becomes the identity's
    for (int i = 0; i < 16; ++i)
      EXPECT_EQ(m4.matrixData[i], i < 12 && i % 4 < 3 ? 100 + i : i == 15) << i;
  };
  copies(CopyMatrix4To3, CopyMatrix3To4, Matrix4{}, Matrix3{});
  copies(CopyRMatrix4To3, CopyRMatrix3To4, RMatrix4{}, RMatrix3{});
}

}  // namespace
