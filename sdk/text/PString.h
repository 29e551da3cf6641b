// P-strings: a length byte (0..255) followed by that many Mac OS Roman
// characters.  Positions count from 1 and a failed search gives 0.  No
// operation ever makes a string longer than 255 characters: each one that
// could truncates instead.
//
// Functions documented as returning a temporary write into a ring of 20
// shared slots (PStrNext): a temporary stays valid while up to 19 further
// temporaries are taken, so copy any result you must keep.
#ifndef QVKIT_TEXT_PSTRING_H
#define QVKIT_TEXT_PSTRING_H

#include <cstdint>

typedef unsigned char PStr255[256];
typedef unsigned char* PStrPtr;
typedef const unsigned char* ConstPStrPtr;

enum { kPStrMaxLength = 255, kPStrQueueSize = 20 };

// The empty P-string: a single zero length byte.
extern const unsigned char aEmptyPStr[1];

// Zero-terminated strings (0-based; a failed search gives -1).
uint32_t CStrLength(const char* theString);
int32_t CStrIn(int32_t ch, const char* theString);
void CStrCpy(char* dst, const char* src);

// Conversions.  A null destination takes a temporary.
PStrPtr PStrC2P(char* cStr);          // in place; keeps the first 255 characters
char* PStrP2C(PStrPtr pStr);          // in place; the buffer needs length + 1 bytes
PStrPtr PStrCToP(const char* cStr, PStrPtr pStr);
char* PStrPToC(ConstPStrPtr pStr, char* cStr);
PStrPtr PS(const char* cStr);         // temporary
char* CS(ConstPStrPtr pStr);          // temporary

// The ring of temporaries.
PStrPtr PStrNext();

// Copies and appends (destination first; a null destination takes a temporary).
PStrPtr PStrCpy(PStrPtr dst, ConstPStrPtr src);
PStrPtr PStrAppend(PStrPtr dst, ConstPStrPtr src);
PStrPtr PStrAppendChar(PStrPtr theStr, int32_t theChar);
// A temporary: firstStr followed by every further string up to a null pointer.
PStrPtr PStrConcat(ConstPStrPtr firstStr, ...);

int32_t PStrCompare(ConstPStrPtr a, ConstPStrPtr b);
uint32_t PStrIn(int32_t ch, ConstPStrPtr theString);
uint32_t PStrPos(ConstPStrPtr subStr, ConstPStrPtr theString);

PStrPtr PStrSub(ConstPStrPtr source, uint32_t index, uint32_t count);  // temporary
void PStrDelete(PStrPtr dest, uint32_t index, uint32_t count);
PStrPtr PStrOmit(ConstPStrPtr str, uint32_t index, uint32_t count);    // temporary
void PStrInsert(ConstPStrPtr source, PStrPtr dest, uint32_t index);
PStrPtr PStrInclude(ConstPStrPtr source, ConstPStrPtr str, uint32_t index);  // temporary

void PStrUpperCase(PStrPtr theString);
PStrPtr PStrUpCase(ConstPStrPtr theString);  // temporary
void PStrStrip(PStrPtr theString);

PStrPtr PStrType(uint32_t theType);  // temporary
uint32_t MakeType(const char* str);
PStrPtr PStrNum(int32_t theNum);     // temporary

char* PrintPStr(ConstPStrPtr pStr);  // temporary
const char* PrintBoolean(int32_t b);

// Private copies of the host client: at most 255 characters.
void CopyStr(PStrPtr dst, const char* src);
void CopyPStr(PStrPtr dst, ConstPStrPtr src);

#endif
