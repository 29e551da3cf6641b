#include "server/Security.h"

#include <arpa/inet.h>
#include <sys/random.h>

#include <cstdint>

#include "cli/HostError.h"

namespace {

// Comparing in constant time keeps the token from leaking through timing.
bool SameSecret(const std::string& a, const std::string& b) {
  if (a.size() != b.size() || a.empty()) return false;
  unsigned char diff = 0;
  for (size_t k = 0; k < a.size(); ++k) diff |= static_cast<unsigned char>(a[k] ^ b[k]);
  return diff == 0;
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::string Lower(std::string s) {
  for (char& c : s) c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return s;
}

}  // namespace

std::string NewAccessToken() {
  uint8_t bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n <= 0) throw HostError(kExitPluginError, "no random numbers for the access token");
    got += size_t(n);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (uint8_t b : bytes) token += {kHex[b >> 4], kHex[b & 15]};
  return token;
}

std::string CheckBindAddress(const std::string& theBindAddress) {
  if (theBindAddress == "localhost") return "127.0.0.1";
  unsigned char buffer[16];
  if (inet_pton(AF_INET, theBindAddress.c_str(), buffer) == 1 ||
      inet_pton(AF_INET6, theBindAddress.c_str(), buffer) == 1)
    return theBindAddress;
  throw UsageError("--bind: \"" + theBindAddress + "\" is not an IP address (for example 127.0.0.1)");
}

bool IsLoopbackAddress(const std::string& theAddress) {
  return StartsWith(theAddress, "127.") || theAddress == "::1";
}

SecurityPolicy MakeSecurityPolicy(const std::string& theBindAddress, int thePort, const std::string& theToken) {
  SecurityPolicy policy;
  policy.token = theToken;
  std::string port = ":" + std::to_string(thePort);
  bool v6 = theBindAddress.find(':') != std::string::npos;
  policy.hosts.push_back((v6 ? "[" + theBindAddress + "]" : theBindAddress) + port);
  policy.hosts.push_back("localhost" + port);
  policy.cookieName = "plmhost_" + std::to_string(thePort);
  return policy;
}

Verdict CheckRequest(const SecurityPolicy& thePolicy, const RequestFacts& theRequest) {
  const std::string& m = theRequest.method;
  if (m != "GET" && m != "HEAD" && m != "POST") return {405, "method not allowed"};

  if (!theRequest.transferEncoding.empty()) return {411, "send the body with a Content-Length"};

  bool knownHost = false;
  for (const std::string& h : thePolicy.hosts) knownHost = knownHost || Lower(theRequest.host) == h;
  if (!knownHost) return {403, "unknown Host: use the address the server printed"};

  Verdict verdict;
  if (!theRequest.queryToken.empty()) {
    if (!SameSecret(theRequest.queryToken, thePolicy.token)) return {401, "wrong access token"};
    verdict.setCookie = true;
  } else if (!SameSecret(CookieValue(theRequest.cookieHeader, thePolicy.cookieName), thePolicy.token)) {
    return {401, "access token missing: open the URL the server printed"};
  }

  if (m == "POST") {
    bool ownOrigin = theRequest.origin.empty();
    for (const std::string& h : thePolicy.hosts) ownOrigin = ownOrigin || theRequest.origin == "http://" + h;
    if (!ownOrigin) return {403, "request from another site"};
    if (!theRequest.fetchSite.empty() && theRequest.fetchSite != "same-origin" && theRequest.fetchSite != "none")
      return {403, "request from another site"};
    if (!StartsWith(Lower(theRequest.contentType), "application/json")) return {415, "the body must be JSON"};
  }
  return verdict;
}

std::string TokenCookie(const SecurityPolicy& thePolicy) {
  return thePolicy.cookieName + "=" + thePolicy.token + "; Path=/; HttpOnly; SameSite=Strict";
}

std::string CookieValue(const std::string& theCookieHeader, const std::string& theName) {
  size_t at = 0;
  while (at < theCookieHeader.size()) {
    size_t end = theCookieHeader.find(';', at);
    if (end == std::string::npos) end = theCookieHeader.size();
    size_t start = theCookieHeader.find_first_not_of(' ', at);
    if (start < end) {
      std::string pair = theCookieHeader.substr(start, end - start);
      size_t equals = pair.find('=');
      if (equals != std::string::npos && pair.compare(0, equals, theName) == 0 && equals == theName.size())
        return pair.substr(equals + 1);
    }
    at = end + 1;
  }
  return "";
}
