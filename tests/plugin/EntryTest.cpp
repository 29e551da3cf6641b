// The entry point's dispatch and record checks, driven through Main.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "Particle.h"
#include "host/PluginClient.h"
#include "ui/PluginUtils.h"

namespace {

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

// The fourteen commands, their record sizes, and whether they call the host
// (1) or leave a geometry record alone (2).
const struct { IFFType code; int32_t size; int kind; } kCommands[] = {
    {kCmdInitialize, sizeof(PluginInitializeRec), 1}, {kCmdFinish, sizeof(PluginFinishRec), 1},
    {kCmdInformation, sizeof(PluginInformationRec), 0}, {kCmdCheck, sizeof(PluginCheckRec), 0},
    {kCmdDescribe, sizeof(PluginDescribeRec), 0}, {kCmdInterface, sizeof(PluginInterfaceRec), 1},
    {kCmdSetup, sizeof(PluginModelSetupRec), 1}, {kCmdGenerate, sizeof(PluginModelGenerateRec), 1},
    {kCmdGINF, sizeof(PluginModelGINFRec), 2}, {kCmdGATR, sizeof(PluginModelGATRRec), 2},
    {kCmdGBLR, sizeof(PluginModelGBLRRec), 2}, {kCmdTMAP, sizeof(PluginModelTMAPRec), 2},
    {kCmdBMAP, sizeof(PluginModelBMAPRec), 2}, {kCmdRMAP, sizeof(PluginModelRMAPRec), 2}};

// Unknown commands answer 2.  A record one byte short, a negative size, a
// null record, or no host procedure for a command that calls back: 3, before
// anything is read, written or called.  Geometry records keep all but their
// change flag, which is cleared.
TEST(Entry, DispatchAndRecordChecks) {
  Filled rec(0x5A), zero(0);
  for (const char* code : {"XXXX", "info", "ALOC"})
    EXPECT_EQ(Main(MakeType(code), sizeof rec.bytes, rec.bytes), kPluginUnsupportedCommand);
  EXPECT_EQ(Main(0, 0, nullptr), kPluginUnsupportedCommand);
  for (const auto& k : kCommands) {
    for (int32_t bad : {k.size - 1, -1, INT32_MIN})
      EXPECT_EQ(Main(k.code, bad, rec.bytes), kPluginBadParameters) << k.code << " " << bad;
    EXPECT_EQ(Main(k.code, 4096, nullptr), kPluginBadParameters) << k.code;
    EXPECT_TRUE(k.kind != 1 || Main(k.code, k.size, zero.bytes) == kPluginBadParameters);
    if (k.kind != 2) continue;
    Filled geometry(0x77);
    EXPECT_EQ(Main(k.code, k.size, geometry.bytes), kPluginNoError);
    geometry.bytes[offsetof(PluginModelGATRRec, theChangeFlag)] ^= 0x77;  // 0x77 if cleared
    EXPECT_TRUE(geometry.Untouched(0x77)) << k.code;
  }
  EXPECT_TRUE(rec.Untouched(0x5A) && zero.Untouched(0));
  zero.As<PluginInfoRec>().theHostProc = [](IFFType, int32_t, void*) { return ADD_FAILURE(), 0; };
  EXPECT_EQ(Main(kCmdInterface, sizeof rec.bytes, zero.bytes), kPluginBadParameters)
      << "no settings record";
  EXPECT_EQ(Main(kCmdFinish, sizeof rec.bytes, zero.bytes), kPluginNoError);
}

TEST(Entry, InformationCheckAndDescribe) {
  Filled rec(0x5A);
  ASSERT_EQ(Main(kCmdInformation, sizeof(PluginInformationRec), rec.bytes), kPluginNoError);
  auto& info = rec.As<PluginInformationRec>();
  EXPECT_EQ(info.thePluginType, MakeIFF("PART"));
  EXPECT_EQ(info.thePluginVersion, 3);
  EXPECT_EQ(info.thePluginPermission, 3u);
  EXPECT_EQ(Text(info.thePluginName), "Corvexa\252 Particle");
  EXPECT_EQ(Text(info.thePluginDescription),
            "This model plugin can generate a variety of particle systems including fountains "
            "and explosions.");
  EXPECT_EQ(Text(info.thePluginAuthor),
            "Particle Team|Corvexa Software|1 Emitter Lane|Springfield|+1 555 0100");
  EXPECT_GT(info.thePluginCopyright[0], 0);
  EXPECT_TRUE(rec.Untouched(0x5A, sizeof info.theInfo)) << "the head is not read or written";

  auto check = [&rec](IFFType code) {
    rec.As<PluginCheckRec>().theCommand = code;
    return Main(kCmdCheck, sizeof(PluginCheckRec), rec.bytes);
  };
  for (const auto& k : kCommands) EXPECT_EQ(check(k.code), kPluginNoError) << k.code;
  for (const char* code : {"XXXX", "ALOC", "STAT", "RSET"}) EXPECT_EQ(check(MakeType(code)), 3);

  auto& describe = rec.As<PluginDescribeRec>();
  describe.theResult = kPluginUserCanceled;
  EXPECT_EQ(Main(kCmdDescribe, sizeof describe, &describe), kPluginNoError);
  EXPECT_EQ(Text(describe.theDescription), "The user canceled the plug-in operation");
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
