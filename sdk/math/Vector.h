// Vector geometry: normalisation, cross and dot products, areas, angles,
// pair rotation, sign and single-precision comparisons, closest points of two
// segments, triangle normals and plane equations.
//
// Vectors travel as separate components, inputs by value and outputs by
// pointer.  Members ending in R work in floats.  Flags are 1 or 0.
// A segment is start + direction * t for t in [0, length], the direction of
// unit length; a plane is a*x + b*y + c*z + d = 0 with (a, b, c) of unit
// length.
#ifndef QVKIT_MATH_VECTOR_H
#define QVKIT_MATH_VECTOR_H

#include <cstdint>

#include "math/MatrixTypes.h"

// In place; a zero (or not-a-number) vector becomes (0, 0, 1).
void Normalize(double* a, double* b, double* c);
void NormalizeR(float* a, float* b, float* c);
// Normalises only when the squared length exceeds 1e-6 and returns 1;
// otherwise leaves the vector alone and returns 0.
int32_t CheckNormalize(double* a, double* b, double* c);
int32_t CheckNormalizeR(float* a, float* b, float* c);
// A zero pair becomes (0, 1).
void Normalize2D(double* a, double* b);
void Normalize2DR(float* a, float* b);

// (a3, b3, c3) = (a1, b1, c1) x (a2, b2, c2); the result may overwrite an input.
void VectorProduct(double a1, double b1, double c1, double a2, double b2, double c2,
                   double* a3, double* b3, double* c3);
void VectorProductR(float a1, float b1, float c1, float a2, float b2, float c2, float* a3,
                    float* b3, float* c3);
double DotProduct(double a1, double b1, double c1, double a2, double b2, double c2);
float DotProductR(float a1, float b1, float c1, float a2, float b2, float c2);
// dst = axis x (axis x src): for a unit axis, the part of src perpendicular
// to it, negated.
void AlignVectors(double axisA, double axisB, double axisC, double srcA, double srcB,
                  double srcC, double* dstA, double* dstB, double* dstC);
void AlignVectorsR(float axisA, float axisB, float axisC, float srcA, float srcB, float srcC,
                   float* dstA, float* dstB, float* dstC);

// Unsigned areas.  The 3D members measure half the sum of the cross
// product's components, not half its length.
double TriangleArea(double x1, double y1, double x2, double y2, double x3, double y3);
double TriangleArea3(double x1, double y1, double z1, double x2, double y2, double z2,
                     double x3, double y3, double z3);
double QuadrangleArea(double x1, double y1, double x2, double y2, double x3, double y3,
                      double x4, double y4);
double QuadrangleArea3(double x1, double y1, double z1, double x2, double y2, double z2,
                       double x3, double y3, double z3, double x4, double y4, double z4);

// Degrees in and out; CalcAngle does not clamp, so |dotValue| > 1 gives NaN.
double CalcDotValue(double theAngle);
double CalcAngle(double dotValue);
// Rotates the pair (n1, n2) by the angle of the given sine and cosine.
void Rot(double sinTheta, double cosTheta, double* n1, double* n2);
void RotR(float sinTheta, float cosTheta, float* n1, float* n2);
// 1 for n >= 0 (either zero), -1 otherwise, NaN included.
int32_t Sgn(double n);
// True when n is negligible against 1.0f (n + 1.0f == 1.0f in floats).
int32_t Equal0(float n);
int32_t Equal1(float n);
double Det(const Matrix3* a);

// Distance between two segments.
double LineDistance(double xp1, double yp1, double zp1, double xn1, double yn1, double zn1,
                    double length1, double xp2, double yp2, double zp2, double xn2,
                    double yn2, double zn2, double length2);
// Moves the start of segment 1 to its point closest to the infinite line 2;
// parallel lines, or a closest point before the start, leave it unchanged.
void Line1Closest(double* xp1, double* yp1, double* zp1, double xn1, double yn1, double zn1,
                  double length1, double xp2, double yp2, double zp2, double xn2, double yn2,
                  double zn2);
// Replaces both start points by the pair of points LineDistance measures.
void Line2Closest(double* xp1, double* yp1, double* zp1, double xn1, double yn1, double zn1,
                  double length1, double* xp2, double* yp2, double* zp2, double xn2,
                  double yn2, double zn2, double length2);

// Triangle (coord1, coord2, coord3): the cross product of its edges
// coord2 - coord1 and coord3 - coord2, pointing to the side from which the
// points run counter-clockwise.  The Coordinate members form the edges in
// floats; all results are doubles.  The flagged members return 0 for a
// degenerate triangle (coincident or collinear points, within a relative
// tolerance).
void CalcVector(const Coordinate* coord1, const Coordinate* coord2, const Coordinate* coord3,
                double* aNum, double* bNum, double* cNum);
int32_t CalcVector2(const Coordinate* coord1, const Coordinate* coord2,
                    const Coordinate* coord3, double* aNum, double* bNum, double* cNum);
void CalcDVector(const DCoordinate* coord1, const DCoordinate* coord2,
                 const DCoordinate* coord3, double* aNum, double* bNum, double* cNum);
int32_t CalcDVector2(const DCoordinate* coord1, const DCoordinate* coord2,
                     const DCoordinate* coord3, double* aNum, double* bNum, double* cNum);
// Unit normal; a degenerate triangle returns 0 and leaves the raw cross product.
int32_t CalcNormal(const Coordinate* coord1, const Coordinate* coord2,
                   const Coordinate* coord3, double* aNum, double* bNum, double* cNum);
int32_t CalcDNormal(const DCoordinate* coord1, const DCoordinate* coord2,
                    const DCoordinate* coord3, double* aNum, double* bNum, double* cNum);
// Plane through coord1; a degenerate triangle gets the normal (0, 0, 1).
void CalcPlaneFormula(const Coordinate* coord1, const Coordinate* coord2,
                      const Coordinate* coord3, double* aNum, double* bNum, double* cNum,
                      double* dNum);
void CalcDPlaneFormula(const DCoordinate* coord1, const DCoordinate* coord2,
                       const DCoordinate* coord3, double* aNum, double* bNum, double* cNum,
                       double* dNum);

#endif
