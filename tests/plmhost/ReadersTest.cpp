// The readers of files that may come from anywhere: point clouds for draw
// and checkpoints.  Each malformed input gets its reason; nothing is
// allocated for sizes the input does not hold.
#include <gtest/gtest.h>

#include <cstring>

#include "HostRun.h"
#include "output/Checkpoint.h"
#include "output/PlyReader.h"

namespace {

std::string GoodPly(size_t count) {
  FramePoints points(count);
  for (size_t k = 0; k < count; ++k) points[k] = {float(k), 1, 2, 3, 4, 5, uint8_t(k), 7, 8, 9};
  std::string bytes = PlyHeader(count, "test");
  return bytes.append(reinterpret_cast<const char*>(points.data()), count * sizeof(PointRecord));
}

std::string Replace(std::string s, const std::string& from, const std::string& to) {
  return s.replace(s.find(from), from.size(), to);
}

TEST(PlmhostReaders, PlyFilesOfOtherLayoutsOrSizesAreRefusedWithTheirReason) {
  FramePoints points;
  std::string why;
  const std::string good = GoodPly(3);
  ASSERT_TRUE(ParsePly(good, &points, &why)) << why;
  ASSERT_EQ(points.size(), 3u);
  EXPECT_EQ(std::memcmp(points.data(), good.data() + good.size() - 84, 84), 0);
  ASSERT_TRUE(ParsePly(Replace(GoodPly(0), "comment test\n", "comment\nobj_info x\n"), &points, &why)) << why;
  EXPECT_TRUE(points.empty());

  const std::pair<std::string, const char*> cases[] = {
      {"", "not a PLY file"},
      {"plyx\n", "not a PLY file"},
      {good.substr(0, 30), "the header ends before end_header"},
      {Replace(good, "binary_little_endian", "ascii"), "line 2 \"format ascii 1.0\": only"},
      {Replace(good, "element vertex 3", "element vertex 4"), "announces 4 vertices (112 bytes) but 84 bytes follow"},
      {Replace(good, "element vertex 3", "element vertex 99999999999"), "more than 67108864 vertices"},
      {Replace(good, "element vertex 3", "element vertex -3"), "the vertex count is not a number"},
      {Replace(good, "element vertex 3", "element face 3"), "expected \"element vertex COUNT\""},
      {Replace(good, "property float blur_x", "property double blur_x"), "expected \"property float blur_x\""},
      {Replace(good, "end_header", "element face 0\nend_header"), "expected end_header"},
      {good.substr(0, good.size() - 1), "announces 3 vertices (84 bytes) but 83 bytes follow"},
      {good + "x", "but 85 bytes follow"},
      {"ply\nformat binary_little_endian 1.0\n" + std::string(70000, 'c'), "longer than 64 KiB"},
  };
  for (const auto& [bytes, reason] : cases) {
    why.clear();
    EXPECT_FALSE(ParsePly(bytes, &points, &why)) << reason;
    EXPECT_NE(why.find(reason), std::string::npos) << "expected \"" << reason << "\", got \"" << why << "\"";
  }

  // From a file: the reason comes with the file's name.
  TempDir dir;
  WriteFile(dir / "big.ply", Replace(GoodPly(1), "element vertex 1", "element vertex 60000000"));
  try {
    ReadPlyFile(dir / "big.ply", &points);
    ADD_FAILURE() << "read a file that holds 1 of 60000000 vertices";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), dir / "big.ply" + ": the header announces 60000000 vertices (1680000000 bytes) but 28 bytes follow it");
  }
  WriteFile(dir / "good.ply", good);
  ReadPlyFile(dir / "good.ply", &points);
  EXPECT_EQ(points.size(), 3u);
}

TEST(PlmhostReaders, CheckpointsRoundTripAndAnyDamageIsRefused) {
  CheckpointIdentity identity;
  identity.pluginName = "Particle";
  identity.pluginVersion = 3;
  identity.scene[0] = 1;
  identity.pluginFile[31] = 2;
  const std::string control = "settings", data(1000, 'd');
  const std::string good = CheckpointBytes(41, identity, control.data(), uint32_t(control.size()), data.data(), uint32_t(data.size()));

  Checkpoint theCheckpoint;
  std::string why;
  ASSERT_TRUE(ParseCheckpoint(good, &theCheckpoint, &why)) << why;
  EXPECT_EQ(theCheckpoint.frame, 41);
  EXPECT_EQ(std::string(theCheckpoint.control.begin(), theCheckpoint.control.end()), control);
  EXPECT_EQ(std::string(theCheckpoint.data.begin(), theCheckpoint.data.end()), data);
  EXPECT_EQ(CheckpointMismatch(theCheckpoint, identity), "");
  CheckpointIdentity other = identity;
  other.scene[5] = 9;
  EXPECT_EQ(CheckpointMismatch(theCheckpoint, other), "written for another scene (scene hash differs)");
  other = identity;
  other.pluginFile[0] = 9;
  EXPECT_EQ(CheckpointMismatch(theCheckpoint, other), "written by another build of the plug-in (file hash differs)");
  other = identity;
  other.pluginName = "Other";
  EXPECT_EQ(CheckpointMismatch(theCheckpoint, other), "written by another plug-in (Particle, not Other)");

  // Sizes beyond the file are refused before the checksum is even read.
  std::string huge = good;
  const size_t sizes = 8 + 4 + 4 + 32 + 32 + 4 + 4 + identity.pluginName.size();
  huge[sizes + 4 + 3] = 0x30;  // the block's size near 800 MB
  std::string flipped = good;
  flipped[sizes + 20] ^= 0x40;
  std::string format = good;
  format[8] = 2;
  std::string name = good;
  name[85] = 1;
  const std::pair<std::string, const char*> cases[] = {
      {"", "not a checkpoint file"},
      {"PLMCHEC", "not a checkpoint file"},
      {good.substr(0, 20), "truncated"},
      {good.substr(0, good.size() - 1), "truncated"},
      {good + "x", "damaged (bytes after its end)"},
      {huge, "truncated"},
      {flipped, "damaged (its checksum does not match)"},
      {format, "checkpoint format 2, this plmhost reads 1"},
      {name, "damaged (a plug-in name of 264 bytes)"},
  };
  for (const auto& [bytes, reason] : cases) {
    why.clear();
    EXPECT_FALSE(ParseCheckpoint(bytes, &theCheckpoint, &why)) << reason;
    EXPECT_NE(why.find(reason), std::string::npos) << "expected \"" << reason << "\", got \"" << why << "\"";
  }

  TempDir dir;
  WriteCheckpointFile(dir / CheckpointFileName(41), 41, identity, control.data(), uint32_t(control.size()), data.data(),
                      uint32_t(data.size()));
  EXPECT_EQ(ReadFile(dir / "checkpoint_0041.plmck"), good);
  ASSERT_TRUE(ReadCheckpointFile(dir / "checkpoint_0041.plmck", &theCheckpoint, &why)) << why;
  WriteFile(dir / "checkpoint_0042.plmck", huge);
  EXPECT_FALSE(ReadCheckpointFile(dir / "checkpoint_0042.plmck", &theCheckpoint, &why));
  EXPECT_EQ(why, "truncated");
  EXPECT_FALSE(ReadCheckpointFile(dir / "none.plmck", &theCheckpoint, &why));
  EXPECT_EQ(why, "cannot read: No such file or directory");

  for (auto [fileName, frame] : {std::pair{"checkpoint_0041.plmck", 41}, {"checkpoint_123456.plmck", 123456},
                                 {"checkpoint_041.plmck", -1}, {"checkpoint_00041.plmck", -1}, {"checkpoint_0041.plmck.tmp", -1},
                                 {"checkpoint_-041.plmck", -1}})
    EXPECT_EQ(CheckpointFrameOfName(fileName), frame) << fileName;
}

}  // namespace
