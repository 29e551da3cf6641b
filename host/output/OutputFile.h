// output/: every file plmhost writes (point clouds, pictures, the contact
// sheet), always through an atomic temporary-and-rename.
//
// Output files are written under a hidden temporary name in the same
// directory and renamed into place once complete, so an interrupted run never
// leaves a truncated file under a final name.
#ifndef PLMHOST_OUTPUTFILE_H
#define PLMHOST_OUTPUTFILE_H

#include <cstdio>
#include <string>

struct OutputFile {
  std::string finalPath;
  std::string tempPath;
  FILE* stream = nullptr;
};

// Opens the temporary file; throws a usage error when it cannot.
OutputFile BeginOutputFile(const std::string& thePath);
// Closes, checks every write went through, and renames into place; throws
// (after removing the temporary) when anything failed.
void CommitOutputFile(OutputFile& theFile);
// Closes and removes the temporary file; safe to call after a commit.
void AbandonOutputFile(OutputFile& theFile);

// The whole of theBytes to thePath, atomically.
void WriteWholeFile(const std::string& thePath, const std::string& theBytes);

// Whether a directory entry is one of these temporaries.
bool IsTemporaryOutputName(const std::string& theFileName);

#endif
