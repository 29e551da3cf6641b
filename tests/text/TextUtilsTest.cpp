// Block copies, the platform stand-ins and the rounding conversions.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "text/MemoryUtils.h"
#include "text/RoundUtils.h"
#include "text/System.h"

namespace {

TEST(MemoryUtils, CopiesEverySizeForwardsAndReversed) {
  unsigned char src[16], dst[18];
  for (int i = 0; i < 16; ++i) src[i] = static_cast<unsigned char>(i + 1);
  for (uint32_t n : {0u, 1u, 2u, 3u, 6u, 8u, 15u, 16u}) {
    std::memset(dst, 0xEE, sizeof dst);
    CopySmallBlockForwards(src, dst + 1, n);  // deliberately unaligned
    EXPECT_TRUE(std::memcmp(dst + 1, src, n) == 0 && dst[0] == 0xEE && dst[n + 1] == 0xEE) << n;
  }
  CopySmallBlockBackwards(src, dst, 3);
  EXPECT_TRUE(dst[0] == 3 && dst[1] == 2 && dst[2] == 1);
  uint32_t words[5] = {1, 2, 3, 4, 5};
  ZeroMem(words, 3);
  FillMem(words + 1, 2, 0xDEADBEEF);
  EXPECT_TRUE(words[0] == 0 && words[1] == 0xDEADBEEF && words[2] == 0xDEADBEEF && words[3] == 4);
}

TEST(System, ReverseFieldAndAbsoluteValuesAtTheirEdges) {
  unsigned char bytes[] = {1, 2, 3, 4};
  ReverseField(bytes, 4);
  EXPECT_TRUE(bytes[0] == 4 && bytes[1] == 3 && bytes[2] == 2 && bytes[3] == 1);
  ReverseField(bytes, 3);  // odd: the middle stays
  EXPECT_TRUE(bytes[0] == 2 && bytes[1] == 3 && bytes[2] == 4);
  for (int32_t size : {1, 0, -4}) ReverseField(bytes, size);  // nothing to do
  EXPECT_TRUE(bytes[0] == 2 && bytes[3] == 1);
  EXPECT_TRUE(IAbs(-32768) == -32768 && IAbs(-5) == 5);  // the most negative values stay
  EXPECT_TRUE(LAbs(INT32_MIN) == INT32_MIN && LAbs(-2147483647) == 2147483647);
  EXPECT_TRUE(std::signbit(RAbs(-0.0f)) && std::signbit(DAbs(-0.0)));  // -0.0 comes back unchanged
  EXPECT_TRUE(RAbs(-2.5f) == 2.5f && DAbs(-2.5) == 2.5);
}

TEST(System, TicksAt60PerSecondAndDateTimeFrom1904InTheLocalZone) {
  const uint32_t before = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  const uint32_t elapsed = TickCount() - before;
  EXPECT_TRUE(elapsed >= 6 && elapsed < 600) << elapsed;

  const char* oldTz = std::getenv("TZ");
  const std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  const uint32_t utc = GetDateTime();
  EXPECT_NEAR(double(utc), double(uint32_t(uint64_t(std::time(nullptr)) + 2082844800u)), 2.0);
  setenv("TZ", "EST5", 1);  // five hours behind, no daylight saving
  tzset();
  EXPECT_NEAR(double(utc) - double(GetDateTime()), 5 * 3600.0, 2.0);
  oldTz ? setenv("TZ", saved.c_str(), 1) : unsetenv("TZ");
  tzset();
}

TEST(RoundUtils, FactorsFloorsAndRounding) {
  double n = -3.5, split = -1.25, whole = -4.0;
  CalcRFactor3(&n);
  EXPECT_EQ(SplitFactor(&split), -2);  // the floor, leaving the fraction above it
  EXPECT_EQ(SplitFactor(&whole), -4);
  const double v = 2.75;
  const float f = -0.25f;
  const std::pair<double, double> cases[] = {
      {CalcFactor(2.75), 768}, {CalcFactor(-0.25), 768}, {CalcFactor(3.0), 0},
      {CalcLFactor(0.5), 8192}, {CalcRFactor(-1.25), 0.75}, {n, 0.5}, {split, 0.75}, {whole, 0},
      {CalcFactor2(&v), 768}, {CalcLFactor2(&v), 12288}, {CalcRFactor2(&v), 0.75},
      // Rounding halves away from zero; the I members clamp to -32767..32767.
      {ARound(2.5), 3}, {ARound(-2.5), -3}, {ARound(2.49), 2}, {ARoundI(40000.2), 32767},
      {ARoundI(-40000.2), -32767}, {LRound(1.5), 98304}, {LRound(-0.00001), 0},
      {IRound(1.0), 16384}, {IRound(2.0), 32767}, {IRound(-2.0), -32767}, {IRoundR(0.5f), 8192},
      {IRoundR2(&f), -4096}, {ARound2(&split), 1}, {ARoundI2(&v), 3}, {LRound2(&v), 180224},
      {IRound2(&v), 32767},
      // Floors and ceilings; TruncLo is floor + 1.
      {ITrunc(-0.5), -1}, {ITrunc(-40000.0), -32767}, {ITrunc(40000.0), 32767},
      {FTrunc(-0.0001), -1}, {FTrunc(1.0), 1024}, {Floor(-2.0), -2}, {Floor(-2.5), -3},
      {TruncHi(-2.5), -3}, {Ceil(2.1), 3}, {Ceil(-2.9), -2}, {Ceil(2.0), 2}, {TruncLo(2.0), 3},
      {TruncLo(-2.5), -2}, {TruncLo(-2.0), -1}, {ITrunc2(&v), 2}, {FTrunc2(&v), 2816},
      {Floor2(&v), 2}, {TruncHi2(&v), 2}, {Ceil2(&v), 3}, {TruncLo2(&v), 3}};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;
}

TEST(RoundUtils, ConversionsSaturateInsteadOfOverflowing) {
  const double inf = INFINITY, nan = NAN;
  double low = -2147483648.5;  // a saturated truncation is not adjusted
  const std::pair<int32_t, int32_t> cases[] = {
      {DoubleToInt32(nan), 0}, {DoubleToInt32(inf), INT32_MAX}, {DoubleToInt32(-inf), INT32_MIN},
      {DoubleToInt32(2147483647.9), INT32_MAX}, {DoubleToInt32(-2147483648.9), INT32_MIN},
      {DoubleToInt32(-7.9), -7},
      // The guards keep the saturated ends from wrapping around.
      {Floor(-1e12), INT32_MIN}, {FTrunc(-1e12), INT32_MIN}, {Ceil(1e12), INT32_MAX},
      {TruncLo(1e12), INT32_MAX}, {TruncLo(-1e12), INT32_MIN}, {ARound(1e300), INT32_MAX},
      {CalcFactor(nan), 0}, {SplitFactor(&low), INT32_MIN}};
  for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].first, cases[i].second) << i;
}

}  // namespace
