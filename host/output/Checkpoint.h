// Checkpoints: the two records a plug-in keeps (its settings record and its
// working block) as they were after "GENM" of one frame, with what
// identifies them, so that a run can continue from that frame as if it had
// never stopped.  Files are checkpoint_NNNN.plmck, NNNN being that frame.
//
// Layout (little-endian):
//   "PLMCHECK"  u32 format (1)  i32 frame
//   scene SHA-256 (32)  plug-in file SHA-256 (32)  i32 plug-in version
//   u32 name length (at most 255)  name bytes
//   u32 settings size  u32 block size  settings bytes  block bytes
//   SHA-256 of everything before it (32)
// A file that is damaged, truncated, or announces sizes it does not hold is
// refused before anything of its size is allocated.
#ifndef PLMHOST_CHECKPOINT_H
#define PLMHOST_CHECKPOINT_H

#include <cstdint>
#include <string>
#include <vector>

#include "output/Hash.h"

struct CheckpointIdentity {
  Sha256Digest scene{};       // of the scene's canonical content
  std::string pluginName;
  int32_t pluginVersion = 0;
  Sha256Digest pluginFile{};  // of the plug-in's file
};

struct Checkpoint {
  int32_t frame = 0;  // "GENM" of this frame last ran on the records
  CheckpointIdentity identity;
  std::vector<uint8_t> control;  // the settings record
  std::vector<uint8_t> data;     // the working block
};

// Either record may be this large at most.
constexpr uint32_t kMaxCheckpointRecordBytes = uint32_t(1) << 30;

std::string CheckpointFileName(int32_t theFrame);
// The frame a file name names, or -1 when it is no checkpoint's name.
int32_t CheckpointFrameOfName(const std::string& theFileName);

// The file's bytes (the records given separately, so that they need no copy).
std::string CheckpointBytes(int32_t theFrame, const CheckpointIdentity& theIdentity, const void* theControl,
                            uint32_t theControlSize, const void* theData, uint32_t theDataSize);
bool ParseCheckpoint(const std::string& theBytes, Checkpoint* theCheckpoint, std::string* theError);

// Atomic like every output file; throws a usage error when it cannot write.
void WriteCheckpointFile(const std::string& thePath, int32_t theFrame, const CheckpointIdentity& theIdentity,
                         const void* theControl, uint32_t theControlSize, const void* theData,
                         uint32_t theDataSize);
// False with a reason when the file cannot be read or is not sound.
bool ReadCheckpointFile(const std::string& thePath, Checkpoint* theCheckpoint, std::string* theError);

// Why a sound checkpoint does not belong to this run ("" when it does).
std::string CheckpointMismatch(const Checkpoint& theCheckpoint, const CheckpointIdentity& theIdentity);

#endif
