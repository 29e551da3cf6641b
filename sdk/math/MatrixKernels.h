// Internal to the kit: the shape-generic bodies behind the matrix, vector and
// quaternion families.  Each body is written once over the element type T
// (double or float) and, for matrices, over the matrix type; the public
// members in Vector.cpp, MatrixAlgebra.cpp, Transformations.cpp and
// Quaternion.cpp are thin instantiations.  Arithmetic runs in T, so the
// float members stay in single precision; where a member widens on purpose
// the body says so.  Not installed for plug-ins.
#ifndef QVKIT_MATH_MATRIXKERNELS_H
#define QVKIT_MATH_MATRIXKERNELS_H

#include <cmath>
#include <type_traits>

#include "math/MatrixTypes.h"

// Applies X to every matrix type that has a full family.
#define PLM_FOR_EACH_MATRIX(X) X(Matrix4) X(RMatrix4) X(Matrix3) X(RMatrix3)

namespace plm_math {

template <class M>
using Elem = std::remove_extent_t<decltype(M::matrixData)>;

template <class M>
constexpr int kOrder = int(std::extent_v<decltype(M::matrix)>);

template <class M>
constexpr M MakeIdentity() {
  M m{};
  for (int i = 0; i < kOrder<M>; ++i) m.matrixData[i * (kOrder<M> + 1)] = 1;
  return m;
}

// The constant identity of each matrix type: copied by the Identity members
// and read row by row as the unit right-hand sides of the inversion.
template <class M>
inline constexpr M kIdentity = MakeIdentity<M>();

template <class T>
inline void Cross(T a1, T b1, T c1, T a2, T b2, T c2, T* a3, T* b3, T* c3) {
  const T a = b1 * c2 - c1 * b2;
  const T b = c1 * a2 - a1 * c2;
  const T c = a1 * b2 - b1 * a2;
  *a3 = a;
  *b3 = b;
  *c3 = c;
}

template <class T>
inline T Dot(T a1, T b1, T c1, T a2, T b2, T c2) {
  return (a1 * a2 + b1 * b2) + c1 * c2;
}

// The squared length is summed in T; the reciprocal and the scaling are in
// double, then rounded back to T.  A zero or not-a-number length gives the
// fallback (0, 0, 1).
template <class T>
inline void Normalize(T* a, T* b, T* c) {
  const T s = (*a * *a + *b * *b) + *c * *c;
  if (s > 0) {
    const double r = 1.0 / std::sqrt(double(s));
    *a = T(double(*a) * r);
    *b = T(double(*b) * r);
    *c = T(double(*c) * r);
  } else {
    *a = 0;
    *b = 0;
    *c = 1;
  }
}

// Pair rotation: n1' = n1 cos - n2 sin, n2' = n2 cos + n1 sin.  Also the
// per-row step of the coordinate-axis rotations.
template <class T>
inline void Rot(T sinTheta, T cosTheta, T* n1, T* n2) {
  const T u = *n1;
  const T v = *n2;
  *n1 = u * cosTheta - v * sinTheta;
  *n2 = v * cosTheta + u * sinTheta;
}

template <class M>
inline Elem<M> Det(const M& a) {
  static_assert(kOrder<M> == 3, "3x3 determinant");
  const auto& m = a.matrix;
  return (m[0][0] * m[1][1]) * m[2][2] + (m[0][1] * m[1][2]) * m[2][0] +
         (m[0][2] * m[1][0]) * m[2][1] - (m[0][2] * m[1][1]) * m[2][0] -
         (m[0][1] * m[1][0]) * m[2][2] - (m[0][0] * m[1][2]) * m[2][1];
}

// theMatrix := a * b, every element summed left to right.  The operands are
// read from copies, so either may be theMatrix itself.
template <class M>
inline void Multiply(M* theMatrix, const M& a, const M& b) {
  constexpr int n = kOrder<M>;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      Elem<M> sum = a.matrix[i][0] * b.matrix[0][j];
      for (int k = 1; k < n; ++k) sum = sum + a.matrix[i][k] * b.matrix[k][j];
      theMatrix->matrix[i][j] = sum;
    }
  }
}

// theMatrix := theMatrix * b (b acts after what theMatrix did).
template <class M>
inline void Append(M* theMatrix, const M* b) {
  const M a = *theMatrix;
  const M bCopy = *b;
  Multiply(theMatrix, a, bCopy);
}

// theMatrix := a * theMatrix (a acts before what theMatrix did).
template <class M>
inline void Insert(M* theMatrix, const M* a) {
  const M b = *theMatrix;
  const M aCopy = *a;
  Multiply(theMatrix, aCopy, b);
}

}  // namespace plm_math

#endif
