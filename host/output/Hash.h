// SHA-256 (libcrypto's EVP): the identity of scenes, plug-in files and the
// checksum of checkpoints.
#ifndef PLMHOST_HASH_H
#define PLMHOST_HASH_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

typedef std::array<uint8_t, 32> Sha256Digest;

// Over several pieces in order, as if they were one.
struct Sha256 {
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Add(const void* theBytes, size_t theSize);
  Sha256Digest Finish();
  void* context;
};

Sha256Digest Sha256Of(const void* theBytes, size_t theSize);
std::string HexDigest(const Sha256Digest& theDigest);
// Throws a usage error naming the file when it cannot be read.
Sha256Digest Sha256OfFile(const std::string& thePath);

#endif
