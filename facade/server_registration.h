// Self-registration of VOKA4ClientCom.DLL: the AppID and class entries and
// the type library, in their fixed order.
#pragma once

#include <windows.h>

#include <string>

// AppID entries, class entries, then the type library; stops at the first failure.
HRESULT RegisterServer(const std::wstring& modulePath);

// Class entries, type library, then AppID entries; stops at the first failure.
HRESULT UnregisterServer(const std::wstring& modulePath);
