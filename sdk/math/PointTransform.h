// Carrying points, vectors and normals through 4x4 and 3x3 matrices, and
// copies between the 4x4 and 3x3 forms.  Every operation reads all of its
// inputs before writing, so outputs may alias inputs.  Sums run x term, y
// term, z term, then the translation.
#ifndef QVKIT_MATH_POINTTRANSFORM_H
#define QVKIT_MATH_POINTTRANSFORM_H

#include "math/MatrixTypes.h"

void TransformVector(double* a, double* b, double* c, const Matrix4* theMatrix);
// Linear part, then unit length; a zero result becomes (0, 0, 1).
void TransformNormal(double* a, double* b, double* c, const Matrix4* theMatrix);

// The affine part of a 4x4 transform, summed x term, y term, z term, then
// translation; M is any 4x4 matrix type with double-compatible elements.
template <typename M>
inline void AffineTransform(double xp, double yp, double zp, const M* mat, double* xo,
                            double* yo, double* zo) {
  const auto& m = mat->m;
  *xo = ((xp * m.m00 + yp * m.m10) + zp * m.m20) + m.m30;
  *yo = ((xp * m.m01 + yp * m.m11) + zp * m.m21) + m.m31;
  *zo = ((xp * m.m02 + yp * m.m12) + zp * m.m22) + m.m32;
}

// Inline: hosts and plug-ins transform points one vertex at a time.
inline void TransformPoint(double* x, double* y, double* z, const Matrix4* theMatrix) {
  AffineTransform(*x, *y, *z, theMatrix, x, y, z);
}
// Linear part only (no translation), like TransformVector.
void TransformPointR(double* x, double* y, double* z, const Matrix4* theMatrix);
void TransformPointH(double* x, double* y, double* z, const Matrix4* theMatrix);
void TransformXPoint(double* x, double* y, double* z, const XMatrix4* theMatrix);
void TransformRPoint(float* x, float* y, float* z, const Matrix4* theMatrix);
void TransformRPointH(float* x, float* y, float* z, const Matrix4* theMatrix);
void TransformCoordinate(CoordPtr theCoordinate, const Matrix4* theMatrix);
void TransformCoordinateH(CoordPtr theCoordinate, const Matrix4* theMatrix);
void TransformDCoordinate(DCoordPtr theCoordinate, const Matrix4* theMatrix);
void TransformDCoordinateH(DCoordPtr theCoordinate, const Matrix4* theMatrix);
void TransformPoint3(double* x, double* y, double* z, const Matrix3* theMatrix);

// Destination first, source second.
void CopyMatrix4To3(Matrix3Ptr theMatrix, const Matrix4* b);
void CopyRMatrix4To3(RMatrix3Ptr theMatrix, const RMatrix4* b);
void CopyMatrix3To4(Matrix4Ptr theMatrix, const Matrix3* b);
void CopyRMatrix3To4(RMatrix4Ptr theMatrix, const RMatrix3* b);

#endif
