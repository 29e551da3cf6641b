// Quaternion arithmetic, interpolation, conversions to and from rotation
// matrices, and rotation angles of a matrix.  A unit quaternion
// (a sin(theta/2), cos(theta/2)) is the rotation by theta about the unit
// axis a.  Results go through r (or theQuaternion, theMatrix) and every
// component is computed before any is stored, so r may be an input.
#ifndef QVKIT_MATH_QUATERNION_H
#define QVKIT_MATH_QUATERNION_H

#include "math/MatrixTypes.h"

// (x, y, z) is the vector part, w the scalar part.
struct Quaternion {
  double x, y, z, w;
};
typedef Quaternion* QuaternionPtr;

void AddQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r);
void SubtractQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r);
// Hamilton product p * q.
void MultiplyQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r);
// r = p * q^-1, so that r * q gives back p.  A zero q (squared norm not
// above 0) gives the zero quaternion.
void DivideQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r);
void ConjugateQuaternion(const Quaternion* q, QuaternionPtr r);
// Conjugate over squared norm; a zero q divides by zero.
void InvertQuaternion(const Quaternion* q, QuaternionPtr r);
// exp of the vector part (q.w is ignored): a unit quaternion.
void ExponentiateQuaternion(const Quaternion* q, QuaternionPtr r);
// A pure quaternion whose exponential has q's direction.
void LogarithmQuaternion(const Quaternion* q, QuaternionPtr r);
// A root r with r * r == q for every q: the one with non-negative w; for a
// negative real q, sqrt(-w) along x.
void SquareRouteQuaternion(const Quaternion* q, QuaternionPtr r);
void SquareQuaternion(const Quaternion* q, QuaternionPtr r);
void ScaleQuaternion(double c, const Quaternion* q, QuaternionPtr r);
double DotQuaternion(const Quaternion* p, const Quaternion* q);
// 2 (p . q) q - p: p reflected through q.
void DoubleQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r);
// (p + q) normalised; for opposite p and q, a quaternion perpendicular to p.
void BisectQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r);
// A squared length at or below 1e-6 gives (0, 0, 0, 1).
void NormalizeQuaternion(const Quaternion* q, QuaternionPtr r);
// Spherical linear interpolation of unit quaternions, t clamped to [0, 1].
// No flip to the shorter arc: negate q first when DotQuaternion(p, q) < 0.
void LinearInterpolateQuaternion(double t, const Quaternion* p, const Quaternion* q,
                                 QuaternionPtr r);
// Spherical cubic from q1 (t = 0) to q2 (t = 1), q0 and q3 the neighbouring keys.
void BezierInteroplateQuaternion(double t, const Quaternion* q0, const Quaternion* q1,
                                 const Quaternion* q2, const Quaternion* q3, QuaternionPtr r);

// Row-vector convention (the kit's own, as XRotate and Rotate): the quaternion
// is taken as of unit length.  Matrix42Quaternion is its inverse.
void Quaternion2Matrix4(const Quaternion* theQuaternion, Matrix4Ptr theMatrix);
void Matrix42Quaternion(const Matrix4* theMatrix, QuaternionPtr theQuaternion);
// Column-vector convention (the transpose): any non-zero quaternion gives a
// pure rotation, zero gives the identity.  Matrix4ToQuaternion is its inverse.
// Do not mix the two pairs.
void QuaternionToMatrix4(const Quaternion* theQuaternion, Matrix4Ptr theMatrix);
void Matrix4ToQuaternion(const Matrix4* theMatrix, QuaternionPtr theQuaternion);

// Angles (radians) such that the matrix is the identity followed by
// XRotate(x), YRotate(y), ZRotate(z), with y in [-pi/2, pi/2].  At y = +-pi/2
// the free rotation is reported in x and z is 0.
void Matrix4ToAngles(const Matrix4* theMatrix, double* x, double* y, double* z);
void RMatrix4ToAngles(const RMatrix4* theMatrix, double* x, double* y, double* z);

#endif
