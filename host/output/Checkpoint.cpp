#include "output/Checkpoint.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "output/OutputFile.h"

namespace {

const char kMagic[8] = {'P', 'L', 'M', 'C', 'H', 'E', 'C', 'K'};
const uint32_t kFormat = 1;
const size_t kMaxName = 255;
// Magic, format, frame, two digests, version, name length.
const size_t kFixedHead = 8 + 4 + 4 + 32 + 32 + 4 + 4;
const size_t kLongestHead = kFixedHead + kMaxName + 8;

void PutU32(std::string& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out += char((v >> shift) & 0xFF);
}

uint32_t GetU32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

std::string Head(int32_t theFrame, const CheckpointIdentity& theIdentity, uint32_t theControlSize,
                 uint32_t theDataSize) {
  std::string out(kMagic, sizeof kMagic);
  PutU32(out, kFormat);
  PutU32(out, uint32_t(theFrame));
  out.append(reinterpret_cast<const char*>(theIdentity.scene.data()), 32);
  out.append(reinterpret_cast<const char*>(theIdentity.pluginFile.data()), 32);
  PutU32(out, uint32_t(theIdentity.pluginVersion));
  std::string name = theIdentity.pluginName.substr(0, kMaxName);
  PutU32(out, uint32_t(name.size()));
  out += name;
  PutU32(out, theControlSize);
  PutU32(out, theDataSize);
  return out;
}

struct HeadFields {
  int32_t frame;
  CheckpointIdentity identity;
  uint32_t controlSize, dataSize;
  size_t headSize;
};

// The head at the start of theBytes (theSize of them); the whole file must
// be theFileSize long for the sizes it announces.
bool ParseHead(const uint8_t* theBytes, size_t theSize, uint64_t theFileSize, HeadFields* theHead,
               std::string* theError) {
  if (theSize < kFixedHead || std::memcmp(theBytes, kMagic, sizeof kMagic) != 0) {
    *theError = theSize >= sizeof kMagic && std::memcmp(theBytes, kMagic, sizeof kMagic) == 0
                    ? "truncated"
                    : "not a checkpoint file";
    return false;
  }
  uint32_t format = GetU32(theBytes + 8);
  if (format != kFormat) {
    *theError = "checkpoint format " + std::to_string(format) + ", this plmhost reads " + std::to_string(kFormat);
    return false;
  }
  theHead->frame = int32_t(GetU32(theBytes + 12));
  std::memcpy(theHead->identity.scene.data(), theBytes + 16, 32);
  std::memcpy(theHead->identity.pluginFile.data(), theBytes + 48, 32);
  theHead->identity.pluginVersion = int32_t(GetU32(theBytes + 80));
  uint32_t nameSize = GetU32(theBytes + 84);
  if (nameSize > kMaxName) {
    *theError = "damaged (a plug-in name of " + std::to_string(nameSize) + " bytes)";
    return false;
  }
  size_t head = kFixedHead + nameSize + 8;
  if (theSize < head) {
    *theError = "truncated";
    return false;
  }
  theHead->identity.pluginName.assign(reinterpret_cast<const char*>(theBytes) + kFixedHead, nameSize);
  theHead->controlSize = GetU32(theBytes + kFixedHead + nameSize);
  theHead->dataSize = GetU32(theBytes + kFixedHead + nameSize + 4);
  theHead->headSize = head;
  if (theHead->controlSize > kMaxCheckpointRecordBytes || theHead->dataSize > kMaxCheckpointRecordBytes) {
    *theError = "damaged (records larger than 1 GiB)";
    return false;
  }
  uint64_t expected = uint64_t(head) + theHead->controlSize + theHead->dataSize + 32;
  if (theFileSize != expected) {
    *theError = theFileSize < expected ? "truncated" : "damaged (bytes after its end)";
    return false;
  }
  return true;
}

}  // namespace

std::string CheckpointFileName(int32_t theFrame) {
  char name[40];
  std::snprintf(name, sizeof name, "checkpoint_%04d.plmck", int(theFrame));
  return name;
}

int32_t CheckpointFrameOfName(const std::string& theFileName) {
  const std::string prefix = "checkpoint_", suffix = ".plmck";
  if (theFileName.size() <= prefix.size() + suffix.size() || theFileName.compare(0, prefix.size(), prefix) != 0 ||
      theFileName.compare(theFileName.size() - suffix.size(), suffix.size(), suffix) != 0)
    return -1;
  std::string digits = theFileName.substr(prefix.size(), theFileName.size() - prefix.size() - suffix.size());
  if (digits.size() < 4 || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) return -1;
  if (CheckpointFileName(std::stoi(digits)) != theFileName) return -1;  // one spelling per frame
  return std::stoi(digits);
}

std::string CheckpointBytes(int32_t theFrame, const CheckpointIdentity& theIdentity, const void* theControl,
                            uint32_t theControlSize, const void* theData, uint32_t theDataSize) {
  std::string out = Head(theFrame, theIdentity, theControlSize, theDataSize);
  if (theControlSize > 0) out.append(static_cast<const char*>(theControl), theControlSize);
  if (theDataSize > 0) out.append(static_cast<const char*>(theData), theDataSize);
  Sha256Digest sum = Sha256Of(out.data(), out.size());
  out.append(reinterpret_cast<const char*>(sum.data()), sum.size());
  return out;
}

bool ParseCheckpoint(const std::string& theBytes, Checkpoint* theCheckpoint, std::string* theError) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(theBytes.data());
  HeadFields head;
  if (!ParseHead(bytes, theBytes.size(), theBytes.size(), &head, theError)) return false;
  size_t body = theBytes.size() - 32;
  Sha256Digest sum = Sha256Of(bytes, body);
  if (std::memcmp(sum.data(), bytes + body, 32) != 0) {
    *theError = "damaged (its checksum does not match)";
    return false;
  }
  theCheckpoint->frame = head.frame;
  theCheckpoint->identity = head.identity;
  const uint8_t* control = bytes + head.headSize;
  theCheckpoint->control.assign(control, control + head.controlSize);
  theCheckpoint->data.assign(control + head.controlSize, control + head.controlSize + head.dataSize);
  return true;
}

void WriteCheckpointFile(const std::string& thePath, int32_t theFrame, const CheckpointIdentity& theIdentity,
                         const void* theControl, uint32_t theControlSize, const void* theData,
                         uint32_t theDataSize) {
  std::string head = Head(theFrame, theIdentity, theControlSize, theDataSize);
  Sha256 sum;
  sum.Add(head.data(), head.size());
  sum.Add(theControl, theControlSize);
  sum.Add(theData, theDataSize);
  Sha256Digest digest = sum.Finish();
  OutputFile theFile = BeginOutputFile(thePath);
  std::fwrite(head.data(), 1, head.size(), theFile.stream);
  if (theControlSize > 0) std::fwrite(theControl, 1, theControlSize, theFile.stream);
  if (theDataSize > 0) std::fwrite(theData, 1, theDataSize, theFile.stream);
  std::fwrite(digest.data(), 1, digest.size(), theFile.stream);
  CommitOutputFile(theFile);
}

bool ReadCheckpointFile(const std::string& thePath, Checkpoint* theCheckpoint, std::string* theError) {
  struct Closer {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, Closer> in(std::fopen(thePath.c_str(), "rb"));
  if (!in) {
    *theError = std::string("cannot read: ") + std::strerror(errno);
    return false;
  }
  long length = -1;
  if (std::fseek(in.get(), 0, SEEK_END) == 0) length = std::ftell(in.get());
  if (length < 0) {
    *theError = "cannot read: not a regular file";
    return false;
  }
  std::rewind(in.get());
  // The head decides how much may be read.
  uint8_t head[kLongestHead];
  size_t got = std::fread(head, 1, sizeof head, in.get());
  HeadFields fields;
  if (!ParseHead(head, got, uint64_t(length), &fields, theError)) return false;
  std::string bytes(size_t(length), '\0');
  std::rewind(in.get());
  if (std::fread(&bytes[0], 1, bytes.size(), in.get()) != bytes.size()) {
    *theError = "cannot read: the file changed while it was read";
    return false;
  }
  return ParseCheckpoint(bytes, theCheckpoint, theError);
}

std::string CheckpointMismatch(const Checkpoint& theCheckpoint, const CheckpointIdentity& theIdentity) {
  const CheckpointIdentity& had = theCheckpoint.identity;
  if (had.pluginName != theIdentity.pluginName)
    return "written by another plug-in (" + had.pluginName + ", not " + theIdentity.pluginName + ")";
  if (had.pluginVersion != theIdentity.pluginVersion)
    return "written by version " + std::to_string(had.pluginVersion) + " of the plug-in, not " +
           std::to_string(theIdentity.pluginVersion);
  if (had.pluginFile != theIdentity.pluginFile) return "written by another build of the plug-in (file hash differs)";
  if (had.scene != theIdentity.scene) return "written for another scene (scene hash differs)";
  return "";
}
