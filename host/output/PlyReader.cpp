#include "output/PlyReader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "cli/HostError.h"

namespace {

// The lines after the vertex element, in order; each may use the sized name.
const char* const kProperties[10][2] = {
    {"property float x", "property float32 x"},
    {"property float y", "property float32 y"},
    {"property float z", "property float32 z"},
    {"property float blur_x", "property float32 blur_x"},
    {"property float blur_y", "property float32 blur_y"},
    {"property float blur_z", "property float32 blur_z"},
    {"property uchar red", "property uint8 red"},
    {"property uchar green", "property uint8 green"},
    {"property uchar blue", "property uint8 blue"},
    {"property uchar alpha", "property uint8 alpha"},
};

bool StartsWith(const std::string& s, const char* prefix) { return s.compare(0, std::strlen(prefix), prefix) == 0; }

// Printable text for a message: at most 60 characters, control bytes as '?'.
std::string Shown(const std::string& s) {
  std::string out = s.substr(0, 60);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  return "\"" + out + (s.size() > 60 ? "...\"" : "\"");
}

}  // namespace

bool ParsePlyHeader(const char* theBytes, size_t theSize, uint64_t* theCount, size_t* theHeaderSize,
                    std::string* theError) {
  size_t limit = theSize < kMaxPlyHeaderBytes ? theSize : kMaxPlyHeaderBytes;
  size_t at = 0;
  int line = 0;
  enum { kMagic, kFormat, kElement, kProperty, kEnd } want = kMagic;
  int property = 0;
  while (true) {
    const void* newline = std::memchr(theBytes + at, '\n', limit - at);
    if (newline == nullptr) {
      *theError = theSize > kMaxPlyHeaderBytes && at > 0 ? "the header is longer than 64 KiB or has no end_header"
                                                         : "the header ends before end_header (truncated?)";
      if (at == 0) *theError = "not a PLY file (no \"ply\" line)";
      return false;
    }
    size_t end = size_t(static_cast<const char*>(newline) - theBytes);
    std::string text(theBytes + at, end - at);
    at = end + 1;
    ++line;
    if (want != kMagic && want != kFormat && (StartsWith(text, "comment ") || text == "comment" ||
                                              StartsWith(text, "obj_info ")))
      continue;
    auto bad = [&](const std::string& why) {
      *theError = "header line " + std::to_string(line) + " " + Shown(text) + ": " + why;
      return false;
    };
    switch (want) {
      case kMagic:
        if (text != "ply") {
          *theError = "not a PLY file (no \"ply\" line)";
          return false;
        }
        want = kFormat;
        break;
      case kFormat:
        if (text != "format binary_little_endian 1.0")
          return bad("only \"format binary_little_endian 1.0\" is read");
        want = kElement;
        break;
      case kElement: {
        if (!StartsWith(text, "element vertex ")) return bad("expected \"element vertex COUNT\"");
        std::string digits = text.substr(15);
        if (digits.empty() || digits.size() > 12 || digits.find_first_not_of("0123456789") != std::string::npos)
          return bad("the vertex count is not a number");
        *theCount = std::stoull(digits);
        if (*theCount > kMaxPlyVertices)
          return bad("more than " + std::to_string(kMaxPlyVertices) + " vertices");
        want = kProperty;
        break;
      }
      case kProperty:
        if (text != kProperties[property][0] && text != kProperties[property][1])
          return bad(std::string("expected \"") + kProperties[property][0] +
                     "\" (x y z blur_x blur_y blur_z as float, red green blue alpha as uchar)");
        if (++property == 10) want = kEnd;
        break;
      case kEnd:
        if (text != "end_header") return bad("expected end_header (only the vertex element is read)");
        *theHeaderSize = at;
        return true;
    }
  }
}

bool ParsePly(const std::string& theBytes, FramePoints* thePoints, std::string* theError) {
  uint64_t count = 0;
  size_t header = 0;
  if (!ParsePlyHeader(theBytes.data(), theBytes.size(), &count, &header, theError)) return false;
  uint64_t body = theBytes.size() - header;
  if (body != count * sizeof(PointRecord)) {
    *theError = "the header announces " + std::to_string(count) + " vertices (" +
                std::to_string(count * sizeof(PointRecord)) + " bytes) but " + std::to_string(body) +
                " bytes follow it";
    return false;
  }
  thePoints->resize(size_t(count));
  if (count > 0) std::memcpy(thePoints->data(), theBytes.data() + header, size_t(body));
  return true;
}

void ReadPlyFile(const std::string& thePath, FramePoints* thePoints) {
  struct Closer {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, Closer> in(std::fopen(thePath.c_str(), "rb"));
  if (!in) throw UsageError(thePath + ": cannot read: " + std::strerror(errno));
  auto fail = [&](const std::string& why) { return UsageError(thePath + ": " + why); };
  if (std::fseek(in.get(), 0, SEEK_END) != 0) throw fail("cannot read: not a regular file");
  long length = std::ftell(in.get());
  if (length < 0) throw fail("cannot read: not a regular file");
  std::rewind(in.get());

  // The header first; the body only once its size is known to match.
  std::string head(size_t(length) < kMaxPlyHeaderBytes ? size_t(length) : kMaxPlyHeaderBytes, '\0');
  if (std::fread(&head[0], 1, head.size(), in.get()) != head.size()) throw fail("cannot read: short read");
  uint64_t count = 0;
  size_t header = 0;
  std::string why;
  if (!ParsePlyHeader(head.data(), size_t(length), &count, &header, &why)) throw fail(why);
  uint64_t body = uint64_t(length) - header;
  if (body != count * sizeof(PointRecord))
    throw fail("the header announces " + std::to_string(count) + " vertices (" +
               std::to_string(count * sizeof(PointRecord)) + " bytes) but " + std::to_string(body) +
               " bytes follow it");
  thePoints->resize(size_t(count));
  if (std::fseek(in.get(), long(header), SEEK_SET) != 0 ||
      std::fread(thePoints->data(), sizeof(PointRecord), size_t(count), in.get()) != size_t(count))
    throw fail("cannot read: the file changed while it was read");
}
