#include "programs/voka-auth/auth_options.h"

#include <gtest/gtest.h>

#include "voka/protocol/request_kinds.h"

namespace {

int Parse(const std::vector<std::string>& words, AuthOptions& options, std::string& error) {
  return ParseAuthOptions(words, options, error);
}

TEST(AuthOptions, GlobalOptionsAnywhereAndCommandsInOrder) {
  AuthOptions options;
  std::string error;
  ASSERT_EQ(Parse({"--udp",
                   "10.0.0.5:9",
                   "--timeout",
                   "3",
                   "--codepage",
                   "65001",
                   "-v",
                   "dynamic-key",
                   "--http=http://h:1",
                   "--indication",
                   "X1",
                   "static",
                   "--user",
                   "u",
                   "--password",
                   "--json",
                   "--app",
                   "1",
                   "--area=2",
                   "get",
                   "guid",
                   "--json",
                   "get",
                   "retvalue"},
                  options, error),
            kExitSuccess)
      << error;
  EXPECT_EQ(options.udpServer, "10.0.0.5:9");
  EXPECT_EQ(options.httpServer, "http://h:1");
  EXPECT_EQ(options.timeoutSeconds, 3);
  EXPECT_EQ(options.codePage, 65001u);
  EXPECT_TRUE(options.json);
  EXPECT_TRUE(options.verbose);
  ASSERT_EQ(options.commands.size(), 4u);
  EXPECT_EQ(options.commands[0].Option("indication"), "X1");
  // An option's value is the next word, whatever it looks like.
  EXPECT_EQ(options.commands[1].Option("password"), "--json");
  EXPECT_EQ(options.commands[1].Option("area"), "2");
  EXPECT_EQ(options.commands[1].Option("check-code"), "");
  EXPECT_EQ(options.commands[2].argument, "guid");
  EXPECT_EQ(options.commands[3].argument, "retvalue");
}

// login, static and bench send the same application and area unless told.
TEST(AuthOptions, OneDefaultPerOption) {
  AuthOptions options;
  std::string error;
  ASSERT_EQ(Parse({"login", "--user", "u", "--password", "p", "static", "--user", "u", "--password", "p", "bench",
                   "--rate", "1", "--duration", "1"},
                  options, error),
            kExitSuccess)
      << error;
  for (const AuthCommand& command : options.commands) {
    EXPECT_EQ(command.Option("app"), kDefaultAppId) << command.name;
    EXPECT_EQ(command.Option("area"), kDefaultAreaId) << command.name;
  }
}

TEST(AuthOptions, DefaultsAndHelp) {
  AuthOptions options;
  std::string error;
  ASSERT_EQ(Parse({"--help"}, options, error), kExitSuccess);
  EXPECT_TRUE(options.help);
  EXPECT_EQ(options.udpServer, "127.0.0.1:8025");
  EXPECT_EQ(options.httpServer, "http://127.0.0.1:8080");
  EXPECT_EQ(options.timeoutSeconds, 10);
  EXPECT_EQ(options.codePage, 936u);
}

TEST(AuthOptions, HelpAfterACommandWordIsHelpNotAMissingOption) {
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"static", "--help"}, {"login", "--user", "u", "-h"}, {"ekey", "--help"}}) {
    AuthOptions options;
    std::string error;
    EXPECT_EQ(Parse(words, options, error), kExitSuccess) << words[0] << ": " << error;
    EXPECT_TRUE(options.help) << words[0];
  }
}

TEST(AuthOptions, UsageErrorsNameTheWord) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command"},
      {{"login", "--user", "u"}, "--password"},
      {{"ekey", "--user", "u", "--ekey-password", "p", "--ekey-type", "t", "--app", "1"}, "--app"},
      {{"ekey", "--user", "u", "--ekey-password", "p", "--ekey-type"}, "--ekey-type"},
      {{"ecard", "--user", "u", "--ecard-answer", "1", "--check-code", "c"}, "--check-code"},
      {{"--timeout", "-1", "dynamic-key"}, "-1"},
      {{"--timeout", "5s", "dynamic-key"}, "5s"},
      {{"seal"}, "TEXT"},
      {{"dynamic-key", "unseal"}, "BASE64"},
  };
  for (const auto& [words, word] : cases) {
    AuthOptions options;
    std::string error;
    EXPECT_EQ(Parse(words, options, error), kExitUsage) << word;
    EXPECT_NE(error.find(word), std::string::npos) << error;
  }
}

// A field marked secret in the request table without an option to carry it
// would never be read from standard input.
TEST(AuthOptions, EverySecretFieldHasAnOption) { EXPECT_EQ(SecretOptionNames().size(), SecretFieldNames().size()); }

}  // namespace
