#include "programs/voka-auth/result_output.h"

#include <gtest/gtest.h>

namespace {

// Whatever bytes an answer holds, the line parses, and a terminal shows every character.
TEST(JsonOutput, IllFormedUtf8AndTerminalControls) {
  EXPECT_EQ(
      FormatJsonText("unseal", "\xff\xc0\xaf\"\n网"),
      "{\"schema\":2,\"command\":\"unseal\",\"result\":0,\"text\":\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\\\"\\n网\"}");
}

TEST(ResultOutput, JsonAndHumanForms) {
  OutputFields fields = {{"GUID", "G-1"}, {"RETVALUE", "0"}};
  EXPECT_EQ(FormatJsonResult("dynamic-key", 0, fields),
            "{\"schema\":2,\"command\":\"dynamic-key\",\"result\":0,\"fields\":{\"GUID\":\"G-1\",\"RETVALUE\":\"0\"}}");
  EXPECT_EQ(FormatJsonResult("get", -1, {}), "{\"schema\":2,\"command\":\"get\",\"result\":-1,\"fields\":{}}");
  // The cause of each stage tried, the untried ones left out.
  EXPECT_EQ(FormatJsonResult("static", -1, {}, {"", "no-connection", "no connection"}),
            "{\"schema\":2,\"command\":\"static\",\"result\":-1,\"fields\":{},\"cause\":{\"http\":\"no-"
            "connection\",\"text\":\"no connection\"}}");
  OutputFields secrets = {{"EKEYPWD", "854580"}, {"PWD", "p"}, {"EKEYTYPE", "1"}};
  MaskSecretFields(secrets);
  EXPECT_EQ(secrets, (OutputFields{{"EKEYPWD", "***"}, {"PWD", "***"}, {"EKEYTYPE", "1"}}));
  EXPECT_EQ(FormatHumanResult("static", -10332102, {{"DESCMSG", "网络连接出错"}}),
            "static: -10332102 AUTHEN_E_FAIL (no valid answer, a refused argument, or no e-key challenge)\n"
            "  DESCMSG=网络连接出错\n");
  EXPECT_EQ(FormatHumanResult("get", -1, {}),
            "get: -1 kValueAbsent (no such field, or its value could not be handed over)\n");
  // A server's control bytes cannot move the cursor or forge a line.
  EXPECT_EQ(FormatHumanResult("dynamic-key", 5, {{"DESCMSG", "x\x1B[1A\r\ndynamic-key: 0"}}),
            "dynamic-key: 5\n  DESCMSG=x\\x1B[1A\\x0D\\x0Adynamic-key: 0\n");
  // Nor can C1 controls (a CSI that moves the cursor), raw 8-bit controls or a
  // right-to-left override that shows the rest of the line backwards.
  const std::string hostile =
      "\xC2\x9B"
      "1A\x9B"
      "1A\xE2\x80\xAE"
      "0=EULAVTER\xE2\x81\xA6";
  EXPECT_EQ(FormatHumanResult("dynamic-key", 5, {{"DESCMSG", hostile}}),
            "dynamic-key: 5\n  DESCMSG=\\u009B1A\\x9B1A\\u202E0=EULAVTER\\u2066\n");
  EXPECT_EQ(FormatJsonText("seal", hostile),
            "{\"schema\":2,\"command\":\"seal\",\"result\":0,\"text\":\"\\u009b1A\xEF\xBF\xBD"
            "1A\\u202e0=EULAVTER\\u2066\"}");
  // Format characters and separators, at the ends of each range, hide or
  // break text as well; U+00A0 and U+2070 stay.
  const std::string invisible =
      "\u0080\u009F\u200E\u200F\u061C\u200B\u202A\u2069\u2028\u2029\uFEFF\U000E0041\x7F\u00A0\u2070";
  EXPECT_EQ(FormatHumanResult("dynamic-key", 5, {{"DESCMSG", invisible}}),
            "dynamic-key: 5\n  DESCMSG=\\u0080\\u009F\\u200E\\u200F\\u061C\\u200B\\u202A\\u2069\\u2028\\u2029"
            "\\uFEFF\\uE0041\\x7F\u00A0\u2070\n");
  EXPECT_EQ(FormatJsonText("seal", invisible),
            "{\"schema\":2,\"command\":\"seal\",\"result\":0,\"text\":\"\\u0080\\u009f\\u200e\\u200f\\u061c\\u200b"
            "\\u202a\\u2069\\u2028\\u2029\\ufeff\\udb40\\udc41\\u007f\u00A0\u2070\"}");
}

TEST(ResultOutput, Rfc3339TimeOfAUtcTime) {
  const std::pair<const char*, const char*> cases[] = {
      {"2026-12-07 11:11:05 UTC", "2026-12-07T11:11:05Z"},
      {"0000-01-01 00:00:00 UTC", "0000-01-01T00:00:00Z"},
      {"2026-12-07 11:11:05 GMT", "2026-12-07 11:11:05 GMT"},
      {"2026-12-07 11:11:5 UTC", "2026-12-07 11:11:5 UTC"},
      {"2026-12-07 11:11:05 UTC ", "2026-12-07 11:11:05 UTC "},
      {"2026-12-0x 11:11:05 UTC", "2026-12-0x 11:11:05 UTC"},
      {"", ""},
  };
  for (const auto& [given, expected] : cases) EXPECT_EQ(Rfc3339Time(given), expected) << given;
}

}  // namespace
