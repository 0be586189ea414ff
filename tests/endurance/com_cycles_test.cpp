// Create/call/release cycles of the COM object, loading VOKA4ClientCom.DLL
// with LoadLibrary and asking DllGetClassObject directly, as the COM runtime
// does, so no registration is needed. After the cycles every object and the
// factory are gone, and DllCanUnloadNow must say so.
// VOKA_ENDURANCE_CYCLES sets the count (default 300).
#include <windows.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "facade/VOKA4ClientCom_h.h"
#include "tests/facade/dll_export.h"
#include "tests/peers/http_peer.h"
#include "tests/peers/udp_peer.h"
#include "tests/peers/wire_datagram.h"

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

std::set<DWORD> ThreadsOfThisProcess() {
  std::set<DWORD> ids;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ids.insert(entry.th32ThreadID);
  }
  CloseHandle(snapshot);
  return ids;
}

// Waits up to timeOutMs in all for the threads to end.
void WaitForThreads(const std::set<DWORD>& ids, DWORD timeOutMs) {
  const ULONGLONG end = GetTickCount64() + timeOutMs;
  for (DWORD id : ids) {
    HANDLE thread = OpenThread(SYNCHRONIZE, FALSE, id);
    if (thread == nullptr) continue;
    const ULONGLONG now = GetTickCount64();
    WaitForSingleObject(thread, now < end ? static_cast<DWORD>(end - now) : 0);
    CloseHandle(thread);
  }
}

constexpr size_t kDefaultCycles = 300;
constexpr int kLoadCycles = 5000;

size_t CycleCount() {
  const char* value = std::getenv("VOKA_ENDURANCE_CYCLES");
  return value != nullptr && *value != '\0' ? std::strtoul(value, nullptr, 10) : kDefaultCycles;
}

// One cycle as a front end makes it: create, Initialize, GetDynamicKey over
// UDP, GetValue, release.
void Cycle(IClassFactory* factory, const std::wstring& udp, size_t index) {
  IVOKAClientAuthen* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, reinterpret_cast<void**>(&object)), S_OK);
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

// VOKA4ClientCom.DLL, loaded with the two exports that the COM runtime calls.
class ComCycles : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryA("VOKA4ClientCom.DLL");
    ASSERT_NE(module, nullptr) << "error " << GetLastError();
    getClassObject = DllExport<GetClassObjectFunction>(module, "DllGetClassObject");
    canUnloadNow = DllExport<CanUnloadNowFunction>(module, "DllCanUnloadNow");
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
  }

  HMODULE module = nullptr;
  GetClassObjectFunction getClassObject = nullptr;
  CanUnloadNowFunction canUnloadNow = nullptr;
};

TEST_F(ComCycles, ObjectsComeAndGoAndTheModuleCanUnload) {
  UdpPeer server([](UdpPeer& peer, int, const sockaddr_in& client) {
    peer.Send(AnswerDatagram(std::string("RETVALUE=0\0GUID=cycle-key\0", 27), 0x5300), client);
  });

  EXPECT_EQ(canUnloadNow(), S_OK);

  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(CLSID_VOKAClientAuthen, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
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

// An HTTP request past its deadline is left to a worker thread, and the host
// may release everything and free the DLL meanwhile. The worker holds the
// module until it ends, so that it never returns into unmapped code, and
// then lets go, so that the module does unload.
TEST_F(ComCycles, AbandonedHttpRequestOutlivesTheHostsFreeLibrary) {
  auto server = std::make_unique<HttpPeer>();
  server->SetReply(HttpReply::TrickleHead("RETVALUE=0", 3000));
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(CLSID_VOKAClientAuthen, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  IVOKAClientAuthen* object = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, reinterpret_cast<void**>(&object)), S_OK);
  factory->Release();
  long result = 0;
  // UDP port 0 fails at once, so the dynamic key goes over HTTP.
  Bstr udpServer(L"127.0.0.1:0"), httpServer(Wide(server->BaseUrl()).c_str()), indication(L"");
  ASSERT_EQ(object->Initialize(udpServer, httpServer, &result), S_OK);

  const std::set<DWORD> before = ThreadsOfThisProcess();
  ASSERT_EQ(object->GetDynamicKey(indication, &result), S_OK);
  EXPECT_EQ(result, -10332102);
  std::set<DWORD> started;
  for (DWORD id : ThreadsOfThisProcess()) {
    if (before.count(id) == 0) started.insert(id);
  }
  EXPECT_EQ(object->Release(), 0u);
  EXPECT_EQ(canUnloadNow(), S_OK);
  EXPECT_TRUE(FreeLibrary(module));
  server.reset();  // the blocked request ends
  WaitForThreads(started, 15000);
  EXPECT_EQ(GetModuleHandleA("VOKA4ClientCom.DLL"), nullptr);
}

// Each load throws and catches an exception (a UDP port too long), as a 64-bit runtime then keeps state.
TEST(LoadCycles, BothDllsLoadAndUnloadFiveThousandTimes) {
  for (const char* name : {"advapi32.dll", "bcrypt.dll", "netapi32.dll", "wininet.dll"}) LoadLibraryA(name);
  Bstr udpServer((L"127.0.0.1:" + std::wstring(300, L'9')).c_str());
  for (int i = 0; i < kLoadCycles; ++i) {
    HMODULE module = LoadLibraryA("VOKA4ClientCom.DLL");
    IClassFactory* factory = nullptr;
    IVOKAClientAuthen* object = nullptr;
    ASSERT_EQ(DllExport<GetClassObjectFunction>(module, "DllGetClassObject")(CLSID_VOKAClientAuthen, IID_IClassFactory,
                                                                             reinterpret_cast<void**>(&factory)),
              S_OK);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IVOKAClientAuthen, reinterpret_cast<void**>(&object)), S_OK);
    factory->Release();
    long result = 0;
    object->Initialize(udpServer, nullptr, &result);
    object->ECardAuthen(udpServer, udpServer, nullptr, &result);
    object->Release();
    ASSERT_TRUE(FreeLibrary(module) && GetModuleHandleA("UsbClient.dll") == nullptr) << "cycle " << i;
  }
}

}  // namespace
