#include "geometry/geometry_records.h"

#include <cmath>
#include <cstring>

// ------------------------------------------------------------------ colours

void SetARGB(ARGBPtr theARGB, uint8_t aVal, uint8_t rVal, uint8_t gVal, uint8_t bVal) {
  theARGB->a = aVal;
  theARGB->r = rVal;
  theARGB->g = gVal;
  theARGB->b = bVal;
}

ARGB MakeARGB(uint8_t aVal, uint8_t rVal, uint8_t gVal, uint8_t bVal) {
  ARGB theARGB;
  SetARGB(&theARGB, aVal, rVal, gVal, bVal);
  return theARGB;
}

void PackRGB(ARGBPtr theARGB, float r, float g, float b) {
  // The format holds non-negative channels only: negative and not-a-number
  // values pack as 0.
  if (!(r > 0.0f)) r = 0.0f;
  if (!(g > 0.0f)) g = 0.0f;
  if (!(b > 0.0f)) b = 0.0f;

  float v;
  if (r >= g)
    v = r >= b ? r : b;
  else
    v = g >= b ? g : b;

  if (v > 32767.0f) {
    v = 32767.0f;
    if (r > 32767.0f) r = 32767.0f;
    if (g > 32767.0f) g = 32767.0f;
    if (b > 32767.0f) b = 32767.0f;
  }
  if (v == 0.0f) {
    theARGB->colorValue = 0;
    return;
  }

  int e;
  const double m = std::frexp(double(v), &e);
  if (e <= -16) {
    theARGB->colorValue = 0;
    return;
  }
  const float s = float(m * 512.0 / double(v));
  const int32_t ri = int32_t(r * s);
  const int32_t gi = int32_t(g * s);
  const int32_t bi = int32_t(b * s);

  theARGB->a = uint8_t((ri >> 8) * 128 + (gi >> 8) * 64 + (bi >> 8) * 32 + e + 16);
  theARGB->r = uint8_t(ri);
  theARGB->g = uint8_t(gi);
  theARGB->b = uint8_t(bi);
}

void UnpackRGB(const ARGB* theARGB, float* r, float* g, float* b) {
  if (theARGB->a == 0) {
    *r = *g = *b = 0.0f;
    return;
  }
  static const float kScale[32] = {
      0x1p-25f, 0x1p-24f, 0x1p-23f, 0x1p-22f, 0x1p-21f, 0x1p-20f, 0x1p-19f, 0x1p-18f,
      0x1p-17f, 0x1p-16f, 0x1p-15f, 0x1p-14f, 0x1p-13f, 0x1p-12f, 0x1p-11f, 0x1p-10f,
      0x1p-9f,  0x1p-8f,  0x1p-7f,  0x1p-6f,  0x1p-5f,  0x1p-4f,  0x1p-3f,  0x1p-2f,
      0x1p-1f,  0x1p0f,   0x1p1f,   0x1p2f,   0x1p3f,   0x1p4f,   0x1p5f,   0x1p6f};
  const float scale = kScale[theARGB->a & 0x1F];
  *r = (0.5f + float(theARGB->r + ((theARGB->a & 0x80) ? 256 : 0))) * scale;
  *g = (0.5f + float(theARGB->g + ((theARGB->a & 0x40) ? 256 : 0))) * scale;
  *b = (0.5f + float(theARGB->b + ((theARGB->a & 0x20) ? 256 : 0))) * scale;
}

// --------------------------------------------------------------- rectangles

namespace {

// 32-bit arithmetic that wraps around instead of overflowing.
int32_t WrapAdd(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
int32_t WrapSub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }

void ComputeExtent(LRectPtr theLRect) {
  theLRect->width = uint32_t(theLRect->right) - uint32_t(theLRect->left);
  theLRect->height = uint32_t(theLRect->bottom) - uint32_t(theLRect->top);
}

void ClearLRect(LRectPtr theLRect) { std::memset(theLRect, 0, sizeof *theLRect); }

bool HasArea(const L_Rect* theLRect) {
  return WrapSub(theLRect->right, theLRect->left) > 0 &&
         WrapSub(theLRect->bottom, theLRect->top) > 0;
}

}  // namespace

void SetSRect(SRectPtr theSRect, int16_t theLeft, int16_t theTop, int16_t theRight,
              int16_t theBottom) {
  theSRect->top = theTop;
  theSRect->left = theLeft;
  theSRect->bottom = theBottom;
  theSRect->right = theRight;
}

void OffsetSRect(SRectPtr theSRect, int32_t hOffset, int32_t vOffset) {
  theSRect->left = int16_t(uint16_t(theSRect->left) + uint16_t(hOffset));
  theSRect->right = int16_t(uint16_t(theSRect->right) + uint16_t(hOffset));
  theSRect->top = int16_t(uint16_t(theSRect->top) + uint16_t(vOffset));
  theSRect->bottom = int16_t(uint16_t(theSRect->bottom) + uint16_t(vOffset));
}

void SetLRect(LRectPtr theLRect, int32_t theLeft, int32_t theTop, int32_t theRight,
              int32_t theBottom) {
  theLRect->top = theTop;
  theLRect->left = theLeft;
  theLRect->bottom = theBottom;
  theLRect->right = theRight;
  ComputeExtent(theLRect);
}

void SRectToLRect(const SRect* theRect, LRectPtr theLRect) {
  SetLRect(theLRect, theRect->left, theRect->top, theRect->right, theRect->bottom);
}

void LRectToSRect(const L_Rect* theLRect, SRectPtr theRect) {
  SetSRect(theRect, int16_t(theLRect->left), int16_t(theLRect->top), int16_t(theLRect->right),
           int16_t(theLRect->bottom));
}

void OffsetLRect(LRectPtr theLRect, int32_t hOffset, int32_t vOffset) {
  theLRect->left = WrapAdd(theLRect->left, hOffset);
  theLRect->right = WrapAdd(theLRect->right, hOffset);
  theLRect->top = WrapAdd(theLRect->top, vOffset);
  theLRect->bottom = WrapAdd(theLRect->bottom, vOffset);
}

namespace {

// Moves the left and top edges in by dx and dy and the right and bottom ones
// back by the same amounts (modulo 2^32); a rectangle left without width or
// height is cleared.
void MoveEdgesIn(LRectPtr theLRect, uint32_t dx, uint32_t dy) {
  theLRect->left = int32_t(uint32_t(theLRect->left) + dx);
  theLRect->top = int32_t(uint32_t(theLRect->top) + dy);
  theLRect->right = int32_t(uint32_t(theLRect->right) - dx);
  theLRect->bottom = int32_t(uint32_t(theLRect->bottom) - dy);
  ComputeExtent(theLRect);
  if (theLRect->width == 0 || theLRect->height == 0) ClearLRect(theLRect);
}

}  // namespace

void InsetLRect(LRectPtr theLRect, int32_t x, int32_t y) {
  MoveEdgesIn(theLRect, uint32_t(x), uint32_t(y));
}

void OutsetLRect(LRectPtr theLRect, int32_t x, int32_t y) {
  MoveEdgesIn(theLRect, 0u - uint32_t(x), 0u - uint32_t(y));
}

bool EmptyLRect(const L_Rect* theLRect) {
  return theLRect->width == 0 || theLRect->height == 0;
}

void UnionLRect(const L_Rect* srcA, const L_Rect* srcB, LRectPtr dst) {
  const L_Rect a = *srcA;
  const L_Rect b = *srcB;
  const bool aHasArea = HasArea(&a);
  const bool bHasArea = HasArea(&b);
  if (!aHasArea && !bHasArea) {
    ClearLRect(dst);
  } else if (!aHasArea) {
    *dst = b;
  } else if (!bHasArea) {
    *dst = a;
  } else {
    SetLRect(dst, a.left < b.left ? a.left : b.left, a.top < b.top ? a.top : b.top,
             a.right > b.right ? a.right : b.right, a.bottom > b.bottom ? a.bottom : b.bottom);
  }
}

bool SectLRect(const L_Rect* srcA, const L_Rect* srcB, LRectPtr dst) {
  const L_Rect a = *srcA;
  const L_Rect b = *srcB;
  if (a.left < b.right && a.top < b.bottom && a.right > b.left && a.bottom > b.top) {
    SetLRect(dst, a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
             a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom);
    if (dst->width != 0 && dst->height != 0) return true;
  }
  ClearLRect(dst);
  return false;
}

// ----------------------------------------------------------------- matrices

namespace {

template <typename M, int N>
void SetIdentity(M* theMatrix) {
  static const M kIdentity = [] {
    M identity;
    std::memset(&identity, 0, sizeof identity);
    for (int i = 0; i < N; ++i) identity.matrix[i][i] = 1;
    return identity;
  }();
  *theMatrix = kIdentity;
}

template <typename Src, typename Dst, int Count>
void CopyElements(const Src* srcMatrix, Dst* dstMatrix) {
  for (int i = 0; i < Count; ++i) dstMatrix->matrixData[i] = srcMatrix->matrixData[i];
}

}  // namespace

void InitMatrix3(Matrix3Ptr theMatrix) { SetIdentity<Matrix3, 3>(theMatrix); }
void InitXMatrix3(XMatrix3Ptr theMatrix) { SetIdentity<XMatrix3, 3>(theMatrix); }
void InitRMatrix3(RMatrix3Ptr theMatrix) { SetIdentity<RMatrix3, 3>(theMatrix); }
void InitMatrix4(Matrix4Ptr theMatrix) { SetIdentity<Matrix4, 4>(theMatrix); }
void InitXMatrix4(XMatrix4Ptr theMatrix) { SetIdentity<XMatrix4, 4>(theMatrix); }
void InitRMatrix4(RMatrix4Ptr theMatrix) { SetIdentity<RMatrix4, 4>(theMatrix); }

void XMatrix3ToMatrix3(const XMatrix3* src, Matrix3Ptr dst) { CopyElements<XMatrix3, Matrix3, 9>(src, dst); }
void Matrix3ToXMatrix3(const Matrix3* src, XMatrix3Ptr dst) { CopyElements<Matrix3, XMatrix3, 9>(src, dst); }
void XMatrix4ToMatrix4(const XMatrix4* src, Matrix4Ptr dst) { CopyElements<XMatrix4, Matrix4, 16>(src, dst); }
void Matrix4ToXMatrix4(const Matrix4* src, XMatrix4Ptr dst) { CopyElements<Matrix4, XMatrix4, 16>(src, dst); }
