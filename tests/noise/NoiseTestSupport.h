// Allocators for the noise tables that let a test look at what was made.
#ifndef QVKIT_TESTS_NOISE_NOISETESTSUPPORT_H
#define QVKIT_TESTS_NOISE_NOISETESTSUPPORT_H

#include <cstdint>
#include <cstdlib>

struct TableAllocator {
  static void* lastBlock;
  static uint32_t lastSize;
  static int frees;
  static void* Allocate(uint32_t size) {
    lastSize = size;
    lastBlock = malloc(size);
    return lastBlock;
  }
  static void* Refuse(uint32_t size) {
    lastSize = size;
    return nullptr;
  }
  static void Release(void* block) {
    ++frees;
    free(block);
  }
};

inline void* TableAllocator::lastBlock = nullptr;
inline uint32_t TableAllocator::lastSize = 0;
inline int TableAllocator::frees = 0;

// A fixed stream of test positions in [-range, range).
struct Positions {
  uint32_t state = 12345;
  float Next(float range) {
    state = state * 1664525u + 1013904223u;
    return (static_cast<float>(state >> 8) * 0x1p-24f * 2.0f - 1.0f) * range;
  }
};

#endif
