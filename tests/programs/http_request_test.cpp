#include "programs/voka-server/http_request.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpRequestHead, ParsesTheRequestLineOnceTheHeadIsComplete) {
  HttpRequest request;
  std::string problem;
  EXPECT_EQ(ParseHttpRequestHead("GET /zq.ack?INDICATION=X1 HTTP/1.1\r\nHost: h\r\n", request, problem),
            HeadStatus::kIncomplete);
  ASSERT_EQ(ParseHttpRequestHead("GET /zq.ack?INDICATION=X1 HTTP/1.1\r\nHost: h\r\n\r\n", request, problem),
            HeadStatus::kComplete);
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.path, "/zq.ack");
  EXPECT_TRUE(request.hasQuery);
  EXPECT_EQ(request.query, "INDICATION=X1");
  ASSERT_EQ(ParseHttpRequestHead("GET /zq.ack HTTP/1.0\n\n", request, problem), HeadStatus::kComplete);
  EXPECT_FALSE(request.hasQuery);
  // An unencoded blank in the query stays part of the target.
  ASSERT_EQ(ParseHttpRequestHead("GET /zq.ack?INDICATION=a b HTTP/1.1\r\n\r\n", request, problem),
            HeadStatus::kComplete);
  EXPECT_EQ(request.query, "INDICATION=a b");
}

TEST(HttpRequestHead, RefusesMalformedAndOverlongHeads) {
  HttpRequest request;
  std::string problem;
  for (const char* head : {"\r\n\r\n", "GET\r\n\r\n", "GET /a\r\n\r\n", "get /a HTTP/1.1\r\n\r\n",
                           "GET a HTTP/1.1\r\n\r\n", "GET /a HTTP/2.0\r\n\r\n",
                           "GET /\x01 HTTP/1.1\r\n\r\n"}) {
    EXPECT_EQ(ParseHttpRequestHead(head, request, problem), HeadStatus::kMalformed) << head;
  }
  EXPECT_EQ(ParseHttpRequestHead(std::string(kLargestRequestHead, 'A'), request, problem), HeadStatus::kTooLong);
  EXPECT_EQ(ParseHttpRequestHead("GET /" + std::string(kLargestRequestHead, 'A') + " HTTP/1.1\r\n\r\n", request,
                                 problem),
            HeadStatus::kTooLong);
}

TEST(Query, FormDecoding) {
  EXPECT_EQ(DecodeQueryComponent("a+b%20c%e5%BC%A0%"), "a b c\xe5\xbc\xa0%");
  EXPECT_EQ(DecodeQueryComponent("%zz%4"), "%zz%4");
  EXPECT_EQ(ParseQuery("userid=%E5%BC%A0&PWD=p%26q+r&x&GUID=&APPID=1=2"),
            (RequestFields{{"USERID", "\xe5\xbc\xa0"}, {"PWD", "p&q r"}, {"GUID", ""}, {"APPID", "1=2"}}));
}

TEST(HttpResponse, HeadCarriesLengthAndCloses) {
  EXPECT_EQ(HttpResponseHead(404, 7),
            "HTTP/1.1 404 Not Found\r\nContent-Type: text/plain; charset=GBK\r\nContent-Length: 7\r\n"
            "Connection: close\r\n\r\n");
}

}  // namespace
