// The example plug-in driven in-process through Main by a small host that
// logs every callback: the command records, the settings record, the frame's
// geometry, the error latch and the progress reports.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "Spiral.h"
#include "host/PluginClient.h"

namespace {

constexpr IFFType kSupported[] = {kCmdInitialize, kCmdFinish, kCmdInformation, kCmdCheck,
                                  kCmdDescribe,   kCmdInterface, kCmdSetup, kCmdGenerate};

struct Vertex {
  DCoordinate position, blur;
  uint32_t color;
};

struct SpiralHost {
  std::vector<uint8_t> control, data;  // moved on every "ALOC", as a host may
  PluginInfoRec info{nullptr, 0, nullptr, 0, &SpiralHost::Proc, this};
  std::vector<IFFType> calls;
  std::vector<Vertex> vertices;
  std::vector<std::vector<int32_t>> facets;
  IFFType failSelector = 0;   // fails once, with 4
  size_t cancelAtReport = 0;  // "STAT" number n (from 1) cancels
  size_t reports = 0;
  std::vector<std::vector<uint8_t>> blocks;  // "MMAL" blocks not yet freed

  template <typename Rec>
  int32_t Send(IFFType command, Rec rec = Rec()) {
    rec.theInfo = info;
    int32_t err = Main(command, int32_t(sizeof rec), &rec);
    info = rec.theInfo;
    return err;
  }
  int32_t Init() { return Send<PluginInitializeRec>(kCmdInitialize); }
  int32_t SetUpFrame(double time, double delta, const Matrix4* group = nullptr) {
    PluginModelSetupRec rec{};
    rec.theFrameTime = time;
    rec.theFrameTimeDelta = delta;
    Matrix4 m;
    InitMatrix4(&m);
    std::memcpy(&rec.theGroupMatrix, group ? group : &m, sizeof m);
    std::memcpy(&rec.theGroupBlurMatrix, &m, sizeof m);
    return Send(kCmdSetup, rec);
  }
  int32_t Generate() {
    calls.clear(), vertices.clear(), facets.clear(), reports = 0;
    return Send<PluginModelGenerateRec>(kCmdGenerate);
  }
  int32_t Frame(double time) {
    int32_t err = SetUpFrame(time, 0.5);
    return err != 0 ? err : Generate();
  }
  SpiralSettingsRec& Settings() { return *reinterpret_cast<SpiralSettingsRec*>(control.data()); }

  static int32_t Proc(IFFType selector, int32_t size, void* record) {
    auto& host = **static_cast<SpiralHost**>(record);
    host.calls.push_back(selector);
    if (selector == host.failSelector) return host.failSelector = 0, kPluginUserCanceled;
    if (selector == kHostAllocate) {
      auto& r = *static_cast<HostAllocatePtr>(record);
      EXPECT_EQ(size, int32_t(sizeof r));
      std::vector<uint8_t> c(size_t(r.theControlDataSize), 0xA5), d(size_t(r.thePluginDataSize), 0xA5);
      std::copy_n(host.control.begin(), std::min(c.size(), host.control.size()), c.begin());
      host.control.swap(c), host.data.swap(d);
      r.theControlData = host.control.data();
      r.thePluginData = host.data.data();
    } else if (selector == kHostStatus) {
      if (++host.reports == host.cancelAtReport) return kPluginUserCanceled;
    } else if (selector == kHostAddVertex) {
      auto& r = *static_cast<HostModelAddVertexPtr>(record);
      host.vertices.push_back({r.thePosition, r.theBlurPosition, r.theColor.colorValue});
      r.theIndex = int32_t(host.vertices.size()) + 1000;
    } else if (selector == kHostMemMalloc) {
      auto& r = *static_cast<HostMemMallocPtr>(record);
      host.blocks.emplace_back(r.theSize);
      r.thePtr = host.blocks.back().data();
    } else if (selector == kHostMemFree) {
      auto& r = *static_cast<HostMemFreePtr>(record);
      auto it = std::find_if(host.blocks.begin(), host.blocks.end(), [&](auto& b) { return b.data() == r.thePtr; });
      if (it == host.blocks.end()) return ADD_FAILURE() << "MFRE of a block the host did not give", kPluginBadParameters;
      host.blocks.erase(it);
    } else if (selector == kHostAddFacet) {
      auto& r = *static_cast<HostModelAddFacetPtr>(record);
      int32_t v[4];
      std::memcpy(v, r.theVertices, sizeof v);
      host.facets.push_back({r.theNumVertices, v[0], int32_t(r.theColor.colorValue)});
    }
    return kPluginNoError;
  }
};

// A host with an initialised instance of n points on `arms` arms.
struct Spiral : ::testing::Test, SpiralHost {
  void Configure(int32_t n, int32_t arms) {
    ASSERT_EQ(Init(), kPluginNoError);
    Settings().pointCount = n;
    Settings().arms = arms;
  }
};

bool Same(const DCoordinate& a, const DCoordinate& b) {
  return std::fabs(a.x - b.x) < 1e-9 && std::fabs(a.y - b.y) < 1e-9 && std::fabs(a.z - b.z) < 1e-9;
}

// What the plug-in says about itself, and commands it does not know.
TEST_F(Spiral, DescribesItself) {
  PluginInformationRec infoRec{};
  ASSERT_EQ(Main(kCmdInformation, sizeof infoRec, &infoRec), kPluginNoError);
  EXPECT_EQ(infoRec.thePluginType, kSpiralOwner);
  EXPECT_EQ(infoRec.thePluginVersion, kSpiralVersion);
  for (const unsigned char* text : {infoRec.thePluginName, infoRec.thePluginCopyright,
                                    infoRec.thePluginAuthor, infoRec.thePluginDescription})
    EXPECT_GT(text[0], 0);
  PluginCheckRec check{};
  for (IFFType command : kSupported) {
    check.theCommand = command;
    EXPECT_EQ(Main(kCmdCheck, sizeof check, &check), kPluginNoError);
  }
  check.theCommand = kCmdGATR;
  EXPECT_EQ(Main(kCmdCheck, sizeof check, &check), kPluginBadParameters);
  uint8_t untouched[64];
  std::memset(untouched, 0x5A, sizeof untouched);
  EXPECT_EQ(Main(kCmdGATR, sizeof untouched, untouched), kPluginUnsupportedCommand);
  EXPECT_EQ(Main(MakeIFF("ZZZZ"), sizeof untouched, untouched), kPluginUnsupportedCommand);
  for (uint8_t b : untouched) ASSERT_EQ(b, 0x5A);
  PluginDescribeRec describe{};
  for (int32_t code : {0, 1, 2, 3, 4, 5, 6, 8}) {
    describe.theResult = code;
    ASSERT_EQ(Main(kCmdDescribe, sizeof describe, &describe), kPluginNoError);
    EXPECT_GT(describe.theDescription[0], 0) << code;
  }
}

// Null, empty, negative and one-byte-short records: 3, no callback, and not
// a byte written.
TEST_F(Spiral, RefusesBadCommandRecords) {
  const size_t sizes[] = {sizeof(PluginInitializeRec), sizeof(PluginFinishRec), sizeof(PluginInformationRec),
                          sizeof(PluginCheckRec), sizeof(PluginDescribeRec), sizeof(PluginInterfaceRec),
                          sizeof(PluginModelSetupRec), sizeof(PluginModelGenerateRec)};
  for (size_t k = 0; k < 8; ++k) {
    IFFType command = kSupported[k];
    std::vector<uint8_t> rec(sizes[k] + 16, 0x5A);
    PluginInfoRec head = info;
    std::memcpy(rec.data(), &head, sizeof head);
    std::vector<uint8_t> before = rec;
    for (int32_t size : {-1, INT32_MIN, 0, int32_t(sizes[k]) - 1}) {
      EXPECT_EQ(Main(command, size, rec.data()), kPluginBadParameters) << k << " " << size;
      EXPECT_EQ(rec, before) << k << " " << size;
    }
    EXPECT_EQ(Main(command, int32_t(sizes[k]), nullptr), kPluginBadParameters) << k;
  }
  EXPECT_TRUE(calls.empty());
}

// Our own record is kept; one of the other byte order is turned round; one
// of another size, owner or version is replaced by the defaults; numbers out
// of range are repaired.  A refused "ALOC" leaves the host's record alone.
TEST_F(Spiral, SettingsRecordsAreCheckedAndRepaired) {
  ASSERT_EQ(Init(), kPluginNoError);
  EXPECT_EQ(calls, std::vector<IFFType>{kHostAllocate});
  ASSERT_EQ(control.size(), sizeof(SpiralSettingsRec));
  ASSERT_EQ(data.size(), sizeof(SpiralWorkRec));
  SpiralSettingsRec defaults;
  DefaultSettings(&defaults);
  EXPECT_EQ(std::memcmp(&Settings(), &defaults, sizeof defaults), 0);

  SpiralSettingsRec mine = defaults;
  mine.pointCount = 77, mine.arms = 5, mine.turns = -3.5, mine.radius = 12, mine.height = -8, mine.spin = 1.5;
  Settings() = mine;
  calls.clear();
  ASSERT_EQ(Init(), kPluginNoError);
  EXPECT_TRUE(calls.empty());  // right sizes: nothing to allocate
  EXPECT_EQ(std::memcmp(&Settings(), &mine, sizeof mine), 0);

  uint8_t* bytes = control.data();
  for (size_t at : {size_t(0), size_t(4), size_t(8), size_t(12)}) std::reverse(bytes + at, bytes + at + 4);
  for (size_t at = 16; at < 48; at += 8) std::reverse(bytes + at, bytes + at + 8);
  ASSERT_EQ(Init(), kPluginNoError);
  EXPECT_EQ(std::memcmp(&Settings(), &mine, sizeof mine), 0);

  SpiralSettingsRec broken = mine;
  broken.pointCount = 0, broken.arms = 99, broken.turns = NAN, broken.radius = -1, broken.height = 1e300;
  broken.spin = -INFINITY;
  Settings() = broken;
  ASSERT_EQ(Init(), kPluginNoError);
  const SpiralSettingsRec& s = Settings();
  EXPECT_TRUE(s.pointCount == 1 && s.arms == kMaxArms && s.turns == defaults.turns && s.radius == 0 &&
              s.height == kMaxLength && s.spin == defaults.spin);

  for (IFFType owner : {MakeIFF("PART"), kSpiralOwner}) {
    Settings() = mine;
    Settings().ownerType = owner;
    Settings().ownerVersion = owner == kSpiralOwner ? 2 : kSpiralVersion;
    ASSERT_EQ(Init(), kPluginNoError);
    EXPECT_EQ(std::memcmp(&Settings(), &defaults, sizeof defaults), 0);
  }
  for (size_t size : {sizeof mine - 1, sizeof mine + 1}) {
    std::vector<uint8_t> odd(size, 0);
    std::memcpy(odd.data(), &mine, std::min(size, sizeof mine));
    control = odd;
    info.theControlData = control.data(), info.theControlDataSize = int32_t(size);
    ASSERT_EQ(Init(), kPluginNoError);
    ASSERT_EQ(control.size(), sizeof mine);
    EXPECT_EQ(std::memcmp(&Settings(), &defaults, sizeof defaults), 0);
  }

  // The refusing host leaves the request as it was filled in: the head must
  // go on naming the 10-byte block, not claim the 56 bytes asked for.
  control = std::vector<uint8_t>(10, 0x11);
  info.theControlData = control.data(), info.theControlDataSize = 10;
  const PluginInfoRec head = info;
  failSelector = kHostAllocate;
  calls.clear();
  EXPECT_EQ(Init(), kPluginUserCanceled);
  EXPECT_EQ(calls, std::vector<IFFType>{kHostAllocate});
  EXPECT_EQ(std::memcmp(&info, &head, sizeof head), 0);
  EXPECT_EQ(control, std::vector<uint8_t>(10, 0x11));
  EXPECT_EQ(SetUpFrame(1.0, 0.5), kPluginNoError);  // granted now
  EXPECT_EQ(control.size(), sizeof mine);
  EXPECT_EQ(std::memcmp(&Settings(), &defaults, sizeof defaults), 0);
}

// One group; per point a vertex on the formula, through the group's matrix,
// with its blur position one frame step earlier, and a facet naming the
// vertex index the host gave.  The same frame twice, or from a fresh
// instance, is the same.
TEST_F(Spiral, FramesFollowTheFormula) {
  Configure(40, 3);
  Matrix4 shift;
  InitMatrix4(&shift);
  shift.m.m30 = 100, shift.m.m31 = -7;
  ASSERT_EQ(SetUpFrame(2.25, 0.5, &shift), kPluginNoError);
  ASSERT_EQ(Generate(), kPluginNoError);
  ASSERT_EQ(vertices.size(), 40u);
  ASSERT_EQ(facets.size(), 40u);
  const SpiralSettingsRec s = Settings();
  for (int32_t i = 0; i < 40; ++i) {
    // Written out again: frac(0.25 * 2.25) = 0.5625, frac(0.25 * 1.75) = 0.4375.
    double f = i / 39.0, r = 50 * f, turnNow = 2 * f + (i % 3) / 3.0 + 0.5625;
    double turnBefore = turnNow - 0.5625 + 0.4375;
    DCoordinate now{r * std::cos(2 * M_PI * turnNow) + 100, 40 * f - 7, r * std::sin(2 * M_PI * turnNow)};
    DCoordinate before{r * std::cos(2 * M_PI * turnBefore), 40 * f, r * std::sin(2 * M_PI * turnBefore)};
    EXPECT_TRUE(Same(vertices[i].position, now)) << i;
    EXPECT_TRUE(Same(vertices[i].blur, before)) << i;
    EXPECT_EQ(facets[i][0], 1);
    EXPECT_EQ(facets[i][1], 1001 + i);
    EXPECT_EQ(uint32_t(facets[i][2]), vertices[i].color);
  }
  EXPECT_EQ(vertices[0].color, s.innerColor.colorValue);
  EXPECT_EQ(vertices[39].color, s.outerColor.colorValue);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), kHostAddGroup), 1);

  std::vector<Vertex> first = vertices;
  ASSERT_EQ(Generate(), kPluginNoError);
  SpiralHost other;
  ASSERT_EQ(other.Init(), kPluginNoError);
  other.Settings() = s;
  ASSERT_EQ(other.SetUpFrame(2.25, 0.5, &shift), kPluginNoError);
  ASSERT_EQ(other.Generate(), kPluginNoError);
  for (const std::vector<Vertex>* again : {&vertices, &other.vertices}) {
    ASSERT_EQ(again->size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
      const Vertex &a = (*again)[i], &b = first[i];
      EXPECT_TRUE(std::memcmp(&a.position, &b.position, 2 * sizeof(DCoordinate)) == 0 && a.color == b.color) << i;
    }
  }
}

// A set-up the spiral cannot place finite points with is refused before any
// callback, and the frame before it stays in force.
TEST_F(Spiral, RefusesSetupsWithoutFinitePoints) {
  Configure(10, 1);
  ASSERT_EQ(SetUpFrame(1.0, 0.5), kPluginNoError);
  Matrix4 huge;
  InitMatrix4(&huge);
  huge.m.m11 = 1e200;
  calls.clear();
  EXPECT_EQ(SetUpFrame(NAN, 0.5), kPluginBadParameters);
  EXPECT_EQ(SetUpFrame(1.0, INFINITY), kPluginBadParameters);
  EXPECT_EQ(SetUpFrame(1.0, 0.5, &huge), kPluginBadParameters);
  EXPECT_TRUE(calls.empty());
  ASSERT_EQ(Generate(), kPluginNoError);
  EXPECT_EQ(vertices.back().position.y, 40);
}

// Each model call or report refused once: nothing more is sent in that frame
// but the release of its scratch block, the frame answers the host's code,
// the next frame stays silent until a model reset, and after one the frame is
// whole again.  A refused "MMAL" ends the frame without an "MFRE".
TEST_F(Spiral, ARefusedCallbackSilencesUntilTheNextReset) {
  Configure(300, 2);
  for (IFFType selector : {kHostStatus, kHostAddGroup, kHostAddVertex, kHostAddFacet}) {
    ASSERT_EQ(SetUpFrame(1.0, 0.5), kPluginNoError);
    failSelector = selector;
    EXPECT_EQ(Generate(), kPluginUserCanceled);
    auto failed = std::find(calls.begin(), calls.end(), selector);
    ASSERT_NE(failed, calls.end());
    std::vector<IFFType> after(failed + 1, calls.end());
    EXPECT_EQ(after, (std::count(calls.begin(), calls.end(), kHostMemMalloc) ? std::vector<IFFType>{kHostMemFree}
                                                                             : std::vector<IFFType>{}));
    EXPECT_TRUE(blocks.empty());
    EXPECT_EQ(Generate(), kPluginUserCanceled);
    EXPECT_TRUE(calls.empty());
    ASSERT_EQ(Frame(1.0), kPluginNoError);
    EXPECT_EQ(vertices.size(), 300u);
    EXPECT_TRUE(blocks.empty());
  }
  failSelector = kHostMemMalloc;
  EXPECT_EQ(Generate(), kPluginUserCanceled);
  EXPECT_EQ(calls, (std::vector<IFFType>{kHostStatus, kHostMemMalloc}));
  failSelector = kHostMemFree;
  EXPECT_EQ(Generate(), kPluginNoError);  // the frame is whole; the block is the host's
  EXPECT_EQ(vertices.size(), 300u);
  blocks.clear();
  failSelector = kHostModelReset;
  EXPECT_EQ(SetUpFrame(1.0, 0.5), kPluginUserCanceled);
  EXPECT_EQ(Generate(), kPluginUserCanceled);
  EXPECT_TRUE(calls.empty());
}

// A million points: while the host takes every report, one at least every
// 256 points handed over, and a cancel ends the frame at once, its scratch
// block released.
TEST_F(Spiral, LongFramesOfferProgressAndStopOnCancel) {
  Configure(kMaxPoints, 4);
  ASSERT_EQ(SetUpFrame(3.0, 0.5), kPluginNoError);
  const size_t workedOut = 1 + (kMaxPoints + 255) / 256;  // the first report, then one per 256 points
  cancelAtReport = workedOut + 50;
  EXPECT_EQ(Generate(), kPluginUserCanceled);
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[calls.size() - 2], kHostStatus);
  EXPECT_EQ(calls.back(), kHostMemFree);
  EXPECT_TRUE(blocks.empty());
  size_t sinceReport = 0, most = 0;
  for (IFFType c : calls) {
    sinceReport = c == kHostStatus ? 0 : sinceReport + (c == kHostAddVertex);
    most = std::max(most, sinceReport);
  }
  EXPECT_LE(most, 256u);
  EXPECT_EQ(reports, workedOut + 50);
  EXPECT_GT(vertices.size(), 48u * 256);
  EXPECT_LT(vertices.size(), 50u * 256);
}

}  // namespace
