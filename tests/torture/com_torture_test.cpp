// Every method of the COM object, called through its vtable, with each
// allocation of the call failing in turn, in a test build of the DLL whose
// operator new counts (VOKA4ClientComTorture.DLL). A call that ran out of
// memory returns E_OUTOFMEMORY, or S_OK with a failure in lRet; never an
// exception, never success it did not get from the server. The same object
// then completes a whole login, and at the end the module can unload.
// Run under with_voka_server.sh; VOKA_TORTURE_STRIDE=K fails only every Kth
// allocation (default: every one).
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

#include "tests/facade/com_test_support.h"
#include "tests/facade/dll_export.h"

namespace {

constexpr LONG kAuthenFail = -10332102;
constexpr LONG kTokenFail = -10332115;
constexpr LONG kAbsent = -1;

struct TortureModule {
  HMODULE handle = nullptr;
  DllGetClassObjectFn getClassObject = nullptr;
  DllCanUnloadNowFn canUnloadNow = nullptr;
  void (*start)(long) = nullptr;
  long (*stop)() = nullptr;
};

const TortureModule& LoadTortureModule() {
  static const TortureModule module = [] {
    TortureModule loaded;
    loaded.handle = LoadLibraryW(L"VOKA4ClientComTorture.DLL");
    if (loaded.handle) {
      loaded.getClassObject = DllExport<DllGetClassObjectFn>(loaded.handle, "DllGetClassObject");
      loaded.canUnloadNow = DllExport<DllCanUnloadNowFn>(loaded.handle, "DllCanUnloadNow");
      loaded.start = DllExport<void (*)(long)>(loaded.handle, "CountingAllocatorStart");
      loaded.stop = DllExport<long (*)()>(loaded.handle, "CountingAllocatorStop");
    }
    return loaded;
  }();
  return module;
}

long Stride() {
  const char* value = std::getenv("VOKA_TORTURE_STRIDE");
  const long stride = value != nullptr ? std::strtol(value, nullptr, 10) : 1;
  return stride > 0 ? stride : 1;
}

// The calls of a login in their order, and a look-up after it (of the GUID,
// long enough that the engine's copy of it allocates).
enum class Call { kInitialize, kDynamicKey, kStaticLogin, kSecondFactor, kLookUp };

struct TortureCase {
  const char* name;
  const wchar_t* user;
  Call tortured;
};

// bob's account login answers with a challenge for the token, carol's with a
// card position; every cell of carol's card holds 57.
const TortureCase kCases[] = {
    {"Initialize", L"bob", Call::kInitialize},      {"GetDynamicKey", L"bob", Call::kDynamicKey},
    {"StaticAuthen", L"bob", Call::kStaticLogin},   {"EKeyAuthen", L"bob", Call::kSecondFactor},
    {"ECardAuthen", L"carol", Call::kSecondFactor}, {"GetValue", L"bob", Call::kLookUp},
};

class ComLogin {
 public:
  // Over HTTP the UDP host does not parse, so that the dynamic key falls back
  // to HTTP at once.
  ComLogin(IVOKAClientAuthen* object, const wchar_t* user, bool overHttp)
      : m_object(object),
        m_user(user),
        m_password((std::wstring(user) + L"-pass").c_str()),
        m_udp(overHttp ? L"999.1.1.1:9" : TestUdpServer().c_str()) {}

  HRESULT Run(Call call, LONG* lRet) {
    switch (call) {
      case Call::kInitialize: return m_object->Initialize(m_udp.get(), m_http.get(), lRet);
      case Call::kDynamicKey: return m_object->GetDynamicKey(m_indication.get(), lRet);
      case Call::kStaticLogin:
        return m_object->StaticAuthen(m_user.get(), m_password.get(), m_one.get(), m_one.get(), m_empty.get(),
                                      m_indication.get(), lRet);
      case Call::kSecondFactor:
        if (m_user.text() == L"carol") {
          return m_object->ECardAuthen(m_user.get(), m_cell.get(), m_indication.get(), lRet);
        }
        return m_object->EKeyAuthen(m_user.get(), m_tokenPassword.get(), m_one.get(), m_indication.get(), lRet);
      case Call::kLookUp: return m_object->GetValue(m_lookUpKey.get(), m_value.out(), lRet);
    }
    return E_UNEXPECTED;
  }

  // The calls of a whole login before `call`, each of which must succeed.
  void RunBefore(Call call) {
    for (Call step = Call::kInitialize; step != call && step != Call::kLookUp;
         step = static_cast<Call>(static_cast<int>(step) + 1)) {
      LONG lRet = kAuthenFail;
      ASSERT_EQ(Run(step, &lRet), S_OK) << static_cast<int>(step);
      ASSERT_EQ(lRet, 0) << static_cast<int>(step);
      if (step == Call::kStaticLogin) {
        ASSERT_EQ(m_object->GetValue(m_tokenPasswordKey.get(), m_tokenPassword.out(), &lRet), S_OK);
      }
    }
  }

  void Complete() {
    RunBefore(Call::kLookUp);
    ASSERT_EQ(Value(L"AUTHENSTATE"), L"1");
  }

  std::wstring Value(const wchar_t* name) {
    CBstr key(name), value;
    LONG lRet = kAuthenFail;
    return SUCCEEDED(m_object->GetValue(key.get(), value.out(), &lRet)) && lRet == 0 ? value.text() : L"";
  }

  std::wstring LookedUp() const { return m_value.text(); }

 private:
  IVOKAClientAuthen* m_object;
  CBstr m_user, m_password;
  CBstr m_udp, m_http{TestHttpServer().c_str()};
  CBstr m_one{L"1"}, m_empty{L""}, m_cell{L"57"};
  // Past the length that std::string keeps inline, so that converting it allocates.
  CBstr m_indication{L"allocation-failure torture"};
  CBstr m_tokenPasswordKey{L"EKEYPWD"}, m_tokenPassword, m_lookUpKey{L"GUID"}, m_value;
};

// What a call may report with one of its allocations failed.
void ExpectHonestResult(Call call, HRESULT hr, LONG lRet, ComLogin& login) {
  const LONG failure = call == Call::kLookUp ? kAbsent : kAuthenFail;
  if (hr == E_OUTOFMEMORY) {
    EXPECT_EQ(lRet, failure);
    return;
  }
  ASSERT_EQ(hr, S_OK);
  switch (call) {
    case Call::kInitialize:
      EXPECT_EQ(lRet, 0);  // Initialize always succeeds
      return;
    case Call::kLookUp:
      if (lRet == 0) {
        EXPECT_FALSE(login.LookedUp().empty());
        EXPECT_EQ(login.LookedUp(), login.Value(L"GUID"));
      } else {
        EXPECT_EQ(lRet, kAbsent);
      }
      return;
    default:
      if (lRet == 0) {
        EXPECT_EQ(login.Value(L"RETVALUE"), L"0");
        if (call == Call::kStaticLogin) {
          EXPECT_FALSE(login.Value(L"EKEYPWD").empty());
        }
      } else {
        EXPECT_TRUE(lRet == kAuthenFail || (call == Call::kStaticLogin && lRet == kTokenFail)) << lRet;
      }
  }
}

class ComTorture : public ::testing::TestWithParam<std::tuple<TortureCase, bool>> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HaveTestServer()) << "run under with_voka_server.sh";
    const TortureModule& module = LoadTortureModule();
    ASSERT_TRUE(module.getClassObject && module.canUnloadNow && module.start && module.stop);
    ASSERT_EQ(module.getClassObject(CLSID_VOKAClientAuthen, IID_IClassFactory, m_factory.out()), S_OK);
  }

  void TearDown() override {
    m_factory.reset();
    EXPECT_EQ(LoadTortureModule().canUnloadNow(), S_OK);
  }

  CComRef<IClassFactory> m_factory;
};

TEST_P(ComTorture, EveryAllocationOfTheCallFailsInTurn) {
  const TortureModule& module = LoadTortureModule();
  const TortureCase& torture = std::get<0>(GetParam());
  const bool overHttp = std::get<1>(GetParam());

  CComRef<IVOKAClientAuthen> counted;
  ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, counted.out()), S_OK);
  ComLogin countedLogin(counted.get(), torture.user, overHttp);
  countedLogin.RunBefore(torture.tortured);
  LONG lRet = kAuthenFail;
  module.start(0);
  const HRESULT countedResult = countedLogin.Run(torture.tortured, &lRet);
  const long allocations = module.stop();
  ASSERT_EQ(countedResult, S_OK);
  ASSERT_EQ(lRet, 0);
  ASSERT_GT(allocations, 0);
  counted.reset();

  long tried = 0;
  for (long n = 1; n <= allocations; n += Stride(), ++tried) {
    CComRef<IVOKAClientAuthen> object;
    ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, object.out()), S_OK);
    ComLogin login(object.get(), torture.user, overHttp);
    login.RunBefore(torture.tortured);
    lRet = 12345;
    HRESULT hr = E_FAIL;
    module.start(n);
    try {
      hr = login.Run(torture.tortured, &lRet);
    } catch (...) {
      module.stop();
      FAIL() << "exception out of the DLL with allocation " << n << " failing";
    }
    module.stop();
    ExpectHonestResult(torture.tortured, hr, lRet, login);
    login.Complete();
    if (HasFailure()) {
      ADD_FAILURE() << torture.name << ": allocation " << n << " of " << allocations << " failed";
      return;
    }
  }
  std::printf("%s over %s: %ld allocations, %ld of them failed in turn\n", torture.name, overHttp ? "HTTP" : "UDP",
              allocations, tried);
}

INSTANTIATE_TEST_SUITE_P(EveryMethod, ComTorture, ::testing::Combine(::testing::ValuesIn(kCases), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "OverHttp" : "OverUdp");
                         });

// Creation itself: the factory hands out an object or E_OUTOFMEMORY.
TEST_F(ComTorture, CreationFailsCleanly) {
  const TortureModule& module = LoadTortureModule();
  CComRef<IVOKAClientAuthen> object;
  module.start(0);
  ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, object.out()), S_OK);
  const long allocations = module.stop();
  ASSERT_GT(allocations, 0);
  for (long n = 1; n <= allocations; ++n) {
    module.start(n);
    const HRESULT hr = m_factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, object.out());
    module.stop();
    ASSERT_TRUE(hr == S_OK || hr == E_OUTOFMEMORY) << std::hex << hr;
    ASSERT_EQ(object.get() != nullptr, hr == S_OK);
    if (!object.get()) {
      ASSERT_EQ(m_factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, object.out()), S_OK);
    }
    ComLogin(object.get(), L"bob", false).Complete();
  }
  std::printf("CreateInstance: %ld allocations, %ld of them failed in turn\n", allocations, allocations);
}

}  // namespace
