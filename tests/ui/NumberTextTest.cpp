// Number text and the change-detecting setters: no host involved.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <string>

#include "ui/PluginUtils.h"

namespace {

std::string Text(ConstPStrPtr s) { return std::string(reinterpret_cast<const char*>(s + 1), s[0]); }

std::string Num2Text(int32_t digits, double x) {
  PStr255 s;
  Num2Str(digits, x, s);
  return Text(s);
}

TEST(NumberText, FixedPointAndTrimmed) {
  EXPECT_EQ(Text(RealTrimStr(2.5, 8)), "2.5");
  EXPECT_EQ(Text(RealTrimStr(100, 8)), "100");
  EXPECT_EQ(Text(RealTrimStr(0.000000001, 8)), "0");
  EXPECT_EQ(Text(RealTrimStr(-0.000000001, 8)), "0");
  EXPECT_EQ(Text(RealTrimStr(-0.0, 8)), "0");
  EXPECT_EQ(Text(RealTrimStr(-2.5, 8)), "-2.5");
  EXPECT_EQ(Text(RealTrimStr(1.23456789, 2)), "1.23");
  EXPECT_EQ(Text(RealTrimStr(1.5, 0)), "2");
  EXPECT_EQ(Text(RealTrimStr(1.5, -3)), "1.500");
  EXPECT_EQ(Num2Text(0, 7.0), "7");
  EXPECT_EQ(Num2Text(-2, 7.0), "7.00");
  EXPECT_EQ(Text(CharStr(0xE9)), "\xE9");
  EXPECT_EQ(Text(NumStr(INT32_MIN)), "-2147483648");
}

// Fixed-point text up to 255 characters; beyond that the exponent form,
// which reads back as the same double and is not trimmed.
TEST(NumberText, HugeValuesUseTheExponentForm) {
  std::string longest = Num2Text(8, 1e245);  // 246 digits, point, 8 decimals
  EXPECT_EQ(longest.size(), 255u);
  EXPECT_EQ(longest.find('e'), std::string::npos);

  for (double x : {1e246, -1e246, 1.5e300, DBL_MAX, -DBL_MAX, 1.0 / 3.0 * 1e250}) {
    PStr255 s;
    Num2Str(8, x, s);
    EXPECT_LE(s[0], 255);
    EXPECT_NE(Text(s).find('e'), std::string::npos) << Text(s);
    EXPECT_EQ(Str2Num(s), x) << Text(s);
    ConstPStrPtr t = RealTrimStr(x, 8);
    EXPECT_EQ(Str2Num(t), x) << Text(t);
  }
  EXPECT_EQ(Text(RealTrimStr(1.5e300, 8)), "1.5e+300");
  // Precisions no text could hold, the most negative count included.
  for (int32_t digits : {INT32_MIN, -300, 300, INT32_MAX}) {
    PStr255 s;
    Num2Str(digits, 0.1, s);
    EXPECT_EQ(Str2Num(s), 0.1) << digits;
  }
}

TEST(NumberText, ReadsLeadingNumbers) {
  EXPECT_EQ(Str2Int(PS("12abc")), 12);
  EXPECT_EQ(Str2Int(PS("abc")), 0);
  EXPECT_EQ(Str2Int(PS("  -7")), -7);
  EXPECT_EQ(Str2Int(PS("")), 0);
  EXPECT_EQ(Str2Int(PS("99999999999")), INT32_MAX);
  EXPECT_EQ(Str2Int(PS("-99999999999")), INT32_MIN);
  EXPECT_EQ(Str2Num(PS(" -3.25x")), -3.25);
  EXPECT_EQ(Str2Num(PS("x1")), 0.0);
  EXPECT_EQ(Str2Num(PS("1e400")), HUGE_VAL);
  // A 255-character text is read whole.
  std::string digits(254, '0');
  EXPECT_EQ(Str2Num(PS(("1" + digits).c_str())), 1e254);
}

TEST(ChangeSetters, FlagRaisedOnlyByAChange) {
  bool flag = false;
  int32_t l = 5;
  SetLongInt(&l, 5, &flag);
  EXPECT_FALSE(flag);
  SetLongInt(&l, 6, &flag);
  EXPECT_TRUE(flag);
  EXPECT_EQ(l, 6);
  SetLongInt(&l, 6, &flag);  // unchanged, but the flag stays raised
  EXPECT_TRUE(flag);

  flag = false;
  double d = -0.0;
  SetDouble(&d, 0.0, &flag);
  EXPECT_FALSE(flag);
  EXPECT_FALSE(std::signbit(d));
  d = NAN;
  SetDouble(&d, NAN, &flag);
  EXPECT_TRUE(flag);

  flag = false;
  float r = 1.5f;
  SetReal(&r, 1.5f, &flag);
  SetExtended(&d, 2.0, &flag);
  EXPECT_TRUE(flag);

  flag = false;
  int8_t b = 44;
  SetByte(&b, 44, &flag);
  EXPECT_FALSE(flag);
  SetByte(&b, 300, &flag);  // stores 300's low byte, 44, yet 44 != 300
  EXPECT_TRUE(flag);
  EXPECT_EQ(b, 44);

  flag = false;
  int16_t i = -1;
  bool yes = true;
  SetInteger(&i, -1, &flag);
  SetBoolean(&yes, true, &flag);
  EXPECT_FALSE(flag);
  SetBoolean(&yes, false, &flag);
  EXPECT_TRUE(flag);
}

TEST(ChangeSetters, ColoursCompareEveryComponent) {
  for (int k = 0; k < 4; ++k) {
    ARGB stored = MakeARGB(1, 2, 3, 4), next = stored;
    bool flag = false;
    SetTheARGB(&stored, &next, &flag);
    EXPECT_FALSE(flag);
    uint8_t* bytes[4] = {&next.a, &next.r, &next.g, &next.b};
    *bytes[k] = 99;
    SetTheARGB(&stored, &next, &flag);
    EXPECT_TRUE(flag) << k;
    EXPECT_EQ(stored.colorValue, next.colorValue);
  }
  for (int k = 0; k < 3; ++k) {
    RGB_Color stored{-1, 0, 1}, next = stored;
    bool flag = false;
    SetRGBColor(&stored, &next, &flag);
    EXPECT_FALSE(flag);
    int16_t* parts[3] = {&next.red, &next.green, &next.blue};
    *parts[k] = 7;
    SetRGBColor(&stored, &next, &flag);
    EXPECT_TRUE(flag) << k;
    EXPECT_EQ(stored.red * 100 + stored.green * 10 + stored.blue,
              next.red * 100 + next.green * 10 + next.blue);
  }
}

TEST(ChangeSetters, FlagBits) {
  uint32_t word = 0;
  bool flag = false;
  SetBooleanFlag(&word, 31, false, &flag);
  EXPECT_FALSE(flag);
  SetBooleanFlag(&word, 31, true, &flag);
  EXPECT_TRUE(flag);
  EXPECT_EQ(word, 0x80000000u);
  flag = false;
  SetBooleanFlag(&word, 32, false, &flag);  // no such bit
  SetBooleanFlag(&word, -1, true, &flag);
  EXPECT_FALSE(flag);
  EXPECT_EQ(word, 0x80000000u);

  SetFlag(&word, 0, true);
  SetFlag(&word, 31, false);
  SetFlag(&word, 40, true);
  EXPECT_EQ(word, 1u);
  uint16_t half = 0xFFFF;
  SetIntegerFlag(&half, 15, false);
  SetIntegerFlag(&half, 16, false);
  EXPECT_EQ(half, 0x7FFF);
}

}  // namespace
