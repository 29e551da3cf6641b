#include "text/MemoryUtils.h"
#include "text/System.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <thread>

namespace {

TEST(MemoryUtils, CopiesEverySizeForwardsAndReversed) {
  unsigned char src[16], dst[18];
  for (int i = 0; i < 16; ++i) src[i] = static_cast<unsigned char>(i + 1);
  for (uint32_t n : {0u, 1u, 2u, 3u, 6u, 8u, 15u, 16u}) {
    std::memset(dst, 0xEE, sizeof dst);
    CopySmallBlockForwards(src, dst + 1, n);  // deliberately unaligned
    EXPECT_EQ(std::memcmp(dst + 1, src, n), 0) << n;
    EXPECT_EQ(dst[0], 0xEE);
    EXPECT_EQ(dst[n + 1], 0xEE) << "wrote past " << n;
  }
  CopySmallBlockBackwards(src, dst, 3);
  EXPECT_EQ(dst[0], 3);
  EXPECT_EQ(dst[1], 2);
  EXPECT_EQ(dst[2], 1);
}

TEST(MemoryUtils, ZeroAndFillWordCounts) {
  uint32_t words[5] = {1, 2, 3, 4, 5};
  ZeroMem(words, 3);
  EXPECT_EQ(words[0] | words[1] | words[2], 0u);
  EXPECT_EQ(words[3], 4u);
  FillMem(words + 1, 2, 0xDEADBEEF);
  EXPECT_EQ(words[0], 0u);
  EXPECT_EQ(words[2], 0xDEADBEEFu);
  EXPECT_EQ(words[3], 4u);
}

TEST(System, ReverseFieldInPlace) {
  unsigned char four[] = {1, 2, 3, 4};
  ReverseField(four, 4);
  EXPECT_EQ(four[0], 4);
  EXPECT_EQ(four[3], 1);
  unsigned char three[] = {1, 2, 3};
  ReverseField(three, 3);
  EXPECT_EQ(three[0], 3);
  EXPECT_EQ(three[1], 2);
  ReverseField(three, 1);
  ReverseField(three, 0);
  ReverseField(three, -4);
  EXPECT_EQ(three[0], 3);
  double d = 1.5;
  ReverseField(&d, 8);
  ReverseField(&d, 8);
  EXPECT_EQ(d, 1.5);
}

TEST(System, AbsoluteValuesKeepTheirEdges) {
  EXPECT_EQ(IAbs(-32768), -32768);
  EXPECT_EQ(IAbs(-5), 5);
  EXPECT_EQ(LAbs(INT32_MIN), INT32_MIN);
  EXPECT_EQ(LAbs(-2147483647), 2147483647);
  EXPECT_TRUE(std::signbit(RAbs(-0.0f)));
  EXPECT_TRUE(std::signbit(DAbs(-0.0)));
  EXPECT_EQ(RAbs(-2.5f), 2.5f);
  EXPECT_EQ(DAbs(-2.5), 2.5);
}

TEST(System, TicksAdvanceAtSixtyPerSecond) {
  const uint32_t before = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  const uint32_t elapsed = TickCount() - before;
  EXPECT_GE(elapsed, 6u);
  EXPECT_LT(elapsed, 600u);
}

TEST(System, DateTimeCountsFrom1904LocalTime) {
  const char* oldTz = std::getenv("TZ");
  std::string saved = oldTz ? oldTz : "";
  setenv("TZ", "UTC", 1);
  tzset();
  const uint32_t utc = GetDateTime();
  const std::time_t now = std::time(nullptr);
  EXPECT_NEAR(double(utc), double(uint32_t(uint64_t(now) + 2082844800u)), 2.0);
  setenv("TZ", "EST5", 1);  // five hours behind, no daylight saving
  tzset();
  const uint32_t est = GetDateTime();
  EXPECT_NEAR(double(utc) - double(est), 5 * 3600.0, 2.0);
  if (oldTz) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
}

}  // namespace
