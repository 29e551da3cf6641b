// libFuzzer target: the PLY reader on any bytes.  It must refuse what is
// not a point cloud of plmhost's layout with a reason, never crash, and
// never hold more vertices than the bytes it was given.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "output/PlyReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  FramePoints points;
  std::string why;
  bool ok = ParsePly(bytes, &points, &why);
  if (ok ? points.size() * sizeof(PointRecord) > size : why.empty()) {
    std::fprintf(stderr, "ply reader: %s\n", ok ? "more vertices than bytes" : "refused without a reason");
    std::abort();
  }
  return 0;
}
