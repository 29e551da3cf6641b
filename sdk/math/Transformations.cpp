#include "math/Transformations.h"

#include <cmath>

#include "math/MatrixKernels.h"

namespace {

using plm_math::Elem;
using plm_math::kIdentity;
using plm_math::kOrder;

// Directions closer than this (in x and y) to the world z axis build their
// entity frame from the world y axis instead.
constexpr double kArbitraryAxisLimit = 0.015625;
constexpr double kMinScale = 1e-10;

// Written element by element from the by-value copy, so src may alias.
template <int c0, int c1, class M>
void SwapT(M* theMatrix, const M& src) {
  constexpr int n = kOrder<M>;
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < n; ++j) {
      const int from = j == c0 ? c1 : j == c1 ? c0 : j;
      theMatrix->matrix[i][j] = src.matrix[i][from];
    }
  }
}

// Only the columns E changes are touched, row by row.
template <class M>
void TranslateT(M* theMatrix, Elem<M> tx, Elem<M> ty, Elem<M> tz) {
  for (auto& row : theMatrix->matrix) {
    row[0] += row[3] * tx;
    row[1] += row[3] * ty;
    row[2] += row[3] * tz;
  }
}

// Rotation about a coordinate axis turns column u towards column v: X uses
// (1, 2), Y (2, 0), Z (0, 1).
template <int u, int v, class M>
void AxisRotateT(M* theMatrix, Elem<M> sinTheta, Elem<M> cosTheta) {
  for (auto& row : theMatrix->matrix) plm_math::Rot(sinTheta, cosTheta, &row[u], &row[v]);
}

// theMatrix := theMatrix * E where E is the identity with the 3x3 block rows.
template <class M>
void AppendLinear(M* theMatrix, const Elem<M> (&rows)[3][3]) {
  M e = kIdentity<M>;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) e.matrix[i][j] = rows[i][j];
  plm_math::Append(theMatrix, &e);
}

// The float members take the sine, cosine and reciprocal length in double
// and round them to float; everything else runs in the element type.
template <class M>
void RotateT(M* theMatrix, Elem<M> x, Elem<M> y, Elem<M> z, Elem<M> theta) {
  using T = Elem<M>;
  const T q = (x * x + y * y) + z * z;
  if (!(q > 0)) return;
  const T s = T(std::sin(double(theta)));
  const T c = T(std::cos(double(theta)));
  const double r = 1.0 / std::sqrt(double(q));
  x = T(double(x) * r);
  y = T(double(y) * r);
  z = T(double(z) * r);
  const T t = T(1) - c;
  const T tx = t * x, ty = t * y;
  const T txy = tx * y, txz = tx * z, tyz = ty * z;
  const T sx = s * x, sy = s * y, sz = s * z;
  const T rows[3][3] = {{tx * x + c, txy + sz, txz - sy},
                        {txy - sz, ty * y + c, tyz + sx},
                        {txz + sy, tyz - sx, (t * z) * z + c}};
  AppendLinear(theMatrix, rows);
}

// Magnitudes below 1e-10 (compared in double) become +-1e-10 with the
// value's sign; zero counts as positive.
template <class T>
T ClampScale(T v) {
  if (std::fabs(double(v)) < kMinScale) return v >= 0 ? T(kMinScale) : T(-kMinScale);
  return v;
}

template <class M>
void ScaleT(M* theMatrix, Elem<M> sx, Elem<M> sy, Elem<M> sz) {
  sx = ClampScale(sx);
  sy = ClampScale(sy);
  sz = ClampScale(sz);
  for (auto& row : theMatrix->matrix) {
    row[0] *= sx;
    row[1] *= sy;
    row[2] *= sz;
  }
}

template <int column, class M>
void NegateT(M* theMatrix) {
  for (auto& row : theMatrix->matrix) row[column] = -row[column];
}

template <class M>
void SkewT(M* theMatrix, Elem<M> skew) {
  for (auto& row : theMatrix->matrix) {
    const Elem<M> temp = row[2] * skew;
    row[0] += temp;
    row[1] += temp;
  }
}

template <class M>
void ECST(M* theMatrix, Elem<M> dx, Elem<M> dy, Elem<M> dz) {
  using T = Elem<M>;
  if (dx == 0 && dy == 0 && dz == 1) return;
  T z1 = dx, z2 = dy, z3 = dz;
  plm_math::Normalize(&z1, &z2, &z3);
  if (z1 == 0 && z2 == 0 && z3 == 1) return;
  const T limit = T(kArbitraryAxisLimit);
  T x1, x2, x3;
  if (std::fabs(z1) < limit && std::fabs(z2) < limit) {
    x1 = z3;  // world y x z
    x2 = 0;
    x3 = -z1;
  } else {
    x1 = -z2;  // world z x z
    x2 = z1;
    x3 = 0;
  }
  plm_math::Normalize(&x1, &x2, &x3);
  T y1, y2, y3;
  plm_math::Cross(z1, z2, z3, x1, x2, x3, &y1, &y2, &y3);
  plm_math::Normalize(&y1, &y2, &y3);
  const T rows[3][3] = {{x1, x2, x3}, {y1, y2, y3}, {z1, z2, z3}};
  AppendLinear(theMatrix, rows);
}

}  // namespace

#define PLM_DEFINE_TRANSFORMATIONS(M)                                                   \
  void SwapXY##M(M##Ptr theMatrix, M srcMatrix) { SwapT<0, 1>(theMatrix, srcMatrix); } \
  void SwapXZ##M(M##Ptr theMatrix, M srcMatrix) { SwapT<0, 2>(theMatrix, srcMatrix); } \
  void SwapYZ##M(M##Ptr theMatrix, M srcMatrix) { SwapT<1, 2>(theMatrix, srcMatrix); } \
  void XRotate##M(M##Ptr theMatrix, Elem<M> sinTheta, Elem<M> cosTheta) {               \
    AxisRotateT<1, 2>(theMatrix, sinTheta, cosTheta);                                   \
  }                                                                                     \
  void YRotate##M(M##Ptr theMatrix, Elem<M> sinTheta, Elem<M> cosTheta) {               \
    AxisRotateT<2, 0>(theMatrix, sinTheta, cosTheta);                                   \
  }                                                                                     \
  void ZRotate##M(M##Ptr theMatrix, Elem<M> sinTheta, Elem<M> cosTheta) {               \
    AxisRotateT<0, 1>(theMatrix, sinTheta, cosTheta);                                   \
  }                                                                                     \
  void Rotate##M(M##Ptr theMatrix, Elem<M> x, Elem<M> y, Elem<M> z, Elem<M> theta) {    \
    RotateT(theMatrix, x, y, z, theta);                                                 \
  }                                                                                     \
  void Scale##M(M##Ptr theMatrix, Elem<M> sx, Elem<M> sy, Elem<M> sz) {                 \
    ScaleT(theMatrix, sx, sy, sz);                                                      \
  }                                                                                     \
  void NegateX##M(M##Ptr theMatrix) { NegateT<0>(theMatrix); }                          \
  void NegateY##M(M##Ptr theMatrix) { NegateT<1>(theMatrix); }                          \
  void NegateZ##M(M##Ptr theMatrix) { NegateT<2>(theMatrix); }                          \
  void Skew##M(M##Ptr theMatrix, Elem<M> skew) { SkewT(theMatrix, skew); }              \
  void ECS##M(M##Ptr theMatrix, Elem<M> dx, Elem<M> dy, Elem<M> dz) {                   \
    ECST(theMatrix, dx, dy, dz);                                                        \
  }

PLM_FOR_EACH_MATRIX(PLM_DEFINE_TRANSFORMATIONS)
#undef PLM_DEFINE_TRANSFORMATIONS

void TranslateMatrix4(Matrix4Ptr theMatrix, double tx, double ty, double tz) {
  TranslateT(theMatrix, tx, ty, tz);
}

void TranslateRMatrix4(RMatrix4Ptr theMatrix, float tx, float ty, float tz) {
  TranslateT(theMatrix, tx, ty, tz);
}
