#include "text/PStringFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <utility>

namespace {

std::string Str(ConstPStrPtr p) { return std::string(reinterpret_cast<const char*>(p) + 1, p[0]); }
using Cases = std::pair<std::string, std::string>[];

TEST(PStringFormat, NumbersAroundZeroNegativesAndTheLimits) {
  const Cases cases = {
      {Str(PStrLongStr(0)), "0"}, {Str(PStrLongStr(-7)), "-7"},
      {Str(PStrLongStr(INT32_MAX)), "2147483647"}, {Str(PStrLongStr(INT32_MIN)), "-2147483648"},
      {Str(PStrULongStr(0)), "0"}, {Str(PStrULongStr(4294967295u)), "4294967295"},
      {Str(PStrCharStr('A')), "A"}, {Str(PStrCharStr(200)), "\xC8"},
      {Str(PStrNumericalStr(0)), "0"}, {Str(PStrNumericalStr(999)), "999"},
      {Str(PStrNumericalStr(-1234)), "-1,234"}, {Str(PStrNumericalStr(100000)), "100,000"},
      {Str(PStrNumericalStr(INT32_MIN)), "-2,147,483,648"}, {Str(PStrKStr(1048576)), "1,024K"},
      {Str(PStrKStr(1023)), "0K"}, {Str(PStrKStr(4294967295u)), "4,194,303K"},
      {Str(PStrKSStr(-2048)), "-2K"}, {Str(PStrKSStr(-1023)), "0K"},  // toward zero, no "-0K"
      {Str(PStrKSStr(INT32_MIN)), "-2,097,152K"},
      // Fixed point: trailing zeros and a bare point trimmed unless the digits are negative.
      {Str(PStrFloatStr(0.5, 3)), "0.5"}, {Str(PStrFloatStr(2.0004, 3)), "2"},
      {Str(PStrFloatStr(120.0, 2)), "120"}, {Str(PStrFloatStr(-1.25, 3)), "-1.25"},
      {Str(PStrFloatStr(-0.0001, 2)), "0"}, {Str(PStrFloatStr(-0.0, 0)), "0"},
      {Str(PStrFloatStr(2.0, -1)), "2.0"}, {Str(PStrFloatStr(-3.0, -3)), "-3.000"},
      // Durations in the largest unit's form.
      {Str(PStrTimeStr(93784)), "1D 2H 3M 4S"}, {Str(PStrTimeStr(86400)), "1D 0H 0M 0S"},
      {Str(PStrTimeStr(46984)), "13Hr 3Min 4Sec"}, {Str(PStrTimeStr(184)), "3 Min.  4 Sec."},
      {Str(PStrTimeStr(-90)), "-1 Min.  30 Sec."}, {Str(PStrTimeStr(0)), "0 Seconds"},
      {Str(PStrTimeStr(45)), "45 Seconds"}, {Str(PStrTimeStr(1)), "1 Second"},
      {Str(PStrTimeStr(-1)), "-1 Second"}, {Str(PStrTimeStr(INT32_MIN)), "-24855D 3H 14M 8S"}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
}

TEST(PStringFormat, FixedPointNeverPassesTheLimit) {
  // 1e245 has 246 integer digits: with 8 decimals that is exactly 255.
  const std::string fits = Str(PStrFloatStr(1e245, 8));
  EXPECT_TRUE(fits.size() == 246 && fits.find('e') == std::string::npos) << fits;
  EXPECT_EQ(Str(PStrFloatStr(1e246, 8)), "1e+246");
  EXPECT_EQ(Str(PStrFloatStr(-1e300, -2)), "-1.00e+300");
  EXPECT_EQ(Str(PStrFloatStr(0.5, 300)), "5e-01");
  EXPECT_EQ(Str(PStrFloatStr(1.5e300, 3)), "1.5e+300");  // exponent zeros are not trimmed
  const std::string widest = Str(PStrFloatStr(-1.0, INT32_MIN));
  EXPECT_TRUE(widest.size() <= 255 && widest.substr(0, 3) == "-1.") << widest;
  const std::string exact = Str(PStrFloatStr(1e308, INT32_MAX));
  EXPECT_TRUE(exact.size() <= 255 && exact.substr(0, 18) == "1.0000000000000000") << exact;
  EXPECT_EQ(exact.substr(exact.size() - 5), "e+308");
}

TEST(PStringFormat, EachCallTakesOneTemporary) {
  const std::function<PStrPtr()> calls[] = {
      [] { return PStrLongStr(-12); },           [] { return PStrULongStr(7); },
      [] { return PStrCharStr('x'); },           [] { return PStrFloatStr(1.5, 2); },
      [] { return PStrNumericalStr(-1234567); }, [] { return PStrTimeStr(93784); },
      [] { return PStrDateStr(884876829, 1); },  [] { return PStrKStr(1048576); },
      [] { return PStrKSStr(-2048); },
  };
  for (const auto& call : calls) {  // the slot after `before`, and the ring comes round after 20
    const PStrPtr before = PStrNext(), result = call();
    for (int i = 0; i < kPStrQueueSize - 2; ++i) PStrNext();
    EXPECT_TRUE(result != before && PStrNext() == before);
  }
}

// Dates in a given zone (TZ set for the case, the caller's zone restored after).
class PStringDate : public ::testing::Test {
 protected:
  void Zone(const char* zone) { setenv("TZ", zone, 1), tzset(); }
  void SetUp() override {
    if (const char* old = getenv("TZ")) saved = old, hadZone = true;
    Zone("UTC0");
  }
  void TearDown() override { hadZone ? Zone(saved.c_str()) : (unsetenv("TZ"), tzset()); }
  std::string saved;
  bool hadZone = false;
};

constexpr uint32_t kJan15th1998At150709 = 884876829;  // a Thursday, UTC
constexpr uint32_t kJan15th1998At235959 = 884908799;

TEST_F(PStringDate, ClockCalendarAndDaysAcrossMidnight) {
  const uint32_t now = kJan15th1998At235959;
  const Cases cases = {
      {Str(PStrDateStr(kJan15th1998At150709, 1000000000)), "3:07:09PM 1/15/98"},
      {Str(PStrDateStr(0, kJan15th1998At150709)), "3:07:09PM Today"},  // second 0: curSecond
      {Str(PStrDateStr(43200, 43200)), "12:00:00PM Today"},  // noon
      {Str(PStrDateStr(86400, 43200)), "12:00:00AM Tomorrow"},  // midnight
      {Str(PStrDateStr(1104537600, 0)), "12:00:00AM 1/1/05"},  // 2005: two-digit year
      {Str(PStrDateStr(now, now)), "11:59:59PM Today"},
      {Str(PStrDateStr(now + 1, now)), "12:00:00AM Tomorrow"},
      {Str(PStrDateStr(now + 1 + 86399, now)), "11:59:59PM Tomorrow"},
      {Str(PStrDateStr(now + 1 + 86400, now)), "12:00:00AM 1/17/98"},
      {Str(PStrDateStr(now - 86399, now)), "12:00:00AM Today"},
      {Str(PStrDateStr(now - 86400, now)), "11:59:59PM Yesterday"},
      {Str(PStrDateStr(now - 2 * 86400, now)), "11:59:59PM 1/13/98"}};
  for (const auto& [text, expected] : cases) EXPECT_EQ(text, expected);
  Zone("XYZ-5");  // five hours east of UTC
  EXPECT_EQ(Str(PStrDateStr(1, 0)), "5:00:01AM Today");
  EXPECT_EQ(Str(PStrDateStr(19 * 3600, 0)), "12:00:00AM Tomorrow");
  Zone("XYZ+5");  // second 0 is the evening of 31 December 1969
  EXPECT_EQ(Str(PStrDateStr(5 * 3600, 0)), "12:00:00AM Tomorrow");
  EXPECT_EQ(Str(PStrDateStr(3600, 0)), "8:00:00PM Today");
  EXPECT_EQ(Str(PStrDateStr(1, 5 * 3600 + 1)), "7:00:01PM Yesterday");  // no wrap to 2106
}

TEST_F(PStringDate, NowStandsInForZeroAndOne) {
  const time_t now = time(nullptr);
  const uint32_t startOfToday = static_cast<uint32_t>(now - now % 86400);
  const std::string today = Str(PStrDateStr(startOfToday, 1)), current = Str(PStrDateStr(0, 1));
  if (time(nullptr) / 86400 != now / 86400) GTEST_SKIP() << "the day turned during the test";
  EXPECT_EQ(today, "12:00:00AM Today");
  // theSecond 0 means "now": today against now, a full date against second 0.
  EXPECT_NE(current.find(" Today"), std::string::npos) << current;
  EXPECT_NE(Str(PStrDateStr(0, 0)).find('/'), std::string::npos);
}

}  // namespace
