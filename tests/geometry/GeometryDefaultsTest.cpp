#include "geometry/geometry_defaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "text/System.h"

namespace {

const ARGB kBlack = MakeARGB(255, 0, 0, 0), kWhite = MakeARGB(255, 255, 255, 255);

// The bytes a record should hold after its initialiser, built from the
// host's published offsets; every byte not set here is expected to be zero.
struct Image {
  explicit Image(size_t size) : bytes(size, 0) {}
  template <class T>
  Image& Put(std::initializer_list<size_t> offsets, T value) {
    for (size_t offset : offsets) memcpy(bytes.data() + offset, &value, sizeof value);
    return *this;
  }
  Image& Ones(size_t at) { return Put({at, at + 8, at + 16}, 1.0); }  // an XCoordinate
  Image& Identity(size_t at) { return Put({at, at + 40, at + 80, at + 120}, 1.0); }  // an XMatrix4
  std::vector<uint8_t> bytes;
};

// Runs init on records pre-filled with two different patterns: the bytes in
// the [first, last) ranges of `untouched` must keep the pattern, all others
// must match the image.
template <class Rec, class Init>
void ExpectDefaults(Init init, const Image& expected,
                    std::initializer_list<std::pair<size_t, size_t>> untouched = {}) {
  ASSERT_EQ(sizeof(Rec), expected.bytes.size());
  for (uint8_t pattern : {0xA5, 0x5A}) {
    Rec rec;
    memset(&rec, pattern, sizeof rec);
    init(&rec);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&rec);
    for (size_t i = 0; i < sizeof rec; ++i) {
      const bool kept = std::any_of(untouched.begin(), untouched.end(),
                                    [i](auto u) { return i >= u.first && i < u.second; });
      EXPECT_EQ(bytes[i], kept ? pattern : expected.bytes[i]) << "byte " << i;
    }
  }
}

TEST(GeometryDefaults, ModelAndGroupRecords) {
  ExpectDefaults<FINF>(InitFINF, Image(52));
  ExpectDefaults<GSTR>(InitGSTR, Image(96).Ones(72));
  ExpectDefaults<GBLR>(InitGBLR, Image(140).Identity(12));
  ExpectDefaults<GLNK>(InitGLNK, Image(350).Identity(194).Ones(326));
  ExpectDefaults<GOUT>(InitGOUT, Image(28).Put({4, 12, 20}, kBlack).Put({8, 16, 24}, 1.0f));
}

TEST(GeometryDefaults, GroupInformationIsStampedWithTheClockAndKeepsItsNameTail) {
  GINF g;
  const uint32_t before = GetDateTime();
  InitGINF(&g);
  EXPECT_TRUE(g.groupDate >= before && g.groupDate <= GetDateTime()) << uint32_t(g.groupDate);
  Image expected(602);
  expected.Put({36}, 0x40000000u).Identity(78).Identity(206).Identity(334).Identity(462);
  // The stamp is masked, so the image can be exact.
  ExpectDefaults<GINF>([](GINF* g) { InitGINF(g), g->groupDate = 0; }, expected, {{41, 72}});
}

TEST(GeometryDefaults, SurfaceAttributes) {
  for (uint16_t shade : {0x2200, 0x7FFF}) {
    Image a(212);
    a.Put({0}, shade).Put({2, 6, 10, 46, 172}, kWhite).Put({18, 26, 42, 80}, kBlack);
    a.Put({196}, MakeARGB(255, 128, 128, 128)).Put({132, 144}, int32_t{8});
    a.Put({22, 50, 54, 58, 62, 66, 70, 74, 84, 116, 156, 160, 164, 176, 180, 184, 200}, 1.0f);
    a.Put({14}, 200.0f).Put({136, 148}, 5.0f).Put({192, 208}, 10.0f).Put({204}, 100.0f);
    if (shade == 0x2200) ExpectDefaults<GATR>(InitGATR, a);
    if (shade == 0x7FFF) ExpectDefaults<TATR>(InitTATR, a), ExpectDefaults<BATR>(InitBATR, a);
  }
}

TEST(GeometryDefaults, TextureMapsKeepTheirNameTails) {
  Image t(712);
  t.Identity(70).Ones(262).Put({322}, 1.0).Identity(330).Put({458}, int32_t{1}).Put({466}, 1.0f);
  for (size_t face = 0; face < 5; ++face) t.Ones(496 + 48 * face);  // the face scales copy scale
  for (auto init : {InitTMAP, InitBMAP, InitRMAP})
    ExpectDefaults<TMAP>(init, t, {{5, 36}, {39, 70}, {199, 230}, {291, 322}});
}

TEST(GeometryDefaults, MapPlacementByMapType) {
  for (uint32_t flat : {0u, 1u, 4u, 5u})  // image scales 1
    ExpectDefaults<TMQV>([&](TMQV* q) { InitTMQV(q, flat); }, Image(122).Ones(90), {{114, 122}});
  // Cylindrical: the height scale gets no default; spherical.
  ExpectDefaults<BMQV>([](BMQV* q) { InitBMQV(q, 2); },
                       Image(122).Put({90, 114}, 1.0).Put({98}, 360.0), {{106, 114}});
  ExpectDefaults<RMQV>([](RMQV* q) { InitRMQV(q, 3); },
                       Image(122).Put({90}, 1.0).Put({98}, 360.0).Put({106}, 180.0));
  for (uint32_t other : {6u, 100u, 0xFFFFFFFFu})  // other types leave the union as found
    ExpectDefaults<TMQV>([&](TMQV* q) { InitTMQV(q, other); }, Image(122), {{90, 122}});
}

}  // namespace
