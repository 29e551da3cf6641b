#include "math/MatrixAlgebra.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "EigenOracle.h"

namespace {

using oracle::EigenOf;
using oracle::RelativeError;
using oracle::ToEigen;

// The members of every family for one matrix type.
template <class M>
struct Family;
#define PLM_FAMILY(M)                                       \
  template <>                                               \
  struct Family<M> {                                        \
    static constexpr auto TestIdentity = TestIdentity##M;   \
    static constexpr auto TestZero = TestZero##M;           \
    static constexpr auto Identity = Identity##M;           \
    static constexpr auto Sense = Sense##M;                 \
    static constexpr auto Invert = Invert##M;               \
    static constexpr auto Transpose = Transpose##M;         \
    static constexpr auto Append = Append##M;               \
    static constexpr auto Insert = Insert##M;               \
    static constexpr auto Normal = Normal##M;               \
  };
PLM_FOR_EACH_MATRIX(PLM_FAMILY)
#undef PLM_FAMILY

template <class M>
class MatrixAlgebra : public ::testing::Test {
 protected:
  using F = Family<M>;
  using T = oracle::Elem<M>;
  static constexpr int n = oracle::kOrder<M>;
  // Relative accuracy expected of one well-conditioned operation.
  static constexpr double tol = std::is_same_v<T, float> ? 2e-6 : 1e-14;
  oracle::Random rnd;

  M Identity() {
    M m;
    F::Identity(&m);
    return m;
  }
  M Zero() {
    M m{};
    return m;
  }
};

using MatrixTypes = ::testing::Types<Matrix4, RMatrix4, Matrix3, RMatrix3>;
TYPED_TEST_SUITE(MatrixAlgebra, MatrixTypes);

TYPED_TEST(MatrixAlgebra, IdentityTestToleratesSinglePrecisionRounding) {
  using F = typename TestFixture::F;
  using T = typename TestFixture::T;
  TypeParam m = this->Identity();
  EXPECT_EQ(ToEigen(m), (EigenOf<TypeParam>::Identity()));
  EXPECT_EQ(F::TestIdentity(&m), 1);
  m.matrix[0][1] = T(1e-9);
  m.matrix[this->n - 1][this->n - 1] = T(1 + 1e-9);
  EXPECT_EQ(F::TestIdentity(&m), 1);
  m.matrix[this->n - 1][0] = T(1e-6);
  EXPECT_EQ(F::TestIdentity(&m), 0);
  m = this->Identity();
  m.matrix[this->n - 1][this->n - 1] = T(0.999);
  EXPECT_EQ(F::TestIdentity(&m), 0);
}

TYPED_TEST(MatrixAlgebra, ZeroTestSumsTheLinearBlockWithSigns) {
  using F = typename TestFixture::F;
  using T = typename TestFixture::T;
  TypeParam m = this->Zero();
  EXPECT_EQ(F::TestZero(&m), 1);
  m.matrix[0][0] = 1;
  m.matrix[1][1] = -1;  // cancels
  EXPECT_EQ(F::TestZero(&m), 1);
  m.matrix[2][2] = std::is_same_v<T, float> ? T(1e-8) : T(1e-16);  // lost against the bias
  EXPECT_EQ(F::TestZero(&m), 1);
  m.matrix[2][1] = T(1e-3);
  EXPECT_EQ(F::TestZero(&m), 0);
  if constexpr (TestFixture::n == 4) {
    m = this->Zero();
    m.matrix[3][0] = 5;
    m.matrix[3][1] = 6;
    m.matrix[0][3] = 7;
    m.matrix[3][3] = 1;
    EXPECT_EQ(F::TestZero(&m), 1);
  }
}

TYPED_TEST(MatrixAlgebra, SenseIsTheSignOfTheLinearDeterminant) {
  using F = typename TestFixture::F;
  TypeParam m = this->Identity();
  EXPECT_EQ(F::Sense(&m), 1);
  for (auto& row : m.matrix) row[0] = -row[0];
  EXPECT_EQ(F::Sense(&m), 0);
  m = this->Zero();
  EXPECT_EQ(F::Sense(&m), 0);
  for (int k = 0; k < 200; ++k) {
    m = this->rnd.template Matrix<TypeParam>();
    const double det = ToEigen(m).template topLeftCorner<3, 3>().determinant();
    if (std::fabs(det) > 1e-3) {
      EXPECT_EQ(F::Sense(&m), det > 0 ? 1 : 0);
    }
  }
}

TYPED_TEST(MatrixAlgebra, InverseMatchesEigen) {
  using F = typename TestFixture::F;
  for (int k = 0; k < 300; ++k) {
    const TypeParam src = this->rnd.template Matrix<TypeParam>();
    const auto e = ToEigen(src);
    Eigen::JacobiSVD<Eigen::MatrixXd> svd(e);
    const double cond = svd.singularValues()(0) / svd.singularValues().tail(1)(0);
    if (cond > 100) continue;
    TypeParam inv;
    F::Invert(&inv, src);
    EXPECT_LT(RelativeError(inv, e.inverse()), this->tol * 10 * cond) << k;
    // In place, and twice gives back the source.
    TypeParam m = src;
    F::Invert(&m, m);
    EXPECT_EQ(ToEigen(m), ToEigen(inv));
    F::Invert(&m, m);
    EXPECT_LT(RelativeError(m, e), this->tol * 100 * cond) << k;
  }
}

TYPED_TEST(MatrixAlgebra, InverseNeedsRowExchangesAndSurvivesSingularSources) {
  using F = typename TestFixture::F;
  TypeParam m = this->Zero();
  const int n = this->n;
  for (int i = 0; i < n; ++i) m.matrix[i][(i + 1) % n] = 2;  // column 0 only in the last row
  TypeParam inv;
  F::Invert(&inv, m);
  EXPECT_LT(RelativeError(inv, ToEigen(m).inverse()), this->tol);

  // A meaningless result is allowed, but no trap and no fake finite inverse.
  F::Invert(&inv, this->Zero());
  EXPECT_FALSE(ToEigen(inv).allFinite());
  m = this->rnd.template Matrix<TypeParam>();
  for (int j = 0; j < n; ++j) m.matrix[1][j] = 0;
  F::Invert(&inv, m);
  for (int j = 0; j < n; ++j) m.matrix[1][j] = m.matrix[0][j];
  F::Invert(&inv, m);
}

TYPED_TEST(MatrixAlgebra, ProductsMatchEigenInBothOrders) {
  using F = typename TestFixture::F;
  for (int k = 0; k < 200; ++k) {
    const TypeParam a = this->rnd.template Matrix<TypeParam>();
    const TypeParam b = this->rnd.template Matrix<TypeParam>();
    TypeParam m = a;
    F::Append(&m, &b);
    EXPECT_LT(RelativeError(m, ToEigen(a) * ToEigen(b)), this->tol * 4);
    m = a;
    F::Insert(&m, &b);
    EXPECT_LT(RelativeError(m, ToEigen(b) * ToEigen(a)), this->tol * 4);
    m = a;
    F::Append(&m, &m);  // squaring in place reads a copy
    EXPECT_LT(RelativeError(m, ToEigen(a) * ToEigen(a)), this->tol * 4);
    F::Transpose(&m, a);
    EXPECT_EQ(ToEigen(m), ToEigen(a).transpose());
    F::Transpose(&m, m);
    EXPECT_EQ(ToEigen(m), ToEigen(a));
  }
}

TYPED_TEST(MatrixAlgebra, ProductSumsRunLeftToRight) {
  using F = typename TestFixture::F;
  using T = typename TestFixture::T;
  const T big = std::is_same_v<T, float> ? T(1e8) : T(1e16);  // big + 1 == big
  // Each row sums to 1 only from the left; pairwise or reversed sums give 0.
  const T rows4[2][4] = {{big, 1, -big, 1}, {big, -big, 1, 0}};
  const T rows3[2][3] = {{big, -big, 1}, {big, -big, 1}};
  TypeParam a = this->Zero(), ones = this->Zero();
  for (int j = 0; j < this->n; ++j) {
    for (int i = 0; i < 2; ++i) a.matrix[i][j] = this->n == 4 ? rows4[i][j] : rows3[i][j];
    ones.matrix[j][0] = 1;
  }
  F::Append(&a, &ones);
  EXPECT_EQ(a.matrix[0][0], T(1));
  EXPECT_EQ(a.matrix[1][0], T(1));
}

TYPED_TEST(MatrixAlgebra, NormalMatrixIsTheInverseTranspose) {
  using F = typename TestFixture::F;
  TypeParam m = this->Identity();
  for (int i = 0; i < 3; ++i) m.matrix[i][i] = 2;
  F::Normal(&m);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(m.matrix[i][i], 0.5);
  const Eigen::Matrix3d rot =
      Eigen::AngleAxisd(0.7, Eigen::Vector3d(1, 2, 3).normalized()).toRotationMatrix();
  m = this->Identity();
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m.matrix[i][j] = typename TestFixture::T(rot(i, j));
  const auto before = ToEigen(m);
  F::Normal(&m);
  EXPECT_LT(RelativeError(m, before), this->tol * 10);
  for (int k = 0; k < 100; ++k) {
    m = this->rnd.template Matrix<TypeParam>();
    const auto e = ToEigen(m);
    if (std::fabs(e.determinant()) < 0.05) continue;
    F::Normal(&m);
    EXPECT_LT(RelativeError(m, e.inverse().transpose()), this->tol * 1e4);
  }
}

TEST(MatrixAlgebra, AppendActsAfterInsertActsBefore) {
  Matrix4 t, r;
  IdentityMatrix4(&t);
  t.m.m30 = 1;  // move by x
  Matrix4 z{};
  z.m.m01 = 1;  // quarter turn about z: x to y
  z.m.m10 = -1;
  z.m.m22 = 1;
  z.m.m33 = 1;
  r = t;
  AppendMatrix4(&r, &z);  // move, then turn: the origin lands on (0, 1, 0)
  EXPECT_EQ(Eigen::Vector3d(r.m.m30, r.m.m31, r.m.m32), Eigen::Vector3d(0, 1, 0));
  r = t;
  InsertMatrix4(&r, &z);  // turn, then move: the origin lands on (1, 0, 0)
  EXPECT_EQ(Eigen::Vector3d(r.m.m30, r.m.m31, r.m.m32), Eigen::Vector3d(1, 0, 0));
  Matrix4 inv;
  t.m.m31 = -2, t.m.m32 = 4;
  InvertMatrix4(&inv, t);
  EXPECT_EQ(Eigen::Vector3d(inv.m.m30, inv.m.m31, inv.m.m32), Eigen::Vector3d(-1, 2, -4));
}

TEST(MatrixAlgebra, DetRMatchesEigen) {
  oracle::Random rnd;
  for (int k = 0; k < 200; ++k) {
    const RMatrix3 m = rnd.Matrix<RMatrix3>();
    EXPECT_NEAR(DetR(&m), ToEigen(m).determinant(), 1e-6);
  }
}

TEST(MatrixAlgebra, NormalizeRowsWithTheirFallback) {
  Matrix3 m = {{2, 0, 0, 0, 0, 0, 0, 3, 4}};
  const Eigen::Matrix3d rows = (Eigen::Matrix3d() << 1, 0, 0, 1, 0, 0, 0, 0.6, 0.8).finished();
  NormalizeMatrix3(&m);
  EXPECT_LT(oracle::RelativeError(m, rows), 2e-16);
  RMatrix3 r = {{2, 0, 0, 0, 0, 0, 0, 3, 4}};
  NormalizeRMatrix3(&r);
  EXPECT_LT(oracle::RelativeError(r, rows), 1e-7);
  // A row whose squared length rounds to 1.0f is left exactly as it was.
  m = {{1 + 1e-9, 0, 0, 0, 1, 0, 0, 0, 1}};
  NormalizeMatrix3(&m);
  EXPECT_EQ(m.m.m00, 1 + 1e-9);
  m = {{1 + 1e-7, 0, 0, 0, 1, 0, 0, 0, 1}};
  NormalizeMatrix3(&m);
  EXPECT_DOUBLE_EQ(m.m.m00, 1.0);
}

}  // namespace
