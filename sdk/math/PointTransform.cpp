#include "math/PointTransform.h"

#include <cmath>

namespace {

template <typename M>
void Linear(double a, double b, double c, const M* mat, double* ao, double* bo, double* co) {
  const auto& m = mat->m;
  *ao = (a * m.m00 + b * m.m10) + c * m.m20;
  *bo = (a * m.m01 + b * m.m11) + c * m.m21;
  *co = (a * m.m02 + b * m.m12) + c * m.m22;
}

// Full 4x4 with the homogeneous divide: a weight of exactly 1 skips the
// division, a weight of 0 (either sign) gives the origin.
void Homogeneous(double xp, double yp, double zp, const Matrix4* mat, double* xo, double* yo,
                 double* zo) {
  const auto& m = mat->m;
  const double h = ((xp * m.m03 + yp * m.m13) + zp * m.m23) + m.m33;
  if (h == 1.0) {
    AffineTransform(xp, yp, zp, mat, xo, yo, zo);
    return;
  }
  if (h == 0.0) {
    *xo = *yo = *zo = 0.0;
    return;
  }
  const double reciprocal = 1.0 / h;
  double x, y, z;
  AffineTransform(xp, yp, zp, mat, &x, &y, &z);
  *xo = x * reciprocal;
  *yo = y * reciprocal;
  *zo = z * reciprocal;
}

}  // namespace

void TransformVector(double* a, double* b, double* c, const Matrix4* theMatrix) {
  Linear(*a, *b, *c, theMatrix, a, b, c);
}

void TransformNormal(double* a, double* b, double* c, const Matrix4* theMatrix) {
  double aNew, bNew, cNew;
  Linear(*a, *b, *c, theMatrix, &aNew, &bNew, &cNew);
  const double distance = std::sqrt((aNew * aNew + bNew * bNew) + cNew * cNew);
  if (distance == 0.0) {
    *a = 0.0;
    *b = 0.0;
    *c = 1.0;
    return;
  }
  const double reciprocal = 1.0 / distance;
  *a = aNew * reciprocal;
  *b = bNew * reciprocal;
  *c = cNew * reciprocal;
}

void TransformPointR(double* x, double* y, double* z, const Matrix4* theMatrix) {
  Linear(*x, *y, *z, theMatrix, x, y, z);
}

void TransformPointH(double* x, double* y, double* z, const Matrix4* theMatrix) {
  Homogeneous(*x, *y, *z, theMatrix, x, y, z);
}

void TransformXPoint(double* x, double* y, double* z, const XMatrix4* theMatrix) {
  AffineTransform(*x, *y, *z, theMatrix, x, y, z);
}

void TransformRPoint(float* x, float* y, float* z, const Matrix4* theMatrix) {
  double xo, yo, zo;
  AffineTransform(*x, *y, *z, theMatrix, &xo, &yo, &zo);
  *x = float(xo);
  *y = float(yo);
  *z = float(zo);
}

void TransformRPointH(float* x, float* y, float* z, const Matrix4* theMatrix) {
  double xo, yo, zo;
  Homogeneous(*x, *y, *z, theMatrix, &xo, &yo, &zo);
  *x = float(xo);
  *y = float(yo);
  *z = float(zo);
}

void TransformCoordinate(CoordPtr theCoordinate, const Matrix4* theMatrix) {
  TransformRPoint(&theCoordinate->x, &theCoordinate->y, &theCoordinate->z, theMatrix);
}

void TransformCoordinateH(CoordPtr theCoordinate, const Matrix4* theMatrix) {
  TransformRPointH(&theCoordinate->x, &theCoordinate->y, &theCoordinate->z, theMatrix);
}

void TransformDCoordinate(DCoordPtr theCoordinate, const Matrix4* theMatrix) {
  TransformPoint(&theCoordinate->x, &theCoordinate->y, &theCoordinate->z, theMatrix);
}

void TransformDCoordinateH(DCoordPtr theCoordinate, const Matrix4* theMatrix) {
  TransformPointH(&theCoordinate->x, &theCoordinate->y, &theCoordinate->z, theMatrix);
}

void TransformPoint3(double* x, double* y, double* z, const Matrix3* theMatrix) {
  const auto& m = theMatrix->m;
  const double a = *x, b = *y, c = *z;
  *x = (a * m.m00 + b * m.m10) + c * m.m20;
  *y = (a * m.m01 + b * m.m11) + c * m.m21;
  *z = (a * m.m02 + b * m.m12) + c * m.m22;
}

namespace {

template <typename M3, typename M4>
void Copy4To3(M3* dst, const M4* src) {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) dst->matrix[i][j] = src->matrix[i][j];
}

template <typename M4, typename M3>
void Copy3To4(M4* dst, const M3* src) {
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) dst->matrix[i][j] = (i < 3 && j < 3) ? src->matrix[i][j] : (i == j ? 1 : 0);
}

}  // namespace

void CopyMatrix4To3(Matrix3Ptr theMatrix, const Matrix4* b) { Copy4To3(theMatrix, b); }
void CopyRMatrix4To3(RMatrix3Ptr theMatrix, const RMatrix4* b) { Copy4To3(theMatrix, b); }
void CopyMatrix3To4(Matrix4Ptr theMatrix, const Matrix3* b) { Copy3To4(theMatrix, b); }
void CopyRMatrix3To4(RMatrix4Ptr theMatrix, const RMatrix3* b) { Copy3To4(theMatrix, b); }
