// Reading back the point clouds plmhost writes, from files that may come
// from anywhere: only the exact vertex layout of PlyWriter.h is accepted,
// and the vertex count must match the bytes the file holds before anything
// is allocated for it.
#ifndef PLMHOST_PLYREADER_H
#define PLMHOST_PLYREADER_H

#include <string>

#include "output/PlyWriter.h"

// The header may be this long at most.
constexpr size_t kMaxPlyHeaderBytes = 64 * 1024;
// And the file hold at most this many vertices.
constexpr uint64_t kMaxPlyVertices = uint64_t(1) << 26;

// Parses a header at the start of theBytes: on success the vertex count and
// the header's length; otherwise a reason.
bool ParsePlyHeader(const char* theBytes, size_t theSize, uint64_t* theCount, size_t* theHeaderSize,
                    std::string* theError);
// A whole file in memory; false with a reason when it is not one of ours.
bool ParsePly(const std::string& theBytes, FramePoints* thePoints, std::string* theError);
// Throws a usage error naming the file when it cannot be read or is not one
// of ours.
void ReadPlyFile(const std::string& thePath, FramePoints* thePoints);

#endif
