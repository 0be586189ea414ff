#include "programs/voka-server/account_service.h"

#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "voka/protocol/answer_codes.h"
#include "voka/second_factor/ocra_response.h"

namespace {

using namespace std::chrono_literals;

// From here on the system's generator fails for this process.
void FailTheSystemsGenerator() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_getrandom, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program = {sizeof filter / sizeof filter[0], filter};
  prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
  prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
}

class AccountServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_EQ(
        ParseAccountText("alice pw\nbob pw ekey=5365637265740a\ncarol pw card=11,12/21,22/31,32\n", m_book, error), 0);
  }

  static std::string TokenResponse(const std::string& secretHex, const std::string& challenge) {
    std::string response;
    EXPECT_EQ(OcraResponse(secretHex, challenge, response), 0);
    return response;
  }

  int RetValue(const AnswerFields& answer) { return std::stoi(AnswerValue(answer, "RETVALUE")); }

  std::string NewGuid(CAccountService& service) {
    return AnswerValue(service.Answer(RequestKind::kDynamicKey, {}), "GUID");
  }

  // The second-factor login that answers a static login's answer, rightly or not.
  int AnswerSecondFactor(CAccountService& service, const std::string& user, const AnswerFields& asked,
                         const std::string& guid, bool right) {
    std::string cell;
    if (user == "bob") {
      const std::string response = TokenResponse(right ? "5365637265740a" : "0a", AnswerValue(asked, "CHALLENGE"));
      return RetValue(
          service.Answer(RequestKind::kEKeyLogin, {{"USERID", user}, {"EKEYPWD", response}, {"GUID", guid}}));
    }
    m_book.at(user).card.Cell(AnswerValue(asked, "POSITION"), cell);
    const RequestFields fields = {{"USERID", user}, {"ECARDPWD", right ? cell : cell + "9"}, {"GUID", guid}};
    return RetValue(service.Answer(RequestKind::kECardLogin, fields));
  }

  AnswerFields StaticLogin(CAccountService& service, const std::string& user, const std::string& guid) {
    return service.Answer(RequestKind::kStaticLogin, {{"USERID", user}, {"PWD", "pw"}, {"GUID", guid}});
  }

  // A clock that moves only when the test says so.
  CAccountService::Clock::time_point m_now = CAccountService::Clock::time_point(std::chrono::hours(1));
  CAccountService::ClockReader m_clock = [this] { return m_now; };

  AccountBook m_book;
};

TEST_F(AccountServiceTest, StaticLoginChecksInOrder) {
  CAccountService service(m_book);
  const std::string guid = NewGuid(service);
  auto login = [&](const RequestFields& fields) { return RetValue(service.Answer(RequestKind::kStaticLogin, fields)); };
  EXPECT_EQ(login({{"PWD", "pw"}, {"GUID", guid}}), kRetMissingField);
  EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", "pw"}}), kRetBadDynamicKey);
  EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", "pw"}, {"GUID", "made-up"}}), kRetBadDynamicKey);
  EXPECT_EQ(login({{"USERID", "nobody"}, {"PWD", "pw"}, {"GUID", guid}}), kRetUnknownUser);
  EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", "PW"}, {"GUID", guid}}), kRetWrongPassword);
  AnswerFields answer = service.Answer(RequestKind::kStaticLogin, {{"USERID", "alice"}, {"PWD", "pw"}, {"GUID", guid}});
  EXPECT_EQ(RetValue(answer), kRetSuccess);
  EXPECT_EQ(AnswerValue(answer, "AUTHENSTATE"), "1");
  // A dynamic key serves every later login, not just one.
  EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", "pw"}, {"GUID", guid}}), kRetSuccess);
  EXPECT_NE(NewGuid(service), guid);
  // Neither an empty password, nor a prefix of the right one, nor the right one twice.
  for (const char* wrong : {"", "p", "pwpw"}) {
    EXPECT_EQ(login({{"USERID", "alice"}, {"PWD", wrong}, {"GUID", guid}}), kRetWrongPassword) << wrong;
  }
}

TEST_F(AccountServiceTest, TokenChallengeIsAnsweredOnce) {
  CAccountService service(m_book);
  const std::string guid = NewGuid(service);
  AnswerFields answer = service.Answer(RequestKind::kStaticLogin, {{"USERID", "bob"}, {"PWD", "pw"}, {"GUID", guid}});
  ASSERT_EQ(AnswerValue(answer, "AUTHENSTATE"), "4");
  const std::string challenge = AnswerValue(answer, "CHALLENGE");
  ASSERT_EQ(challenge.size(), 8u);
  const RequestFields right = {
      {"USERID", "bob"}, {"EKEYPWD", TokenResponse("5365637265740a", challenge)}, {"GUID", guid}};
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kEKeyLogin, right)), kRetSuccess);
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kEKeyLogin, right)), kRetNoPendingFactor);

  answer = service.Answer(RequestKind::kStaticLogin, {{"USERID", "bob"}, {"PWD", "pw"}, {"GUID", guid}});
  EXPECT_NE(AnswerValue(answer, "CHALLENGE"), "");
  const RequestFields wrong = {
      {"USERID", "bob"}, {"EKEYPWD", TokenResponse("0a", AnswerValue(answer, "CHALLENGE"))}, {"GUID", guid}};
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kEKeyLogin, wrong)), kRetWrongEKeyPassword);
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kEKeyLogin, {{"USERID", "alice"}, {"EKEYPWD", "x"}, {"GUID", guid}})),
            kRetFactorNotBound);
}

TEST_F(AccountServiceTest, MatrixCardPositionIsAnsweredOnce) {
  CAccountService service(m_book);
  const std::string guid = NewGuid(service);
  AnswerFields answer = service.Answer(RequestKind::kStaticLogin, {{"USERID", "carol"}, {"PWD", "pw"}, {"GUID", guid}});
  ASSERT_EQ(AnswerValue(answer, "AUTHENSTATE"), "2");
  const std::string position = AnswerValue(answer, "POSITION");
  std::string cell;
  ASSERT_TRUE(m_book.at("carol").card.Cell(position, cell)) << position;
  EXPECT_NE(AnswerValue(answer, "DESCMSG").find(position), std::string::npos);
  const RequestFields right = {{"USERID", "carol"}, {"ECARDPWD", cell}, {"GUID", guid}};
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kECardLogin, right)), kRetSuccess);
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kECardLogin, right)), kRetNoPendingFactor);
  service.Answer(RequestKind::kStaticLogin, {{"USERID", "carol"}, {"PWD", "pw"}, {"GUID", guid}});
  EXPECT_EQ(
      RetValue(service.Answer(RequestKind::kECardLogin, {{"USERID", "carol"}, {"ECARDPWD", "99"}, {"GUID", guid}})),
      kRetWrongECardAnswer);
}

TEST_F(AccountServiceTest, LifetimesLastToTheirLastMoment) {
  using std::chrono::minutes;
  const std::chrono::milliseconds late(1);
  // A pending challenge or card position lasts 5 minutes, a dynamic key 30.
  const struct {
    const char* user;
    std::chrono::milliseconds age;
    int expected;
  } cases[] = {{"bob", minutes(5), kRetSuccess},    {"bob", minutes(5) + late, kRetNoPendingFactor},
               {"carol", minutes(5), kRetSuccess},  {"carol", minutes(5) + late, kRetNoPendingFactor},
               {"alice", minutes(30), kRetSuccess}, {"alice", minutes(30) + late, kRetBadDynamicKey}};
  CAccountService service(m_book, m_clock);
  for (const auto& c : cases) {
    const std::string guid = NewGuid(service);
    const AnswerFields asked = c.user == std::string("alice") ? AnswerFields() : StaticLogin(service, c.user, guid);
    m_now += c.age;
    const int result = asked.empty() ? RetValue(StaticLogin(service, c.user, guid))
                                     : AnswerSecondFactor(service, c.user, asked, guid, true);
    EXPECT_EQ(result, c.expected) << c.user << " after " << c.age.count() << " ms";
  }
}

TEST_F(AccountServiceTest, FiveWrongSecondFactorsLockTheFactorForFiveMinutes) {
  CAccountService service(m_book, m_clock);
  for (const std::string user : {"bob", "carol"}) {
    const std::string guid = NewGuid(service);
    const int wrongAnswer = user == "bob" ? kRetWrongEKeyPassword : kRetWrongECardAnswer;
    // Wrong answers count in a row: a completed login starts the count again.
    for (int wrong = 0; wrong < 4; ++wrong) {
      EXPECT_EQ(AnswerSecondFactor(service, user, StaticLogin(service, user, guid), guid, false), wrongAnswer);
    }
    EXPECT_EQ(AnswerSecondFactor(service, user, StaticLogin(service, user, guid), guid, true), kRetSuccess);
    for (int wrong = 0; wrong < 5; ++wrong) {
      EXPECT_EQ(AnswerSecondFactor(service, user, StaticLogin(service, user, guid), guid, false), wrongAnswer);
    }
    EXPECT_EQ(RetValue(StaticLogin(service, user, guid)), kRetFactorLocked) << user;
    m_now += std::chrono::minutes(5) - std::chrono::milliseconds(1);
    const AnswerFields madeUp = {{"CHALLENGE", "12345678"}, {"POSITION", "A1"}};
    EXPECT_EQ(AnswerSecondFactor(service, user, madeUp, guid, true), kRetFactorLocked) << user;
    m_now += std::chrono::milliseconds(1);
    EXPECT_EQ(AnswerSecondFactor(service, user, StaticLogin(service, user, guid), guid, true), kRetSuccess) << user;
  }
}

// Five wrong passwords or unknown user ids from one address within a minute
// make that address's account logins wait a minute, the right password
// included; other addresses go on, a right password does not start the count
// again, and a login with a key issued to another address counts against none.
TEST_F(AccountServiceTest, WrongPasswordsMakeTheirAddressWait) {
  using std::chrono::milliseconds;
  using std::chrono::minutes;
  CAccountService service(m_book, m_clock);
  auto login = [&](const char* user, const char* password, const char* address, const char* keyFrom) {
    const std::string guid = AnswerValue(service.Answer(RequestKind::kDynamicKey, {}, keyFrom), "GUID");
    const RequestFields fields = {{"USERID", user}, {"PWD", password}, {"GUID", guid}};
    return RetValue(service.Answer(RequestKind::kStaticLogin, fields, address));
  };
  const struct {
    std::chrono::milliseconds later;
    const char *user, *password, *address, *keyFrom;
    int times, expected;
  } steps[] = {{milliseconds(0), "alice", "x", "192.0.2.1", "192.0.2.1", 4, kRetWrongPassword},
               {minutes(1) + milliseconds(1), "alice", "x", "192.0.2.1", "192.0.2.1", 4, kRetWrongPassword},
               {minutes(1), "alice", "pw", "192.0.2.1", "192.0.2.1", 1, kRetSuccess},
               {milliseconds(0), "nobody", "pw", "192.0.2.1", "192.0.2.1", 1, kRetUnknownUser},  // the fifth
               {milliseconds(0), "alice", "pw", "192.0.2.1", "192.0.2.1", 1, kRetPasswordsWait},
               {milliseconds(0), "nobody", "pw", "192.0.2.1", "192.0.2.1", 1, kRetPasswordsWait},
               {milliseconds(0), "alice", "pw", "192.0.2.2", "192.0.2.2", 1, kRetSuccess},
               {milliseconds(0), "alice", "x", "192.0.2.3", "192.0.2.9", 5, kRetForeignDynamicKey},
               {milliseconds(0), "alice", "pw", "192.0.2.3", "192.0.2.3", 1, kRetSuccess},
               {minutes(1) - milliseconds(1), "alice", "pw", "192.0.2.1", "192.0.2.1", 1, kRetPasswordsWait},
               {milliseconds(1), "alice", "pw", "192.0.2.1", "192.0.2.1", 1, kRetSuccess}};
  for (const auto& step : steps) {
    m_now += step.later;
    for (int i = 0; i < step.times; ++i) {
      EXPECT_EQ(login(step.user, step.password, step.address, step.keyFrom), step.expected) << step.address;
    }
  }
}

// Past its share, an address whose oldest key is younger than 10 s gets none;
// a key that has logged in leaves the share, and still serves.
TEST_F(AccountServiceTest, AnAddressPastItsShareOfYoungKeysIsAnsweredBusy) {
  CAccountService service(m_book, m_clock);
  const std::string first = AnswerValue(service.Answer(RequestKind::kDynamicKey, {}, "192.0.2.1"), "GUID");
  for (int key = 1; key < 1000; ++key) service.Answer(RequestKind::kDynamicKey, {}, "192.0.2.1");
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kDynamicKey, {}, "192.0.2.1")), kRetBusy);
  const RequestFields login = {{"USERID", "alice"}, {"PWD", "pw"}, {"GUID", first}};
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kStaticLogin, login, "192.0.2.1")), kRetSuccess);
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kDynamicKey, {}, "192.0.2.1")), kRetSuccess);
  EXPECT_EQ(RetValue(service.Answer(RequestKind::kStaticLogin, login, "192.0.2.1")), kRetSuccess);
}

// A full table of counted addresses makes room and goes on counting: a
// guesser from a new address is still held; an address held stays held.
TEST(PasswordGuardsTest, AFullTableForgetsAnAddressThatFailedLongAgo) {
  CPasswordGuards guards(3);
  CPasswordGuards::Clock::time_point now(std::chrono::hours(1));
  for (int i = 0; i < 5; ++i) guards.CountWrong("held", now);
  guards.CountWrong("long ago", now);
  guards.CountWrong("lately", now + std::chrono::seconds(1));
  for (int i = 0; i < 5; ++i) guards.CountWrong("guesser", now + std::chrono::seconds(2));
  EXPECT_TRUE(guards.Waits("guesser", now + std::chrono::seconds(2)));
  EXPECT_TRUE(guards.Waits("held", now + std::chrono::seconds(2)));
  EXPECT_EQ(guards.Size(), 3u);
}

// The dynamic-key store under floods: a full store gives up its oldest key,
// whoever holds it, and an address past its share of 1,000 its own oldest;
// never one younger than 10 seconds.
TEST(GuidStoreTest, FloodsPushOutOnlyKeysOlderThanTenSeconds) {
  CGuidStore store;
  const CGuidStore::Clock::time_point start(std::chrono::hours(1));
  for (int source = 1; source <= 99; ++source) {
    for (int i = 0; i < 1000; ++i)
      store.Add(std::to_string(source) + "-" + std::to_string(i), "10.0.0." + std::to_string(source), start);
  }
  // The address holding the most has only young keys; others hold old ones.
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(store.Add("busy-" + std::to_string(i), "10.9.9.9", start + 20s));
  ASSERT_TRUE(store.Add("victim", "192.0.2.1", start + 21s));
  EXPECT_FALSE(store.Valid("1-0", start + 21s));
  EXPECT_EQ(store.Source("victim"), "192.0.2.1");
  // A key 3 s old is not pushed out by its own address's share either.
  for (int i = 0; i < 999; ++i) store.Add("own-" + std::to_string(i), "192.0.2.1", start + 24s);
  EXPECT_FALSE(store.Add("own-extra", "192.0.2.1", start + 24s));
  EXPECT_TRUE(store.Valid("victim", start + 24s));
  EXPECT_TRUE(store.Add("own-extra", "192.0.2.1", start + 31s));
  EXPECT_FALSE(store.Valid("victim", start + 31s));
}

// A full store of young keys makes room from those that have logged in, the
// earliest first, and keeps the ones whose logins are under way.
TEST(GuidStoreTest, AFullStoreGivesUpLoggedInKeysFirst) {
  CGuidStore store;
  const CGuidStore::Clock::time_point now(std::chrono::hours(1));
  for (int i = 0; i < 100000; ++i) {
    ASSERT_TRUE(store.Add(std::to_string(i), "10.0.0." + std::to_string(i % 200), now));
    if (i > 0) store.LoggedIn(std::to_string(i));
  }
  EXPECT_TRUE(store.Add("new", "192.0.2.1", now));
  EXPECT_TRUE(store.Valid("0", now));
  EXPECT_FALSE(store.Valid("1", now));
  EXPECT_TRUE(store.Valid("2", now));
}

// A pending factor belongs to the account login that asked for it: an answer
// with another dynamic key neither uses it up nor counts towards the lock,
// and another login of the account asking for its own leaves it alone.
TEST_F(AccountServiceTest, SecondFactorAnswersFromAnotherLoginChangeNothing) {
  CAccountService service(m_book, m_clock);
  for (const std::string user : {"bob", "carol"}) {
    const std::string owner = NewGuid(service), stranger = NewGuid(service);
    const AnswerFields asked = StaticLogin(service, user, owner);
    for (int round = 0; round < 6; ++round) {
      EXPECT_EQ(AnswerSecondFactor(service, user, asked, stranger, round % 2 == 0), kRetNoPendingFactor) << user;
    }
    const AnswerFields overlapping = StaticLogin(service, user, stranger);
    EXPECT_EQ(AnswerSecondFactor(service, user, asked, owner, true), kRetSuccess) << user;
    EXPECT_EQ(AnswerSecondFactor(service, user, overlapping, stranger, true), kRetSuccess) << user;
  }
}

// Keys, challenges and positions come from the system's generator, not from
// a state kept in the process: a copy of the process draws other ones.
TEST_F(AccountServiceTest, DrawsShareNoStateWithACopyOfTheProcess) {
  CAccountService service(m_book);
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  const std::string guid = NewGuid(service), challenge = AnswerValue(StaticLogin(service, "bob", guid), "CHALLENGE");
  if (child == 0) {
    const std::string drawn = guid + challenge;
    _exit(write(pipeEnds[1], drawn.data(), drawn.size()) == static_cast<ssize_t>(drawn.size()) ? 0 : 1);
  }
  close(pipeEnds[1]);
  char drawn[64] = {};
  EXPECT_EQ(read(pipeEnds[0], drawn, sizeof drawn), 44);
  close(pipeEnds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_NE(std::string(drawn, 36), guid);
  EXPECT_NE(std::string(drawn + 36, 8), challenge);
}

// No key, challenge or position may come from anything but the system's
// generator: when it fails, the server stops.
TEST_F(AccountServiceTest, StopsWhenTheSystemsGeneratorFails) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // a fresh process: nothing drawn before
  CAccountService service(m_book);
  EXPECT_DEATH(
      {
        FailTheSystemsGenerator();
        service.Answer(RequestKind::kDynamicKey, {});
      },
      "random generator failed");
}

}  // namespace
