// The entry point's dispatch and record checks, driven through Main.
#include "Particle.h"
#include "host/PluginClient.h"
#include "ui/PluginUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<IFFType> calls;
int32_t RecordingHost(IFFType selector, int32_t, void*) {
  calls.push_back(selector);
  return 0;
}

template <typename Rec>
Rec Filled(unsigned char byte) {
  Rec rec;
  std::memset(&rec, byte, sizeof rec);
  return rec;
}

template <typename Rec>
bool Untouched(const Rec& rec, unsigned char byte) {
  const auto* p = reinterpret_cast<const unsigned char*>(&rec);
  for (size_t i = 0; i < sizeof rec; ++i)
    if (p[i] != byte) return false;
  return true;
}

std::string Text(const unsigned char* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

TEST(Entry, UnknownCommandsAnswerTwoAndTouchNothing) {
  auto rec = Filled<PluginInformationRec>(0x5A);
  EXPECT_EQ(Main(MakeIFF("XXXX"), sizeof rec, &rec), kPluginUnsupportedCommand);
  EXPECT_EQ(Main(MakeIFF("info"), sizeof rec, &rec), kPluginUnsupportedCommand);
  EXPECT_EQ(Main(0, 0, nullptr), kPluginUnsupportedCommand);
  EXPECT_TRUE(Untouched(rec, 0x5A));
}

TEST(Entry, InformationNeedsTheWholeRecord) {
  auto rec = Filled<PluginInformationRec>(0x5A);
  EXPECT_EQ(Main(kCmdInformation, sizeof rec - 1, &rec), kPluginBadParameters);
  EXPECT_TRUE(Untouched(rec, 0x5A));
  EXPECT_EQ(Main(kCmdInformation, -1, &rec), kPluginBadParameters) << "negative sizes are short";
  EXPECT_EQ(Main(kCmdInformation, sizeof rec, nullptr), kPluginBadParameters);
  EXPECT_TRUE(Untouched(rec, 0x5A));

  ASSERT_EQ(Main(kCmdInformation, sizeof rec, &rec), kPluginNoError);
  EXPECT_TRUE(Untouched(rec.theInfo, 0x5A)) << "the head is not read or written";
  EXPECT_EQ(rec.thePluginType, MakeIFF("PART"));
  EXPECT_EQ(rec.thePluginVersion, 3);
  EXPECT_EQ(Text(rec.thePluginName), "Corvexa\252 Particle");
  EXPECT_EQ(Text(rec.thePluginDescription),
            "This model plugin can generate a variety of particle systems including fountains "
            "and explosions.");
  EXPECT_GT(rec.thePluginCopyright[0], 0);
  const std::string author = Text(rec.thePluginAuthor);
  EXPECT_EQ(std::count(author.begin(), author.end(), '|'), 4) << "five items joined by |";
  EXPECT_EQ(rec.thePluginPermission, 3u);
}

TEST(Entry, CheckKnowsTheFourteenCommands) {
  const char* known[] = {"INIT", "FINI", "INFO", "CHEK", "DESC", "INTF", "SETM",
                         "GINF", "GATR", "GBLR", "TMAP", "BMAP", "RMAP", "GENM"};
  PluginCheckRec rec;
  std::memset(&rec, 0, sizeof rec);
  for (const char* code : known) {
    rec.theCommand = MakeType(code);
    EXPECT_EQ(Main(kCmdCheck, sizeof rec, &rec), kPluginNoError) << code;
  }
  for (const char* code : {"XXXX", "ALOC", "STAT", "RSET"}) {
    rec.theCommand = MakeType(code);
    EXPECT_EQ(Main(kCmdCheck, sizeof rec, &rec), kPluginBadParameters) << code;
  }
  EXPECT_EQ(Main(kCmdCheck, sizeof rec - 1, &rec), kPluginBadParameters);
}

TEST(Entry, DescribeGivesTheTextOfEachCode) {
  auto rec = Filled<PluginDescribeRec>(0);
  rec.theResult = 4;
  ASSERT_EQ(Main(kCmdDescribe, sizeof rec, &rec), kPluginNoError);
  EXPECT_EQ(Text(rec.theDescription), "The user canceled the plug-in operation");
  for (int32_t code : {9, -1}) {
    rec.theResult = code;
    rec.theDescription[0] = 17;
    EXPECT_EQ(Main(kCmdDescribe, sizeof rec, &rec), kPluginNoError);
    EXPECT_EQ(rec.theDescription[0], 0);
  }
  auto shortRec = Filled<PluginDescribeRec>(0x33);
  EXPECT_EQ(Main(kCmdDescribe, sizeof shortRec - 1, &shortRec), kPluginBadParameters);
  EXPECT_TRUE(Untouched(shortRec, 0x33));
}

TEST(Entry, GeometryRecordsAreLeftUnchanged) {
  const IFFType codes[] = {kCmdGINF, kCmdGATR, kCmdGBLR, kCmdTMAP, kCmdBMAP, kCmdRMAP};
  for (IFFType code : codes) {
    auto rec = Filled<PluginModelGATRRec>(0x77);
    EXPECT_EQ(Main(code, sizeof rec - 1, &rec), kPluginBadParameters);
    EXPECT_EQ(rec.theChangeFlag, 0x77);
    EXPECT_EQ(Main(code, sizeof rec, &rec), kPluginNoError);
    EXPECT_EQ(rec.theChangeFlag, 0);
    rec.theChangeFlag = 0x77;
    EXPECT_TRUE(Untouched(rec, 0x77)) << "only the flag is written";
  }
}

TEST(Entry, FinishChecksTheHostProcedure) {
  auto rec = Filled<PluginFinishRec>(0);
  errorFlag = true;
  EXPECT_EQ(Main(kCmdFinish, sizeof rec, &rec), kPluginBadParameters);
  rec.theInfo.theHostProc = RecordingHost;
  EXPECT_EQ(Main(kCmdFinish, sizeof rec - 1, &rec), kPluginBadParameters);
  EXPECT_EQ(Main(kCmdFinish, sizeof rec, &rec), kPluginNoError);
  EXPECT_TRUE(calls.empty());
}

TEST(Entry, ShortOrHostlessRecordsAnswerThreeBeforeAnyCallback) {
  calls.clear();
  auto setup = Filled<PluginModelSetupRec>(0);
  setup.theInfo.theHostProc = RecordingHost;
  EXPECT_EQ(Main(kCmdSetup, sizeof setup - 1, &setup), kPluginBadParameters);
  setup.theInfo.theHostProc = nullptr;
  EXPECT_EQ(Main(kCmdSetup, sizeof setup, &setup), kPluginBadParameters);

  auto init = Filled<PluginInitializeRec>(0);
  EXPECT_EQ(Main(kCmdInitialize, sizeof init, &init), kPluginBadParameters);
  init.theInfo.theHostProc = RecordingHost;
  EXPECT_EQ(Main(kCmdInitialize, sizeof init - 1, &init), kPluginBadParameters);

  auto gen = Filled<PluginModelGenerateRec>(0);
  EXPECT_EQ(Main(kCmdGenerate, sizeof gen, &gen), kPluginBadParameters);
  gen.theInfo.theHostProc = RecordingHost;
  EXPECT_EQ(Main(kCmdGenerate, sizeof gen - 1, &gen), kPluginBadParameters);
  EXPECT_EQ(Main(kCmdGenerate, INT32_MIN, &gen), kPluginBadParameters);

  auto intf = Filled<PluginInterfaceRec>(0);
  EXPECT_EQ(Main(kCmdInterface, sizeof intf, &intf), kPluginBadParameters);
  intf.theInfo.theHostProc = RecordingHost;
  EXPECT_EQ(Main(kCmdInterface, sizeof intf, &intf), kPluginBadParameters)
      << "no settings record";
  for (IFFType code : {kCmdInitialize, kCmdFinish, kCmdSetup, kCmdGenerate, kCmdInterface})
    EXPECT_EQ(Main(code, 4096, nullptr), kPluginBadParameters);
  EXPECT_TRUE(calls.empty());
}

TEST(Entry, GlobalsInitialiseOncePerLoadAndOnEveryInit) {
  globalValidation1 = 0;  // as after loading
  errorFlag = hideErrorFlag = inBackground = true;
  auto info = Filled<PluginInformationRec>(0);
  Main(kCmdInformation, sizeof info, &info);
  EXPECT_FALSE(errorFlag || hideErrorFlag || inBackground);
  EXPECT_EQ(globalValidation1, MakeIFF("PART"));
  EXPECT_EQ(globalValidation2, MakeIFF("QVpM"));

  errorFlag = true;
  Main(kCmdInformation, sizeof info, &info);
  Main(MakeIFF("????"), 0, nullptr);
  EXPECT_TRUE(errorFlag) << "already initialised";

  auto init = Filled<PluginInitializeRec>(0);  // fails its test, still reinitialises
  EXPECT_EQ(Main(kCmdInitialize, 0, &init), kPluginBadParameters);
  EXPECT_FALSE(errorFlag);
}

}  // namespace
