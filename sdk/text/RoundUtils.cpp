#include "text/RoundUtils.h"

#include <cmath>

namespace {

constexpr int32_t kClamp16 = 32767;

int32_t Clamp16(int32_t value) {
  if (value > kClamp16) return kClamp16;
  if (value < -kClamp16) return -kClamp16;
  return value;
}

// floor(n) from the truncation; a saturated minimum is returned as it is.
int32_t FloorOf(double n) {
  const int32_t t = DoubleToInt32(n);
  if (t == INT32_MIN) return t;
  return double(t) > n ? t - 1 : t;
}

// ceiling(n) from the truncation; a saturated maximum is returned as it is.
int32_t CeilOf(double n) {
  const int32_t t = DoubleToInt32(n);
  if (t == INT32_MAX) return t;
  return double(t) < n ? t + 1 : t;
}

double FractionOf(double n) { return n - double(FloorOf(n)); }

}  // namespace

int32_t CalcFactor(double n) { return DoubleToInt32(FractionOf(n) * 1024.0); }
int32_t CalcFactor2(const double* n) { return CalcFactor(*n); }
int32_t CalcLFactor(double n) { return DoubleToInt32(FractionOf(n) * 16384.0); }
int32_t CalcLFactor2(const double* n) { return CalcLFactor(*n); }
double CalcRFactor(double n) { return FractionOf(n); }
double CalcRFactor2(const double* n) { return FractionOf(*n); }
void CalcRFactor3(double* n) { *n = FractionOf(*n); }

int32_t SplitFactor(double* n) {
  const int32_t t = DoubleToInt32(*n);
  *n = *n - double(t);
  if (t == INT32_MIN) return t;
  if (*n < 0.0) {
    *n = *n + 1.0;
    return t - 1;
  }
  return t;
}

int32_t ARound(double n) { return DoubleToInt32(n >= 0.0 ? n + 0.5 : n - 0.5); }
int32_t ARound2(const double* n) { return ARound(*n); }
int32_t ARoundI(double n) { return Clamp16(ARound(n)); }
int32_t ARoundI2(const double* n) { return ARoundI(*n); }
int32_t LRound(double n) { return DoubleToInt32(n * 65536.0); }
int32_t LRound2(const double* n) { return LRound(*n); }
int32_t IRound(double n) { return Clamp16(DoubleToInt32(n * 16384.0)); }
int32_t IRound2(const double* n) { return IRound(*n); }
int32_t IRoundR(float n) { return IRound(double(n)); }
int32_t IRoundR2(const float* n) { return IRound(double(*n)); }
int32_t ITrunc(double n) { return Clamp16(FloorOf(n)); }
int32_t ITrunc2(const double* n) { return ITrunc(*n); }
int32_t FTrunc(double n) { return FloorOf(n * 1024.0); }
int32_t FTrunc2(const double* n) { return FTrunc(*n); }
int32_t Floor(double n) { return FloorOf(n); }
int32_t Floor2(const double* n) { return FloorOf(*n); }
int32_t TruncHi(double n) { return FloorOf(n); }
int32_t TruncHi2(const double* n) { return FloorOf(*n); }
int32_t Ceil(double n) { return CeilOf(n); }
int32_t Ceil2(const double* n) { return CeilOf(*n); }

int32_t TruncLo(double n) {
  const int32_t t = DoubleToInt32(n);
  if (t == INT32_MAX) return t;
  // floor(n) + 1: t itself when truncation went up, else the next integer.
  return double(t) > n ? t : t + 1;
}
int32_t TruncLo2(const double* n) { return TruncLo(*n); }
