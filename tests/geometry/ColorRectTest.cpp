#include "geometry/geometry_records.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

namespace {

using Bytes = std::array<int, 4>;  // a, r, g, b
using RGB = std::array<float, 3>;

ARGB Packed(const RGB& c) {  // over bytes that are all 0xA5
  ARGB p = MakeARGB(0xA5, 0xA5, 0xA5, 0xA5);
  return PackRGB(&p, c[0], c[1], c[2]), p;
}
Bytes B(ARGB p) { return {p.a, p.r, p.g, p.b}; }
RGB Unpack(ARGB p) { RGB c; UnpackRGB(&p, &c[0], &c[1], &c[2]); return c; }

TEST(Color, BytesInAlphaRedGreenBlueOrderAndThePackedSharedExponent) {
  ARGB c = MakeARGB(1, 2, 3, 4);
  const unsigned char* raw = reinterpret_cast<const unsigned char*>(&c);
  EXPECT_TRUE(raw[0] == 1 && raw[1] == 2 && raw[2] == 3 && raw[3] == 4);
  SetARGB(&c, 9, 8, 7, 6);
  EXPECT_TRUE(raw[0] == 9 && raw[1] == 8 && raw[2] == 7 && raw[3] == 6);
  const std::pair<RGB, Bytes> packs[] = {
      {{1.0f, 0.5f, 0.25f}, {145, 0, 128, 64}}, {{0, 0, 0}, {0, 0, 0, 0}},
      {{40000.0f, 1.0f, 1.0f}, {159, 255, 0, 0}},  // clamped to 32767
      {{1.0f, 0.001f, 0.7055f}, {145, 0, 0, 180}},  // truncated: small channels to 0
      {{0x1p-16f, 0, 0}, {129, 0, 0, 0}}, {{std::nextafter(0x1p-16f, 0.0f), 0, 0}, {0, 0, 0, 0}},
      {{0.25f, 0.5f, 1.0f}, {32 + 17, 64, 128, 0}},  // the largest channel picks the exponent
      // Negative and NaN channels count as 0.
      {{-1.0f, NAN, 1.0f}, {32 + 17, 0, 0, 0}}, {{NAN, -1.0f, 1.0f}, {32 + 17, 0, 0, 0}}};
  for (const auto& [rgb, bytes] : packs) EXPECT_EQ(B(Packed(rgb)), bytes) << rgb[0] << rgb[1];
  EXPECT_EQ(Unpack(Packed({1.0f, 0.5f, 0.25f})), (RGB{1.001953125f, 0.501953125f, 0.251953125f}));
  EXPECT_EQ(Unpack(Packed({0.25f, 0.5f, 1.0f})), (RGB{0.251953125f, 0.501953125f, 1.001953125f}));
  EXPECT_EQ(Unpack(Packed({40000.0f, 1.0f, 1.0f})), (RGB{32736.0f, 32.0f, 32.0f}));
  EXPECT_EQ(Unpack(Packed({1.0f, 0.001f, 0.7055f}))[1], 0.001953125f);  // zero: a midpoint
  EXPECT_EQ(Unpack(MakeARGB(0, 7, 7, 7)), (RGB{0, 0, 0}));  // alpha 0: black
  for (float v = 1e-4f; v < 30000.0f; v *= 1.37f) {  // within one step over the exponent range
    const RGB back = Unpack(Packed({v, v / 3, v / 7}));
    EXPECT_TRUE(std::fabs(back[0] - v) <= v / 256 && std::fabs(back[1] - v / 3) <= v / 256) << v;
  }
}

L_Rect Rect(int l, int t, int r, int b) { L_Rect x; SetLRect(&x, l, t, r, b); return x; }
// left, top, right, bottom, width, height
using Fields = std::array<int64_t, 6>;
Fields F(const L_Rect& r) { return {r.left, r.top, r.right, r.bottom, r.width, r.height}; }

TEST(Rect, SettersOffsetsAndConversionsWrapAround) {
  L_Rect r = Rect(10, 20, 5, 30);
  EXPECT_EQ(F(r), (Fields{10, 20, 5, 30, 4294967291, 10}));
  EXPECT_FALSE(EmptyLRect(&r));
  SRect s;
  SetSRect(&s, -1, -2, 300, 400);
  SRectToLRect(&s, &r);
  EXPECT_EQ(F(r), (Fields{-1, -2, 300, 400, 301, 402}));
  OffsetSRect(&s, 32767, 0);
  EXPECT_EQ(s.right, int16_t(300 + 32767 - 65536));
  r = Rect(70000, 0, 70010, 5);
  LRectToSRect(&r, &s);
  EXPECT_EQ(s.left, int16_t(70000 - 65536));
  r = Rect(0, 0, 10, 10);
  OffsetLRect(&r, 5, -5);
  EXPECT_EQ(F(r), (Fields{5, -5, 15, 5, 10, 10}));
  OffsetLRect(&r, INT32_MAX, 0);  // wraps, no overflow trap
  EXPECT_EQ(r.left, int32_t(5u + uint32_t(INT32_MAX)));
}

TEST(Rect, InsetOutsetUnionAndIntersection) {
  L_Rect r = Rect(0, 0, 10, 10), dst;
  InsetLRect(&r, 5, 5);  // to nothing: cleared
  EXPECT_EQ(F(r), Fields{});
  r = Rect(0, 0, 10, 10);
  InsetLRect(&r, 6, 6);  // inside out: kept, with wrapped extents
  EXPECT_EQ(F(r), (Fields{6, 6, 4, 4, 4294967294, 4294967294}));
  r = Rect(0, 0, 10, 10);
  OutsetLRect(&r, 1, 2);
  EXPECT_EQ(F(r), (Fields{-1, -2, 11, 12, 12, 14}));
  OutsetLRect(&r, -6, 0);
  EXPECT_EQ(F(r), Fields{});

  L_Rect a = Rect(0, 0, 10, 10), b = Rect(5, -5, 20, 3), flat = Rect(3, 3, 3, 50);
  UnionLRect(&a, &b, &dst);
  EXPECT_EQ(F(dst), (Fields{0, -5, 20, 10, 20, 15}));
  b.width = 777;  // with an empty rectangle the other is copied, stored extent and all
  UnionLRect(&flat, &b, &dst);
  EXPECT_EQ(F(dst), (Fields{5, -5, 20, 3, 777, 8}));
  UnionLRect(&flat, &flat, &dst);
  EXPECT_EQ(F(dst), Fields{});
  const L_Rect inverted = Rect(10, 10, 0, 0);  // counts as empty
  UnionLRect(&a, &inverted, &dst);
  EXPECT_EQ(F(dst), F(a));

  b = Rect(5, 5, 20, 20);
  const L_Rect touching = Rect(10, 0, 20, 10);
  EXPECT_TRUE(SectLRect(&a, &b, &dst));
  EXPECT_EQ(F(dst), (Fields{5, 5, 10, 10, 5, 5}));
  EXPECT_FALSE(SectLRect(&a, &touching, &dst));
  EXPECT_EQ(F(dst), Fields{});
  EXPECT_TRUE(SectLRect(&a, &b, &a));  // the destination may be a source
  EXPECT_EQ(F(a), (Fields{5, 5, 10, 10, 5, 5}));
}

// Whether an initialiser makes the n x n identity of a matrix full of garbage.
template <class M>
bool MakesIdentity(void (*init)(M*), int n) {
  M m;
  std::memset(&m, 0x7F, sizeof m);
  init(&m);
  for (int i = 0; i < n * n; ++i)
    if (m.matrixData[i] != (i % (n + 1) == 0)) return false;
  return true;
}

TEST(MatrixInit, IdentitiesAndStorageCopies) {
  EXPECT_TRUE(MakesIdentity(InitMatrix4, 4) && MakesIdentity(InitRMatrix4, 4));
  EXPECT_TRUE(MakesIdentity(InitXMatrix4, 4) && MakesIdentity(InitMatrix3, 3));
  EXPECT_TRUE(MakesIdentity(InitRMatrix3, 3) && MakesIdentity(InitXMatrix3, 3));
  Matrix4 m4, back4;
  Matrix3 m3, back3;
  XMatrix4 x4;
  XMatrix3 x3;
  for (int i = 0; i < 16; ++i) m4.matrixData[i] = i * 1.5, m3.matrixData[i % 9] = -i;
  Matrix4ToXMatrix4(&m4, &x4);
  XMatrix4ToMatrix4(&x4, &back4);
  Matrix3ToXMatrix3(&m3, &x3);
  XMatrix3ToMatrix3(&x3, &back3);
  EXPECT_TRUE(std::memcmp(&back4, &m4, sizeof m4) == 0 && std::memcmp(&back3, &m3, sizeof m3) == 0);
}

}  // namespace
