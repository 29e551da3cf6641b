// Base64 (RFC 4648, with padding) for the settings record in scene files.
#ifndef PLMHOST_BASE64_H
#define PLMHOST_BASE64_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

std::string EncodeBase64(const std::vector<uint8_t>& theBytes);
// Nothing when the text is not canonical padded base64.
std::optional<std::vector<uint8_t>> DecodeBase64(const std::string& theText);

#endif
