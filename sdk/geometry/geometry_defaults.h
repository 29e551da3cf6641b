// The host's model, group, surface and map records, and the routines that
// fill each with its defaults.  The records are packed on 2-byte boundaries
// and hold no pointers, so their layout is the same on every platform; the
// offsets below are part of the interface with the host and are checked by
// the compiler.
//
// Each record is declared from one table, F(type, field, offset, how, value),
// which also drives its initialiser, field by field in table order:
//   SET   field = value
//   STR   a 32-byte P-string: length byte = value, the other 31 bytes untouched
//   COPY  field = the field named by value (set earlier in the table)
//   KEEP  not written by the table
// The value expressions are evaluated in geometry_defaults.cpp.
#ifndef QVKIT_GEOMETRY_GEOMETRY_DEFAULTS_H
#define QVKIT_GEOMETRY_GEOMETRY_DEFAULTS_H

#include <cstddef>
#include <cstdint>

#include "geometry/geometry_records.h"
#include "math/MatrixTypes.h"

// A P-string field of the host's records: a length byte and 31 characters.
typedef unsigned char PStr31[32];

#pragma pack(push, 2)

struct Extent {
  Coordinate minCoord, maxCoord;
};
static_assert(sizeof(Extent) == 24 && offsetof(Extent, maxCoord) == 12, "Extent layout");
static_assert(sizeof(XCoordinate) == 24, "XCoordinate is three doubles");

// Model information.
#define QV_FINF_FIELDS(F)                                \
  F(uint32_t, totalCoordinates, 0, SET, 0u)              \
  F(uint32_t, totalPolygons, 4, SET, 0u)                 \
  F(uint32_t, totalGroups, 8, SET, 0u)                   \
  F(Extent, extents, 12, SET, Extent{})                  \
  F(uint32_t, flags, 36, SET, 0u)                        \
  F(Coordinate, anchor, 40, SET, Coordinate{})

// Group information.
#define QV_GINF_FIELDS(F)                                \
  F(uint32_t, totalCoordinates, 0, SET, 0u)              \
  F(uint32_t, totalPolygons, 4, SET, 0u)                 \
  F(uint32_t, groupTemp, 8, SET, 0u)                     \
  F(Extent, extents, 12, SET, Extent{})                  \
  F(uint32_t, flags, 36, SET, 0x40000000u)               \
  F(PStr31, name, 40, STR, 0)                            \
  F(uint32_t, groupDate, 72, SET, GetDateTime())         \
  F(uint16_t, groupID, 76, SET, 0)                       \
  F(XMatrix4, coordinateAbsMatrix, 78, SET, Identity())  \
  F(XMatrix4, normalAbsMatrix, 206, SET, Identity())     \
  F(XMatrix4, coordinateRelMatrix, 334, SET, Identity()) \
  F(XMatrix4, normalRelMatrix, 462, SET, Identity())     \
  F(uint32_t, childCount, 590, SET, 0u)                  \
  F(uint32_t, childTotal, 594, SET, 0u)                  \
  F(uint32_t, cycleCount, 598, SET, 0u)

// Group link.
#define QV_GLNK_FIELDS(F)                                         \
  F(uint16_t, lType, 0, SET, 0)                                   \
  F(XCoordinate, positionMinLimit, 2, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, positionMaxLimit, 26, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, rotationMinLimit, 50, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, rotationMaxLimit, 74, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, localOffset, 98, SET, XCoord(0.0, 0.0, 0.0))     \
  F(XCoordinate, parentOffset, 122, SET, XCoord(0.0, 0.0, 0.0))   \
  F(XCoordinate, parentRotation, 146, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, localRotation, 170, SET, XCoord(0.0, 0.0, 0.0))  \
  F(XMatrix4, preRotation, 194, SET, Identity())                  \
  F(uint32_t, lFlag, 322, SET, 0u)                                \
  F(XCoordinate, preScale, 326, SET, XCoord(1.0, 1.0, 1.0))

// Group transform.
#define QV_GSTR_FIELDS(F)                               \
  F(XCoordinate, offset, 0, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, center, 24, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, rotation, 48, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, scale, 72, SET, XCoord(1.0, 1.0, 1.0))

// Group motion blur.
#define QV_GBLR_FIELDS(F)                     \
  F(uint32_t, blurFlags, 0, SET, 0u)          \
  F(float, blurIntensity, 4, SET, 0.0f)       \
  F(uint32_t, blurLayer, 8, SET, 0u)          \
  F(XMatrix4, blurMatrix, 12, SET, Identity())

// Group outline.
#define QV_GOUT_FIELDS(F)                                              \
  F(uint32_t, outlineFlags, 0, SET, 0u)                                \
  F(ARGB, outlinePolygonColor, 4, SET, MakeARGB(255, 0, 0, 0))         \
  F(float, outlinePolygonThickness, 8, SET, 1.0f)                      \
  F(ARGB, outlineEdgeColor, 12, SET, MakeARGB(255, 0, 0, 0))           \
  F(float, outlineEdgeThickness, 16, SET, 1.0f)                        \
  F(ARGB, outlineSilhouetteColor, 20, SET, MakeARGB(255, 0, 0, 0))     \
  F(float, outlineSilhouetteThickness, 24, SET, 1.0f)

// Surface attributes; also the texture and bump attributes.
#define QV_GATR_FIELDS(F)                                          \
  F(uint16_t, shadeFlags, 0, SET, 0x2200)                          \
  F(ARGB, reference, 2, SET, MakeARGB(255, 255, 255, 255))         \
  F(ARGB, ambient, 6, SET, MakeARGB(255, 255, 255, 255))           \
  F(ARGB, specular, 10, SET, MakeARGB(255, 255, 255, 255))         \
  F(float, spread, 14, SET, 200.0f)                                \
  F(ARGB, transparency, 18, SET, MakeARGB(255, 0, 0, 0))           \
  F(float, refraction, 22, SET, 1.0f)                              \
  F(ARGB, reflection, 26, SET, MakeARGB(255, 0, 0, 0))             \
  F(ARGB, luminance, 30, SET, MakeARGB(0, 0, 0, 0))                \
  F(float, lineWeight, 34, SET, 0.0f)                              \
  F(float, edgeTransparencyDropoff, 38, SET, 0.0f)                 \
  F(ARGB, edgeTransparency, 42, COPY, transparency)                \
  F(ARGB, diffuse, 46, SET, MakeARGB(255, 255, 255, 255))          \
  F(float, terminator, 50, SET, 1.0f)                              \
  F(float, highlight, 54, SET, 1.0f)                               \
  F(float, edgeDiffuseValue, 58, SET, 1.0f)                        \
  F(float, edgeSpecularValue, 62, SET, 1.0f)                       \
  F(float, edgeReflectionValue, 66, SET, 1.0f)                     \
  F(float, edgeAmbientValue, 70, SET, 1.0f)                        \
  F(float, edgeLuminanceValue, 74, SET, 1.0f)                      \
  F(uint16_t, shadeFlags2, 78, SET, 0)                             \
  F(ARGB, transmission, 80, SET, MakeARGB(255, 0, 0, 0))           \
  F(float, edgeTransmissionValue, 84, SET, 1.0f)                   \
  F(ARGB, glow, 88, SET, MakeARGB(0, 0, 0, 0))                     \
  F(float, edgeDiffuseDropoff, 92, SET, 0.0f)                      \
  F(float, edgeSpecularDropoff, 96, SET, 0.0f)                     \
  F(float, edgeReflectionDropoff, 100, SET, 0.0f)                  \
  F(float, edgeAmbientDropoff, 104, SET, 0.0f)                     \
  F(float, edgeLuminanceDropoff, 108, SET, 0.0f)                   \
  F(float, edgeTransmissionDropoff, 112, SET, 0.0f)                \
  F(float, edgeTransparencyValue, 116, SET, 1.0f)                  \
  F(float, reflectionBlur, 120, SET, 0.0f)                         \
  F(float, refractionBlur, 124, SET, 0.0f)                         \
  F(int32_t, reflectionBlurType, 128, SET, 0)                      \
  F(int32_t, reflectionBlurSamples, 132, SET, 8)                   \
  F(float, reflectionBlurAngle, 136, SET, 5.0f)                    \
  F(int32_t, refractionBlurType, 140, SET, 0)                      \
  F(int32_t, refractionBlurSamples, 144, SET, 8)                   \
  F(float, refractionBlurAngle, 148, SET, 5.0f)                    \
  F(float, refrCausticsAmount, 152, SET, 0.0f)                     \
  F(float, refrCausticsFactor, 156, SET, 1.0f)                     \
  F(float, refrCausticsDropoff, 160, SET, 1.0f)                    \
  F(float, refrCausticsReceive, 164, SET, 1.0f)                    \
  F(float, reflCausticsAmount, 168, SET, 0.0f)                     \
  F(ARGB, reflCausticsColor, 172, SET, MakeARGB(255, 255, 255, 255)) \
  F(float, reflCausticsFactor, 176, SET, 1.0f)                     \
  F(float, reflCausticsDropoff, 180, SET, 1.0f)                    \
  F(float, reflCausticsReceive, 184, SET, 1.0f)                    \
  F(float, translucentAmount, 188, SET, 0.0f)                      \
  F(float, translucentThickness, 192, SET, 10.0f)                  \
  F(ARGB, translucentColor, 196, SET, MakeARGB(255, 128, 128, 128)) \
  F(float, translucentScatter, 200, SET, 1.0f)                     \
  F(float, translucentFocus, 204, SET, 100.0f)                     \
  F(float, transparentThickness, 208, SET, 10.0f)

// Texture map; also the bump and reflection maps.  The five face pairs copy
// offset and scale once those are set.
#define QV_TMAP_FIELDS(F)                                   \
  F(uint16_t, textureFlags, 0, SET, 0)                      \
  F(uint16_t, textureType, 2, SET, 0)                       \
  F(PStr31, textureTypeName, 4, STR, 0)                     \
  F(uint16_t, mappingType, 36, SET, 0)                      \
  F(PStr31, mappingTypeName, 38, STR, 0)                    \
  F(XMatrix4, tMatrix, 70, SET, Identity())                 \
  F(PStr31, textureName, 198, STR, 0)                       \
  F(SRect, textureRect, 230, SET, SRect{})                  \
  F(XCoordinate, offset, 238, SET, XCoord(0.0, 0.0, 0.0))   \
  F(XCoordinate, scale, 262, SET, XCoord(1.0, 1.0, 1.0))    \
  F(uint32_t, textureReference, 286, SET, 0u)               \
  F(PStr31, textureVolName, 290, STR, 0)                    \
  F(double, bumpScale, 322, SET, 1.0)                       \
  F(XMatrix4, bumpMatrix, 330, SET, Identity())             \
  F(int32_t, textureFrame, 458, SET, 1)                     \
  F(float, textureTime, 462, SET, 0.0f)                     \
  F(float, textureDensity, 466, SET, 1.0f)                  \
  F(uint16_t, textureCutoff, 470, SET, 0)                   \
  F(XCoordinate, backOffset, 472, COPY, offset)             \
  F(XCoordinate, backScale, 496, COPY, scale)               \
  F(XCoordinate, leftOffset, 520, COPY, offset)             \
  F(XCoordinate, leftScale, 544, COPY, scale)               \
  F(XCoordinate, rightOffset, 568, COPY, offset)            \
  F(XCoordinate, rightScale, 592, COPY, scale)              \
  F(XCoordinate, topOffset, 616, COPY, offset)              \
  F(XCoordinate, topScale, 640, COPY, scale)                \
  F(XCoordinate, bottomOffset, 664, COPY, offset)           \
  F(XCoordinate, bottomScale, 688, COPY, scale)

// The map-type dependent part of a placement record; angles in degrees.
union TMQVShape {
  struct {
    double imageScaleX, imageScaleY, imageScaleZ;
  } Flat;
  struct {
    double cylinderRadius, cylinderWrapAngle, cylinderHeightScale, cylinderHeight;
  } Cylindrical;
  struct {
    double sphereRadius, sphereWrapAngle, sphereBandAngle, sphereBandAngleStart;
  } Spherical;
};
static_assert(sizeof(TMQVShape) == 32, "TMQVShape size");
static_assert(offsetof(TMQVShape, Flat.imageScaleZ) == 16, "TMQVShape flat");
static_assert(offsetof(TMQVShape, Cylindrical.cylinderHeightScale) == 16 &&
                  offsetof(TMQVShape, Cylindrical.cylinderHeight) == 24,
              "TMQVShape cylindrical");
static_assert(offsetof(TMQVShape, Spherical.sphereBandAngle) == 16 &&
                  offsetof(TMQVShape, Spherical.sphereBandAngleStart) == 24,
              "TMQVShape spherical");

// Map placement; also the bump and reflection placements.  The union is
// filled by InitTMQV according to the map type.
#define QV_TMQV_FIELDS(F)                                  \
  F(uint32_t, texFlags, 0, SET, 0u)                        \
  F(SRect, fullRect, 4, SET, SRect{})                      \
  F(XCoordinate, position, 12, SET, XCoord(0.0, 0.0, 0.0)) \
  F(XCoordinate, offset, 36, SET, XCoord(0.0, 0.0, 0.0))   \
  F(XCoordinate, rotation, 60, SET, XCoord(0.0, 0.0, 0.0)) \
  F(int16_t, textureVolumeIndex, 84, SET, 0)               \
  F(int32_t, textureDirID, 86, SET, 0)                     \
  F(TMQVShape, u, 90, KEEP, 0)

#define QV_GEOMETRY_DECLARE_FIELD(T, name, offset, how, value) T name;
#define QV_GEOMETRY_CHECK_OFFSET(T, name, offset, how, value) \
  static_assert(offsetof(RecordUnderCheck, name) == (offset), "offset of " #name);
#define QV_GEOMETRY_RECORD(Rec, size)                           \
  struct Rec {                                                  \
    QV_##Rec##_FIELDS(QV_GEOMETRY_DECLARE_FIELD)                \
  };                                                            \
  typedef Rec* Rec##Ptr;                                        \
  static_assert(sizeof(Rec) == (size), "size of " #Rec);        \
  namespace geometry_layout_##Rec {                             \
  typedef Rec RecordUnderCheck;                                 \
  QV_##Rec##_FIELDS(QV_GEOMETRY_CHECK_OFFSET)                   \
  }

QV_GEOMETRY_RECORD(FINF, 52)
QV_GEOMETRY_RECORD(GINF, 602)
QV_GEOMETRY_RECORD(GLNK, 350)
QV_GEOMETRY_RECORD(GSTR, 96)
QV_GEOMETRY_RECORD(GBLR, 140)
QV_GEOMETRY_RECORD(GOUT, 28)
QV_GEOMETRY_RECORD(GATR, 212)
QV_GEOMETRY_RECORD(TMAP, 712)
QV_GEOMETRY_RECORD(TMQV, 122)

#undef QV_GEOMETRY_RECORD
#undef QV_GEOMETRY_CHECK_OFFSET
#undef QV_GEOMETRY_DECLARE_FIELD

#pragma pack(pop)

// Records that share a layout.
typedef GATR TATR, BATR;
typedef TMAP BMAP, RMAP;
typedef TMQV BMQV, RMQV;
typedef TATR* TATRPtr;
typedef BATR* BATRPtr;
typedef BMAP* BMAPPtr;
typedef RMAP* RMAPPtr;
typedef BMQV* BMQVPtr;
typedef RMQV* RMQVPtr;

// Map types known to InitTMQV.
enum {
  kMapTypeFlat = 0,
  kMapTypeCylindrical = 2,
  kMapTypeSpherical = 3
};

void InitFINF(FINFPtr theFINF);
void InitGINF(GINFPtr theGINF);  // groupDate = GetDateTime()
void InitGLNK(GLNKPtr theGLNK);
void InitGSTR(GSTRPtr theGSTR);
void InitGBLR(GBLRPtr theGBLR);
void InitGOUT(GOUTPtr theGOUT);
void InitGATR(GATRPtr theGATR);
// The surface defaults with shadeFlags 0x7FFF.
void InitTATR(TATRPtr theTATR);
void InitBATR(BATRPtr theBATR);
void InitTMAP(TMAPPtr theTMAP);
void InitBMAP(BMAPPtr theBMAP);
void InitRMAP(RMAPPtr theRMAP);
// Map types 0, 1, 4 and 5 are flat (image scales 1), 2 cylindrical (radius 1,
// wrap 360, height 1; the height scale is left as found) and 3 spherical
// (radius 1, wrap 360, band 180 from 0).  Other types leave u as found.
void InitTMQV(TMQVPtr theTMQV, uint32_t theMapType);
void InitBMQV(BMQVPtr theBMQV, uint32_t theMapType);
void InitRMQV(RMQVPtr theRMQV, uint32_t theMapType);

#endif
