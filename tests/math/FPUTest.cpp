#include "math/FPU.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

// The x86-64 long double is the 80-bit extended format; its first ten bytes
// in memory are the 10-byte form, which makes it an independent oracle.
static_assert(std::numeric_limits<long double>::digits == 64, "needs the x87 extended format");

namespace {

struct Bytes10 {
  uint8_t b[10];
  bool operator==(const Bytes10& o) const { return std::memcmp(b, o.b, 10) == 0; }
};

std::ostream& operator<<(std::ostream& os, const Bytes10& x) {
  char text[40];
  for (int i = 0; i < 10; ++i) std::snprintf(text + 3 * i, 4, "%02X ", x.b[i]);
  return os << text;
}

Bytes10 Oracle(double d) {
  long double x = d;
  Bytes10 r;
  std::memcpy(r.b, &x, 10);
  return r;
}

Bytes10 To10(double d) {
  Bytes10 r;
  ConvertFloat8To10(&d, r.b);
  return r;
}

double To8(const Bytes10& x) {
  double d = 12345.0;
  ConvertFloat10To8(x.b, &d);
  return d;
}

uint64_t Bits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, 8);
  return u;
}

double FromBits(uint64_t u) {
  double d;
  std::memcpy(&d, &u, 8);
  return d;
}

Bytes10 Make10(uint64_t significand, uint16_t word) {
  Bytes10 r;
  std::memcpy(r.b, &significand, 8);
  r.b[8] = uint8_t(word);
  r.b[9] = uint8_t(word >> 8);
  return r;
}

// Doubles over the whole range: random patterns plus the boundaries.
std::vector<double> SampleDoubles() {
  std::vector<double> v = {1.0,     -2.0,     0.5,     DBL_MIN, -DBL_MIN, DBL_MAX, -DBL_MAX,
                           DBL_TRUE_MIN, -DBL_TRUE_MIN, DBL_MIN - DBL_TRUE_MIN, 1e-310,
                           3.0 / 7.0, std::nextafter(1.0, 2.0)};
  std::mt19937_64 rng(20240601);
  for (int i = 0; i < 20000; ++i) {
    double d = FromBits(rng());
    if (std::isfinite(d) && d != 0) v.push_back(d);
  }
  // Subnormals: a random significand under a zero exponent.
  for (int i = 0; i < 2000; ++i) {
    uint64_t u = (rng() & 0x800FFFFFFFFFFFFFull) | 1;
    v.push_back(FromBits(u));
  }
  return v;
}

TEST(FPU, DoubleToExtendedMatchesTheHardwareForm) {
  for (double d : SampleDoubles()) {
    ASSERT_EQ(To10(d), Oracle(d)) << d;
  }
}

TEST(FPU, ExtendedToDoubleRoundTripsEveryDouble) {
  for (double d : SampleDoubles()) {
    ASSERT_EQ(Bits(To8(Oracle(d))), Bits(d)) << d;
    ASSERT_EQ(Bits(To8(To10(d))), Bits(d)) << d;
  }
}

TEST(FPU, SpecialDoublesToExtended) {
  EXPECT_EQ(To10(1.0), Make10(0x8000000000000000ull, 0x3FFF));
  EXPECT_EQ(To10(-2.0), Make10(0x8000000000000000ull, 0xC000));
  EXPECT_EQ(To10(0.0), Make10(0, 0));
  EXPECT_EQ(To10(-0.0), Make10(0, 0));  // the sign of zero is dropped
  EXPECT_EQ(To10(HUGE_VAL), Make10(0, 0x7FFF));
  EXPECT_EQ(To10(-HUGE_VAL), Make10(0, 0xFFFF));
}

TEST(FPU, SpecialExtendedToDouble) {
  double d = To8(Make10(0, 0x8000));
  EXPECT_EQ(d, 0.0);
  EXPECT_TRUE(std::signbit(d));
  EXPECT_EQ(Bits(To8(Make10(0, 0))), 0u);
  // Exponent 0x7FFF: an infinity of the stored sign, whatever the significand.
  for (uint64_t m : {0ull, 0x8000000000000000ull, 0xC000000000000000ull, 0x1234ull}) {
    EXPECT_EQ(To8(Make10(m, 0x7FFF)), HUGE_VAL) << m;
    EXPECT_EQ(To8(Make10(m, 0xFFFF)), -HUGE_VAL) << m;
  }
  // Beyond the double's range: infinity; far below it: zero with its sign.
  EXPECT_EQ(To8(Make10(0x8000000000000000ull, 0x3FFF + 1024)), HUGE_VAL);
  d = To8(Make10(0x8000000000000000ull, 0x8000 | (0x3FFF - 1200)));
  EXPECT_EQ(d, 0.0);
  EXPECT_TRUE(std::signbit(d));
}

// Extended values with more than 53 significant bits round like the
// hardware's conversion wherever the result is a normal double well above
// the subnormal range (there the two terms of the sum are exact).
TEST(FPU, ExtendedToDoubleRoundsLikeTheHardware) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 50000; ++i) {
    uint64_t m = rng() | 0x8000000000000000ull;
    if (i % 4 == 0) m = (m & ~0x7FFull) | 0x400;  // an exact tie at 53 bits
    int e = 0x3FFF - 1010 + int(rng() % (1010 + 1100));
    uint16_t word = uint16_t(e | (rng() & 1 ? 0x8000 : 0));
    Bytes10 x = Make10(m, word);
    long double ld = 0;
    std::memcpy(&ld, x.b, 10);
    ASSERT_EQ(Bits(To8(x)), Bits(double(ld))) << x;
  }
}

TEST(FPU, TwelveByteFormMovesBytesOnly) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 1000; ++i) {
    Bytes10 x = Make10(rng(), uint16_t(rng()));
    uint8_t the12[12];
    std::memset(the12, 0xAA, 12);
    ConvertFloat10To12(x.b, the12);
    EXPECT_EQ(the12[8], 0);
    EXPECT_EQ(the12[9], 0);
    Bytes10 back;
    ConvertFloat12To10(the12, back.b);
    ASSERT_EQ(back, x);
  }
  double one = 1.0;
  uint8_t the12[12];
  ConvertFloat8To12(&one, the12);
  const uint8_t tail[4] = {0x00, 0x00, 0xFF, 0x3F};
  EXPECT_EQ(std::memcmp(the12 + 8, tail, 4), 0);
  double d = 0;
  ConvertFloat12To8(the12, &d);
  EXPECT_EQ(d, 1.0);
  double third = -1.0 / 3.0;
  ConvertFloat8To12(&third, the12);
  ConvertFloat12To8(the12, &d);
  EXPECT_EQ(Bits(d), Bits(third));
}

TEST(FPU, HexFloatAndFloatHexCopyBits) {
  EXPECT_EQ(HexFloat(0x3F800000), 1.0f);
  EXPECT_EQ(FloatHex(HexFloat(0x3F800000)), 0x3F800000);
  EXPECT_EQ(FloatHex(-2.0f), int32_t(0xC0000000u));
  // A signalling not-a-number pattern survives both ways.
  EXPECT_EQ(FloatHex(HexFloat(0x7F800001)), 0x7F800001);
  EXPECT_EQ(FloatHex(HexFloat(int32_t(0x80000000u))), int32_t(0x80000000u));
}

TEST(FPU, ValidateAndFixDoubles) {
  double v = -0.0;
  EXPECT_TRUE(ValidateDouble(&v));
  EXPECT_EQ(Bits(v), 0u);
  for (double bad : {HUGE_VAL, -HUGE_VAL, std::nan(""), -std::nan("")}) {
    v = bad;
    EXPECT_FALSE(ValidateDouble(&v));
    EXPECT_EQ(Bits(v), Bits(bad));  // left alone
    EXPECT_EQ(Bits(FixDouble(bad)), 0u);
  }
  EXPECT_EQ(Bits(FixDouble(-0.0)), 0u);
  for (double good : {DBL_TRUE_MIN, -DBL_TRUE_MIN, -DBL_MAX, 0.0, -1.5}) {
    v = good;
    EXPECT_TRUE(ValidateDouble(&v));
    EXPECT_EQ(Bits(v), Bits(good));
    EXPECT_EQ(Bits(FixDouble(good)), Bits(good));
  }
  // Only the exact pattern of -0.0 is repaired; a high half of 0x80000000
  // with a low half set is the negative subnormal it is.
  double tiny = FromBits(0x8000000000000001ull);
  EXPECT_EQ(Bits(FixDouble(tiny)), Bits(tiny));
}

TEST(FPU, ValidateAndFixFloats) {
  float v = -0.0f;
  EXPECT_TRUE(ValidateReal(&v));
  EXPECT_EQ(FloatHex(v), 0);
  for (int32_t bad : {0x7F800000, int32_t(0xFF800000u), 0x7FC00000, 0x7F800001}) {
    v = HexFloat(bad);
    EXPECT_FALSE(ValidateReal(&v));
    EXPECT_EQ(FloatHex(v), bad);
    EXPECT_EQ(FloatHex(FixReal(HexFloat(bad))), 0);
  }
  EXPECT_EQ(FloatHex(FixReal(-0.0f)), 0);
  for (int32_t good : {1, int32_t(0x80000001u), 0x7F7FFFFF, 0x3F800000}) {
    v = HexFloat(good);
    EXPECT_TRUE(ValidateReal(&v));
    EXPECT_EQ(FloatHex(v), good);
    EXPECT_EQ(FloatHex(FixReal(HexFloat(good))), good);
  }
}

}  // namespace
