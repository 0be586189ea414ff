// Each method hands its arguments to the engine in the interface's order:
// after the dynamic key has fallen back to HTTP, a loopback peer records the
// query of every request, where each argument shows up under its own name.
#include <gtest/gtest.h>

#include <string>

#include "tests/facade/com_test_support.h"
#include "tests/peers/http_peer.h"

namespace {

TEST(ArgumentOrderTest, EveryArgumentReachesItsOwnField) {
  HttpPeer server([](const HttpRequestRecord&) { return HttpReply::Text("RETVALUE=0^$^GUID=G-1^$^AUTHENSTATE=1"); });

  CComRef<IVOKAClientAuthen> object;
  ASSERT_EQ(CreateAuthen(object), S_OK);
  LONG result = 1;
  ASSERT_EQ(InitializeForHttp(object.get(), server.BaseUrl(), &result), S_OK);

  CBstr indication0(L"I0");
  ASSERT_EQ(object->GetDynamicKey(indication0.get(), &result), S_OK);
  EXPECT_EQ(result, 0);

  CBstr user1(L"u1"), password1(L"p1"), app1(L"A1"), area1(L"R1"), checkCode1(L"C1"), indication1(L"I1");
  ASSERT_EQ(object->StaticAuthen(user1.get(), password1.get(), app1.get(), area1.get(), checkCode1.get(),
                                 indication1.get(), &result),
            S_OK);
  EXPECT_EQ(result, 0);

  CBstr user2(L"u2"), ekeyPassword2(L"k2"), ekeyType2(L"T2"), indication2(L"I2");
  ASSERT_EQ(object->EKeyAuthen(user2.get(), ekeyPassword2.get(), ekeyType2.get(), indication2.get(), &result), S_OK);
  EXPECT_EQ(result, 0);

  CBstr user3(L"u3"), cardAnswer3(L"c3"), indication3(L"I3");
  ASSERT_EQ(object->ECardAuthen(user3.get(), cardAnswer3.get(), indication3.get(), &result), S_OK);
  EXPECT_EQ(result, 0);

  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[0].target, "/zq.ack?INDICATION=I0");
  const std::string& account = requests[1].target;
  EXPECT_EQ(account.rfind("/Login.Validate.Account?USERID=u1&PWD=p1&APPID=A1&AREAID=R1&GUID=G-1&CLIENTIP=", 0), 0u)
      << account;
  const std::string accountEnd = "&CHECKCODE=C1&INDICATION=I1";
  ASSERT_GE(account.size(), accountEnd.size());
  EXPECT_EQ(account.substr(account.size() - accountEnd.size()), accountEnd) << account;
  // The e-key and e-card logins carry the application and area of the account login.
  EXPECT_EQ(requests[2].target,
            "/Login.Validate.Dynamic?USERID=u2&EKEYPWD=k2&EKEYTYPE=T2&APPID=A1&AREAID=R1&GUID=G-1&INDICATION=I2");
  EXPECT_EQ(requests[3].target,
            "/Login.Validate.ECard?USERID=u3&ECARDPWD=c3&APPID=A1&AREAID=R1&GUID=G-1&INDICATION=I3");
}

}  // namespace
