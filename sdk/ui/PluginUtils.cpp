// Flags, text and number conversion, and the change-detecting setters.
#include "ui/PluginUtils.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

bool errorFlag = false;
bool hideErrorFlag = false;
bool inBackground = false;

void InitUtils() {
  errorFlag = false;
  hideErrorFlag = false;
  inBackground = false;
}

void FinishUtils() {}

// --- Text and number conversion ---

namespace {

// Longer than any fixed-point text Num2Str lets through: 309 integer digits,
// sign, point and kMaxPrecision decimals.
const int kMaxPrecision = 256;
const int kFormatBuffer = 640;

// The shortest "%g" text that reads back as exactly x.
void ShortestExponentText(double x, char* text, size_t size) {
  for (int precision = 1; precision <= 17; ++precision) {
    std::snprintf(text, size, "%.*g", precision, x);
    if (std::strtod(text, nullptr) == x) return;
  }
}

}  // namespace

PStrPtr CharStr(int32_t theChar) {
  PStrPtr theResult = PStrNext();
  theResult[0] = 1;
  theResult[1] = static_cast<unsigned char>(theChar);
  return theResult;
}

PStrPtr NumStr(int32_t theNum) { return PStrNum(theNum); }

void Num2Str(int32_t digits, double x, PStrPtr s) {
  // Widen before negating: -INT32_MIN does not fit.
  int64_t precision = digits < 0 ? -int64_t(digits) : int64_t(digits);
  if (precision > kMaxPrecision) precision = kMaxPrecision;
  char text[kFormatBuffer];
  int length = std::snprintf(text, sizeof text, digits < 0 ? "%#1.*f" : "%1.*f",
                             int(precision), x);
  // Too long for a P-string (huge magnitudes, absurd precisions): show the
  // value in exponent form rather than a cut-off number.
  if (length < 0 || length > kPStrMaxLength) ShortestExponentText(x, text, sizeof text);
  PStrCToP(text, s);
}

PStrPtr RealTrimStr(double theNum, int16_t theDigits) {
  PStrPtr theText = PStrNext();
  Num2Str(theDigits, theNum, theText);
  if (theDigits < 0) return theText;
  // Only fixed-point text is trimmed; an exponent's zeros are significant.
  uint32_t point = PStrIn('.', theText);
  if (point != 0 && PStrIn('e', theText) == 0) {
    uint32_t length = theText[0];
    while (length >= point && (theText[length] == '0' || theText[length] == '.')) --length;
    theText[0] = static_cast<unsigned char>(length);
  }
  if (theText[0] == 2 && theText[1] == '-' && theText[2] == '0') {
    theText[0] = 1;
    theText[1] = '0';
  }
  return theText;
}

double Str2Num(ConstPStrPtr s) {
  char text[kTextCapacity];
  PStrPToC(s, text);
  char* end = nullptr;
  double theValue = std::strtod(text, &end);
  return end == text ? 0.0 : theValue;
}

int32_t Str2Int(ConstPStrPtr s) {
  char text[kTextCapacity];
  PStrPToC(s, text);
  char* end = nullptr;
  long theValue = std::strtol(text, &end, 10);
  if (end == text) return 0;
  if (theValue > INT32_MAX) return INT32_MAX;
  if (theValue < INT32_MIN) return INT32_MIN;
  return int32_t(theValue);
}

// --- Change-detecting setters ---

namespace {

template <typename T>
void SetChecked(T* dst, T src, bool* flag) {
  // Written as "not equal" so that a not-a-number always counts as a change.
  *flag = *flag || !(*dst == src);
  *dst = src;
}

bool BitNumberFits(int32_t theFlag, int32_t theBits) { return theFlag >= 0 && theFlag < theBits; }

}  // namespace

void SetBoolean(bool* dst, bool src, bool* flag) { SetChecked(dst, src, flag); }

void SetByte(int8_t* dst, int16_t src, bool* flag) {
  *flag = *flag || int16_t(*dst) != src;
  *dst = int8_t(src);
}

void SetInteger(int16_t* dst, int16_t src, bool* flag) { SetChecked(dst, src, flag); }
void SetLongInt(int32_t* dst, int32_t src, bool* flag) { SetChecked(dst, src, flag); }
void SetReal(float* dst, float src, bool* flag) { SetChecked(dst, src, flag); }
void SetDouble(double* dst, double src, bool* flag) { SetChecked(dst, src, flag); }
void SetExtended(double* dst, double src, bool* flag) { SetChecked(dst, src, flag); }

void SetRGBColor(RGB_Color* dst, const RGB_Color* src, bool* flag) {
  *flag = *flag || dst->red != src->red || dst->green != src->green || dst->blue != src->blue;
  *dst = *src;
}

void SetTheARGB(ARGB* dst, const ARGB* src, bool* flag) {
  *flag = *flag || dst->a != src->a || dst->r != src->r || dst->g != src->g || dst->b != src->b;
  *dst = *src;
}

void SetBooleanFlag(uint32_t* dst, int32_t theFlag, bool src, bool* flag) {
  if (!BitNumberFits(theFlag, 32)) return;
  bool current = (*dst >> theFlag & 1u) != 0;
  *flag = *flag || current != src;
  SetFlag(dst, theFlag, src);
}

void SetFlag(uint32_t* theFlagFields, int32_t theFlag, bool theState) {
  if (!BitNumberFits(theFlag, 32)) return;
  uint32_t theBit = uint32_t(1) << theFlag;
  *theFlagFields = theState ? (*theFlagFields | theBit) : (*theFlagFields & ~theBit);
}

void SetIntegerFlag(uint16_t* theFlagFields, int32_t theFlag, bool theState) {
  if (!BitNumberFits(theFlag, 16)) return;
  uint16_t theBit = uint16_t(1u << theFlag);
  *theFlagFields = theState ? uint16_t(*theFlagFields | theBit)
                            : uint16_t(*theFlagFields & ~theBit);
}
