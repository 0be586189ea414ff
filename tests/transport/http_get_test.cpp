// HttpGet against a real HTTP server on loopback.
#include "voka/transport/http_get.h"

#include <gtest/gtest.h>

#include <chrono>
#include <iterator>
#include <string>

#include "tests/peers/http_peer.h"

namespace {

std::string Filler(size_t size) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7) % 26);
  return text;
}

class HttpGetTest : public ::testing::Test {
 protected:
  std::string Url(const std::string& target) const { return m_server.BaseUrl() + target; }

  // Fails a call to target, which must append nothing; returns its duration.
  double FailingCallSeconds(const std::string& target) {
    auto start = std::chrono::steady_clock::now();
    std::string body;
    EXPECT_EQ(HttpGet(Url(target).c_str(), body), 1);
    EXPECT_TRUE(body.empty());
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }

  HttpPeer m_server;
};

}  // namespace

TEST_F(HttpGetTest, BodyOfTheLimitArrivesWholeWithTheUserAgent) {
  const std::string large = Filler(kHttpBodyLimit);
  m_server.SetReply(HttpReply::Text(large));
  std::string body;
  ASSERT_EQ(HttpGet(Url("/Login.Validate.Account?USERID=a&PWD=b").c_str(), body), 0);
  EXPECT_EQ(body.size(), large.size());
  EXPECT_TRUE(body == large);
  ASSERT_EQ(m_server.RequestCount(), 1);
  HttpRequestRecord request = m_server.Requests()[0];
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, "/Login.Validate.Account?USERID=a&PWD=b");
  EXPECT_EQ(request.Header("User-Agent"), "Microsoft Internet Explorer");
}

// A body is appended to the string; a call that fails leaves it as it was.
// Every call reaches the server: nothing is cached.
TEST_F(HttpGetTest, BodiesAreAppendedOrTheStringIsLeftAsItWas) {
  const struct {
    const char* name;
    HttpReply reply;
    std::string before, after;
    int result;
  } cases[] = {
      {"appended", HttpReply::Text("RETVALUE=0"), "GUID=1;", "GUID=1;RETVALUE=0", 0},
      {"appended again", HttpReply::Text("RETVALUE=0"), "", "RETVALUE=0", 0},
      {"empty", HttpReply::Text(""), "earlier", "earlier", 1},
      {"past the limit", HttpReply::Text(Filler(kHttpBodyLimit + 1)), "earlier", "earlier", 1},
      {"error page", HttpReply::Text("no such page", 404), "", "no such page", 0},
      {"server error", HttpReply::Text("broken", 500), "", "broken", 0},
      {"NUL cuts the rest", HttpReply::Text(std::string("RETVALUE=0\0DESCMSG=hidden", 25)), "", "RETVALUE=0", 0},
      {"NUL first", HttpReply::Text(std::string("\0RETVALUE=0", 11)), "", "", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    m_server.SetReply(c.reply);
    std::string body = c.before;
    EXPECT_EQ(HttpGet(Url("/zq.ack?INDICATION=").c_str(), body), c.result);
    EXPECT_EQ(body, c.after);
  }
  EXPECT_EQ(m_server.RequestCount(), static_cast<int>(std::size(cases)));
}

TEST_F(HttpGetTest, RedirectIsFollowed) {
  const std::string target = Url("/new");
  m_server.SetHandler([target](const HttpRequestRecord& request) {
    return request.target == "/old" ? HttpReply::Redirect(target) : HttpReply::Text("moved here");
  });
  std::string body;
  EXPECT_EQ(HttpGet(Url("/old").c_str(), body), 0);
  EXPECT_EQ(body, "moved here");
  EXPECT_EQ(m_server.RequestCount(), 2);
}

TEST_F(HttpGetTest, TenRedirectsAreFollowedButNotAnEleventh) {
  // "/hop/N" points to "/hop/N+1" up to the last hop, which has the body.
  // A redirect's own body is never part of the result.
  auto hops = [this](int last) {
    return [this, last](const HttpRequestRecord& request) {
      const int hop = std::stoi(request.target.substr(5));
      if (hop == last) return HttpReply::Text("arrived");
      HttpReply reply = HttpReply::Redirect(Url("/hop/" + std::to_string(hop + 1)));
      reply.body = "moved";
      return reply;
    };
  };
  m_server.SetHandler(hops(10));
  std::string body;
  EXPECT_EQ(HttpGet(Url("/hop/0").c_str(), body), 0);
  EXPECT_EQ(body, "arrived");
  EXPECT_EQ(m_server.RequestCount(), 11);

  m_server.SetHandler(hops(11));
  body.clear();
  EXPECT_EQ(HttpGet(Url("/hop/0").c_str(), body), 1);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(m_server.RequestCount(), 22);
}

TEST_F(HttpGetTest, SlowBodyArrivesWholeWhileNoPauseReachesTheTimeOut) {
  // Four parts two seconds apart: longer than the time-out in all, but no
  // single wait for a byte comes near it.
  const std::string served = Filler(4000);
  m_server.SetReply(HttpReply::Trickle(served, 4, 2000));
  auto start = std::chrono::steady_clock::now();
  std::string body;
  EXPECT_EQ(HttpGet(Url("/slow").c_str(), body), 0);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 5.5);
  EXPECT_TRUE(body == served) << body.size();
}

TEST_F(HttpGetTest, ByteEveryThreeSecondsEndsTheCallAtTheRequestsTimeLimit) {
  m_server.SetReply(HttpReply::Trickle(Filler(20), 20, 3000));
  const double seconds = FailingCallSeconds("/trickle");
  EXPECT_GE(seconds, kHttpRequestTimeOutMs / 1000.0 - 1);
  EXPECT_LE(seconds, kHttpRequestTimeOutMs / 1000.0 + 2);
}

TEST_F(HttpGetTest, HeadArrivingAByteEveryThreeSecondsEndsTheCallByTheRequestsTimeLimit) {
  // libcurl hears nothing until a header line is whole and gives up after the
  // receive time-out; WinINet takes every byte and meets the request's limit.
  m_server.SetReply(HttpReply::TrickleHead("RETVALUE=0", 3000));
  EXPECT_LE(FailingCallSeconds("/trickle-head"), kHttpRequestTimeOutMs / 1000.0 + 2);
}

TEST(HttpGet, UnreachableServerOrBadUrlGivesOne) {
  std::string url;
  {
    HttpPeer closed;
    url = closed.BaseUrl() + "/gone";
  }
  std::string body;
  EXPECT_EQ(HttpGet(url.c_str(), body), 1);
  EXPECT_EQ(HttpGet("not a url", body), 1);
  EXPECT_EQ(HttpGet(nullptr, body), 1);
  EXPECT_TRUE(body.empty());
}
