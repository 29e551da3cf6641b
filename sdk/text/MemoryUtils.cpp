#include "text/MemoryUtils.h"

#include <cstring>

namespace {

// Copies count units of type Unit; memcpy per unit keeps unaligned blocks legal.
template <typename Unit>
void CopyUnitsForwards(const unsigned char* src, unsigned char* dst, uint32_t byteCount) {
  for (uint32_t i = 0; i < byteCount; i += sizeof(Unit)) std::memcpy(dst + i, src + i, sizeof(Unit));
}

}  // namespace

void CopySmallBlockForwards(const void* sourcePtr, void* destPtr, uint32_t byteCount) {
  auto* src = static_cast<const unsigned char*>(sourcePtr);
  auto* dst = static_cast<unsigned char*>(destPtr);
  if (byteCount % 4 == 0)
    CopyUnitsForwards<uint32_t>(src, dst, byteCount);
  else if (byteCount % 2 == 1)
    CopyUnitsForwards<uint8_t>(src, dst, byteCount);
  else
    CopyUnitsForwards<uint16_t>(src, dst, byteCount);
}

void CopySmallBlockBackwards(const void* sourcePtr, void* destPtr, uint32_t byteCount) {
  auto* src = static_cast<const unsigned char*>(sourcePtr);
  auto* dst = static_cast<unsigned char*>(destPtr);
  for (uint32_t i = 0; i < byteCount; ++i) dst[byteCount - 1 - i] = src[i];
}

void ZeroMem(uint32_t* startNum, uint32_t rangeNum) { FillMem(startNum, rangeNum, 0); }

void FillMem(uint32_t* startNum, uint32_t rangeNum, uint32_t valueNum) {
  for (uint32_t i = 0; i < rangeNum; ++i) startNum[i] = valueNum;
}
