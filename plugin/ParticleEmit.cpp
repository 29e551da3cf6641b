// Emission: the emitter's direction frame, and the particles born in one
// frame interval, each run straight to the frame being generated.
//
// The arithmetic is exact by contract: each narrowing to float and each
// product formed in single precision is spelled out statement by statement.
#include <cmath>

#include "Particle.h"
#include "ParticleEngine.h"
#include "geometry/geometry_records.h"
#include "host/PluginClient.h"
#include "text/RoundUtils.h"

void InitParticles() {
  Matrix3& m = theData->directionMatrix;
  double x = theControl->initXDir;
  double y = theControl->initYDir;
  double z = theControl->initZDir;
  double q = (x * x + y * y) + z * z;
  if (!(q > 0)) {
    InitMatrix3(&m);
    return;
  }
  double f = 1 / std::sqrt(q);
  x *= f;
  y *= f;
  z *= f;
  double w = 1 - z * z;
  if (!(w > 0)) {  // the axis is +z or -z
    InitMatrix3(&m);
    m.m.m22 = z;
    return;
  }
  double s = std::sqrt(w);
  m.m.m12 = -s;
  double k = 1 / s;
  m.m.m00 = y * k;
  m.m.m01 = -x * k;
  m.m.m02 = 0.0;
  double k2 = k * z;
  m.m.m10 = x * k2;
  m.m.m11 = y * k2;
  m.m.m20 = x;
  m.m.m21 = y;
  m.m.m22 = z;
}

// Repeatedly replacing a by |a - 360| while a > 180 subtracts exactly (every
// step is exact below 2^56), so it ends at the remainder modulo 360 mirrored
// into 0..180.  fmod gives that remainder exactly, and stops where the loop
// would never end (infinite or huge angles).
double FoldAngle(double a) {
  if (!(a > 180)) return a;
  double r = std::fmod(a, 360.0);
  return r > 180 ? std::fabs(r - 360) : r;
}

namespace {

// The emission count of an interval; draws the two count variates only when
// the interval lies in the emission window.  e receives the emission length.
int32_t EmissionCount(double time, double dt, double* e) {
  const ControlDataRec& c = *theControl;
  if (c.emitStart == c.emitEnd) {
    *e = dt;
  } else if (time + dt > c.emitStart && c.emitEnd >= time) {
    *e = dt;
    if (c.emitStart > time) *e = *e - (c.emitStart - time);
    if (*e > c.emitEnd - c.emitStart) *e = c.emitEnd - c.emitStart;
  } else {
    return 0;
  }
  double rate = c.emitFrequency + c.emitErr * SignedVariate();
  double n = rate * *e;
  return DoubleToInt32(n + UnsignedVariate());
}

}  // namespace

bool CreateParticles(int32_t frame, int32_t numFrames, double time, double dt) {
  if (PoolFull(theControl)) return false;
  const ControlDataRec& c = *theControl;
  const Matrix3& m = theData->directionMatrix;
  SeedRandomCache(uint32_t(c.particleSeed) + uint32_t(frame));

  double e = 0.0;
  int32_t count = EmissionCount(time, dt, &e);
  ParticleRec p;
  bool ran = false;
  for (; count > 0 && !PoolFull(theControl) && result == 0; count--) {
    double a = FoldAngle(std::fabs(c.initAngle + c.initAngleErr * SignedVariate()));

    // Local direction: z linear in the angle, around it a random azimuth.
    float z = float(1 + a * -0.01111111111);
    float zz = z * z;
    double rho = std::sqrt(1.0 - zz);
    double theta = 3.141592653589793 * SignedVariate();
    float x = float(std::sin(theta) * rho);
    float y = float(std::cos(theta) * rho);

    p.xDir = float(x * m.m.m00 + y * m.m.m10 + z * m.m.m20);
    p.yDir = float(x * m.m.m01 + y * m.m.m11 + z * m.m.m21);
    p.zDir = float(x * m.m.m02 + y * m.m.m12 + z * m.m.m22);

    double v = c.initVelocity + c.initVelocityErr * SignedVariate();
    p.xDir = float(p.xDir * v);
    p.yDir = float(p.yDir * v);
    p.zDir = float(p.zDir * v);

    p.xPos = float(c.initXPos + c.initXPosErr * SignedVariate());
    p.yPos = float(c.initYPos + c.initYPosErr * SignedVariate());
    p.zPos = float(c.initZPos + c.initZPosErr * SignedVariate());
    p.xOld = p.xPos;
    p.yOld = p.yPos;
    p.zOld = p.zPos;

    p.energy = 1.0f;
    p.decay = float(1 / (c.lifeTime + c.lifeTimeErr * SignedVariate()));

    if (p.yPos >= c.groundLevel) {
      // Born at a random moment within the last e of the interval.
      double u = UnsignedVariate();
      if (CalcParticle(&p, numFrames, e, u * e)) AddParticle(&p);
      ran = true;
    } else {
      CountQuietWork();
    }
  }
  return ran;
}
