#include "host/PluginClient.h"
#include "text/System.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A host procedure that records what it was sent and answers from a script.
struct FakeHost {
  std::vector<IFFType> selectors;
  std::vector<int32_t> sizes;
  int32_t answer = 0;
  int32_t setTick = 0;       // stored into theStatusTick of each "STAT"
  void* block = nullptr;     // handed out by "MMAL"
  void* freed = nullptr;
};
FakeHost* host = nullptr;
int hostToken;

int32_t HostProc(IFFType selector, int32_t size, void* rec) {
  host->selectors.push_back(selector);
  host->sizes.push_back(size);
  EXPECT_EQ(*static_cast<void**>(rec), &hostToken) << "theReference must be passed back";
  if (selector == kHostStatus && host->setTick != 0)
    static_cast<HostStatusRec*>(rec)->theStatusTick = host->setTick;
  if (selector == kHostMemMalloc) static_cast<HostMemMallocRec*>(rec)->thePtr = host->block;
  if (selector == kHostMemFree) host->freed = static_cast<HostMemFreeRec*>(rec)->thePtr;
  return host->answer;
}

class PluginClient : public ::testing::Test {
 protected:
  void SetUp() override {
    host = &fake;
    std::memset(&info, 0, sizeof info);
    info.theHostProc = HostProc;
    info.theHostReference = &hostToken;
    hostProc = HostProc;
    hostReference = &hostToken;
    result = 0;
    std::memset(&theStatusRec, 0, sizeof theStatusRec);
    theStatusRec.theReference = &hostToken;
  }
  void TearDown() override {
    result = 0;
    hostProc = nullptr;
    host = nullptr;
  }
  FakeHost fake;
  PluginInfoRec info;
};

TEST_F(PluginClient, ModelResetAlwaysCallsAndReplacesTheLatch) {
  result = 7;
  SendModelReset(&info);
  ASSERT_EQ(fake.selectors.size(), 1u);
  EXPECT_EQ(fake.selectors[0], kHostModelReset);
  EXPECT_EQ(fake.sizes[0], int32_t(sizeof(HostModelResetRec)));
  EXPECT_EQ(result, 0);
  fake.answer = 4;
  SendModelReset(&info);
  EXPECT_EQ(result, 4);
}

TEST_F(PluginClient, StatusHonoursTheLatch) {
  UpdateStatus(0.5f, 3);
  ASSERT_EQ(fake.selectors.size(), 1u);
  EXPECT_EQ(fake.sizes[0], int32_t(sizeof(HostStatusRec)));
  EXPECT_EQ(theStatusRec.theStatusValue, 3);
  EXPECT_EQ(theStatusRec.theStatusPos, 0.5f);
  fake.answer = 4;  // the user cancels: no further reports
  UpdateStatus(0.6f, 4);
  EXPECT_EQ(result, 4);
  UpdateStatus(0.7f, 5);
  EXPECT_EQ(fake.selectors.size(), 2u);
  EXPECT_EQ(theStatusRec.theStatusValue, 4);
  fake.answer = 0;
  SendModelReset(&info);  // only a reset clears it
  UpdateStatus(0.8f, 6);
  EXPECT_EQ(fake.selectors.size(), 4u);
}

TEST_F(PluginClient, StatusTimeFollowsTheHostTick) {
  theStatusRec.theStatusTick = 0;
  EXPECT_TRUE(StatusTime());
  EXPECT_TRUE(StatusTime());
  theStatusRec.theStatusTick = int32_t(TickCount() + 600);  // ten seconds ahead
  EXPECT_FALSE(StatusTime());
  theStatusRec.theStatusTick = int32_t(TickCount());
  EXPECT_TRUE(StatusTime());
  // Compared unsigned: a tick with the top bit set is in the future, not the past.
  theStatusRec.theStatusTick = int32_t(TickCount() | 0x80000000u);
  if (uint32_t(theStatusRec.theStatusTick) > TickCount() + 60) {
    EXPECT_FALSE(StatusTime());
  }
}

TEST_F(PluginClient, DescribesKnownCodesOnly) {
  PStr255 text;
  DescribePluginError(3, text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), text[0]),
            "Incompatible plug-in parameter record was received");
  DescribePluginError(8, text);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text + 1), text[0]),
            "A requested plug-in feature or mode is not supported");
  for (int32_t code : {7, 9, -1, INT32_MIN}) {
    text[0] = 99;
    DescribePluginError(code, text);
    EXPECT_EQ(text[0], 0) << code;
  }
}

TEST_F(PluginClient, HostMemoryUsesTheCallersLatch) {
  int block;
  fake.block = &block;
  int32_t latch = 0;
  void* p = nullptr;
  QVPluginMalloc(&info, &latch, 64, &p);
  EXPECT_EQ(p, &block);
  EXPECT_EQ(fake.sizes.back(), int32_t(sizeof(HostMemMallocRec)));
  QVPluginFree(&info, &latch, p);
  EXPECT_EQ(fake.freed, &block);
  EXPECT_EQ(fake.sizes.back(), int32_t(sizeof(HostMemFreeRec)));

  latch = 1;
  void* untouched = &latch;
  QVPluginMalloc(&info, &latch, 64, &untouched);
  QVPluginFree(&info, &latch, untouched);
  EXPECT_EQ(untouched, &latch);
  EXPECT_EQ(fake.selectors.size(), 2u);

  latch = 0;
  fake.answer = 1;
  QVPluginMalloc(&info, &latch, 1u << 31, &p);
  EXPECT_EQ(latch, 1);
  EXPECT_EQ(result, 0) << "the kit's latch is the caller's, not the module's";
}

TEST_F(PluginClient, StatusSetupReportsAndFinishOnlyWhenThrottled) {
  HostStatusRec status;
  std::memset(&status, 0xCC, sizeof status);
  int32_t latch = 0;
  QVPluginStatusSetup(&info, &status, PS("Frame"), PS("Rendering"), 1, 10, 0.0f, 1, &latch);
  ASSERT_EQ(fake.selectors.size(), 1u);
  EXPECT_EQ(status.theStatusTick, 0);
  EXPECT_EQ(status.theStatusMin, 1);
  EXPECT_EQ(status.theStatusMax, 10);
  EXPECT_EQ(std::string(CS(status.theStatusUnit)), "Frame");
  EXPECT_EQ(std::string(CS(status.theStatusInfo)), "Rendering");
  QVPluginStatusFinish(&info, &status, &latch);  // the host never throttled
  EXPECT_EQ(fake.selectors.size(), 1u);

  fake.setTick = 12345;
  QVPluginStatusUpdate(&info, &status, 0.5f, 5, &latch);
  EXPECT_EQ(status.theStatusTick, 12345);
  QVPluginStatusFinish(&info, &status, &latch);
  EXPECT_EQ(fake.selectors.size(), 3u);
  EXPECT_EQ(status.theStatusValue, 10);
  EXPECT_EQ(status.theStatusPos, 1.0f);
  QVPluginStatusCheck(&info, &status, &latch);
  EXPECT_EQ(fake.selectors.size(), 3u);

  latch = 4;  // a set latch silences the first report of a setup too
  QVPluginStatusSetup(&info, &status, PS("a"), PS("b"), 0, 1, 0.0f, 0, &latch);
  EXPECT_EQ(fake.selectors.size(), 3u);
}

TEST_F(PluginClient, NullRoutineIsNeverCalled) {
  EXPECT_EQ(CallPluginRoutine(kHostModelReset, 0, nullptr, nullptr), kPluginBadParameters);
  info.theHostProc = nullptr;
  SendModelReset(&info);
  EXPECT_EQ(result, kPluginBadParameters);
}

}  // namespace
