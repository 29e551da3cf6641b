#include "scene/Scene.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "scene/Base64.h"
#include "scene/BuiltinScenes.h"
#include "cli/HostError.h"
#include "output/OutputFile.h"
#include "protocol/PluginLoader.h"

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

namespace {

const char kFormat[] = "plmhost-scene";

struct Reader {
  const std::string& label;

  [[noreturn]] void Fail(const std::string& field, const std::string& problem) const {
    throw UsageError(label + ": field \"" + field + "\": " + problem);
  }

  const Json& Member(const Json& object, const std::string& path, const char* key) const {
    std::string field = path.empty() ? key : path + "." + key;
    auto found = object.find(key);
    if (found == object.end()) Fail(field, "missing");
    return *found;
  }

  const Json& Object(const Json& value, const std::string& field,
                     std::initializer_list<const char*> keys) const {
    if (!value.is_object()) Fail(field, "must be an object");
    for (auto it = value.begin(); it != value.end(); ++it) {
      bool known = false;
      for (const char* key : keys) known = known || it.key() == key;
      if (!known) Fail(field.empty() ? it.key() : field + "." + it.key(), "unknown field");
    }
    return value;
  }

  double Number(const Json& value, const std::string& field) const {
    if (!value.is_number()) Fail(field, "must be a number");
    double x = value.get<double>();
    if (!std::isfinite(x)) Fail(field, "must be a finite number");
    return x;
  }

  int64_t Integer(const Json& value, const std::string& field, int64_t low, int64_t high) const {
    if (!value.is_number_integer()) Fail(field, "must be a whole number");
    if (value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(high))
      Fail(field, "must be between " + std::to_string(low) + " and " + std::to_string(high));
    int64_t n = value.get<int64_t>();
    if (n < low || n > high)
      Fail(field, "must be between " + std::to_string(low) + " and " + std::to_string(high));
    return n;
  }

  Vec3 Vector(const Json& value, const std::string& field) const {
    if (!value.is_array() || value.size() != 3) Fail(field, "must be an array of three numbers");
    Vec3 v;
    for (size_t i = 0; i < 3; ++i) v[i] = Number(value[i], field + "[" + std::to_string(i) + "]");
    return v;
  }
};

std::string ReadFile(const std::string& thePath) {
  std::error_code ec;
  if (fs::is_directory(thePath, ec)) throw UsageError(thePath + ": cannot read the scene: it is a directory");
  std::ifstream in(thePath, std::ios::binary);
  if (!in) throw UsageError(thePath + ": cannot read the scene: " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

Json VectorJson(const Vec3& v) { return Json::array({v[0], v[1], v[2]}); }

bool IsZero(const Vec3& v) { return v[0] == 0 && v[1] == 0 && v[2] == 0; }

}  // namespace

Scene ParseScene(const std::string& theText, const std::string& theLabel,
                 const std::string& theBaseDir) {
  Json doc;
  try {
    doc = Json::parse(theText);
  } catch (const Json::parse_error& e) {
    throw UsageError(theLabel + ": not a JSON document (" + e.what() + ")");
  }
  Reader r{theLabel};
  if (!doc.is_object()) throw UsageError(theLabel + ": not a scene (the document is not a JSON object)");
  const Json& format = r.Member(doc, "", "format");
  if (!format.is_string() || format.get<std::string>() != kFormat)
    r.Fail("format", std::string("must be \"") + kFormat + "\"");
  int64_t version = r.Integer(r.Member(doc, "", "version"), "version", INT32_MIN, INT32_MAX);
  if (version != kSceneVersion)
    r.Fail("version", "unknown scene version " + std::to_string(version) +
                          " (this plmhost reads version " + std::to_string(kSceneVersion) + ")");
  r.Object(doc, "", {"format", "version", "plugin", "fps", "frames", "group", "camera", "settings"});

  Scene theScene;
  theScene.label = theLabel;
  theScene.baseDir = theBaseDir;

  const Json& plugin = r.Member(doc, "", "plugin");
  if (plugin.is_string() && !plugin.get<std::string>().empty())
    theScene.plugin = plugin.get<std::string>();
  else if (!plugin.is_null())
    r.Fail("plugin", "must be a plug-in file name, or null for the default plug-in");

  theScene.fps = r.Number(r.Member(doc, "", "fps"), "fps");
  if (!(theScene.fps > 0 && theScene.fps <= kMaxFps))
    r.Fail("fps", "must be greater than 0 and at most " + std::to_string(int(kMaxFps)));

  const Json& frames = r.Object(r.Member(doc, "", "frames"), "frames", {"first", "last"});
  theScene.firstFrame = int32_t(r.Integer(r.Member(frames, "frames", "first"), "frames.first", 0, kMaxFrameIndex));
  theScene.lastFrame = int32_t(r.Integer(r.Member(frames, "frames", "last"), "frames.last", 0, kMaxFrameIndex));
  if (theScene.lastFrame < theScene.firstFrame) r.Fail("frames.last", "must not be before frames.first");

  const Json& group = r.Object(r.Member(doc, "", "group"), "group", {"translation", "rotation", "scale", "motion"});
  theScene.group.translation = r.Vector(r.Member(group, "group", "translation"), "group.translation");
  theScene.group.rotation = r.Vector(r.Member(group, "group", "rotation"), "group.rotation");
  theScene.group.scale = r.Vector(r.Member(group, "group", "scale"), "group.scale");
  if (group.contains("motion")) {
    const Json& motion = r.Object(group["motion"], "group.motion", {"translation", "rotation"});
    if (motion.contains("translation"))
      theScene.group.translationRate = r.Vector(motion["translation"], "group.motion.translation");
    if (motion.contains("rotation"))
      theScene.group.rotationRate = r.Vector(motion["rotation"], "group.motion.rotation");
  }

  const Json& camera = r.Object(r.Member(doc, "", "camera"), "camera", {"position", "target", "fov"});
  theScene.camera.position = r.Vector(r.Member(camera, "camera", "position"), "camera.position");
  theScene.camera.target = r.Vector(r.Member(camera, "camera", "target"), "camera.target");
  theScene.camera.fov = r.Number(r.Member(camera, "camera", "fov"), "camera.fov");
  if (!(theScene.camera.fov >= 1 && theScene.camera.fov <= 170))
    r.Fail("camera.fov", "must be between 1 and 170 degrees");
  if (theScene.camera.position == theScene.camera.target)
    r.Fail("camera.target", "must differ from camera.position");

  const Json& settings = r.Object(r.Member(doc, "", "settings"), "settings", {"size", "base64"});
  int64_t size = r.Integer(r.Member(settings, "settings", "size"), "settings.size", 0, kMaxSceneSettingsBytes);
  const Json& text = r.Member(settings, "settings", "base64");
  if (!text.is_string()) r.Fail("settings.base64", "must be a string");
  auto bytes = DecodeBase64(text.get<std::string>());
  if (!bytes) r.Fail("settings.base64", "is not valid base64");
  if (int64_t(bytes->size()) != size)
    r.Fail("settings.size", "is " + std::to_string(size) + " but settings.base64 holds " +
                                std::to_string(bytes->size()) + " bytes");
  theScene.settings = std::move(*bytes);
  return theScene;
}

Scene LoadScene(const std::string& thePath) {
  std::string base = fs::path(thePath).parent_path().string();
  return ParseScene(ReadFile(thePath), thePath, base.empty() ? "." : base);
}

Scene BuiltinScene(const std::string& theName) {
  const char* text = BuiltinSceneText(theName);
  if (text == nullptr) throw UsageError("no built-in scene called " + theName);
  return ParseScene(text, theName + " (built-in scene)", ExecutableDirectory());
}

std::string SceneToJson(const Scene& theScene) {
  Json group = {{"translation", VectorJson(theScene.group.translation)},
                {"rotation", VectorJson(theScene.group.rotation)},
                {"scale", VectorJson(theScene.group.scale)}};
  if (!IsZero(theScene.group.translationRate) || !IsZero(theScene.group.rotationRate))
    group["motion"] = {{"translation", VectorJson(theScene.group.translationRate)},
                       {"rotation", VectorJson(theScene.group.rotationRate)}};
  Json doc = {
      {"format", kFormat},
      {"version", kSceneVersion},
      {"plugin", theScene.plugin ? Json(*theScene.plugin) : Json(nullptr)},
      {"fps", theScene.fps},
      {"frames", {{"first", theScene.firstFrame}, {"last", theScene.lastFrame}}},
      {"group", group},
      {"camera", {{"position", VectorJson(theScene.camera.position)},
                  {"target", VectorJson(theScene.camera.target)},
                  {"fov", theScene.camera.fov}}},
      {"settings", {{"size", theScene.settings.size()}, {"base64", EncodeBase64(theScene.settings)}}},
  };
  return doc.dump(2) + "\n";
}

void SaveScene(const Scene& theScene, const std::string& thePath) {
  WriteWholeFile(thePath, SceneToJson(theScene));
}

void ResolveScenePlugin(Scene& theScene, const PluginChoice& theChoice) {
  if (theChoice.path) {
    theScene.pluginFile = *theChoice.path;
    return;
  }
  const std::string name = theScene.plugin.value_or(kDefaultPluginName);
  const std::vector<std::string> folders = PluginSearchFolders(theChoice.searchFolders);
  const std::string allow = "; to use a plug-in from elsewhere, name its file with --plugin PATH "
                            "(or add its folder with --plugin-path DIR or PLMHOST_PLUGIN_PATH)";
  if (!IsPluginFileName(name))
    throw UsageError(theScene.label + ": the plug-in \"" + name +
                     "\" is a path, but a scene may only name a plug-in file in the plug-in search path" + allow);
  std::optional<std::string> found = FindPlugin(name, folders);
  if (!found) {
    std::string searched;
    for (const std::string& folder : folders) searched += (searched.empty() ? "" : ", ") + folder;
    throw UsageError(theScene.label + ": no plug-in " + name + " in the plug-in search path (" + searched + ")" + allow);
  }
  theScene.pluginFile = *found;
}

std::string ScenePluginPath(const Scene& theScene) {
  if (theScene.pluginFile.empty()) throw UsageError(theScene.label + ": its plug-in has not been looked up");
  return theScene.pluginFile;
}

void ParseFrameRange(const std::string& theText, const std::string& theOption, int32_t* first,
                     int32_t* last) {
  auto fail = [&]() -> HostError {
    return UsageError(theOption + ": \"" + theText + "\" is not a frame range A-B (0 <= A <= B <= " +
                      std::to_string(kMaxFrameIndex) + ")");
  };
  auto number = [&](const std::string& s) -> int32_t {
    if (s.empty() || s.size() > 7 || s.find_first_not_of("0123456789") != std::string::npos) throw fail();
    long n = std::stol(s);
    if (n > kMaxFrameIndex) throw fail();
    return int32_t(n);
  };
  size_t dash = theText.find('-');
  int32_t a = number(theText.substr(0, dash));
  int32_t b = dash == std::string::npos ? a : number(theText.substr(dash + 1));
  if (b < a) throw fail();
  *first = a;
  *last = b;
}
