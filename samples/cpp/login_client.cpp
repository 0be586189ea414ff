// A C++ front end of VOKA4ClientCom: creates the object by its CLSID and runs
// a whole login (dynamic key, account login, and the e-key login when the
// answer asks for the USB token, AUTHENSTATE 4, for which the e-key library
// left EKEYPWD). Next to login_client.exe.manifest, which names the
// VOKA4ClientCom assembly, it finds the DLL in its own folder without any
// registration.
//
// Usage: login_client UDP_SERVER HTTP_BASE USER PASSWORD APP AREA [EKEY_TYPE]
// Prints "STEP: RESULT" and the answer fields as NAME=VALUE, in ASCII (other
// characters as \uXXXX). Exit status: 0 when the user is logged in
// (AUTHENSTATE 1), 1 when not, 2 when the object could not be created or
// called (or for a usage error).
#include <windows.h>
#include <oleauto.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>

#include "VOKA4ClientCom.h"

namespace {

// An owned BSTR.
struct BstrFree {
  void operator()(BSTR text) const { SysFreeString(text); }
};
using Bstr = std::unique_ptr<OLECHAR, BstrFree>;

Bstr MakeBstr(const wchar_t* text) { return Bstr(SysAllocString(text)); }

std::string Ascii(const std::wstring& text) {
  std::string ascii;
  for (wchar_t c : text) {
    if (c >= 0x20 && c <= 0x7e) {
      ascii += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      ascii += escaped;
    }
  }
  return ascii;
}

enum Status { kLoggedIn = 0, kRefused = 1, kCallFailed = 2 };

class Login {
 public:
  explicit Login(IVOKAClientAuthen* authen) : m_authen(authen) {}

  // Status of the whole login; ARGS are the command line after the program.
  Status Run(wchar_t** args, int count) {
    Bstr udp = MakeBstr(args[0]), http = MakeBstr(args[1]), user = MakeBstr(args[2]), password = MakeBstr(args[3]),
         app = MakeBstr(args[4]), area = MakeBstr(args[5]), ekeyType = MakeBstr(count > 6 ? args[6] : L"1"),
         none = MakeBstr(L"");
    long result = 0;
    HRESULT call = m_authen->Initialize(udp.get(), http.get(), &result);
    if (!Report("Initialize", call, result)) return kCallFailed;
    call = m_authen->GetDynamicKey(none.get(), &result);
    if (!Report("GetDynamicKey", call, result)) return kCallFailed;
    if (result != 0) return kRefused;
    call = m_authen->StaticAuthen(user.get(), password.get(), app.get(), area.get(), none.get(), none.get(), &result);
    if (!Report("StaticAuthen", call, result)) return kCallFailed;
    if (result != 0) return kRefused;
    if (Value(L"AUTHENSTATE") == L"4") {
      Bstr ekeyPassword = MakeBstr(Value(L"EKEYPWD").c_str());
      call = m_authen->EKeyAuthen(user.get(), ekeyPassword.get(), ekeyType.get(), none.get(), &result);
      if (!Report("EKeyAuthen", call, result)) return kCallFailed;
    }
    return result == 0 && Value(L"AUTHENSTATE") == L"1" ? kLoggedIn : kRefused;
  }

 private:
  // The field's value, empty when the answers have no such field.
  std::wstring Value(const wchar_t* name) {
    Bstr key = MakeBstr(name);
    BSTR value = nullptr;
    long found = 0;
    HRESULT call = m_authen->GetValue(key.get(), &value, &found);
    Bstr owned(value);
    return SUCCEEDED(call) && found == 0 && value ? std::wstring(value, SysStringLen(value)) : std::wstring();
  }

  // Prints the step's result and the answer fields; false when the call
  // itself failed.
  bool Report(const char* step, HRESULT call, long result) {
    if (FAILED(call)) {
      std::printf("%s: HRESULT 0x%08lx\n", step, static_cast<unsigned long>(call));
      return false;
    }
    std::printf("%s: %ld\n", step, result);
    for (const wchar_t* name :
         {L"RETVALUE", L"DESCMSG", L"GUID", L"AUTHENSTATE", L"CHALLENGE", L"EKEYPWD", L"POSITION"}) {
      std::wstring value = Value(name);
      if (!value.empty()) std::printf("  %ls=%s\n", name, Ascii(value).c_str());
    }
    return true;
  }

  IVOKAClientAuthen* m_authen;
};

}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args || count < 7) {
    std::fprintf(stderr, "usage: login_client UDP_SERVER HTTP_BASE USER PASSWORD APP AREA [EKEY_TYPE]\n");
    return kCallFailed;
  }
  Status status = kCallFailed;
  if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    IVOKAClientAuthen* authen = nullptr;
    HRESULT created = CoCreateInstance(CLSID_VOKAClientAuthen, nullptr, CLSCTX_INPROC_SERVER, IID_IVOKAClientAuthen,
                                       reinterpret_cast<void**>(&authen));
    if (SUCCEEDED(created)) {
      status = Login(authen).Run(args + 1, count - 1);
      authen->Release();
    } else {
      std::printf("CoCreateInstance: HRESULT 0x%08lx\n", static_cast<unsigned long>(created));
    }
    CoUninitialize();
  }
  LocalFree(args);
  return status;
}
