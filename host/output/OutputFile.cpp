#include "output/OutputFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "cli/HostError.h"

namespace {

const char kTempMarker[] = ".tmp-";

std::string Reason() { return std::strerror(errno); }

}  // namespace

OutputFile BeginOutputFile(const std::string& thePath) {
  std::filesystem::path p(thePath);
  OutputFile theFile;
  theFile.finalPath = thePath;
  theFile.tempPath = (p.parent_path() / ("." + p.filename().string() + kTempMarker +
                                         std::to_string(long(getpid()))))
                         .string();
  theFile.stream = std::fopen(theFile.tempPath.c_str(), "wb");
  if (theFile.stream == nullptr) throw UsageError(thePath + ": cannot write: " + Reason());
  return theFile;
}

void CommitOutputFile(OutputFile& theFile) {
  bool ok = std::ferror(theFile.stream) == 0;
  std::string why = ok ? "" : Reason();
  if (std::fclose(theFile.stream) != 0 && ok) {
    ok = false;
    why = Reason();
  }
  theFile.stream = nullptr;
  if (ok && std::rename(theFile.tempPath.c_str(), theFile.finalPath.c_str()) != 0) {
    ok = false;
    why = Reason();
  }
  if (!ok) {
    std::remove(theFile.tempPath.c_str());
    throw UsageError(theFile.finalPath + ": cannot write: " + why);
  }
}

void AbandonOutputFile(OutputFile& theFile) {
  if (theFile.stream != nullptr) {
    std::fclose(theFile.stream);
    theFile.stream = nullptr;
    std::remove(theFile.tempPath.c_str());
  }
}

void WriteWholeFile(const std::string& thePath, const std::string& theBytes) {
  OutputFile theFile = BeginOutputFile(thePath);
  std::fwrite(theBytes.data(), 1, theBytes.size(), theFile.stream);
  CommitOutputFile(theFile);
}

bool IsTemporaryOutputName(const std::string& theFileName) {
  return !theFileName.empty() && theFileName[0] == '.' &&
         theFileName.find(kTempMarker) != std::string::npos;
}
