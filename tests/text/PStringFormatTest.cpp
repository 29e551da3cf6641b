#include "text/PStringFormat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

namespace {

std::string Str(ConstPStrPtr p) { return std::string(reinterpret_cast<const char*>(p) + 1, p[0]); }

TEST(PStringFormat, DecimalText) {
  EXPECT_EQ(Str(PStrLongStr(0)), "0");
  EXPECT_EQ(Str(PStrLongStr(-7)), "-7");
  EXPECT_EQ(Str(PStrLongStr(1000000)), "1000000");
  EXPECT_EQ(Str(PStrLongStr(INT32_MAX)), "2147483647");
  EXPECT_EQ(Str(PStrLongStr(INT32_MIN)), "-2147483648");
  EXPECT_EQ(Str(PStrULongStr(0)), "0");
  EXPECT_EQ(Str(PStrULongStr(10)), "10");
  EXPECT_EQ(Str(PStrULongStr(4294967295u)), "4294967295");
  EXPECT_EQ(Str(PStrCharStr('A')), "A");
  EXPECT_EQ(PStrCharStr(200)[0], 1);
  EXPECT_EQ(PStrCharStr(200)[1], 200);
}

TEST(PStringFormat, ThousandsSeparators) {
  EXPECT_EQ(Str(PStrNumericalStr(0)), "0");
  EXPECT_EQ(Str(PStrNumericalStr(999)), "999");
  EXPECT_EQ(Str(PStrNumericalStr(1000)), "1,000");
  EXPECT_EQ(Str(PStrNumericalStr(-5)), "-5");
  EXPECT_EQ(Str(PStrNumericalStr(-1234)), "-1,234");
  EXPECT_EQ(Str(PStrNumericalStr(100000)), "100,000");
  EXPECT_EQ(Str(PStrNumericalStr(1234567)), "1,234,567");
  EXPECT_EQ(Str(PStrNumericalStr(INT32_MIN)), "-2,147,483,648");
}

TEST(PStringFormat, Sizes) {
  EXPECT_EQ(Str(PStrKStr(1048576)), "1,024K");
  EXPECT_EQ(Str(PStrKStr(1023)), "0K");
  EXPECT_EQ(Str(PStrKStr(4294967295u)), "4,194,303K");
  EXPECT_EQ(Str(PStrKSStr(-2048)), "-2K");
  EXPECT_EQ(Str(PStrKSStr(-1023)), "0K");  // truncates toward zero, no "-0K"
  EXPECT_EQ(Str(PStrKSStr(INT32_MIN)), "-2,097,152K");
}

TEST(PStringFormat, FixedPoint) {
  EXPECT_EQ(Str(PStrFloatStr(0.5, 3)), "0.5");
  EXPECT_EQ(Str(PStrFloatStr(2.0004, 3)), "2");
  EXPECT_EQ(Str(PStrFloatStr(120.0, 2)), "120");  // digits before the point stay
  EXPECT_EQ(Str(PStrFloatStr(-1.25, 3)), "-1.25");
  EXPECT_EQ(Str(PStrFloatStr(0.0, 0)), "0");
  EXPECT_EQ(Str(PStrFloatStr(-0.0001, 2)), "0");
  EXPECT_EQ(Str(PStrFloatStr(-0.0, 0)), "0");
  EXPECT_EQ(Str(PStrFloatStr(2.0, -1)), "2.0");
  EXPECT_EQ(Str(PStrFloatStr(-3.0, -3)), "-3.000");
  EXPECT_EQ(Str(PStrFloatStr(7.0, 0)), "7");
}

TEST(PStringFormat, FixedPointNeverPassesTheLimit) {
  // 1e245 has 246 integer digits: with 8 decimals that is exactly 255.
  const std::string fits = Str(PStrFloatStr(1e245, 8));
  EXPECT_EQ(fits.size(), 246u);
  EXPECT_EQ(fits.find('e'), std::string::npos);
  EXPECT_EQ(Str(PStrFloatStr(1e246, 8)), "1e+246");
  EXPECT_EQ(Str(PStrFloatStr(-1e300, -2)), "-1.00e+300");
  EXPECT_EQ(Str(PStrFloatStr(0.5, 300)), "5e-01");
  EXPECT_EQ(Str(PStrFloatStr(1.5e300, 3)), "1.5e+300");  // exponent zeros are not trimmed
  const std::string widest = Str(PStrFloatStr(-1.0, INT32_MIN));
  EXPECT_LE(widest.size(), 255u);
  EXPECT_EQ(widest.substr(0, 3), "-1.");
  const std::string exact = Str(PStrFloatStr(1e308, INT32_MAX));
  EXPECT_LE(exact.size(), 255u);
  EXPECT_EQ(exact.substr(0, 18), "1.0000000000000000");
  EXPECT_EQ(exact.substr(exact.size() - 5), "e+308");
}

TEST(PStringFormat, Durations) {
  EXPECT_EQ(Str(PStrTimeStr(93784)), "1D 2H 3M 4S");
  EXPECT_EQ(Str(PStrTimeStr(86400)), "1D 0H 0M 0S");
  EXPECT_EQ(Str(PStrTimeStr(7384)), "2Hr 3Min 4Sec");
  EXPECT_EQ(Str(PStrTimeStr(3600)), "1Hr 0Min 0Sec");
  EXPECT_EQ(Str(PStrTimeStr(184)), "3 Min.  4 Sec.");
  EXPECT_EQ(Str(PStrTimeStr(60)), "1 Min.  0 Sec.");
  EXPECT_EQ(Str(PStrTimeStr(-90)), "-1 Min.  30 Sec.");
  EXPECT_EQ(Str(PStrTimeStr(0)), "0 Seconds");
  EXPECT_EQ(Str(PStrTimeStr(45)), "45 Seconds");
  EXPECT_EQ(Str(PStrTimeStr(1)), "1 Second");
  EXPECT_EQ(Str(PStrTimeStr(-1)), "-1 Second");
  EXPECT_EQ(Str(PStrTimeStr(INT32_MIN)), "-24855D 3H 14M 8S");
}

// Each case sets TZ itself and restores the caller's zone afterwards.
class PStringDate : public ::testing::Test {
 protected:
  void SetZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  void SetUp() override {
    const char* old = getenv("TZ");
    hadZone_ = old != nullptr;
    if (hadZone_) oldZone_ = old;
    SetZone("UTC0");
  }
  void TearDown() override {
    if (hadZone_) {
      setenv("TZ", oldZone_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  bool hadZone_ = false;
  std::string oldZone_;
};

constexpr uint32_t kJan15th1998At150709 = 884876829;  // a Thursday, UTC
constexpr uint32_t kJan15th1998At235959 = 884908799;

TEST_F(PStringDate, ClockAndCalendar) {
  EXPECT_EQ(Str(PStrDateStr(kJan15th1998At150709, 1000000000)), "3:07:09PM 1/15/98");
  EXPECT_EQ(Str(PStrDateStr(43200, 43200)), "12:00:00PM Today");      // noon
  EXPECT_EQ(Str(PStrDateStr(86400, 43200)), "12:00:00AM Tomorrow");   // midnight
  EXPECT_EQ(Str(PStrDateStr(3600 + 60 + 1, 0)), "1:01:01AM Today");
  EXPECT_EQ(Str(PStrDateStr(13 * 3600, 0)), "1:00:00PM Today");
  EXPECT_EQ(Str(PStrDateStr(1104537600, 0)), "12:00:00AM 1/1/05");  // 2005: two-digit year
}

TEST_F(PStringDate, RelativeDaysAcrossMidnight) {
  const uint32_t now = kJan15th1998At235959;
  EXPECT_EQ(Str(PStrDateStr(now, now)), "11:59:59PM Today");
  EXPECT_EQ(Str(PStrDateStr(now + 1, now)), "12:00:00AM Tomorrow");
  EXPECT_EQ(Str(PStrDateStr(now + 1 + 86399, now)), "11:59:59PM Tomorrow");
  EXPECT_EQ(Str(PStrDateStr(now + 1 + 86400, now)), "12:00:00AM 1/17/98");
  EXPECT_EQ(Str(PStrDateStr(now - 86399, now)), "12:00:00AM Today");
  EXPECT_EQ(Str(PStrDateStr(now - 86400, now)), "11:59:59PM Yesterday");
  EXPECT_EQ(Str(PStrDateStr(now - 2 * 86400, now)), "11:59:59PM 1/13/98");
}

TEST_F(PStringDate, FollowsTheLocalZone) {
  SetZone("XYZ-5");  // five hours east of UTC
  EXPECT_EQ(Str(PStrDateStr(1, 0)), "5:00:01AM Today");
  EXPECT_EQ(Str(PStrDateStr(19 * 3600, 0)), "12:00:00AM Tomorrow");
  SetZone("XYZ+5");  // second 0 is the evening of 31 December 1969
  EXPECT_EQ(Str(PStrDateStr(5 * 3600, 0)), "12:00:00AM Tomorrow");
  EXPECT_EQ(Str(PStrDateStr(3600, 0)), "8:00:00PM Today");
}

TEST_F(PStringDate, NowStandsInForZeroAndOne) {
  SetZone("UTC0");
  const time_t now = time(nullptr);
  const uint32_t startOfToday = static_cast<uint32_t>(now - now % 86400);
  std::string today = Str(PStrDateStr(startOfToday, 1));
  std::string tomorrow = Str(PStrDateStr(startOfToday + 86400, 1));
  if (time(nullptr) / 86400 != now / 86400) {  // the day turned during the test
    GTEST_SKIP();
  }
  EXPECT_EQ(today, "12:00:00AM Today");
  EXPECT_EQ(tomorrow, "12:00:00AM Tomorrow");
  const std::string old = Str(PStrDateStr(startOfToday - 2 * 86400, 1));
  EXPECT_NE(old.find('/'), std::string::npos) << old;  // a full date, no day name
  // theSecond 0 means "now": today when compared with now, but a full date
  // when compared with second 0.
  const std::string current = Str(PStrDateStr(0, 1));
  EXPECT_NE(current.find(" Today"), std::string::npos) << current;
  const std::string dated = Str(PStrDateStr(0, 0));
  EXPECT_NE(dated.find('/'), std::string::npos) << dated;
}

// Every formatter takes exactly one slot of the ring.
TEST(PStringFormat, EachCallTakesOneTemporary) {
  const std::function<PStrPtr()> calls[] = {
      [] { return PStrLongStr(-12); },           [] { return PStrULongStr(7); },
      [] { return PStrCharStr('x'); },           [] { return PStrFloatStr(1.5, 2); },
      [] { return PStrNumericalStr(-1234567); }, [] { return PStrTimeStr(93784); },
      [] { return PStrDateStr(884876829, 1); },  [] { return PStrKStr(1048576); },
      [] { return PStrKSStr(-2048); },
  };
  for (const auto& call : calls) {
    const PStrPtr before = PStrNext();
    const PStrPtr result = call();
    EXPECT_NE(result, before);
    int taken = 0;
    while (PStrNext() != before && taken < kPStrQueueSize) ++taken;
    EXPECT_EQ(taken, kPStrQueueSize - 2);
  }
}

}  // namespace
