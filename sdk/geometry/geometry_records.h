// Colours, rectangles and matrix initialisers used by the host's geometry
// records.
#ifndef QVKIT_GEOMETRY_GEOMETRY_RECORDS_H
#define QVKIT_GEOMETRY_GEOMETRY_RECORDS_H

#include <cstddef>
#include <cstdint>

#include "math/MatrixTypes.h"

#pragma pack(push, 2)

// Four colour bytes in the order a, r, g, b; colorValue reads them as one
// word, so its numeric value depends on the processor's byte order.
union ARGB {
  struct {
    uint8_t a, r, g, b;
  };
  uint32_t colorValue;
};
typedef ARGB* ARGBPtr;
static_assert(sizeof(ARGB) == 4, "ARGB is four bytes");

typedef ARGB ParticleColorArray[3];

struct RGB_Color {
  int16_t red, green, blue;
};
static_assert(sizeof(RGB_Color) == 6, "RGB_Color size");

struct SRect {
  int16_t top, left, bottom, right;
};
typedef SRect* SRectPtr;
static_assert(sizeof(SRect) == 8, "SRect size");

// width and height are cached: right - left and bottom - top with 32-bit
// wrap-around.  A rectangle is empty when either stored value is 0.
struct L_Rect {
  int32_t top, left, bottom, right;
  uint32_t width, height;
};
typedef L_Rect* LRectPtr;
static_assert(sizeof(L_Rect) == 24, "L_Rect size");
static_assert(offsetof(L_Rect, width) == 16, "L_Rect width");

#pragma pack(pop)

void SetARGB(ARGBPtr theARGB, uint8_t aVal, uint8_t rVal, uint8_t gVal, uint8_t bVal);
ARGB MakeARGB(uint8_t aVal, uint8_t rVal, uint8_t gVal, uint8_t bVal);
// Shared-exponent packing of three non-negative channels (9-bit mantissas).
void PackRGB(ARGBPtr theARGB, float r, float g, float b);
void UnpackRGB(const ARGB* theARGB, float* r, float* g, float* b);

// Setters take left, top, right, bottom; the records store top, left, bottom, right.
void SetSRect(SRectPtr theSRect, int16_t theLeft, int16_t theTop, int16_t theRight,
              int16_t theBottom);
void OffsetSRect(SRectPtr theSRect, int32_t hOffset, int32_t vOffset);
void SetLRect(LRectPtr theLRect, int32_t theLeft, int32_t theTop, int32_t theRight,
              int32_t theBottom);
void SRectToLRect(const SRect* theRect, LRectPtr theLRect);
void LRectToSRect(const L_Rect* theLRect, SRectPtr theRect);
void OffsetLRect(LRectPtr theLRect, int32_t hOffset, int32_t vOffset);
void InsetLRect(LRectPtr theLRect, int32_t x, int32_t y);
void OutsetLRect(LRectPtr theLRect, int32_t x, int32_t y);
bool EmptyLRect(const L_Rect* theLRect);
void UnionLRect(const L_Rect* srcA, const L_Rect* srcB, LRectPtr dst);
bool SectLRect(const L_Rect* srcA, const L_Rect* srcB, LRectPtr dst);

// Identity matrices and storage-form conversions (source first).
void InitMatrix3(Matrix3Ptr theMatrix);
void InitXMatrix3(XMatrix3Ptr theMatrix);
void InitRMatrix3(RMatrix3Ptr theMatrix);
void InitMatrix4(Matrix4Ptr theMatrix);
void InitXMatrix4(XMatrix4Ptr theMatrix);
void InitRMatrix4(RMatrix4Ptr theMatrix);
void XMatrix3ToMatrix3(const XMatrix3* srcMatrix, Matrix3Ptr dstMatrix);
void Matrix3ToXMatrix3(const Matrix3* srcMatrix, XMatrix3Ptr dstMatrix);
void XMatrix4ToMatrix4(const XMatrix4* srcMatrix, Matrix4Ptr dstMatrix);
void Matrix4ToXMatrix4(const Matrix4* srcMatrix, XMatrix4Ptr dstMatrix);

#endif
