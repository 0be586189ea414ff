// DllRegisterServer and DllUnregisterServer called directly, in a prefix of
// their own: the order of their steps and where they stop when one fails.
// A volatile key makes the class entries fail to register (a lasting key
// cannot live below it); a removed type-library registration makes
// unregistration fail at its second step.
#include <windows.h>
#include <gtest/gtest.h>

#include "tests/facade/dll_export.h"

namespace {

using ServerStep = HRESULT(STDAPICALLTYPE*)();

const wchar_t kAppIdKey[] = L"AppID\\{F824EFED-0E7C-45E6-9F65-A1BA9395C62C}";
const wchar_t kAppIdModuleKey[] = L"AppID\\VOKA4ClientCom.DLL";
const wchar_t kProgIdKey[] = L"VOKA4ClientCom.VOKAClientAuthen.1";
const wchar_t kVersionIndependentProgIdKey[] = L"VOKA4ClientCom.VOKAClientAuthen";
const wchar_t kClassKey[] = L"CLSID\\{6ADCA7C5-BE52-4796-A00B-D69EC8310453}";
const wchar_t kTypeLibKey[] = L"TypeLib\\{F2CDCDE2-DC9E-4547-A4EF-7236D79EF45C}";
const wchar_t kInterfaceKey[] = L"Interface\\{C84C8079-71D3-4E29-8CE3-C242F0D839F9}";

bool KeyExists(const wchar_t* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

class RegistrationOrderTest : public testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryW(L"VOKA4ClientCom.DLL");
    ASSERT_NE(module, nullptr);
    registerServer = DllExport<ServerStep>(module, "DllRegisterServer");
    unregisterServer = DllExport<ServerStep>(module, "DllUnregisterServer");
    ASSERT_NE(registerServer, nullptr);
    ASSERT_NE(unregisterServer, nullptr);
    RemoveEverything();
  }

  void TearDown() override {
    RemoveEverything();
    if (module) FreeLibrary(module);
  }

  // Starts each test from a registry without the component, whatever an
  // earlier run left.
  static void RemoveEverything() {
    for (const wchar_t* path : {kAppIdKey, kAppIdModuleKey, kProgIdKey, kVersionIndependentProgIdKey, kClassKey,
                                kTypeLibKey, kInterfaceKey}) {
      RegDeleteTreeW(HKEY_CLASSES_ROOT, path);
      RegDeleteKeyW(HKEY_CLASSES_ROOT, path);
    }
  }

  HMODULE module = nullptr;
  ServerStep registerServer = nullptr;
  ServerStep unregisterServer = nullptr;
};

TEST_F(RegistrationOrderTest, RegistrationWritesAppIdThenClassThenTypeLibAndStopsAtTheFirstFailure) {
  HKEY blocker = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, kProgIdKey, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &blocker, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(blocker);

  EXPECT_EQ(registerServer(), HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE)) << "the failure comes back unchanged";
  EXPECT_TRUE(KeyExists(kAppIdKey)) << "the AppID entries come first";
  EXPECT_TRUE(KeyExists(kAppIdModuleKey));
  EXPECT_FALSE(KeyExists(kClassKey)) << "nothing after the failing entry";
  EXPECT_FALSE(KeyExists(kTypeLibKey)) << "the type library comes last";

  ASSERT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgIdKey), ERROR_SUCCESS);
  EXPECT_EQ(registerServer(), S_OK);
  EXPECT_TRUE(KeyExists(kClassKey));
  EXPECT_TRUE(KeyExists(kTypeLibKey));
}

TEST_F(RegistrationOrderTest, UnregistrationRemovesClassThenTypeLibThenAppIdAndStopsAtTheFirstFailure) {
  ASSERT_EQ(registerServer(), S_OK);
  ASSERT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, kTypeLibKey), ERROR_SUCCESS);
  RegDeleteKeyW(HKEY_CLASSES_ROOT, kTypeLibKey);

  EXPECT_TRUE(FAILED(unregisterServer())) << "the type library is no longer registered";
  EXPECT_FALSE(KeyExists(kClassKey)) << "the class entries go first";
  EXPECT_FALSE(KeyExists(kProgIdKey));
  EXPECT_FALSE(KeyExists(kVersionIndependentProgIdKey));
  EXPECT_TRUE(KeyExists(kAppIdKey)) << "the AppID entries come after the type library";
  EXPECT_TRUE(KeyExists(kAppIdModuleKey));

  ASSERT_EQ(registerServer(), S_OK);
  EXPECT_EQ(unregisterServer(), S_OK);
  for (const wchar_t* path : {kAppIdKey, kAppIdModuleKey, kClassKey, kProgIdKey, kTypeLibKey}) {
    EXPECT_FALSE(KeyExists(path)) << path;
  }
  EXPECT_TRUE(KeyExists(L"AppID"));
  EXPECT_TRUE(KeyExists(L"CLSID"));
}

}  // namespace
