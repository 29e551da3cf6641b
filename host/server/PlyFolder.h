// `plmhost view FOLDER`: the frame_NNNN.ply files of a rendered folder as a
// frame source.  The reader takes exactly the layout the PLY writer writes
// (binary little-endian; float x y z blur_x blur_y blur_z, uchar red green
// blue alpha) and checks the vertex count against the file's length, so a
// damaged or foreign file is refused with a message, never read past.
#ifndef PLMHOST_PLYFOLDER_H
#define PLMHOST_PLYFOLDER_H

#include <map>
#include <mutex>
#include <string>

#include "server/FrameSession.h"

constexpr size_t kMaxPlyHeaderBytes = 4096;

// False with *theProblem saying why when theBytes is not such a file.
bool ParsePly(const std::string& theBytes, int32_t theFrame, FrameData* theData, std::string* theProblem);

class PlyFolder : public FrameSource {
 public:
  // Throws a usage error when the folder holds no frame files.
  PlyFolder(const std::string& theFolder, size_t theCacheBytes);
  ViewInfo Info() override;
  FrameReply Frame(int32_t theFrame) override;

 private:
  std::string folder_;
  std::map<int32_t, std::string> files_;  // frame -> path
  ViewInfo info_;
  std::mutex readMutex_;  // one file read at a time bounds the memory in flight
  FrameCache cache_;
};

#endif
