// The rules every request must pass before it is routed.  The server can
// rewrite the scene file, so a page of another site must not reach it even
// though the browser that shows it runs on this machine:
//   - only GET, HEAD and POST;
//   - the Host header names the bound address or localhost with the bound
//     port (a DNS name rebound to 127.0.0.1 carries its own name);
//   - the access token, from the query (the printed URL) or from the
//     SameSite=Strict, HttpOnly cookie the first page load sets;
//   - a POST comes from the page itself: any Origin is the server's own,
//     any Sec-Fetch-Site is same-origin, and its body is JSON (a form of
//     another site cannot send that without a preflight, which fails);
//   - bodies beyond kMaxBodyBytes are refused unread, and so are bodies
//     without a Content-Length (the HTTP library would read a chunked body
//     of any size).
#ifndef PLMHOST_SECURITY_H
#define PLMHOST_SECURITY_H

#include <cstddef>
#include <string>
#include <vector>

constexpr size_t kMaxBodyBytes = 16 * 1024;

struct SecurityPolicy {
  std::string token;               // 32 hexadecimal digits
  std::vector<std::string> hosts;  // accepted Host values, "127.0.0.1:8080" and "localhost:8080"
  std::string cookieName;          // per port: browsers share cookies between ports
};

// 128 bits from the system's random source, as hexadecimal.
std::string NewAccessToken();

// theBindAddress is an IPv4 or IPv6 literal or "localhost"; throws a usage
// error for anything else.  Returns the address to bind.
std::string CheckBindAddress(const std::string& theBindAddress);
bool IsLoopbackAddress(const std::string& theAddress);
SecurityPolicy MakeSecurityPolicy(const std::string& theBindAddress, int thePort, const std::string& theToken);

struct RequestFacts {
  std::string method;
  std::string host;          // Host header
  std::string origin;        // Origin header, "" when absent
  std::string fetchSite;     // Sec-Fetch-Site header, "" when absent
  std::string contentType;
  std::string queryToken;    // ?token=, "" when absent
  std::string cookieHeader;  // the whole Cookie header
  std::string transferEncoding;
};

struct Verdict {
  int status = 0;  // 0: allowed; otherwise the HTTP status to answer
  std::string reason;
  bool setCookie = false;  // the query carried the right token: remember it
};

Verdict CheckRequest(const SecurityPolicy& thePolicy, const RequestFacts& theRequest);

// The Set-Cookie header value that keeps the token for the page.
std::string TokenCookie(const SecurityPolicy& thePolicy);
// The value of cookie theName in a Cookie header, "" when absent.
std::string CookieValue(const std::string& theCookieHeader, const std::string& theName);

#endif
