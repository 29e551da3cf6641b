// What the fake services of GlueFakeServices.cpp saw on their last call.
// Shared with the glue's test without bringing in the glue's declarations,
// so the fakes are plain extern "C" functions as a host would define them.
#ifndef TESTS_HOST_GLUEFAKES_H
#define TESTS_HOST_GLUEFAKES_H

#include "host/QVTypes.h"

namespace gluefake {

struct Seen {
  int calls;
  const void* handle;
  const void* handle2;
  const char* text;
  const char* text2;
  int ints[5];
  uint32_t code;
  QV_Rect rect;
  QV_Color color1, color2;
  uint8_t byte;
  int16_t int16;
  float real;
  double dbl;
};

extern Seen seen;

// The services faked here, by name.
extern const char* const kFakedNames[];
extern const int kFakedCount;

// Fixed results the fakes give back.
extern QV_Dialog theFakeDialog;
extern QV_FileRef theFakeFileRef;
extern char theFakeResource[8];
const int kFakePickResult = 0x5A;

}  // namespace gluefake

#endif
