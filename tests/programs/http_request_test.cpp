#include "programs/voka-server/http_request.h"

#include <gtest/gtest.h>

namespace {

TEST(RequestTarget, SplitsAtTheFirstQuestionMark) {
  RequestTarget split;
  ASSERT_TRUE(SplitRequestTarget("/zq.ack?INDICATION=a b?c", split));
  EXPECT_EQ(split.path, "/zq.ack");
  EXPECT_TRUE(split.hasQuery);
  EXPECT_EQ(split.query, "INDICATION=a b?c");
  ASSERT_TRUE(SplitRequestTarget("/zq.ack", split));
  EXPECT_FALSE(split.hasQuery);
  for (const char* target : {"", "zq.ack", "/\x01", "/a?\x7f"})
    EXPECT_FALSE(SplitRequestTarget(target, split)) << target;
}

TEST(Query, FormDecoding) {
  EXPECT_EQ(DecodeQueryComponent("a+b%20c%e5%BC%A0%"), "a b c\xe5\xbc\xa0%");
  EXPECT_EQ(DecodeQueryComponent("%zz%4"), "%zz%4");
  EXPECT_EQ(ParseQuery("userid=%E5%BC%A0&PWD=p%26q+r&x&GUID=&APPID=1=2"),
            (RequestFields{{"USERID", "\xe5\xbc\xa0"}, {"PWD", "p&q r"}, {"GUID", ""}, {"APPID", "1=2"}}));
}

}  // namespace
