#include "geometry/geometry_defaults.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "text/System.h"

namespace {

// The bytes a record should hold after its initialiser, built from the
// host's published offsets; every byte not set here is expected to be zero.
struct Image {
  explicit Image(size_t size) : bytes(size, 0) {}
  template <class T>
  Image& Put(size_t offset, T value) {
    memcpy(bytes.data() + offset, &value, sizeof value);
    return *this;
  }
  Image& F32(size_t offset, float v) { return Put(offset, v); }
  Image& Color(size_t offset, uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    const uint8_t c[4] = {a, r, g, b};
    memcpy(bytes.data() + offset, c, 4);
    return *this;
  }
  Image& Triple(size_t offset, double x, double y, double z) {
    return Put(offset, x).Put(offset + 8, y).Put(offset + 16, z);
  }
  Image& Identity(size_t offset) {
    for (int i = 0; i < 4; ++i) Put(offset + 8 * (5 * i), 1.0);
    return *this;
  }
  std::vector<uint8_t> bytes;
};

typedef std::vector<std::pair<size_t, size_t>> Ranges;  // [first, last)

bool InRanges(const Ranges& ranges, size_t i) {
  for (const auto& r : ranges)
    if (i >= r.first && i < r.second) return true;
  return false;
}

// Runs init on records pre-filled with two different patterns: the bytes in
// `untouched` must keep the pattern, all others must match the image.
template <class Rec, class Init>
void ExpectDefaults(Init init, const Image& expected, const Ranges& untouched = {}) {
  ASSERT_EQ(sizeof(Rec), expected.bytes.size());
  for (uint8_t pattern : {uint8_t{0xA5}, uint8_t{0x5A}}) {
    Rec rec;
    memset(&rec, pattern, sizeof rec);
    init(&rec);
    const auto* bytes = reinterpret_cast<const uint8_t*>(&rec);
    for (size_t i = 0; i < sizeof rec; ++i) {
      if (InRanges(untouched, i)) {
        EXPECT_EQ(bytes[i], pattern) << "byte " << i << " was written";
      } else {
        EXPECT_EQ(bytes[i], expected.bytes[i]) << "byte " << i;
      }
    }
  }
}

TEST(GeometryDefaults, ModelAndGroupRecords) {
  ExpectDefaults<FINF>(InitFINF, Image(52));
  ExpectDefaults<GSTR>(InitGSTR, Image(96).Triple(72, 1.0, 1.0, 1.0));
  ExpectDefaults<GBLR>(InitGBLR, Image(140).Identity(12));
  ExpectDefaults<GLNK>(InitGLNK, Image(350).Identity(194).Triple(326, 1.0, 1.0, 1.0));
  ExpectDefaults<GOUT>(InitGOUT, Image(28)
                                     .Color(4, 255, 0, 0, 0)
                                     .F32(8, 1.0f)
                                     .Color(12, 255, 0, 0, 0)
                                     .F32(16, 1.0f)
                                     .Color(20, 255, 0, 0, 0)
                                     .F32(24, 1.0f));
}

TEST(GeometryDefaults, GroupInformationIsStampedWithTheClock) {
  const uint32_t before = GetDateTime();
  uint32_t stamped = 0;
  Image expected(602);
  expected.Put<uint32_t>(36, 0x40000000u).Identity(78).Identity(206).Identity(334).Identity(462);
  // The stamp is checked apart and then masked, so the image can be exact.
  ExpectDefaults<GINF>(
      [&](GINF* g) {
        InitGINF(g);
        memcpy(&stamped, reinterpret_cast<uint8_t*>(g) + 72, 4);
        EXPECT_GE(stamped, before);
        EXPECT_LE(stamped, GetDateTime());
        memset(reinterpret_cast<uint8_t*>(g) + 72, 0, 4);
      },
      expected, {{41, 72}});
}

Image SurfaceImage(uint16_t shadeFlags) {
  Image a(212);
  a.Put<uint16_t>(0, shadeFlags);
  for (size_t colour : {2, 6, 10, 46, 172}) a.Color(colour, 255, 255, 255, 255);
  for (size_t colour : {18, 26, 42, 80}) a.Color(colour, 255, 0, 0, 0);
  a.Color(196, 255, 128, 128, 128);
  for (size_t one : {22, 50, 54, 58, 62, 66, 70, 74, 84, 116, 156, 160, 164, 176, 180, 184, 200})
    a.F32(one, 1.0f);
  a.F32(14, 200.0f).F32(136, 5.0f).F32(148, 5.0f);
  a.F32(192, 10.0f).F32(204, 100.0f).F32(208, 10.0f);
  a.Put<int32_t>(132, 8).Put<int32_t>(144, 8);
  return a;
}

TEST(GeometryDefaults, SurfaceAttributes) {
  ExpectDefaults<GATR>(InitGATR, SurfaceImage(0x2200));
  ExpectDefaults<TATR>(InitTATR, SurfaceImage(0x7FFF));
  ExpectDefaults<BATR>(InitBATR, SurfaceImage(0x7FFF));
}

TEST(GeometryDefaults, TextureMapsKeepTheirNameTails) {
  Image t(712);
  t.Identity(70).Triple(262, 1.0, 1.0, 1.0).Put(322, 1.0).Identity(330).Put<int32_t>(458, 1);
  t.F32(466, 1.0f);
  for (size_t face = 0; face < 5; ++face) t.Triple(496 + 48 * face, 1.0, 1.0, 1.0);
  const Ranges nameTails = {{5, 36}, {39, 70}, {199, 230}, {291, 322}};
  ExpectDefaults<TMAP>(InitTMAP, t, nameTails);
  ExpectDefaults<BMAP>(InitBMAP, t, nameTails);
  ExpectDefaults<RMAP>(InitRMAP, t, nameTails);
}

TEST(GeometryDefaults, MapPlacementByMapType) {
  for (uint32_t flat : {0u, 1u, 4u, 5u}) {
    ExpectDefaults<TMQV>([&](TMQV* q) { InitTMQV(q, flat); },
                         Image(122).Triple(90, 1.0, 1.0, 1.0), {{114, 122}});
  }
  // The height scale gets no default.
  ExpectDefaults<BMQV>([](BMQV* q) { InitBMQV(q, 2); },
                       Image(122).Put(90, 1.0).Put(98, 360.0).Put(114, 1.0), {{106, 114}});
  ExpectDefaults<RMQV>([](RMQV* q) { InitRMQV(q, 3); },
                       Image(122).Put(90, 1.0).Put(98, 360.0).Put(106, 180.0));
  for (uint32_t other : {6u, 100u, 0xFFFFFFFFu}) {
    ExpectDefaults<TMQV>([&](TMQV* q) { InitTMQV(q, other); }, Image(122), {{90, 122}});
  }
}

}  // namespace
