// What only the libcurl fetcher promises: cache headers, proxies from the
// environment, and chunks of 500000 bytes for the NUL rule.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/transport/loopback_http_server.h"
#include "transport/http_get.h"

TEST(HttpGetCurl, RequestAsksCachesToStandAside) {
  LoopbackHttpServer server;
  ASSERT_TRUE(server.Listening());
  server.SetReply(HttpReply::Text("ok"));
  std::string body;
  ASSERT_EQ(HttpGet((server.BaseUrl() + "/").c_str(), body), 0);
  ASSERT_EQ(server.RequestCount(), 1);
  HttpRequestRecord request = server.Requests()[0];
  EXPECT_EQ(request.Header("Pragma"), "no-cache");
  EXPECT_EQ(request.Header("Cache-Control"), "no-cache");
  EXPECT_EQ(request.Header("User-Agent"), "Microsoft Internet Explorer");
}

TEST(HttpGetCurl, ProxyIsTakenFromTheEnvironment) {
  LoopbackHttpServer proxy;
  ASSERT_TRUE(proxy.Listening());
  proxy.SetReply(HttpReply::Text("via proxy"));
  setenv("http_proxy", proxy.BaseUrl().c_str(), 1);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
  std::string body;
  int result = HttpGet("http://validation.invalid/zq.ack?INDICATION=", body);
  unsetenv("http_proxy");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(body, "via proxy");
  ASSERT_EQ(proxy.RequestCount(), 1);
  EXPECT_EQ(proxy.Requests()[0].target, "http://validation.invalid/zq.ack?INDICATION=");
}

TEST(HttpGetCurl, NulCutsOnlyTheReadChunkItIsIn) {
  std::string served(kHttpReadChunkSize + 1000, 'b');
  served[10] = '\0';
  LoopbackHttpServer server;
  ASSERT_TRUE(server.Listening());
  server.SetReply(HttpReply::Text(served));
  std::string body;
  ASSERT_EQ(HttpGet((server.BaseUrl() + "/").c_str(), body), 0);
  EXPECT_EQ(body, std::string(10, 'b') + std::string(1000, 'b'));
}
