// Conversions of doubles to 32-bit integers: fractions as fixed-point
// factors, rounding half away from zero, 16.16 / 2.14 / 22.10 scalings,
// floor and ceiling, some clamped to -32767..32767.
//
// The base step of every operation is DoubleToInt32: truncation toward zero
// that saturates at the 32-bit limits and maps not-a-number to 0, so no input
// can trigger an undefined conversion.  The plain names take the value, the
// names ending in 2 take a pointer to it.
#ifndef QVKIT_TEXT_ROUNDUTILS_H
#define QVKIT_TEXT_ROUNDUTILS_H

#include <cstdint>

// Inline: it sits in the inner loops of callers that convert per element.
inline int32_t DoubleToInt32(double n) {
  if (n != n) return 0;  // not-a-number
  if (n >= 2147483648.0) return INT32_MAX;
  if (n <= -2147483649.0) return INT32_MIN;
  return int32_t(n);
}

int32_t CalcFactor(double n);
int32_t CalcFactor2(const double* n);
int32_t CalcLFactor(double n);
int32_t CalcLFactor2(const double* n);
double CalcRFactor(double n);
double CalcRFactor2(const double* n);
void CalcRFactor3(double* n);
int32_t SplitFactor(double* n);

int32_t ARound(double n);
int32_t ARound2(const double* n);
int32_t ARoundI(double n);
int32_t ARoundI2(const double* n);
int32_t LRound(double n);
int32_t LRound2(const double* n);
int32_t IRound(double n);
int32_t IRound2(const double* n);
int32_t IRoundR(float n);
int32_t IRoundR2(const float* n);
int32_t ITrunc(double n);
int32_t ITrunc2(const double* n);
int32_t FTrunc(double n);
int32_t FTrunc2(const double* n);
int32_t Floor(double n);
int32_t Floor2(const double* n);
int32_t TruncHi(double n);
int32_t TruncHi2(const double* n);
int32_t Ceil(double n);
int32_t Ceil2(const double* n);
int32_t TruncLo(double n);
int32_t TruncLo2(const double* n);

#endif
