#include "math/MatrixAlgebra.h"

#include <cmath>
#include <type_traits>

#include "math/MatrixKernels.h"

namespace {

using plm_math::Elem;
using plm_math::kIdentity;
using plm_math::kOrder;

// The double members compare after rounding to float, the float members in
// float: off-diagonal x passes when 1 + x rounds to 1.0f.
template <class M>
int32_t TestIdentityT(const M& a) {
  using T = Elem<M>;
  constexpr int n = kOrder<M>;
  for (int i = 0; i < n; ++i)
    if (float(a.matrix[i][i]) != 1.0f) return 0;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j)
      if (i != j && float(T(1) + a.matrix[i][j]) != 1.0f) return 0;
  return 1;
}

template <class M>
int32_t TestZeroT(const M& a) {
  using T = Elem<M>;
  // A bias large against rounding noise of tiny elements: 10 in double,
  // 1 in float.
  const T bias = std::is_same_v<T, float> ? T(1) : T(10);
  T sum = bias;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) sum = sum + a.matrix[i][j];
  return sum == bias ? 1 : 0;
}

template <class M>
int32_t SenseT(const M& a) {
  using T = Elem<M>;
  const auto& m = a.matrix;
  T wx, wy, wz;
  plm_math::Cross(m[0][0], m[0][1], m[0][2], m[1][0], m[1][1], m[1][2], &wx, &wy, &wz);
  const T d = (m[2][0] * wx + m[2][1] * wy) + m[2][2] * wz;
  return d > 0 ? 1 : 0;
}

template <class M>
void TransposeT(M* theMatrix, const M& src) {
  constexpr int n = kOrder<M>;
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) theMatrix->matrix[i][j] = src.matrix[j][i];
}

// Forward and back substitution on the eliminated matrix (multipliers below
// the diagonal, rows in the order indexVector gives).
template <class M>
void PivotSolve(const M& a, Elem<M>* coeffVector, Elem<M>* resultVector,
                const int32_t* indexVector) {
  using T = Elem<M>;
  constexpr int n = kOrder<M>;
  for (int i = 0; i < n - 1; ++i)
    for (int j = i + 1; j < n; ++j)
      coeffVector[indexVector[j]] -=
          coeffVector[indexVector[i]] * a.matrix[indexVector[j]][i];
  resultVector[n - 1] =
      coeffVector[indexVector[n - 1]] / a.matrix[indexVector[n - 1]][n - 1];
  for (int i = n - 2; i >= 0; --i) {
    const int32_t row = indexVector[i];
    T sum = coeffVector[row];
    for (int j = i + 1; j < n; ++j) sum -= a.matrix[row][j] * resultVector[j];
    resultVector[i] = sum / a.matrix[row][i];
  }
}

template <class M>
void InvertT(M* theMatrix, M a) {
  using T = Elem<M>;
  constexpr int n = kOrder<M>;
  int32_t indexVector[n];
  T scaleVector[n];
  for (int i = 0; i < n; ++i) {
    indexVector[i] = i;
    T sMax = 0;
    for (int j = 0; j < n; ++j) {
      const T v = std::fabs(a.matrix[i][j]);
      if (v > sMax) sMax = v;
    }
    scaleVector[i] = sMax;
  }
  for (int k = 0; k < n - 1; ++k) {
    // Largest scaled candidate; the first wins ties, and when no ratio is
    // positive (a singular column, or NaN from a zero row) the row already
    // at position k stays the pivot.
    T rMax = 0;
    int chosen = k;
    for (int i = k; i < n; ++i) {
      const T r = std::fabs(a.matrix[indexVector[i]][k]) / scaleVector[indexVector[i]];
      if (r > rMax) {
        rMax = r;
        chosen = i;
      }
    }
    const int32_t indexSwap = indexVector[chosen];
    indexVector[chosen] = indexVector[k];
    indexVector[k] = indexSwap;
    for (int i = k + 1; i < n; ++i) {
      const int32_t p = indexVector[i];
      const T xMult = a.matrix[p][k] / a.matrix[indexSwap][k];
      for (int j = k + 1; j < n; ++j) a.matrix[p][j] -= xMult * a.matrix[indexSwap][j];
      a.matrix[p][k] = xMult;
    }
  }
  for (int i = 0; i < n; ++i) {
    T coeffVector[n];
    T resultVector[n];
    for (int j = 0; j < n; ++j) coeffVector[j] = kIdentity<M>.matrix[i][j];
    PivotSolve(a, coeffVector, resultVector, indexVector);
    for (int r = 0; r < n; ++r) theMatrix->matrix[r][i] = resultVector[r];
  }
}

template <class M>
void NormalT(M* theMatrix) {
  InvertT(theMatrix, *theMatrix);
  TransposeT(theMatrix, M(*theMatrix));
}

// The tests against 1.0f run in float for both members; the reciprocal
// square root is taken in double and rounded to the element type.
template <class M>
void NormalizeRowsT(M* theMatrix) {
  using T = Elem<M>;
  for (auto& row : theMatrix->matrix) {
    const T s = (row[0] * row[0] + row[1] * row[1]) + row[2] * row[2];
    if (float(s) == 1.0f) continue;
    if (float(T(1) + s) == 1.0f) {
      row[0] = 1;
      row[1] = 0;
      row[2] = 0;
      continue;
    }
    const T r = T(1.0 / std::sqrt(double(s)));
    row[0] = row[0] * r;
    row[1] = row[1] * r;
    row[2] = row[2] * r;
  }
}

}  // namespace

#define PLM_DEFINE_ALGEBRA(M)                                                         \
  int32_t TestIdentity##M(const M* theMatrix) { return TestIdentityT(*theMatrix); }   \
  int32_t TestZero##M(const M* theMatrix) { return TestZeroT(*theMatrix); }           \
  void Identity##M(M##Ptr theMatrix) { *theMatrix = kIdentity<M>; }                   \
  int32_t Sense##M(const M* theMatrix) { return SenseT(*theMatrix); }                 \
  void Invert##M(M##Ptr theMatrix, M srcMatrix) { InvertT(theMatrix, srcMatrix); }    \
  void Transpose##M(M##Ptr theMatrix, M srcMatrix) { TransposeT(theMatrix, srcMatrix); } \
  void Append##M(M##Ptr theMatrix, const M* b) { plm_math::Append(theMatrix, b); }    \
  void Insert##M(M##Ptr theMatrix, const M* a) { plm_math::Insert(theMatrix, a); }    \
  void Normal##M(M##Ptr theMatrix) { NormalT(theMatrix); }

PLM_FOR_EACH_MATRIX(PLM_DEFINE_ALGEBRA)
#undef PLM_DEFINE_ALGEBRA

float DetR(const RMatrix3* a) { return plm_math::Det(*a); }

void NormalizeMatrix3(Matrix3Ptr theMatrix) { NormalizeRowsT(theMatrix); }
void NormalizeRMatrix3(RMatrix3Ptr theMatrix) { NormalizeRowsT(theMatrix); }
