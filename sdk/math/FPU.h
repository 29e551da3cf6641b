// Floating-point storage forms and repair.
//
// The 80-bit extended format is kept in two byte forms:
//  - 10 bytes: bytes 0..7 the 64-bit significand with its explicit leading
//    bit (least significant byte first), bytes 8..9 the sign (bit 15) and
//    the exponent biased by 16383 (least significant byte first);
//  - 12 bytes: the same significand, two zero padding bytes, then the
//    sign-and-exponent word in bytes 10..11.
// Values that must not be stored (negative zero, infinities, not-a-numbers)
// are recognised and repaired by the Validate and Fix functions.
#ifndef QVKIT_MATH_FPU_H
#define QVKIT_MATH_FPU_H

#include <cstdint>

// Views of one float's 32 bits (little-endian: the low half comes first).
// The kit's own functions copy bytes rather than read a view other than the
// one last written.
union RealRecord {
  float r;
  int32_t l;
  struct {
    int16_t i2, i1;
  };
  struct {
    uint8_t b4, b3, b2, b1;
  };
};
typedef RealRecord* RealRecordPtr;
static_assert(sizeof(RealRecord) == 4, "RealRecord is 4 bytes");

// Views of one double's 64 bits, lowest part first.
union DoubleRecord {
  double d;
  struct {
    int32_t l2, l1;
  };
  struct {
    int16_t i4, i3, i2, i1;
  };
  struct {
    uint8_t b8, b7, b6, b5, b4, b3, b2, b1;
  };
};
typedef DoubleRecord* DoubleRecordPtr;
static_assert(sizeof(DoubleRecord) == 8, "DoubleRecord is 8 bytes");

// Pure byte moves between the 12- and 10-byte forms; every pattern passes.
void ConvertFloat12To10(const void* the12, void* the10);
void ConvertFloat10To12(const void* the10, void* the12);

// Extended to double: zero stays zero (with its sign), exponent 0x7FFF gives
// an infinity of the stored sign (not-a-numbers included), anything else is
// rounded to the double's precision and range.
void ConvertFloat10To8(const void* the10, double* the8);
// Double to extended: exact for every finite double; -0.0 becomes +0, and
// infinities and not-a-numbers become infinities (a not-a-number as +inf).
void ConvertFloat8To10(const double* the8, void* the10);
void ConvertFloat12To8(const void* the12, double* the8);
void ConvertFloat8To12(const double* the8, void* the12);

// The float whose bit pattern is h, and the bit pattern of f.
float HexFloat(int32_t h);
int32_t FloatHex(float f);

// Non-zero when the value may be stored.  Negative zero is overwritten with
// positive zero (and may be stored); infinities and not-a-numbers are
// rejected and left as they are.
int ValidateReal(float* theValue);
int ValidateDouble(double* theValue);

// The value, or 0.0 for negative zero, an infinity or a not-a-number.
float FixReal(float theValue);
double FixDouble(double theValue);

#endif
