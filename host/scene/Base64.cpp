#include "scene/Base64.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string EncodeBase64(const std::vector<uint8_t>& theBytes) {
  std::string out;
  out.reserve((theBytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < theBytes.size(); i += 3) {
    size_t n = theBytes.size() - i < 3 ? theBytes.size() - i : 3;
    uint32_t word = uint32_t(theBytes[i]) << 16;
    if (n > 1) word |= uint32_t(theBytes[i + 1]) << 8;
    if (n > 2) word |= uint32_t(theBytes[i + 2]);
    out += kAlphabet[(word >> 18) & 63];
    out += kAlphabet[(word >> 12) & 63];
    out += n > 1 ? kAlphabet[(word >> 6) & 63] : '=';
    out += n > 2 ? kAlphabet[word & 63] : '=';
  }
  return out;
}

std::optional<std::vector<uint8_t>> DecodeBase64(const std::string& theText) {
  if (theText.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(theText.size() / 4 * 3);
  for (size_t i = 0; i < theText.size(); i += 4) {
    bool last = i + 4 == theText.size();
    int pad = 0;
    if (last && theText[i + 3] == '=') pad = theText[i + 2] == '=' ? 2 : 1;
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) {
      int s = k >= size_t(4 - pad) ? 0 : SextetOf(theText[i + k]);
      if (s < 0) return std::nullopt;
      word = (word << 6) | uint32_t(s);
    }
    // Bits below the last whole byte must be zero in canonical text.
    if ((pad == 1 && (word & 0xFF) != 0) || (pad == 2 && (word & 0xFFFF) != 0)) return std::nullopt;
    out.push_back(uint8_t(word >> 16));
    if (pad < 2) out.push_back(uint8_t(word >> 8));
    if (pad < 1) out.push_back(uint8_t(word));
  }
  return out;
}
