// farm/: putting together what the jobs of a render farm wrote.
//
// A shot rendered by several jobs leaves one output folder per job (a
// chunk), each with its own frames, render.json and contact sheet.  Merging
// checks that the chunks are finished parts of one and the same render (same
// scene, same plug-in, no frame missing, overlaps identical) and writes one
// folder as a single render of the whole range would: every frame once, one
// render.json and one contact sheet.  Nothing is written unless every check
// passes, so a merge refused because a job failed is simply run again once
// the job is redone.
#ifndef PLMHOST_MERGE_H
#define PLMHOST_MERGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct MergeOptions {
  std::string outDir;
  std::vector<std::string> chunkDirs;
  std::optional<std::pair<int, int>> size;  // of the pictures; default: the chunks' pictures', else their reports'
  int jobs = 0;                             // drawing the contact sheet; 0: one per processor
};

// Returns the exit code; a chunk that cannot be merged throws a usage error
// naming it.
int MergeChunks(const MergeOptions& theOptions);

#endif
