// What only the libcurl fetcher promises: cache headers, proxies from the
// environment, and chunks of 500000 bytes for the NUL rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/peers/http_peer.h"
#include "voka/transport/http_get.h"

TEST(HttpGetCurl, RequestAsksCachesToStandAside) {
  HttpPeer server;
  server.SetReply(HttpReply::Text("ok"));
  std::string body;
  ASSERT_EQ(HttpGet((server.BaseUrl() + "/").c_str(), body), 0);
  ASSERT_EQ(server.RequestCount(), 1);
  HttpRequestRecord request = server.Requests()[0];
  EXPECT_EQ(request.Header("Pragma"), "no-cache");
  EXPECT_EQ(request.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(request.Header("User-Agent"), "Microsoft Internet Explorer");
}

namespace {

// Sets or clears environment variables for one scope, then restores them.
class ScopedEnvironment {
 public:
  void Set(const char* name, const char* value) {
    const char* old = std::getenv(name);
    m_saved.push_back({name, old != nullptr, old ? old : ""});
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnvironment() {
    for (auto it = m_saved.rbegin(); it != m_saved.rend(); ++it) {
      if (it->wasSet) {
        setenv(it->name.c_str(), it->value.c_str(), 1);
      } else {
        unsetenv(it->name.c_str());
      }
    }
  }

 private:
  struct Saved {
    std::string name;
    bool wasSet;
    std::string value;
  };
  std::vector<Saved> m_saved;
};

}  // namespace

TEST(HttpGetCurl, ProxyIsTakenFromTheEnvironment) {
  HttpPeer proxy;
  proxy.SetReply(HttpReply::Text("via proxy"));
  std::string body;
  int result;
  {
    ScopedEnvironment environment;
    environment.Set("http_proxy", proxy.BaseUrl().c_str());
    environment.Set("no_proxy", nullptr);
    environment.Set("NO_PROXY", nullptr);
    result = HttpGet("http://validation.invalid/zq.ack?INDICATION=", body);
  }
  EXPECT_EQ(result, 0);
  EXPECT_EQ(body, "via proxy");
  ASSERT_EQ(proxy.RequestCount(), 1);
  EXPECT_EQ(proxy.Requests()[0].target, "http://validation.invalid/zq.ack?INDICATION=");
}

TEST(HttpGetCurl, NulCutsOnlyTheReadChunkItIsIn) {
  std::string served(kHttpReadChunkSize + 1000, 'b');
  served[10] = '\0';
  HttpPeer server;
  server.SetReply(HttpReply::Text(served));
  std::string body;
  ASSERT_EQ(HttpGet((server.BaseUrl() + "/").c_str(), body), 0);
  EXPECT_EQ(body, std::string(10, 'b') + std::string(1000, 'b'));
}
