#include "geometry/geometry_defaults.h"

#include <cstring>

#include "text/System.h"

namespace {

XCoordinate XCoord(EXTENDED x, EXTENDED y, EXTENDED z) {
  XCoordinate c;
  c.x = x;
  c.y = y;
  c.z = z;
  return c;
}

// Built in an aligned local and assigned whole: the matrices inside the
// packed records are not 8-byte aligned, so they are never passed by pointer.
XMatrix4 Identity() {
  XMatrix4 m;
  InitXMatrix4(&m);
  return m;
}

}  // namespace

#define QV_DEFAULT_SET(rec, name, value) rec->name = value;
#define QV_DEFAULT_STR(rec, name, value) rec->name[0] = value;
// Byte copy: a reference to a packed source field would be misaligned.
#define QV_DEFAULT_COPY(rec, name, value) \
  static_assert(sizeof rec->name == sizeof rec->value, #name " copies " #value); \
  memcpy(&rec->name, &rec->value, sizeof rec->name);
#define QV_DEFAULT_KEEP(rec, name, value)
#define QV_APPLY_DEFAULT(T, name, offset, how, value) QV_DEFAULT_##how(theRecord, name, value)
#define QV_DEFINE_INIT(Rec)                           \
  void Init##Rec(Rec##Ptr the##Rec) {                 \
    Rec* const theRecord = the##Rec;                  \
    QV_##Rec##_FIELDS(QV_APPLY_DEFAULT)               \
  }

QV_DEFINE_INIT(FINF)
QV_DEFINE_INIT(GINF)
QV_DEFINE_INIT(GLNK)
QV_DEFINE_INIT(GSTR)
QV_DEFINE_INIT(GBLR)
QV_DEFINE_INIT(GOUT)
QV_DEFINE_INIT(GATR)
QV_DEFINE_INIT(TMAP)

void InitTMQV(TMQVPtr theTMQV, uint32_t theMapType) {
  TMQV* const theRecord = theTMQV;
  QV_TMQV_FIELDS(QV_APPLY_DEFAULT)
  switch (theMapType) {
    case 0:
    case 1:
    case 4:
    case 5:
      theTMQV->u.Flat.imageScaleX = 1.0;
      theTMQV->u.Flat.imageScaleY = 1.0;
      theTMQV->u.Flat.imageScaleZ = 1.0;
      break;
    case kMapTypeCylindrical:
      theTMQV->u.Cylindrical.cylinderRadius = 1.0;
      theTMQV->u.Cylindrical.cylinderWrapAngle = 360.0;
      theTMQV->u.Cylindrical.cylinderHeight = 1.0;
      break;
    case kMapTypeSpherical:
      theTMQV->u.Spherical.sphereRadius = 1.0;
      theTMQV->u.Spherical.sphereWrapAngle = 360.0;
      theTMQV->u.Spherical.sphereBandAngle = 180.0;
      theTMQV->u.Spherical.sphereBandAngleStart = 0.0;
      break;
    default:
      break;
  }
}

#undef QV_DEFINE_INIT
#undef QV_APPLY_DEFAULT
#undef QV_DEFAULT_KEEP
#undef QV_DEFAULT_COPY
#undef QV_DEFAULT_STR
#undef QV_DEFAULT_SET

void InitTATR(TATRPtr theTATR) {
  InitGATR(theTATR);
  theTATR->shadeFlags = 0x7FFF;
}

void InitBATR(BATRPtr theBATR) { InitTATR(theBATR); }
void InitBMAP(BMAPPtr theBMAP) { InitTMAP(theBMAP); }
void InitRMAP(RMAPPtr theRMAP) { InitTMAP(theRMAP); }
void InitBMQV(BMQVPtr theBMQV, uint32_t theMapType) { InitTMQV(theBMQV, theMapType); }
void InitRMQV(RMQVPtr theRMQV, uint32_t theMapType) { InitTMQV(theRMQV, theMapType); }
