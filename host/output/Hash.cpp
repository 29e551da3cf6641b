#include "output/Hash.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "cli/HostError.h"

Sha256::Sha256() : context(EVP_MD_CTX_new()) {
  if (context == nullptr || EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context), EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context));
    throw std::bad_alloc();
  }
}

Sha256::~Sha256() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context)); }

void Sha256::Add(const void* theBytes, size_t theSize) {
  if (theSize > 0) EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context), theBytes, theSize);
}

Sha256Digest Sha256::Finish() {
  Sha256Digest digest{};
  unsigned int length = 0;
  EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(context), digest.data(), &length);
  return digest;
}

Sha256Digest Sha256Of(const void* theBytes, size_t theSize) {
  Sha256 hash;
  hash.Add(theBytes, theSize);
  return hash.Finish();
}

std::string HexDigest(const Sha256Digest& theDigest) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : theDigest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

Sha256Digest Sha256OfFile(const std::string& thePath) {
  FILE* in = std::fopen(thePath.c_str(), "rb");
  if (in == nullptr) throw UsageError(thePath + ": cannot read: " + std::strerror(errno));
  Sha256 hash;
  std::vector<char> buffer(1 << 16);
  size_t got;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) hash.Add(buffer.data(), got);
  bool failed = std::ferror(in) != 0;
  std::fclose(in);
  if (failed) throw UsageError(thePath + ": cannot read");
  return hash.Finish();
}
