// plmhost: a stand-in host that loads a model plug-in, drives it frame by
// frame and writes what it builds as point clouds and pictures.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/HostError.h"
#include "protocol/HostCallbacks.h"
#include "scene/Scene.h"
#include "farm/Merge.h"
#include "protocol/PluginLoader.h"
#ifdef PLMHOST_SERVER
#include "server/Server.h"
#endif
#include "validate/Validate.h"

namespace {

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// When the first word that is no global option is no subcommand, names it
// and the closest subcommand; CLI11 alone only says one is required.
bool ExplainUnknownSubcommand(const CLI::App& theApp, int argc, char** argv) {
  std::vector<std::string> names;
  for (const CLI::App* sub : theApp.get_subcommands({})) names.push_back(sub->get_name());
  for (int k = 1; k < argc; ++k) {
    std::string word = argv[k];
    if (word == "--") return false;
    if (!word.empty() && word[0] == '-') {
      // The global options that take a value, given as a separate word.
      if ((word == "--memory-limit" || word == "--plugin-path") && k + 1 < argc) ++k;
      continue;
    }
    if (std::find(names.begin(), names.end(), word) != names.end()) return false;
    std::string closest;
    size_t best = SIZE_MAX;
    for (const std::string& name : names) {
      size_t d = EditDistance(word, name);
      if (d < best) best = d, closest = name;
    }
    std::string list;
    for (const std::string& name : names) list += (list.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "plmhost: \"%s\" is not a subcommand", word.c_str());
    if (best <= std::max<size_t>(2, word.size() / 3)) std::fprintf(stderr, "; did you mean \"%s\"?", closest.c_str());
    std::fprintf(stderr, " (the subcommands are %s; plmhost --help says more)\n", list.c_str());
    return true;
  }
  return false;
}

void ParseSize(const std::string& theText, RenderOptions& theOptions) {
  size_t x = theText.find_first_of("xX");
  auto side = [&](const std::string& digits) {
    if (digits.empty() || digits.size() > 4 || digits.find_first_not_of("0123456789") != std::string::npos)
      return -1;
    return std::stoi(digits);
  };
  int w = x == std::string::npos ? -1 : side(theText.substr(0, x));
  int h = x == std::string::npos ? -1 : side(theText.substr(x + 1));
  if (w < 16 || h < 16 || w > 8192 || h > 8192)
    throw UsageError("--size: \"" + theText + "\" is not WxH with both between 16 and 8192");
  theOptions.width = w;
  theOptions.height = h;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"plmhost: load a model plug-in, render its frames as point clouds and pictures"};
  app.require_subcommand(1);
  bool quiet = false;
  app.add_flag("-q,--quiet", quiet, "no progress lines");
  std::string memoryLimit;
  CLI::Option* memoryOption = app.add_option(
      "--memory-limit", memoryLimit,
      "most memory a plug-in may hold, e.g. 512M or 8G (default: half of this machine's memory)")
      ->type_name("SIZE");
  std::vector<std::string> searchFolders;
  app.add_option("--plugin-path", searchFolders,
                 "a folder to look for scenes' plug-ins in (repeatable), searched before "
                 "PLMHOST_PLUGIN_PATH and the folder beside plmhost")
      ->allow_extra_args(false)
      ->type_name("DIR");
  app.fallthrough();
  app.footer(
      "A scene names its plug-in by file name; plmhost loads it only from the plug-in search path: the "
      "--plugin-path folders, then the folders of PLMHOST_PLUGIN_PATH (colon-separated), then the folder "
      "beside plmhost. --plugin PATH loads another file for one run.");

  std::string infoPlugin;
  CLI::App* info = app.add_subcommand("info", "describe a plug-in (default: Particle.plm from the plug-in search path)");
  info->add_option("PLUGIN", infoPlugin, "plug-in file (default: Particle.plm from the plug-in search path)");

  NewOptions newOptions;
  std::string newPlugin, newFrames;
  double newFps = 0;
  CLI::App* create = app.add_subcommand("new", "create a scene with the plug-in's initial settings");
  create->add_option("SCENE", newOptions.scenePath, "scene file to create")->required();
  CLI::Option* pluginOption = create->add_option(
      "--plugin", newPlugin,
      "plug-in file; the scene stores its file name, to be found in the plug-in search path "
      "(default: none stored, meaning Particle.plm)");
  CLI::Option* fpsOption = create->add_option("--fps", newFps, "frames per second (default 30)");
  CLI::Option* newFramesOption = create->add_option("--frames", newFrames, "frame range A-B (default 0-149)");
  create->add_flag("--force", newOptions.force, "replace an existing scene file");
  create->add_option("--set", newOptions.sets, "NAME=VALUE: type VALUE into a field of the settings dialog (see edit)")
      ->allow_extra_args(false);

  EditOptions editOptions;
  CLI::App* edit = app.add_subcommand("edit", "edit a scene's settings in the plug-in's dialog (full screen on a terminal)");
  edit->add_option("SCENE", editOptions.scenePath, "scene file")->required();
  edit->add_option("--set", editOptions.sets,
                   "NAME=VALUE (repeatable): type VALUE into the field NAME, a control's name or numeric ID, "
                   "then confirm; a colour is A,R,G,B (0-255 each), #AARRGGBB or #RRGGBB")
      ->allow_extra_args(false);
  edit->add_flag("--cancel", editOptions.cancel, "type the --set values, then cancel the dialog");
  std::string editPlugin;
  CLI::Option* editPluginOption =
      edit->add_option("--plugin", editPlugin, "load this plug-in file instead of the one the scene names");
  edit->footer(
      "On a terminal without --set or --cancel the dialog is a full-screen form: Tab and the arrow keys move "
      "between fields, Enter confirms, Escape cancels. Without a terminal it is confirmed unchanged.\n"
      "OK saves the scene when a setting changed; Cancel leaves it untouched.\n"
      "Each changed field is listed with the value the plug-in kept, and what was typed when that differs.\n"
      "Exit codes: 0 saved, unchanged or cancelled; 1 the plug-in failed; 2 bad usage, a bad scene, a "
      "plug-in not in the search path or an unknown --set name (the valid names are listed).");

  RenderCommandOptions renderOptions;
  std::string scenePath, renderFrames, size;
  CLI::App* render = app.add_subcommand("render", "render a scene (default: the built-in fountain)");
  CLI::Option* sceneOption =
      render->add_option("SCENE", scenePath, "scene file, or a built-in scene: fountain, explosion, waterfall");
  CLI::Option* renderFramesOption = render->add_option("--frames", renderFrames, "frame range A-B (default: the scene's)");
  render->add_option("--out", renderOptions.render.outDir, "output folder (default out)");
  render->add_flag("--png", renderOptions.render.framePictures, "also write a picture of every frame");
  CLI::Option* sizeOption = render->add_option("--size", size, "picture size WxH (default 640x360)");
  std::string renderPlugin;
  CLI::Option* renderPluginOption =
      render->add_option("--plugin", renderPlugin, "load this plug-in file instead of the one the scene names");

#ifdef PLMHOST_SERVER
  ServeOptions serveOptions, viewOptions;
  std::string viewFolder;
  CLI::App* serve = app.add_subcommand("serve", "watch and tune a scene in the browser (prints the page's URL first)");
  serve->add_option("SCENE", serveOptions.scenePath, "scene file")->required();
  CLI::App* view = app.add_subcommand("view", "play a rendered folder of frame_NNNN.ply files in the browser");
  view->add_option("FOLDER", viewFolder, "folder that render wrote")->required();
  for (auto [command, options] : {std::pair{serve, &serveOptions}, std::pair{view, &viewOptions}}) {
    command->add_option("--port", options->port, "port (default: a free one)");
    command->add_option("--bind", options->bind, "address to listen on (default 127.0.0.1)");
    command->footer("The URL carries a random access token; Ctrl-C stops the server (exit 130).");
  }
  serve->add_flag("--read-only", serveOptions.readOnly, "viewer only: the settings editor is off");
  std::string servePlugin;
  CLI::Option* servePluginOption =
      serve->add_option("--plugin", servePlugin, "load this plug-in file instead of the one the scene names");
#endif

  // What render and simulate share: how a range is reached and checkpointed.
  RenderCommandOptions simulateOptions;
  simulateOptions.render.contactSheet = false;
  std::string simulatePath, simulateFrames;
  CLI::App* simulate = app.add_subcommand("simulate", "run a scene's frames and write only the point clouds, "
                                                      "checkpoints and render.json (draw makes the pictures)");
  CLI::Option* simulateSceneOption = simulate->add_option("SCENE", simulatePath, "scene file, or a built-in scene");
  CLI::Option* simulateFramesOption = simulate->add_option("--frames", simulateFrames, "frame range A-B (default: the scene's)");
  std::string simulatePlugin;
  CLI::Option* simulatePluginOption =
      simulate->add_option("--plugin", simulatePlugin, "load this plug-in file instead of the one the scene names");
  simulate->add_option("--out", simulateOptions.render.outDir, "output folder (default out)");
  for (auto [command, options] : {std::pair{render, &renderOptions.render}, {simulate, &simulateOptions.render}}) {
    if (command == render)
      command->add_option("--jobs", options->jobs, "workers writing and drawing frames (default: one per processor)")
          ->check(CLI::Range(1, 256));
    command->add_option("--checkpoints", options->checkpointDir,
                        "folder of checkpoints to start from and to write (default OUT/checkpoints)");
    command->add_option("--checkpoint-every", options->checkpointEvery,
                        "frames between checkpoints (default 100; one is also written at the end)")
        ->check(CLI::Range(1, kMaxFrameIndex + 1));
    command->add_flag("--resume", options->resume, "continue an interrupted run in OUT after its last whole frame");
    command->add_flag("--replay-window", options->replayWindow,
                      "reach the first frame by the plug-in's own replay window instead of running the frames "
                      "before it (faster; may differ from a continuous run, see below)");
    command->footer(
        "Every frame written equals the same frame of one continuous run from the scene's first frame: a range "
        "starting later runs the frames before it without writing them, or continues from the nearest checkpoint "
        "of the same scene and plug-in at or before it (in OUT/checkpoints and --checkpoints).\n"
        "--replay-window starts at the first frame directly, from the plug-in's replay of the frames before it. "
        "Frames then may differ from a continuous run: an emission interval starting exactly at the end (or "
        "ending exactly at the start) of the emission window, a full particle pool, particles born in the "
        "shortened interval before the window, and particles that reach zero energy in the window's last step. "
        "No checkpoints are read or written then.\n"
        "Exit codes: 0 done; 1 the plug-in failed; 2 bad usage, a bad scene, a plug-in that cannot be loaded or "
        "output that cannot be written; 130 cancelled (only whole frames remain).");
  }

  DrawOptions drawOptions;
  std::string drawFrames, drawSize;
  CLI::App* draw = app.add_subcommand("draw", "draw the pictures of a render or simulate folder from its point clouds");
  draw->add_option("FOLDER", drawOptions.folder, "the folder holding render.json and frame_NNNN.ply")->required();
  CLI::Option* drawFramesOption = draw->add_option("--frames", drawFrames, "draw frame_NNNN.png of the frames A-B");
  CLI::Option* drawSizeOption = draw->add_option("--size", drawSize, "picture size WxH (default: the render's)");
  draw->add_option("--jobs", drawOptions.jobs, "pictures drawn at once (default: one per processor)")
      ->check(CLI::Range(1, 256));
  draw->add_flag("--sheet", drawOptions.sheet, "draw only preview.png, the contact sheet over render.json's range");
  draw->footer("Without --frames and --sheet it draws both: every frame of render.json's range and the sheet.");

  MergeOptions mergeOptions;
  std::string mergeSize;
  CLI::App* merge = app.add_subcommand("merge", "combine the output folders of a farm's chunk jobs into one");
  merge->add_option("OUT", mergeOptions.outDir, "folder to write: new, or an earlier merge of the same range")->required();
  merge->add_option("CHUNK", mergeOptions.chunkDirs, "output folders of the jobs, in any order")->required();
  CLI::Option* mergeSizeOption =
      merge->add_option("--size", mergeSize, "picture size WxH (default: the chunks' pictures', else their reports')");
  merge->add_option("--jobs", mergeOptions.jobs, "tiles of the contact sheet drawn at once (default: one per processor)")
      ->check(CLI::Range(1, 256));
  merge->footer(
      "Every frame is taken once; overlapping chunks must hold identical frames. Refused, with the chunk named and "
      "nothing written: a gap, a chunk of another scene or plug-in, an unfinished chunk, pictures for only some "
      "frames. Redo the failed job and run merge again.\n"
      "Exit codes: 0 merged; 2 chunks that cannot be merged, or bad usage.");

  ValidateOptions validateOptions;
  CLI::App* validate = app.add_subcommand("validate", "check that a model plug-in keeps the protocol");
  validate->add_option("PLUGIN", validateOptions.pluginPath, "plug-in file");
  validate->add_flag("--list", validateOptions.list, "list the checks and the strictness levels");
  validate->add_option("--filter", validateOptions.filter, "run the checks named, a group, or a pattern with * and ?");
  validate->add_flag("--in-process", validateOptions.inProcess, "run the checks in this process (for a debugger)");
  validate->add_option("--strictness", validateOptions.strictness, "1 to 5 (default 5)")->check(CLI::Range(1, 5));
  validate->add_option("--seed", validateOptions.seed, "seed of the random settings records (default 1)");
  validate->add_flag("--trace", validateOptions.trace, "print every call between host and plug-in to standard error");
  validate->add_option("--json", validateOptions.jsonPath, "also write the results as JSON");
  validate->add_option("--junit", validateOptions.junitPath, "also write the results as JUnit XML");
  validate->add_option("--time-limit", validateOptions.timeLimit, "seconds a check may run (default 20)")
      ->check(CLI::Range(0.1, 3600.0));
  validate->add_option("--report-fd", validateOptions.reportFd)->group("");
  validate->footer(std::string(kStrictnessHelp) +
                   "\nEach check runs in a child process; a crash or a hang is a finding.\n"
                   "Exit codes: 0 all pass, 1 any fails, 2 bad usage or a file that is not a plug-in.");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (!ExplainUnknownSubcommand(app, argc, argv)) app.exit(e);
    return kExitUsage;
  }

  try {
    if (*memoryOption) {
      int64_t bytes = 0;
      if (!ParseMemorySize(memoryLimit, &bytes))
        throw UsageError("--memory-limit: \"" + memoryLimit + "\" is not a size such as 512M, 8G or 1.5G");
      SetPluginMemoryLimit(bytes, "set by --memory-limit");
    }
    PluginChoice choice;
    choice.searchFolders = searchFolders;
    if (*info) return RunInfo(infoPlugin.empty() ? DefaultPlugin(searchFolders) : infoPlugin);
    if (*create) {
      newOptions.searchFolders = searchFolders;
      if (*pluginOption) newOptions.pluginPath = newPlugin;
      if (*fpsOption) newOptions.fps = newFps;
      if (*newFramesOption) newOptions.frames = newFrames;
      return RunNew(newOptions);
    }
    if (*edit) {
      editOptions.plugin = choice;
      if (*editPluginOption) editOptions.plugin.path = editPlugin;
      return RunEdit(editOptions);
    }
    renderOptions.plugin = choice;
    if (*renderPluginOption) renderOptions.plugin.path = renderPlugin;
#ifdef PLMHOST_SERVER
    serveOptions.quiet = viewOptions.quiet = quiet;
    serveOptions.plugin = choice;
    if (*servePluginOption) serveOptions.plugin.path = servePlugin;
    if (*serve) return RunServe(serveOptions);
    if (*view) return RunView(viewOptions, viewFolder);
#endif

    if (*draw) {
      if (*drawFramesOption) {
        int32_t a, b;
        ParseFrameRange(drawFrames, "--frames", &a, &b);
        drawOptions.frames = std::pair{a, b};
      }
      if (*drawSizeOption) {
        RenderOptions sized;
        ParseSize(drawSize, sized);
        drawOptions.size = std::pair{sized.width, sized.height};
      }
      return DrawFolder(drawOptions);
    }
    if (*simulate) {
      if (*simulateSceneOption) simulateOptions.scenePath = simulatePath;
      if (*simulateFramesOption) simulateOptions.frames = simulateFrames;
      simulateOptions.plugin = choice;
      if (*simulatePluginOption) simulateOptions.plugin.path = simulatePlugin;
      simulateOptions.render.quiet = quiet;
      return RunRender(simulateOptions);
    }
    if (*validate) return RunValidate(validateOptions);
    if (*merge) {
      if (*mergeSizeOption) {
        RenderOptions sized;
        ParseSize(mergeSize, sized);
        mergeOptions.size = std::pair{sized.width, sized.height};
      }
      return MergeChunks(mergeOptions);
    }
    if (*sceneOption) renderOptions.scenePath = scenePath;
    if (*renderFramesOption) renderOptions.frames = renderFrames;
    if (*sizeOption) ParseSize(size, renderOptions.render);
    renderOptions.render.quiet = quiet;
    return RunRender(renderOptions);
  } catch (const HostError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "plmhost: %s\n", e.what());
    return e.exitCode;
  } catch (const std::exception& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "plmhost: %s\n", e.what());
    return kExitPluginError;
  }
}
