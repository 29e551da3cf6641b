// libFuzzer target: each input is a host session for the particle plug-in
// (see tests/robust/ParticleDriver.h).  A failed check aborts, so the input
// is kept as a crash; the totals and the slowest command print at exit.
#include <cstdio>
#include <cstdlib>

#include "ParticleDriver.h"

namespace {

void PrintTotals() { std::fputs(FormatDriverStats().c_str(), stderr); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (std::atexit(PrintTotals), true);
  (void)registered;
  const std::string failure = RunScenario(DecodeScenario(data, size));
  if (!failure.empty()) {
    std::fprintf(stderr, "particle driver: %s\n", failure.c_str());
    std::abort();
  }
  return 0;
}
