// Scene files, their base64 settings, frame ranges and the matrices built
// from them.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <tuple>

#include "scene/Base64.h"
#include "scene/BuiltinScenes.h"
#include "cli/HostError.h"
#include "scene/Scene.h"
#include "scene/SceneMatrices.h"

namespace {

using Json = nlohmann::ordered_json;

// Scenes, their settings in base64 and frame ranges read back what was written.
TEST(PlmhostScene, SettingsScenesAndRangesSurviveWritingAndReading) {
  for (std::string plain : {"", "f", "fo", "foo", "foob", "fooba", "foobar"}) {
    const std::vector<uint8_t> bytes(plain.begin(), plain.end());
    EXPECT_EQ(DecodeBase64(EncodeBase64(bytes)), bytes) << plain;
  }
  EXPECT_EQ(EncodeBase64({'f', 'o', 'o', 'b', 'a', 'r'}) + EncodeBase64({'f'}) + EncodeBase64({'f', 'o'}), "Zm9vYmFyZg==Zm8=");
  for (const char* bad : {"Zg=", "Z===", "Zm9*", "Zh==", "Zm9=Zm9v", "=Zm9"}) EXPECT_FALSE(DecodeBase64(bad).has_value()) << bad;

  Scene a = ParseScene(BuiltinSceneText("fountain"), "a", "/somewhere");
  a.plugin = "plugins/x.plm", a.group.rotationRate = {0, 45, 0}, a.settings = {0, 1, 2, 250, 255};
  Scene b = ParseScene(SceneToJson(a), "b", "/elsewhere");
  EXPECT_EQ(std::tie(b.plugin, b.fps, b.firstFrame, b.lastFrame, b.group.rotationRate, b.camera.position, b.settings),
            std::tie(a.plugin, a.fps, a.firstFrame, a.lastFrame, a.group.rotationRate, a.camera.position, a.settings));
  EXPECT_THROW(ScenePluginPath(b), HostError);  // nothing is loaded before the name is looked up
  EXPECT_THROW(ResolveScenePlugin(b, {}), HostError);  // a path, not a file name
  ResolveScenePlugin(b, {std::string("/chosen/x.plm"), {}});
  EXPECT_EQ(ScenePluginPath(b), "/chosen/x.plm");

  int32_t first = -1, last = -1;
  for (auto [text, range] : {std::pair{"100-199", std::pair{100, 199}}, {"7", {7, 7}}}) {
    ParseFrameRange(text, "--frames", &first, &last);
    EXPECT_EQ(std::make_pair(first, last), range) << text;
  }
  for (const char* bad : {"", "-", "5-", "-5", "9-3", "1-2-3", "a-b", "0-1000000", "1 - 2", "99999999999"})
    EXPECT_THROW(ParseFrameRange(bad, "--frames", &first, &last), HostError) << bad;
}

// The exit code and the message of the error, or "accepted".
std::string ErrorOf(const std::string& theText) {
  try {
    ParseScene(theText, "my.scene.json", ".");
  } catch (const HostError& e) {
    return std::to_string(e.exitCode) + " " + e.what();
  }
  return "accepted";
}

TEST(PlmhostScene, EachBadFieldGetsOneErrorNamingFileAndField) {
  std::pair<const char*, std::function<void(Json&)>> cases[] = {  // the field named, and how the scene is spoilt
      {"\"version\"", [](Json& d) { d["version"] = 2; }}, {"\"fps\"", [](Json& d) { d["fps"] = "thirty"; }},
      {"\"fps\"", [](Json& d) { d["fps"] = 1e9; }}, {"\"frames.first\"", [](Json& d) { d["frames"]["first"] = -1; }},
      {"\"frames.last\"", [](Json& d) { d["frames"]["first"] = 10; d["frames"]["last"] = 9; }},
      {"\"frames.last\"", [](Json& d) { d["frames"]["last"] = 18446744073709551615ull; }},
      {"\"group.scale\"", [](Json& d) { d["group"]["scale"] = {1, 1}; }},
      {"\"group.motion.rotation\"", [](Json& d) { d["group"]["motion"] = {{"rotation", 5}}; }},
      {"\"camera.fov\"", [](Json& d) { d["camera"]["fov"] = 0; }},
      {"\"camera.target\"", [](Json& d) { d["camera"]["target"] = d["camera"]["position"]; }},
      {"\"settings.base64\"", [](Json& d) { d["settings"]["base64"] = "not base64!"; }},
      {"\"settings.size\"", [](Json& d) { d["settings"]["size"] = 271; }}, {"\"colour\"", [](Json& d) { d["colour"] = 1; }}};
  for (const auto& [field, spoil] : cases) {
    Json doc = Json::parse(BuiltinSceneText("fountain"));
    spoil(doc);
    std::string message = ErrorOf(doc.dump());
    EXPECT_EQ(message.rfind("2 my.scene.json: field ", 0), 0u) << message;
    EXPECT_NE(message.find(field), std::string::npos) << field << " in " << message;
  }
  EXPECT_EQ(ErrorOf("[]").rfind("2 my.scene.json: not a scene", 0), 0u);
  EXPECT_EQ(ErrorOf("{\"version\": ").rfind("2 my.scene.json: not a JSON document", 0), 0u);
}

TEST(PlmhostMatrices, GroupScalesRotatesTranslatesAndTheCameraLooksDownMinusZ) {
  GroupTransform g{{1, 0, 0}, {0, 90, 0}, {2, 2, 2}};
  const auto expectNear = [](const Vec3& got, const Vec3& want) { for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(got[i], want[i], 1e-12); };
  // (1, 0, 0) -> (2, 0, 0) -> about +y by 90 degrees: (0, 0, -2) -> (1, 0, -2).
  expectNear(TransformByMatrix({1, 0, 0}, GroupMatrixAt(g, 0)), {1, 0, -2});
  g.translationRate = {0, 10, 0};
  g.rotationRate = {0, -90, 0};
  expectNear(TransformByMatrix({1, 0, 0}, GroupMatrixAt(g, 1)), {3, 10, 0});

  CameraSpec c{{3, 4, 10}, {3, 4, 0}};
  Matrix4 view = CameraMatrix(c);
  expectNear(TransformByMatrix(c.position, view), {0, 0, 0});
  expectNear(TransformByMatrix(c.target, view), {0, 0, -10});
  expectNear(TransformByMatrix({3, 5, 0}, view), {0, 1, -10});  // up stays up
  c = {{0, 10, 0}, {0, 0, 0}};  // straight down
  expectNear(TransformByMatrix(c.target, CameraMatrix(c)), {0, 0, -10});
}

}  // namespace
