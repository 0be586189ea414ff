// Every allocation of one request fails in turn: the dynamic key, the account
// login, the e-key login and the e-card login, each against voka-server. Each
// run must return a failure code or an honest success, keep no descriptor
// open, and leave the engine able to complete a whole login at once. Run
// under with_voka_server.sh (VOKA_TEST_UDP, VOKA_TEST_HTTP); a server whose
// UDP answers are truncated sends every login over the HTTP fallback.
// VOKA_TORTURE_STRIDE=K fails only every Kth allocation (default: every one).
#include <gtest/gtest.h>
#include <sanitizer/lsan_interface.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tests/endurance/process_usage.h"
#include "tests/torture/counting_allocator.h"
#include "tests/torture/curl_counting_allocator.h"
#include "voka/client_authen.h"

namespace {

// libcurl takes its memory functions only before its first initialisation.
const bool g_curlCounted = CountCurlAllocations();

long g_failingAllocation = 0;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

long Stride() {
  const long stride = std::strtol(Environment("VOKA_TORTURE_STRIDE").c_str(), nullptr, 10);
  return stride > 0 ? stride : 1;
}

enum class Step { kDynamicKey, kStaticLogin, kSecondFactor };

struct TortureCase {
  const char* name;
  const char* user;
  const char* password;
  Step tortured;
};

// bob's account login answers with a challenge for the token, carol's with a
// card position; their second factor follows.
const TortureCase kCases[] = {
    {"DynamicKey", "bob", "bob-pass", Step::kDynamicKey},
    {"StaticLogin", "bob", "bob-pass", Step::kStaticLogin},
    {"EKeyLogin", "bob", "bob-pass", Step::kSecondFactor},
    {"ECardLogin", "carol", "carol-pass", Step::kSecondFactor},
};

// tokenPassword: what the account login left under EKEYPWD, read before the
// step so that the look-up is not part of it.
int RunStep(CClientAuthen& engine, const TortureCase& login, Step step, const std::string& tokenPassword) {
  switch (step) {
    case Step::kDynamicKey: return engine.GetDynamicKey("torture");
    case Step::kStaticLogin: return engine.StaticAuthen(login.user, login.password, "1", "1", "", "torture");
    case Step::kSecondFactor:
      if (std::string(login.user) == "carol") return engine.ECardAuthen(login.user, "57", "torture");
      return engine.EKeyAuthen(login.user, tokenPassword.c_str(), "1", "torture");
  }
  return AUTHEN_E_FAIL;
}

void RunStepsBefore(CClientAuthen& engine, const TortureCase& login, Step last) {
  for (Step step = Step::kDynamicKey; step != last; step = static_cast<Step>(static_cast<int>(step) + 1)) {
    ASSERT_EQ(RunStep(engine, login, step, ""), 0) << "unarmed step " << static_cast<int>(step);
  }
}

void CompleteLogin(CClientAuthen& engine, const TortureCase& login) {
  RunStepsBefore(engine, login, Step::kSecondFactor);
  ASSERT_EQ(RunStep(engine, login, Step::kSecondFactor, engine.FindValue("EKEYPWD")), 0);
  EXPECT_EQ(engine.FindValue("AUTHENSTATE"), "1");
}

// A result the step may give with one allocation failed: a failure code, or
// a success that the server's own answer carries. When the failed allocation
// was libcurl's, the failure may also be the server's: libcurl (7.88) sends
// the URL without its query when its URL parser runs out of memory, and the
// server refuses the request.
void ExpectHonestResult(CClientAuthen& engine, const TortureCase& login, bool curlFailed, int result) {
  if (result != 0) {
    const bool tokenFailure = login.tortured == Step::kStaticLogin && result == AUTHEN_E_EKEYPWD;
    EXPECT_TRUE(result == AUTHEN_E_FAIL || tokenFailure || curlFailed) << "result " << result;
    return;
  }
  EXPECT_EQ(engine.FindValue("RETVALUE"), "0");
  if (login.tortured == Step::kDynamicKey) {
    EXPECT_FALSE(engine.Guid().empty());
  }
  if (login.tortured == Step::kStaticLogin) {
    EXPECT_FALSE(engine.FindValue("EKEYPWD").empty());
  }
}

// A new engine per run, as a host makes a new object per login: a failure in
// the UDP stage of the dynamic key moves an engine to HTTP for good.
void Initialize(CClientAuthen& engine, const std::string& udp) {
  engine.Initialize(udp.c_str(), Environment("VOKA_TEST_HTTP").c_str());
  engine.SetUdpTimeOut(5);
}

void Torture(const TortureCase& login, const std::string& udp, bool overHttp) {
  ASSERT_TRUE(g_curlCounted);
  ASSERT_FALSE(udp.empty()) << "run under with_voka_server.sh";
  long allocations = 0;
  {
    CClientAuthen engine;
    Initialize(engine, udp);
    RunStepsBefore(engine, login, login.tortured);
    const std::string tokenPassword = engine.FindValue("EKEYPWD");
    CountingAllocatorStart(0);
    ASSERT_EQ(RunStep(engine, login, login.tortured, tokenPassword), 0);
    allocations = CountingAllocatorStop();
    ASSERT_GT(allocations, 0);
    ASSERT_EQ(engine.UsesUdp(), !overHttp);
  }

  long tried = 0;
  for (long n = 1; n <= allocations; n += Stride(), ++tried) {
    g_failingAllocation = n;
    CClientAuthen engine;
    Initialize(engine, udp);
    RunStepsBefore(engine, login, login.tortured);
    const std::string tokenPassword = engine.FindValue("EKEYPWD");
    const size_t descriptors = OpenFileDescriptors();
    const long curlFailures = FailedCurlAllocations();
    CountingAllocatorStart(n);
    const int result = RunStep(engine, login, login.tortured, tokenPassword);
    CountingAllocatorStop();
    ExpectHonestResult(engine, login, FailedCurlAllocations() != curlFailures, result);
    EXPECT_EQ(OpenFileDescriptors(), descriptors);
    CompleteLogin(engine, login);
    if (::testing::Test::HasFailure()) {
      ADD_FAILURE() << login.name << ": allocation " << n << " of " << allocations << " failed";
      return;
    }
  }
  g_failingAllocation = 0;
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0);
  std::printf("%s over %s: %ld allocations, %ld of them failed in turn\n", login.name, overHttp ? "HTTP" : "UDP",
              allocations, tried);
}

class LoginTorture : public ::testing::TestWithParam<TortureCase> {
 protected:
  static void SetUpTestSuite() {
    std::set_terminate([] {
      std::fprintf(stderr, "terminated with allocation %ld failing\n", g_failingAllocation);
      std::abort();
    });
  }
};

TEST_P(LoginTorture, OverUdp) { Torture(GetParam(), Environment("VOKA_TEST_UDP"), false); }

// Run against a server whose UDP answers are truncated.
TEST_P(LoginTorture, OverHttp) { Torture(GetParam(), Environment("VOKA_TEST_UDP"), true); }

INSTANTIATE_TEST_SUITE_P(EveryPath, LoginTorture, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
