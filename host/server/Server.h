// server/: the local web application of `plmhost serve` and `plmhost view`.
// A small HTTP server on the loopback address shows a scene's frames in a
// 3D viewer in the browser and, for serve, the plug-in's settings dialog as
// a form.  Security.* guards every request, FrameSession.* drives the
// plug-in (frames in order, a bounded cache and snapshots of its records),
// PlyFolder.* reads a rendered folder for view, Events.* pushes progress to
// the page, Assets.* holds the page (built into the binary) and Routes.cpp
// answers the requests.
#ifndef PLMHOST_SERVER_H
#define PLMHOST_SERVER_H

#include <cstddef>
#include <string>

#include "scene/Scene.h"

struct ServeOptions {
  std::string scenePath;
  std::string bind = "127.0.0.1";
  int port = 0;  // 0: any free port
  bool readOnly = false;
  bool quiet = false;
  size_t cacheBytes = size_t(256) << 20;     // frames kept for scrubbing
  size_t snapshotBytes = size_t(256) << 20;  // copies of the plug-in's records
  PluginChoice plugin;                       // --plugin and --plugin-path, as for render
};

// Both print the page's URL (with its access token) as the first line on
// standard output, then serve until Ctrl-C; they return the exit code
// (130 after Ctrl-C).
int RunServe(const ServeOptions& theOptions);
// Plays the frame_NNNN.ply files of a rendered folder; no plug-in, no editor.
int RunView(const ServeOptions& theOptions, const std::string& theFolder);

#endif
