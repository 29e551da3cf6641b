// Display texts for numbers, durations, dates and sizes.  Fixed English
// words; only the calendar conversion of dates follows the local time zone.
//
// Every function returns a temporary from the P-string ring (see PString.h)
// and takes exactly one slot per call, so it never disturbs more than the
// one temporary it hands back.
#ifndef QVKIT_TEXT_PSTRINGFORMAT_H
#define QVKIT_TEXT_PSTRINGFORMAT_H

#include <cstdint>

#include "text/PString.h"

// Decimal text without grouping or plus sign; INT32_MIN renders in full.
PStrPtr PStrLongStr(int32_t num);
PStrPtr PStrULongStr(uint32_t num);
// A one-character string; theChar is used as an unsigned character.
PStrPtr PStrCharStr(int32_t theChar);

// Fixed-point text.  theDigits >= 0: that many decimals, then trailing zeros
// (and a bare point) after the point are trimmed and "-0" becomes "0".
// theDigits < 0: -theDigits decimals, point always shown, nothing trimmed.
// Text that would pass 255 characters is given in exponent form instead.
PStrPtr PStrFloatStr(double theNum, int32_t theDigits);

// Decimal text with "," between groups of three digits: -1,234,567.
PStrPtr PStrNumericalStr(int32_t theNum);

// A duration in words: "1D 2H 3M 4S", "2Hr 3Min 4Sec", "3 Min.  4 Sec.",
// "45 Seconds", "1 Second", with a leading "-" for negative values.
PStrPtr PStrTimeStr(int32_t seconds);

// Time of day ("3:07:09PM") followed by " Today", " Tomorrow", " Yesterday"
// relative to curSecond, or else by the date (" 1/15/98").  Both arguments
// are seconds since 1 January 1970 UTC.  curSecond 1 means now; theSecond 0
// means curSecond (or now when that is 0 too).
PStrPtr PStrDateStr(uint32_t theSecond, uint32_t curSecond);

// A size in units of 1024 (truncated), grouped, with "K": 1048576 is "1,024K".
PStrPtr PStrKStr(uint32_t theNum);
PStrPtr PStrKSStr(int32_t theNum);

#endif
