#include "text/RoundUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(RoundUtils, FactorsMeasureTheFractionAboveTheFloor) {
  EXPECT_EQ(CalcFactor(2.75), 768);
  EXPECT_EQ(CalcFactor(-0.25), 768);
  EXPECT_EQ(CalcFactor(3.0), 0);
  EXPECT_EQ(CalcLFactor(0.5), 8192);
  EXPECT_EQ(CalcRFactor(-1.25), 0.75);
  double n = -3.5;
  CalcRFactor3(&n);
  EXPECT_EQ(n, 0.5);
  double v = 2.75;
  EXPECT_EQ(CalcFactor2(&v), 768);
  EXPECT_EQ(CalcLFactor2(&v), 12288);
  EXPECT_EQ(CalcRFactor2(&v), 0.75);
}

TEST(RoundUtils, SplitFactorReturnsFloorAndLeavesFraction) {
  double n = -1.25;
  EXPECT_EQ(SplitFactor(&n), -2);
  EXPECT_EQ(n, 0.75);
  n = 3.0;
  EXPECT_EQ(SplitFactor(&n), 3);
  EXPECT_EQ(n, 0.0);
  n = -2147483648.5;  // saturated truncation is not adjusted
  EXPECT_EQ(SplitFactor(&n), INT32_MIN);
}

TEST(RoundUtils, RoundingHalvesAwayFromZeroAndClamps) {
  EXPECT_EQ(ARound(2.5), 3);
  EXPECT_EQ(ARound(-2.5), -3);
  EXPECT_EQ(ARound(2.49), 2);
  EXPECT_EQ(ARoundI(40000.2), 32767);
  EXPECT_EQ(ARoundI(-40000.2), -32767);
  EXPECT_EQ(LRound(1.5), 98304);
  EXPECT_EQ(LRound(-0.00001), 0);
  EXPECT_EQ(IRound(1.0), 16384);
  EXPECT_EQ(IRound(2.0), 32767);
  EXPECT_EQ(IRound(-2.0), -32767);
  EXPECT_EQ(IRoundR(0.5f), 8192);
  const float f = -0.25f;
  EXPECT_EQ(IRoundR2(&f), -4096);
  const double d = -2.5;
  EXPECT_EQ(ARound2(&d), -3);
  EXPECT_EQ(ARoundI2(&d), -3);
  EXPECT_EQ(LRound2(&d), -163840);
  EXPECT_EQ(IRound2(&d), -32767);
}

TEST(RoundUtils, FloorsCeilingsAndIntervalEnds) {
  EXPECT_EQ(ITrunc(-0.5), -1);
  EXPECT_EQ(ITrunc(-40000.0), -32767);
  EXPECT_EQ(ITrunc(40000.0), 32767);
  EXPECT_EQ(FTrunc(-0.0001), -1);
  EXPECT_EQ(FTrunc(1.0), 1024);
  EXPECT_EQ(Floor(-2.0), -2);
  EXPECT_EQ(Floor(-2.5), -3);
  EXPECT_EQ(TruncHi(-2.5), -3);
  EXPECT_EQ(Ceil(2.1), 3);
  EXPECT_EQ(Ceil(-2.9), -2);
  EXPECT_EQ(Ceil(2.0), 2);
  EXPECT_EQ(TruncLo(2.0), 3);
  EXPECT_EQ(TruncLo(-2.5), -2);
  EXPECT_EQ(TruncLo(-2.0), -1);
  const double v = 7.25;
  EXPECT_EQ(ITrunc2(&v), 7);
  EXPECT_EQ(FTrunc2(&v), 7424);
  EXPECT_EQ(Floor2(&v), 7);
  EXPECT_EQ(TruncHi2(&v), 7);
  EXPECT_EQ(Ceil2(&v), 8);
  EXPECT_EQ(TruncLo2(&v), 8);
}

TEST(RoundUtils, ConversionsSaturateInsteadOfOverflowing) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(DoubleToInt32(nan), 0);
  EXPECT_EQ(DoubleToInt32(inf), INT32_MAX);
  EXPECT_EQ(DoubleToInt32(-inf), INT32_MIN);
  EXPECT_EQ(DoubleToInt32(2147483647.9), INT32_MAX);
  EXPECT_EQ(DoubleToInt32(-2147483648.9), INT32_MIN);
  EXPECT_EQ(DoubleToInt32(-7.9), -7);
  // The guards keep the saturated ends from wrapping around.
  EXPECT_EQ(Floor(-1e12), INT32_MIN);
  EXPECT_EQ(FTrunc(-1e12), INT32_MIN);
  EXPECT_EQ(Ceil(1e12), INT32_MAX);
  EXPECT_EQ(TruncLo(1e12), INT32_MAX);
  EXPECT_EQ(TruncLo(-1e12), INT32_MIN);
  EXPECT_EQ(ARound(1e300), INT32_MAX);
  EXPECT_EQ(CalcFactor(nan), 0);
}

}  // namespace
