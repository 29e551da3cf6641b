// What the fake services of GlueFakeServices.cpp saw on their last call.
// Shared with the glue's test without bringing in the glue's declarations,
// so the fakes are plain extern "C" functions as a host would define them.
#ifndef TESTS_HOST_GLUEFAKES_H
#define TESTS_HOST_GLUEFAKES_H

#include <string>

#include "host/QVTypes.h"

namespace gluefake {

// The calls made, and the last one's handle, text pointer and other
// arguments printed in order.
struct Seen {
  int calls;
  const void* handle;
  const char* text;
  std::string args;
};
extern Seen seen;

}  // namespace gluefake

#endif
