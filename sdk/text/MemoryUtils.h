// Small block copies and word fills.
#ifndef QVKIT_TEXT_MEMORYUTILS_H
#define QVKIT_TEXT_MEMORYUTILS_H

#include <cstdint>

// Ascending copy in the widest unit that divides byteCount (4, else 1 when
// odd, else 2).  Not safe for overlapping blocks.
void CopySmallBlockForwards(const void* sourcePtr, void* destPtr, uint32_t byteCount);
// Reversing copy: destination byte byteCount-1-i receives source byte i.
void CopySmallBlockBackwards(const void* sourcePtr, void* destPtr, uint32_t byteCount);
// Clears / fills rangeNum 32-bit words.
void ZeroMem(uint32_t* startNum, uint32_t rangeNum);
void FillMem(uint32_t* startNum, uint32_t rangeNum, uint32_t valueNum);

#endif
