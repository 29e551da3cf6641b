#include "text/PString.h"

#include <cstdarg>
#include <cstring>

const unsigned char aEmptyPStr[1] = {0};

namespace {

PStr255 pStrQueue[kPStrQueueSize];
int32_t pStrQueueIndex = 0;

// Copies at most 255 characters of a zero-terminated string into pStr.
void CToPLimited(const char* cStr, PStrPtr pStr) {
  uint32_t length = 0;
  while (length < kPStrMaxLength && cStr[length] != 0) {
    pStr[length + 1] = static_cast<unsigned char>(cStr[length]);
    ++length;
  }
  pStr[0] = static_cast<unsigned char>(length);
}

}  // namespace

uint32_t CStrLength(const char* theString) {
  uint32_t length = 0;
  while (theString[length] != 0) ++length;
  return length;
}

int32_t CStrIn(int32_t ch, const char* theString) {
  const unsigned char wanted = static_cast<unsigned char>(ch);
  for (int32_t i = 0; theString[i] != 0; ++i)
    if (static_cast<unsigned char>(theString[i]) == wanted) return i;
  return -1;
}

void CStrCpy(char* dst, const char* src) {
  while ((*dst++ = *src++) != 0) {
  }
}

PStrPtr PStrC2P(char* cStr) {
  uint32_t length = CStrLength(cStr);
  if (length > kPStrMaxLength) length = kPStrMaxLength;
  std::memmove(cStr + 1, cStr, length);
  cStr[0] = static_cast<char>(length);
  return reinterpret_cast<PStrPtr>(cStr);
}

char* PStrP2C(PStrPtr pStr) {
  const uint32_t length = pStr[0];
  std::memmove(pStr, pStr + 1, length);
  pStr[length] = 0;
  return reinterpret_cast<char*>(pStr);
}

PStrPtr PStrCToP(const char* cStr, PStrPtr pStr) {
  if (pStr == nullptr) pStr = PStrNext();
  CToPLimited(cStr, pStr);
  return pStr;
}

char* PStrPToC(ConstPStrPtr pStr, char* cStr) {
  if (cStr == nullptr) cStr = reinterpret_cast<char*>(PStrNext());
  const uint32_t length = pStr[0];
  std::memmove(cStr, pStr + 1, length);
  cStr[length] = 0;
  return cStr;
}

PStrPtr PS(const char* cStr) { return PStrCToP(cStr, nullptr); }

char* CS(ConstPStrPtr pStr) { return PStrPToC(pStr, nullptr); }

PStrPtr PStrNext() {
  if (pStrQueueIndex >= kPStrQueueSize) pStrQueueIndex = 0;
  return pStrQueue[pStrQueueIndex++];
}

PStrPtr PStrCpy(PStrPtr dst, ConstPStrPtr src) {
  if (dst == nullptr) dst = PStrNext();
  std::memmove(dst, src, size_t(src[0]) + 1);
  return dst;
}

PStrPtr PStrAppend(PStrPtr dst, ConstPStrPtr src) {
  if (dst == nullptr) return PStrCpy(nullptr, src);
  uint32_t length = dst[0];
  uint32_t extra = src[0];
  if (length + extra > kPStrMaxLength) extra = kPStrMaxLength - length;
  std::memmove(dst + 1 + length, src + 1, extra);
  dst[0] = static_cast<unsigned char>(length + extra);
  return dst;
}

PStrPtr PStrAppendChar(PStrPtr theStr, int32_t theChar) {
  if (theStr[0] < kPStrMaxLength) {
    theStr[0]++;
    theStr[theStr[0]] = static_cast<unsigned char>(theChar);
  }
  return theStr;
}

PStrPtr PStrConcat(ConstPStrPtr firstStr, ...) {
  PStrPtr theResult = PStrCpy(nullptr, firstStr);
  va_list args;
  va_start(args, firstStr);
  while (ConstPStrPtr next = va_arg(args, ConstPStrPtr)) PStrAppend(theResult, next);
  va_end(args);
  return theResult;
}

int32_t PStrCompare(ConstPStrPtr a, ConstPStrPtr b) {
  const int32_t lengthA = a[0];
  const int32_t lengthB = b[0];
  const int32_t common = lengthA < lengthB ? lengthA : lengthB;
  for (int32_t i = 1; i <= common; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return lengthA - lengthB;
}

uint32_t PStrIn(int32_t ch, ConstPStrPtr theString) {
  const unsigned char wanted = static_cast<unsigned char>(ch);
  for (uint32_t i = 1; i <= theString[0]; ++i)
    if (theString[i] == wanted) return i;
  return 0;
}

uint32_t PStrPos(ConstPStrPtr subStr, ConstPStrPtr theString) {
  const uint32_t subLength = subStr[0];
  const uint32_t length = theString[0];
  if (subLength > length) return 0;
  // Start positions run from 1 to the length, so nothing is found in an
  // empty string, not even the empty string.
  for (uint32_t start = 1; start <= length && start + subLength <= length + 1; ++start) {
    if (std::memcmp(theString + start, subStr + 1, subLength) == 0) return start;
  }
  return 0;
}

namespace {

// Clips count so that [index, index + count) stays within the string.
uint32_t ClippedCount(ConstPStrPtr theString, uint32_t index, uint32_t count) {
  const uint32_t end = uint32_t(theString[0]) + 1;
  if (index >= end) return 0;
  if (count > end - index) count = end - index;
  return count;
}

}  // namespace

PStrPtr PStrSub(ConstPStrPtr source, uint32_t index, uint32_t count) {
  PStrPtr theResult = PStrNext();
  if (index == 0) index = 1;
  count = ClippedCount(source, index, count);
  std::memmove(theResult + 1, source + index, count);
  theResult[0] = static_cast<unsigned char>(count);
  return theResult;
}

void PStrDelete(PStrPtr dest, uint32_t index, uint32_t count) {
  if (index == 0) index = 1;
  count = ClippedCount(dest, index, count);
  if (count == 0) return;
  const uint32_t length = dest[0];
  std::memmove(dest + index, dest + index + count, length + 1 - index - count);
  dest[0] = static_cast<unsigned char>(length - count);
}

PStrPtr PStrOmit(ConstPStrPtr str, uint32_t index, uint32_t count) {
  PStrPtr theResult = PStrCpy(nullptr, str);
  PStrDelete(theResult, index, count);
  return theResult;
}

void PStrInsert(ConstPStrPtr source, PStrPtr dest, uint32_t index) {
  const uint32_t srcLength = source[0];
  uint32_t dstLength = dest[0];
  if (srcLength + dstLength > kPStrMaxLength) dstLength = kPStrMaxLength - srcLength;
  if (index == 0) index = 1;
  if (index > dstLength) index = dstLength + 1;
  if (index <= dstLength)
    std::memmove(dest + index + srcLength, dest + index, dstLength - index + 1);
  std::memmove(dest + index, source + 1, srcLength);
  dest[0] = static_cast<unsigned char>(srcLength + dstLength);
}

PStrPtr PStrInclude(ConstPStrPtr source, ConstPStrPtr str, uint32_t index) {
  PStrPtr theResult = PStrCpy(nullptr, str);
  PStrInsert(source, theResult, index);
  return theResult;
}

void PStrUpperCase(PStrPtr theString) {
  for (uint32_t i = 1; i <= theString[0]; ++i)
    if (theString[i] >= 'a' && theString[i] <= 'z') theString[i] -= 32;
}

PStrPtr PStrUpCase(ConstPStrPtr theString) {
  PStrPtr theResult = PStrCpy(nullptr, theString);
  PStrUpperCase(theResult);
  return theResult;
}

void PStrStrip(PStrPtr theString) {
  uint32_t kept = 0;
  for (uint32_t i = 1; i <= theString[0]; ++i)
    if (theString[i] != ' ') theString[++kept] = theString[i];
  theString[0] = static_cast<unsigned char>(kept);
}

PStrPtr PStrType(uint32_t theType) {
  PStrPtr theResult = PStrNext();
  theResult[0] = 4;
  for (int i = 0; i < 4; ++i)
    theResult[i + 1] = static_cast<unsigned char>(theType >> (24 - 8 * i));
  return theResult;
}

uint32_t MakeType(const char* str) {
  uint32_t theType = 0;
  for (int i = 0; i < 4; ++i) theType = (theType << 8) | static_cast<unsigned char>(str[i]);
  return theType;
}

PStrPtr PStrNum(int32_t theNum) {
  PStrPtr theResult = PStrNext();
  // Work on the magnitude as unsigned so the most negative value has one.
  uint32_t magnitude = theNum < 0 ? 0u - uint32_t(theNum) : uint32_t(theNum);
  unsigned char digits[10];
  int count = 0;
  do {
    digits[count++] = static_cast<unsigned char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  int length = 0;
  if (theNum < 0) theResult[++length] = '-';
  while (count > 0) theResult[++length] = digits[--count];
  theResult[0] = static_cast<unsigned char>(length);
  return theResult;
}

char* PrintPStr(ConstPStrPtr pStr) { return PStrPToC(pStr, nullptr); }

const char* PrintBoolean(int32_t b) {
  return static_cast<unsigned char>(b) != 0 ? "1" : "0";
}

void CopyStr(PStrPtr dst, const char* src) { CToPLimited(src, dst); }

void CopyPStr(PStrPtr dst, ConstPStrPtr src) {
  std::memmove(dst + 1, src + 1, src[0]);
  dst[0] = src[0];
}
