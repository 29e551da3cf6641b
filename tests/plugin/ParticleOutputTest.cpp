// Geometry output: the group, vertex and facet records, their order, the
// progress reports around them, and the energy colour ramp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "FakeHost.h"
#include "Particle.h"
#include "ParticleEngine.h"
#include "host/PluginClient.h"

namespace {

constexpr IFFType kSTAT = MakeIFF("STAT"), kADDG = MakeIFF("ADDG"), kADDV = MakeIFF("ADDV"),
                  kADDF = MakeIFF("ADDF");

ARGB Color(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
  ARGB c;
  c.a = a;
  c.r = r;
  c.g = g;
  c.b = b;
  return c;
}

void ExpectColor(double energy, ARGB want) {
  ARGB got;
  EnergyColor(energy, &got);
  EXPECT_EQ(got.a, want.a) << energy;
  EXPECT_EQ(got.r, want.r) << energy;
  EXPECT_EQ(got.g, want.g) << energy;
  EXPECT_EQ(got.b, want.b) << energy;
}

TEST(EnergyColor, RampOfTheDefaultColours) {
  BoundPool pool(1);
  ExpectColor(0.75, Color(255, 255, 191, 127));
  ExpectColor(0.25, Color(255, 227, 64, 0));
  ExpectColor(0.5, Color(255, 255, 128, 0));
  ExpectColor(1.0, Color(255, 255, 255, 255));
  ExpectColor(0.0, Color(255, 200, 0, 0));
  ExpectColor(7.0, Color(255, 255, 255, 255));
  ExpectColor(-1.0, Color(255, 200, 0, 0));
  // Every channel blends on its own, alpha included.
  pool.control.energyColors[0] = Color(0, 10, 20, 30);
  pool.control.energyColors[1] = Color(100, 110, 120, 130);
  ExpectColor(0.125, Color(25, 35, 45, 55));
  ARGB nan;
  EnergyColor(NAN, &nan);  // no defined colour, but no undefined conversion either
}

struct Output : ::testing::Test {
  BoundPool pool{5};
  void Add(float x, float y, float z, float energy) {
    ParticleRec p{};
    p.xPos = x;
    p.yPos = y;
    p.zPos = z;
    p.xOld = x;
    p.yOld = y - 1;
    p.zOld = z;
    p.energy = energy;
    EnergyColor(energy, &p.color);
    AddParticle(&p);
  }
};

TEST_F(Output, NewestFirstWithReportsBeforeEachVertex) {
  Add(1, 2, 3, 1.0f);
  Add(4, 5, 6, 0.5f);
  Add(7, 8, 9, 0.25f);
  pool.Data().vertexFlags = 0xFFFFFFFF;
  OutputParticles();
  const std::vector<IFFType> order = {kSTAT, kADDG, kSTAT, kADDV, kADDF, kSTAT, kADDV,
                                      kADDF, kSTAT, kADDV, kADDF, kSTAT};
  EXPECT_EQ(pool.host.calls, order);
  EXPECT_EQ(pool.host.groupFlags, std::vector<uint32_t>{0x5FFFFFFF});

  const std::vector<StatusReport>& s = pool.host.status;
  ASSERT_EQ(s.size(), 5u);
  EXPECT_EQ(s[0].unit, "Particle");
  EXPECT_EQ(s[0].info, "Creating Particles");
  EXPECT_EQ(s[0].max, 3);
  const float pos[] = {0.0f, float(1.0 / 3), float(2.0 / 3), 1.0f, 1.0f};
  const int32_t val[] = {0, 1, 2, 3, 3};
  for (int i = 0; i < 5; i++) {
    EXPECT_EQ(s[size_t(i)].pos, pos[i]) << i;
    EXPECT_EQ(s[size_t(i)].value, val[i]) << i;
  }

  ASSERT_EQ(pool.host.vertices.size(), 3u);
  EXPECT_EQ(pool.host.vertices[0].position.x, 7.0);
  EXPECT_EQ(pool.host.vertices[2].position.x, 1.0);
  const ARGB colors[] = {Color(255, 227, 64, 0), Color(255, 255, 128, 0),
                         Color(255, 255, 255, 255)};
  ASSERT_EQ(pool.host.facets.size(), 3u);
  for (int i = 0; i < 3; i++) {
    const FacetReport& f = pool.host.facets[size_t(i)];
    EXPECT_EQ(f.color.colorValue, colors[i].colorValue) << i;
    EXPECT_EQ(f.numVertices, 1);
    EXPECT_EQ(f.vertices[0], 1001 + i) << "the index the host gave the vertex";
    EXPECT_EQ(f.vertices[1] | f.vertices[2] | f.vertices[3], 0);
  }
}

TEST_F(Output, PositionsGoThroughTheFrameMatrixAndBlurThroughTheBlurMatrix) {
  Add(1, 2, 3, 1.0f);
  OutputParticles();
  ASSERT_EQ(pool.host.vertices.size(), 1u);
  const VertexReport& v = pool.host.vertices[0];
  EXPECT_EQ(v.position.x, 1.0);
  EXPECT_EQ(v.position.y, 2.0);
  EXPECT_EQ(v.position.z, 3.0);
  EXPECT_EQ(v.blur.y, 1.0);
  EXPECT_EQ(std::memcmp(&v.texture, &v.position, sizeof v.position), 0);
  EXPECT_EQ(v.normal.x + v.normal.y + v.normal.z, 0.0);
  EXPECT_EQ(v.color, 0xFFFFFFFFu);

  // Scale by 2 and move by (10, 20, 30); the blur matrix only moves by 100 in x.
  Matrix4& m = pool.Data().theMatrix;
  m.m.m00 = m.m.m11 = m.m.m22 = 2;
  m.m.m30 = 10;
  m.m.m31 = 20;
  m.m.m32 = 30;
  pool.Data().theBlurMatrix.m.m30 = 100;
  pool.host.ClearLog();
  OutputParticles();
  const VertexReport& w = pool.host.vertices[0];
  EXPECT_EQ(w.position.x, 12.0);
  EXPECT_EQ(w.position.y, 24.0);
  EXPECT_EQ(w.position.z, 36.0);
  EXPECT_EQ(w.texture.z, 36.0);
  EXPECT_EQ(w.blur.x, 101.0);
  EXPECT_EQ(w.blur.y, 1.0);
}

TEST_F(Output, NothingForAnEmptyPoolOrASetLatch) {
  OutputParticles();
  EXPECT_TRUE(pool.host.calls.empty());
  Add(1, 2, 3, 1.0f);
  result = 5;
  OutputParticles();
  EXPECT_TRUE(pool.host.calls.empty());
}

TEST_F(Output, AFailedVertexStopsTheFrame) {
  Add(1, 2, 3, 1.0f);
  Add(4, 5, 6, 1.0f);
  pool.host.failSelector = kADDV;
  OutputParticles();
  EXPECT_EQ(pool.host.calls, (std::vector<IFFType>{kSTAT, kADDG, kSTAT, kADDV}));
  EXPECT_EQ(result, kPluginUserCanceled);
  EXPECT_EQ(pool.control.particleCount, 2) << "output never changes the pool";
}

TEST_F(Output, ThrottledReportsSkipOnlyTheIntermediateOnes) {
  Add(1, 2, 3, 1.0f);
  Add(4, 5, 6, 1.0f);
  struct Throttle {
    static int32_t Proc(IFFType selector, int32_t size, void* record) {
      if (selector == MakeIFF("STAT")) static_cast<HostStatusPtr>(record)->theStatusTick = -1;
      return FakeHost::Proc(selector, size, record);
    }
  };
  hostProc = &Throttle::Proc;
  OutputParticles();
  EXPECT_EQ(pool.host.calls,
            (std::vector<IFFType>{kSTAT, kADDG, kADDV, kADDF, kADDV, kADDF, kSTAT}));
}

}  // namespace
