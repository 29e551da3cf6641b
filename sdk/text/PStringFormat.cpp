#include "text/PStringFormat.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

// Every text is built in a local buffer and copied into one temporary at the
// end, so a call never takes more than its result's slot from the ring.
void AppendText(PStrPtr s, const char* text) {
  for (; *text != '\0'; ++text) PStrAppendChar(s, static_cast<unsigned char>(*text));
}

void AppendUnsigned(PStrPtr s, uint32_t value) {
  if (value == 0) {
    PStrAppendChar(s, '0');
    return;
  }
  uint32_t power = 1000000000u;
  while (power > value) power /= 10;
  for (; power != 0; power /= 10) {
    PStrAppendChar(s, static_cast<int32_t>('0' + value / power));
    value %= power;
  }
}

// The magnitude as unsigned, so INT32_MIN needs no signed negation.
uint32_t Magnitude(int32_t value) {
  return value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
}

void AppendSigned(PStrPtr s, int32_t value) {
  if (value < 0) PStrAppendChar(s, '-');
  AppendUnsigned(s, Magnitude(value));
}

void AppendTwoDigits(PStrPtr s, int value) {
  PStrAppendChar(s, '0' + (value / 10) % 10);
  PStrAppendChar(s, '0' + value % 10);
}

PStrPtr Temporary(ConstPStrPtr text) { return PStrCpy(nullptr, text); }

// Removes trailing zeros, and then the point itself, from text[0..length)
// when it holds a point; digits before the point stay.
size_t TrimDecimals(const char* text, size_t length) {
  const char* point = static_cast<const char*>(memchr(text, '.', length));
  if (point == nullptr) return length;
  size_t pointIndex = static_cast<size_t>(point - text);
  while (length > pointIndex && (text[length - 1] == '0' || text[length - 1] == '.')) --length;
  return length;
}

}  // namespace

PStrPtr PStrLongStr(int32_t num) {
  PStr255 s = {0};
  AppendSigned(s, num);
  return Temporary(s);
}

PStrPtr PStrULongStr(uint32_t num) {
  PStr255 s = {0};
  AppendUnsigned(s, num);
  return Temporary(s);
}

PStrPtr PStrCharStr(int32_t theChar) {
  PStr255 s = {0};
  PStrAppendChar(s, theChar);
  return Temporary(s);
}

PStrPtr PStrFloatStr(double theNum, int32_t theDigits) {
  const int64_t kMaxExponentPrecision = 240;  // "-d." + 240 digits + "e+308" fits in 255
  const bool keepPoint = theDigits < 0;
  // Widen first: the precision of INT32_MIN has no 32-bit negation.
  const int64_t precision = keepPoint ? -static_cast<int64_t>(theDigits) : theDigits;

  char text[320];
  int length = -1;
  bool exponentForm = true;
  if (precision <= kPStrMaxLength) {
    const int p = static_cast<int>(precision);
    length = keepPoint ? snprintf(text, sizeof text, "%#1.*lf", p, theNum)
                       : snprintf(text, sizeof text, "%1.*lf", p, theNum);
    exponentForm = length < 0 || length > kPStrMaxLength;
  }
  // Fixed-point text this long would overrun a P-string: exponent form.
  if (exponentForm) {
    const int p = static_cast<int>(precision < kMaxExponentPrecision ? precision
                                                                     : kMaxExponentPrecision);
    length = keepPoint ? snprintf(text, sizeof text, "%#1.*le", p, theNum)
                       : snprintf(text, sizeof text, "%1.*le", p, theNum);
    if (length < 0) length = 0;
  }

  size_t used = static_cast<size_t>(length);
  if (!keepPoint) {
    // In exponent form only the mantissa is trimmed; the exponent stays whole.
    const char* e = exponentForm ? static_cast<const char*>(memchr(text, 'e', used)) : nullptr;
    const size_t mantissa = e != nullptr ? static_cast<size_t>(e - text) : used;
    const size_t kept = TrimDecimals(text, mantissa);
    memmove(text + kept, text + mantissa, used - mantissa);
    used -= mantissa - kept;
  }
  if (used == 2 && text[0] == '-' && text[1] == '0') {
    text[0] = '0';
    used = 1;
  }

  PStr255 s = {0};
  memcpy(s + 1, text, used);
  s[0] = static_cast<unsigned char>(used);
  return Temporary(s);
}

PStrPtr PStrNumericalStr(int32_t theNum) {
  PStr255 digits = {0};
  AppendUnsigned(digits, Magnitude(theNum));
  PStr255 s = {0};
  if (theNum < 0) PStrAppendChar(s, '-');
  const unsigned count = digits[0];
  for (unsigned i = 1; i <= count; ++i) {
    PStrAppendChar(s, digits[i]);
    const unsigned left = count - i;
    if (left != 0 && left % 3 == 0) PStrAppendChar(s, ',');
  }
  return Temporary(s);
}

PStrPtr PStrTimeStr(int32_t seconds) {
  // One row per form, from days down; a form shows its first unit and every
  // lower one, even when zero.
  static const char* const kUnits[4][4] = {
      {"D ", "H ", "M ", "S"},
      {"Hr ", "Min ", "Sec", nullptr},
      {" Min.  ", " Sec.", nullptr, nullptr},
      {" Seconds", nullptr, nullptr, nullptr},
  };
  const uint32_t magnitude = Magnitude(seconds);
  const uint32_t parts[4] = {magnitude / 86400, (magnitude / 3600) % 24, (magnitude / 60) % 60,
                             magnitude % 60};
  int form = 0;
  while (form < 3 && parts[form] == 0) ++form;

  PStr255 s = {0};
  if (seconds < 0) PStrAppendChar(s, '-');
  if (form == 3 && parts[3] == 1) {
    AppendText(s, "1 Second");
  } else {
    for (int i = 0; form + i < 4; ++i) {
      AppendUnsigned(s, parts[form + i]);
      AppendText(s, kUnits[form][i]);
    }
  }
  return Temporary(s);
}

namespace {

uint32_t CurrentSecond() {
  const time_t now = time(nullptr);
  return now > 0 ? static_cast<uint32_t>(static_cast<uint64_t>(now)) : 0u;
}

// Calendar time in the local zone.  Offsets are applied in 64 bits, so the day
// before second 0 is 31 December 1969 and not a date in 2106.
struct tm LocalTime(int64_t second) {
  struct tm result;
  const time_t t = static_cast<time_t>(second);
  if (localtime_r(&t, &result) == nullptr) memset(&result, 0, sizeof result);
  return result;
}

bool SameDay(const struct tm& a, const struct tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday;
}

}  // namespace

PStrPtr PStrDateStr(uint32_t theSecond, uint32_t curSecond) {
  if (curSecond == 1) curSecond = CurrentSecond();
  if (theSecond == 0) theSecond = curSecond != 0 ? curSecond : CurrentSecond();

  const struct tm when = LocalTime(theSecond);
  PStr255 s = {0};
  const int hour = when.tm_hour % 12;
  AppendUnsigned(s, static_cast<uint32_t>(hour == 0 ? 12 : hour));
  PStrAppendChar(s, ':');
  AppendTwoDigits(s, when.tm_min);
  PStrAppendChar(s, ':');
  AppendTwoDigits(s, when.tm_sec);
  AppendText(s, when.tm_hour < 12 ? "AM" : "PM");

  static const struct {
    int64_t offset;
    const char* name;
  } kRelativeDays[] = {{0, " Today"}, {86400, " Tomorrow"}, {-86400, " Yesterday"}};
  for (const auto& day : kRelativeDays) {
    if (SameDay(LocalTime(static_cast<int64_t>(curSecond) + day.offset), when)) {
      AppendText(s, day.name);
      return Temporary(s);
    }
  }

  PStrAppendChar(s, ' ');
  AppendUnsigned(s, static_cast<uint32_t>(when.tm_mon + 1));
  PStrAppendChar(s, '/');
  AppendUnsigned(s, static_cast<uint32_t>(when.tm_mday));
  PStrAppendChar(s, '/');
  const int year = when.tm_year + 1900;
  AppendTwoDigits(s, year >= 0 ? year % 100 : -(year % 100));
  return Temporary(s);
}

PStrPtr PStrKStr(uint32_t theNum) {
  return PStrAppendChar(PStrNumericalStr(static_cast<int32_t>(theNum >> 10)), 'K');
}

PStrPtr PStrKSStr(int32_t theNum) {
  return PStrAppendChar(PStrNumericalStr(theNum / 1024), 'K');
}
