// scene/: scene files and the built-in scenes, the settings record they
// carry (base64) and the camera and group matrices they describe.
//
// Scene files: JSON documents holding the plug-in to use (a file name,
// looked up in the plug-in search path), the frame rate and range, the group transform, the camera and the
// plug-in's settings record as an opaque block.
//
//   {
//     "format": "plmhost-scene", "version": 1,
//     "plugin": "Particle.plm"   (or null: the default, Particle.plm)
//     "fps": 30, "frames": {"first": 0, "last": 149},
//     "group": {"translation": [x, y, z], "rotation": [x, y, z] (degrees),
//               "scale": [x, y, z],
//               "motion": {"translation": [...], "rotation": [...]} (per second, optional)},
//     "camera": {"position": [...], "target": [...], "fov": 40 (vertical, degrees)},
//     "settings": {"size": 272, "base64": "..."}
//   }
#ifndef PLMHOST_SCENE_H
#define PLMHOST_SCENE_H

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

typedef std::array<double, 3> Vec3;

struct GroupTransform {
  Vec3 translation{0, 0, 0};
  Vec3 rotation{0, 0, 0};  // degrees about x, then y, then z
  Vec3 scale{1, 1, 1};
  Vec3 translationRate{0, 0, 0};  // per second
  Vec3 rotationRate{0, 0, 0};     // degrees per second
};

struct CameraSpec {
  Vec3 position{0, 0, 100};
  Vec3 target{0, 0, 0};
  double fov = 40;  // vertical field of view, degrees
};

struct Scene {
  std::string label;    // how messages name it: its path, or "NAME (built-in scene)"
  std::string baseDir;  // the folder of the scene file
  std::optional<std::string> plugin;  // as stored; none means the default plug-in
  std::string pluginFile;             // the file to load, once ResolveScenePlugin has found it
  double fps = 30;
  int32_t firstFrame = 0;
  int32_t lastFrame = 149;
  GroupTransform group;
  CameraSpec camera;
  std::vector<uint8_t> settings;
};

constexpr int kSceneVersion = 1;
constexpr int32_t kMaxFrameIndex = 999999;
constexpr double kMaxFps = 1000;
constexpr int32_t kMaxSceneSettingsBytes = 16 << 20;

// Each throws a usage error naming the file and, where there is one, the
// field at fault.
Scene LoadScene(const std::string& thePath);
Scene ParseScene(const std::string& theText, const std::string& theLabel,
                 const std::string& theBaseDir);
Scene BuiltinScene(const std::string& theName);
void SaveScene(const Scene& theScene, const std::string& thePath);
std::string SceneToJson(const Scene& theScene);

// Where the user lets a scene's plug-in come from: --plugin PATH, the user's
// explicit choice, overrides the scene; otherwise the scene's name (or the
// default) is looked up in the search path, with the --plugin-path folders.
struct PluginChoice {
  std::optional<std::string> path;
  std::vector<std::string> searchFolders;
};
// Sets theScene.pluginFile, or throws a usage error before anything is
// loaded: the scene's name holds a path, or no search folder has it.  The
// message says how to allow the plug-in.
void ResolveScenePlugin(Scene& theScene, const PluginChoice& theChoice);
// The file ResolveScenePlugin found; a usage error when it has not run.
std::string ScenePluginPath(const Scene& theScene);

// "A-B" or "A"; throws a usage error naming theOption.
void ParseFrameRange(const std::string& theText, const std::string& theOption, int32_t* first,
                     int32_t* last);

#endif
