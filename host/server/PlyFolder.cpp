#include "server/PlyFolder.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli/HostError.h"
#include "protocol/Model.h"

namespace fs = std::filesystem;

namespace {

const char kPlyProperties[] =
    "property float x\n"
    "property float y\n"
    "property float z\n"
    "property float blur_x\n"
    "property float blur_y\n"
    "property float blur_z\n"
    "property uchar red\n"
    "property uchar green\n"
    "property uchar blue\n"
    "property uchar alpha\n"
    "end_header\n";
constexpr size_t kPlyVertexBytes = 28;

bool ReadSmallFile(const fs::path& thePath, size_t theLimit, std::string* theText) {
  std::error_code ec;
  auto size = fs::file_size(thePath, ec);
  if (ec || size > theLimit) return false;
  std::ifstream in(thePath, std::ios::binary);
  theText->assign(size_t(size), '\0');
  in.read(theText->data(), std::streamsize(size));
  return bool(in) && size_t(in.gcount()) == size;
}

}  // namespace

bool ParsePly(const std::string& theBytes, int32_t theFrame, FrameData* theData, std::string* theProblem) {
  const std::string magic = "ply\nformat binary_little_endian 1.0\n";
  if (theBytes.compare(0, magic.size(), magic) != 0) {
    *theProblem = "not a binary little-endian PLY file";
    return false;
  }
  size_t end = theBytes.find("end_header\n");
  if (end == std::string::npos || end > kMaxPlyHeaderBytes) {
    *theProblem = "no end_header within " + std::to_string(kMaxPlyHeaderBytes) + " bytes";
    return false;
  }
  size_t at = magic.size();
  while (at < end && theBytes.compare(at, 8, "comment ") == 0) at = theBytes.find('\n', at) + 1;
  const std::string element = "element vertex ";
  size_t lineEnd = theBytes.find('\n', at);
  if (theBytes.compare(at, element.size(), element) != 0 || lineEnd > end) {
    *theProblem = "no \"element vertex\" line";
    return false;
  }
  std::string digits = theBytes.substr(at + element.size(), lineEnd - at - element.size());
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos ||
      std::stoull(digits) > kMaxModelVertices) {
    *theProblem = "vertex count \"" + digits + "\" is not a number up to " + std::to_string(kMaxModelVertices);
    return false;
  }
  size_t count = std::stoull(digits);
  at = lineEnd + 1;
  if (theBytes.compare(at, std::strlen(kPlyProperties), kPlyProperties) != 0) {
    *theProblem = "the vertex properties are not x y z blur_x blur_y blur_z red green blue alpha";
    return false;
  }
  at += std::strlen(kPlyProperties);
  if (theBytes.size() - at != count * kPlyVertexBytes) {
    *theProblem = "the file holds " + std::to_string(theBytes.size() - at) + " bytes of vertices, not " +
                  std::to_string(count) + " x " + std::to_string(kPlyVertexBytes);
    return false;
  }
  FrameData f;
  f.frame = theFrame;
  f.positions.resize(3 * count);
  f.blur.resize(3 * count);
  f.colors.resize(4 * count);
  const char* v = theBytes.data() + at;
  for (size_t k = 0; k < count; ++k, v += kPlyVertexBytes) {
    std::memcpy(&f.positions[3 * k], v, 12);
    std::memcpy(&f.blur[3 * k], v + 12, 12);
    std::memcpy(&f.colors[4 * k], v + 24, 4);
  }
  *theData = std::move(f);
  return true;
}

PlyFolder::PlyFolder(const std::string& theFolder, size_t theCacheBytes) : folder_(theFolder), cache_(theCacheBytes) {
  std::error_code ec;
  if (!fs::is_directory(theFolder, ec)) throw UsageError(theFolder + ": no such folder");
  static const std::regex kName("frame_([0-9]{4,6})\\.ply");
  for (const fs::directory_entry& e : fs::directory_iterator(theFolder, ec)) {
    std::smatch m;
    std::string name = e.path().filename().string();
    if (std::regex_match(name, m, kName) && e.is_regular_file(ec)) files_[std::stoi(m[1])] = e.path().string();
  }
  if (ec) throw UsageError(theFolder + ": cannot be listed: " + ec.message());
  if (files_.empty()) throw UsageError(theFolder + ": no frame_NNNN.ply files (render a scene into it first)");

  info_.mode = "view";
  info_.label = theFolder;
  info_.firstFrame = files_.begin()->first;
  info_.lastFrame = files_.rbegin()->first;
  // The render report carries the scene: its camera and frame rate.
  std::string report;
  if (ReadSmallFile(fs::path(theFolder) / "render.json", size_t(kMaxSceneSettingsBytes) * 2, &report)) {
    try {
      auto json = nlohmann::json::parse(report);
      Scene s = ParseScene(json.at("scene").at("content").dump(), theFolder, theFolder);
      info_.fps = s.fps;
      info_.camera = s.camera;
      info_.pluginName = json.at("plugin").at("name").get<std::string>();
    } catch (const std::exception&) {
      // Without a usable report the default camera and rate serve.
    }
  }
}

ViewInfo PlyFolder::Info() { return info_; }

FrameReply PlyFolder::Frame(int32_t theFrame) {
  if (FramePtr hit = cache_.Find(theFrame)) return {ReplyStatus::kOk, hit, true, ""};
  auto file = files_.find(theFrame);
  if (file == files_.end()) return {ReplyStatus::kNotFound, nullptr, false, "no frame file for frame " + std::to_string(theFrame)};
  std::lock_guard<std::mutex> lock(readMutex_);
  std::string bytes, problem;
  FrameData data;
  if (!ReadSmallFile(file->second, kMaxPlyHeaderBytes + kMaxModelVertices * kPlyVertexBytes, &bytes))
    return {ReplyStatus::kFailed, nullptr, false, file->second + ": cannot be read"};
  if (!ParsePly(bytes, theFrame, &data, &problem))
    return {ReplyStatus::kFailed, nullptr, false, file->second + ": " + problem};
  auto frame = std::make_shared<FrameData>(std::move(data));
  cache_.Put(frame);
  return {ReplyStatus::kOk, frame, false, ""};
}
