// The request rules of the web server, decided without a socket; the same
// rules are tried through real HTTP requests in security.test.mjs.
#include <gtest/gtest.h>

#include <set>

#include "cli/HostError.h"
#include "server/Security.h"

namespace {

const SecurityPolicy kPolicy = MakeSecurityPolicy("127.0.0.1", 8123, "00112233445566778899aabbccddeeff");
const std::string kCookie = "other=1; plmhost_8123=00112233445566778899aabbccddeeff";

RequestFacts Get() { return {"GET", "127.0.0.1:8123", "", "", "", "", kCookie, ""}; }
RequestFacts Post() {
  return {"POST", "127.0.0.1:8123", "http://127.0.0.1:8123", "same-origin", "application/json", "", kCookie, ""};
}

TEST(ServerSecurity, EachRuleRefusesItsRequest) {
  struct Case {
    const char* what;
    RequestFacts request;
    int status;
  };
  auto with = [](RequestFacts r, auto change) { return change(r), r; };
  const Case cases[] = {
      {"page request with the cookie", Get(), 0},
      {"localhost names the same server", with(Get(), [](auto& r) { r.host = "LOCALHOST:8123"; }), 0},
      {"query token alone", with(Get(), [](auto& r) { r.cookieHeader = "", r.queryToken = kPolicy.token; }), 0},
      {"the page's own POST", Post(), 0},
      {"a POST without Origin (curl)", with(Post(), [](auto& r) { r.origin = "", r.fetchSite = ""; }), 0},
      {"no token", with(Get(), [](auto& r) { r.cookieHeader = "plmhost_9999=" + kPolicy.token; }), 401},
      {"wrong query token, right cookie", with(Get(), [](auto& r) { r.queryToken = "00112233445566778899aabbccddeefe"; }), 401},
      {"token prefix", with(Get(), [](auto& r) { r.cookieHeader = "plmhost_8123=00112233"; }), 401},
      {"rebound DNS name", with(Get(), [](auto& r) { r.host = "attacker.example:8123"; }), 403},
      {"other port", with(Get(), [](auto& r) { r.host = "127.0.0.1:8124"; }), 403},
      {"no Host", with(Get(), [](auto& r) { r.host = ""; }), 403},
      {"foreign Origin", with(Post(), [](auto& r) { r.origin = "http://attacker.example"; }), 403},
      {"Origin of another port", with(Post(), [](auto& r) { r.origin = "http://127.0.0.1:8124"; }), 403},
      {"cross-site fetch", with(Post(), [](auto& r) { r.origin = "", r.fetchSite = "cross-site"; }), 403},
      {"form post", with(Post(), [](auto& r) { r.contentType = "application/x-www-form-urlencoded"; }), 415},
      {"chunked body", with(Post(), [](auto& r) { r.transferEncoding = "chunked"; }), 411},
      {"PUT", with(Post(), [](auto& r) { r.method = "PUT"; }), 405},
      {"DELETE", with(Get(), [](auto& r) { r.method = "DELETE"; }), 405},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckRequest(kPolicy, c.request).status, c.status) << c.what;
  EXPECT_TRUE(CheckRequest(kPolicy, cases[2].request).setCookie);
  EXPECT_FALSE(CheckRequest(kPolicy, cases[0].request).setCookie);
  EXPECT_EQ(TokenCookie(kPolicy), "plmhost_8123=" + kPolicy.token + "; Path=/; HttpOnly; SameSite=Strict");
}

TEST(ServerSecurity, TokensAddressesAndCookies) {
  std::set<std::string> tokens;
  for (int k = 0; k < 8; ++k) {
    std::string t = NewAccessToken();
    EXPECT_EQ(t.size(), 32u);
    EXPECT_EQ(t.find_first_not_of("0123456789abcdef"), std::string::npos);
    tokens.insert(t);
  }
  EXPECT_EQ(tokens.size(), 8u);

  EXPECT_EQ(CheckBindAddress("localhost"), "127.0.0.1");
  EXPECT_EQ(CheckBindAddress("::1"), "::1");
  for (const char* bad : {"", "example.com", "127.0.0.1:80", "1.2.3"}) EXPECT_THROW(CheckBindAddress(bad), HostError) << bad;
  EXPECT_EQ(MakeSecurityPolicy("::1", 80, "t").hosts.front(), "[::1]:80");

  EXPECT_EQ(CookieValue("a=1; plmhost_1=x;plmhost_12=y", "plmhost_12"), "y");
  EXPECT_EQ(CookieValue("xplmhost_1=x; plmhost_1", "plmhost_1"), "");
}

}  // namespace
