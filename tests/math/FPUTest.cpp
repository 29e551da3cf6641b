#include "math/FPU.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

// The x86-64 long double is the 80-bit extended format; its first ten bytes
// in memory are the 10-byte form, which makes it an independent oracle.
static_assert(LDBL_MANT_DIG == 64, "needs the x87 extended format");

namespace {

using Bytes10 = std::array<uint8_t, 10>;

// The value whose leading bytes are those of from (the rest zero).
template <typename To, typename From>
To As(From from) {
  To to{};
  std::memcpy(&to, &from, sizeof to < sizeof from ? sizeof to : sizeof from);
  return to;
}
struct Extended { uint64_t significand; uint16_t word; };  // the 10-byte form, padded
Bytes10 Make10(uint64_t m, uint16_t word) { return As<Bytes10>(Extended{m, word}); }
Bytes10 To10(double d) { Bytes10 r; ConvertFloat8To10(&d, r.data()); return r; }
double To8(const Bytes10& x) { double d = 12345.0; ConvertFloat10To8(x.data(), &d); return d; }
uint64_t Bits(double d) { return As<uint64_t>(d); }

// Every finite non-zero double, both ways, against the hardware's form:
// boundaries, random patterns and random subnormals.
TEST(FPU, ConversionsMatchTheHardwaresForm) {
  std::vector<double> v = {1.0, -2.0, DBL_MIN, -DBL_MIN, DBL_MAX, -DBL_MAX, DBL_TRUE_MIN,
                           -DBL_TRUE_MIN, DBL_MIN - DBL_TRUE_MIN, 3.0 / 7.0};
  std::mt19937_64 rng(20240601);
  for (int i = 0; i < 20000; ++i) v.push_back(As<double>(rng()));
  for (int i = 0; i < 2000; ++i) v.push_back(As<double>((rng() & 0x800FFFFFFFFFFFFFull) | 1));
  for (double d : v) {
    if (!std::isfinite(d) || d == 0) continue;
    ASSERT_EQ(To10(d), (As<Bytes10, long double>(d))) << d;
    ASSERT_EQ(Bits(To8(As<Bytes10, long double>(d))), Bits(d)) << d;
  }
  // Extended values with more than 53 significant bits, ties included, round
  // like the hardware wherever the result is a normal double.
  for (int i = 0; i < 50000; ++i) {
    uint64_t m = rng() | 0x8000000000000000ull;
    if (i % 4 == 0) m = (m & ~0x7FFull) | 0x400;  // an exact tie at 53 bits
    int e = 0x3FFF - 1010 + int(rng() % (1010 + 1100));
    Bytes10 x = Make10(m, uint16_t(e | (rng() & 1 ? 0x8000 : 0)));
    ASSERT_EQ(Bits(To8(x)), Bits(double(As<long double>(x)))) << i;
  }
  // The 12-byte form is the 10-byte one with two zero bytes before the word.
  uint8_t the12[12];
  for (int i = 0; i < 1000; ++i) {
    Bytes10 x = Make10(rng(), uint16_t(rng())), back;
    std::memset(the12, 0xAA, 12);
    ConvertFloat10To12(x.data(), the12);
    ASSERT_EQ(the12[8] | the12[9], 0);
    ConvertFloat12To10(the12, back.data());
    ASSERT_EQ(back, x);
  }
  double third = -1.0 / 3.0, d = 0;
  ConvertFloat8To12(&third, the12);
  EXPECT_EQ(the12[10] | the12[11] << 8, 0xBFFD);
  ConvertFloat12To8(the12, &d);
  EXPECT_EQ(Bits(d), Bits(third));
}

// Signed zeros, infinities, not-a-numbers and the double's range limits.
TEST(FPU, SpecialValuesAndRangeLimits) {
  const struct { double d; uint16_t word; } to10[] = {
      {0.0, 0}, {-0.0, 0}, {HUGE_VAL, 0x7FFF}, {-HUGE_VAL, 0xFFFF}, {std::nan(""), 0x7FFF}};
  for (const auto& k : to10) EXPECT_EQ(To10(k.d), Make10(0, k.word)) << k.d;
  const uint64_t one = 0x8000000000000000ull;
  const struct { uint64_t m; int word; double want; } to8[] = {
      {0, 0, 0.0}, {0, 0x8000, -0.0}, {0, 0x7FFF, HUGE_VAL}, {one, 0x7FFF, HUGE_VAL},
      {one | 1, 0xFFFF, -HUGE_VAL}, {0x1234, 0xFFFF, -HUGE_VAL},
      {one, 0x3FFF + 1024, HUGE_VAL}, {one, 0x8000 | (0x3FFF - 1200), -0.0}};
  for (const auto& k : to8)
    EXPECT_EQ(Bits(To8(Make10(k.m, uint16_t(k.word)))), Bits(k.want)) << k.m << " " << k.word;
}

// Negative zero is repaired (and valid); infinities and not-a-numbers are
// rejected and left alone by Validate, zero from Fix; all else passes.
template <typename T, typename U>
void ExpectRepairs(int (*validate)(T*), T (*fix)(T), std::vector<U> bad, std::vector<U> good) {
  const U negativeZero = U(1) << (8 * sizeof(U) - 1);
  good.push_back(negativeZero);
  for (bool valid : {false, true})
    for (U b : valid ? good : bad) {
      T v = As<T>(b);
      U repaired = b == negativeZero ? 0 : b;
      EXPECT_EQ(validate(&v) != 0, valid) << b;
      EXPECT_EQ(As<U>(v), valid ? repaired : b) << b;
      EXPECT_EQ(As<U>(fix(As<T>(b))), valid ? repaired : U(0)) << b;
    }
}

TEST(FPU, ValidateAndFixRepairOnlyTheForbiddenPatterns) {
  ExpectRepairs<double, uint64_t>(
      ValidateDouble, FixDouble,
      {0x7FF0000000000000ull, 0xFFF0000000000000ull, Bits(std::nan("")), 0xFFF8000000000001ull},
      {1, 0x8000000000000001ull, Bits(-DBL_MAX), 0, Bits(-1.5)});
  ExpectRepairs<float, uint32_t>(ValidateReal, FixReal,
                                 {0x7F800000u, 0xFF800000u, 0x7FC00000u, 0x7F800001u},
                                 {1u, 0x80000001u, 0x7F7FFFFFu, 0x3F800000u, 0u});
  EXPECT_EQ(FloatHex(HexFloat(0x7F800001)), 0x7F800001);  // a signalling NaN, copied both ways
}

}  // namespace
