#include "host/PluginClient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "text/System.h"

namespace {

// A host procedure that records the selectors and sizes it was sent and
// answers from a script.
using Calls = std::vector<std::pair<IFFType, int32_t>>;
struct Fake {
  Calls calls;
  int32_t answer = 0;
  int32_t setTick = 0;  // stored into theStatusTick of each "STAT"
  void* freed = nullptr;  // by "MFRE"; "MMAL" hands out &hostToken
} fake;
int hostToken;

int32_t HostProc(IFFType selector, int32_t size, void* rec) {
  fake.calls.emplace_back(selector, size);
  EXPECT_EQ(*static_cast<void**>(rec), &hostToken) << "theReference must be passed back";
  if (selector == kHostStatus && fake.setTick != 0)
    static_cast<HostStatusRec*>(rec)->theStatusTick = fake.setTick;
  if (selector == kHostMemMalloc) static_cast<HostMemMallocRec*>(rec)->thePtr = &hostToken;
  if (selector == kHostMemFree) fake.freed = static_cast<HostMemFreeRec*>(rec)->thePtr;
  return fake.answer;
}

struct PluginClient : ::testing::Test {
  PluginInfoRec info{};
  void SetUp() override {
    fake = Fake();
    info.theHostProc = hostProc = HostProc;
    info.theHostReference = hostReference = &hostToken;
    result = 0;
    std::memset(&theStatusRec, 0, sizeof theStatusRec);
    theStatusRec.theReference = &hostToken;
  }
};

// A failed report latches; reports stop until a reset, which always calls
// and replaces the latch with its own result.  A null routine answers 3.
TEST_F(PluginClient, TheLatchStopsReportsUntilAReset) {
  UpdateStatus(0.5f, 3);
  EXPECT_EQ(theStatusRec.theStatusPos * theStatusRec.theStatusValue, 1.5f);
  fake.answer = 4;
  UpdateStatus(0.6f, 4);
  UpdateStatus(0.7f, 5);
  EXPECT_EQ(result, 4);
  EXPECT_EQ(theStatusRec.theStatusValue, 4);
  SendModelReset(&info);
  fake.answer = 0;
  SendModelReset(&info);
  UpdateStatus(0.8f, 6);
  const std::pair<IFFType, int32_t> stat{kHostStatus, sizeof(HostStatusRec)},
      reset{kHostModelReset, sizeof(HostModelResetRec)};
  EXPECT_EQ(fake.calls, (Calls{stat, stat, reset, reset, stat}));
  info.theHostProc = nullptr;
  SendModelReset(&info);
  EXPECT_EQ(result, kPluginBadParameters);
}

// Due while the host has set no tick, else once the clock reaches it,
// compared unsigned.
TEST_F(PluginClient, StatusTimeFollowsTheHostTick) {
  EXPECT_TRUE(StatusTime());
  theStatusRec.theStatusTick = int32_t(TickCount() + 600);
  EXPECT_FALSE(StatusTime());
  theStatusRec.theStatusTick = int32_t(TickCount());
  EXPECT_TRUE(StatusTime());
  theStatusRec.theStatusTick = int32_t(TickCount() | 0x80000000u);
  EXPECT_TRUE(uint32_t(theStatusRec.theStatusTick) <= TickCount() + 60 || !StatusTime());
}

TEST_F(PluginClient, DescribesKnownCodesOnly) {
  PStr255 text;
  const std::pair<int32_t, std::string> known[] = {
      {3, "Incompatible plug-in parameter record was received"},
      {8, "A requested plug-in feature or mode is not supported"}, {7, ""}, {9, ""}, {-1, ""}};
  for (const auto& k : known) {
    text[0] = 99;
    DescribePluginError(k.first, text);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), text[0]), k.second) << k.first;
  }
}

TEST_F(PluginClient, HostMemoryUsesTheCallersLatch) {
  int32_t latch = 0;
  void* p = nullptr;
  QVPluginMalloc(&info, &latch, 64, &p);
  QVPluginFree(&info, &latch, p);
  EXPECT_EQ(fake.freed, p);
  EXPECT_EQ(p, &hostToken);
  EXPECT_EQ(fake.calls, (Calls{{kHostMemMalloc, sizeof(HostMemMallocRec)},
                                {kHostMemFree, sizeof(HostMemFreeRec)}}));
  latch = 1;  // a set latch: no calls
  QVPluginMalloc(&info, &latch, 64, &p);
  QVPluginFree(&info, &latch, p);
  EXPECT_EQ(fake.calls.size(), 2u);
  latch = 0;
  fake.answer = 1;
  QVPluginMalloc(&info, &latch, 1u << 31, &p);
  EXPECT_EQ(latch, 1);
  EXPECT_EQ(result, 0) << "the kit's latch is the caller's, not the module's";
}

// Setup always reports (unless latched); finish only once the host throttled.
TEST_F(PluginClient, StatusRoutines) {
  HostStatusRec status;
  std::memset(&status, 0xCC, sizeof status);
  int32_t latch = 0;
  QVPluginStatusSetup(&info, &status, PS("Frame"), PS("Rendering"), 1, 10, 0.0f, 1, &latch);
  EXPECT_EQ(status.theStatusTick, 0);
  EXPECT_EQ(status.theStatusMin * 100 + status.theStatusMax, 110);
  EXPECT_EQ(std::string(CS(status.theStatusUnit)) + CS(status.theStatusInfo), "FrameRendering");
  QVPluginStatusFinish(&info, &status, &latch);
  EXPECT_EQ(fake.calls.size(), 1u);
  fake.setTick = 12345;
  QVPluginStatusUpdate(&info, &status, 0.5f, 5, &latch);
  QVPluginStatusFinish(&info, &status, &latch);
  QVPluginStatusCheck(&info, &status, &latch);
  EXPECT_EQ(fake.calls.size(), 3u);
  EXPECT_EQ(status.theStatusValue, 10);
  EXPECT_EQ(status.theStatusPos, 1.0f);
  latch = 4;
  QVPluginStatusSetup(&info, &status, PS("a"), PS("b"), 0, 1, 0.0f, 0, &latch);
  EXPECT_EQ(fake.calls.size(), 3u);
}

}  // namespace
