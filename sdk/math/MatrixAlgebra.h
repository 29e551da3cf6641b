// Algebra on whole matrices: identity and zero tests, identity, handedness,
// inversion, transposition, the two products, the normal matrix and row
// normalisation.  Each family has a member per matrix type (Matrix4,
// RMatrix4, Matrix3, RMatrix3); the float members compute in floats.
// Results go to theMatrix; a by-value srcMatrix may be theMatrix itself.
#ifndef QVKIT_MATH_MATRIXALGEBRA_H
#define QVKIT_MATH_MATRIXALGEBRA_H

#include <cstdint>

#include "math/MatrixTypes.h"

// 1 when every element is within single-precision rounding of the identity
// (diagonal exactly 1.0f, others negligible against 1.0f).
int32_t TestIdentityMatrix4(const Matrix4* theMatrix);
int32_t TestIdentityRMatrix4(const RMatrix4* theMatrix);
int32_t TestIdentityMatrix3(const Matrix3* theMatrix);
int32_t TestIdentityRMatrix3(const RMatrix3* theMatrix);

// A cheap zero test: adds the nine elements of the 3x3 (linear) block to a
// bias, with their signs, and checks the bias is unchanged.  Elements that
// cancel pass; row 3 and column 3 of a 4x4 matrix are not looked at.
int32_t TestZeroMatrix4(const Matrix4* theMatrix);
int32_t TestZeroRMatrix4(const RMatrix4* theMatrix);
int32_t TestZeroMatrix3(const Matrix3* theMatrix);
int32_t TestZeroRMatrix3(const RMatrix3* theMatrix);

void IdentityMatrix4(Matrix4Ptr theMatrix);
void IdentityRMatrix4(RMatrix4Ptr theMatrix);
void IdentityMatrix3(Matrix3Ptr theMatrix);
void IdentityRMatrix3(RMatrix3Ptr theMatrix);

// 1 when the linear part has a positive determinant (keeps handedness).
int32_t SenseMatrix4(const Matrix4* theMatrix);
int32_t SenseRMatrix4(const RMatrix4* theMatrix);
int32_t SenseMatrix3(const Matrix3* theMatrix);
int32_t SenseRMatrix3(const RMatrix3* theMatrix);

float DetR(const RMatrix3* a);

// Gaussian elimination with scaled partial pivoting.  No singularity test:
// a singular source gives a meaningless (possibly NaN) result; test with
// Det or DetR first when that can happen.
void InvertMatrix4(Matrix4Ptr theMatrix, Matrix4 srcMatrix);
void InvertRMatrix4(RMatrix4Ptr theMatrix, RMatrix4 srcMatrix);
void InvertMatrix3(Matrix3Ptr theMatrix, Matrix3 srcMatrix);
void InvertRMatrix3(RMatrix3Ptr theMatrix, RMatrix3 srcMatrix);

void TransposeMatrix4(Matrix4Ptr theMatrix, Matrix4 srcMatrix);
void TransposeRMatrix4(RMatrix4Ptr theMatrix, RMatrix4 srcMatrix);
void TransposeMatrix3(Matrix3Ptr theMatrix, Matrix3 srcMatrix);
void TransposeRMatrix3(RMatrix3Ptr theMatrix, RMatrix3 srcMatrix);

// theMatrix := theMatrix * b: b acts after what theMatrix did.
void AppendMatrix4(Matrix4Ptr theMatrix, const Matrix4* b);
void AppendRMatrix4(RMatrix4Ptr theMatrix, const RMatrix4* b);
void AppendMatrix3(Matrix3Ptr theMatrix, const Matrix3* b);
void AppendRMatrix3(RMatrix3Ptr theMatrix, const RMatrix3* b);

// theMatrix := a * theMatrix: a acts before what theMatrix did.
void InsertMatrix4(Matrix4Ptr theMatrix, const Matrix4* a);
void InsertRMatrix4(RMatrix4Ptr theMatrix, const RMatrix4* a);
void InsertMatrix3(Matrix3Ptr theMatrix, const Matrix3* a);
void InsertRMatrix3(RMatrix3Ptr theMatrix, const RMatrix3* a);

// theMatrix := transpose of its inverse (the whole 4x4, translation included).
void NormalMatrix4(Matrix4Ptr theMatrix);
void NormalRMatrix4(RMatrix4Ptr theMatrix);
void NormalMatrix3(Matrix3Ptr theMatrix);
void NormalRMatrix3(RMatrix3Ptr theMatrix);

// Each row to unit length; a negligible row becomes (1, 0, 0).
void NormalizeMatrix3(Matrix3Ptr theMatrix);
void NormalizeRMatrix3(RMatrix3Ptr theMatrix);

#endif
