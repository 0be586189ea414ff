// A C++ front end's login through VOKA4ClientCom.DLL: the object created by
// its CLSID with the interface header and GUIDs from the SDK's include/
// folder. With login_client.exe.manifest beside the program, Windows finds
// the DLL in the program's folder without any registration.
//
// Build (MinGW):  g++ -Iinclude login_client.cpp include/VOKA4ClientCom_i.c -lole32 -loleaut32 -luuid -static -o login_client.exe
// Build (MSVC):   cl /EHsc /Iinclude login_client.cpp include\VOKA4ClientCom_i.c ole32.lib oleaut32.lib
// Usage: login_client UDP_SERVER HTTP_BASE USER PASSWORD APP AREA
#include <windows.h>

#include <cstdio>

#include "VOKA4ClientCom.h"

namespace {

// A BSTR made from a narrow command-line argument, freed with the object.
class Text {
 public:
  explicit Text(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    value_ = SysAllocStringLen(nullptr, length > 0 ? length - 1 : 0);
    if (value_ && length > 0) MultiByteToWideChar(CP_ACP, 0, text, -1, value_, length);
  }
  ~Text() { SysFreeString(value_); }
  Text(const Text&) = delete;
  Text& operator=(const Text&) = delete;
  operator BSTR() const { return value_; }

 private:
  BSTR value_;
};

// Prints the answer field key when the answer has it.
void PrintField(IVOKAClientAuthen* authen, const char* key) {
  BSTR value = nullptr;
  long found = -1;
  if (SUCCEEDED(authen->GetValue(Text(key), &value, &found)) && found == 0) {
    std::printf("  %s=%ls\n", key, value);
  }
  SysFreeString(value);
}

long Login(IVOKAClientAuthen* authen, char** args) {
  long result = -1;
  authen->Initialize(Text(args[0]), Text(args[1]), &result);
  authen->GetDynamicKey(Text(""), &result);
  std::printf("GetDynamicKey: %ld\n", result);
  if (result != 0) return result;
  authen->StaticAuthen(Text(args[2]), Text(args[3]), Text(args[4]), Text(args[5]), Text(""), Text(""),
                       &result);
  std::printf("StaticAuthen: %ld\n", result);
  PrintField(authen, "AUTHENSTATE");
  PrintField(authen, "DESCMSG");
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: login_client UDP_SERVER HTTP_BASE USER PASSWORD APP AREA\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 2;
  IVOKAClientAuthen* authen = nullptr;
  HRESULT created = CoCreateInstance(CLSID_VOKAClientAuthen, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IVOKAClientAuthen, reinterpret_cast<void**>(&authen));
  long result = -1;
  if (SUCCEEDED(created)) {
    result = Login(authen, argv + 1);
    authen->Release();
  } else {
    std::fprintf(stderr, "CoCreateInstance: 0x%08lx\n", static_cast<unsigned long>(created));
  }
  CoUninitialize();
  return result == 0 ? 0 : 1;
}
