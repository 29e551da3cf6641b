#include "math/FPU.h"

#include <cmath>
#include <cstring>

namespace {

const uint32_t kRealNegativeZero = 0x80000000u;
const uint32_t kRealExponent = 0x7F800000u;
const uint64_t kDoubleNegativeZero = 0x8000000000000000ull;
const uint64_t kDoubleExponent = 0x7FF0000000000000ull;

uint64_t DoubleBits(double theValue) {
  uint64_t theBits;
  std::memcpy(&theBits, &theValue, sizeof theBits);
  return theBits;
}

// Unsigned value of four bytes, p[3] most significant.
uint32_t Bytes4(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutBytes4(uint8_t* p, uint32_t theValue) {
  p[0] = uint8_t(theValue);
  p[1] = uint8_t(theValue >> 8);
  p[2] = uint8_t(theValue >> 16);
  p[3] = uint8_t(theValue >> 24);
}

}  // namespace

void ConvertFloat12To10(const void* the12, void* the10) {
  const auto* src = static_cast<const uint8_t*>(the12);
  auto* dst = static_cast<uint8_t*>(the10);
  std::memmove(dst, src, 8);
  dst[8] = src[10];
  dst[9] = src[11];
}

void ConvertFloat10To12(const void* the10, void* the12) {
  const auto* src = static_cast<const uint8_t*>(the10);
  auto* dst = static_cast<uint8_t*>(the12);
  // The word first: with the two forms overlapping in place it would
  // otherwise be overwritten by the padding.
  uint8_t theLow = src[8], theHigh = src[9];
  std::memmove(dst, src, 8);
  dst[8] = 0;
  dst[9] = 0;
  dst[10] = theLow;
  dst[11] = theHigh;
}

void ConvertFloat10To8(const void* the10, double* the8) {
  const auto* src = static_cast<const uint8_t*>(the10);
  bool negative = (src[9] & 0x80) != 0;
  int exponent = (src[9] & 0x7F) * 256 + src[8];
  uint32_t hiMant = Bytes4(src + 4);
  uint32_t loMant = Bytes4(src);

  double theResult;
  if (exponent == 0 && hiMant == 0 && loMant == 0) {
    theResult = 0.0;
  } else if (exponent == 0x7FFF) {
    theResult = HUGE_VAL;
  } else {
    // Both terms are exact scalings of 32-bit integers; their sum rounds the
    // 64-bit significand to the double's 53 bits.
    double theHigh = std::ldexp(double(hiMant), exponent - 16383 - 31);
    double theLow = std::ldexp(double(loMant), exponent - 16383 - 63);
    theResult = theHigh + theLow;
  }
  *the8 = negative ? -theResult : theResult;
}

void ConvertFloat8To10(const double* the8, void* the10) {
  auto* dst = static_cast<uint8_t*>(the10);
  double num = *the8;
  uint32_t theWord = 0;
  if (num < 0) {
    theWord = 0x8000;
    num = -num;
  }

  uint32_t hiMant = 0, loMant = 0;
  if (num != 0) {
    int expon = 0;
    double fMant = std::frexp(num, &expon);
    if (expon > 16384 || !(fMant < 1.0)) {
      // An infinity (or a not-a-number, which fails the comparison).
      theWord |= 0x7FFF;
    } else {
      expon += 16382;
      if (expon < 0) {
        fMant = std::ldexp(fMant, expon);
        expon = 0;
      }
      theWord |= uint32_t(expon);
      fMant = std::ldexp(fMant, 32);
      double theFloor = std::floor(fMant);
      hiMant = uint32_t(theFloor);
      fMant = std::ldexp(fMant - theFloor, 32);
      loMant = uint32_t(std::floor(fMant));
    }
  }

  PutBytes4(dst, loMant);
  PutBytes4(dst + 4, hiMant);
  dst[8] = uint8_t(theWord);
  dst[9] = uint8_t(theWord >> 8);
}

void ConvertFloat12To8(const void* the12, double* the8) {
  uint8_t the10[10];
  ConvertFloat12To10(the12, the10);
  ConvertFloat10To8(the10, the8);
}

void ConvertFloat8To12(const double* the8, void* the12) {
  uint8_t the10[10];
  ConvertFloat8To10(the8, the10);
  ConvertFloat10To12(the10, the12);
}

float HexFloat(int32_t h) {
  float f;
  std::memcpy(&f, &h, sizeof f);
  return f;
}

int32_t FloatHex(float f) {
  int32_t h;
  std::memcpy(&h, &f, sizeof h);
  return h;
}

int ValidateReal(float* theValue) {
  uint32_t theBits = uint32_t(FloatHex(*theValue));
  if (theBits == kRealNegativeZero) {
    *theValue = 0.0f;
    return 1;
  }
  return (theBits & kRealExponent) != kRealExponent;
}

int ValidateDouble(double* theValue) {
  uint64_t theBits = DoubleBits(*theValue);
  if (theBits == kDoubleNegativeZero) {
    *theValue = 0.0;
    return 1;
  }
  return (theBits & kDoubleExponent) != kDoubleExponent;
}

float FixReal(float theValue) {
  uint32_t theBits = uint32_t(FloatHex(theValue));
  if (theBits == kRealNegativeZero || (theBits & kRealExponent) == kRealExponent) return 0.0f;
  return theValue;
}

double FixDouble(double theValue) {
  uint64_t theBits = DoubleBits(theValue);
  if (theBits == kDoubleNegativeZero || (theBits & kDoubleExponent) == kDoubleExponent)
    return 0.0;
  return theValue;
}
