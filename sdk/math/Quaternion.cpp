#include "math/Quaternion.h"

#include <cmath>

#include "math/MatrixAlgebra.h"
#include "math/MatrixKernels.h"

namespace {

// Length (or squared length for the normalising members) at or below which
// a quaternion counts as zero, and near-parallel margin of the slerp.
constexpr double kSmall = 1e-6;
constexpr double kTinySquare = 1e-200;
constexpr double kPi = 3.141592653589793;

void Set(QuaternionPtr r, double x, double y, double z, double w) {
  r->x = x;
  r->y = y;
  r->z = z;
  r->w = w;
}

// (-y, x, -w, z): perpendicular to q, the far turning point of the half
// circle from q to -q.
Quaternion Perpendicular(const Quaternion& q) { return {-q.y, q.x, -q.w, q.z}; }

// Largest component magnitude; NaN in x propagates.
double MaxMagnitude(const Quaternion& q) {
  double s = std::fabs(q.x);
  if (std::fabs(q.y) > s) s = std::fabs(q.y);
  if (std::fabs(q.z) > s) s = std::fabs(q.z);
  if (std::fabs(q.w) > s) s = std::fabs(q.w);
  return s;
}

Quaternion DividedBy(const Quaternion& q, double s) {
  return {q.x / s, q.y / s, q.z / s, q.w / s};
}

// Angles of XRotate, then YRotate, then ZRotate, from either element type.
template <class M>
void MatrixToAnglesT(const M& a, double* x, double* y, double* z) {
  const auto& m = a.matrix;
  const double sinY = -double(m[0][2]);
  // Rounding can push |m02| a hair past 1; that is the pole, not a NaN.
  const double cosSquare = 1 - sinY * sinY;
  const double cosY = cosSquare > 0 ? std::sqrt(cosSquare) : 0.0;
  double ax, az;
  if (cosY > kSmall) {
    const double temp = 1 / cosY;
    ax = std::atan2(double(m[1][2]) * temp, double(m[2][2]) * temp);
    az = std::atan2(double(m[0][1]) * temp, double(m[0][0]) * temp);
  } else {
    ax = std::atan2(-double(m[2][1]), double(m[1][1]));
    az = std::atan2(0.0, 1.0);
  }
  *x = ax;
  *y = std::atan2(sinY, cosY);
  *z = az;
}

}  // namespace

void AddQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r) {
  Set(r, p->x + q->x, p->y + q->y, p->z + q->z, p->w + q->w);
}

void SubtractQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r) {
  Set(r, p->x - q->x, p->y - q->y, p->z - q->z, p->w - q->w);
}

void MultiplyQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r) {
  const double x = ((p->w * q->x + p->x * q->w) + p->y * q->z) - p->z * q->y;
  const double y = ((p->w * q->y + p->y * q->w) + p->z * q->x) - p->x * q->z;
  const double z = ((p->w * q->z + p->z * q->w) + p->x * q->y) - p->y * q->x;
  const double w = ((p->w * q->w - p->x * q->x) - p->y * q->y) - p->z * q->z;
  Set(r, x, y, z, w);
}

// p * (q / s)^-1 / s with s the largest component of q, so that tiny or
// huge divisors do not underflow or overflow the squared norm.
void DivideQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r) {
  const double s = MaxMagnitude(*q);
  if (s == 0) {
    Set(r, 0, 0, 0, 0);
    return;
  }
  const Quaternion scaled = DividedBy(*q, s);
  Quaternion inverse;
  InvertQuaternion(&scaled, &inverse);
  Quaternion product;
  MultiplyQuaternion(p, &inverse, &product);
  *r = DividedBy(product, s);
}

void ConjugateQuaternion(const Quaternion* q, QuaternionPtr r) {
  Set(r, -q->x, -q->y, -q->z, q->w);
}

void InvertQuaternion(const Quaternion* q, QuaternionPtr r) {
  const double normInv = 1 / (((q->x * q->x + q->y * q->y) + q->z * q->z) + q->w * q->w);
  Set(r, -q->x * normInv, -q->y * normInv, -q->z * normInv, q->w * normInv);
}

void ExponentiateQuaternion(const Quaternion* q, QuaternionPtr r) {
  const double theta = std::sqrt((q->x * q->x + q->y * q->y) + q->z * q->z);
  const double scale = theta > kSmall ? std::sin(theta) / theta : 1;
  Set(r, q->x * scale, q->y * scale, q->z * scale, std::cos(theta));
}

void LogarithmQuaternion(const Quaternion* q, QuaternionPtr r) {
  const double len = std::sqrt((q->x * q->x + q->y * q->y) + q->z * q->z);
  const double scale = len > kSmall ? std::atan2(len, q->w) / len : 1;
  Set(r, q->x * scale, q->y * scale, q->z * scale, 0);
}

// Works on q scaled to a largest component of 1, so the norm neither
// overflows nor underflows; the root is scaled back by sqrt(s).  With
// a = sqrt((|q| + |w|) / 2), the root's larger part is a: its w when w >= 0,
// else its vector part, which keeps both branches free of cancellation.
void SquareRouteQuaternion(const Quaternion* q, QuaternionPtr r) {
  const double s = MaxMagnitude(*q);
  if (s == 0) {
    Set(r, 0, 0, 0, 0);
    return;
  }
  const Quaternion u = DividedBy(*q, s);
  const double len = std::sqrt((u.x * u.x + u.y * u.y) + u.z * u.z);
  const double norm = std::sqrt(len * len + u.w * u.w);
  const double a = std::sqrt((norm + std::fabs(u.w)) * 0.5);
  const double back = std::sqrt(s);
  if (u.w >= 0) {
    const double k = back / (2 * a);
    Set(r, u.x * k, u.y * k, u.z * k, a * back);
  } else if (len > 0) {
    const double k = a / len * back;
    Set(r, u.x * k, u.y * k, u.z * k, len / (2 * a) * back);
  } else {
    Set(r, a * back, 0, 0, 0);  // negative real: any pure direction squares to it
  }
}

void SquareQuaternion(const Quaternion* q, QuaternionPtr r) {
  const double a = 2 * q->w;
  const double w = ((q->w * q->w - q->x * q->x) - q->y * q->y) - q->z * q->z;
  Set(r, q->x * a, q->y * a, q->z * a, w);
}

void ScaleQuaternion(double c, const Quaternion* q, QuaternionPtr r) {
  Set(r, c * q->x, c * q->y, c * q->z, c * q->w);
}

double DotQuaternion(const Quaternion* p, const Quaternion* q) {
  return ((p->x * q->x + p->y * q->y) + p->z * q->z) + p->w * q->w;
}

void DoubleQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r) {
  const double d = DotQuaternion(p, q);
  Quaternion s;
  ScaleQuaternion(2 * d, q, &s);
  SubtractQuaternion(&s, p, r);
}

void BisectQuaternion(const Quaternion* p, const Quaternion* q, QuaternionPtr r) {
  Quaternion s;
  AddQuaternion(p, q, &s);
  const double size = DotQuaternion(&s, &s);
  if (size > kSmall)
    ScaleQuaternion(1 / std::sqrt(size), &s, r);
  else
    *r = Perpendicular(*p);
}

void NormalizeQuaternion(const Quaternion* q, QuaternionPtr r) {
  const double size = DotQuaternion(q, q);
  if (size > kSmall)
    ScaleQuaternion(1 / std::sqrt(size), q, r);
  else
    Set(r, 0, 0, 0, 1);
}

void LinearInterpolateQuaternion(double t, const Quaternion* p, const Quaternion* q,
                                 QuaternionPtr r) {
  if (t <= 0) {
    *r = *p;
    return;
  }
  if (t >= 1) {
    *r = *q;
    return;
  }
  const double cosom = DotQuaternion(p, q);
  if (1 + cosom > kSmall) {
    double sclp, sclq;
    if (1 - cosom > kSmall) {
      const double omega = std::acos(cosom);
      const double sinom = std::sin(omega);
      sclp = std::sin((1 - t) * omega) / sinom;
      sclq = std::sin(t * omega) / sinom;
    } else {
      sclp = 1 - t;
      sclq = t;
    }
    Set(r, p->x * sclp + q->x * sclq, p->y * sclp + q->y * sclq, p->z * sclp + q->z * sclq,
        p->w * sclp + q->w * sclq);
    return;
  }
  // Opposite ends: run from p through its perpendicular towards -p.
  const double sclp = std::sin((0.5 - t) * kPi);
  const double sclq = std::sin(t * kPi);
  const Quaternion s = *p;
  Set(r, s.x * sclp - s.y * sclq, s.y * sclp + s.x * sclq, s.z * sclp - s.w * sclq,
      s.w * sclp + s.z * sclq);
}

// The neighbours are brought to the hemisphere of the key they are compared
// with by negation (the same rotation), so a key's sign does not bend the
// curve.
void BezierInteroplateQuaternion(double t, const Quaternion* q0, const Quaternion* q1,
                                 const Quaternion* q2, const Quaternion* q3, QuaternionPtr r) {
  Quaternion m = *q2, n = *q0, o = *q3;
  if (DotQuaternion(q1, q2) < 0) ScaleQuaternion(-1, q2, &m);
  if (DotQuaternion(q1, q0) < 0) ScaleQuaternion(-1, q0, &n);
  if (DotQuaternion(q2, q3) < 0) ScaleQuaternion(-1, q3, &o);
  Quaternion a, b;
  DoubleQuaternion(&n, q1, &a);
  BisectQuaternion(&a, &m, &a);
  DoubleQuaternion(&o, &m, &b);
  BisectQuaternion(&b, q1, &b);
  LinearInterpolateQuaternion(t, q1, &a, &m);
  LinearInterpolateQuaternion(t, &a, &b, &n);
  LinearInterpolateQuaternion(t, &b, q2, &o);
  LinearInterpolateQuaternion(t, &m, &n, &m);
  LinearInterpolateQuaternion(t, &n, &o, &n);
  LinearInterpolateQuaternion(t, &m, &n, r);
}

void Quaternion2Matrix4(const Quaternion* theQuaternion, Matrix4Ptr theMatrix) {
  const Quaternion q = *theQuaternion;
  const double doubleX = q.x + q.x, doubleY = q.y + q.y, doubleZ = q.z + q.z;
  const double angleX = q.w * doubleX, angleY = q.w * doubleY, angleZ = q.w * doubleZ;
  const double xMultX = q.x * doubleX, xMultY = q.y * doubleX, xMultZ = q.z * doubleX;
  const double yMultY = q.y * doubleY, yMultZ = q.z * doubleY, zMultZ = q.z * doubleZ;
  *theMatrix = plm_math::kIdentity<Matrix4>;
  auto& m = theMatrix->matrix;
  m[0][0] = (1 - yMultY) - zMultZ;
  m[0][1] = xMultY + angleZ;
  m[0][2] = xMultZ - angleY;
  m[1][0] = xMultY - angleZ;
  m[1][1] = (1 - xMultX) - zMultZ;
  m[1][2] = yMultZ + angleX;
  m[2][0] = xMultZ + angleY;
  m[2][1] = yMultZ - angleX;
  m[2][2] = (1 - xMultX) - yMultY;
}

void Matrix42Quaternion(const Matrix4* theMatrix, QuaternionPtr theQuaternion) {
  const auto& m = theMatrix->matrix;
  double x = 0, y = 0, z = 0, w = 0;
  const double wSquare = 0.25 * (((m[0][0] + 1) + m[1][1]) + m[2][2]);
  if (wSquare > kTinySquare) {
    w = std::sqrt(wSquare);
    const double w4 = 4 * w;
    x = (m[1][2] - m[2][1]) / w4;
    y = (m[2][0] - m[0][2]) / w4;
    z = (m[0][1] - m[1][0]) / w4;
  } else {
    const double xSquare = -0.5 * (m[1][1] + m[2][2]);
    if (xSquare > kTinySquare) {
      x = std::sqrt(xSquare);
      const double x2 = 2 * x;
      y = m[0][1] / x2;
      z = m[0][2] / x2;
    } else {
      const double ySquare = 0.5 * (1 - m[2][2]);
      if (ySquare > kTinySquare) {
        y = std::sqrt(ySquare);
        z = m[1][2] / (2 * y);
      } else {
        z = 1;
      }
    }
  }
  Set(theQuaternion, x, y, z, w);
}

void QuaternionToMatrix4(const Quaternion* theQuaternion, Matrix4Ptr theMatrix) {
  const Quaternion q = *theQuaternion;
  const double n = ((q.x * q.x + q.y * q.y) + q.z * q.z) + q.w * q.w;
  IdentityMatrix4(theMatrix);
  if (!(n > 0)) return;
  const double s = 2 / n;
  const double xs = q.x * s, ys = q.y * s, zs = q.z * s;
  const double wx = q.w * xs, wy = q.w * ys, wz = q.w * zs;
  const double xx = q.x * xs, xy = q.x * ys, xz = q.x * zs;
  const double yy = q.y * ys, yz = q.y * zs, zz = q.z * zs;
  auto& m = theMatrix->matrix;
  m[0][0] = 1 - (yy + zz);
  m[0][1] = xy - wz;
  m[0][2] = xz + wy;
  m[1][0] = xy + wz;
  m[1][1] = 1 - (xx + zz);
  m[1][2] = yz - wx;
  m[2][0] = xz - wy;
  m[2][1] = yz + wx;
  m[2][2] = 1 - (xx + yy);
}

// For a trace that is not positive the largest diagonal element leads: with
// it as d_i, 4 q_i^2 = (d_i - (d_j + d_k)) + 1 >= 1 for a rotation, so the
// division is safe; the other components come from the sums and differences
// of the mirrored off-diagonal pairs.
void Matrix4ToQuaternion(const Matrix4* theMatrix, QuaternionPtr theQuaternion) {
  const auto& m = theMatrix->matrix;
  const double tr = (m[0][0] + m[1][1]) + m[2][2];
  if (tr > 0) {
    double s = std::sqrt(tr + 1);
    const double w = 0.5 * s;
    s = 0.5 / s;
    Set(theQuaternion, (m[2][1] - m[1][2]) * s, (m[0][2] - m[2][0]) * s,
        (m[1][0] - m[0][1]) * s, w);
    return;
  }
  int i = 0;
  if (m[1][1] > m[0][0]) i = 1;
  if (m[2][2] > m[i][i]) i = 2;
  const int j = (i + 1) % 3, k = (i + 2) % 3;
  double s = std::sqrt((m[i][i] - (m[j][j] + m[k][k])) + 1);
  double v[3];
  v[i] = 0.5 * s;
  s = 0.5 / s;
  v[j] = (m[i][j] + m[j][i]) * s;
  v[k] = (m[i][k] + m[k][i]) * s;
  Set(theQuaternion, v[0], v[1], v[2], (m[k][j] - m[j][k]) * s);
}

void Matrix4ToAngles(const Matrix4* theMatrix, double* x, double* y, double* z) {
  MatrixToAnglesT(*theMatrix, x, y, z);
}

void RMatrix4ToAngles(const RMatrix4* theMatrix, double* x, double* y, double* z) {
  MatrixToAnglesT(*theMatrix, x, y, z);
}
