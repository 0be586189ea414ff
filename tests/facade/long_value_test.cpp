// GetValue hands the host the whole answer field, however long: values far
// beyond 512 bytes, served by a loopback HTTP peer after the dynamic-key
// request has fallen back from UDP to HTTP.
#include <gtest/gtest.h>

#include <string>

#include "tests/facade/com_test_support.h"
#include "tests/peers/http_peer.h"

namespace {

TEST(LongValueTest, GetValueHandsOverTheWholeValue) {
  std::string chineseNote;
  for (int i = 0; i < 700; ++i) chineseNote += "\xD6\xD0";  // U+4E2D in code page 936
  const std::string asciiNote(3000, 'v');
  HttpPeer server([&](const HttpRequestRecord&) {
    return HttpReply::Text("RETVALUE=0^$^GUID=G-1^$^NOTE=" + chineseNote + "^$^LONG=" + asciiNote);
  });

  CComRef<IVOKAClientAuthen> object;
  ASSERT_EQ(CreateAuthen(object), S_OK);
  LONG result = 1;
  ASSERT_EQ(InitializeForHttp(object.get(), server.BaseUrl(), &result), S_OK);
  ASSERT_EQ(object->GetDynamicKey(nullptr, &result), S_OK);
  ASSERT_EQ(result, 0);
  ASSERT_EQ(server.RequestCount(), 1);
  EXPECT_EQ(server.Requests()[0].target.rfind("/zq.ack?INDICATION=", 0), 0u);

  CBstr longKey(L"LONG"), noteKey(L"note"), value;
  ASSERT_EQ(object->GetValue(longKey.get(), value.out(), &result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(value.text(), std::wstring(3000, L'v'));
  ASSERT_EQ(object->GetValue(noteKey.get(), value.out(), &result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(value.text(), std::wstring(700, L'\u4e2d'));
}

}  // namespace
