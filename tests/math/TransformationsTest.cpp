#include "math/Transformations.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "EigenOracle.h"
#include "math/MatrixAlgebra.h"

namespace {

using Eigen::AngleAxisd;
using Eigen::Matrix3d;
using Eigen::Vector3d;
using oracle::ToEigen;

template <class M>
struct Family;
#define PLM_FAMILY(M)                                    \
  template <>                                            \
  struct Family<M> {                                     \
    static constexpr auto SwapXY = SwapXY##M;            \
    static constexpr auto SwapXZ = SwapXZ##M;            \
    static constexpr auto SwapYZ = SwapYZ##M;            \
    static constexpr auto XRotate = XRotate##M;          \
    static constexpr auto YRotate = YRotate##M;          \
    static constexpr auto ZRotate = ZRotate##M;          \
    static constexpr auto Rotate = Rotate##M;            \
    static constexpr auto Scale = Scale##M;              \
    static constexpr auto NegateX = NegateX##M;          \
    static constexpr auto NegateY = NegateY##M;          \
    static constexpr auto NegateZ = NegateZ##M;          \
    static constexpr auto Skew = Skew##M;                \
    static constexpr auto ECS = ECS##M;                  \
    static constexpr auto Identity = Identity##M;        \
    static constexpr auto Sense = Sense##M;              \
  };
PLM_FOR_EACH_MATRIX(PLM_FAMILY)
#undef PLM_FAMILY

template <class M>
class Transformations : public ::testing::Test {
 protected:
  using F = Family<M>;
  using T = oracle::Elem<M>;
  static constexpr int n = oracle::kOrder<M>;
  static constexpr double tol = std::is_same_v<T, float> ? 1e-6 : 1e-15;
  oracle::Random rnd;

  static M Identity() {
    M m;
    F::Identity(&m);
    return m;
  }
  // The elementary matrix with the given linear block.
  static oracle::EigenOf<M> Embed(const Matrix3d& block) {
    oracle::EigenOf<M> e = oracle::EigenOf<M>::Identity();
    e.template topLeftCorner<3, 3>() = block;
    return e;
  }
  // Applies op to a random matrix and checks it was post-multiplied by E.
  template <class Op>
  void ExpectAppends(Op op, const Matrix3d& block, double scale = 1) {
    const M before = rnd.template Matrix<M>();
    M m = before;
    op(&m);
    EXPECT_LT(oracle::RelativeError(m, ToEigen(before) * Embed(block)), tol * 4 * scale);
  }
  static Vector3d Row(const M& m, int i) {
    return Vector3d(m.matrix[i][0], m.matrix[i][1], m.matrix[i][2]);
  }
};

using MatrixTypes = ::testing::Types<Matrix4, RMatrix4, Matrix3, RMatrix3>;
TYPED_TEST_SUITE(Transformations, MatrixTypes);

// Row vectors: the kit's matrix of a rotation is the transpose of Eigen's.
Matrix3d RowRotation(double theta, const Vector3d& axis) {
  return AngleAxisd(theta, axis.normalized()).toRotationMatrix().transpose();
}

TYPED_TEST(Transformations, RotationsMatchEigen) {
  using F = typename TestFixture::F;
  using T = typename TestFixture::T;
  for (int k = 0; k < 100; ++k) {
    const double theta = this->rnd.Uniform(-4, 4);
    const T s = T(std::sin(theta)), c = T(std::cos(theta));
    this->ExpectAppends([&](TypeParam* m) { F::XRotate(m, s, c); },
                        RowRotation(theta, Vector3d::UnitX()));
    this->ExpectAppends([&](TypeParam* m) { F::YRotate(m, s, c); },
                        RowRotation(theta, Vector3d::UnitY()));
    this->ExpectAppends([&](TypeParam* m) { F::ZRotate(m, s, c); },
                        RowRotation(theta, Vector3d::UnitZ()));
    const Vector3d axis = this->rnd.UnitVector() * this->rnd.Uniform(0.5, 3);
    const Vector3d a = axis.cast<T>().template cast<double>();
    this->ExpectAppends([&](TypeParam* m) { F::Rotate(m, T(a.x()), T(a.y()), T(a.z()), T(theta)); },
                        RowRotation(double(T(theta)), a), 4);
  }
  // Right-handed quarter turns of the identity: x to y, y to z, z to x.
  TypeParam m = this->Identity();
  F::ZRotate(&m, 1, 0);
  EXPECT_EQ(this->Row(m, 0), Vector3d(0, 1, 0));
  m = this->Identity();
  F::XRotate(&m, 1, 0);
  EXPECT_EQ(this->Row(m, 1), Vector3d(0, 0, 1));
  m = this->Identity();
  F::YRotate(&m, 1, 0);
  EXPECT_EQ(this->Row(m, 2), Vector3d(1, 0, 0));

  const TypeParam before = this->rnd.template Matrix<TypeParam>();
  m = before;
  F::Rotate(&m, 0, 0, 0, 1);
  EXPECT_EQ(ToEigen(m), ToEigen(before));
  TypeParam z = this->Identity();
  F::ZRotate(&z, 1, 0);
  m = this->Identity();
  F::Rotate(&m, 0, 0, 2, T(1.5707963267948966));
  EXPECT_LT(oracle::RelativeError(m, ToEigen(z)), this->tol * 4);
}

TYPED_TEST(Transformations, ScalesMirrorsSkewsAndSwaps) {
  using F = typename TestFixture::F;
  using T = typename TestFixture::T;
  this->ExpectAppends([](TypeParam* m) { F::Scale(m, 2, -3, T(0.5)); },
                      Vector3d(2, -3, 0.5).asDiagonal().toDenseMatrix());
  this->ExpectAppends([](TypeParam* m) { F::NegateX(m); },
                      Vector3d(-1, 1, 1).asDiagonal().toDenseMatrix());
  this->ExpectAppends([](TypeParam* m) { F::NegateY(m); },
                      Vector3d(1, -1, 1).asDiagonal().toDenseMatrix());
  this->ExpectAppends([](TypeParam* m) { F::NegateZ(m); },
                      Vector3d(1, 1, -1).asDiagonal().toDenseMatrix());
  this->ExpectAppends([](TypeParam* m) { F::Skew(m, T(0.75)); },
                      (Matrix3d() << 1, 0, 0, 0, 1, 0, 0.75, 0.75, 1).finished());

  // Tiny scales are held at 1e-10 with their sign, zero counting as positive.
  TypeParam m = this->Identity();
  F::Scale(&m, 0, T(-1e-12), 5);
  EXPECT_EQ(m.matrix[0][0], T(1e-10));
  EXPECT_EQ(m.matrix[1][1], T(-1e-10));
  EXPECT_EQ(m.matrix[2][2], T(5));

  const TypeParam src = this->rnd.template Matrix<TypeParam>();
  const auto e = ToEigen(src);
  const int pairs[3][2] = {{0, 1}, {0, 2}, {1, 2}};
  const decltype(F::SwapXY) swaps[3] = {F::SwapXY, F::SwapXZ, F::SwapYZ};
  for (int s = 0; s < 3; ++s) {
    m = src;
    swaps[s](&m, m);
    auto expected = e;
    expected.col(pairs[s][0]).swap(expected.col(pairs[s][1]));
    EXPECT_EQ(ToEigen(m), expected);
    swaps[s](&m, m);
    EXPECT_EQ(ToEigen(m), e);
  }

  m = this->Identity();
  F::NegateX(&m);
  EXPECT_EQ(F::Sense(&m), 0);
  F::NegateX(&m);
  EXPECT_EQ(ToEigen(m), ToEigen(this->Identity()));
  m = this->Identity();
  F::Skew(&m, 1);
  EXPECT_EQ(this->Row(m, 2), Vector3d(1, 1, 1));
  EXPECT_EQ(this->Row(m, 0), Vector3d(1, 0, 0));
}

TYPED_TEST(Transformations, EntityFrameFollowsTheArbitraryAxisRule) {
  using F = typename TestFixture::F;
  using T = typename TestFixture::T;
  const TypeParam before = this->rnd.template Matrix<TypeParam>();
  TypeParam m = before;
  F::ECS(&m, 0, 0, 1);
  F::ECS(&m, 0, 0, 5);
  EXPECT_EQ(ToEigen(m), ToEigen(before));

  m = this->Identity();
  F::ECS(&m, 0, 0, -1);
  EXPECT_EQ(this->Row(m, 0), Vector3d(-1, 0, 0));
  EXPECT_EQ(this->Row(m, 1), Vector3d(0, 1, 0));
  EXPECT_EQ(this->Row(m, 2), Vector3d(0, 0, -1));
  m = this->Identity();
  F::ECS(&m, 1, 0, 0);
  EXPECT_EQ(this->Row(m, 0), Vector3d(0, 1, 0));
  EXPECT_EQ(this->Row(m, 1), Vector3d(0, 0, 1));
  EXPECT_EQ(this->Row(m, 2), Vector3d(1, 0, 0));

  // Within 1/64 of the z axis the x axis comes from world y, beyond it from world z.
  m = this->Identity();
  F::ECS(&m, T(0.0156), 0, 1);
  EXPECT_NEAR(this->Row(m, 0).z(), -0.0156, 1e-4);
  m = this->Identity();
  F::ECS(&m, T(0.0157), 0, 1);
  EXPECT_LT((this->Row(m, 0) - Vector3d(0, 1, 0)).norm(), this->tol * 4);

  for (int k = 0; k < 100; ++k) {
    const Vector3d d = this->rnd.UnitVector() * 3;
    m = this->Identity();
    F::ECS(&m, T(d.x()), T(d.y()), T(d.z()));
    const Matrix3d frame = ToEigen(m).template topLeftCorner<3, 3>();
    EXPECT_LT((frame * frame.transpose() - Matrix3d::Identity()).norm(), this->tol * 8);
    EXPECT_GT(frame.determinant(), 0);
    EXPECT_LT((this->Row(m, 2) - d.normalized()).norm(), this->tol * 4);
  }
}

TEST(Transformations, TranslateThenScaleActsInOrder) {
  Matrix4 m;
  IdentityMatrix4(&m);
  TranslateMatrix4(&m, 1, 2, 3);
  ScaleMatrix4(&m, 2, 2, 2);
  EXPECT_EQ(Vector3d(m.m.m30, m.m.m31, m.m.m32), Vector3d(2, 4, 6));
  IdentityMatrix4(&m);
  ScaleMatrix4(&m, 2, 2, 2);
  TranslateMatrix4(&m, 1, 2, 3);
  EXPECT_EQ(Vector3d(m.m.m30, m.m.m31, m.m.m32), Vector3d(1, 2, 3));

  // Every row takes part, so a projective column is carried along.
  oracle::Random rnd;
  const RMatrix4 before = rnd.Matrix<RMatrix4>();
  RMatrix4 r = before;
  TranslateRMatrix4(&r, 1, -2, 0.5f);
  Eigen::Matrix4d t = Eigen::Matrix4d::Identity();
  t.row(3).head<3>() = Vector3d(1, -2, 0.5);
  EXPECT_LT(oracle::RelativeError(r, ToEigen(before) * t), 1e-6);
}

}  // namespace
