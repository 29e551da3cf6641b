// Scene files, their base64 settings, frame ranges and the matrices built
// from them.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "Base64.h"
#include "BuiltinScenes.h"
#include "HostError.h"
#include "Preview.h"
#include "Scene.h"
#include "SceneMatrices.h"

namespace {

using Json = nlohmann::ordered_json;

TEST(PlmhostBase64, MatchesTheStandardVectorsBothWays) {
  const char* plain[] = {"", "f", "fo", "foo", "foob", "fooba", "foobar"};
  const char* coded[] = {"", "Zg==", "Zm8=", "Zm9v", "Zm9vYg==", "Zm9vYmE=", "Zm9vYmFy"};
  for (int i = 0; i < 7; ++i) {
    std::vector<uint8_t> bytes(plain[i], plain[i] + std::strlen(plain[i]));
    EXPECT_EQ(EncodeBase64(bytes), coded[i]);
    auto back = DecodeBase64(coded[i]);
    ASSERT_TRUE(back.has_value()) << coded[i];
    EXPECT_EQ(*back, bytes);
  }
  for (const char* bad : {"Zg=", "Z===", "Zm9*", "Zh==", "Zm9=Zm9v", "=Zm9"})
    EXPECT_FALSE(DecodeBase64(bad).has_value()) << bad;
}

Json ValidScene() { return Json::parse(BuiltinSceneText("fountain")); }

std::string ErrorOf(const Json& doc) {
  try {
    ParseScene(doc.dump(), "my.scene.json", ".");
  } catch (const HostError& e) {
    EXPECT_EQ(e.exitCode, kExitUsage);
    return e.what();
  }
  return "";
}

TEST(PlmhostScene, EachBadFieldGetsOneErrorNamingFileAndField) {
  struct Case {
    const char* field;  // expected in the message
    std::function<void(Json&)> spoil;
  } cases[] = {
      {"\"version\"", [](Json& d) { d["version"] = 2; }},
      {"\"format\"", [](Json& d) { d["format"] = "other"; }},
      {"\"fps\"", [](Json& d) { d["fps"] = "thirty"; }},
      {"\"fps\"", [](Json& d) { d["fps"] = 1e9; }},
      {"\"frames.first\"", [](Json& d) { d["frames"]["first"] = -1; }},
      {"\"frames.last\"", [](Json& d) { d["frames"]["first"] = 10; d["frames"]["last"] = 9; }},
      {"\"frames.last\"", [](Json& d) { d["frames"]["last"] = 18446744073709551615ull; }},
      {"\"group.scale\"", [](Json& d) { d["group"]["scale"] = {1, 1}; }},
      {"\"group.motion.rotation\"", [](Json& d) { d["group"]["motion"] = {{"rotation", 5}}; }},
      {"\"camera.fov\"", [](Json& d) { d["camera"]["fov"] = 0; }},
      {"\"camera.target\"", [](Json& d) { d["camera"]["target"] = d["camera"]["position"]; }},
      {"\"plugin\"", [](Json& d) { d["plugin"] = 12; }},
      {"\"settings.base64\"", [](Json& d) { d["settings"]["base64"] = "not base64!"; }},
      {"\"settings.size\"", [](Json& d) { d["settings"]["size"] = 271; }},
      {"\"colour\"", [](Json& d) { d["colour"] = 1; }},
  };
  for (const Case& c : cases) {
    Json doc = ValidScene();
    c.spoil(doc);
    std::string message = ErrorOf(doc);
    EXPECT_EQ(message.rfind("my.scene.json: field ", 0), 0u) << message;
    EXPECT_NE(message.find(c.field), std::string::npos) << c.field << " in " << message;
  }
  EXPECT_NE(ErrorOf(Json::array()).find("not a scene"), std::string::npos);
  try {
    ParseScene("{\"version\": ", "broken.json", ".");
    ADD_FAILURE() << "accepted broken JSON";
  } catch (const HostError& e) {
    EXPECT_NE(std::string(e.what()).find("broken.json: not a JSON document"), std::string::npos);
  }
}

TEST(PlmhostScene, SurvivesSavingAndLoading) {
  Scene a = ParseScene(BuiltinSceneText("fountain"), "a", "/somewhere");
  a.plugin = "plugins/x.plm";
  a.group.rotationRate = {0, 45, 0};
  a.settings = {0, 1, 2, 250, 255};
  Scene b = ParseScene(SceneToJson(a), "b", "/elsewhere");
  EXPECT_EQ(b.plugin, a.plugin);
  EXPECT_EQ(b.fps, a.fps);
  EXPECT_EQ(b.firstFrame, a.firstFrame);
  EXPECT_EQ(b.lastFrame, a.lastFrame);
  EXPECT_EQ(b.group.rotationRate, a.group.rotationRate);
  EXPECT_EQ(b.camera.position, a.camera.position);
  EXPECT_EQ(b.settings, a.settings);
  EXPECT_EQ(ScenePluginPath(b), "/elsewhere/plugins/x.plm");
  EXPECT_EQ(PluginPathForScene("/a/b/p.plm", "/a/c/s.json"), "../b/p.plm");
}

TEST(PlmhostScene, FrameRanges) {
  int32_t a = -1, b = -1;
  ParseFrameRange("100-199", "--frames", &a, &b);
  EXPECT_EQ(a, 100);
  EXPECT_EQ(b, 199);
  ParseFrameRange("7", "--frames", &a, &b);
  EXPECT_EQ(a, 7);
  EXPECT_EQ(b, 7);
  for (const char* bad : {"", "-", "5-", "-5", "9-3", "1-2-3", "a-b", "0-1000000", "1 - 2", "99999999999"})
    EXPECT_THROW(ParseFrameRange(bad, "--frames", &a, &b), HostError) << bad;
}

void ExpectNear(const Vec3& got, const Vec3& want) {
  for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 1e-12) << i;
}

TEST(PlmhostMatrices, GroupScalesThenRotatesThenTranslates) {
  GroupTransform g;
  g.scale = {2, 2, 2};
  g.rotation = {0, 90, 0};
  g.translation = {1, 0, 0};
  // (1, 0, 0) -> (2, 0, 0) -> about +y by 90 degrees: (0, 0, -2) -> (1, 0, -2).
  ExpectNear(TransformByMatrix({1, 0, 0}, GroupMatrixAt(g, 0)), {1, 0, -2});
  g.translationRate = {0, 10, 0};
  g.rotationRate = {0, -90, 0};
  ExpectNear(TransformByMatrix({1, 0, 0}, GroupMatrixAt(g, 1)), {3, 10, 0});
  ExpectNear(TransformByMatrix({0, 1, 0}, GroupRotationAt(g, 0)), {0, 1, 0});
}

TEST(PlmhostMatrices, CameraLooksDownMinusZAtItsTarget) {
  CameraSpec c;
  c.position = {3, 4, 10};
  c.target = {3, 4, 0};
  Matrix4 view = CameraMatrix(c);
  ExpectNear(TransformByMatrix(c.position, view), {0, 0, 0});
  ExpectNear(TransformByMatrix(c.target, view), {0, 0, -10});
  ExpectNear(TransformByMatrix({3, 5, 0}, view), {0, 1, -10});  // up stays up
  c.position = {0, 10, 0};
  c.target = {0, 0, 0};  // straight down
  ExpectNear(TransformByMatrix(c.target, CameraMatrix(c)), {0, 0, -10});
}

TEST(PlmhostPreview, ContactSheetTakesNineEvenlySpacedDistinctFrames) {
  EXPECT_EQ(ContactSheetFrames(0, 80), (std::vector<int32_t>{0, 10, 20, 30, 40, 50, 60, 70, 80}));
  EXPECT_EQ(ContactSheetFrames(100, 199), (std::vector<int32_t>{100, 112, 124, 137, 149, 161, 174, 186, 199}));
  EXPECT_EQ(ContactSheetFrames(5, 6), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(ContactSheetFrames(3, 3), (std::vector<int32_t>{3}));
}

}  // namespace
