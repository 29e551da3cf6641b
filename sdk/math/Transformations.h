// Elementary transformations appended to an existing matrix: every member
// post-multiplies theMatrix by the step's matrix E (theMatrix := theMatrix * E),
// so with row vectors the step acts after everything theMatrix already did.
// Build a transformation from IdentityMatrix4 and append the steps in the
// order in which they act.  The 4x4 members transform all four rows,
// translation row included; the float members take floats and compute in
// single precision.
#ifndef QVKIT_MATH_TRANSFORMATIONS_H
#define QVKIT_MATH_TRANSFORMATIONS_H

#include "math/MatrixTypes.h"

// theMatrix := srcMatrix with two columns exchanged (srcMatrix may be theMatrix).
void SwapXYMatrix4(Matrix4Ptr theMatrix, Matrix4 srcMatrix);
void SwapXYRMatrix4(RMatrix4Ptr theMatrix, RMatrix4 srcMatrix);
void SwapXYMatrix3(Matrix3Ptr theMatrix, Matrix3 srcMatrix);
void SwapXYRMatrix3(RMatrix3Ptr theMatrix, RMatrix3 srcMatrix);
void SwapXZMatrix4(Matrix4Ptr theMatrix, Matrix4 srcMatrix);
void SwapXZRMatrix4(RMatrix4Ptr theMatrix, RMatrix4 srcMatrix);
void SwapXZMatrix3(Matrix3Ptr theMatrix, Matrix3 srcMatrix);
void SwapXZRMatrix3(RMatrix3Ptr theMatrix, RMatrix3 srcMatrix);
void SwapYZMatrix4(Matrix4Ptr theMatrix, Matrix4 srcMatrix);
void SwapYZRMatrix4(RMatrix4Ptr theMatrix, RMatrix4 srcMatrix);
void SwapYZMatrix3(Matrix3Ptr theMatrix, Matrix3 srcMatrix);
void SwapYZRMatrix3(RMatrix3Ptr theMatrix, RMatrix3 srcMatrix);

void TranslateMatrix4(Matrix4Ptr theMatrix, double tx, double ty, double tz);
void TranslateRMatrix4(RMatrix4Ptr theMatrix, float tx, float ty, float tz);

// Right-handed rotations about a coordinate axis, given the angle's sine and
// cosine: a positive angle turns y towards z (X), z towards x (Y), x towards y (Z).
void XRotateMatrix4(Matrix4Ptr theMatrix, double sinTheta, double cosTheta);
void XRotateRMatrix4(RMatrix4Ptr theMatrix, float sinTheta, float cosTheta);
void XRotateMatrix3(Matrix3Ptr theMatrix, double sinTheta, double cosTheta);
void XRotateRMatrix3(RMatrix3Ptr theMatrix, float sinTheta, float cosTheta);
void YRotateMatrix4(Matrix4Ptr theMatrix, double sinTheta, double cosTheta);
void YRotateRMatrix4(RMatrix4Ptr theMatrix, float sinTheta, float cosTheta);
void YRotateMatrix3(Matrix3Ptr theMatrix, double sinTheta, double cosTheta);
void YRotateRMatrix3(RMatrix3Ptr theMatrix, float sinTheta, float cosTheta);
void ZRotateMatrix4(Matrix4Ptr theMatrix, double sinTheta, double cosTheta);
void ZRotateRMatrix4(RMatrix4Ptr theMatrix, float sinTheta, float cosTheta);
void ZRotateMatrix3(Matrix3Ptr theMatrix, double sinTheta, double cosTheta);
void ZRotateRMatrix3(RMatrix3Ptr theMatrix, float sinTheta, float cosTheta);

// Rotation by theta radians about the axis (x, y, z), which need not be of
// unit length; a zero axis leaves theMatrix unchanged.
void RotateMatrix4(Matrix4Ptr theMatrix, double x, double y, double z, double theta);
void RotateRMatrix4(RMatrix4Ptr theMatrix, float x, float y, float z, float theta);
void RotateMatrix3(Matrix3Ptr theMatrix, double x, double y, double z, double theta);
void RotateRMatrix3(RMatrix3Ptr theMatrix, float x, float y, float z, float theta);

// Scale values of magnitude below 1e-10 are replaced by +-1e-10 (zero by
// +1e-10), so the result stays invertible.
void ScaleMatrix4(Matrix4Ptr theMatrix, double sx, double sy, double sz);
void ScaleRMatrix4(RMatrix4Ptr theMatrix, float sx, float sy, float sz);
void ScaleMatrix3(Matrix3Ptr theMatrix, double sx, double sy, double sz);
void ScaleRMatrix3(RMatrix3Ptr theMatrix, float sx, float sy, float sz);

// Mirror one axis.
void NegateXMatrix4(Matrix4Ptr theMatrix);
void NegateXRMatrix4(RMatrix4Ptr theMatrix);
void NegateXMatrix3(Matrix3Ptr theMatrix);
void NegateXRMatrix3(RMatrix3Ptr theMatrix);
void NegateYMatrix4(Matrix4Ptr theMatrix);
void NegateYRMatrix4(RMatrix4Ptr theMatrix);
void NegateYMatrix3(Matrix3Ptr theMatrix);
void NegateYRMatrix3(RMatrix3Ptr theMatrix);
void NegateZMatrix4(Matrix4Ptr theMatrix);
void NegateZRMatrix4(RMatrix4Ptr theMatrix);
void NegateZMatrix3(Matrix3Ptr theMatrix);
void NegateZRMatrix3(RMatrix3Ptr theMatrix);

// x and y both grow by skew times z.
void SkewMatrix4(Matrix4Ptr theMatrix, double skew);
void SkewRMatrix4(RMatrix4Ptr theMatrix, float skew);
void SkewMatrix3(Matrix3Ptr theMatrix, double skew);
void SkewRMatrix3(RMatrix3Ptr theMatrix, float skew);

// The entity coordinate system of an extrusion direction (the arbitrary-axis
// frame of drawing exchange files): appends the frame whose z axis is the
// normalised direction, carrying entity coordinates into world coordinates.
// The direction (0, 0, 1), or one that normalises to it exactly, leaves
// theMatrix unchanged.
void ECSMatrix4(Matrix4Ptr theMatrix, double dx, double dy, double dz);
void ECSRMatrix4(RMatrix4Ptr theMatrix, float dx, float dy, float dz);
void ECSMatrix3(Matrix3Ptr theMatrix, double dx, double dy, double dz);
void ECSRMatrix3(RMatrix3Ptr theMatrix, float dx, float dy, float dz);

#endif
