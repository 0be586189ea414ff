// The two script-host forms of GetValue (DISPID 6) that the type information
// refuses: VBScript's by-reference VARIANT for bstrValue, and JScript's call
// with the key alone. Both keep the declared interface unchanged.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include "facade/VOKA4ClientCom_h.h"

constexpr DISPID kGetValueDispId = 6;

// Handles the call and stores its HRESULT in hr when it is one of the two
// forms; returns false, touching nothing, for every other call.
//  - GetValue(key): the result is the field's value (empty when absent).
//  - GetValue(key, byref VARIANT): the VARIANT receives the value, the
//    result is lRet.
bool InvokeScriptGetValue(IVOKAClientAuthen* target, DISPID dispId, WORD flags, DISPPARAMS* params, VARIANT* result,
                          UINT* argError, HRESULT& hr);
