// The component's type library VOKA4ClientComLib 1.0: registration and the
// type information of its interfaces.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

// Registers the type library carried by the DLL at modulePath, with the
// DLL's folder as help directory.
HRESULT RegisterAuthenTypeLib(const std::wstring& modulePath);

// Removes the registration of VOKA4ClientComLib 1.0, locale 0x409, for the
// DLL's platform (Win32, or Win64 in a 64-bit build).
HRESULT UnregisterAuthenTypeLib();

// Loads the type information of interfaceId from the registered type
// library, or from the DLL's own file when it is not registered.
HRESULT LoadAuthenTypeInfo(const std::wstring& modulePath, REFIID interfaceId, ITypeInfo** typeInfo);
