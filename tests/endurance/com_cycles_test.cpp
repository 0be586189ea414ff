// Create/call/release cycles of the COM object, loading VOKA4ClientCom.DLL
// with LoadLibrary and asking DllGetClassObject directly, as the COM runtime
// does, so no registration is needed. After the cycles every object and the
// factory are gone, and DllCanUnloadNow must say so.
// VOKA_ENDURANCE_CYCLES sets the count (default 300).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

#include "facade/VOKA4ClientCom_h.h"
#include "tests/facade/dll_export.h"
#include "tests/hostile/udp_peer.h"

namespace {

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

class Bstr {
 public:
  explicit Bstr(const wchar_t* text) : m_text(SysAllocString(text)) {}
  ~Bstr() { SysFreeString(m_text); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return m_text; }

 private:
  BSTR m_text;
};

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

size_t CycleCount() {
  const char* value = std::getenv("VOKA_ENDURANCE_CYCLES");
  return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : 300;
}

// One cycle as a front end makes it: create, Initialize, GetDynamicKey over
// UDP, GetValue, release.
void Cycle(IClassFactory* factory, const std::wstring& udp, size_t index) {
  IVOKAClientAuthen* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, reinterpret_cast<void**>(&object)),
            S_OK);
  long result = -1;
  Bstr udpServer(udp.c_str()), httpServer(L"http://127.0.0.1:1");
  ASSERT_EQ(object->Initialize(udpServer, httpServer, &result), S_OK);
  ASSERT_EQ(result, 0);
  Bstr indication(L"cycle");
  ASSERT_EQ(object->GetDynamicKey(indication, &result), S_OK);
  ASSERT_EQ(result, 0) << "cycle " << index;

  Bstr key(L"guid");
  BSTR value = nullptr;
  ASSERT_EQ(object->GetValue(key, &value, &result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_STREQ(value, L"cycle-key");
  SysFreeString(value);
  EXPECT_EQ(object->Release(), 0u);
}

TEST(ComCycles, ObjectsComeAndGoAndTheModuleCanUnload) {
  UdpPeer server([](UdpPeer& peer, int, const sockaddr_in& client) {
    peer.Send(AnswerDatagram(std::string("RETVALUE=0\0GUID=cycle-key\0", 27), 0x5300), client);
  });

  HMODULE module = LoadLibraryA("VOKA4ClientCom.DLL");
  ASSERT_NE(module, nullptr) << "error " << GetLastError();
  auto getClassObject = DllExport<GetClassObjectFunction>(module, "DllGetClassObject");
  auto canUnloadNow = DllExport<CanUnloadNowFunction>(module, "DllCanUnloadNow");
  ASSERT_NE(getClassObject, nullptr);
  ASSERT_NE(canUnloadNow, nullptr);
  EXPECT_EQ(canUnloadNow(), S_OK);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(CLSID_VOKAClientAuthen, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  const std::wstring udp = Wide(server.Endpoint());
  const size_t cycles = CycleCount();
  for (size_t i = 0; i < cycles; ++i) {
    Cycle(factory, udp, i);
    if (HasFatalFailure()) break;
    // An object alive or a factory held keeps the module loaded.
    if (i == 0) {
      EXPECT_EQ(canUnloadNow(), S_FALSE);
    }
  }
  EXPECT_EQ(server.RequestCount(), static_cast<int>(cycles));
  factory->Release();
  EXPECT_EQ(canUnloadNow(), S_OK);
  std::printf("cycles=%zu DllCanUnloadNow=S_OK after the last release\n", cycles);
  EXPECT_TRUE(FreeLibrary(module));
}

}  // namespace
