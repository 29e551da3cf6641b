// Writes the fuzzer's seed corpus: one file per named session, in the byte
// form the driver decodes.  Usage: particle_fuzz_seeds DIRECTORY
#include <cstdio>
#include <fstream>

#include "ParticleDriver.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
    return 2;
  }
  for (const auto& [name, scenario] : SeedScenarios()) {
    const std::vector<uint8_t> bytes = EncodeScenario(scenario);
    std::ofstream out(std::string(argv[1]) + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) {
      std::fprintf(stderr, "cannot write %s/%s\n", argv[1], name.c_str());
      return 1;
    }
  }
  return 0;
}
