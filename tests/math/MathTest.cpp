// The vector, matrix-algebra, transformation, quaternion and point-transform
// families, checked against Eigen as the independent reference on seeded random
// inputs, and the kit's own rules where it deliberately differs from a textbook.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <type_traits>
#include <vector>

#include "math/Matrix.h"
#include "math/MatrixKernels.h"

namespace {

using Eigen::Matrix3d;
using Eigen::Vector3d;
using Eigen::Vector4d;
using plm_math::Elem;
using plm_math::kOrder;
constexpr double kPi = 3.141592653589793;
// An Eigen vector's components as a member's arguments, by value or by pointer.
#define XYZ(v) (v).x(), (v).y(), (v).z()
#define OUT(v) &(v).x(), &(v).y(), &(v).z()

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
// The kit's matrix (row vectors) of an Eigen transform (column vectors): the transpose.
Matrix4 FromEigen(const Eigen::Matrix4d& e) {
  Matrix4 m;
  return Eigen::Map<Eigen::Matrix4d>(m.matrixData) = e, m;  // through a column-major view
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

struct Random {
  std::mt19937_64 engine{20240607};
  double Uniform(double lo = -1, double hi = 1) {
    return std::uniform_real_distribution<double>(lo, hi)(engine);
  }
  Vector3d Vector() { return Vector3d(Uniform(), Uniform(), Uniform()); }
  Vector3d UnitVector() { return Vector().normalized(); }
  template <class M>
  M Matrix() { M m; for (auto& v : m.matrixData) v = Elem<M>(Uniform()); return m; }
  Quaternion Quat() { return {Uniform(), Uniform(), Uniform(), Uniform()}; }
  Quaternion Rotation(double lo = -kPi, double hi = kPi) {
    return FromEigen(Eigen::Quaterniond(Eigen::AngleAxisd(Uniform(lo, hi), UnitVector())));
  }
};

// ------------------------------------------------------------------ vectors

// Distance of a point to a segment, and its minimum over segment 1 by
// ternary search on the convex distance function: independent of the
// closed-form method under test.
double PointSegment(const Vector3d& x, const Vector3d& p, const Vector3d& d, double len) {
  return (x - (p + d * std::clamp((x - p).dot(d), 0.0, len))).norm();
}
double BruteDistance(const Vector3d& p1, const Vector3d& d1, double l1, const Vector3d& p2,
                     const Vector3d& d2, double l2) {
  const auto at = [&](double t) { return PointSegment(p1 + d1 * t, p2, d2, l2); };
  double lo = 0, hi = l1;  // each step drops the third that cannot hold the minimum
  while (hi - lo > 1e-12)
    at(lo + (hi - lo) / 3) < at(hi - (hi - lo) / 3) ? hi -= (hi - lo) / 3 : lo += (hi - lo) / 3;
  return at(lo);
}

TEST(Vector, ProductsAndSegmentsMatchTheReferencesAndDegenerateInputsFallBack) {
  // Zero and NaN triples, a zero pair, and matrix rows: a negligible one becomes
  // (1, 0, 0), one whose squared length rounds to 1.0f stays as it was.  The float
  // members share these bodies.
  double v[] = {0, 0, 0, std::nan(""), 1, 1, 0, 0};
  Normalize(&v[0], &v[1], &v[2]), Normalize(&v[3], &v[4], &v[5]), Normalize2D(&v[6], &v[7]);
  EXPECT_EQ(std::vector<double>(v, v + 8), (std::vector<double>{0, 0, 1, 0, 0, 1, 0, 1}));
  Matrix3 m = {{0, 3, 4, 0, -1e-5, 0, 1 + 1e-9, 0, 0}};
  NormalizeMatrix3(&m);
  EXPECT_TRUE(ToEigen(m).isApprox((Matrix3d() << 0, 0.6, 0.8, 1, 0, 0, 1 + 1e-9, 0, 0).finished()));
  for (double x : {0.0005, 0.002}) {  // only a squared length above 1e-6 is normalised
    double a = x, b = 0, c = 0;
    float fa = float(x), fb = 0, fc = 0;
    EXPECT_EQ(CheckNormalize(&a, &b, &c) + CheckNormalizeR(&fa, &fb, &fc), x > 0.001 ? 2 : 0);
    EXPECT_EQ(a + fa, x > 0.001 ? 2.0 : x + float(x));
  }
  // Triangle normals point to where the points run counter-clockwise; collinear and
  // coincident points are degenerate, and their plane falls back to z.
  const Coordinate c1{0, 0, 0}, c2{1, 0, 0}, c3{0, 1, 0}, same{1, 2, 3};
  const DCoordinate l1{1, 2, 3}, l2{2, 4, 6}, l3{4, 8, 12}, d1{2, 1, 1}, d2{2, 3, 1}, d3{2, 1, 4};
  Vector4d r;
  CalcVector(&c1, &c3, &c2, OUT(r));
  EXPECT_EQ(r.head<3>(), Vector3d(0, 0, -1));
  CalcDPlaneFormula(&d1, &d2, &d3, OUT(r), &r.w());
  EXPECT_EQ(r, Vector4d(1, 0, 0, -2));
  EXPECT_EQ(CalcDNormal(&l1, &l2, &l3, OUT(r)) + CalcDVector2(&l1, &l2, &l3, OUT(r)) +
                CalcNormal(&same, &same, &same, OUT(r)) +
                CalcVector2(&same, &same, &same, OUT(r)), 0);
  CalcPlaneFormula(&same, &same, &same, OUT(r), &r.w());
  EXPECT_EQ(r, Vector4d(0, 0, 1, -3)) << "no NaN from a zero length";

  EXPECT_EQ(TriangleArea(1, 1, 3, 1, 1, 4), 3.0);
  // The 3D areas halve the sum of the cross product's components, here (0, -2, 1).
  EXPECT_EQ(TriangleArea3(0, 0, 0, 1, 0, 0, 0, 1, 2), 0.5);
  EXPECT_EQ(QuadrangleArea(0, 0, 1, 0, 1, 1, 0, 1), 1.0);
  EXPECT_EQ(QuadrangleArea3(0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0), 1.0);
  EXPECT_NEAR(CalcAngle(CalcDotValue(60)), 60, 1e-12);
  // Sgn: either zero is positive, NaN negative; Equal0 where n + 1.0f rounds to 1.0f.
  const float hi = std::ldexp(1.0f, -24), lo = -hi / 2, above = std::nextafter(hi, 1.0f);
  EXPECT_EQ(std::vector<int>({Sgn(0.0), Sgn(-0.0), Sgn(-1e-300), Sgn(std::nan("")), Equal0(hi),
                              Equal0(above), Equal0(lo), Equal0(std::nextafter(lo, -1.0f))}),
            std::vector<int>({1, 1, -1, -1, 1, 0, 1, 0}));


  Random rnd;
  for (int n = 0; n < 500; ++n) {
    const Vector3d p = rnd.Vector(), q = rnd.Vector();
    Vector3d r;
    VectorProduct(XYZ(p), XYZ(q), OUT(r));
    EXPECT_LT((r - p.cross(q)).norm(), 1e-15);
    AlignVectors(XYZ(p), XYZ(q), OUT(r));
    EXPECT_LT((r - p.cross(p.cross(q))).norm(), 1e-15);
    EXPECT_NEAR(DotProduct(XYZ(p), XYZ(q)), p.dot(q), 1e-15);
    const Matrix3 m = rnd.Matrix<Matrix3>();
    EXPECT_NEAR(Det(&m), ToEigen(m).determinant(), 1e-14);
  }
  // The R members stay in floats: 2^24 + 1 + 1 is 2^24 there, 2^24 + 2 in doubles.
  float fa = 16777216.0f, fb = 1, fc = 1;
  VectorProductR(0, 0, 1, fb, fa, 0, &fa, &fb, &fc);  // (-2^24, 1, 0), outputs alias inputs
  EXPECT_EQ(DotProductR(fa, fb, fc, -1, 1, 1), 16777216.0f);

  for (int n = 0; n < 300; ++n) {  // every tenth pair of segments parallel
    const Vector3d p1 = rnd.UnitVector() * 2, d1 = rnd.UnitVector();
    const Vector3d p2 = rnd.UnitVector(), d2 = n % 10 == 0 ? d1 : rnd.UnitVector();
    const double l1 = rnd.Uniform(0, 3), l2 = rnd.Uniform(0, 3);
    const double dist = LineDistance(XYZ(p1), XYZ(d1), l1, XYZ(p2), XYZ(d2), l2);
    EXPECT_NEAR(dist, BruteDistance(p1, d1, l1, p2, d2, l2), 1e-9) << n;
    Vector3d a = p1, b = p2;
    Line2Closest(OUT(a), XYZ(d1), l1, OUT(b), XYZ(d2), l2);
    EXPECT_NEAR((a - b).norm(), dist, 1e-12);
    EXPECT_LT(PointSegment(a, p1, d1, l1) + PointSegment(b, p2, d2, l2), 1e-12);
  }
  Vector3d start(-1, 0, 0);  // Line1Closest moves the start to the point nearest line 2
  Line1Closest(OUT(start), 1, 0, 0, 5, 3, -1, 2, 0, 1, 0);
  EXPECT_EQ(start, Vector3d(3, 0, 0));
}

// ---------------------------------------------------------- matrix families

template <class M>
struct Family;
#define PLM_FAMILY(M)                                                                       \
  template <>                                                                               \
  struct Family<M> {                                                                        \
    static constexpr auto Invert = Invert##M, Sense = Sense##M;                             \
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

  // Applies op to a random matrix and checks it was post-multiplied by the
  // elementary matrix with the given linear block (scale 0: exactly).
  template <class Op>
  void ExpectAppends(Op op, const Matrix3d& block, double scale = 1) {
    M m = rnd.template Matrix<M>();
    auto e = EigenOf<M>::Identity().eval();
    e.template topLeftCorner<3, 3>() = block;
    e = ToEigen(m) * e;
    EXPECT_LE((op(&m), RelativeError(m, e)), tol * scale);
  }
};

using MatrixTypes = ::testing::Types<Matrix4, RMatrix4, Matrix3, RMatrix3>;
TYPED_TEST_SUITE(Families, MatrixTypes);

TYPED_TEST(Families, AlgebraMatchesEigenAndSingularSourcesDoNotTrap) {
  using F = typename TestFixture::F;
  const int n = this->n;
  TypeParam m, inv;

  for (int k = 0; k < 300; ++k) {
    const TypeParam a = this->rnd.template Matrix<TypeParam>();
    const TypeParam b = this->rnd.template Matrix<TypeParam>();
    const auto ea = ToEigen(a), eb = ToEigen(b);
    // Append: a then b, a * b for row vectors; squaring in place reads a copy.
    const std::pair<std::function<void(TypeParam*)>, EigenOf<TypeParam>> products[] = {
        {[&](auto m) { F::Append(m, &b); }, ea * eb}, {[&](auto m) { F::Insert(m, &b); }, eb * ea},
        {[&](auto m) { F::Append(m, m); }, ea * ea},
        {[&](auto m) { F::Transpose(m, *m); }, ea.transpose()}};
    for (const auto& [op, want] : products)
      EXPECT_LT((m = a, op(&m), RelativeError(m, want)), this->tol * 4);

    const double det3 = ea.template topLeftCorner<3, 3>().determinant();
    EXPECT_TRUE(std::fabs(det3) < 1e-3 || F::Sense(&a) == (det3 > 0 ? 1 : 0)) << k;
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(ea);
    const double cond = svd.singularValues()(0) / svd.singularValues().tail(1)(0);
    if (cond > 100) continue;
    F::Invert(&inv, a);
    EXPECT_LT(RelativeError(inv, ea.inverse()), this->tol * 10 * cond) << k;
    m = a, F::Invert(&m, m);  // in place
    EXPECT_EQ(ToEigen(m), ToEigen(inv));
    m = a, F::Normal(&m);
    EXPECT_LT(RelativeError(m, ea.inverse().transpose()), this->tol * 10 * cond) << k;
  }
  m = inv = TypeParam{};  // product rows sum left to right: big - big + 1 is 1, reversed 0
  m.matrix[0][0] = 1e16, m.matrix[0][1] = -1e16, m.matrix[0][2] = 1;
  for (int j = 0; j < n; ++j) inv.matrix[j][0] = 1;
  EXPECT_EQ((F::Append(&m, &inv), m.matrix[0][0]), 1);
  m = TypeParam{};
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
  const decltype(F::XRotate) axes[3] = {F::XRotate, F::YRotate, F::ZRotate};
  for (int k = 0; k < 100; ++k) {
    const double theta = this->rnd.Uniform(-4, 4);
    const T s = T(std::sin(theta)), c = T(std::cos(theta));
    for (int i = 0; i < 3; ++i)
      this->ExpectAppends([&](auto m) { axes[i](m, s, c); }, RowRotation(theta, Vector3d::Unit(i)));
    // About any axis, not of unit length.
    const Eigen::Matrix<T, 3, 1> a =
        (this->rnd.UnitVector() * this->rnd.Uniform(0.5, 3)).template cast<T>();
    this->ExpectAppends([&](auto m) { F::Rotate(m, a.x(), a.y(), a.z(), T(theta)); },
                        RowRotation(double(T(theta)), a.template cast<double>()), 4);
  }
  this->ExpectAppends([](auto m) { F::Rotate(m, 0, 0, 0, 1); }, Matrix3d::Identity(), 0);
  this->ExpectAppends([](auto m) { F::Scale(m, 2, -3, T(0.5)); }, Diagonal(2, -3, 0.5));
  this->ExpectAppends([](auto m) { F::Skew(m, T(0.75)); },
                      (Matrix3d() << 1, 0, 0, 0, 1, 0, 0.75, 0.75, 1).finished());
  // Tiny scales are held at 1e-10 with their sign, zero counting as positive.
  TypeParam m = plm_math::kIdentity<TypeParam>;
  F::Scale(&m, 0, T(-1e-12), 5);
  EXPECT_EQ(Linear(m), Diagonal(double(T(1e-10)), double(T(-1e-10)), 5));
  const decltype(F::NegateX) negates[3] = {F::NegateX, F::NegateY, F::NegateZ};
  const decltype(F::SwapXY) swaps[3] = {F::SwapXY, F::SwapXZ, F::SwapYZ};
  for (int i = 0; i < 3; ++i) {
    Matrix3d mirror = Matrix3d::Identity(), exchange = mirror;
    mirror(i, i) = -1;
    exchange.col(i / 2).swap(exchange.col(i ? 2 : 1));  // x and y, x and z, y and z
    this->ExpectAppends([&](auto m) { negates[i](m); }, mirror, 0);
    this->ExpectAppends([&](auto m) { swaps[i](m, *m); }, exchange, 0);  // in place
  }

  // The entity frame of a direction: its x axis from world y within 1/64 of the
  // z axis, else from world z.
  std::vector<Vector3d> directions = {{0, 0, 5}, {0, 0, -1}, {0.0156, 0, 1}, {0.0157, 0, 1}};
  for (int k = 0; k < 100; ++k) directions.push_back(this->rnd.UnitVector() * 3);
  for (const Vector3d& d : directions) {
    const Eigen::Matrix<T, 3, 1> dt = d.template cast<T>();
    const Vector3d z = dt.template cast<double>().normalized();
    const bool polar = std::fabs(z.x()) < 1.0 / 64 && std::fabs(z.y()) < 1.0 / 64;
    const Vector3d x = (polar ? Vector3d::UnitY() : Vector3d::UnitZ()).cross(z).normalized();
    const Matrix3d frame = (Matrix3d() << x, z.cross(x), z).finished().transpose();  // rows x, y, z
    this->ExpectAppends([&](auto m) { F::ECS(m, dt.x(), dt.y(), dt.z()); }, frame, 4);
  }
}

// -------------------------------------------------------------- quaternions

TEST(Quaternion, ArithmeticRootsAndInterpolationMatchEigenAndDegenerateInputsFallBack) {
  Random rnd;
  std::vector<Quaternion> roots = {{0, 0, 0, 0}, {0, 0, 0, -4}, {0, 0, 0, 9}, {0, 0, 3, 0},
                                   {1e-300, 0, 0, -1e-300}, {0, 0, 0, -1e300}, {1, 2, 3, -1e-9}};
  for (int k = 0; k < 300; ++k) {
    const Quaternion p = rnd.Quat(), q = rnd.Quat(), u = rnd.Rotation();
    EXPECT_LT(Gap(Call(MultiplyQuaternion, p, q), FromEigen(ToEigen(p) * ToEigen(q))), 1e-15);
    const Quaternion inv = Call(InvertQuaternion, q);
    EXPECT_LT(Gap(inv, FromEigen(ToEigen(q).inverse())), 1e-13 * V(inv).norm());
    EXPECT_LT((V(Call(DoubleQuaternion, p, q)) - (2 * V(p).dot(V(q)) * V(q) - V(p))).norm(), 1e-14);
    EXPECT_LT((V(Call(BisectQuaternion, p, q)) - (V(p) + V(q)).normalized()).norm(), 1e-14);
    EXPECT_LT(RotationGap(Call(ExponentiateQuaternion, Call(LogarithmQuaternion, u)), u), 1e-14);
    // r * q gives back p, also for divisors whose squared norm under- or overflows.
    for (double scale : {1.0, 1e-200, 1e200}) {
      Quaternion r = Call(DivideQuaternion, p, Call(ScaleQuaternion, scale, q));
      r = Call(ScaleQuaternion, scale, r);
      MultiplyQuaternion(&r, &q, &r);  // in place
      EXPECT_LT(Gap(r, p), 1e-13) << scale;
    }
    Quaternion real = q;
    if (k % 3 == 0) real.x = real.y = real.z = 0;  // often negative
    roots.push_back(Call(ScaleQuaternion, std::pow(10.0, rnd.Uniform(-150, 150)), real));

    // The spherical cubic runs from key 1 to key 2 whatever the neighbours' signs:
    // -q0 and -q3 are the same turns as q0 and q3, so the curve must not move.
    Quaternion key[4] = {u}, flip[4];  // a smooth sequence of turns
    for (int i = 1; i < 4; ++i)
      key[i] = Call(MultiplyQuaternion, key[i - 1], rnd.Rotation(-0.5, 0.5));
    for (int i = 0; i < 4; ++i) flip[i] = Call(ScaleQuaternion, i % 3 ? 1.0 : -1.0, key[i]);
    const auto curve = [](double t, const Quaternion* q) {
      return Call(BezierInteroplateQuaternion, t, q[0], q[1], q[2], q[3]);
    };
    const double t = rnd.Uniform(0, 1);
    EXPECT_LT(RotationGap(curve(t, key), curve(t, flip)), 1e-14);
    EXPECT_LT(RotationGap(curve(0, flip), key[1]) + RotationGap(curve(1, flip), key[2]), 1e-14);

    // Slerp without a flip to the shorter arc, between close turns (still outside the
    // linear margin) or arbitrary ones; the long way round, the midpoint is the
    // bisector of the ends themselves.
    const Quaternion step = k % 2 ? rnd.Rotation(0.003, 0.01) : rnd.Rotation();
    const Quaternion v = Call(MultiplyQuaternion, u, step);
    const double dot = DotQuaternion(&u, &v);
    if (dot < -0.99) continue;
    const Quaternion expected = dot > 0 ? FromEigen(ToEigen(u).slerp(t, ToEigen(v)))
                                        : Call(BisectQuaternion, u, v);
    EXPECT_LT(Gap(Call(LinearInterpolateQuaternion, dot > 0 ? t : 0.5, u, v), expected), 1e-13);
  }
  for (const Quaternion& q : roots) {  // the root with w >= 0 squares back
    const Quaternion root = Call(SquareRouteQuaternion, q);
    EXPECT_GE(root.w, 0);
    EXPECT_LE(Gap(Call(SquareQuaternion, root), q), 1e-15 * V(q).norm()) << V(q).transpose();
  }

  // Degenerate inputs and their fallbacks.
  const Quaternion one{0, 0, 0, 1}, zero{0, 0, 0, 0}, turn{0, 0, kPi / 4, 0};
  EXPECT_EQ(V(Call(DivideQuaternion, one, zero)), Vector4d::Zero());  // zero divisor: zero
  // exp: the turn by twice the vector's length
  EXPECT_LT(Gap(Call(ExponentiateQuaternion, turn), {0, 0, std::sqrt(0.5), std::sqrt(0.5)}), 4e-16);
  Quaternion p = rnd.Rotation(), q{0.6, 0, 0.8, 0}, minus = Call(ScaleQuaternion, -1.0, p);
  EXPECT_EQ(V(Call(LinearInterpolateQuaternion, -1.0, p, q)), V(p));  // t clamped to [0, 1]
  EXPECT_EQ(V(Call(LinearInterpolateQuaternion, 2.0, p, q)), V(q));
  // Opposite ends run through the perpendicular (-y, x, -w, z), as the bisector does.
  const Vector4d perpendicular(-p.y, p.x, -p.w, p.z);
  EXPECT_LT((V(Call(LinearInterpolateQuaternion, 0.5, p, minus)) - perpendicular).norm(), 1e-15);
  BisectQuaternion(&p, &minus, &p);  // in place
  EXPECT_EQ(V(p), perpendicular);
  // A squared length at or below 1e-6 normalises to the identity rotation.
  EXPECT_EQ(V(Call(NormalizeQuaternion, Quaternion{0.0005, 0, 0, 0})), V(one));
  // Within 1e-6 of parallel the blend is linear (shorter than unit length).
  const Quaternion near{std::sin(std::acos(1 - 9e-7)), 0, 0, 1 - 9e-7};
  EXPECT_EQ(V(Call(LinearInterpolateQuaternion, 0.5, one, near)), 0.5 * V(one) + 0.5 * V(near));
}

// The matrix of XRotate(x), YRotate(y), ZRotate(z) in turn, for row vectors.
Matrix4 AnglesMatrix(const Vector3d& a) {
  return FromEigen(Eigen::Affine3d(Eigen::AngleAxisd(a.z(), Vector3d::UnitZ()) *
                                   Eigen::AngleAxisd(a.y(), Vector3d::UnitY()) *
                                   Eigen::AngleAxisd(a.x(), Vector3d::UnitX())).matrix());
}

TEST(Quaternion, MatricesAndAnglesMatchEigenInBothConventionsAndRoundTrip) {
  Random rnd;
  Vector3d a;
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
    EXPECT_LT(RotationGap(Call(Matrix4ToQuaternion, m), q), 1e-14);

    const Vector3d angles(rnd.Uniform(-3, 3), rnd.Uniform(-1.5, 1.5), rnd.Uniform(-3, 3));
    const Matrix4 turns = AnglesMatrix(angles);
    Matrix4ToAngles(&turns, OUT(a));
    EXPECT_LT((a - angles).norm(), 1e-13);
  }
  for (int axis = 0; axis < 3; ++axis) {  // half turns: a zero trace, w = 0
    Vector4d d = -Vector4d::Ones();
    d(axis) = d(3) = 1;
    const Matrix4 m = FromEigen(Eigen::Matrix4d(d.asDiagonal()));
    EXPECT_EQ(V(Call(Matrix42Quaternion, m)), Vector4d::Unit(axis));
    EXPECT_EQ(V(Call(Matrix4ToQuaternion, m)).cwiseAbs(), Vector4d::Unit(axis));  // either sign
  }
  const Matrix4 zero = Call<Matrix4>(QuaternionToMatrix4, Quaternion{0, 0, 0, 0});
  EXPECT_EQ(ToEigen(zero), Eigen::Matrix4d::Identity());
  Matrix4 m = AnglesMatrix(Vector3d(0.1, kPi / 2, 0.3));  // the pole: x and z merge
  Matrix4ToAngles(&m, OUT(a));
  EXPECT_LT((a - Vector3d(-0.2, kPi / 2, 0)).norm(), 1e-7);  // cos y is 1e-8 from rounding
  m.m.m02 = -std::nextafter(1.0, 2.0);  // rounding just past the pole is no NaN
  Matrix4ToAngles(&m, OUT(a));
  EXPECT_EQ(a.y(), kPi / 2);
}

// ---------------------------------------------------------- point transforms

// Runs a point member on p, converted to the member's element type.
template <class T, class M>
Vector3d Apply(void (*f)(T*, T*, T*, const M*), const M& m, const Vector3d& p) {
  T x = T(p.x()), y = T(p.y()), z = T(p.z());
  return f(&x, &y, &z, &m), Vector3d(x, y, z);
}
template <class C>
Vector3d Apply(void (*f)(C*, const Matrix4*), const Matrix4& m, const Vector3d& p) {
  C c{decltype(c.x)(p.x()), decltype(c.x)(p.y()), decltype(c.x)(p.z())};
  return f(&c, &m), Vector3d(c.x, c.y, c.z);
}

// Column j of p times the 4x4 m, summed x term, y term, z term, then w times
// the translation row: the kit's own order, for bit-for-bit comparisons.
double Column(const Matrix4& m, const Vector3d& p, int j, double w) {
  return ((p.x() * m.matrix[0][j] + p.y() * m.matrix[1][j]) + p.z() * m.matrix[2][j]) +
         w * m.matrix[3][j];
}

// Every member against Eigen: doubles to a few roundings, floats rounded once on store;
// and the double members bit for bit in the kit's sum order, each divide a multiplication
// by a reciprocal formed once.
TEST(PointTransform, EveryMemberMatchesEigenWithTheKitsSumOrderAndFallbacks) {
  Random rnd;
  for (int k = 0; k < 200; ++k) {
    Matrix4 m = rnd.Matrix<Matrix4>();
    m.m.m33 = 4;  // a weight between 1 and 7
    XMatrix4 x;
    std::copy(m.matrixData, m.matrixData + 16, x.matrixData);
    const Matrix3 m3 = rnd.Matrix<Matrix3>();
    const Vector3d p = rnd.Vector().cast<float>().cast<double>();  // exact in every member
    const Eigen::RowVector4d h = p.transpose().homogeneous() * ToEigen(m);
    const Vector3d affine = h.head<3>(), linear = p.transpose() * Linear(m);
    const auto expect = [k](const Vector3d& want, double tol, std::initializer_list<Vector3d> got) {
      for (const Vector3d& r : got)
        EXPECT_LT((r - want).norm(), tol * std::max(1.0, want.norm())) << k;
    };
    expect(affine, 4e-16, {Apply(TransformPoint, m, p), Apply(TransformXPoint, x, p),
                           Apply(TransformDCoordinate, m, p)});
    expect(affine, 1e-7, {Apply(TransformRPoint, m, p), Apply(TransformCoordinate, m, p)});
    const Vector3d divided = affine / h(3);
    expect(divided, 4e-16, {Apply(TransformPointH, m, p), Apply(TransformDCoordinateH, m, p)});
    expect(divided, 1e-7, {Apply(TransformRPointH, m, p), Apply(TransformCoordinateH, m, p)});
    expect(linear, 4e-16, {Apply(TransformVector, m, p), Apply(TransformPointR, m, p)});
    expect(linear.normalized(), 4e-16, {Apply(TransformNormal, m, p)});
    expect(p.transpose() * ToEigen(m3), 4e-16, {Apply(TransformPoint3, m3, p)});
    const Vector3d sums(Column(m, p, 0, 1), Column(m, p, 1, 1), Column(m, p, 2, 1)),
        linearSums(Column(m, p, 0, 0), Column(m, p, 1, 0), Column(m, p, 2, 0));
    EXPECT_EQ(Apply(TransformPoint, m, p), sums) << k;
    EXPECT_EQ(Apply(TransformPointH, m, p), sums * (1.0 / Column(m, p, 3, 1))) << k;
    EXPECT_EQ(Apply(TransformVector, m, p), linearSums) << k;
    EXPECT_EQ(Apply(TransformNormal, m, p), linearSums * (1.0 / std::sqrt(
        (linearSums.x() * linearSums.x() + linearSums.y() * linearSums.y()) +
        linearSums.z() * linearSums.z()))) << k;
    // Copies between the forms: the rest of the 4x4 becomes the identity's.
    Matrix3 c3 = m3;
    Matrix4 c4 = m;
    CopyMatrix4To3(&c3, &m), CopyMatrix3To4(&c4, &c3);
    const Eigen::RowVector3d none = Eigen::RowVector3d::Zero();
    EXPECT_EQ(ToEigen(c4), (Eigen::Matrix4d() << Linear(m), none.transpose(), none, 1).finished());
    Matrix4 moved = m;  // then moved by p, in proportion to the weight
    TranslateMatrix4(&moved, XYZ(p));
    expect(affine + h(3) * p, 4e-16, {Apply(TransformPoint, moved, p)});
  }

  // With these magnitudes the grouping ((x + y) + z) + t is observable.
  Matrix4 m = FromEigen(Eigen::Matrix4d::Identity());
  m.m.m00 = 1e16, m.m.m10 = -1e16, m.m.m20 = 1, m.m.m30 = 1;
  EXPECT_EQ(Apply(TransformPoint, m, Vector3d::Ones()).x(), 2.0);
  m.m.m10 = 1, m.m.m20 = -1e16, m.m.m30 = 0.5;
  EXPECT_EQ(Apply(TransformPoint, m, Vector3d::Ones()).x(), ((1e16 + 1.0) + -1e16) + 0.5);
  // The float members round once: 1 + 2^-24 + 2^-50 rounds up, where float terms would tie to 1.
  m.m.m00 = 1, m.m.m10 = std::ldexp(1.0, -24) + std::ldexp(1.0, -50), m.m.m20 = m.m.m30 = 0;
  EXPECT_EQ(Apply(TransformRPoint, m, Vector3d(1, 1, 0)).x(), std::nextafter(1.0f, 2.0f));
  // A zero normal falls back to z; a zero weight (h = x - 1 for x = 1) gives the origin.
  for (int i = 0; i < 3; ++i) m.matrix[i][0] = m.matrix[i][1] = m.matrix[i][2] = 0;
  EXPECT_EQ(Apply(TransformNormal, m, Vector3d(4, 5, 6)), Vector3d::UnitZ());
  m.m.m03 = 1, m.m.m33 = -1;
  const Vector3d p(1, 9, 9);
  for (const Vector3d& r : {Apply(TransformPointH, m, p), Apply(TransformRPointH, m, p),
                            Apply(TransformCoordinateH, m, p), Apply(TransformDCoordinateH, m, p)})
    EXPECT_EQ(r, Vector3d::Zero());
}

}  // namespace
