// Generated host sessions against the plug-in: every command returns in time,
// records refused for their size stay untouched, and every successful "GENM"
// leaves sound pool lists behind.  The fuzzer's seed corpus is checked too.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "ParticleDriver.h"
#include "ParticleStore.h"

namespace {

// Every hundredth session adds costly extremes; each goes through the byte
// form, as the fuzzer hands it over.
TEST(ParticleRobust, GeneratedAndSeedSessionsPass) {
  for (uint64_t i = 0; i < 3000; ++i) {
    const std::vector<uint8_t> bytes = EncodeScenario(GenerateScenario(0x5EED2026 + i, i % 100 == 0));
    const DriverScenario decoded = DecodeScenario(bytes.data(), bytes.size());
    ASSERT_EQ(EncodeScenario(decoded), bytes) << "session " << i;
    ASSERT_EQ(RunScenario(decoded), "") << "session " << i;
  }
  for (const auto& [name, scenario] : SeedScenarios()) {
    std::ifstream file(std::string(PLM_CORPUS_DIR) + "/" + name, std::ios::binary);
    EXPECT_TRUE(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}) == EncodeScenario(scenario))
        << name << ": regenerate fuzz/corpus with particle_fuzz_seeds";
    EXPECT_EQ(RunScenario(scenario), "") << name;
  }
  std::cout << FormatDriverStats();
}

// Any byte string decodes: a cut step reads its missing bytes as 0, kinds
// wrap, and no more than kDriverMaxOps steps are read.
TEST(ParticleRobust, DecodingIsTotal) {
  const uint8_t cut[] = {uint8_t(DriverOpKind::kCount) + uint8_t(DriverOpKind::kSetup), 3};
  const DriverScenario s = DecodeScenario(cut, sizeof cut);
  EXPECT_TRUE(s.size() == 1 && s[0].kind == DriverOpKind::kSetup && s[0].a == 3 && s[0].b == 0 &&
              s[0].bytes.empty());
  EXPECT_EQ(DecodeScenario(std::vector<uint8_t>(999).data(), 999).size(), kDriverMaxOps);
}

// A pool of links.size() slots with the given heads and count, checked with
// a working block `shortBy` bytes too small.
std::string CheckPool(std::vector<int32_t> links, int32_t active, int32_t free, int32_t count,
                      int32_t shortBy = 0) {
  ControlDataRec c{};
  c.maxParticles = int32_t(links.size()), c.firstActive = active, c.firstInactive = free, c.particleCount = count;
  std::vector<uint8_t> data(sizeof(PluginDataRec) + links.size() * sizeof(ParticleRec), 0);
  for (size_t i = 0; i < links.size(); ++i)
    std::memcpy(&data[sizeof(PluginDataRec) + i * sizeof(ParticleRec) + offsetof(ParticleRec, link)], &links[i], 4);
  return CheckPoolLists(reinterpret_cast<const uint8_t*>(&c), sizeof c, data.data(), int32_t(data.size()) - shortBy);
}

TEST(ParticleRobust, PoolCheckFindsBrokenLists) {
  // Active 2 -> 0, free 1 -> 3: sound; so are an empty and a full pool.
  EXPECT_EQ(CheckPool({-1, 3, 0, -1}, 2, 1, 2) + CheckPool({1, 2, -1}, -1, 0, 0) +
                CheckPool({1, -1}, 0, -1, 2), "");
  const std::pair<std::string, const char*> broken[] = {
      {CheckPool({-1, 3, 0, -1}, 2, 1, 3), "particleCount is 3"},
      {CheckPool({-1, 3, 0, 0}, 2, 1, 2), "slot 0 is reached again on the free list"},
      {CheckPool({-1, 3, 2, -1}, 2, 1, 2), "slot 2 is reached again on the active list"},
      {CheckPool({-1, 3, 0, 4}, 2, 1, 2), "the free list leaves the pool of 4 slots: link 4"},
      {CheckPool({-1, 3, 0, -1}, -2, 1, 0), "the active list leaves the pool of 4 slots: head -2"},
      {CheckPool({-1, -1, 0, -1}, 2, 1, 2), "1 of 4 slots are on neither list"},
      {CheckPool({}, -1, -1, 0), "maxParticles is 0"},
      {CheckPool({-1, 3, 0, -1}, 2, 1, 2, 1), "the working block holds"},
      {CheckPoolLists(nullptr, 0, nullptr, 0), "the settings block holds 0"},
  };
  for (const auto& [why, expected] : broken)
    EXPECT_NE(why.find(expected), std::string::npos) << expected << " / " << why;
}

}  // namespace
