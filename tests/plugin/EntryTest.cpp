// The entry point's dispatch and record checks, driven through Main.
#include "Particle.h"
#include "host/PluginClient.h"
#include "ui/PluginUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace {

int callbacks = 0;

// Room for any command record, every byte set to `byte`.
struct alignas(8) Filled {
  unsigned char bytes[1100];
  explicit Filled(unsigned char byte) { std::memset(bytes, byte, sizeof bytes); }
  template <typename Rec>
  Rec& As() { return *reinterpret_cast<Rec*>(bytes); }
  bool Untouched(unsigned char byte, size_t n = sizeof bytes) const {
    return std::all_of(bytes, bytes + n, [byte](unsigned char b) { return b == byte; });
  }
};

std::string Text(const unsigned char* p) { return {reinterpret_cast<const char*>(p + 1), p[0]}; }

const std::pair<IFFType, int32_t> kCommands[] = {
    {kCmdInitialize, sizeof(PluginInitializeRec)}, {kCmdFinish, sizeof(PluginFinishRec)},
    {kCmdInformation, sizeof(PluginInformationRec)}, {kCmdCheck, sizeof(PluginCheckRec)},
    {kCmdDescribe, sizeof(PluginDescribeRec)}, {kCmdInterface, sizeof(PluginInterfaceRec)},
    {kCmdSetup, sizeof(PluginModelSetupRec)}, {kCmdGenerate, sizeof(PluginModelGenerateRec)},
    {kCmdGINF, sizeof(PluginModelGINFRec)}, {kCmdGATR, sizeof(PluginModelGATRRec)},
    {kCmdGBLR, sizeof(PluginModelGBLRRec)}, {kCmdTMAP, sizeof(PluginModelTMAPRec)},
    {kCmdBMAP, sizeof(PluginModelBMAPRec)}, {kCmdRMAP, sizeof(PluginModelRMAPRec)}};

TEST(Entry, UnknownCommandsAnswerTwoAndTouchNothing) {
  Filled rec(0x5A);
  for (const char* code : {"XXXX", "info", "ALOC"})
    EXPECT_EQ(Main(MakeType(code), sizeof rec.bytes, rec.bytes), kPluginUnsupportedCommand);
  EXPECT_EQ(Main(0, 0, nullptr), kPluginUnsupportedCommand);
  EXPECT_TRUE(rec.Untouched(0x5A));
}

// Every command: a record one byte short, a negative size or a null record
// answers 3 before anything is read, written or called back.
TEST(Entry, ShortNegativeOrNullRecordsAnswerThree) {
  for (const auto& [code, size] : kCommands) {
    Filled rec(0x5A);
    for (int32_t bad : {size - 1, -1, INT32_MIN})
      EXPECT_EQ(Main(code, bad, rec.bytes), kPluginBadParameters) << code << " " << bad;
    EXPECT_EQ(Main(code, 4096, nullptr), kPluginBadParameters) << code;
    EXPECT_TRUE(rec.Untouched(0x5A)) << code;
  }
}

TEST(Entry, CommandsThatCallBackNeedTheHostProcedure) {
  for (IFFType code : {kCmdInitialize, kCmdFinish, kCmdSetup, kCmdGenerate, kCmdInterface}) {
    Filled rec(0);
    EXPECT_EQ(Main(code, sizeof rec.bytes, rec.bytes), kPluginBadParameters) << code;
  }
  Filled rec(0);
  rec.As<PluginInfoRec>().theHostProc = [](IFFType, int32_t, void*) { return ++callbacks; };
  EXPECT_EQ(Main(kCmdInterface, sizeof rec.bytes, rec.bytes), kPluginBadParameters)
      << "no settings record";
  EXPECT_EQ(Main(kCmdFinish, sizeof rec.bytes, rec.bytes), kPluginNoError);
  EXPECT_EQ(callbacks, 0);
}

TEST(Entry, InformationTexts) {
  Filled rec(0x5A);
  ASSERT_EQ(Main(kCmdInformation, sizeof(PluginInformationRec), rec.bytes), kPluginNoError);
  auto& info = rec.As<PluginInformationRec>();
  EXPECT_EQ(info.thePluginType, MakeIFF("PART"));
  EXPECT_EQ(info.thePluginVersion, 3);
  EXPECT_EQ(Text(info.thePluginName), "Corvexa\252 Particle");
  EXPECT_EQ(Text(info.thePluginDescription),
            "This model plugin can generate a variety of particle systems including fountains "
            "and explosions.");
  EXPECT_GT(info.thePluginCopyright[0], 0);
  const std::string author = Text(info.thePluginAuthor);
  EXPECT_EQ(std::count(author.begin(), author.end(), '|'), 4) << "five items joined by |";
  EXPECT_EQ(info.thePluginPermission, 3u);
  EXPECT_TRUE(rec.Untouched(0x5A, sizeof info.theInfo)) << "the head is not read or written";
}

TEST(Entry, CheckKnowsTheFourteenCommandsAndDescribeTheResultTexts) {
  Filled rec(0);
  auto check = [&rec](IFFType code) {
    rec.As<PluginCheckRec>().theCommand = code;
    return Main(kCmdCheck, sizeof(PluginCheckRec), rec.bytes);
  };
  for (const auto& command : kCommands) EXPECT_EQ(check(command.first), 0) << command.first;
  for (const char* code : {"XXXX", "ALOC", "STAT", "RSET"}) EXPECT_EQ(check(MakeType(code)), 3);
  auto& describe = rec.As<PluginDescribeRec>();
  const std::pair<int32_t, std::string> texts[] = {
      {4, "The user canceled the plug-in operation"}, {9, ""}, {-1, ""}};
  for (const auto& [code, text] : texts) {
    describe.theResult = code;
    describe.theDescription[0] = 17;
    EXPECT_EQ(Main(kCmdDescribe, sizeof describe, &describe), kPluginNoError);
    EXPECT_EQ(Text(describe.theDescription), text) << code;
  }
}

// The six geometry commands leave the host's record alone and clear the flag.
TEST(Entry, GeometryRecordsAreLeftUnchanged) {
  for (IFFType code : {kCmdGINF, kCmdGATR, kCmdGBLR, kCmdTMAP, kCmdBMAP, kCmdRMAP}) {
    Filled rec(0x77);
    EXPECT_EQ(Main(code, sizeof(PluginModelGATRRec), rec.bytes), kPluginNoError);
    EXPECT_EQ(rec.As<PluginModelGATRRec>().theChangeFlag, 0);
    rec.As<PluginModelGATRRec>().theChangeFlag = 0x77;
    EXPECT_TRUE(rec.Untouched(0x77)) << "only the flag is written";
  }
}

// InitUtils runs once per load, and again at every "INIT", even a failing one.
TEST(Entry, GlobalsInitialiseOncePerLoadAndOnEveryInit) {
  globalValidation1 = 0;  // as after loading
  errorFlag = hideErrorFlag = inBackground = true;
  Filled rec(0);
  Main(kCmdInformation, sizeof(PluginInformationRec), rec.bytes);
  EXPECT_FALSE(errorFlag || hideErrorFlag || inBackground);
  EXPECT_EQ(globalValidation1, MakeIFF("PART"));
  EXPECT_EQ(globalValidation2, MakeIFF("QVpM"));
  errorFlag = true;
  Main(kCmdInformation, sizeof(PluginInformationRec), rec.bytes);
  Main(MakeIFF("????"), 0, nullptr);
  EXPECT_TRUE(errorFlag) << "already initialised";
  EXPECT_EQ(Main(kCmdInitialize, 0, rec.bytes), kPluginBadParameters);
  EXPECT_FALSE(errorFlag);
}

}  // namespace
