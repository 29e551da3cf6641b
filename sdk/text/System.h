// Platform stand-ins and small helpers: the tick counter, the 1904-based
// clock, byte-order reversal and absolute values.
#ifndef QVKIT_TEXT_SYSTEM_H
#define QVKIT_TEXT_SYSTEM_H

#include <cstdint>

// Ticks of 1/60 s from a monotonic clock; wraps at 2^32.
uint32_t TickCount();
// Seconds since 1 January 1904, 00:00 local time; wraps at 2^32.
uint32_t GetDateTime();

// Reverses size bytes in place (sizes below 2 change nothing).
void ReverseField(void* theField, int32_t size);

int16_t IAbs(int16_t value);  // IAbs(-32768) is -32768
int32_t LAbs(int32_t value);  // LAbs(INT32_MIN) is INT32_MIN
float RAbs(float value);      // -0.0 comes back unchanged
double DAbs(double value);

#endif
