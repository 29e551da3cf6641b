#include "geometry/geometry_records.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

struct Bytes {
  int a, r, g, b;
};

Bytes Pack(float r, float g, float b) {
  ARGB c;
  c.colorValue = 0xA5A5A5A5;
  PackRGB(&c, r, g, b);
  return {c.a, c.r, c.g, c.b};
}

void ExpectBytes(const Bytes& got, int a, int r, int g, int b) {
  EXPECT_EQ(got.a, a);
  EXPECT_EQ(got.r, r);
  EXPECT_EQ(got.g, g);
  EXPECT_EQ(got.b, b);
}

TEST(Color, BytesLieInAlphaRedGreenBlueOrder) {
  ARGB c = MakeARGB(1, 2, 3, 4);
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&c);
  EXPECT_EQ(raw[0], 1);
  EXPECT_EQ(raw[3], 4);
  SetARGB(&c, 9, 8, 7, 6);
  uint32_t word;
  std::memcpy(&word, &c, 4);
  EXPECT_EQ(c.colorValue, word);
  EXPECT_EQ(c.a, 9);
  EXPECT_EQ(c.b, 6);
}

TEST(Color, PackedSharedExponent) {
  ExpectBytes(Pack(1.0f, 0.5f, 0.25f), 145, 0, 128, 64);
  ExpectBytes(Pack(0, 0, 0), 0, 0, 0, 0);
  ExpectBytes(Pack(40000.0f, 1.0f, 1.0f), 159, 255, 0, 0);
  ExpectBytes(Pack(1.0f, 0.001f, 0.0f), 145, 0, 0, 0);
  ExpectBytes(Pack(std::ldexp(1.0f, -16), 0, 0), 129, 0, 0, 0);
  ExpectBytes(Pack(std::nextafter(std::ldexp(1.0f, -16), 0.0f), 0, 0), 0, 0, 0, 0);
  // The largest channel picks the exponent whichever slot it is in.
  ExpectBytes(Pack(0.25f, 0.5f, 1.0f), 32 + 17, 64, 128, 0);
  // Outside the format: negative and not-a-number channels count as 0.
  ExpectBytes(Pack(-1.0f, std::nanf(""), 1.0f), 32 + 17, 0, 0, 0);
}

TEST(Color, UnpackGivesMantissaMidpoints) {
  ARGB c;
  float r, g, b;
  PackRGB(&c, 1.0f, 0.5f, 0.25f);
  UnpackRGB(&c, &r, &g, &b);
  EXPECT_EQ(r, 1.001953125f);
  EXPECT_EQ(g, 0.501953125f);
  EXPECT_EQ(b, 0.251953125f);

  PackRGB(&c, 40000.0f, 1.0f, 1.0f);
  UnpackRGB(&c, &r, &g, &b);
  EXPECT_EQ(r, 32736.0f);
  EXPECT_EQ(g, 32.0f);
  EXPECT_EQ(b, 32.0f);

  PackRGB(&c, 1.0f, 0.001f, 0.0f);
  UnpackRGB(&c, &r, &g, &b);
  EXPECT_EQ(g, 0.001953125f);

  c.colorValue = 0;
  UnpackRGB(&c, &r, &g, &b);
  EXPECT_EQ(r + g + b, 0.0f);

  // Packing is within one mantissa step over the whole exponent range.
  for (float v = 1e-4f; v < 30000.0f; v *= 1.37f) {
    PackRGB(&c, v, v / 3, v / 7);
    UnpackRGB(&c, &r, &g, &b);
    EXPECT_NEAR(r, v, v / 256) << v;
    EXPECT_NEAR(g, v / 3, v / 256) << v;
  }
}

L_Rect Rect(int32_t l, int32_t t, int32_t r, int32_t b) {
  L_Rect rect;
  SetLRect(&rect, l, t, r, b);
  return rect;
}

void ExpectZero(const L_Rect& r) {
  EXPECT_EQ(r.left | r.top | r.right | r.bottom, 0);
  EXPECT_EQ(r.width | r.height, 0u);
}

TEST(Rect, SettersComputeExtentWithWrapAround) {
  L_Rect r = Rect(10, 20, 5, 30);
  EXPECT_EQ(r.width, 4294967291u);
  EXPECT_EQ(r.height, 10u);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
  EXPECT_FALSE(EmptyLRect(&r));

  SRect s;
  SetSRect(&s, -1, -2, 300, 400);
  EXPECT_EQ(s.left, -1);
  EXPECT_EQ(s.top, -2);
  SRectToLRect(&s, &r);
  EXPECT_EQ(r.left, -1);
  EXPECT_EQ(r.width, 301u);
  OffsetSRect(&s, 32767, 0);
  EXPECT_EQ(s.right, int16_t(300 + 32767 - 65536));
  r = Rect(70000, 0, 70010, 5);
  LRectToSRect(&r, &s);
  EXPECT_EQ(s.left, int16_t(70000 - 65536));

  r = Rect(0, 0, 10, 10);
  OffsetLRect(&r, 5, -5);
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.bottom, 5);
  EXPECT_EQ(r.width, 10u);
  OffsetLRect(&r, INT32_MAX, 0);  // wraps, no overflow trap
  EXPECT_EQ(r.left, int32_t(5u + uint32_t(INT32_MAX)));
}

TEST(Rect, InsetAndOutset) {
  L_Rect r = Rect(0, 0, 10, 10);
  InsetLRect(&r, 5, 5);
  ExpectZero(r);
  r = Rect(0, 0, 10, 10);
  InsetLRect(&r, 6, 6);
  EXPECT_EQ(r.width, uint32_t(-2));
  EXPECT_EQ(r.height, uint32_t(-2));
  EXPECT_FALSE(EmptyLRect(&r));
  r = Rect(0, 0, 10, 10);
  OutsetLRect(&r, 1, 2);
  EXPECT_EQ(r.left, -1);
  EXPECT_EQ(r.top, -2);
  EXPECT_EQ(r.width, 12u);
  EXPECT_EQ(r.height, 14u);
  OutsetLRect(&r, -6, 0);
  ExpectZero(r);
}

TEST(Rect, UnionTreatsFlatRectanglesAsEmpty) {
  L_Rect a = Rect(0, 0, 10, 10), b = Rect(5, -5, 20, 3), flat = Rect(3, 3, 3, 50), dst;
  UnionLRect(&a, &b, &dst);
  EXPECT_EQ(dst.left, 0);
  EXPECT_EQ(dst.top, -5);
  EXPECT_EQ(dst.right, 20);
  EXPECT_EQ(dst.bottom, 10);
  EXPECT_EQ(dst.width, 20u);
  EXPECT_EQ(dst.height, 15u);

  b.width = 777;  // a copied source keeps its stored extent
  UnionLRect(&flat, &b, &dst);
  EXPECT_EQ(dst.width, 777u);
  EXPECT_EQ(dst.right, 20);
  UnionLRect(&flat, &flat, &dst);
  ExpectZero(dst);
  L_Rect inverted = Rect(10, 10, 0, 0);
  UnionLRect(&a, &inverted, &dst);
  EXPECT_EQ(dst.right, 10);
  EXPECT_EQ(dst.width, 10u);
}

TEST(Rect, IntersectionAndAliasing) {
  L_Rect a = Rect(0, 0, 10, 10), b = Rect(5, 5, 20, 20), dst;
  EXPECT_TRUE(SectLRect(&a, &b, &dst));
  EXPECT_EQ(dst.left, 5);
  EXPECT_EQ(dst.right, 10);
  EXPECT_EQ(dst.width, 5u);
  L_Rect touching = Rect(10, 0, 20, 10);
  dst = a;
  EXPECT_FALSE(SectLRect(&a, &touching, &dst));
  ExpectZero(dst);
  // The destination may be a source.
  EXPECT_TRUE(SectLRect(&a, &b, &a));
  EXPECT_EQ(a.left, 5);
  EXPECT_EQ(a.top, 5);
  EXPECT_EQ(a.bottom, 10);
  EXPECT_EQ(a.height, 5u);
}

TEST(MatrixInit, IdentitiesAndStorageCopies) {
  Matrix4 m4;
  std::memset(&m4, 0x7F, sizeof m4);
  InitMatrix4(&m4);
  RMatrix4 r4;
  InitRMatrix4(&r4);
  XMatrix3 x3;
  InitXMatrix3(&x3);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      EXPECT_EQ(m4.matrix[i][j], i == j ? 1.0 : 0.0);
      EXPECT_EQ(r4.matrix[i][j], i == j ? 1.0f : 0.0f);
    }
  for (int i = 0; i < 9; ++i) EXPECT_EQ(x3.matrixData[i], i % 4 == 0 ? 1.0 : 0.0);
  Matrix3 m3;
  RMatrix3 r3;
  XMatrix4 x4;
  InitMatrix3(&m3);
  InitRMatrix3(&r3);
  InitXMatrix4(&x4);
  EXPECT_EQ(r3.m.m22, 1.0f);
  EXPECT_EQ(x4.m.m33, 1.0);

  for (int i = 0; i < 16; ++i) m4.matrixData[i] = i * 1.5;
  Matrix4ToXMatrix4(&m4, &x4);
  Matrix4 back;
  XMatrix4ToMatrix4(&x4, &back);
  EXPECT_EQ(std::memcmp(&back, &m4, sizeof m4), 0);
  for (int i = 0; i < 9; ++i) m3.matrixData[i] = -i;
  Matrix3ToXMatrix3(&m3, &x3);
  Matrix3 back3;
  XMatrix3ToMatrix3(&x3, &back3);
  EXPECT_EQ(std::memcmp(&back3, &m3, sizeof m3), 0);
}

}  // namespace
