// Generated host sessions against the plug-in: every command returns in time,
// records refused for their size stay untouched, and every successful "GENM"
// leaves sound pool lists behind.  The fuzzer's seed corpus is checked too.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "ParticleDriver.h"
#include "ParticleRecords.h"
#include "ParticleStore.h"

namespace {

constexpr uint64_t kSeed = 0x5EED'2026'0000'0000ull;

TEST(ParticleRobust, GeneratedSessionsKeepThePoolSound) {
  constexpr int kSessions = 3000, kExtremeEvery = 100;
  for (int i = 0; i < kSessions; ++i) {
    DriverScenario s = GenerateScenario(kSeed + uint64_t(i), i % kExtremeEvery == 0);
    std::vector<uint8_t> bytes = EncodeScenario(s);  // as the fuzzer would hand it over
    DriverVerdict v = RunParticleScenario(bytes.data(), bytes.size());
    ASSERT_TRUE(v.ok) << "session " << i << ": " << v.failure;
  }
  std::cout << FormatDriverStats();
  RecordProperty("longest_command_ms", int(DriverStats().longestSeconds * 1000));
}

TEST(ParticleRobust, SeedCorpusIsCurrentAndPasses) {
  for (const auto& [name, scenario] : SeedScenarios()) {
    std::ifstream file(std::string(PLM_CORPUS_DIR) + "/" + name, std::ios::binary);
    std::vector<uint8_t> stored{std::istreambuf_iterator<char>(file), {}};
    EXPECT_EQ(stored, EncodeScenario(scenario))
        << name << ": regenerate fuzz/corpus with particle_fuzz_seeds";
    DriverVerdict v = RunScenario(scenario);
    EXPECT_TRUE(v.ok) << name << ": " << v.failure;
  }
}

// Decoding is total and the byte form round-trips what the generator makes.
TEST(ParticleRobust, ByteFormRoundTrips) {
  for (uint64_t i = 0; i < 200; ++i) {
    std::vector<uint8_t> bytes = EncodeScenario(GenerateScenario(kSeed ^ i, i % 2 == 0));
    DriverScenario back = DecodeScenario(bytes.data(), bytes.size());
    EXPECT_EQ(EncodeScenario(back), bytes) << "seed " << i;
  }
  // A truncated step still decodes (its missing bytes read as zero).
  const uint8_t cut[] = {uint8_t(DriverOpKind::kFrame), 3};
  DriverScenario s = DecodeScenario(cut, sizeof cut);
  ASSERT_EQ(s.ops.size(), 1u);
  EXPECT_EQ(s.ops[0].kind, DriverOpKind::kFrame);
  EXPECT_EQ(s.ops[0].a, 3);
  EXPECT_EQ(s.ops[0].b, 0);
  // No more than kDriverMaxOps steps are read.
  std::vector<uint8_t> many(6 * (kDriverMaxOps + 10), 0);
  EXPECT_EQ(DecodeScenario(many.data(), many.size()).ops.size(), kDriverMaxOps);
}

// The pool check itself must notice each way lists can go wrong.
struct Pool {
  ControlDataRec control{};
  std::vector<uint8_t> data;
  explicit Pool(std::vector<int32_t> links, int32_t active, int32_t free, int32_t count) {
    control.maxParticles = int32_t(links.size());
    control.firstActive = active;
    control.firstInactive = free;
    control.particleCount = count;
    data.assign(sizeof(PluginDataRec) + links.size() * sizeof(ParticleRec), 0);
    for (size_t i = 0; i < links.size(); ++i)
      std::memcpy(data.data() + sizeof(PluginDataRec) + i * sizeof(ParticleRec) +
                      offsetof(ParticleRec, link),
                  &links[i], sizeof(int32_t));
  }
  std::string Check(int32_t dataSize = -1) const {
    return CheckPoolLists(reinterpret_cast<const uint8_t*>(&control), sizeof control, data.data(),
                          dataSize < 0 ? int32_t(data.size()) : dataSize);
  }
};

TEST(ParticleRobust, PoolCheckFindsBrokenLists) {
  // Active 2 -> 0, free 1 -> 3: sound.
  EXPECT_EQ(Pool({-1, 3, 0, -1}, 2, 1, 2).Check(), "");
  EXPECT_EQ(Pool({1, 2, -1}, -1, 0, 0).Check(), "");
  EXPECT_EQ(Pool({1, -1}, 0, -1, 2).Check(), "");
  const struct {
    Pool pool;
    const char* expected;
  } broken[] = {
      {Pool({-1, 3, 0, -1}, 2, 1, 3), "particleCount is 3"},
      {Pool({-1, 3, 0, 0}, 2, 1, 2), "slot 0 is reached again on the free list"},
      {Pool({-1, 3, 2, -1}, 2, 1, 2), "slot 2 is reached again on the active list"},
      {Pool({-1, 3, 0, 4}, 2, 1, 2), "the free list leaves the pool of 4 slots: link 4"},
      {Pool({-1, 3, 0, -1}, -2, 1, 0), "the active list leaves the pool of 4 slots: head -2"},
      {Pool({-1, -1, 0, -1}, 2, 1, 2), "1 of 4 slots are on neither list"},
      {Pool({}, -1, -1, 0), "maxParticles is 0"},
  };
  for (const auto& b : broken)
    EXPECT_NE(b.pool.Check().find(b.expected), std::string::npos)
        << b.expected << " / " << b.pool.Check();
  Pool whole({-1, 3, 0, -1}, 2, 1, 2);
  EXPECT_NE(whole.Check(int32_t(whole.data.size()) - 1).find("the working block holds"),
            std::string::npos);
  EXPECT_NE(CheckPoolLists(nullptr, 0, whole.data.data(), 0).find("settings block holds 0"),
            std::string::npos);
}

}  // namespace
