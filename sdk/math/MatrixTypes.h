// Matrix, row-vector and coordinate types shared by the whole kit and by the
// host records.  Matrices are stored row by row; points are row vectors
// multiplied on the left (p' = p * M) and row 3 of a 4x4 matrix holds the
// translation.
#ifndef QVKIT_MATH_MATRIXTYPES_H
#define QVKIT_MATH_MATRIXTYPES_H

#include <cstddef>

// The host's storage element type; a plain IEEE double on this platform.
typedef double EXTENDED;

typedef double Vector4[4];
typedef float RVector4[4];
typedef double Vector3[3];
typedef float RVector3[3];
typedef EXTENDED XVector4[4];
typedef EXTENDED XVector3[3];

// Five views of the same storage, as the host's own headers declare them.
#define QV_MATRIX4_UNION(Name, T, Row)                                        \
  union Name {                                                                \
    T matrixData[16];                                                         \
    T matrix[4][4];                                                           \
    Row mv[4];                                                                \
    struct {                                                                  \
      T m00, m01, m02, m03, m10, m11, m12, m13, m20, m21, m22, m23, m30, m31, \
          m32, m33;                                                           \
    } m;                                                                      \
    struct {                                                                  \
      Row mv0, mv1, mv2, mv3;                                                 \
    } v;                                                                      \
  }

#define QV_MATRIX3_UNION(Name, T, Row)                    \
  union Name {                                            \
    T matrixData[9];                                      \
    T matrix[3][3];                                       \
    Row mv[3];                                            \
    struct {                                              \
      T m00, m01, m02, m10, m11, m12, m20, m21, m22;      \
    } m;                                                  \
    struct {                                              \
      Row mv0, mv1, mv2;                                  \
    } v;                                                  \
  }

typedef QV_MATRIX4_UNION(Matrix4, double, Vector4) Matrix4;
typedef QV_MATRIX4_UNION(RMatrix4, float, RVector4) RMatrix4;
typedef QV_MATRIX4_UNION(XMatrix4, EXTENDED, XVector4) XMatrix4;
typedef QV_MATRIX3_UNION(Matrix3, double, Vector3) Matrix3;
typedef QV_MATRIX3_UNION(RMatrix3, float, RVector3) RMatrix3;
typedef QV_MATRIX3_UNION(XMatrix3, EXTENDED, XVector3) XMatrix3;

#undef QV_MATRIX4_UNION
#undef QV_MATRIX3_UNION

typedef Matrix4* Matrix4Ptr;
typedef RMatrix4* RMatrix4Ptr;
typedef XMatrix4* XMatrix4Ptr;
typedef Matrix3* Matrix3Ptr;
typedef RMatrix3* RMatrix3Ptr;
typedef XMatrix3* XMatrix3Ptr;

struct Coordinate {
  float x, y, z;
};
struct DCoordinate {
  double x, y, z;
};
struct XCoordinate {
  EXTENDED x, y, z;
};
typedef Coordinate* CoordPtr;
typedef DCoordinate* DCoordPtr;
typedef XCoordinate* XCoordPtr;

static_assert(sizeof(Matrix4) == 128 && sizeof(XMatrix4) == 128, "Matrix4 is 16 doubles");
static_assert(sizeof(RMatrix4) == 64, "RMatrix4 is 16 floats");
static_assert(sizeof(Matrix3) == 72 && sizeof(XMatrix3) == 72, "Matrix3 is 9 doubles");
static_assert(sizeof(RMatrix3) == 36, "RMatrix3 is 9 floats");
static_assert(offsetof(Matrix4, m.m12) == 6 * sizeof(double), "m12 is row 1, column 2");
static_assert(offsetof(Matrix3, m.m21) == 7 * sizeof(double), "m21 is row 2, column 1");
static_assert(sizeof(Coordinate) == 12 && sizeof(DCoordinate) == 24, "coordinate sizes");

#endif
