#include "farm/Merge.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "cli/HostError.h"
#include "output/OutputFile.h"
#include "render/Render.h"

using Json = nlohmann::ordered_json;
namespace fs = std::filesystem;

namespace {

// A report far larger than any range could need is not read into memory.
constexpr uintmax_t kMaxReportBytes = 256u << 20;

struct Chunk {
  std::string dir;
  Json report;
  std::string plugin;  // name, version and file hash, as the user reads them
  std::string scene;   // source and content hash
  int32_t first = 0, last = 0;
};

std::string Short(const std::string& theHash) { return theHash.substr(0, 12); }

std::string Range(int64_t first, int64_t last) {
  return first == last ? "frame " + std::to_string(first)
                       : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

// The value at a dotted path of a chunk's report, which must have the given
// type; anything else is a clear refusal naming the file and the key.
const Json& Need(const Chunk& theChunk, const std::string& thePath, Json::value_t theType, const char* theTypeName) {
  const Json* at = &theChunk.report;
  size_t start = 0;
  while (at != nullptr) {
    size_t dot = thePath.find('.', start);
    std::string key = thePath.substr(start, dot == std::string::npos ? std::string::npos : dot - start);
    at = at->is_object() && at->contains(key) ? &(*at)[key] : nullptr;
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  bool fits = at != nullptr && (at->type() == theType ||
                                (theType == Json::value_t::number_integer && at->is_number_unsigned()));
  if (!fits)
    throw UsageError(theChunk.dir + "/render.json: \"" + thePath + "\" is missing or not " + theTypeName);
  return *at;
}
std::string NeedText(const Chunk& c, const std::string& p) { return Need(c, p, Json::value_t::string, "text").get<std::string>(); }
int64_t NeedInteger(const Chunk& c, const std::string& p) {
  const Json& v = Need(c, p, Json::value_t::number_integer, "a whole number");
  if (v.is_number_unsigned() && v.get<uint64_t>() > uint64_t(INT64_MAX))
    throw UsageError(c.dir + "/render.json: \"" + p + "\" is out of range");
  return v.get<int64_t>();
}

Chunk ReadChunk(const std::string& theDir) {
  Chunk c;
  c.dir = theDir;
  std::error_code ec;
  if (!fs::is_directory(theDir, ec)) throw UsageError(theDir + ": no such chunk folder");
  std::string path = theDir + "/render.json";
  uintmax_t size = fs::file_size(path, ec);
  if (ec) throw UsageError(theDir + ": no render.json (not a render's output, or its job never started)");
  if (size > kMaxReportBytes) throw UsageError(path + ": too large to be a render report");
  std::ifstream in(path, std::ios::binary);
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  c.report = Json::parse(text, nullptr, false);
  if (c.report.is_discarded() || !c.report.is_object()) throw UsageError(path + ": not a render report (not JSON)");

  int64_t first = NeedInteger(c, "frames.first"), last = NeedInteger(c, "frames.last");
  if (first < INT32_MIN || last > INT32_MAX || first > last)
    throw UsageError(path + ": \"frames\" " + std::to_string(first) + "-" + std::to_string(last) + " is no range");
  c.first = int32_t(first);
  c.last = int32_t(last);

  std::string status = NeedText(c, "status");
  bool complete = Need(c, "complete", Json::value_t::boolean, "true or false").get<bool>();
  const Json& results = Need(c, "frameResults", Json::value_t::array, "a list");
  if (status != "done" || !complete) {
    size_t finished = 0;
    for (const Json& r : results) finished += r.is_object() && r.value("result", -1) == 0 ? 1 : 0;
    throw UsageError(theDir + ": incomplete: its render " + (status == "done" ? "is not complete" : status) + " with " +
                     std::to_string(finished) + " of " + std::to_string(last - first + 1) +
                     " frames finished; redo its job, then merge again");
  }
  // One result per frame, in order, each a success.
  if (results.size() != size_t(last - first + 1))
    throw UsageError(path + ": lists " + std::to_string(results.size()) + " frame results for " + Range(first, last));
  for (size_t k = 0; k < results.size(); ++k) {
    const Json& r = results[k];
    bool ok = r.is_object() && r.contains("frame") && r["frame"].is_number_integer() &&
              r["frame"].get<int64_t>() == first + int64_t(k) && r.contains("result") &&
              r["result"].is_number_integer() && r["result"].get<int64_t>() == 0 && r.contains("particles") &&
              r["particles"].is_number_unsigned();
    if (!ok) throw UsageError(path + ": frame result " + std::to_string(k) + " is not frame " +
                              std::to_string(first + int64_t(k)) + " finished without error");
  }

  c.plugin = NeedText(c, "plugin.name") + " " + std::to_string(NeedInteger(c, "plugin.version")) +
             " (plug-in file sha256 " + Short(NeedText(c, "plugin.sha256")) + ")";
  c.scene = NeedText(c, "scene.source") + " (scene sha256 " + Short(NeedText(c, "scene.sha256")) + ")";
  Need(c, "scene.content", Json::value_t::object, "a scene");
  // Full hashes decide; the short ones are only for the message.
  c.plugin += "\n" + NeedText(c, "plugin.sha256");
  c.scene += "\n" + NeedText(c, "scene.sha256");
  return c;
}

std::string Shown(const std::string& theKey) { return theKey.substr(0, theKey.find('\n')); }

// The value most chunks share (the first chunk's on a tie); every chunk
// with another is named.
void RequireSame(const std::vector<Chunk>& theChunks, std::string Chunk::*theKey, const char* theWhat) {
  std::map<std::string, size_t> counts;
  for (const Chunk& c : theChunks) ++counts[c.*theKey];
  std::string common = theChunks[0].*theKey;
  for (const auto& [key, n] : counts)
    if (n > counts[common]) common = key;
  std::string odd;
  for (const Chunk& c : theChunks)
    if (c.*theKey != common) odd += "\n  " + c.dir + ": " + Shown(c.*theKey);
  if (!odd.empty())
    throw UsageError(std::string("chunks of another ") + theWhat + " (the others have " + Shown(common) + "):" + odd);
}

bool IsFile(const std::string& thePath) {
  std::error_code ec;
  return fs::is_regular_file(thePath, ec);
}

bool SameBytes(const std::string& a, const std::string& b) {
  std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
  if (!x || !y) return false;
  std::vector<char> bx(1 << 16), by(1 << 16);
  while (true) {
    x.read(bx.data(), std::streamsize(bx.size()));
    y.read(by.data(), std::streamsize(by.size()));
    if (x.gcount() != y.gcount() || !std::equal(bx.begin(), bx.begin() + x.gcount(), by.begin())) return false;
    if (x.gcount() == 0 || !x || !y) return !x && !y && x.eof() && y.eof();
  }
}

void CopyFile(const std::string& theSource, const std::string& theTarget) {
  FILE* in = std::fopen(theSource.c_str(), "rb");
  if (in == nullptr) throw UsageError(theSource + ": cannot read");
  OutputFile out = BeginOutputFile(theTarget);
  std::vector<char> block(1 << 20);
  size_t n;
  while ((n = std::fread(block.data(), 1, block.size(), in)) > 0) std::fwrite(block.data(), 1, n, out.stream);
  bool readOk = std::ferror(in) == 0;
  std::fclose(in);
  if (!readOk) {
    AbandonOutputFile(out);
    throw UsageError(theSource + ": cannot read");
  }
  CommitOutputFile(out);
}

// Width and height from a PNG's header; none when it is not a PNG.
std::optional<std::pair<int, int>> PngSize(const std::string& thePath) {
  unsigned char head[24];
  std::ifstream in(thePath, std::ios::binary);
  if (!in.read(reinterpret_cast<char*>(head), sizeof head) ||
      std::memcmp(head, "\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16) != 0)
    return std::nullopt;
  auto side = [&](int at) { return int(uint32_t(head[at]) << 24 | head[at + 1] << 16 | head[at + 2] << 8 | head[at + 3]); };
  return std::pair{side(16), side(20)};
}

std::string SizeText(std::pair<int, int> theSize) {
  return std::to_string(theSize.first) + "x" + std::to_string(theSize.second);
}

std::string FramePath(const std::string& theDir, int64_t theFrame, const char* theExtension) {
  return theDir + "/" + FrameFileName(int32_t(theFrame), theExtension);
}

// "frames 3-9 (in a), frame 12 (in b)" for the frames where missing is true.
std::string DescribeFrames(const std::vector<bool>& missing, const std::vector<size_t>& owner,
                           const std::vector<Chunk>& chunks, int32_t first) {
  std::string text;
  int listed = 0;
  for (size_t k = 0; k < missing.size();) {
    if (!missing[k]) { ++k; continue; }
    size_t end = k;
    while (end + 1 < missing.size() && missing[end + 1] && owner[end + 1] == owner[k]) ++end;
    if (++listed <= 6)
      text += std::string(text.empty() ? "" : ", ") + Range(first + int64_t(k), first + int64_t(end)) + " (in " +
              chunks[owner[k]].dir + ")";
    k = end + 1;
  }
  if (listed > 6) text += " and " + std::to_string(listed - 6) + " more ranges";
  return text;
}

}  // namespace

int MergeChunks(const MergeOptions& theOptions) {
  if (theOptions.chunkDirs.empty()) throw UsageError("merge: no chunk folders given");
  std::vector<Chunk> chunks;
  for (const std::string& dir : theOptions.chunkDirs) chunks.push_back(ReadChunk(dir));
  RequireSame(chunks, &Chunk::plugin, "plug-in");
  RequireSame(chunks, &Chunk::scene, "scene");

  std::error_code ec;
  for (const Chunk& c : chunks)
    if (fs::exists(theOptions.outDir, ec) && fs::equivalent(theOptions.outDir, c.dir, ec))
      throw UsageError(theOptions.outDir + ": is the chunk " + c.dir + "; merge into another folder");

  // In order of their first frames, the chunks must leave no frame out.
  std::vector<size_t> order(chunks.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return chunks[a].first < chunks[b].first; });
  const int32_t first = chunks[order[0]].first;
  int64_t covered = int64_t(first) - 1;
  size_t reaching = order[0];  // the chunk that reaches furthest so far
  for (size_t k : order) {
    if (chunks[k].first > covered + 1)
      throw UsageError(Range(covered + 1, chunks[k].first - 1) + " are in no chunk: " + chunks[reaching].dir +
                       " ends at " + std::to_string(covered) + ", " + chunks[k].dir + " starts at " +
                       std::to_string(chunks[k].first));
    if (chunks[k].last > covered) covered = chunks[k].last, reaching = k;
  }
  const int32_t last = int32_t(covered);

  // Each frame comes from the first chunk that has it; where chunks overlap,
  // the later ones must hold the very same frame.
  const size_t count = size_t(int64_t(last) - first + 1);
  std::vector<size_t> owner(count, SIZE_MAX);
  std::vector<std::string> picture(count);  // where each frame's picture is, if anywhere
  for (size_t k : order) {
    const Chunk& c = chunks[k];
    for (int64_t f = c.first; f <= c.last; ++f) {
      size_t at = size_t(f - first);
      std::string ply = FramePath(c.dir, f, "ply"), png = FramePath(c.dir, f, "png");
      if (!IsFile(ply))
        throw UsageError(c.dir + ": " + FrameFileName(int32_t(f), "ply") +
                         " is missing, though its render.json says the chunk is complete");
      if (owner[at] == SIZE_MAX) {
        owner[at] = k;
      } else {
        const Chunk& o = chunks[owner[at]];
        const Json& mine = c.report["frameResults"][size_t(f - c.first)];
        const Json& theirs = o.report["frameResults"][size_t(f - o.first)];
        std::string otherPng = FramePath(o.dir, f, "png");
        const char* differs = mine["particles"] != theirs["particles"] || !SameBytes(ply, FramePath(o.dir, f, "ply"))
                                  ? "ply"
                              : IsFile(png) && IsFile(otherPng) && !SameBytes(png, otherPng) ? "png"
                                                                                              : nullptr;
        if (differs != nullptr)
          throw UsageError(c.dir + " and " + o.dir + " overlap on " +
                           Range(std::max(c.first, o.first), std::min(c.last, o.last)) + ", but their " +
                           FrameFileName(int32_t(f), differs) + " differ: they are not parts of one render");
      }
      if (picture[at].empty() && IsFile(png)) picture[at] = png;
    }
  }

  // Pictures for all frames or for none: a picture job that failed is redone
  // before merging.
  std::vector<bool> noPicture(count);
  size_t pictures = 0;
  for (size_t k = 0; k < count; ++k) noPicture[k] = picture[k].empty(), pictures += picture[k].empty() ? 0 : 1;
  if (pictures != 0 && pictures != count)
    throw UsageError("no picture for " + DescribeFrames(noPicture, owner, chunks, first) +
                     ", though the other frames have one; redo the picture jobs for them, then merge again");
  // All of one size, which the contact sheet takes too.
  std::optional<std::pair<int, int>> size = theOptions.size;
  for (size_t at = 0; at < count && pictures != 0; ++at) {
    std::optional<std::pair<int, int>> mine = PngSize(picture[at]);
    if (!mine) throw UsageError(picture[at] + ": not a PNG picture");
    if (!size) size = mine;
    if (*mine != *size)
      throw UsageError(picture[at] + ": " + SizeText(*mine) + ", but " +
                       (theOptions.size ? "--size is " : "the pictures before it are ") + SizeText(*size) +
                       "; draw all frames at one size");
  }

  // The output folder: new, or one this merge may fill again.  Frames of
  // another range there would make it look like a render it is not.
  static const std::regex frameName("frame_(-?[0-9]{1,10})\\.(ply|png)");
  if (fs::exists(theOptions.outDir, ec)) {
    if (!fs::is_directory(theOptions.outDir, ec)) throw UsageError(theOptions.outDir + ": not a folder");
    std::vector<std::string> others;
    for (const auto& entry : fs::directory_iterator(theOptions.outDir, ec)) {
      std::smatch m;
      std::string name = entry.path().filename().string();
      if (std::regex_match(name, m, frameName) && (std::stoll(m[1]) < first || std::stoll(m[1]) > last))
        others.push_back(name);
    }
    if (!others.empty()) {
      std::sort(others.begin(), others.end());
      throw UsageError(theOptions.outDir + ": already holds " + others[0] +
                       (others.size() > 1 ? " and " + std::to_string(others.size() - 1) + " more files" : "") +
                       " outside the merged " + Range(first, last) + "; merge into a new folder");
    }
  }
  fs::create_directories(theOptions.outDir, ec);
  if (!fs::is_directory(theOptions.outDir, ec)) throw UsageError(theOptions.outDir + ": cannot make the output folder");

  Json frameResults = Json::array(), parts = Json::array(), warnings = Json::array();
  for (size_t at = 0; at < count; ++at) {
    const Chunk& c = chunks[owner[at]];
    int64_t f = first + int64_t(at);
    CopyFile(FramePath(c.dir, f, "ply"), FramePath(theOptions.outDir, f, "ply"));
    if (pictures != 0)
      CopyFile(picture[at], FramePath(theOptions.outDir, f, "png"));
    else
      fs::remove(FramePath(theOptions.outDir, f, "png"), ec);  // left by an earlier merge with pictures
    frameResults.push_back(c.report["frameResults"][size_t(f - c.first)]);
  }
  for (size_t k : order) {
    const Chunk& c = chunks[k];
    parts.push_back({{"folder", c.dir}, {"frames", c.report["frames"]},
                     {"startedFrom", c.report.contains("startedFrom") ? c.report["startedFrom"] : Json()}});
    if (c.report.contains("warnings") && c.report["warnings"].is_array())
      for (const Json& w : c.report["warnings"]) warnings.push_back(c.dir + ": " + (w.is_string() ? w.get<std::string>() : w.dump()));
  }
  const Json& model = chunks[order[0]].report;
  Json merged = {
      {"plugin", model["plugin"]},
      {"scene", model["scene"]},
      {"frames", {{"first", first}, {"last", last}}},
      {"pictures", model.contains("pictures") ? model["pictures"] : Json()},
      {"status", "done"},
      {"complete", true},
      {"frameResults", frameResults},
      {"warnings", warnings},
      {"mergedFrom", parts},
  };
  if (size) merged["pictures"] = {{"width", size->first}, {"height", size->second}};
  std::string outReport = (fs::path(theOptions.outDir) / "render.json").string();
  WriteWholeFile(outReport, merged.dump(2) + "\n");

  // The contact sheet over the whole range, by the draw stage from the
  // merged point clouds, as a render of the range draws it.
  DrawOptions sheet;
  sheet.folder = theOptions.outDir;
  sheet.sheet = true;
  sheet.size = size;
  sheet.jobs = theOptions.jobs;
  if (int code = DrawFolder(sheet); code != kExitDone) return code;

  std::printf("merged: %s from %zu chunk%s into %s\n", Range(first, last).c_str(), chunks.size(),
              chunks.size() == 1 ? "" : "s", theOptions.outDir.c_str());
  std::printf("  point clouds  %s\n", (fs::path(theOptions.outDir) / "frame_NNNN.ply").c_str());
  if (pictures != 0) std::printf("  pictures      %s\n", (fs::path(theOptions.outDir) / "frame_NNNN.png").c_str());
  std::printf("  preview       %s\n", (fs::path(theOptions.outDir) / "preview.png").c_str());
  std::printf("  report        %s\n", outReport.c_str());
  std::fflush(stdout);
  return kExitDone;
}
