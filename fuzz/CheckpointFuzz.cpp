// libFuzzer target: the checkpoint reader on any bytes.  An input whose
// first byte is odd gets its checksum made right first, so that the fuzzer
// also reaches everything behind the checksum.  A refused input must say
// why; an accepted one must hold exactly the records its bytes hold.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/Checkpoint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if ((data[0] & 1) != 0 && bytes.size() >= 32) {
    Sha256Digest sum = Sha256Of(bytes.data(), bytes.size() - 32);
    bytes.replace(bytes.size() - 32, 32, reinterpret_cast<const char*>(sum.data()), 32);
  }
  Checkpoint theCheckpoint;
  std::string why;
  bool ok = ParseCheckpoint(bytes, &theCheckpoint, &why);
  if (ok ? theCheckpoint.control.size() + theCheckpoint.data.size() + theCheckpoint.identity.pluginName.size() > bytes.size()
         : why.empty()) {
    std::fprintf(stderr, "checkpoint reader: %s\n", ok ? "records larger than the input" : "refused without a reason");
    std::abort();
  }
  if (ok) {
    // What was read writes back to the same bytes.
    std::string again = CheckpointBytes(theCheckpoint.frame, theCheckpoint.identity, theCheckpoint.control.data(),
                                        uint32_t(theCheckpoint.control.size()), theCheckpoint.data.data(),
                                        uint32_t(theCheckpoint.data.size()));
    if (again != bytes) {
      std::fprintf(stderr, "checkpoint reader: accepted bytes that do not write back the same\n");
      std::abort();
    }
  }
  return 0;
}
