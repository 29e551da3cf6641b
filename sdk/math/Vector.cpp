#include "math/Vector.h"

#include <cmath>

#include "math/MatrixKernels.h"

namespace {

using plm_math::Cross;
using plm_math::Dot;

// Squared lengths at or below this are too short to normalise safely.
constexpr double kMinSquaredLength = 1e-6;
// Relative size of the cross product below which a triangle is degenerate.
constexpr double kDegenerateRatio = 1.6666667e-7;
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kRadToDeg = 57.29577951308232;

template <class T>
int32_t CheckNormalizeT(T* a, T* b, T* c) {
  const T s = (*a * *a + *b * *b) + *c * *c;
  if (!(double(s) > kMinSquaredLength)) return 0;
  const double r = 1.0 / std::sqrt(double(s));
  *a = T(double(*a) * r);
  *b = T(double(*b) * r);
  *c = T(double(*c) * r);
  return 1;
}

template <class T>
void Normalize2DT(T* a, T* b) {
  const T s = *a * *a + *b * *b;
  if (s > 0) {
    const double r = 1.0 / std::sqrt(double(s));
    *a = T(double(*a) * r);
    *b = T(double(*b) * r);
  } else {
    *a = 0;
    *b = 1;
  }
}

template <class T>
void AlignVectorsT(T axisA, T axisB, T axisC, T srcA, T srcB, T srcC, T* dstA, T* dstB,
                   T* dstC) {
  T tA, tB, tC;
  Cross(axisA, axisB, axisC, srcA, srcB, srcC, &tA, &tB, &tC);
  Cross(axisA, axisB, axisC, tA, tB, tC, dstA, dstB, dstC);
}

double Unsigned(double area) { return area < 0 ? -area : area; }

// Sum of the components of (p1 - p3) x (p2 - p3): the kit's 3D area measure
// (doubled).
double CrossSum(double x1, double y1, double z1, double x2, double y2, double z2, double x3,
                double y3, double z3) {
  double a, b, c;
  Cross(x1 - x3, y1 - y3, z1 - z3, x2 - x3, y2 - y3, z2 - z3, &a, &b, &c);
  return (a + b) + c;
}

struct Point3 {
  double x, y, z;
};

// start + dir * t with t clamped to at most length; t <= 0 (or NaN) keeps start.
Point3 PointAlong(const Point3& start, const Point3& dir, double t, double length) {
  if (!(t > 0)) return start;
  if (t > length) t = length;
  return {start.x + dir.x * t, start.y + dir.y * t, start.z + dir.z * t};
}

double DotP(const Point3& p, const Point3& d) { return Dot(p.x, p.y, p.z, d.x, d.y, d.z); }

// Parameter along line 1 of its point closest to line 2, 0 for parallel
// lines.  The determinant of (p2 - p1, d2, d1 x d2) is taken with the three
// vectors as matrix rows or as columns; the two differ only in rounding.
double ClosestParameter(const Point3& p1, const Point3& d1, const Point3& p2,
                        const Point3& d2, bool asColumns) {
  Point3 m;
  Cross(d1.x, d1.y, d1.z, d2.x, d2.y, d2.z, &m.x, &m.y, &m.z);
  const double q = (m.x * m.x + m.y * m.y) + m.z * m.z;
  if (!(q > 0)) return 0;
  const Point3 rows[3] = {{p2.x - p1.x, p2.y - p1.y, p2.z - p1.z}, d2, m};
  Matrix3 a;
  for (int i = 0; i < 3; ++i) {
    const double v[3] = {rows[i].x, rows[i].y, rows[i].z};
    for (int j = 0; j < 3; ++j) {
      if (asColumns)
        a.matrix[j][i] = v[j];
      else
        a.matrix[i][j] = v[j];
    }
  }
  return plm_math::Det(a) / q;
}

struct PointPair {
  Point3 on1, on2;
};

PointPair ClosestPair(const Point3& p1, const Point3& d1, double length1, const Point3& p2,
                      const Point3& d2, double length2, bool asColumns) {
  const Point3 p3 = PointAlong(p1, d1, ClosestParameter(p1, d1, p2, d2, asColumns), length1);
  const double s = DotP(p3, d2) - DotP(p2, d2);
  if (s >= 0 && s <= length2)
    return {p3, {p2.x + d2.x * s, p2.y + d2.y * s, p2.z + d2.z * s}};
  // Past either end of segment 2: take that end and project it back.
  const Point3 end =
      s > length2 ? Point3{p2.x + d2.x * length2, p2.y + d2.y * length2, p2.z + d2.z * length2}
                  : p2;
  const double t = DotP(end, d1) - DotP(p1, d1);
  return {PointAlong(p1, d1, t, length1), end};
}

struct Triangle {
  double e1x, e1y, e1z, e2x, e2y, e2z;  // coord2 - coord1, coord3 - coord2
  double a, b, c;                       // e1 x e2
};

// The edge differences are taken in the coordinates' own precision.
template <class C>
Triangle MakeTriangle(const C* coord1, const C* coord2, const C* coord3) {
  Triangle t;
  t.e1x = double(coord2->x - coord1->x);
  t.e1y = double(coord2->y - coord1->y);
  t.e1z = double(coord2->z - coord1->z);
  t.e2x = double(coord3->x - coord2->x);
  t.e2y = double(coord3->y - coord2->y);
  t.e2z = double(coord3->z - coord2->z);
  Cross(t.e1x, t.e1y, t.e1z, t.e2x, t.e2y, t.e2z, &t.a, &t.b, &t.c);
  return t;
}

double Length(double a, double b, double c) { return std::sqrt((a * a + b * b) + c * c); }

// Degenerate when the cross product is small against both edge measures,
// and also when it is exactly zero (coincident points) or not a number,
// which the relative tests alone would let through to a division by zero.
bool IsDegenerate(const Triangle& t, double* len) {
  *len = Length(t.a, t.b, t.c);
  if (!(*len > 0)) return true;
  const double manhattan = ((((std::fabs(t.e1x) + std::fabs(t.e1y)) + std::fabs(t.e1z)) +
                             std::fabs(t.e2x)) +
                            std::fabs(t.e2y)) +
                           std::fabs(t.e2z);
  if (!(kDegenerateRatio * manhattan > *len)) return false;
  const double edges = Length(t.e1x, t.e1y, t.e1z) + Length(t.e2x, t.e2y, t.e2z);
  return kDegenerateRatio * edges > *len;
}

template <class C>
void CalcVectorT(const C* coord1, const C* coord2, const C* coord3, double* aNum,
                 double* bNum, double* cNum) {
  const Triangle t = MakeTriangle(coord1, coord2, coord3);
  *aNum = t.a;
  *bNum = t.b;
  *cNum = t.c;
}

template <class C>
int32_t CalcVector2T(const C* coord1, const C* coord2, const C* coord3, double* aNum,
                     double* bNum, double* cNum) {
  const Triangle t = MakeTriangle(coord1, coord2, coord3);
  *aNum = t.a;
  *bNum = t.b;
  *cNum = t.c;
  double len;
  return IsDegenerate(t, &len) ? 0 : 1;
}

template <class C>
int32_t CalcNormalT(const C* coord1, const C* coord2, const C* coord3, double* aNum,
                    double* bNum, double* cNum) {
  const Triangle t = MakeTriangle(coord1, coord2, coord3);
  double len;
  if (IsDegenerate(t, &len)) {
    *aNum = t.a;
    *bNum = t.b;
    *cNum = t.c;
    return 0;
  }
  const double r = 1.0 / len;
  *aNum = t.a * r;
  *bNum = t.b * r;
  *cNum = t.c * r;
  return 1;
}

template <class C>
void CalcPlaneFormulaT(const C* coord1, const C* coord2, const C* coord3, double* aNum,
                       double* bNum, double* cNum, double* dNum) {
  double a, b, c;
  if (CalcNormalT(coord1, coord2, coord3, &a, &b, &c) == 0) {
    a = 0;
    b = 0;
    c = 1;
  }
  const double d = -((a * double(coord1->x) + b * double(coord1->y)) + c * double(coord1->z));
  *aNum = a;
  *bNum = b;
  *cNum = c;
  *dNum = d;
}

}  // namespace

void Normalize(double* a, double* b, double* c) { plm_math::Normalize(a, b, c); }
void NormalizeR(float* a, float* b, float* c) { plm_math::Normalize(a, b, c); }
int32_t CheckNormalize(double* a, double* b, double* c) { return CheckNormalizeT(a, b, c); }
int32_t CheckNormalizeR(float* a, float* b, float* c) { return CheckNormalizeT(a, b, c); }
void Normalize2D(double* a, double* b) { Normalize2DT(a, b); }
void Normalize2DR(float* a, float* b) { Normalize2DT(a, b); }

void VectorProduct(double a1, double b1, double c1, double a2, double b2, double c2,
                   double* a3, double* b3, double* c3) {
  Cross(a1, b1, c1, a2, b2, c2, a3, b3, c3);
}

void VectorProductR(float a1, float b1, float c1, float a2, float b2, float c2, float* a3,
                    float* b3, float* c3) {
  Cross(a1, b1, c1, a2, b2, c2, a3, b3, c3);
}

double DotProduct(double a1, double b1, double c1, double a2, double b2, double c2) {
  return Dot(a1, b1, c1, a2, b2, c2);
}

float DotProductR(float a1, float b1, float c1, float a2, float b2, float c2) {
  return Dot(a1, b1, c1, a2, b2, c2);
}

void AlignVectors(double axisA, double axisB, double axisC, double srcA, double srcB,
                  double srcC, double* dstA, double* dstB, double* dstC) {
  AlignVectorsT(axisA, axisB, axisC, srcA, srcB, srcC, dstA, dstB, dstC);
}

void AlignVectorsR(float axisA, float axisB, float axisC, float srcA, float srcB, float srcC,
                   float* dstA, float* dstB, float* dstC) {
  AlignVectorsT(axisA, axisB, axisC, srcA, srcB, srcC, dstA, dstB, dstC);
}

double TriangleArea(double x1, double y1, double x2, double y2, double x3, double y3) {
  return Unsigned(0.5 * ((x1 * y2 - y1 * x2) + (x2 * y3 - y2 * x3) + (x3 * y1 - y3 * x1)));
}

double TriangleArea3(double x1, double y1, double z1, double x2, double y2, double z2,
                     double x3, double y3, double z3) {
  return Unsigned(0.5 * CrossSum(x1, y1, z1, x2, y2, z2, x3, y3, z3));
}

// Split along the diagonal 1-3: triangles 1-2-3 and 1-4-3, each made unsigned.
double QuadrangleArea(double x1, double y1, double x2, double y2, double x3, double y3,
                      double x4, double y4) {
  const double f = x3 * y1 - y3 * x1;
  const double area1 = ((x1 * y2 - y1 * x2) + (x2 * y3 - y2 * x3)) + f;
  const double area2 = ((x1 * y4 - y1 * x4) + (x4 * y3 - y4 * x3)) + f;
  return 0.5 * (Unsigned(area1) + Unsigned(area2));
}

double QuadrangleArea3(double x1, double y1, double z1, double x2, double y2, double z2,
                       double x3, double y3, double z3, double x4, double y4, double z4) {
  const double area1 = CrossSum(x1, y1, z1, x2, y2, z2, x3, y3, z3);
  const double area2 = CrossSum(x1, y1, z1, x4, y4, z4, x3, y3, z3);
  return 0.5 * (Unsigned(area1) + Unsigned(area2));
}

double CalcDotValue(double theAngle) { return std::cos(theAngle * kDegToRad); }
double CalcAngle(double dotValue) { return std::acos(dotValue) * kRadToDeg; }

void Rot(double sinTheta, double cosTheta, double* n1, double* n2) {
  plm_math::Rot(sinTheta, cosTheta, n1, n2);
}

void RotR(float sinTheta, float cosTheta, float* n1, float* n2) {
  plm_math::Rot(sinTheta, cosTheta, n1, n2);
}

int32_t Sgn(double n) { return n >= 0 ? 1 : -1; }
int32_t Equal0(float n) { return float(n + 1.0f) == 1.0f ? 1 : 0; }
int32_t Equal1(float n) { return n == 1.0f ? 1 : 0; }
double Det(const Matrix3* a) { return plm_math::Det(*a); }

double LineDistance(double xp1, double yp1, double zp1, double xn1, double yn1, double zn1,
                    double length1, double xp2, double yp2, double zp2, double xn2,
                    double yn2, double zn2, double length2) {
  const PointPair pair = ClosestPair({xp1, yp1, zp1}, {xn1, yn1, zn1}, length1,
                                     {xp2, yp2, zp2}, {xn2, yn2, zn2}, length2, false);
  const double dx = pair.on1.x - pair.on2.x;
  const double dy = pair.on1.y - pair.on2.y;
  const double dz = pair.on1.z - pair.on2.z;
  return Length(dx, dy, dz);
}

void Line1Closest(double* xp1, double* yp1, double* zp1, double xn1, double yn1, double zn1,
                  double length1, double xp2, double yp2, double zp2, double xn2, double yn2,
                  double zn2) {
  const Point3 p1{*xp1, *yp1, *zp1};
  const Point3 d1{xn1, yn1, zn1};
  const Point3 p = PointAlong(
      p1, d1, ClosestParameter(p1, d1, {xp2, yp2, zp2}, {xn2, yn2, zn2}, true), length1);
  *xp1 = p.x;
  *yp1 = p.y;
  *zp1 = p.z;
}

void Line2Closest(double* xp1, double* yp1, double* zp1, double xn1, double yn1, double zn1,
                  double length1, double* xp2, double* yp2, double* zp2, double xn2,
                  double yn2, double zn2, double length2) {
  const PointPair pair = ClosestPair({*xp1, *yp1, *zp1}, {xn1, yn1, zn1}, length1,
                                     {*xp2, *yp2, *zp2}, {xn2, yn2, zn2}, length2, true);
  *xp1 = pair.on1.x;
  *yp1 = pair.on1.y;
  *zp1 = pair.on1.z;
  *xp2 = pair.on2.x;
  *yp2 = pair.on2.y;
  *zp2 = pair.on2.z;
}

void CalcVector(const Coordinate* coord1, const Coordinate* coord2, const Coordinate* coord3,
                double* aNum, double* bNum, double* cNum) {
  CalcVectorT(coord1, coord2, coord3, aNum, bNum, cNum);
}

int32_t CalcVector2(const Coordinate* coord1, const Coordinate* coord2,
                    const Coordinate* coord3, double* aNum, double* bNum, double* cNum) {
  return CalcVector2T(coord1, coord2, coord3, aNum, bNum, cNum);
}

void CalcDVector(const DCoordinate* coord1, const DCoordinate* coord2,
                 const DCoordinate* coord3, double* aNum, double* bNum, double* cNum) {
  CalcVectorT(coord1, coord2, coord3, aNum, bNum, cNum);
}

int32_t CalcDVector2(const DCoordinate* coord1, const DCoordinate* coord2,
                     const DCoordinate* coord3, double* aNum, double* bNum, double* cNum) {
  return CalcVector2T(coord1, coord2, coord3, aNum, bNum, cNum);
}

int32_t CalcNormal(const Coordinate* coord1, const Coordinate* coord2,
                   const Coordinate* coord3, double* aNum, double* bNum, double* cNum) {
  return CalcNormalT(coord1, coord2, coord3, aNum, bNum, cNum);
}

int32_t CalcDNormal(const DCoordinate* coord1, const DCoordinate* coord2,
                    const DCoordinate* coord3, double* aNum, double* bNum, double* cNum) {
  return CalcNormalT(coord1, coord2, coord3, aNum, bNum, cNum);
}

void CalcPlaneFormula(const Coordinate* coord1, const Coordinate* coord2,
                      const Coordinate* coord3, double* aNum, double* bNum, double* cNum,
                      double* dNum) {
  CalcPlaneFormulaT(coord1, coord2, coord3, aNum, bNum, cNum, dNum);
}

void CalcDPlaneFormula(const DCoordinate* coord1, const DCoordinate* coord2,
                       const DCoordinate* coord3, double* aNum, double* bNum, double* cNum,
                       double* dNum) {
  CalcPlaneFormulaT(coord1, coord2, coord3, aNum, bNum, cNum, dNum);
}
